#pragma once
// The scanners of one simulated computer, their sources asking a World in this process (tests).
#include <string>

#include "platform/TwainManager.h"
#include "sim/World.h"

namespace sim {

platform::twain::SourceProvider makeInProcessScannerProvider(World& world, std::string host);

}  // namespace sim
