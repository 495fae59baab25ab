#pragma once
// Where the pop-up notices rest: device-found notices stack in slots above the corner of the work
// area; the about and new-version notices always rest at the bottom.
#include <array>

namespace app {

class NoticeSlots {
 public:
  static constexpr int kMaxSlots = 32;
  static constexpr int kNoticeWidth = 240;
  static constexpr int kNoticeHeight = 100;

  // Computed once, from the first notice's work area (right and bottom edges, exclusive).
  void setWorkArea(int left, int top, int right, int bottom);
  bool ready() const { return count_ > 0; }
  int count() const { return count_; }
  int workBottom() const { return bottom_; }  // lowered by 2
  int workRight() const { return right_; }
  int workLeft() const { return left_; }
  int workWidth() const { return right_ - left_; }

  // The first free slot, now taken by a notice of that height; -1 when all are in use.
  int take(int height = kNoticeHeight);
  void release(int slot);
  bool anyInUse() const;
  // The bottom edge of a notice resting in the slot (or at the bottom for -1).
  int targetLine(int slot) const;
  // The notice's left edge: from the work area's right edge, so that it stands on the right
  // monitor whatever the layout.
  int noticeLeft() const { return right_ - kNoticeWidth - 16; }

 private:
  int left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
  int count_ = 0;
  std::array<bool, kMaxSlots> used_{};
  std::array<int, kMaxSlots> heights_{};
};

// The one table every notice shares.
NoticeSlots& noticeSlots();
// True while any device-found notice holds a slot.
bool IsAnyPopupShown();

}  // namespace app
