#include "app/NoticeSlots.h"

#include <algorithm>

namespace app {

void NoticeSlots::setWorkArea(int left, int top, int right, int bottom) {
  if (anyInUse()) return;  // the resting notices keep the area they were placed in
  left_ = left;
  top_ = top;
  right_ = right;
  bottom_ = bottom - 2;
  count_ = std::clamp((bottom_ - top_) / kNoticeHeight, 0, kMaxSlots);
}

// Below the top of the work area, and clear of the resting notice above the slot.
bool NoticeSlots::fits(int slot, int height) const {
  const int top = targetLine(slot) - height;
  if (top < top_) return false;
  for (int i = slot + 1; i < count_; ++i)
    if (used_[static_cast<std::size_t>(i)]) return top - 1 >= lines_[static_cast<std::size_t>(i)];
  return true;
}

int NoticeSlots::take(int height) {
  height = std::max(height, kNoticeHeight);
  for (int i = 0; i < count_; ++i) {
    const auto at = static_cast<std::size_t>(i);
    if (used_[at] || !fits(i, height)) continue;
    lines_[at] = targetLine(i);
    heights_[at] = height;
    used_[at] = true;
    return i;
  }
  return -1;
}

void NoticeSlots::release(int slot) {
  if (slot >= 0 && slot < kMaxSlots) used_[static_cast<std::size_t>(slot)] = false;
}

bool NoticeSlots::anyInUse() const {
  return std::any_of(used_.begin(), used_.begin() + count_, [](bool u) { return u; });
}

// A resting notice keeps its line. A free slot stands one pixel above the notice below it, which
// may be taller than the usual (its text needs the room), or a usual height above a free one.
int NoticeSlots::targetLine(int slot) const {
  if (slot < 0) return bottom_;
  int line = bottom_;
  for (int i = 0; i <= slot && i < kMaxSlots; ++i) {
    const auto at = static_cast<std::size_t>(i);
    if (used_[at]) line = lines_[at];
    if (i == slot) break;
    line -= (used_[at] ? heights_[at] : kNoticeHeight) + 1;
  }
  return line;
}

int NoticeSlots::noticeLeft(int width) const { return std::max(left_, right_ - width - 16); }

NoticeRect NoticeSlots::restRect(int slot, int height, int width) const {
  return KeepInside({noticeLeft(width), targetLine(slot) - height, width, height},
                    {left_, top_, right_ - left_, bottom_ - top_});
}

NoticeSlots& noticeSlots() {
  static NoticeSlots slots;
  return slots;
}

bool IsAnyPopupShown() { return noticeSlots().anyInUse(); }

}  // namespace app
