#pragma once
// Where a window stands on the screen: inside the available area (the screen less its panels),
// and beside another window when it opens from one. Every window placed by the program follows
// these rules: the notices, the options dialog, the set-up wizard.

namespace app {

struct ScreenRect {
  int left = 0, top = 0, width = 0, height = 0;
  int right() const { return left + width; }    // exclusive
  int bottom() const { return top + height; }   // exclusive
  bool empty() const { return width <= 0 || height <= 0; }
  bool operator==(const ScreenRect&) const = default;
};

// `r` moved, not resized, to lie inside `area`; where it is wider or taller than the area, its
// left or top edge stands at the area's, so its title and its start stay in sight. An empty area
// (none known) leaves `r` where it is.
ScreenRect KeepInside(ScreenRect r, const ScreenRect& area);

// A window of `width` x `height` opening from `anchor`: at the anchor's top, right of it when the
// area has room for it there, else left of it; then kept inside the area.
ScreenRect PlaceBeside(const ScreenRect& anchor, int width, int height, const ScreenRect& area);

}  // namespace app

namespace app {

// Any rectangle with x(), y(), width() and height() (a window toolkit's) as a ScreenRect.
template <typename Rect>
ScreenRect ScreenRectOf(const Rect& r) {
  return {r.x(), r.y(), r.width(), r.height()};
}

}  // namespace app
