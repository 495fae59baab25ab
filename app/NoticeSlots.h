#pragma once
// Where the pop-up notices rest: device-found notices stack in slots above the corner of the work
// area; the about and new-version notices always rest at the bottom. Every resting place lies
// inside the work area (the screen less its panels), whatever the notices' heights.
#include <array>

#include "app/ScreenPlace.h"

namespace app {

using NoticeRect = ScreenRect;

class NoticeSlots {
 public:
  static constexpr int kMaxSlots = 32;
  static constexpr int kNoticeWidth = 240;
  static constexpr int kNoticeHeight = 100;

  // The work area (right and bottom edges exclusive). It is taken while no notice holds a slot,
  // so that a panel that came or went since the last notices counts.
  void setWorkArea(int left, int top, int right, int bottom);
  bool ready() const { return count_ > 0; }
  int count() const { return count_; }
  int workBottom() const { return bottom_; }  // lowered by 2
  int workTop() const { return top_; }
  int workRight() const { return right_; }
  int workLeft() const { return left_; }
  int workWidth() const { return right_ - left_; }

  // The first free slot where a notice of that height fits inside the work area without touching
  // a resting notice, now taken; -1 when there is none.
  int take(int height = kNoticeHeight);
  void release(int slot);
  bool anyInUse() const;
  // The bottom edge of a notice resting in the slot (or at the bottom for -1).
  int targetLine(int slot) const;
  // The left edge of a notice that wide: from the work area's right edge, so that it stands on
  // the right monitor whatever the layout, and never left of the work area.
  int noticeLeft(int width = kNoticeWidth) const;
  // Where a notice of that size rests in the slot (-1: at the bottom), inside the work area.
  NoticeRect restRect(int slot, int height, int width = kNoticeWidth) const;

 private:
  bool fits(int slot, int height) const;

  int left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
  int count_ = 0;
  std::array<bool, kMaxSlots> used_{};
  std::array<int, kMaxSlots> heights_{};
  std::array<int, kMaxSlots> lines_{};  // of the resting notices
};

// The one table every notice shares.
NoticeSlots& noticeSlots();
// True while any device-found notice holds a slot.
bool IsAnyPopupShown();

}  // namespace app
