#pragma once
// A clock for tests of worker threads: time moves only by sleeping, as with ManualClock, but the
// sleeps of other threads than the one that made the clock may only spend the time the test
// allows. runFor() lets the workers run until they have used that time and are parked again, so
// a test can look at the world between two deterministic stretches of simulated time.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>

#include "platform/Clock.h"

namespace printtest {

class GatedClock final : public platform::Clock {
 public:
  // With open, worker sleeps are never held (a plain manual clock).
  explicit GatedClock(bool open = false) : owner_(std::this_thread::get_id()), open_(open) {}

  std::int64_t nowMs() override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  std::time_t wallTime() override {
    std::lock_guard lock(mutex_);
    return 1'700'000'000 + static_cast<std::time_t>(now_ / 1000);
  }
  void sleepMs(std::uint32_t ms) override {
    std::unique_lock lock(mutex_);
    if (std::this_thread::get_id() == owner_) {
      now_ += ms;
      return;
    }
    const auto self = std::this_thread::get_id();
    parked_[self] = ms;
    changed_.notify_all();
    changed_.wait(lock, [&] { return open_ || now_ + ms <= limit_; });
    parked_.erase(self);
    now_ += ms;
    changed_.notify_all();
  }

  // Lets `workers` worker threads sleep away `ms` more milliseconds, and returns once all of them
  // wait for more; false when they do not within a few seconds of real time.
  bool runFor(std::int64_t ms, std::size_t workers = 1) {
    std::unique_lock lock(mutex_);
    limit_ = std::max(limit_, now_) + ms;
    changed_.notify_all();
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] {
      if (parked_.size() < workers) return false;
      for (const auto& [thread, wants] : parked_)
        if (now_ + static_cast<std::int64_t>(wants) <= limit_) return false;
      return true;
    });
  }

  // No sleep is held any more (before stopping the workers).
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const std::thread::id owner_;
  bool open_;
  std::int64_t now_ = 0;
  std::int64_t limit_ = 0;
  std::map<std::thread::id, std::uint32_t> parked_;  // worker -> the sleep it waits to take
};

}  // namespace printtest
