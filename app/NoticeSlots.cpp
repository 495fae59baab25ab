#include "app/NoticeSlots.h"

#include <algorithm>

namespace app {

void NoticeSlots::setWorkArea(int left, int top, int right, int bottom) {
  if (count_ > 0) return;
  left_ = left;
  top_ = top;
  right_ = right;
  bottom_ = bottom - 2;
  count_ = std::clamp(bottom_ / kNoticeHeight, 0, kMaxSlots);
}

int NoticeSlots::take(int height) {
  for (int i = 0; i < count_; ++i) {
    if (used_[static_cast<std::size_t>(i)]) continue;
    used_[static_cast<std::size_t>(i)] = true;
    heights_[static_cast<std::size_t>(i)] = std::max(height, kNoticeHeight);
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

// A notice taller than the usual (its text needs the room) pushes the slots above it up.
int NoticeSlots::targetLine(int slot) const {
  int line = bottom_;
  for (int i = 0; i < slot && i < kMaxSlots; ++i) {
    const auto at = static_cast<std::size_t>(i);
    line -= (used_[at] ? heights_[at] : kNoticeHeight) + 1;
  }
  return line;
}

NoticeSlots& noticeSlots() {
  static NoticeSlots slots;
  return slots;
}

bool IsAnyPopupShown() { return noticeSlots().anyInUse(); }

}  // namespace app
