#include "platform/PrintSpooler.h"

#include <atomic>
#include <memory>

#include "platform/SimClientPrintSpooler.h"

namespace platform {
namespace {
std::atomic<PrintSpooler*> installed{nullptr};
}  // namespace

PrintSpooler& printSpooler() {
  if (PrintSpooler* s = installed.load(std::memory_order_acquire)) return *s;
  static const std::unique_ptr<PrintSpooler> client = makeSimClientPrintSpooler();
  return *client;
}

void setPrintSpooler(PrintSpooler* spooler) { installed.store(spooler, std::memory_order_release); }

}  // namespace platform
