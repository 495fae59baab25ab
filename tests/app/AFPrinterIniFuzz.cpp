// The printer vendor table's reader over any bytes: every line it keeps has a value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/AFPrinterIni.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto table =
      app::ParseAFPrinterIni(std::string_view(reinterpret_cast<const char*>(data), size));
  std::size_t bytes = 0;
  for (const auto& section : table)
    for (const auto& line : section) {
      if (line.value.empty()) std::abort();
      bytes += line.name.size() + line.value.size();
    }
  if (bytes > size) std::abort();
  return 0;
}
