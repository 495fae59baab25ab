#include "platform/DeviceIo.h"

#include <atomic>
#include <memory>

#include "platform/SimClientDeviceIo.h"

namespace platform {
namespace {
std::atomic<DeviceIo*> installed{nullptr};
}  // namespace

DeviceIo& deviceIo() {
  if (DeviceIo* io = installed.load(std::memory_order_acquire)) return *io;
  // Never destroyed: the reader thread and the watchers may still use it while the process exits.
  static DeviceIo& client = *makeSimClientDeviceIo().release();
  return client;
}

ReadStatus DeviceIo::WaitReadUnless(Handle handle, const Event& stop, std::uint32_t& returned) {
  constexpr std::uint32_t kLookMs = 5;
  for (;;) {
    if (stop.isSet()) {
      returned = 0;
      return ReadStatus::Pending;
    }
    const ReadStatus status = WaitRead(handle, kLookMs, returned);
    if (status != ReadStatus::Pending) return status;
  }
}

void setDeviceIo(DeviceIo* io) { installed.store(io, std::memory_order_release); }

}  // namespace platform
