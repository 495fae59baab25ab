#pragma once
// A Windows printer queue's state as the print watchers and the device menu set it, and the rule
// on which ports a bound queue may use.
#include <string>

#include "platform/Handle.h"

namespace printing {

// Sets the queue's work-offline attribute and its paused state to the values given, writing only
// what differs, and returns the queue's port name. With a null handle, or when the queue's data
// cannot be read, it changes nothing and returns "0". The spooler's answers to the writes are not
// looked at.
std::string SetPrinterState(platform::Handle queue, bool offline, bool paused);

// False when a queue on this port may not be connected automatically: a local, TCP/IP, LAN
// Manager or Internet port, except a local port whose name holds "COM"; a text naming several
// ports; false as well when the ports cannot be listed. A port the listing does not know is
// accepted.
bool IsAutoConnectPort(const std::string& portName);

}  // namespace printing
