#pragma once
// The packed device-independent bitmap a scanner hands over: an information header, its colour
// table, then bottom-up (or top-down, for a negative height) rows padded to 4 bytes. The layout
// is read from the header's own size and the absolute height, and checked against the bytes there
// are, so that nothing reads past the block.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace scanning {

inline constexpr std::uint32_t kBiRgb = 0;

struct DibLayout {
  std::uint32_t headerBytes = 0;  // biSize
  std::int32_t width = 0;
  std::int32_t height = 0;  // as stored: negative for top-down rows
  std::uint16_t bitCount = 0;
  std::uint32_t colourEntries = 0;  // biClrUsed, or 2^bitCount for 8 bits or fewer when 0
  std::uint32_t rowBytes = 0;       // one padded row
  std::uint32_t imageBytes = 0;     // rowBytes * |height|
  std::uint32_t bitsOffset = 0;     // from the DIB's start: header + colour table
  std::uint32_t totalBytes = 0;     // bitsOffset + imageBytes
  std::uint32_t xPelsPerMeter = 0, yPelsPerMeter = 0;
};

// nullopt when the bytes are no whole uncompressed DIB: header too short or too long, a width or
// height of 0, planes other than 1, an unknown bit count, a colour table too big, a compressed
// picture, or pixels that do not fit in the bytes given.
std::optional<DibLayout> ReadDibLayout(std::span<const std::uint8_t> dib);

}  // namespace scanning
