#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {

std::int64_t SystemClock::nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::time_t SystemClock::wallTime() { return std::time(nullptr); }

void SystemClock::sleepMs(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool SystemClock::sleepUnless(std::uint32_t ms, const Event& stop) { return !stop.wait(ms); }

bool Clock::sleepUnless(std::uint32_t ms, const Event& stop) {
  if (stop.isSet()) return false;
  sleepMs(ms);
  return !stop.isSet();
}

ManualClock::ManualClock(std::int64_t startMs, std::time_t wall)
    : startMs_(startMs), now_(startMs), wallStart_(wall) {}

std::int64_t ManualClock::nowMs() {
  std::lock_guard lock(mutex_);
  return now_;
}

std::time_t ManualClock::wallTime() {
  std::lock_guard lock(mutex_);
  return wallStart_ + static_cast<std::time_t>((now_ - startMs_) / 1000);
}

void ManualClock::sleepMs(std::uint32_t ms) {
  {
    std::lock_guard lock(mutex_);
    now_ += ms;
    slept_ += ms;
    ++sleeps_;
  }
  // Let other threads run, as a real sleep would, without taking real time.
  std::this_thread::yield();
}

void ManualClock::advanceMs(std::int64_t ms) {
  std::lock_guard lock(mutex_);
  now_ += ms;
}

std::int64_t ManualClock::sleptMs() const {
  std::lock_guard lock(mutex_);
  return slept_;
}

int ManualClock::sleepCount() const {
  std::lock_guard lock(mutex_);
  return sleeps_;
}

namespace {
std::atomic<Clock*> installed{nullptr};
}  // namespace

Clock& clock() {
  // Never destroyed: the workers sleep on it, also while the process exits.
  static Clock& systemClock = *new SystemClock;
  Clock* c = installed.load(std::memory_order_acquire);
  return c ? *c : systemClock;
}

void setClock(Clock* c) { installed.store(c, std::memory_order_release); }

}  // namespace platform
