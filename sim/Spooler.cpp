#include "sim/Spooler.h"

#include <algorithm>
#include <utility>

#include "platform/PortRecords.h"
#include "platform/PrintSpooler.h"

namespace sim {
namespace {

namespace p = platform;
using platform::Handle;
using platform::simwire::SpoolerOp;

// Fixed parts of PRINTER_INFO_2, JOB_INFO_2 and PORT_INFO_2 on a 64-bit system.
constexpr std::uint32_t kPrinterInfoFixed = 136;
constexpr std::uint32_t kJobInfoFixed = 160;
constexpr std::uint32_t kPortInfoFixed = 32;
constexpr std::uint32_t kPrinterInfo5Fixed = 32;
// A port monitor is opened as ",XcvMonitor NAME" or ", XcvMonitor NAME": this computer (nothing
// before the comma), at most one blank, the word, one blank and the monitor's name.
constexpr std::string_view kXcvMonitorWord = "XcvMonitor ";
constexpr std::size_t kMaxDocumentBytes = 255;

// The monitor an open names, when it names one.
std::optional<std::string_view> monitorNamed(std::string_view name) {
  if (!name.starts_with(',')) return std::nullopt;
  name.remove_prefix(name.starts_with(", ") ? 2 : 1);
  if (!name.starts_with(kXcvMonitorWord)) return std::nullopt;
  return name.substr(kXcvMonitorWord.size());
}

std::uint32_t textBytes(const std::string& text) {
  return static_cast<std::uint32_t>(2 * (text.size() + 1));
}

p::simwire::SpoolerReply failure(std::uint32_t error) {
  p::simwire::SpoolerReply r;
  r.error = error;
  return r;
}

p::simwire::SpoolerReply success() {
  p::simwire::SpoolerReply r;
  r.ok = true;
  return r;
}

// The sizing rule: a buffer smaller than what the answer takes gets its size instead.
bool fits(p::simwire::SpoolerReply& reply, std::uint32_t needed, std::uint32_t bufferBytes) {
  reply.needed = needed;
  if (bufferBytes >= needed) return true;
  reply.ok = false;
  reply.error = p::kErrorInsufficientBuffer;
  return false;
}

bool administers(std::uint32_t access) { return (access & p::kPrinterAccessAdminister) != 0; }

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

// A name a new port may have: not empty, and no comma (which joins the ports of a pool).
bool validPortName(std::string_view name) {
  return !name.empty() && name.find(',') == std::string_view::npos;
}

bool portInUse(const Host& host, std::string_view name) {
  for (const PrinterQueue& q : host.queues)
    for (const std::string& port : pooledPorts(q.port))
      if (equalNoCase(port, name)) return true;
  return false;
}

}  // namespace

namespace {
struct AccessLevel {
  const char* name;
  std::uint32_t grants;
};
constexpr AccessLevel kAccessLevels[] = {
    {"full", kGrantFull}, {"administer", kGrantAdminister}, {"use", kGrantUse}, {"none", kGrantNone}};
}  // namespace

std::optional<std::uint32_t> parseAccessLevel(std::string_view name) {
  for (const AccessLevel& level : kAccessLevels)
    if (name == level.name) return level.grants;
  return std::nullopt;
}

std::string accessLevelName(std::uint32_t grants) {
  for (const AccessLevel& level : kAccessLevels)
    if (grants == level.grants) return level.name;
  return std::to_string(grants);
}

std::uint32_t printerInfoBytes(const PrinterQueue& q) {
  return kPrinterInfoFixed + textBytes(q.name) + textBytes(q.port) + textBytes(q.driver);
}

std::uint32_t jobInfoBytes(const PrinterQueue& q, const PrintJob& job) {
  return kJobInfoFixed + textBytes(q.name) + textBytes(job.document);
}

std::uint32_t portInfoBytes(const PrinterPort& port) {
  return kPortInfoFixed + textBytes(port.name) + textBytes(port.monitor) +
         textBytes(port.description);
}

std::uint32_t printerInfo5Bytes(const PrinterQueue& q) {
  return kPrinterInfo5Fixed + textBytes(q.name) + textBytes(q.port);
}

std::vector<std::string> pooledPorts(std::string_view portText) {
  std::vector<std::string> ports;
  std::size_t at = 0;
  for (;;) {
    const std::size_t comma = portText.find(',', at);
    std::string port = trimmed(portText.substr(at, comma == std::string_view::npos ? comma : comma - at));
    if (!port.empty()) ports.push_back(std::move(port));
    if (comma == std::string_view::npos) return ports;
    at = comma + 1;
  }
}

const PrinterPort* findPort(const Host& host, std::string_view name) {
  const auto it = std::find_if(host.ports.begin(), host.ports.end(),
                               [&](const PrinterPort& port) { return equalNoCase(port.name, name); });
  return it == host.ports.end() ? nullptr : &*it;
}

PrinterPort* findPort(Host& host, std::string_view name) {
  return const_cast<PrinterPort*>(findPort(std::as_const(host), name));
}

Spooler::Spooler(DeviceLookup device, JobLog log) : device_(std::move(device)), log_(std::move(log)) {}

PrinterQueue* Spooler::findQueue(Host& host, std::string_view name) {
  const auto it = std::find_if(host.queues.begin(), host.queues.end(),
                               [&](const PrinterQueue& q) { return equalNoCase(q.name, name); });
  return it == host.queues.end() ? nullptr : &*it;
}

p::simwire::SpoolerReply Spooler::call(Host& host, const Request& r) {
  switch (r.op) {
    case SpoolerOp::OpenPrinter: return open(host, r);
    case SpoolerOp::ClosePrinter: return close(host, r);
    case SpoolerOp::GetPrinter: return getPrinter(host, r);
    case SpoolerOp::SetPrinter: return setPrinter(host, r);
    case SpoolerOp::ControlPrinter: return controlPrinter(host, r);
    case SpoolerOp::EnumJobs: return enumJobs(host, r);
    case SpoolerOp::SetJob: return setJob(host, r);
    case SpoolerOp::EnumPorts: return enumPorts(host, r);
    case SpoolerOp::FindFirstChange: return findFirst(host, r);
    case SpoolerOp::FindNextChange: return findNext(host, r);
    case SpoolerOp::CloseChange: return closeChange(host, r);
    case SpoolerOp::CheckChange: return checkChange(host, r);
    case SpoolerOp::WaitChange: return checkChange(host, r);  // the daemon holds the reply back
    case SpoolerOp::EnumPrinters: return enumPrinters(host, r);
    case SpoolerOp::EnumJobIds: return enumJobIds(host, r);
    case SpoolerOp::XcvData: return xcvData(host, r);
    case SpoolerOp::DeletePort: return deletePort(host, r);
    case SpoolerOp::AddPortEx: return addPortEx(host, r);
    case SpoolerOp::AddPrinterWizard: return addPrinterWizard(host, r);
  }
  return failure(p::kErrorInvalidParameter);
}

Spooler::Reply Spooler::answerWait(Host& host, const Request& r) {
  Reply reply = checkChange(host, r);
  if (!reply.ok || r.second != p::simwire::kWaitThenLook || !findNext(host, r).ok) return reply;
  Request look;
  look.handle = changeOf(host, r.handle)->printer;
  look.bufferBytes = ~std::uint32_t{0};
  const Reply info = getPrinter(host, look);
  if (!info.ok) return reply;
  reply.handle = look.handle;
  reply.needed = info.needed;
  reply.printer = info.printer;
  return reply;
}

// ---------------------------------------------------------------- queues

Spooler::Reply Spooler::open(Host& host, const Request& r) {
  if (r.name.starts_with(',')) {
    const std::optional<std::string_view> monitor = monitorNamed(r.name);
    if (!monitor) return failure(p::kErrorInvalidPrinterName);
    return openMonitor(host, *monitor, r.first);
  }
  const PrinterQueue* q = findQueue(host, r.name);
  if (!q) return failure(p::kErrorInvalidPrinterName);
  // An open that asks for nothing gets the right to use the queue.
  const std::uint32_t asked = r.first != 0 ? r.first : p::kPrinterAccessUse;
  if ((asked & ~q->grants) != 0) return failure(p::kErrorAccessDenied);
  const Handle handle = nextHandle();
  printers_[handle] = {host.name, q->name, asked};
  Reply reply = success();
  reply.handle = handle;
  return reply;
}

Spooler::Reply Spooler::close(Host& host, const Request& r) {
  if (!printers_.contains(r.handle) || printers_[r.handle].host != host.name)
    return failure(p::kErrorInvalidHandle);
  printers_.erase(r.handle);
  // Its notifications end with it.
  std::erase_if(changes_, [&](const auto& c) { return c.second.printer == r.handle; });
  return success();
}

Spooler::Reply Spooler::getPrinter(Host& host, const Request& r) {
  const PrinterQueue* q = queueOf(host, r.handle);
  if (!q) return failure(p::kErrorInvalidHandle);
  Reply reply = success();
  if (!fits(reply, printerInfoBytes(*q), r.bufferBytes)) return reply;
  reply.printer = {q->name, q->port, q->driver, q->attributes, q->status,
                   static_cast<std::uint32_t>(q->jobs.size())};
  return reply;
}

Spooler::Reply Spooler::setPrinter(Host& host, const Request& r) {
  std::uint32_t error = 0;
  PrinterQueue* q = administeredQueue(host, r.handle, error);
  if (!q) return failure(error);
  // A new port must be there, every port of a pool.
  if (!equalNoCase(r.printer.portName, q->port)) {
    const std::vector<std::string> ports = pooledPorts(r.printer.portName);
    if (ports.empty()) return failure(p::kErrorUnknownPort);
    for (const std::string& port : ports)
      if (!findPort(host, port)) return failure(p::kErrorUnknownPort);
    q->port = r.printer.portName;
  }
  // The status is the spooler's own: pausing and resuming go through their commands.
  q->attributes = r.printer.attributes;
  raise(host.name, q->name, p::kPrinterChangeSetPrinter);
  return success();
}

Spooler::Reply Spooler::controlPrinter(Host& host, const Request& r) {
  std::uint32_t error = 0;
  PrinterQueue* q = administeredQueue(host, r.handle, error);
  if (!q) return failure(error);
  if (r.first == p::kPrinterControlPause) {
    q->status |= p::kPrinterStatusPaused;
  } else if (r.first == p::kPrinterControlResume) {
    q->status &= ~p::kPrinterStatusPaused;
  } else {
    return failure(p::kErrorInvalidParameter);
  }
  raise(host.name, q->name, p::kPrinterChangeSetPrinter);
  return success();
}

// ---------------------------------------------------------------- jobs and ports

Spooler::Reply Spooler::enumJobs(Host& host, const Request& r) {
  const PrinterQueue* q = queueOf(host, r.handle);
  if (!q) return failure(p::kErrorInvalidHandle);
  const std::size_t first = std::min<std::size_t>(r.first, q->jobs.size());
  const std::size_t end = first + std::min<std::size_t>(r.second, q->jobs.size() - first);
  std::uint32_t needed = 0;
  for (std::size_t i = first; i < end; ++i) needed += jobInfoBytes(*q, q->jobs[i]);
  Reply reply = success();
  if (!fits(reply, needed, r.bufferBytes)) return reply;
  for (std::size_t i = first; i < end; ++i) {
    const PrintJob& job = q->jobs[i];
    reply.jobs.push_back({job.id, job.document, job.printing ? kJobStatusPrinting : 0});
  }
  return reply;
}

Spooler::Reply Spooler::setJob(Host& host, const Request& r) {
  std::uint32_t error = 0;
  PrinterQueue* q = administeredQueue(host, r.handle, error);
  if (!q) return failure(error);
  const auto job = std::find_if(q->jobs.begin(), q->jobs.end(),
                                [&](const PrintJob& j) { return j.id == r.first; });
  if (job == q->jobs.end()) return failure(p::kErrorInvalidParameter);
  const char* what = r.second == p::kJobControlDelete   ? "deleted"
                     : r.second == p::kJobControlCancel ? "cancelled"
                                                        : nullptr;
  if (!what) return failure(p::kErrorInvalidParameter);
  const PrintJob removed = *job;
  q->jobs.erase(job);
  log_(host.name, *q, removed, what);
  raise(host.name, q->name, p::kPrinterChangeDeleteJob);
  return success();
}

Spooler::Reply Spooler::enumPorts(Host& host, const Request& r) {
  std::uint32_t needed = 0;
  for (const PrinterPort& port : host.ports) needed += portInfoBytes(port);
  Reply reply = success();
  if (!fits(reply, needed, r.bufferBytes)) return reply;
  for (const PrinterPort& port : host.ports)
    reply.ports.push_back({port.name, port.monitor, port.description});
  return reply;
}

Spooler::Reply Spooler::enumPrinters(Host& host, const Request& r) {
  const bool local = (r.first & p::kPrinterEnumLocal) != 0;
  std::uint32_t needed = 0;
  if (local)
    for (const PrinterQueue& q : host.queues) needed += printerInfo5Bytes(q);
  Reply reply = success();
  if (!fits(reply, needed, r.bufferBytes) || !local) return reply;
  for (const PrinterQueue& q : host.queues) reply.printers.push_back({q.name, q.port, q.attributes});
  return reply;
}

Spooler::Reply Spooler::enumJobIds(Host& host, const Request& r) {
  const PrinterQueue* q = queueOf(host, r.handle);
  if (!q) return failure(p::kErrorInvalidHandle);
  const std::size_t first = std::min<std::size_t>(r.first, q->jobs.size());
  const std::size_t end = first + std::min<std::size_t>(r.second, q->jobs.size() - first);
  Reply reply = success();
  if (!fits(reply, static_cast<std::uint32_t>(end - first) * kJobInfo3Bytes, r.bufferBytes))
    return reply;
  for (std::size_t i = first; i < end; ++i) reply.jobs.push_back({q->jobs[i].id, {}, 0});
  return reply;
}

// ---------------------------------------------------------------- ports and their monitors

Spooler::Reply Spooler::openMonitor(Host& host, std::string_view monitor, std::uint32_t asked) {
  const bool builtIn = equalNoCase(monitor, kLocalMonitor) || equalNoCase(monitor, kTcpIpMonitor);
  const bool named = std::any_of(host.ports.begin(), host.ports.end(), [&](const PrinterPort& port) {
    return !port.monitor.empty() && equalNoCase(port.monitor, monitor);
  });
  if (!builtIn && !named) return failure(p::kErrorInvalidPrinterName);
  if (asked == 0) asked = p::kServerAccessEnumerate;
  if ((asked & p::kServerAccessAdminister) != 0 && !host.spoolerAdmin)
    return failure(p::kErrorAccessDenied);
  const Handle handle = nextHandle();
  printers_[handle] = {host.name, {}, asked, std::string(monitor)};
  Reply reply = success();
  reply.handle = handle;
  return reply;
}

Spooler::Reply Spooler::xcvData(Host& host, const Request& r) {
  const auto it = printers_.find(r.handle);
  if (it == printers_.end() || it->second.host != host.name || it->second.monitor.empty())
    return failure(p::kErrorInvalidHandle);
  Reply reply = success();
  if ((it->second.access & p::kServerAccessAdminister) == 0) {
    reply.status = p::kErrorAccessDenied;
  } else if (equalNoCase(it->second.monitor, kLocalMonitor)) {
    reply.status = localMonitorCommand(host, r);
  } else if (equalNoCase(it->second.monitor, kTcpIpMonitor)) {
    reply.status = tcpIpMonitorCommand(host, r);
  } else {
    reply.status = p::kErrorNotSupported;
  }
  return reply;
}

// "AddPort", "ConfigPort" and "DeletePort" with the port's name as a wide string.
std::uint32_t Spooler::localMonitorCommand(Host& host, const Request& r) {
  const std::optional<std::string> name = p::readWideText(r.input);
  if (!name || !validPortName(*name)) return p::kErrorInvalidParameter;
  if (r.name == "AddPort") {
    if (findPort(host, *name)) return p::kErrorAlreadyExists;
    host.ports.push_back({*name, kLocalMonitor, kLocalMonitor});
    return 0;
  }
  if (r.name == "ConfigPort") {
    const PrinterPort* port = findPort(host, *name);
    return port && equalNoCase(port->monitor, kLocalMonitor) ? 0 : p::kErrorUnknownPort;
  }
  if (r.name == "DeletePort") return removePort(host, *name);
  return p::kErrorNotSupported;
}

// "AddPort" and "ConfigPort" with the standard TCP/IP port record.
std::uint32_t Spooler::tcpIpMonitorCommand(Host& host, const Request& r) {
  if (r.name != "AddPort" && r.name != "ConfigPort") return p::kErrorNotSupported;
  const std::optional<p::TcpIpPortRecord> record = p::decodeTcpIpPortRecord(r.input);
  if (!record || record->version != p::kTcpIpPortRecordVersion ||
      record->size != p::kTcpIpPortRecordBytes || !validPortName(record->portName))
    return p::kErrorInvalidParameter;
  const bool lpr = record->protocol == p::kProtocolLpr;
  if (!lpr && record->protocol != p::kProtocolRawTcp) return p::kErrorInvalidParameter;
  const std::string address = !record->hostAddress.empty() ? record->hostAddress : record->ipAddress;
  if (address.empty() || (lpr && record->queue.empty())) return p::kErrorInvalidParameter;

  PrinterPort* port = findPort(host, record->portName);
  if (r.name == "AddPort") {
    if (port) return p::kErrorAlreadyExists;
    host.ports.push_back({record->portName, kTcpIpMonitor, kTcpIpMonitor});
    port = &host.ports.back();
  } else if (!port || !equalNoCase(port->monitor, kTcpIpMonitor)) {
    return p::kErrorUnknownPort;
  }
  port->protocol = record->protocol;
  port->address = address;
  port->portNumber = record->portNumber;
  port->lprQueue = lpr ? record->queue : std::string();
  return 0;
}

std::uint32_t Spooler::removePort(Host& host, std::string_view name) {
  const auto it = std::find_if(host.ports.begin(), host.ports.end(),
                               [&](const PrinterPort& port) { return equalNoCase(port.name, name); });
  if (it == host.ports.end()) return p::kErrorUnknownPort;
  if (portInUse(host, name)) return p::kErrorBusy;
  host.ports.erase(it);
  return 0;
}

Spooler::Reply Spooler::deletePort(Host& host, const Request& r) {
  if (!host.spoolerAdmin) return failure(p::kErrorAccessDenied);
  const std::uint32_t error = removePort(host, r.name);
  return error == 0 ? success() : failure(error);
}

Spooler::Reply Spooler::addPortEx(Host& host, const Request& r) {
  if (!host.spoolerAdmin) return failure(p::kErrorAccessDenied);
  if (equalNoCase(r.monitor, kTcpIpMonitor)) return failure(p::kErrorNotSupported);
  if (!equalNoCase(r.monitor, kLocalMonitor) || !validPortName(r.name))
    return failure(p::kErrorInvalidParameter);
  if (findPort(host, r.name)) return failure(p::kErrorAlreadyExists);
  host.ports.push_back({r.name, kLocalMonitor, kLocalMonitor});
  return success();
}

Spooler::Reply Spooler::addPrinterWizard(Host& host, const Request&) {
  if (!host.spoolerAdmin) return failure(p::kErrorAccessDenied);
  std::string name;
  if (!addWizardQueue(host, name).empty()) return failure(p::kErrorUnknownPort);
  return success();
}

// ---------------------------------------------------------------- change notifications

Spooler::Reply Spooler::findFirst(Host& host, const Request& r) {
  const PrinterQueue* q = queueOf(host, r.handle);
  if (!q) return failure(p::kErrorInvalidHandle);
  if (r.first == 0) return failure(p::kErrorInvalidParameter);
  const Handle handle = nextHandle();
  changes_[handle] = {host.name, q->name, r.handle, r.first, 0};
  Reply reply = success();
  reply.handle = handle;
  return reply;
}

Spooler::Reply Spooler::findNext(Host& host, const Request& r) {
  ChangeHandle* c = changeOf(host, r.handle);
  if (!c || !findQueue(host, c->queue)) return failure(p::kErrorInvalidHandle);
  c->raised = 0;
  return success();
}

Spooler::Reply Spooler::closeChange(Host& host, const Request& r) {
  if (!changeOf(host, r.handle)) return failure(p::kErrorInvalidHandle);
  changes_.erase(r.handle);
  return success();
}

Spooler::Reply Spooler::checkChange(Host& host, const Request& r) {
  const ChangeHandle* c = changeOf(host, r.handle);
  if (!c) return failure(p::kErrorInvalidHandle);
  Reply reply = success();
  reply.changes = c->raised;
  return reply;
}

// ---------------------------------------------------------------- the print engine

void Spooler::runEngine(std::vector<Host>& hosts, std::int64_t nowMs, std::int64_t printMs) {
  for (Host& host : hosts) {
    for (PrinterQueue& q : host.queues) {
      if (!q.device || q.jobs.empty()) continue;
      PrintJob& job = q.jobs.front();
      const Device* d = device_(*q.device);
      const bool canPrint = (q.attributes & p::kPrinterAttributeWorkOffline) == 0 &&
                            (q.status & p::kPrinterStatusPaused) == 0 && d &&
                            d->holder == host.name;
      if (!canPrint) {
        if (job.printing) {
          job.printing = false;
          log_(host.name, q, job, "interrupted");
          raise(host.name, q.name, p::kPrinterChangeSetJob);
        }
        continue;
      }
      if (!job.printing) {
        job.printing = true;
        job.startedMs = nowMs;
        log_(host.name, q, job, "printing");
        raise(host.name, q.name, p::kPrinterChangeSetJob);
      }
      if (nowMs - job.startedMs < printMs) continue;
      const PrintJob done = job;
      q.jobs.erase(q.jobs.begin());
      log_(host.name, q, done, "printed");
      raise(host.name, q.name, p::kPrinterChangeDeleteJob);
    }
  }
}

std::optional<std::int64_t> Spooler::nextJobEndMs(const std::vector<Host>& hosts,
                                                  std::int64_t printMs) {
  std::optional<std::int64_t> next;
  for (const Host& host : hosts)
    for (const PrinterQueue& q : host.queues)
      if (!q.jobs.empty() && q.jobs.front().printing) {
        const std::int64_t end = q.jobs.front().startedMs + printMs;
        if (!next || end < *next) next = end;
      }
  return next;
}

// ---------------------------------------------------------------- world changes

std::string Spooler::addJob(Host& host, std::string_view queue, std::string document) {
  PrinterQueue* q = findQueue(host, queue);
  if (!q) return "no queue named \"" + std::string(queue) + "\" on " + host.name;
  if (document.size() > kMaxDocumentBytes)
    return "a document name is at most " + std::to_string(kMaxDocumentBytes) + " bytes";
  PrintJob job;
  job.id = host.nextJobId++;
  job.document = std::move(document);
  q->jobs.push_back(job);
  log_(host.name, *q, job, "queued");
  raise(host.name, q->name, p::kPrinterChangeAddJob);
  return {};
}

std::string Spooler::removeQueue(Host& host, std::string_view queue) {
  PrinterQueue* q = findQueue(host, queue);
  if (!q) return "no queue named \"" + std::string(queue) + "\" on " + host.name;
  const std::string name = q->name;
  std::erase_if(host.queues, [&](const PrinterQueue& x) { return &x == q; });
  // Handles on it stay open but name nothing; its notifications fire once more.
  raise(host.name, name, p::kPrinterChangeDeletePrinter);
  return {};
}

std::string Spooler::setGrants(Host& host, std::string_view queue, std::uint32_t grants) {
  PrinterQueue* q = findQueue(host, queue);
  if (!q) return "no queue named \"" + std::string(queue) + "\" on " + host.name;
  q->grants = grants;
  return {};
}

std::string Spooler::addWizardQueue(Host& host, std::string& name) {
  if (host.ports.empty()) return "the add-printer wizard finds no port on " + host.name;
  const auto free = std::find_if(host.ports.begin(), host.ports.end(),
                                 [&](const PrinterPort& port) { return !portInUse(host, port.name); });
  name = kWizardQueueName;
  for (int n = 2; findQueue(host, name); ++n)
    name = std::string(kWizardQueueName) + " (" + std::to_string(n) + ")";
  PrinterQueue q;
  q.name = name;
  q.port = (free != host.ports.end() ? *free : host.ports.front()).name;
  q.driver = "Generic / Text Only";
  host.queues.push_back(std::move(q));
  return {};
}

// ---------------------------------------------------------------- internals

PrinterQueue* Spooler::queueOf(Host& host, Handle handle, std::uint32_t* access) {
  const auto it = printers_.find(handle);
  if (it == printers_.end() || it->second.host != host.name || !it->second.monitor.empty())
    return nullptr;
  if (access) *access = it->second.access;
  return findQueue(host, it->second.queue);
}

PrinterQueue* Spooler::administeredQueue(Host& host, Handle handle, std::uint32_t& error) {
  std::uint32_t access = 0;
  PrinterQueue* q = queueOf(host, handle, &access);
  error = !q ? p::kErrorInvalidHandle : administers(access) ? 0 : p::kErrorAccessDenied;
  return error == 0 ? q : nullptr;
}

Spooler::ChangeHandle* Spooler::changeOf(const Host& host, Handle handle) {
  const auto it = changes_.find(handle);
  return it == changes_.end() || it->second.host != host.name ? nullptr : &it->second;
}

void Spooler::raise(const std::string& host, const std::string& queue, std::uint32_t flags) {
  for (auto& [handle, c] : changes_) {
    if (c.host != host || !equalNoCase(c.queue, queue)) continue;
    // A queue that goes away ends every wait on it, whatever it waited for.
    const std::uint32_t seen = flags == p::kPrinterChangeDeletePrinter ? flags : flags & c.filter;
    c.raised |= seen;
  }
}

Handle Spooler::nextHandle() {
  const Handle h = next_;
  next_ += 4;
  return h;
}

}  // namespace sim
