#include "platform/SaneDib.h"

#include <cstring>

#include "platform/DibImage.h"

namespace platform {
namespace {

constexpr int kMaxPixelsPerLine = 65535;

int channelsOf(int format) { return format == static_cast<int>(SaneFrameFormat::Rgb) ? 3 : 1; }

// Sample i of a row at the frame's depth, as 8 bits (a 1-bit colour sample of 1 is full on).
std::uint8_t sample(const std::uint8_t* row, int i, int depth) {
  if (depth == 8) return row[i];
  if (depth == 16) {
    std::uint16_t v;
    std::memcpy(&v, row + 2 * i, 2);  // host byte order
    return static_cast<std::uint8_t>(v >> 8);
  }
  return (row[i / 8] & (0x80 >> (i % 8))) ? 255 : 0;
}

// The rows a frame holds: its line count when it is known (the bytes must hold them), else the
// whole rows its bytes hold.
std::optional<int> rowsOf(const SaneFrame& f, std::string& why) {
  const int channels = channelsOf(f.format);
  if (f.depth != 1 && f.depth != 8 && f.depth != 16) return why = "depth " + std::to_string(f.depth), std::nullopt;
  if (f.pixelsPerLine < 1 || f.pixelsPerLine > kMaxPixelsPerLine) return why = "pixels per line", std::nullopt;
  const std::int64_t needed = (static_cast<std::int64_t>(f.pixelsPerLine) * channels * f.depth + 7) / 8;
  if (f.bytesPerLine < needed) return why = "bytes per line too few for the pixels", std::nullopt;
  const std::int64_t whole = static_cast<std::int64_t>(f.data.size()) / f.bytesPerLine;
  if (f.lines >= 0 && whole < f.lines) return why = "the page ended early", std::nullopt;
  const std::int64_t rows = f.lines >= 0 ? f.lines : whole;
  if (rows < 1 || rows > kMaxPixelsPerLine) return why = "no rows", std::nullopt;
  return static_cast<int>(rows);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> dibFromSaneFrames(const std::vector<SaneFrame>& frames,
                                                           int dpi, std::string& why) {
  if (frames.empty()) return why = "no frame", std::nullopt;
  const SaneFrame& first = frames.front();
  const bool separate = frames.size() == 3;
  if (!separate && frames.size() != 1) return why = "frames", std::nullopt;
  const SaneFrame* planes[3] = {nullptr, nullptr, nullptr};  // red, green, blue
  int rows = 0;
  for (const SaneFrame& f : frames) {
    const auto r = rowsOf(f, why);
    if (!r) return std::nullopt;
    if (f.pixelsPerLine != first.pixelsPerLine || f.depth != first.depth)
      return why = "frames of different sizes", std::nullopt;
    rows = rows == 0 ? *r : std::min(rows, *r);
    if (separate) {
      const int index = f.format - static_cast<int>(SaneFrameFormat::Red);
      if (index < 0 || index > 2 || planes[index]) return why = "colour frames", std::nullopt;
      planes[index] = &f;
    } else if (f.format != static_cast<int>(SaneFrameFormat::Gray) &&
               f.format != static_cast<int>(SaneFrameFormat::Rgb)) {
      return why = "frame format " + std::to_string(f.format), std::nullopt;
    }
  }
  const bool colour = separate || first.format == static_cast<int>(SaneFrameFormat::Rgb);
  const bool lineArt = !colour && first.depth == 1;
  const int bits = colour ? 24 : lineArt ? 1 : 8;
  const int w = first.pixelsPerLine;
  DibImage dib(w, rows, bits, dpi);
  if (!dib.valid()) return why = "too large", std::nullopt;
  for (int y = 0; y < rows; ++y) {
    std::uint8_t* out = dib.row(y);
    if (lineArt) {
      // Palette 0 is black; SANE's 1 is black: the bits turn over.
      const std::uint8_t* in = first.data.data() + static_cast<std::size_t>(y) * first.bytesPerLine;
      const int bytes = (w + 7) / 8;
      for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(~in[i]);
      if (w % 8) out[bytes - 1] = static_cast<std::uint8_t>(out[bytes - 1] & (0xFF00 >> (w % 8)));
      continue;
    }
    if (!colour) {
      const std::uint8_t* in = first.data.data() + static_cast<std::size_t>(y) * first.bytesPerLine;
      for (int x = 0; x < w; ++x) out[x] = sample(in, x, first.depth);
      continue;
    }
    for (int c = 0; c < 3; ++c) {
      for (int x = 0; x < w; ++x) {
        std::uint8_t v;
        if (separate) {
          const SaneFrame& f = *planes[c];  // each keeps its own bytes per line
          v = sample(f.data.data() + static_cast<std::size_t>(y) * f.bytesPerLine, x, f.depth);
        } else {
          v = sample(first.data.data() + static_cast<std::size_t>(y) * first.bytesPerLine, 3 * x + c,
                     first.depth);
        }
        out[3 * x + (2 - c)] = v;  // blue, green, red
      }
    }
  }
  return dib.take();
}

}  // namespace platform
