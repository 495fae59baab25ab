// The sources a computer has when no test chose others.
#include "platform/TwainManager.h"

namespace platform::twain {

std::vector<SourceProvider> defaultSourceProviders() { return {}; }

}  // namespace platform::twain
