#pragma once
// A manual-reset event: once set it stays set until reset, and every wait on it ends. Its file
// descriptor is readable while it is set, so a wait on a socket can watch it as well.
#include <atomic>
#include <cstdint>

namespace platform {

class Event {
 public:
  Event();
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void set();
  void reset();
  bool isSet() const { return set_.load(); }
  // Readable (POLLIN) while the event is set; -1 when the system gave no descriptor.
  int fd() const { return fd_; }
  // Waits up to timeoutMs of real time (kWaitForever from DeviceIo.h: no end); true when set.
  bool wait(std::uint32_t timeoutMs) const;

 private:
  int fd_ = -1;
  std::atomic<bool> set_{false};
};

}  // namespace platform
