#pragma once
// What plug and play records in a simulated computer's machine hive while a shared device is linked
// to it: the device's USB enumeration keys (and its interfaces' for a composite device), the
// children the printer and 1284.4 enumerators make, the still-image class entry of its scanner and
// the plug-and-play record of the queues that print to it; and, for storage, whether it is busy.
#include <string>

#include "platform/Registry.h"
#include "sim/World.h"
#include "sim/WorldModel.h"

namespace sim {

// "SYSTEM\CurrentControlSet\Enum\USB\Vid_04f9&Pid_0A2B" (vendor digits lower case, product upper).
std::string usbEnumKey(const Device& d);
// The instance's name below it: the serial number, or one made from the port without one.
std::string usbInstanceName(const Device& d);
// The shape plug and play gives the device: the scenario's, else one chosen by its type (a printer,
// an MFP as a composite device with printer, fax and scanner interfaces, a scanner, storage).
PlugAndPlayShape effectiveShape(const Device& d);
// The still-image device id of its scanner ("{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\0003"), empty
// when plug and play makes no scanner of type 1 for it.
std::string stillImageDeviceId(const Device& d);

// Writes (present) or removes the keys of one change in `registry`.
void recordPlugAndPlay(platform::Registry& registry, const PlugAndPlayChange& change);
// The same in the registry file of the change's computer (simDir()/hosts/<host>/registry.db).
void recordPlugAndPlay(const PlugAndPlayChange& change);
// A computer's start: no device is plugged in yet, and its spooler lists the queues it has.
void resetPlugAndPlay(platform::Registry& registry, const Host& host);

}  // namespace sim
