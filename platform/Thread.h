#pragma once
// A worker thread in the style the program expects: created suspended, given a priority, resumed,
// asked to terminate, and waited for while the waiting UI thread keeps serving hand-overs.
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

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
  void terminate() { terminated_.store(true); }
  bool terminated() const { return terminated_.load(); }
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
  std::atomic<bool> finished_{false};
  ThreadPriority priority_ = ThreadPriority::Normal;
  mutable std::mutex mutex_;
  std::thread thread_;
};

}  // namespace platform
