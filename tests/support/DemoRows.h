#pragma once
// The demo's rows as OFFICE-PC lists them (NUS-Office only), sorted by type, maker and product,
// and whether tarvex's output says it found each (it prints its device-found notices while it
// answers its message boxes itself).
#include <string>

namespace test {

enum DemoRow { kSanDisk, kHp, kBrother, kKyocera, kSamsung, kCanonScanner, kRowCount };
inline const char* const kRowNames[kRowCount] = {"SanDisk - Ultra",           "HP - OfficeJet Pro 9010 series",
                                                 "Brother - HL-L2350DW series", "Kyocera - ECOSYS P2040dn",
                                                 "Samsung - M2020 Series",    "Canon - CanoScan LiDE 400"};

inline bool foundEveryDemoRow(const std::string& output) {
  for (const char* name : kRowNames)
    if (output.find(std::string("notice: Found\n\n") + name) == std::string::npos) return false;
  return true;
}

}  // namespace test
