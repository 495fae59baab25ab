#pragma once
// What a simulated computer's system tells the program about itself (its name, its Windows
// version, its adapters and its own address), written where the program's system-information
// service reads it: simDir()/hosts/<name>/system.json.
#include <string>

#include "platform/Registry.h"
#include "sim/WorldModel.h"

namespace sim {

std::string systemDocument(const Host& host);
// False when the file cannot be written.
bool writeSystemFile(const Host& host);
// Writes the scenario's records into the computer's registry (simDir()/hosts/<name>/registry.db),
// over whatever those values held. False when the registry cannot be opened or written.
bool writeRegistrySeeds(const Host& host);
bool writeRegistrySeeds(platform::Registry& registry, const Host& host);

}  // namespace sim
