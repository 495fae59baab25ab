#include "platform/SimPage.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

constexpr double kBandTop = 0.04, kBandBottom = 0.12;
struct Area {
  double left, right;
  SimPageColour colour;
};
constexpr Area kBand[] = {{0.06, 0.18, kSimMark},
                          {0.25, 0.45, kSimRed},
                          {0.50, 0.70, kSimGreen},
                          {0.75, 0.94, kSimBlue}};
constexpr double kTextTop = 0.18, kTextBottom = 0.88, kLinePitch = 0.03, kLineHeight = 0.012;
constexpr double kTextLeft = 0.08;
constexpr double kSquaresTop = 0.92, kSquaresBottom = 0.95, kSquareWidth = 0.025;

void fill(std::uint8_t* out, int from, int to, SimPageColour c, bool bgr) {
  const std::uint8_t first = bgr ? c.b : c.r, last = bgr ? c.r : c.b;
  for (int x = from; x < to; ++x) {
    out[3 * x] = first;
    out[3 * x + 1] = c.g;
    out[3 * x + 2] = last;
  }
}

int at(double fraction, int size) { return std::clamp(static_cast<int>(fraction * size), 0, size); }

}  // namespace

void SimPageRow(int width, int height, int number, int y, std::uint8_t* out, bool bgr) {
  std::memset(out, 255, static_cast<std::size_t>(width) * 3);  // the paper
  const double v = (y + 0.5) / height;
  if (v >= kBandTop && v < kBandBottom) {
    for (const Area& a : kBand) fill(out, at(a.left, width), at(a.right, width), a.colour, bgr);
    return;
  }
  if (v >= kTextTop && v < kTextBottom) {
    const double line = (v - kTextTop) / kLinePitch;
    const int index = static_cast<int>(line);
    if ((line - index) * kLinePitch < kLineHeight) {
      // Lines of different lengths, as a paragraph's are.
      const double right = 0.55 + 0.37 * ((index * 7) % 11) / 10.0;
      fill(out, at(kTextLeft, width), at(right, width), kSimText, bgr);
    }
    return;
  }
  if (v >= kSquaresTop && v < kSquaresBottom) {
    for (int n = 0; n < std::min(number, 12); ++n) {
      const double right = 0.94 - n * 2 * kSquareWidth;
      fill(out, at(right - kSquareWidth, width), at(right, width), kSimText, bgr);
    }
  }
}

}  // namespace platform
