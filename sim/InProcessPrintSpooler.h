#pragma once
// The print spooler of one simulated computer, run directly on a World in this process: the same
// calls the daemon answers, without a socket, for fast deterministic tests.
#include <memory>
#include <string>

#include "platform/PrintSpooler.h"
#include "sim/World.h"

namespace sim {

std::unique_ptr<platform::PrintSpooler> makeInProcessPrintSpooler(World& world, std::string host);

}  // namespace sim
