#pragma once
// The lock that serialises the refreshes of the server list and the device rows, whoever asks for
// them (the UI thread, the print watchers). It belongs to a thread: the owner takes it again at once.
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace app {

class RefreshMutex {
 public:
  explicit RefreshMutex(std::string name = "RefreshServerList_NUC") : name_(std::move(name)) {}
  const std::string& name() const { return name_; }
  // Takes the lock without waiting; true when this thread now holds it (once more).
  bool tryLock();
  // Gives one take back; a thread that does not hold it changes nothing.
  void release();
  bool heldByThisThread() const;

 private:
  std::string name_;
  mutable std::mutex mutex_;
  std::thread::id owner_;
  int count_ = 0;
};

// The waiting rule: try without waiting; after each failure let the messages run once and sleep
// 200 ms; give up after 31 failed tries or as soon as the window is closing, and go on without the
// lock. The take is given back when the wait ends its scope.
class RefreshMutexWait {
 public:
  static constexpr int kMaxFailedTries = 31;
  static constexpr unsigned kRetrySleepMs = 200;

  RefreshMutexWait(RefreshMutex& mutex, const std::function<void()>& pumpMessages,
                   const std::function<bool()>& closing);
  ~RefreshMutexWait();
  RefreshMutexWait(const RefreshMutexWait&) = delete;
  RefreshMutexWait& operator=(const RefreshMutexWait&) = delete;
  bool taken() const { return taken_; }

 private:
  RefreshMutex& mutex_;
  bool taken_ = false;
};

}  // namespace app
