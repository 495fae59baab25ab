#include "platform/DibImage.h"

#include <cmath>

namespace platform {
namespace {

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

constexpr std::uint64_t kMaxBytes = 0x7FFF0000;

std::uint32_t coloursFor(int bits) { return bits <= 8 ? 1u << bits : 0; }

}  // namespace

std::uint64_t DibImage::bytesFor(int width, int height, int bits) {
  if (width < 1 || height < 1) return 0;
  const std::uint64_t row = ((static_cast<std::uint64_t>(width) * bits + 31) / 32) * 4;
  const std::uint64_t total = 40 + 4ull * coloursFor(bits) + row * static_cast<std::uint64_t>(height);
  return total > kMaxBytes ? 0 : total;
}

DibImage::DibImage(int width, int height, int bits, int dpi)
    : width_(width), height_(height), bits_(bits),
      rowBytes_(static_cast<std::uint32_t>(((static_cast<std::uint64_t>(width) * bits + 31) / 32) * 4)),
      bitsOffset_(40 + 4 * coloursFor(bits)),
      bytes_(static_cast<std::size_t>(bytesFor(width, height, bits)), 0) {
  if (bytes_.empty()) return;
  put32(bytes_, 0, 40);
  put32(bytes_, 4, static_cast<std::uint32_t>(width));
  put32(bytes_, 8, static_cast<std::uint32_t>(height));
  bytes_[12] = 1;
  bytes_[14] = static_cast<std::uint8_t>(bits);
  put32(bytes_, 20, rowBytes_ * static_cast<std::uint32_t>(height));
  const auto ppm = static_cast<std::uint32_t>(std::lround(dpi / 0.0254));
  put32(bytes_, 24, ppm);
  put32(bytes_, 28, ppm);
  const std::uint32_t colours = coloursFor(bits);
  for (std::uint32_t i = 0; i < colours; ++i) {
    const auto level = static_cast<std::uint8_t>(colours == 2 ? i * 255 : i);
    for (int c = 0; c < 3; ++c) bytes_[40 + 4 * i + static_cast<std::uint32_t>(c)] = level;
  }
}

std::uint8_t* DibImage::row(int y) {
  return bytes_.data() + bitsOffset_ +
         static_cast<std::size_t>(rowBytes_) * static_cast<std::size_t>(height_ - 1 - y);
}

}  // namespace platform
