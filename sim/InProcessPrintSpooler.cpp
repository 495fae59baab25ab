#include "sim/InProcessPrintSpooler.h"

#include "platform/SimClientPrintSpooler.h"

namespace sim {

std::unique_ptr<platform::PrintSpooler> makeInProcessPrintSpooler(World& world, std::string host) {
  return platform::makeSpoolerOverCalls(
      std::move(host), [&world](const platform::simwire::SpoolerRequest& r) {
        return std::optional(world.spooler(r));
      });
}

}  // namespace sim
