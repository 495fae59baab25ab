#pragma once
// The control command's requests to a running world, as JSON: {"cmd": "state"}, {"cmd": "log",
// "from": 1}, {"cmd": "take", "host": "LAB-PC", "server": "192.168.1.20", "port": 2,
// "lockType": 2, "seconds": 3600}, ... (the list is in SCENARIO.md).
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "sim/World.h"

namespace sim {

struct CommandResult {
  bool ok = false;
  std::string text;  // the answer (JSON for state and log) or the fault
};

CommandResult runCommand(World& world, std::string_view jsonText);

nlohmann::ordered_json stateToJson(const WorldState& state);
nlohmann::ordered_json logEntryToJson(const LogEntry& entry);

}  // namespace sim
