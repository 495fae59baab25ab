#include <gtest/gtest.h>

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
  tall.setWorkArea(0, 0, 10, 10);  // computed once
  EXPECT_EQ(tall.count(), 32);
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

}  // namespace
