// The device mapping's readers of registry value bytes, over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/DeviceMapping.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::uint32_t n = 0;
  core::DecodeRegDword(bytes, n);
  std::string text;
  if (core::DecodeRegString(bytes, text) && text.size() > 256) __builtin_trap();
  std::vector<std::string> list;
  if (core::DecodeRegMultiString(bytes, list)) {
    std::size_t total = 0;
    for (const std::string& item : list) {
      if (item.empty() || item.find('\0') != std::string::npos) __builtin_trap();
      total += item.size() + 1;
    }
    if (total > size + 1) __builtin_trap();
  }
  return 0;
}
