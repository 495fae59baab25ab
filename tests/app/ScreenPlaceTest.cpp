// Where the program's windows stand: inside the screen's available area, beside the window they
// open from.
#include <gtest/gtest.h>

#include "app/ScreenPlace.h"

namespace {

using app::ScreenRect;

TEST(ScreenPlace, AWindowIsKeptInsideTheArea) {
  const ScreenRect area{0, 0, 1280, 1000};
  struct Case {
    ScreenRect r, expected;
  } cases[] = {
      {{100, 100, 400, 300}, {100, 100, 400, 300}},     // inside: stays
      {{-20, 50, 400, 300}, {0, 50, 400, 300}},         // past the left edge
      {{1000, 50, 400, 300}, {880, 50, 400, 300}},      // past the right edge
      {{100, 852, 400, 300}, {100, 700, 400, 300}},     // past the bottom
      {{100, -40, 400, 300}, {100, 0, 400, 300}},       // above the top
      {{-50, -50, 1400, 1100}, {0, 0, 1400, 1100}},     // larger than the area: its corner shows
  };
  for (const Case& c : cases) EXPECT_EQ(app::KeepInside(c.r, area), c.expected) << c.r.left << "," << c.r.top;
  EXPECT_EQ(app::KeepInside({-20, 50, 400, 300}, {}), (ScreenRect{-20, 50, 400, 300})) << "no area known";
  // A second monitor's area, right of the first.
  EXPECT_EQ(app::KeepInside({1200, 50, 400, 300}, {1280, 0, 1920, 1080}), (ScreenRect{1280, 50, 400, 300}));
}

// Right of the anchor when the area has room, else left of it, and never off the area.
TEST(ScreenPlace, BesideTheAnchorAndInsideTheArea) {
  const ScreenRect area{0, 0, 1280, 1024};
  struct Case {
    ScreenRect anchor;
    int width, height;
    ScreenRect expected;
  } cases[] = {
      {{100, 50, 400, 500}, 600, 400, {500, 50, 600, 400}},   // room on the right
      {{680, 50, 400, 500}, 200, 400, {1080, 50, 200, 400}},  // exactly room on the right
      {{800, 50, 400, 500}, 600, 400, {200, 50, 600, 400}},   // room on the left only
      {{340, 80, 600, 500}, 600, 400, {0, 80, 600, 400}},     // room on neither side
      {{380, 80, 520, 500}, 400, 300, {0, 80, 400, 300}},     // the options dialog left of the window
      {{100, 900, 400, 100}, 400, 300, {500, 724, 400, 300}}, // low on the screen: moved up
  };
  for (const Case& c : cases)
    EXPECT_EQ(app::PlaceBeside(c.anchor, c.width, c.height, area), c.expected) << c.anchor.left;
  EXPECT_EQ(app::PlaceBeside({800, 50, 400, 500}, 600, 400, {}), (ScreenRect{1200, 50, 600, 400}))
      << "no area known: right of the anchor";
}

}  // namespace
