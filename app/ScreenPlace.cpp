#include "app/ScreenPlace.h"

#include <algorithm>

namespace app {

ScreenRect KeepInside(ScreenRect r, const ScreenRect& area) {
  if (area.empty()) return r;
  r.left = std::max(std::min(r.left, area.right() - r.width), area.left);
  r.top = std::max(std::min(r.top, area.bottom() - r.height), area.top);
  return r;
}

ScreenRect PlaceBeside(const ScreenRect& anchor, int width, int height, const ScreenRect& area) {
  const bool roomOnTheRight = area.empty() || area.right() - anchor.right() >= width;
  const int left = roomOnTheRight ? anchor.right() : anchor.left - width;
  return KeepInside({left, anchor.top, width, height}, area);
}

}  // namespace app
