#pragma once
// The control command's words, turned into the JSON request the daemon runs.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

struct CtlArgs {
  bool help = false;
  std::string dir;         // --dir, when given
  nlohmann::json request;  // {"cmd": ...}
  std::string error;       // set when the words do not make a command
};

CtlArgs parseCtlArgs(const std::vector<std::string>& words);
const char* ctlUsage();

}  // namespace sim
