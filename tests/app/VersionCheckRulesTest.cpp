// The version check's rules: the packed date of the last check, the check days, when a check is
// due, and how results are shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "app/VersionCheckRules.h"

namespace {

// Local time is UTC for these tests, so that dates print the same everywhere.
class VersionCheckRules : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
};

std::time_t at(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return timegm(&tm);
}

TEST_F(VersionCheckRules, PackedDatesRoundTripAndAfter2043TheTopBitIsSet) {
  const std::time_t t = at(2026, 12, 10, 14, 35, 58);
  const std::uint32_t packed = app::PackDosDateTime(t);
  EXPECT_EQ(packed, (46u << 25 | 12u << 21 | 10u << 16 | 14u << 11 | 35u << 5 | 29u));
  EXPECT_EQ(app::UnpackDosDateTime(packed), t);
  const std::uint32_t late = app::PackDosDateTime(at(2044, 1, 2, 3, 4, 6));
  EXPECT_GE(late, 0x80000000u);
  EXPECT_EQ(app::UnpackDosDateTime(late), at(2044, 1, 2, 3, 4, 6));
  // Bits that name no date.
  for (std::uint32_t bad : {0u, 46u << 25 | 13u << 21 | 1u << 16, 46u << 25 | 2u << 21 | 30u << 16,
                            46u << 25 | 1u << 21 | 1u << 16 | 24u << 11})
    EXPECT_FALSE(app::UnpackDosDateTime(bad)) << std::hex << bad;
}

TEST_F(VersionCheckRules, TheLastDateIsReadAsAnUnsigned32BitValueAndANegativeOneAsNone) {
  EXPECT_EQ(app::ParseNotifyLastDate("0"), 0u);
  EXPECT_EQ(app::ParseNotifyLastDate("1569282048"), 1569282048u);
  EXPECT_EQ(app::ParseNotifyLastDate("2290000000"), 2290000000u);
  // 0 or less is no check yet, so the next tick stores today instead of stopping on bits that
  // name no date.
  for (const char* none : {"-1", "-2004967296", "-2147483648"}) {
    EXPECT_EQ(app::ParseNotifyLastDate(none), 0u) << none;
    const std::time_t now = at(2026, 12, 10, 12, 0, 0);
    const app::NotifyTick t = app::DecideNotifyTick(false, false, *app::ParseNotifyLastDate(none), now, 60, true);
    EXPECT_TRUE(t.storeLastDate && t.check) << none;
  }
  for (const char* bad : {"", "abc", "12x", "4294967296", "-2147483649", " 5"})
    EXPECT_FALSE(app::ParseNotifyLastDate(bad)) << bad;
}

TEST_F(VersionCheckRules, CheckDaysFrom60To365) {
  for (const char* ok : {"60", "365", "200"}) EXPECT_TRUE(app::ParseCheckDays(ok)) << ok;
  for (const char* bad : {"59", "366", "abc", "", "-60", "6O", "60 "})
    EXPECT_FALSE(app::ParseCheckDays(bad)) << bad;
}

TEST_F(VersionCheckRules, TheTickRule) {
  const std::time_t now = at(2026, 12, 10, 12, 0, 0);
  const std::uint32_t longAgo = app::PackDosDateTime(now - 61LL * 86400);
  const std::uint32_t lately = app::PackDosDateTime(now - 59LL * 86400);
  struct Case {
    const char* name;
    bool firstTick, popup;
    std::uint32_t lastDate;
    int days;
    bool ready;
    bool wait, minute, stores, check;
  };
  const Case cases[] = {
      {"a notice on screen at the first tick waits", true, true, 0, 60, true, true, false, false, false},
      {"the first start checks and stores today", true, false, 0, 60, true, false, true, true, true},
      {"the first start stores today even without a network", false, false, 0, 60, false, false, false, true, false},
      {"due after the check days", false, false, longAgo, 60, true, false, false, false, true},
      {"not yet due", false, false, lately, 60, true, false, false, false, false},
      {"not due with more days", false, true, longAgo, 90, true, false, false, false, false},
      {"no network, no check", false, false, longAgo, 60, false, false, false, false, false},
      {"a stored value that is no date stops", false, false, 0xFFFFFFFF, 60, true, false, false, false, false},
      {"a check after 2043 counts as done", false, false, app::PackDosDateTime(at(2044, 3, 1, 0, 0, 0)), 60,
       true, false, false, false, true},
  };
  for (const Case& c : cases) {
    const app::NotifyTick t = app::DecideNotifyTick(c.firstTick, c.popup, c.lastDate, now, c.days, c.ready);
    EXPECT_EQ(t.wait, c.wait) << c.name;
    EXPECT_EQ(t.switchToMinute, c.minute) << c.name;
    EXPECT_EQ(t.storeLastDate, c.stores) << c.name;
    EXPECT_EQ(t.check, c.check) << c.name;
    if (c.stores) {
      EXPECT_EQ(t.lastDate, app::PackDosDateTime(now)) << c.name;
    }
  }
}

TEST_F(VersionCheckRules, ShownTexts) {
  EXPECT_EQ(app::FormatNextNotifyDate(at(2026, 12, 10, 14, 5, 9), 60), "2027/02/08 02:05:09 pm");
  EXPECT_EQ(app::FormatNextNotifyDate(at(2026, 1, 1, 0, 30, 0), 365), "2027/01/01 12:30:00 am");
  EXPECT_EQ(app::FormatNextNotifyDate(at(2026, 1, 1, 12, 0, 0), 60), "2026/03/02 12:00:00 pm");
  EXPECT_EQ(app::DateWithSlashes("2008-07-10"), "2008/07/10");
  EXPECT_EQ(app::DateWithSlashes("20080710"), "20080710");
  EXPECT_EQ(app::DateWithSlashes("a-b-c-d"), "a/b/c-d");
  EXPECT_EQ(app::GlobalSiteUrl({"Global", "Asia", "Global"}, {"g1", "a", "g2"}), "g2");
  EXPECT_EQ(app::GlobalSiteUrl({"Asia"}, {"a"}), "");
}

}  // namespace
