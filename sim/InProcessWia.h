#pragma once
// The image acquisition device manager of one simulated computer, run directly on a World in this
// process: the same questions the daemon answers, without a socket, for fast deterministic tests.
#include <string>

#include "platform/Wia.h"
#include "sim/World.h"

namespace sim {

platform::wia::ComPtr<platform::wia::IWiaDevMgr> makeInProcessWia(World& world, std::string host);

}  // namespace sim
