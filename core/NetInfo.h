#pragma once
// The machine the program runs on: its name, the Windows version flags, the usable network
// adapters, the default gateways, the UDP endpoints and whether the network is ready.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace core {

// Bits of WindowsVersionFlags.
inline constexpr std::uint32_t kWin6x = 1;        // major 6
inline constexpr std::uint32_t kWin5xOr6x = 2;    // major 5 or 6
inline constexpr std::uint32_t kWin40 = 4;        // 4.0: the interface-table adapter walk
inline constexpr std::uint32_t kWin50 = 8;        // 5.0

// Written once at start-up by the main window, read by the Parts that choose between roads.
extern std::uint32_t WindowsVersionFlags;

// The usable adapters: at most 10 (the hardware-address column's room).
struct AdapterTable {
  static constexpr int kRows = 10;
  std::array<std::string, kRows> address;  // dotted IPv4
  std::array<std::string, kRows> mask;
  std::array<std::array<std::uint8_t, 6>, kRows> hardware{};
  int count = 0;
  bool hasAdapters = false;
};

// The one table the UDP self-test reads.
AdapterTable& adapterTable();

inline constexpr int kMaxGateways = 10;

std::string GetLocalComputerName();
void GetWindowsVersion(std::uint32_t& flags);
int RefreshAdapterList(std::uint32_t flags, AdapterTable& table);
// Append usable adapters at table.count; never reset it (the caller does).
void GetAdaptersByAdaptersInfo(AdapterTable& table);
void GetAdaptersByIfTable(AdapterTable& table);
// The first gateway text of every usable adapter, as the system gives it, at most 10.
std::vector<std::string> CountActiveAdapters();
bool IsUdpPortInUse(std::uint16_t port);
// True when the network is ready: the computer name resolves to something else than 127.0.0.1.
bool GetLocalIpList();
std::string IntToString(long long value);

}  // namespace core
