#pragma once
// Reading back the DIBs the sources hand over, through the program's own DIB reader.
#include <cstdint>
#include <optional>
#include <vector>

#include "scanning/PictureFiles.h"

namespace scanning::test {

inline std::optional<BitmapInfo> layoutOf(const std::vector<std::uint8_t>& dib) {
  return ParseDib(dib.data(), dib.size());
}

// biYPelsPerMeter of the information header.
inline std::uint32_t yPelsPerMeter(const std::vector<std::uint8_t>& dib) {
  if (dib.size() < 32) return 0;
  return static_cast<std::uint32_t>(dib[28] | dib[29] << 8 | dib[30] << 16 | dib[31] << 24);
}

}  // namespace scanning::test
