#pragma once
// A worker thread in the style the program expects: created suspended, given a priority, resumed,
// asked to terminate, and waited for while the waiting UI thread keeps serving hand-overs.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/Event.h"

namespace platform {

enum class ThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

class Thread {
 public:
  Thread();  // suspended: Execute starts with the first resume()
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Best effort: raising a priority may be refused by the system, and then nothing changes.
  void setPriority(ThreadPriority priority);
  ThreadPriority priority() const { return priority_; }
  void resume();
  void terminate() {
    terminated_.store(true);
    stop_.set();
  }
  bool terminated() const { return terminated_.load(); }
  // Set by terminate(): a wait of the thread that watches it ends at once when asked to stop.
  const Event& stopEvent() const { return stop_; }
  bool finished() const { return finished_.load(); }
  bool started() const;
  // Waits until Execute has returned. On the UI thread it serves hand-overs meanwhile.
  void waitFor();

 protected:
  virtual void execute() = 0;
  // Runs fn on the UI thread and returns after it ran.
  static void synchronize(const std::function<void()>& fn);

 private:
  void run();
  std::atomic<bool> terminated_{false};
  Event stop_;
  std::atomic<bool> finished_{false};
  ThreadPriority priority_ = ThreadPriority::Normal;
  mutable std::mutex mutex_;
  std::thread thread_;
};

// Every worker started and not yet ended is asked to terminate, then waited for (hand-overs are
// served meanwhile on the UI thread) up to `timeoutMs`. For the ways out of the process that
// bypass the owners: nothing a worker uses may be destroyed while it still runs. True when every
// worker has ended.
bool StopAllThreads(std::uint32_t timeoutMs);
// Workers started and not yet ended.
std::size_t RunningThreads();

}  // namespace platform
