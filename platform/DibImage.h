#pragma once
// Builds a packed DIB as a scanner hands it over: a 40-byte information header, its colour table
// (two entries, black and white, for line art; a grey ramp for 8 bits), then the rows bottom-up,
// each padded to 4 bytes, colour pixels in blue-green-red order.
#include <cstdint>
#include <vector>

namespace platform {

class DibImage {
 public:
  // bits: 1, 8 or 24. The resolution goes into the header. Too large or empty: not valid.
  DibImage(int width, int height, int bits, int dpi);
  bool valid() const { return !bytes_.empty(); }
  int width() const { return width_; }
  int height() const { return height_; }
  int bits() const { return bits_; }
  std::uint32_t rowBytes() const { return rowBytes_; }
  // Row y counted from the top of the picture.
  std::uint8_t* row(int y);
  std::vector<std::uint8_t> take() { return std::move(bytes_); }

  // Bytes a DIB of this size would take; 0 when it is too large to hand over.
  static std::uint64_t bytesFor(int width, int height, int bits);

 private:
  int width_, height_, bits_;
  std::uint32_t rowBytes_;
  std::uint32_t bitsOffset_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace platform
