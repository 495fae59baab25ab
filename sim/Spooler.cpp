#include "sim/Spooler.h"

#include <algorithm>

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
constexpr std::size_t kMaxDocumentBytes = 255;

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
  }
  return failure(p::kErrorInvalidParameter);
}

// ---------------------------------------------------------------- queues

Spooler::Reply Spooler::open(Host& host, const Request& r) {
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

// ---------------------------------------------------------------- internals

PrinterQueue* Spooler::queueOf(Host& host, Handle handle, std::uint32_t* access) {
  const auto it = printers_.find(handle);
  if (it == printers_.end() || it->second.host != host.name) return nullptr;
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
