#pragma once
// The start with the user's session: an XDG autostart entry, tarvex.desktop in the user's autostart
// folder ($XDG_CONFIG_HOME/autostart, else ~/.config/autostart), starting the program with "-mini".
#include <string>

namespace platform {

std::string autostartFile();
// Writes the entry for `program` (on) or removes it (off). False when that could not be done.
bool setAutostart(bool on, const std::string& program);

}  // namespace platform
