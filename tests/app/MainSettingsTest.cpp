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

TEST(MainSettingsTest, FirstStartWritesTheDefaultsButNotAutoRun) {
  Store s;
  const auto p = app::LoadWindowPlacement(s.access(), 500, 400, kWork);
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
  const auto p = app::LoadWindowPlacement(s.access(), 500, 400, app::Rect{100, 40, 1820, 1000});
  EXPECT_EQ(p.top, 340);
  EXPECT_EQ(p.left, 760);
  EXPECT_EQ(s.values["MainForm Top"], "340");
  EXPECT_EQ(s.values["MainForm Left"], "760");
}

TEST(MainSettingsTest, StoredPlacementRules) {
  struct Case {
    std::string top;
    int expectTop;
    bool topRewritten;
  } cases[] = {
      {"250", 250, false},
      {"0", 320, false},    // ignored, the centred top stays, not rewritten
      {"-5", 320, false},
      {"abc", 320, false},
      {"3000", 3000, false},  // applied although the program never stores it
  };
  for (const auto& c : cases) {
    Store s;
    s.values = {{"MainForm Width", "500"}, {"MainForm Height", "400"}, {"MainForm Top", c.top},
                {"MainForm Left", "17"}, {"MainForm WindowState", "2"}};
    const auto p = app::LoadWindowPlacement(s.access(), 100, 100, kWork);
    EXPECT_EQ(p.top, c.expectTop) << c.top;
    EXPECT_EQ(p.savedTop, c.expectTop) << c.top;
    EXPECT_EQ(p.left, 17);
    EXPECT_EQ(p.state, 2);
    EXPECT_TRUE(s.writes.empty()) << c.top;
  }
}

TEST(MainSettingsTest, ParkedOrMinimisedWindowKeepsItsStoredValues) {
  Store s;
  s.values = {{"MainForm Top", "250"}, {"MainForm WindowState", "2"}};
  app::WindowPlacement parked{640, 480, 3000, 30, 0, 250};
  app::SaveWindowPlacement(s.access(), parked, /*minimised=*/true);
  EXPECT_EQ(s.values["MainForm Top"], "250");
  EXPECT_EQ(s.values["MainForm WindowState"], "2");
  EXPECT_EQ(s.values["MainForm Width"], "640");
  parked.top = 3001;
  app::SaveWindowPlacement(s.access(), parked, false);
  EXPECT_EQ(s.values["MainForm Top"], "250");
  EXPECT_EQ(s.values["MainForm WindowState"], "0");
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
