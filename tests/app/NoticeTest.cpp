#include <gtest/gtest.h>

#include <vector>

#include "app/NoticeSlots.h"

namespace {

TEST(NoticeSlotsTest, SlotCountFollowsTheWorkAreaUpTo32) {
  app::NoticeSlots a;
  a.setWorkArea(0, 0, 1920, 1040);
  EXPECT_EQ(a.count(), 10);
  EXPECT_EQ(a.workBottom(), 1038);
  app::NoticeSlots tall;
  tall.setWorkArea(0, 0, 1000, 10000);
  EXPECT_EQ(tall.count(), 32);
  const int resting = tall.take();
  tall.setWorkArea(0, 0, 1000, 880);  // kept while a notice rests in it
  EXPECT_EQ(tall.count(), 32);
  tall.release(resting);
  tall.setWorkArea(0, 0, 1000, 880);  // then a panel that came since counts
  EXPECT_EQ(tall.count(), 8);
  EXPECT_EQ(tall.workBottom(), 878);
}

TEST(NoticeSlotsTest, DeviceNoticesStackAndFreedSlotsAreTakenAgain) {
  app::NoticeSlots s;
  s.setWorkArea(0, 0, 1920, 1040);
  EXPECT_FALSE(s.anyInUse());
  const int a = s.take(), b = s.take(), c = s.take();
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(c, 2);
  EXPECT_EQ(s.targetLine(a) - s.targetLine(b), 101);
  EXPECT_EQ(s.targetLine(-1), 1038);  // about and new-version notices rest at the bottom
  EXPECT_TRUE(s.anyInUse());
  s.release(a);
  EXPECT_EQ(s.take(), 0);
  for (int i = 3; i < 10; ++i) EXPECT_EQ(s.take(), i);
  EXPECT_EQ(s.take(), -1);  // every slot in use: the notice is not shown
}

TEST(NoticeSlotsTest, TheLeftEdgeIsMeasuredFromTheWorkAreasRightEdge) {
  app::NoticeSlots secondMonitor;
  secondMonitor.setWorkArea(1920, 0, 3840, 1040);
  EXPECT_EQ(secondMonitor.noticeLeft(), 3840 - 240 - 16);
}

bool inside(const app::NoticeRect& r, int left, int top, int right, int bottom) {
  return r.left >= left && r.top >= top && r.left + r.width <= right && r.bottom() <= bottom;
}

// A 1440 x 900 screen with a panel on each side in turn: notices of the heights their texts need
// (a long device name takes more lines) fill the room until no more fit, and every one rests
// inside the work area, clear of the others; the about notice too.
TEST(NoticeSlotsTest, EveryNoticeRestsInsideTheWorkAreaBesideAPanel) {
  const struct {
    const char* panel;
    int left, top, right, bottom;
  } areas[] = {{"bottom", 0, 0, 1440, 870}, {"top", 0, 30, 1440, 900},
               {"left", 64, 0, 1440, 900},  {"right", 0, 0, 1376, 900}};
  const int heights[] = {100, 130, 172, 100, 116};
  for (const auto& a : areas) {
    app::NoticeSlots s;
    s.setWorkArea(a.left, a.top, a.right, a.bottom);
    std::vector<app::NoticeRect> resting;
    for (int n = 0;; ++n) {
      const int h = heights[n % 5];
      const int slot = s.take(h);
      if (slot < 0) break;
      resting.push_back(s.restRect(slot, h));
      ASSERT_LT(n, 40) << a.panel;
    }
    EXPECT_GE(resting.size(), 5u) << a.panel;
    for (std::size_t i = 0; i < resting.size(); ++i) {
      const auto& r = resting[i];
      EXPECT_TRUE(inside(r, a.left, a.top, a.right, a.bottom))
          << a.panel << " panel, notice " << i << " at " << r.left << "," << r.top << " "
          << r.width << "x" << r.height;
      for (std::size_t j = 0; j < i; ++j)
        EXPECT_TRUE(r.bottom() < resting[j].top || resting[j].bottom() < r.top)
            << a.panel << " panel, notices " << j << " and " << i << " overlap";
    }
    EXPECT_TRUE(inside(s.restRect(-1, 172), a.left, a.top, a.right, a.bottom)) << a.panel;
  }
}

// A slot freed under a resting notice takes a taller notice only when it fits below that one.
TEST(NoticeSlotsTest, AFreedSlotTakesOnlyANoticeThatFitsUnderTheOneAbove) {
  app::NoticeSlots s;
  s.setWorkArea(0, 0, 1440, 900);
  ASSERT_EQ(s.take(), 0);
  ASSERT_EQ(s.take(), 1);
  const app::NoticeRect above = s.restRect(1, 100);
  s.release(0);
  const int slot = s.take(150);
  EXPECT_EQ(slot, 2) << "too tall for slot 0 below the notice of slot 1";
  EXPECT_EQ(s.restRect(1, 100), above) << "a resting notice does not move";
  EXPECT_LT(s.restRect(slot, 150).bottom(), above.top);
  EXPECT_EQ(s.take(100), 0);
}

}  // namespace
