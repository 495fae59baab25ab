#include "app/RefreshMutex.h"

#include "platform/Clock.h"

namespace app {

bool RefreshMutex::tryLock() {
  std::lock_guard lock(mutex_);
  const auto self = std::this_thread::get_id();
  if (count_ > 0 && owner_ != self) return false;
  owner_ = self;
  ++count_;
  return true;
}

void RefreshMutex::release() {
  std::lock_guard lock(mutex_);
  if (count_ > 0 && owner_ == std::this_thread::get_id()) --count_;
}

bool RefreshMutex::heldByThisThread() const {
  std::lock_guard lock(mutex_);
  return count_ > 0 && owner_ == std::this_thread::get_id();
}

RefreshMutexWait::RefreshMutexWait(RefreshMutex& mutex, const std::function<void()>& pumpMessages,
                                   const std::function<bool()>& closing)
    : mutex_(mutex) {
  for (int failed = 0;;) {
    if (mutex_.tryLock()) {
      taken_ = true;
      return;
    }
    if (pumpMessages) pumpMessages();
    platform::clock().sleepMs(kRetrySleepMs);
    if (++failed >= kMaxFailedTries || (closing && closing())) return;
  }
}

RefreshMutexWait::~RefreshMutexWait() {
  if (taken_) mutex_.release();
}

}  // namespace app
