#pragma once
#include <memory>

#include "platform/DeviceIo.h"

namespace platform {

// The device I/O service as the simulated host's client: every call goes to tarvex-simhost over its
// socket (platform::sim::socketPath()), as the computer platform::sim::thisHostName().
std::unique_ptr<DeviceIo> makeSimClientDeviceIo();

}  // namespace platform
