#pragma once
// The print spooler of a simulated computer, reached through spooler calls: over the simulated
// host's socket (the default at run time), or straight into a World linked in process (tests).
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/PrintSpooler.h"
#include "platform/SimWire.h"

namespace platform {

// Carries one call to the simulated spooler; nullopt when it could not be carried.
using SpoolerTransport =
    std::function<std::optional<simwire::SpoolerReply>(const simwire::SpoolerRequest&)>;

// The spooler as `host` sees it, every call made through `transport`. A wait for a change asks
// every 100 ms of platform::clock() whether the notification fired.
std::unique_ptr<PrintSpooler> makeSpoolerOverCalls(std::string host, SpoolerTransport transport);

// Over the simulated host's socket, as platform::sim::thisHostName().
std::unique_ptr<PrintSpooler> makeSimClientPrintSpooler();

}  // namespace platform
