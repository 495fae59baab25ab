#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "app/MainSettings.h"
#include "app/RefreshMutex.h"
#include "platform/Clock.h"

namespace {

struct Store {
  std::map<std::string, std::string, std::less<>> values;
  std::vector<std::string> writes;
  app::SettingsAccess access() {
    return {[this](std::string_view n) {
              auto it = values.find(n);
              return it == values.end() ? std::string() : it->second;
            },
            [this](std::string_view n, const std::string& v) {
              values[std::string(n)] = v;
              writes.emplace_back(n);
            }};
  }
};

const app::Rect kWork{0, 0, 1920, 1040};
const std::vector<app::Rect> kScreens{kWork};

TEST(MainSettingsTest, FirstStartWritesTheDefaultsButNotAutoRun) {
  Store s;
  const auto p = app::LoadWindowPlacement(s.access(), 500, 400, kWork, kScreens);
  const auto n = app::LoadNotifySettings(s.access());
  EXPECT_EQ(p.top, 320);
  EXPECT_EQ(p.left, 710);
  EXPECT_EQ(s.values["MainForm Width"], "500");
  EXPECT_EQ(s.values["MainForm Height"], "400");
  EXPECT_EQ(s.values["MainForm Top"], "320");
  EXPECT_EQ(s.values["MainForm Left"], "710");
  EXPECT_EQ(s.values["MainForm WindowState"], "0");
  EXPECT_EQ(s.values["Notify Device Detect"], "1");
  EXPECT_EQ(s.values["Notify New Version"], "1");
  EXPECT_EQ(s.values["Notify Check Days"], "60");
  EXPECT_EQ(s.values["Notify Last Date"], "0");
  EXPECT_EQ(s.values.count("AutoRun Check"), 0u);
  EXPECT_TRUE(n.deviceDetect && n.newVersion);
  EXPECT_EQ(n.checkDays, 60);
}

TEST(MainSettingsTest, TheDefaultPlaceIsCentredInAWorkAreaAwayFromTheOrigin) {
  Store s;
  const auto p = app::LoadWindowPlacement(s.access(), 500, 400, app::Rect{100, 40, 1820, 1000},
                                            {app::Rect{100, 40, 1820, 1000}});
  EXPECT_EQ(p.top, 340);
  EXPECT_EQ(p.left, 760);
  EXPECT_EQ(s.values["MainForm Top"], "340");
  EXPECT_EQ(s.values["MainForm Left"], "760");
}

TEST(MainSettingsTest, StoredPlacementRules) {
  struct Case {
    std::string top, left;
    int expectTop, expectLeft;
  } cases[] = {
      {"250", "17", 250, 17},
      {"0", "17", 320, 17},  // ignored, the centred top stays, not rewritten
      {"-5", "17", 320, 17},
      {"abc", "17", 320, 17},
      {"3000", "17", 320, 710},  // below the screen: the whole place is the centred one
      {"1011", "17", 320, 710},  // its title bar would cross the work area's bottom edge
      {"1010", "17", 1010, 17},  // the title bar just fits
      {"250", "1900", 320, 710},  // 20 pixels of the bar on the screen: too few to take hold of
      {"250", "1820", 250, 1820},
      {"2147483647", "2147483647", 320, 710},
  };
  for (const auto& c : cases) {
    Store s;
    s.values = {{"MainForm Width", "500"}, {"MainForm Height", "400"}, {"MainForm Top", c.top},
                {"MainForm Left", c.left}, {"MainForm WindowState", "2"}};
    const auto p = app::LoadWindowPlacement(s.access(), 100, 100, kWork, kScreens);
    EXPECT_EQ(p.top, c.expectTop) << c.top << "," << c.left;
    EXPECT_EQ(p.savedTop, c.expectTop) << c.top << "," << c.left;
    EXPECT_EQ(p.left, c.expectLeft) << c.top << "," << c.left;
    EXPECT_EQ(p.state, 2);
    EXPECT_TRUE(s.writes.empty()) << c.top << "," << c.left;
  }
}

// Two screens side by side (a panel at the bottom of the left one, the right one lower and
// smaller), and where a window of 500 x 400 can be taken by its title bar.
TEST(MainSettingsTest, ATitleBarCountsOnAScreenWhenItCanBeTakenHoldOf) {
  const std::vector<app::Rect> screens{{0, 0, 1920, 1040}, {1920, 300, 1280, 724}};
  const struct {
    int left, top;
    bool reachable;
  } cases[] = {
      {710, 320, true},
      {0, 0, true},
      {-400, 100, true},    // 100 pixels of its bar still on the left screen
      {-401, 100, false},
      {1820, 100, true},    // across the edge, on the left screen
      {1921, 100, false},   // right of the left screen, above the right one
      {1921, 300, true},
      {2400, 994, true},    // the right screen's last rows
      {2400, 995, false},
      {710, 1011, false},   // in the left screen's panel
      {710, -1, false},     // above the top edge
      {3100, 500, true},    // 100 pixels of it on the right screen
      {3101, 500, false},
      {-2147483647, -2147483647, false},
      {2147483647, 2147483647, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(app::TitleBarOnScreen({c.left, c.top, 500, 400}, screens), c.reachable)
        << c.left << "," << c.top;
  EXPECT_FALSE(app::TitleBarOnScreen({710, 320, 500, 400}, {})) << "no screen";
  EXPECT_TRUE(app::TitleBarOnScreen({1870, 320, 40, 400}, screens)) << "a narrow window: the whole bar";
  EXPECT_FALSE(app::TitleBarOnScreen({1900, 320, 40, 400}, {{0, 0, 1920, 1040}}));
  EXPECT_FALSE(app::TitleBarOnScreen({710, 320, 0, 400}, screens)) << "no width";
}

TEST(MainSettingsTest, ParkedOrMinimisedWindowKeepsItsStoredValues) {
  Store s;
  s.values = {{"MainForm Top", "250"}, {"MainForm WindowState", "2"}};
  app::WindowPlacement parked{640, 480, 3000, 30, 0, 250};
  app::SaveWindowPlacement(s.access(), parked, /*minimised=*/true, kScreens);
  EXPECT_EQ(s.values["MainForm Top"], "250");
  EXPECT_EQ(s.values["MainForm Left"], "30");
  EXPECT_EQ(s.values["MainForm WindowState"], "2");
  EXPECT_EQ(s.values["MainForm Width"], "640");
  parked.top = 3001;
  app::SaveWindowPlacement(s.access(), parked, false, kScreens);
  EXPECT_EQ(s.values["MainForm Top"], "250");
  EXPECT_EQ(s.values["MainForm WindowState"], "0");
}

// A place off every screen is not stored: the place stored before stands.
TEST(MainSettingsTest, APlaceOutOfReachIsNotStored) {
  const struct {
    int left, top;
    bool stored;
  } cases[] = {{100, 200, true}, {100, 1020, false}, {1900, 200, false}, {-450, 200, false}};
  for (const auto& c : cases) {
    Store s;
    s.values = {{"MainForm Top", "250"}, {"MainForm Left", "30"}};
    app::SaveWindowPlacement(s.access(), {500, 400, c.top, c.left, 0, 250}, false, kScreens);
    EXPECT_EQ(s.values["MainForm Top"], c.stored ? std::to_string(c.top) : "250") << c.left << "," << c.top;
    EXPECT_EQ(s.values["MainForm Left"], c.stored ? std::to_string(c.left) : "30") << c.left << "," << c.top;
    EXPECT_EQ(s.values["MainForm Width"], "500");
  }
}

TEST(MainSettingsTest, NotifyValues) {
  struct Case {
    std::string days, detect;
    int expectDays;
    bool expectDetect;
    std::string storedDays, storedDetect;
  } cases[] = {
      {"30", "yes", 60, true, "60", "1"},
      {"400", "0", 60, false, "60", "0"},
      {"59", "", 60, true, "60", "1"},
      {"366", "1", 60, true, "60", "1"},
      {"abc", "1", 60, true, "60", "1"},
      {"365", "1", 365, true, "365", "1"},
  };
  for (const auto& c : cases) {
    Store s;
    s.values = {{"Notify Check Days", c.days}, {"Notify Device Detect", c.detect},
                {"Notify Last Date", "123"}};
    const auto n = app::LoadNotifySettings(s.access());
    EXPECT_EQ(n.checkDays, c.expectDays) << c.days;
    EXPECT_EQ(n.deviceDetect, c.expectDetect) << c.detect;
    EXPECT_EQ(n.lastDate, 123u);
    EXPECT_EQ(s.values["Notify Check Days"], c.storedDays);
    EXPECT_EQ(s.values["Notify Device Detect"], c.storedDetect);
  }
}

TEST(MainSettingsTest, MiniSwitch) {
  EXPECT_TRUE(app::MiniStartEnds({"tarvex", "-x", "-mini"}, "0"));
  EXPECT_FALSE(app::MiniStartEnds({"tarvex", "-mini"}, ""));
  EXPECT_FALSE(app::MiniStartEnds({"tarvex", "-mini"}, "1"));
  EXPECT_FALSE(app::MiniStartEnds({"tarvex", "-Mini"}, "0"));
}

TEST(MainSettingsTest, AMiniStartWithAutoRunOffEndsBeforeItTakesTheLock) {
  struct Case {
    std::vector<std::string> args;
    std::string autoRun;
    bool running, lockFree;
    app::StartOutcome expect;
    std::string steps;
  } cases[] = {
      {{"-mini"}, "0", false, true, app::StartOutcome::Ends, "probe read"},
      {{"-mini"}, "1", false, true, app::StartOutcome::Run, "probe read lock"},
      {{}, "0", false, true, app::StartOutcome::Run, "probe read lock"},
      {{"-mini"}, "0", true, true, app::StartOutcome::HandedOver, "probe"},
      {{}, "", false, false, app::StartOutcome::HandedOver, "probe read lock hand"},
  };
  for (const auto& c : cases) {
    std::string steps;
    const auto step = [&steps](const char* s) { steps += steps.empty() ? s : std::string(" ") + s; };
    const auto outcome = app::DecideStart(
        c.args, {[&] { return step("probe"), c.running; }, [&] { return step("read"), c.autoRun; },
                 [&] { return step("lock"), c.lockFree; }, [&] { step("hand"); }});
    EXPECT_EQ(outcome, c.expect) << c.steps;
    EXPECT_EQ(steps, c.steps);
  }
}

TEST(MainSettingsTest, ThreeSecondRule) {
  EXPECT_TRUE(app::FirstRefreshDue(std::nullopt, 0));
  EXPECT_FALSE(app::FirstRefreshDue(10'000, 12'999));
  EXPECT_TRUE(app::FirstRefreshDue(10'000, 13'000));
  EXPECT_FALSE(app::FirstRefreshDue(10'000, 7'001));  // the distance counts either way
}

class RefreshMutexTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::setClock(&clock); }
  void TearDown() override { platform::setClock(nullptr); }
  platform::ManualClock clock;
};

TEST_F(RefreshMutexTest, GivesUpAfter31TriesPumpingEachTime) {
  app::RefreshMutex m;
  std::thread other([&] { ASSERT_TRUE(m.tryLock()); });
  other.join();  // the thread ended holding it, so it is never free again
  int pumps = 0;
  app::RefreshMutexWait wait(m, [&] { ++pumps; }, [] { return false; });
  EXPECT_FALSE(wait.taken());
  EXPECT_EQ(pumps, 31);
  EXPECT_EQ(clock.sleptMs(), 31 * 200);
}

TEST_F(RefreshMutexTest, ClosingGivesUpAfterTheFirstFailedTry) {
  app::RefreshMutex m;
  std::thread other([&] { m.tryLock(); });
  other.join();
  app::RefreshMutexWait wait(m, nullptr, [] { return true; });
  EXPECT_FALSE(wait.taken());
  EXPECT_EQ(clock.sleepCount(), 1);
}

TEST_F(RefreshMutexTest, TheOwnerTakesItAgainAndEachTakeIsGivenBack) {
  app::RefreshMutex m;
  {
    app::RefreshMutexWait outer(m, nullptr, nullptr);
    app::RefreshMutexWait inner(m, nullptr, nullptr);
    EXPECT_TRUE(outer.taken() && inner.taken());
  }
  EXPECT_FALSE(m.heldByThisThread());
  EXPECT_EQ(clock.sleepCount(), 0);
  m.release();  // not held: nothing changes
  bool takenElsewhere = false;
  std::thread other([&] { takenElsewhere = m.tryLock(); });
  other.join();
  EXPECT_TRUE(takenElsewhere);
}

}  // namespace
