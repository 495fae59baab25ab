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

TEST(UiDispatcherTest, AWakeServesEveryHandOverQueuedBeforeItRuns) {
  // A loop that serves only when woken, as the program's event loop does: a hand-over queued
  // behind others gets no wake of its own and must still run.
  platform::ui::markUiThread();
  std::atomic<int> wakes{0};
  platform::ui::setWakeHook([&] { ++wakes; });
  constexpr int kWorkers = 4, kEach = 50;
  std::atomic<int> ran{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < kWorkers; ++i)
    workers.emplace_back([&] {
      for (int n = 0; n < kEach; ++n) platform::ui::runOnUi([&] { ++ran; });
    });
  int served = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ran < kWorkers * kEach && std::chrono::steady_clock::now() < end) {
    if (served < wakes) {
      ++served;
      platform::ui::serve();
    }
  }
  const bool allRan = ran == kWorkers * kEach;
  if (!allRan) platform::ui::serveUntil([&] { return ran == kWorkers * kEach; });  // free the workers
  for (std::thread& w : workers) w.join();
  platform::ui::setWakeHook(nullptr);
  EXPECT_TRUE(allRan) << "a hand-over waited for a wake that never came";
  EXPECT_LE(wakes, kWorkers * kEach);
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
