#include "sim/InProcessWia.h"

#include "platform/SimClientWia.h"

namespace sim {

platform::wia::ComPtr<platform::wia::IWiaDevMgr> makeInProcessWia(World& world, std::string host) {
  return platform::makeWiaOverCalls(std::move(host), [&world](const platform::simwire::WiaRequest& r) {
    return std::optional(world.wia(r));
  });
}

}  // namespace sim
