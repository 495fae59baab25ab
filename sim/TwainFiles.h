#pragma once
// The files a computer's TWAIN sources install: one "*.ds" per source below the computer's
// system folder ("windows/TWAIN_32" in its folder), which is how a program learns that TWAIN
// sources exist at all.
#include "sim/WorldModel.h"

namespace sim {

// Writes the files afresh for `host` (none when it has no scanner); false when they cannot be
// written.
bool writeTwainSourceFiles(const Host& host);

}  // namespace sim
