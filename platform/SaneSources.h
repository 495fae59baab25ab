#pragma once
// This machine's real scanners through SANE, each device a TWAIN source named by its vendor and
// model. SANE is started once, on the first listing, and stopped when the program ends.
#include <memory>
#include <vector>

#include "platform/TwainManager.h"

namespace platform::twain {

std::vector<std::unique_ptr<Source>> listSaneSources();

}  // namespace platform::twain
