#pragma once
// Reading a scenario file (JSON) into the world it describes. Every fault is reported with the
// place it was found, such as "servers[1].devices[0].vid: expected 4 hexadecimal digits".
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "sim/WorldModel.h"

namespace sim {

struct ScenarioResult {
  std::optional<WorldSetup> setup;
  std::string error;  // set when setup is empty
};

ScenarioResult parseScenario(std::string_view jsonText);
ScenarioResult loadScenarioFile(const std::string& path);

// One server or device object in the scenario's form, for the control command's additions.
// `where` prefixes the error text. Holders are checked against no host list here.
struct ServerResult {
  std::optional<Server> server;
  std::string error;
};
struct DeviceResult {
  std::optional<Device> device;
  std::string error;
};
ServerResult parseServerObject(const nlohmann::json& object, const std::string& where);
DeviceResult parseDeviceObject(const nlohmann::json& object, const std::string& where);

}  // namespace sim
