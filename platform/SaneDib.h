#pragma once
// A page read from a SANE device, turned into the DIB a TWAIN source hands over: rows bottom-up
// and padded, colour as blue-green-red, line art with a two-entry palette, 16-bit samples cut to
// 8 bits. The frames' parameters come from the device and are checked against their bytes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// SANE's frame formats, with its numbers.
enum class SaneFrameFormat : int { Gray = 0, Rgb = 1, Red = 2, Green = 3, Blue = 4 };

struct SaneFrame {
  int format = 0;
  int bytesPerLine = 0;
  int pixelsPerLine = 0;
  int lines = 0;  // -1: not known before the end; the bytes tell
  int depth = 8;
  std::vector<std::uint8_t> data;
};

// The DIB of one page made of one frame (grey or colour) or three (red, green and blue, in any
// order); nullopt with `why` set when the frames do not make a picture.
std::optional<std::vector<std::uint8_t>> dibFromSaneFrames(const std::vector<SaneFrame>& frames,
                                                           int dpi, std::string& why);

}  // namespace platform
