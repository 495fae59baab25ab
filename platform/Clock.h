#pragma once
// Time and sleeping, behind one replaceable service so that tests step time instead of waiting.
#include <cstdint>
#include <ctime>
#include <mutex>

#include "platform/Event.h"

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds on a steady clock (only differences mean anything).
  virtual std::int64_t nowMs() = 0;
  // Local wall-clock time, seconds since the epoch.
  virtual std::time_t wallTime() = 0;
  virtual void sleepMs(std::uint32_t ms) = 0;
  // Sleeps like sleepMs, but a set `stop` ends the sleep at once; false when it did.
  virtual bool sleepUnless(std::uint32_t ms, const Event& stop);
};

// The real clock.
class SystemClock final : public Clock {
 public:
  std::int64_t nowMs() override;
  std::time_t wallTime() override;
  void sleepMs(std::uint32_t ms) override;
  bool sleepUnless(std::uint32_t ms, const Event& stop) override;
};

// A clock that only moves when slept on or advanced; thread-safe. Sleeping advances it at once.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(std::int64_t startMs = 0, std::time_t wall = 1'700'000'000);
  std::int64_t nowMs() override;
  std::time_t wallTime() override;
  void sleepMs(std::uint32_t ms) override;
  void advanceMs(std::int64_t ms);
  // Total of every sleep asked for, and how many sleeps there were.
  std::int64_t sleptMs() const;
  int sleepCount() const;

 private:
  mutable std::mutex mutex_;
  std::int64_t startMs_;
  std::int64_t now_;
  std::time_t wallStart_;
  std::int64_t slept_ = 0;
  int sleeps_ = 0;
};

// The process-wide clock: the system clock unless a test installed another.
Clock& clock();
// Installs `c` (not owned) as the clock; nullptr restores the system clock.
void setClock(Clock* c);

}  // namespace platform
