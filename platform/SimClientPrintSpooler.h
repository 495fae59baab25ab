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

// Carries one wait for a change (a WaitChange request) that ends early when `stopFd` (when not -1)
// can be read; nullopt when it could not be carried, and then `stopped` says whether the stop
// ended it.
using SpoolerWaiter = std::function<std::optional<simwire::SpoolerReply>(
    const simwire::SpoolerRequest&, int stopFd, bool& stopped)>;

// The spooler as `host` sees it, every call made through `transport`. A wait for a change goes
// to `waiter`, which blocks until the host answers; without one it asks every 100 ms of
// platform::clock() whether the notification fired (the stepped time of tests).
std::unique_ptr<PrintSpooler> makeSpoolerOverCalls(std::string host, SpoolerTransport transport,
                                                   SpoolerWaiter waiter = {});

// Over the simulated host's socket, as platform::sim::thisHostName() (looked up once it is known).
std::unique_ptr<PrintSpooler> makeSimClientPrintSpooler();

}  // namespace platform
