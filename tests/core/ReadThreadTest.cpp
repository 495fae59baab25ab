#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <span>
#include <thread>

#include "core/ReadThread.h"
#include "platform/Clock.h"
#include "platform/UiDispatcher.h"
#include "support/FakeDeviceIo.h"

namespace {

using core::EventReader;

class ReadThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ui::markUiThread();
    platform::setClock(&clock);
  }
  void TearDown() override { platform::setClock(nullptr); }

  // Serves hand-overs on this (the UI) thread until the condition holds.
  template <typename Done>
  void serveUntil(Done done) {
    platform::ui::serveUntil([&] { return done(); });
  }

  platform::ManualClock clock;
  test::FakeDeviceIo io;
  test::ScopedDeviceIo scope{io};
  std::vector<std::vector<std::uint8_t>> received;
  std::vector<std::int32_t> counts;
  core::DriverEventHandler handler = [this](const std::uint8_t* record, std::int32_t count) {
    received.emplace_back(record, record + core::kEventBytes);
    counts.push_back(count);
  };
};

TEST_F(ReadThreadTest, DeliversAWhole2048ByteRecordAndClearsTheBufferBetweenReads) {
  EventReader reader;
  reader.StartReadThread(5, handler);
  io.sendEvent(std::vector<std::uint8_t>(2048, 0xAB));
  io.sendEvent({2});
  serveUntil([&] { return counts.size() >= 2; });
  reader.StopReadThread();
  ASSERT_GE(received.size(), 2u);
  EXPECT_EQ(counts[0], 2048);
  EXPECT_EQ(received[0], std::vector<std::uint8_t>(2048, 0xAB));
  EXPECT_EQ(counts[1], 1);
  EXPECT_EQ(received[1][0], 2);
  EXPECT_EQ(received[1][1], 0);  // cleared before the read
  EXPECT_FALSE(reader.running());
}

TEST_F(ReadThreadTest, StopWhileAReadIsPendingCancelsIt) {
  EventReader reader;
  reader.StartReadThread(5, handler);
  while (!io.readPending()) std::this_thread::yield();
  reader.StopReadThread();
  EXPECT_EQ(io.requestsOf(core::IOCTL_MASTERBUS_CANCEL_READ).size(), 1u);
  EXPECT_EQ(io.requestsOf(core::IOCTL_MASTERBUS_CANCEL_READ)[0].bytes, std::vector<std::uint8_t>(64, 0));
}

TEST_F(ReadThreadTest, StopEndsEvenWhenTheCancelFindsNoReadPending) {
  EventReader reader;
  std::atomic<bool> inHandler{false};
  reader.StartReadThread(5, [&](const std::uint8_t*, std::int32_t) {
    // The stop arrives while the reader is in its hand-over: its cancel meets no pending read.
    inHandler = true;
  });
  io.sendEvent({1});
  serveUntil([&] { return inHandler.load(); });
  reader.StopReadThread();  // returns thanks to the bounded waits
  EXPECT_FALSE(reader.running());
}

// A driver whose cancel meets no pending read (it came just before the read was issued), so the
// read that follows stays pending; it notes how long each wait on the read may last.
class LostCancelDeviceIo : public test::FakeDeviceIo {
 public:
  bool Control(platform::Handle h, std::uint32_t code, std::span<std::uint8_t> buffer,
               std::uint32_t in, std::uint32_t out, std::uint32_t& returned) override {
    if (code != core::IOCTL_MASTERBUS_CANCEL_READ)
      return FakeDeviceIo::Control(h, code, buffer, in, out, returned);
    std::lock_guard lock(mutex_);
    ++cancels_;
    return true;
  }
  platform::ReadStatus WaitRead(platform::Handle h, std::uint32_t timeoutMs,
                                std::uint32_t& returned) override {
    {
      std::lock_guard lock(mutex_);
      waits_.push_back(timeoutMs);
    }
    return FakeDeviceIo::WaitRead(h, timeoutMs, returned);
  }
  std::vector<std::uint32_t> waits() {
    std::lock_guard lock(mutex_);
    return waits_;
  }
  int cancels() {
    std::lock_guard lock(mutex_);
    return cancels_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::uint32_t> waits_;
  int cancels_ = 0;
};

TEST_F(ReadThreadTest, AnIdleReaderBlocksOnTheReadAndTheStopAndAStopEndsItEvenAfterALostCancel) {
  LostCancelDeviceIo lost;
  test::ScopedDeviceIo use(lost);
  EventReader reader;
  reader.StartReadThread(5, handler);
  while (!lost.readPending() || lost.stoppableWaits() == 0) std::this_thread::yield();
  reader.StopReadThread();  // the read is never completed: only the stop ends the wait
  EXPECT_FALSE(reader.running());
  EXPECT_EQ(lost.cancels(), 1);
  EXPECT_TRUE(lost.readPending());  // left to the handle's close
  EXPECT_TRUE(lost.waits().empty()) << "no wait that ends by itself to look at a stop flag";
  EXPECT_EQ(lost.stoppableWaits(), 1);
  EXPECT_TRUE(received.empty());
}

// Records every sleep asked of it; time moves only by them.
class RecordingClock final : public platform::Clock {
 public:
  std::int64_t nowMs() override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  std::time_t wallTime() override { return 0; }
  void sleepMs(std::uint32_t ms) override {
    std::lock_guard lock(mutex_);
    now_ += ms;
    sleeps_.push_back(ms);
  }
  std::vector<std::uint32_t> sleeps() {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }

 private:
  std::mutex mutex_;
  std::int64_t now_ = 0;
  std::vector<std::uint32_t> sleeps_;
};

TEST_F(ReadThreadTest, FailedReadsBackOffLongerEachTimeUpToAFewSecondsAndHandOverEmptyRecords) {
  RecordingClock recording;
  platform::setClock(&recording);
  io.readsFail = true;
  EventReader reader;
  reader.StartReadThread(5, handler);
  serveUntil([&] { return counts.size() >= 9; });
  reader.StopReadThread();
  EXPECT_EQ(counts[0], 0);
  const std::vector<std::uint32_t> sleeps = recording.sleeps();
  ASSERT_GE(sleeps.size(), 8u);
  const std::vector<std::uint32_t> expected = {100, 200, 400, 800, 1600, 3200, 3200, 3200};
  EXPECT_EQ(std::vector<std::uint32_t>(sleeps.begin(), sleeps.begin() + 8), expected);
  platform::setClock(&clock);
}

TEST_F(ReadThreadTest, ABackOffEndsAtOnceWhenTheReaderIsStopped) {
  platform::setClock(nullptr);  // the real clock: a back-off that a stop must cut short
  io.readsFail = true;
  EventReader reader;
  reader.StartReadThread(5, handler);
  serveUntil([&] { return counts.size() >= 3; });  // 300 ms in: a back-off of 400 ms has begun
  const auto before = std::chrono::steady_clock::now();
  reader.StopReadThread();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(200));
  platform::setClock(&clock);
}

TEST_F(ReadThreadTest, NoControlDeviceStartsNothing) {
  EventReader reader;
  reader.StartReadThread(platform::kInvalidHandle, handler);
  EXPECT_FALSE(reader.running());
  reader.StopReadThread();
  EXPECT_TRUE(io.requestsOf(core::IOCTL_MASTERBUS_CANCEL_READ).empty());
}

}  // namespace
