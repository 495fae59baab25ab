#include "sim/InProcessScanners.h"

#include "platform/SimScannerSources.h"

namespace sim {

platform::twain::SourceProvider makeInProcessScannerProvider(World& world, std::string host) {
  return platform::twain::simScannerProvider(
      std::move(host), [&world](const platform::simwire::ScannerRequest& r) {
        return std::optional(world.scanners(r));
      });
}

}  // namespace sim
