#include "scanning/Dib.h"

namespace scanning {
namespace {

std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

constexpr std::uint32_t kMinHeader = 40;
constexpr std::uint32_t kMaxHeader = 124;  // the largest header version
// A page of 2 gigabytes is no scan: it keeps every size within 32 bits.
constexpr std::uint64_t kMaxImageBytes = 0x7FFF0000;

}  // namespace

std::optional<DibLayout> ReadDibLayout(std::span<const std::uint8_t> dib) {
  if (dib.size() < kMinHeader) return std::nullopt;
  DibLayout d;
  d.headerBytes = u32(dib, 0);
  if (d.headerBytes < kMinHeader || d.headerBytes > kMaxHeader || d.headerBytes > dib.size())
    return std::nullopt;
  d.width = static_cast<std::int32_t>(u32(dib, 4));
  d.height = static_cast<std::int32_t>(u32(dib, 8));
  const std::uint16_t planes = u16(dib, 12);
  d.bitCount = u16(dib, 14);
  const std::uint32_t compression = u32(dib, 16);
  d.xPelsPerMeter = u32(dib, 24);
  d.yPelsPerMeter = u32(dib, 28);
  const std::uint32_t clrUsed = u32(dib, 32);
  if (d.width <= 0 || d.height == 0 || d.height == INT32_MIN || planes != 1) return std::nullopt;
  switch (d.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return std::nullopt;
  }
  if (compression != kBiRgb) return std::nullopt;
  const std::uint32_t maxColours = d.bitCount <= 8 ? 1u << d.bitCount : 256u;
  if (clrUsed > maxColours) return std::nullopt;
  d.colourEntries = clrUsed ? clrUsed : (d.bitCount <= 8 ? maxColours : 0);
  const std::uint64_t rowBytes = ((static_cast<std::uint64_t>(d.width) * d.bitCount + 31) / 32) * 4;
  const std::uint64_t rows = d.height < 0 ? -static_cast<std::int64_t>(d.height) : d.height;
  const std::uint64_t image = rowBytes * rows;
  if (image > kMaxImageBytes) return std::nullopt;
  const std::uint64_t offset = d.headerBytes + 4ull * d.colourEntries;
  if (offset + image > dib.size()) return std::nullopt;
  d.rowBytes = static_cast<std::uint32_t>(rowBytes);
  d.imageBytes = static_cast<std::uint32_t>(image);
  d.bitsOffset = static_cast<std::uint32_t>(offset);
  d.totalBytes = static_cast<std::uint32_t>(offset + image);
  return d;
}

}  // namespace scanning
