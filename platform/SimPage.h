#pragma once
// What a simulated scanner finds on its glass: a white sheet with a black mark at its top left
// (so that a page turned or mirrored shows it), red, green and blue areas beside the mark in that
// order (so that swapped colours show), lines like text below, and one small square per page
// number at the bottom right (so that pages tell apart). Everything is placed in fractions of the
// page, so a page looks the same at every resolution; rows are made one at a time, fast enough
// for a 600-dpi A4 page.
#include <cstdint>

namespace platform {

struct SimPageColour {
  std::uint8_t r, g, b;
};
inline constexpr SimPageColour kSimPaper{255, 255, 255};
inline constexpr SimPageColour kSimMark{0, 0, 0};
inline constexpr SimPageColour kSimRed{220, 30, 30};
inline constexpr SimPageColour kSimGreen{30, 160, 60};
inline constexpr SimPageColour kSimBlue{30, 60, 220};
inline constexpr SimPageColour kSimText{40, 40, 40};

// Points inside the areas, in fractions of the page's width and height from its top left.
struct SimPagePoint {
  double x, y;
};
inline constexpr SimPagePoint kSimMarkAt{0.12, 0.08};
inline constexpr SimPagePoint kSimRedAt{0.35, 0.08};
inline constexpr SimPagePoint kSimGreenAt{0.60, 0.08};
inline constexpr SimPagePoint kSimBlueAt{0.845, 0.08};
inline constexpr SimPagePoint kSimBlankAt{0.12, 0.95};  // below the mark, where a turned page has it

// Row y (from the top) of page `number` (from 1), width x height pixels, three bytes a pixel in
// R, G, B order, or B, G, R when `bgr`.
void SimPageRow(int width, int height, int number, int y, std::uint8_t* out, bool bgr = false);

}  // namespace platform
