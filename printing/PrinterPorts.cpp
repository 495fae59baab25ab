#include "printing/PrinterPorts.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "core/NetInfo.h"
#include "core/TextCase.h"
#include "platform/PortRecords.h"
#include "platform/PrintSpooler.h"

namespace printing {
namespace {

using platform::PrintSpooler;
using platform::SpoolerAnswer;

// A spooler that claims to need more than this gets no buffer.
constexpr std::uint32_t kMaxAnswerBytes = 16u << 20;

bool usableSize(const SpoolerAnswer& size) { return size.needed != 0 && size.needed <= kMaxAnswerBytes; }
constexpr std::uint32_t kJobsListed = 100;
constexpr const char* kLocalPortMonitor = ", XcvMonitor Local Port";
constexpr const char* kTcpIpPortMonitor = ",XcvMonitor Standard TCP/IP Port";
constexpr const char* kAccessDeniedText =
    "You can't set printer port, you might not have permission to manage the printer.";

int typeByDescription(const std::string& description) {
  const std::string upper = core::UpperCase(description);
  struct Word {
    std::string_view word;
    int type;
  };
  constexpr std::array<Word, 4> kWords = {{{"LOCAL PORT", kPortLocal},
                                           {"TCP/IP PORT", kPortTcpIp},
                                           {"LAN MANAGER", kPortLanManager},
                                           {"INTERNET PORT", kPortInternet}}};
  for (const Word& w : kWords)
    if (core::Contains(upper, w.word)) return w.type;
  return kPortOther;
}

int typeOf(const platform::PortInfo& port) {
  const int type = typeByDescription(port.description);
  if (type != kPortOther && type != kPortLocal) return type;
  const std::string name = core::UpperCase(port.name);
  struct Name {
    std::string_view part;
    int type;
  };
  constexpr std::array<Name, 6> kNames = {{{"FILE:", kPortFile},
                                           {"LPT", kPortLpt},
                                           {"COM", kPortCom},
                                           {"FPR", kPortFpr},
                                           {"PDF", kPortPdf},
                                           {"MICROSOFT", kPortMicrosoft}}};
  for (const Name& n : kNames)
    if (core::Contains(name, n.part)) return n.type;
  return type;
}

// The spooler's port list, or the negative type that says why there is none.
int listPorts(std::vector<platform::PortInfo>& ports) {
  PrintSpooler& spooler = platform::printSpooler();
  const SpoolerAnswer size = spooler.EnumPorts(0, ports);
  if (size.needed == 0) return kPortUnlistable;
  if (size.needed > kMaxAnswerBytes) return kPortNoMemory;
  if (!spooler.EnumPorts(size.needed, ports).ok) return kPortUnlistable;
  return 0;
}

bool is6x(std::uint32_t flags) { return (flags & core::kWin6x) != 0; }
bool is5xOr6x(std::uint32_t flags) { return (flags & core::kWin5xOr6x) != 0; }

// A queue or port monitor opened with the given rights, closed again on the way out.
class SpoolerHandle {
 public:
  SpoolerHandle(std::string_view name, std::uint32_t access)
      : opened_(platform::printSpooler().OpenPrinter(name, access)) {}
  ~SpoolerHandle() {
    if (opened()) platform::printSpooler().ClosePrinter(opened_.handle);
  }
  SpoolerHandle(const SpoolerHandle&) = delete;
  SpoolerHandle& operator=(const SpoolerHandle&) = delete;
  bool opened() const { return opened_.handle != platform::kInvalidHandle; }
  platform::Handle handle() const { return opened_.handle; }
  std::uint32_t error() const { return opened_.error; }

 private:
  platform::OpenPrinterResult opened_;
};

// A port monitor and its commands.
class MonitorHandle : public SpoolerHandle {
 public:
  explicit MonitorHandle(const char* name) : SpoolerHandle(name, platform::kServerAccessAdminister) {}
  platform::XcvAnswer send(const char* command, const std::vector<std::uint8_t>& input,
                           std::uint32_t outputBytes) {
    std::vector<std::uint8_t> output;
    return platform::printSpooler().XcvData(handle(), command, input, outputBytes, output);
  }
};

// The call reached the monitor and the monitor did what it was asked.
bool done(const platform::XcvAnswer& r) { return r.ok && r.status == 0; }

class QueueHandle : public SpoolerHandle {
 public:
  explicit QueueHandle(const std::string& name) : SpoolerHandle(name, platform::kPrinterAllAccess) {}
};

// The type of the first port of that name. A text naming several ports ("LPT1:,COM1:") is no
// port's name.
int typeIn(const std::vector<platform::PortInfo>& ports, const std::string& portName) {
  const auto port = std::find_if(ports.begin(), ports.end(), [&](const platform::PortInfo& p) {
    return core::EqualNoCase(p.name, portName);
  });
  return port != ports.end() ? typeOf(*port) : kPortMissing;
}

}  // namespace

int GetPortType(const std::string& portName) {
  std::vector<platform::PortInfo> ports;
  if (const int failed = listPorts(ports); failed < 0) return failed;
  return typeIn(ports, portName);
}

std::vector<PrinterRow> ListPrinters() {
  PrintSpooler& spooler = platform::printSpooler();
  std::vector<platform::PrinterInfo5> printers;
  const SpoolerAnswer size = spooler.EnumPrinters(platform::kPrinterEnumLocal, 0, printers);
  if (!usableSize(size) || !spooler.EnumPrinters(platform::kPrinterEnumLocal, size.needed, printers).ok)
    return {};
  // One port list serves every queue.
  std::vector<platform::PortInfo> ports;
  const int unlisted = listPorts(ports);
  std::vector<PrinterRow> rows;
  for (const platform::PrinterInfo5& p : printers) {
    if (p.printerName.empty()) continue;
    const int type = unlisted < 0 ? unlisted : typeIn(ports, p.portName);
    if (type == kPortInternet || type == kPortFpr || type == kPortPdf || type == kPortMicrosoft ||
        type == kPortMissing)
      continue;
    rows.insert(rows.begin(), {p.printerName, p.portName, type >= 0 ? std::to_string(type) : ""});
  }
  return rows;
}

int AddLocalPort(const std::string& portName, std::uint32_t flags) {
  if (is6x(flags)) {
    MonitorHandle monitor(kLocalPortMonitor);
    if (!monitor.opened()) return 0;
    const platform::XcvAnswer r = monitor.send("AddPort", platform::wideTextBytes(portName), 0);
    // A port that is there already serves as well as one made now.
    return done(r) || (r.ok && r.status == platform::kErrorAlreadyExists) ? 1 : kPortRequestFailed;
  }
  if (is5xOr6x(flags)) return 0;
  const SpoolerAnswer added = platform::printSpooler().AddPortEx(portName, "Local Port");
  if (added.ok) return 1;
  // An error code of 1 must not read as success.
  return added.error == 1 ? kPortRequestFailed : static_cast<int>(added.error);
}

int AddTcpIpPort(const std::string& portName, bool configure, const PortTarget& target,
                 std::uint32_t flags) {
  if (!is5xOr6x(flags)) return 1;
  platform::TcpIpPortRecord record;
  record.portName = portName;
  if (target.protocol == 1) {
    record.protocol = platform::kProtocolLpr;
    record.portNumber = platform::kLprPortNumber;
    record.queue = target.lprQueue;
  } else {
    record.protocol = platform::kProtocolRawTcp;
    record.portNumber = target.portNumber;
  }
  const std::string& host = target.useFirstHost ? target.firstHost : target.secondHost;
  record.hostAddress = host;
  record.ipAddress = host;
  MonitorHandle monitor(kTcpIpPortMonitor);
  if (!monitor.opened()) return kPortMonitorNotOpened;
  const platform::XcvAnswer r = monitor.send(configure ? "ConfigPort" : "AddPort",
                                             platform::encodeTcpIpPortRecord(record),
                                             platform::kTcpIpPortRecordBytes);
  return done(r) ? 1 : kPortRequestFailed;
}

int DeletePort(const std::string& portName, bool remove) {
  const int type = GetPortType(portName);
  if (type < 0) return 0;
  if (!remove) return type == kPortLanManager ? 2 : 1;
  return platform::printSpooler().DeletePort(portName).ok ? 0 : kPortDeleteFailed;
}

int SetPrinterPort(const std::string& queueName, const std::string& portName,
                   const PortMessageSink& tell) {
  const QueueHandle queue(queueName);
  if (!queue.opened()) {
    if (tell) {
      tell(queue.error() == platform::kErrorAccessDenied
               ? kAccessDeniedText
               : "OpenPrinter() : Error : " + std::to_string(queue.error()));
    }
    return 0;
  }
  PrintSpooler& spooler = platform::printSpooler();
  platform::PrinterInfo info;
  const SpoolerAnswer size = spooler.GetPrinter(queue.handle(), 0, info);
  if (!usableSize(size) || !spooler.GetPrinter(queue.handle(), size.needed, info).ok)
    return 0;
  info.portName = portName;
  info.attributes &= ~(platform::kPrinterAttributeEnableBidi | platform::kPrinterAttributeWorkOffline);
  return spooler.SetPrinter(queue.handle(), info).ok ? 1 : 0;
}

int ReassignPrinterPort(const std::string& queueName, const std::string& portName,
                        const PortTarget& target, std::uint32_t flags, const PortMessageSink& tell) {
  const int probe = DeletePort(portName, false);
  if (target.protocol == 1 || target.protocol == 2)
    return AddTcpIpPort(portName, probe == 1, target, flags) == 1 ? 0 : kPortRequestFailed;
  if (target.protocol != 0) return 0;
  if (probe == 0) return AddLocalPort(portName, flags) == 1 ? 0 : kPortRequestFailed;
  if (probe != 2) return 0;
  // A LAN Manager port becomes a local one: the queue waits on a temporary port meanwhile.
  if (DeletePort(kTempPortName, false) == 0 && AddLocalPort(kTempPortName, flags) != 1)
    return kPortRequestFailed;
  if (SetPrinterPort(queueName, kTempPortName, tell) != 1) return kPortRequestFailed;
  if (DeletePort(portName, true) != 0) return 0;
  return AddLocalPort(portName, flags) == 1 ? kReassignedThroughTempPort : kPortRequestFailed;
}

bool DeletePrinterJobs(const std::string& queueName) {
  const QueueHandle queue(queueName);
  if (!queue.opened()) return false;
  PrintSpooler& spooler = platform::printSpooler();
  std::vector<std::uint32_t> ids;
  const SpoolerAnswer size = spooler.EnumJobIds(queue.handle(), 0, kJobsListed, 0, ids);
  if (!usableSize(size) || !spooler.EnumJobIds(queue.handle(), 0, kJobsListed, size.needed, ids).ok)
    return true;
  for (const std::uint32_t id : ids)
    if (id != 0) spooler.SetJob(queue.handle(), id, platform::kJobControlDelete);
  return true;
}

}  // namespace printing
