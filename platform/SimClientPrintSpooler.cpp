#include "platform/SimClientPrintSpooler.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/Clock.h"
#include "platform/SimEnvironment.h"

namespace platform {
namespace {

namespace wire = simwire;
using wire::SpoolerOp;
using wire::SpoolerReply;
using wire::SpoolerRequest;

// How often a wait for a change looks at the notification.
constexpr std::uint32_t kChangePollMs = 100;

SpoolerAnswer answerOf(const SpoolerReply& reply) { return {reply.ok, reply.error, reply.needed}; }

class SpoolerOverCalls final : public PrintSpooler {
 public:
  SpoolerOverCalls(std::string host, SpoolerTransport transport, SpoolerWaiter waiter)
      : host_(std::move(host)), transport_(std::move(transport)), waiter_(std::move(waiter)) {}

  OpenPrinterResult OpenPrinter(std::string_view name, std::uint32_t access) override {
    SpoolerRequest r = request(SpoolerOp::OpenPrinter, kInvalidHandle);
    r.name = std::string(name);
    r.first = access;
    const SpoolerReply reply = call(r);
    if (!reply.ok || reply.handle == kInvalidHandle)
      return {kInvalidHandle, reply.ok ? kErrorInvalidHandle : reply.error};
    return {static_cast<Handle>(reply.handle), 0};
  }

  void ClosePrinter(Handle printer) override {
    forgetLooks([&](const Look& look) { return look.printer == printer; });
    call(request(SpoolerOp::ClosePrinter, printer));
  }

  SpoolerAnswer GetPrinter(Handle printer, std::uint32_t bufferBytes, PrinterInfo& info) override {
    if (const std::optional<SpoolerAnswer> looked = lookedInfo(printer, bufferBytes, info)) return *looked;
    SpoolerRequest r = request(SpoolerOp::GetPrinter, printer);
    r.bufferBytes = bufferBytes;
    SpoolerReply reply = call(r);
    if (reply.ok) info = std::move(reply.printer);
    return answerOf(reply);
  }

  SpoolerAnswer SetPrinter(Handle printer, const PrinterInfo& info) override {
    staleLooks();
    SpoolerRequest r = request(SpoolerOp::SetPrinter, printer);
    r.printer = info;
    return answerOf(call(r));
  }

  SpoolerAnswer ControlPrinter(Handle printer, std::uint32_t command) override {
    staleLooks();
    SpoolerRequest r = request(SpoolerOp::ControlPrinter, printer);
    r.first = command;
    return answerOf(call(r));
  }

  SpoolerAnswer EnumJobs(Handle printer, std::uint32_t firstJob, std::uint32_t count,
                         std::uint32_t bufferBytes, std::vector<JobInfo>& jobs) override {
    if (lookedEmpty(printer)) {
      jobs.clear();
      return {true, 0, 0};
    }
    SpoolerRequest r = request(SpoolerOp::EnumJobs, printer);
    r.first = firstJob;
    r.second = count;
    r.bufferBytes = bufferBytes;
    SpoolerReply reply = call(r);
    jobs.clear();
    if (reply.ok) jobs = std::move(reply.jobs);
    return answerOf(reply);
  }

  SpoolerAnswer SetJob(Handle printer, std::uint32_t jobId, std::uint32_t command) override {
    staleLooks();
    SpoolerRequest r = request(SpoolerOp::SetJob, printer);
    r.first = jobId;
    r.second = command;
    return answerOf(call(r));
  }

  SpoolerAnswer EnumPorts(std::uint32_t bufferBytes, std::vector<PortInfo>& ports) override {
    SpoolerRequest r = request(SpoolerOp::EnumPorts, kInvalidHandle);
    r.bufferBytes = bufferBytes;
    SpoolerReply reply = call(r);
    ports.clear();
    if (reply.ok) ports = std::move(reply.ports);
    return answerOf(reply);
  }

  Handle FindFirstPrinterChangeNotification(Handle printer, std::uint32_t filter) override {
    SpoolerRequest r = request(SpoolerOp::FindFirstChange, printer);
    r.first = filter;
    const SpoolerReply reply = call(r);
    return reply.ok ? static_cast<Handle>(reply.handle) : kInvalidHandle;
  }

  ChangeWait WaitForPrinterChange(Handle change, std::uint32_t timeoutMs,
                                  const Event* stop) override {
    if (stop && stop->isSet()) return ChangeWait::Stopped;
    if (waiter_) {
      // Fired and not reset yet (the host reset it, the caller has not): fired still.
      if (firedSinceLook(change)) return ChangeWait::Fired;
      SpoolerRequest r = request(SpoolerOp::WaitChange, change);
      r.first = timeoutMs;
      r.second = simwire::kWaitThenLook;
      bool stopped = false;
      const std::optional<SpoolerReply> reply = waiter_(r, stop ? stop->fd() : -1, stopped);
      if (stopped) return ChangeWait::Stopped;
      if (!reply || !reply->ok) return ChangeWait::Failed;
      remember(change, *reply);
      return reply->changes != 0 ? ChangeWait::Fired : ChangeWait::TimedOut;
    }
    Clock& clock = platform::clock();
    const std::int64_t deadline = clock.nowMs() + timeoutMs;
    for (;;) {
      const SpoolerReply reply = call(request(SpoolerOp::CheckChange, change));
      if (!reply.ok) return ChangeWait::Failed;
      if (reply.changes != 0) return ChangeWait::Fired;
      if (stop && stop->isSet()) return ChangeWait::Stopped;
      const std::int64_t left = deadline - clock.nowMs();
      if (left <= 0) return ChangeWait::TimedOut;
      clock.sleepMs(static_cast<std::uint32_t>(std::min<std::int64_t>(left, kChangePollMs)));
    }
  }

  bool FindNextPrinterChangeNotification(Handle change) override {
    if (takeLookedReset(change)) return true;
    return call(request(SpoolerOp::FindNextChange, change)).ok;
  }

  void FindClosePrinterChangeNotification(Handle change) override {
    forgetLooks([&](const Look& look) { return look.change == change; });
    call(request(SpoolerOp::CloseChange, change));
  }

  SpoolerAnswer EnumPrinters(std::uint32_t flags, std::uint32_t bufferBytes,
                             std::vector<PrinterInfo5>& printers) override {
    SpoolerRequest r = request(SpoolerOp::EnumPrinters, kInvalidHandle);
    r.first = flags;
    r.bufferBytes = bufferBytes;
    SpoolerReply reply = call(r);
    printers.clear();
    if (reply.ok) printers = std::move(reply.printers);
    return answerOf(reply);
  }

  SpoolerAnswer EnumJobIds(Handle printer, std::uint32_t firstJob, std::uint32_t count,
                           std::uint32_t bufferBytes, std::vector<std::uint32_t>& ids) override {
    SpoolerRequest r = request(SpoolerOp::EnumJobIds, printer);
    r.first = firstJob;
    r.second = count;
    r.bufferBytes = bufferBytes;
    const SpoolerReply reply = call(r);
    ids.clear();
    if (reply.ok)
      for (const JobInfo& job : reply.jobs) ids.push_back(job.id);
    return answerOf(reply);
  }

  XcvAnswer XcvData(Handle monitor, std::string_view command, std::span<const std::uint8_t> input,
                    std::uint32_t outputBytes, std::vector<std::uint8_t>& output) override {
    staleLooks();
    SpoolerRequest r = request(SpoolerOp::XcvData, monitor);
    r.name = std::string(command);
    r.input.assign(input.begin(), input.end());
    r.bufferBytes = outputBytes;
    SpoolerReply reply = call(r);
    output.clear();
    if (reply.ok) {
      output = std::move(reply.output);
      if (output.size() > outputBytes) output.resize(outputBytes);
    }
    return {reply.ok, reply.error, reply.needed, reply.status};
  }

  SpoolerAnswer DeletePort(std::string_view portName) override {
    staleLooks();
    SpoolerRequest r = request(SpoolerOp::DeletePort, kInvalidHandle);
    r.name = std::string(portName);
    return answerOf(call(r));
  }

  SpoolerAnswer AddPortEx(std::string_view portName, std::string_view monitorName) override {
    staleLooks();
    SpoolerRequest r = request(SpoolerOp::AddPortEx, kInvalidHandle);
    r.name = std::string(portName);
    r.monitor = std::string(monitorName);
    return answerOf(call(r));
  }

  SpoolerAnswer StartAddPrinterWizard() override {
    staleLooks();
    return answerOf(call(request(SpoolerOp::AddPrinterWizard, kInvalidHandle)));
  }

 private:
  SpoolerRequest request(SpoolerOp op, Handle handle) const {
    SpoolerRequest r;
    r.host = host_;
    r.op = op;
    r.handle = handle;
    return r;
  }

  // A call that cannot be carried fails as an unreachable spooler would.
  SpoolerReply call(const SpoolerRequest& r) {
    std::optional<SpoolerReply> reply = transport_(r);
    if (reply) return std::move(*reply);
    SpoolerReply failed;
    failed.error = kErrorNoSpooler;
    return failed;
  }

  // What a wait brought back with its answer (kWaitThenLook): the host reset the notification
  // then and read its queue. The caller's reset and its first reads after the wait are answered
  // from here; a change of any queue through this spooler makes the reads go to the host again.
  struct Look {
    Handle change = kInvalidHandle;
    Handle printer = kInvalidHandle;
    std::uint32_t changes = 0;
    bool resetUntaken = true;  // the caller's FindNext is still to come
    PrinterInfo info;
    std::uint32_t infoBytes = 0;
    bool infoUnread = true;  // until the first full GetPrinter
    bool jobsUncounted = true;  // until the first EnumJobs
  };

  void remember(Handle change, const SpoolerReply& reply) {
    std::lock_guard lock(looksMutex_);
    std::erase_if(looks_, [&](const Look& look) { return look.change == change; });
    if (reply.handle == kInvalidHandle) return;  // not reset: the caller's reset goes to the host
    Look look;
    look.change = change;
    look.printer = static_cast<Handle>(reply.handle);
    look.changes = reply.changes;
    look.info = reply.printer;
    look.infoBytes = reply.needed;
    // With jobs queued the caller's next reads may come seconds later (it connects the device
    // first): they go to the host. An empty queue's are read at once.
    look.infoUnread = look.jobsUncounted = reply.printer.jobCount == 0;
    looks_.push_back(std::move(look));
  }

  Look* lookOf(Handle change) {
    const auto it = std::find_if(looks_.begin(), looks_.end(),
                                 [&](const Look& look) { return look.change == change; });
    return it == looks_.end() ? nullptr : &*it;
  }

  Look* lookAtPrinter(Handle printer) {
    const auto it = std::find_if(looks_.begin(), looks_.end(),
                                 [&](const Look& look) { return look.printer == printer; });
    return it == looks_.end() ? nullptr : &*it;
  }

  bool firedSinceLook(Handle change) {
    std::lock_guard lock(looksMutex_);
    const Look* look = lookOf(change);
    return look && look->resetUntaken && look->changes != 0;
  }

  // A look answers the caller's reset and its first reads in the order a watcher's pass makes
  // them; a call on its queue that it cannot answer ends it, so that the host answers that call
  // and the ones after it as it would have without the look.
  bool takeLookedReset(Handle change) {
    std::lock_guard lock(looksMutex_);
    Look* look = lookOf(change);
    if (!look) return false;
    if (!look->resetUntaken) return endLook(*look);
    look->resetUntaken = false;
    return true;
  }

  std::optional<SpoolerAnswer> lookedInfo(Handle printer, std::uint32_t bufferBytes, PrinterInfo& info) {
    std::lock_guard lock(looksMutex_);
    Look* look = lookAtPrinter(printer);
    if (!look) return std::nullopt;
    if (!look->infoUnread) {
      endLook(*look);
      return std::nullopt;
    }
    if (bufferBytes < look->infoBytes) return SpoolerAnswer{false, kErrorInsufficientBuffer, look->infoBytes};
    info = look->info;
    look->infoUnread = false;
    return SpoolerAnswer{true, 0, look->infoBytes};
  }

  // True when the look found the queue empty and its jobs were not counted since.
  bool lookedEmpty(Handle printer) {
    std::lock_guard lock(looksMutex_);
    Look* look = lookAtPrinter(printer);
    if (!look) return false;
    if (!look->jobsUncounted) return endLook(*look);
    look->jobsUncounted = false;
    return true;
  }

  bool endLook(const Look& ended) {
    std::erase_if(looks_, [&](const Look& look) { return &look == &ended; });
    return false;
  }

  void staleLooks() {
    std::lock_guard lock(looksMutex_);
    for (Look& look : looks_) look.infoUnread = look.jobsUncounted = false;
  }

  template <typename Which>
  void forgetLooks(Which which) {
    std::lock_guard lock(looksMutex_);
    std::erase_if(looks_, which);
  }

  std::string host_;
  SpoolerTransport transport_;
  SpoolerWaiter waiter_;
  std::mutex looksMutex_;
  std::vector<Look> looks_;
};

}  // namespace

std::unique_ptr<PrintSpooler> makeSpoolerOverCalls(std::string host, SpoolerTransport transport,
                                                   SpoolerWaiter waiter) {
  return std::make_unique<SpoolerOverCalls>(std::move(host), std::move(transport), std::move(waiter));
}

std::unique_ptr<PrintSpooler> makeSimClientPrintSpooler() {
  // Each call, and each wait (which holds its connection up to the time-out), takes a connection
  // no other thread is using from these and gives it back: the watchers, which look at their
  // queues at the same moments, never queue up behind each other's calls.
  struct Connections {
    std::mutex mutex;
    sim::HostName host;
    std::vector<std::unique_ptr<wire::Channel>> idle;
    std::unique_ptr<wire::Channel> take(std::string& hostName) {
      std::lock_guard lock(mutex);
      hostName = host.get();
      if (idle.empty()) return std::make_unique<wire::Channel>();
      auto channel = std::move(idle.back());
      idle.pop_back();
      return channel;
    }
    void giveBack(std::unique_ptr<wire::Channel> channel) {
      std::lock_guard lock(mutex);
      idle.push_back(std::move(channel));
    }
  };
  auto connections = std::make_shared<Connections>();
  auto toReply = [](std::optional<wire::Message> reply) -> std::optional<SpoolerReply> {
    if (!reply) return std::nullopt;
    if (auto* answer = std::get_if<SpoolerReply>(&*reply)) return std::move(*answer);
    return std::nullopt;
  };
  return makeSpoolerOverCalls(
      std::string(),
      [connections, toReply](SpoolerRequest r) -> std::optional<SpoolerReply> {
        std::unique_ptr<wire::Channel> channel = connections->take(r.host);
        auto reply = toReply(channel->exchange(r));
        connections->giveBack(std::move(channel));
        return reply;
      },
      [connections, toReply](SpoolerRequest r, int stopFd,
                             bool& stopped) -> std::optional<SpoolerReply> {
        const int replyMs = static_cast<int>(std::min<std::uint32_t>(r.first, 0x7FFFFFFF - wire::kReplyTimeoutMs)) +
                            wire::kReplyTimeoutMs;
        std::unique_ptr<wire::Channel> channel = connections->take(r.host);
        auto reply = toReply(channel->exchangeUnless(r, replyMs, stopFd, stopped));
        connections->giveBack(std::move(channel));
        return reply;
      });
}

}  // namespace platform
