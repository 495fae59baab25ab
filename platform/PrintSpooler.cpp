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
  // Never destroyed: a print watcher may still wait on it while the process exits.
  static PrintSpooler& client = *makeSimClientPrintSpooler().release();
  return client;
}

namespace {
SpoolerAnswer notSupported() { return {false, kErrorNotSupported, 0}; }
}  // namespace

SpoolerAnswer PrintSpooler::EnumPrinters(std::uint32_t, std::uint32_t, std::vector<PrinterInfo5>& printers) {
  printers.clear();
  return notSupported();
}

SpoolerAnswer PrintSpooler::EnumJobIds(Handle, std::uint32_t, std::uint32_t, std::uint32_t,
                                       std::vector<std::uint32_t>& ids) {
  ids.clear();
  return notSupported();
}

XcvAnswer PrintSpooler::XcvData(Handle, std::string_view, std::span<const std::uint8_t>,
                                std::uint32_t, std::vector<std::uint8_t>& output) {
  output.clear();
  return {false, kErrorNotSupported, 0, 0};
}

SpoolerAnswer PrintSpooler::DeletePort(std::string_view) { return notSupported(); }
SpoolerAnswer PrintSpooler::AddPortEx(std::string_view, std::string_view) { return notSupported(); }
SpoolerAnswer PrintSpooler::StartAddPrinterWizard() { return notSupported(); }

void setPrintSpooler(PrintSpooler* spooler) { installed.store(spooler, std::memory_order_release); }

}  // namespace platform
