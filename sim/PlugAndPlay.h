#pragma once
// What plug and play records in a simulated computer's registry while a shared storage device is
// plugged into it: the device's USB enumeration key, below HKEY_LOCAL_MACHINE.
#include <string>

#include "platform/Registry.h"
#include "sim/WorldModel.h"

namespace sim {

// "SYSTEM\CurrentControlSet\Enum\USB\Vid_04f9&Pid_0A2B" (vendor digits lower case, product upper).
std::string usbEnumKey(const Device& d);
// The instance's name below it: the serial number, or one made from the port without one.
std::string usbInstanceName(const Device& d);
// Writes (present) or removes the device's instance key in `registry`.
void recordPlugAndPlay(platform::Registry& registry, const Device& d, bool present);
// The same in the registry file of the computer `host` (simDir()/hosts/<host>/registry.db).
void recordPlugAndPlay(const std::string& host, const Device& d, bool present);

}  // namespace sim
