#include "printing/PrinterQueueState.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <vector>

#include "core/TextCase.h"
#include "platform/PrintSpooler.h"

namespace printing {
namespace {

using platform::PrintSpooler;
using platform::SpoolerAnswer;

// A spooler that claims to need more than this is not believed: the buffer "cannot be had".
constexpr std::uint32_t kMaxAnswerBytes = 16u << 20;

bool usableSize(const SpoolerAnswer& size) { return size.needed != 0 && size.needed <= kMaxAnswerBytes; }

}  // namespace

std::string SetPrinterState(platform::Handle queue, bool offline, bool paused) {
  if (queue == platform::kInvalidHandle || queue == 0) return "0";
  PrintSpooler& spooler = platform::printSpooler();
  platform::PrinterInfo info;
  const SpoolerAnswer size = spooler.GetPrinter(queue, 0, info);
  if (!usableSize(size) || !spooler.GetPrinter(queue, size.needed, info).ok) return "0";

  const bool isOffline = (info.attributes & platform::kPrinterAttributeWorkOffline) != 0;
  if (isOffline != offline) {
    info.attributes ^= platform::kPrinterAttributeWorkOffline;
    spooler.SetPrinter(queue, info);
  }
  const bool isPaused = (info.status & platform::kPrinterStatusPaused) != 0;
  if (paused && !isPaused) spooler.ControlPrinter(queue, platform::kPrinterControlPause);
  if (!paused && isPaused) spooler.ControlPrinter(queue, platform::kPrinterControlResume);
  return info.portName;
}

bool IsAutoConnectPort(const std::string& portName) {
  // A pool ("USB001,USB002") would let the spooler print to a port the watcher does not drive.
  if (portName.find(',') != std::string::npos) return false;
  PrintSpooler& spooler = platform::printSpooler();
  std::vector<platform::PortInfo> ports;
  const SpoolerAnswer size = spooler.EnumPorts(0, ports);
  if (!usableSize(size) || !spooler.EnumPorts(size.needed, ports).ok) return false;

  const auto port = std::find_if(ports.begin(), ports.end(), [&](const platform::PortInfo& p) {
    return core::EqualNoCase(p.name, portName);
  });
  if (port == ports.end()) return true;
  const std::string& description = port->description;
  const bool local = core::Contains(description, "Local Port");
  constexpr std::array<std::string_view, 3> kNetworkPorts = {"TCP/IP Port", "LAN Manager",
                                                             "Internet Port"};
  const bool network = std::any_of(kNetworkPorts.begin(), kNetworkPorts.end(),
                                   [&](std::string_view kind) { return core::Contains(description, kind); });
  if (network) return false;
  // A serial port is a local port the watcher may drive; other local ports are not.
  if (local) return core::Contains(core::UpperCase(portName), "COM");
  return true;
}

}  // namespace printing
