#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Thread.h"
#include "platform/UiDispatcher.h"

namespace {

class CountingThread : public platform::Thread {
 public:
  std::atomic<int> passes{0};
  std::vector<std::thread::id> handOverThreads;

 protected:
  void execute() override {
    while (!terminated()) {
      synchronize([this] { handOverThreads.push_back(std::this_thread::get_id()); });
      ++passes;
      if (passes >= 3) return;
    }
  }
};

TEST(ThreadTest, StartsOnlyWhenResumedAndRunsHandOversOnTheUiThread) {
  platform::ui::markUiThread();
  CountingThread t;
  t.setPriority(platform::ThreadPriority::Lower);
  EXPECT_FALSE(t.started());
  EXPECT_EQ(t.passes.load(), 0);
  t.resume();
  t.waitFor();  // serves the three hand-overs meanwhile
  EXPECT_TRUE(t.finished());
  ASSERT_EQ(t.handOverThreads.size(), 3u);
  for (auto id : t.handOverThreads) EXPECT_EQ(id, std::this_thread::get_id());
}

class WaitingThread : public platform::Thread {
 protected:
  void execute() override {
    while (!terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
};

TEST(ThreadTest, TerminateEndsTheLoopAndWaitReturns) {
  WaitingThread t;
  t.resume();
  t.terminate();
  t.waitFor();
  EXPECT_TRUE(t.finished());
}

TEST(ThreadTest, WaitForAThreadNeverResumedReturnsAtOnce) {
  WaitingThread t;
  t.waitFor();
  EXPECT_FALSE(t.finished());
}

TEST(UiDispatcherTest, AnExceptionInAHandOverDoesNotStrandTheWorker) {
  platform::ui::markUiThread();
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    platform::ui::runOnUi([] { throw 1; });
    returned = true;
  });
  platform::ui::serveUntil([&] { return returned.load(); });
  worker.join();
  EXPECT_TRUE(returned);
}

TEST(ManualClockTest, SleepsAdvanceTimeAndAreCounted) {
  platform::ManualClock c(1000, 50);
  c.sleepMs(1000);
  c.sleepMs(200);
  c.advanceMs(800);
  EXPECT_EQ(c.nowMs(), 3000);
  EXPECT_EQ(c.sleptMs(), 1200);
  EXPECT_EQ(c.sleepCount(), 2);
  EXPECT_EQ(c.wallTime(), 52);
}

}  // namespace
