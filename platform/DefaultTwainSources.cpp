// The sources a computer has when no test chose others: its simulated network scanners and, where
// its host says so, this machine's SANE devices.
#include "platform/SimScannerSources.h"
#include "platform/TwainManager.h"

namespace platform::twain {

std::vector<SourceProvider> defaultSourceProviders() {
  static const SourceProvider thisComputer = simClientScannerProvider();
  return {thisComputer};
}

}  // namespace platform::twain
