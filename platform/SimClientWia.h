#pragma once
// The image acquisition device manager of a simulated computer: its objects ask the simulated host
// about the still-image device over its socket (the default at run time), or straight into a World
// linked in process (tests).
#include <functional>
#include <optional>
#include <string>

#include "platform/SimWire.h"
#include "platform/Wia.h"

namespace platform {

// Carries one question to the simulated host; nullopt when it could not be carried.
using WiaTransport =
    std::function<std::optional<simwire::WiaReply>(const simwire::WiaRequest&)>;

// The device manager as `host` sees it, every question asked through `transport`.
wia::ComPtr<wia::IWiaDevMgr> makeWiaOverCalls(std::string host, WiaTransport transport);

// Over the simulated host's socket, as platform::sim::thisHostName().
wia::ComPtr<wia::IWiaDevMgr> makeSimClientWia();

}  // namespace platform
