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
  static const std::unique_ptr<DeviceIo> client = makeSimClientDeviceIo();
  return *client;
}

void setDeviceIo(DeviceIo* io) { installed.store(io, std::memory_order_release); }

}  // namespace platform
