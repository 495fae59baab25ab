#include "printing/TPrintThread.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "core/DriverInterface.h"
#include "core/NetInfo.h"
#include "platform/Clock.h"
#include "platform/PrintSpooler.h"
#include "printing/PrinterQueueState.h"

namespace printing {
namespace {

using platform::ChangeWait;
using platform::Handle;
using platform::kInvalidHandle;
using platform::PrintSpooler;

constexpr std::uint32_t kStartDelayMs = 3000;
constexpr std::uint32_t kOpenRetryMs = 10000;
constexpr std::uint32_t kPollMs = 2000;
constexpr std::uint32_t kLookUpMs = 2000;
constexpr std::uint32_t kLinkSettleMs = 500;
constexpr std::uint32_t kHoldLookMs = 100;
constexpr int kHoldTries = 100;
constexpr int kRowOnlyTries = 70;  // later tries refresh the rows themselves
constexpr std::uint32_t kPauseStepMs = 100;

constexpr std::uint32_t kJobSlots = 100;
constexpr std::uint32_t kChangeFilter = platform::kPrinterChangeJob | platform::kPrinterChangeSetPrinter;
// A job listing larger than this is taken for a failed allocation.
constexpr std::uint32_t kMaxJobBufferBytes = 16u << 20;
constexpr int kErrorNotEnoughMemory = 8;

PrintSpooler& spooler() { return platform::printSpooler(); }

std::string quoted(const std::string& name) { return "[ " + name + " ]"; }

}  // namespace

void TPrintThread::QueueHandles::close() {
  if (change != kInvalidHandle) spooler().FindClosePrinterChangeNotification(change);
  if (printer != kInvalidHandle) spooler().ClosePrinter(printer);
  change = kInvalidHandle;
  printer = kInvalidHandle;
}

TPrintThread::TPrintThread(PrintWatcherHost& host, PrintWatchEntry entry,
                           std::uint32_t windowsVersionFlags, TraceSink sink)
    : host_(host), versionFlags_(windowsVersionFlags), sink_(std::move(sink)), entry_(std::move(entry)) {}

TPrintThread::~TPrintThread() {
  // The body uses this object's members: it must have ended before they go.
  terminate();
  waitFor();
}

void TPrintThread::setSeconds(std::int32_t lockSeconds, std::int32_t unlockSeconds) {
  lockSeconds_ = lockSeconds;
  unlockSeconds_ = unlockSeconds;
}

std::string TPrintThread::trace() const {
  std::lock_guard lock(traceMutex_);
  return trace_;
}

// ---------------------------------------------------------------- the thread body

void TPrintThread::execute() {
  pause(kStartDelayMs);
  printerName_ = entry_.queueName;
  thisHost_ = host_.thisHostName();
  traceLine("=================> Print Thread Execute : " + quoted(printerName_));

  QueueHandles queue;
  std::uint32_t access = platform::kPrinterAllAccess;
  int opens = 0;
  while (!terminated()) {
    queue.close();
    connected_ = false;
    if (++opens > 1)
      traceLine("=================> Print Thread Execute Re: " + std::to_string(opens) + "th " +
                quoted(printerName_));
    const platform::OpenPrinterResult opened = spooler().OpenPrinter(printerName_, access);
    if (opened.handle == kInvalidHandle) {
      if (!openFailed(opened.error, access)) break;
      continue;
    }
    queue.printer = opened.handle;
    traceLine("[" + printerName_ + "] OpenPrinter OK !");
    portName_ = SetPrinterState(queue.printer, true, true);
    queue.change = spooler().FindFirstPrinterChangeNotification(queue.printer, kChangeFilter);
    if (queue.change == kInvalidHandle) {
      traceLine("FindFirstPrinterChangeNotification Error ! " + std::to_string(platform::kErrorInvalidHandle));
      pause(kPollMs);  // rather than spin on a spooler that keeps refusing
      continue;
    }
    while (!terminated() && poll(queue, access)) {
    }
  }
  finish(queue, access);
}

// False when the watcher is to end.
bool TPrintThread::openFailed(std::uint32_t error, std::uint32_t& access) {
  const std::string head = "[ " + printerName_ + " ] OpenPrinter Error ! " + std::to_string(error);
  if (error == platform::kErrorInvalidPrinterName) {
    traceLine(head + " : there is no printer installed.");
    return false;
  }
  if (error == platform::kErrorAccessDenied) {
    traceLine(head + " : no access rights for a printer.");
    if (access == platform::kPrinterAllAccess) {
      access = platform::kPrinterAccessAdminister;
    } else if (access == platform::kPrinterAccessAdminister) {
      access = platform::kPrinterAccessUse;
    } else {
      pause(kOpenRetryMs);  // denied even the use of it: no lower right is left to try
    }
    return true;
  }
  traceLine(head);
  pause(kOpenRetryMs);
  return true;
}

void TPrintThread::finish(QueueHandles& queue, std::uint32_t access) {
  if (!host_.sessionEnding()) {
    jobPresent_ = false;
    CheckAndGetTCPBus();
    if (!heldHere() && access != platform::kPrinterAccessUse) SetPrinterState(queue.printer, true, false);
  }
  queue.close();
  traceLine("=================> Print Thread Terminated : " + quoted(printerName_) + " " + timeText());
}

// One pass: false when the watcher must start over from opening the queue.
bool TPrintThread::poll(const QueueHandles& queue, std::uint32_t access) {
  const ChangeWait wait = spooler().WaitForPrinterChange(queue.change, kPollMs, &stopEvent());
  if (terminated()) {
    traceLine("=================> Print Thread WaitForSingleObject : " + quoted(printerName_) +
              " : 1 " + timeText());
    return true;
  }
  if (!spooler().FindNextPrinterChangeNotification(queue.change)) {
    traceLine("FindNextPrinterChangeNotification Error ! " + std::to_string(platform::kErrorInvalidHandle));
    return false;
  }
  std::vector<platform::JobInfo> jobs;
  const platform::SpoolerAnswer size = spooler().EnumJobs(queue.printer, 0, kJobSlots, 0, jobs);
  if (size.needed == 0) {
    queueEmpty(queue.printer, access, wait == ChangeWait::TimedOut);
    return true;
  }
  return jobsPresent(queue.printer, access, size.needed);
}

void TPrintThread::queueEmpty(Handle printer, std::uint32_t access, bool timedOut) {
  jobId_ = -1;
  documentName_.clear();
  jobPresent_ = false;
  CheckAndGetTCPBus();
  if (timedOut && access != platform::kPrinterAccessUse) {
    const bool here = heldHere();
    SetPrinterState(printer, !here, !here);
  }
  // The jobs are gone, however this pass learnt it: a wait that timed out may follow a
  // notification that an earlier reset swallowed, and the device must not stay locked.
  if (!connected_) return;
  if (holder_.empty()) {
    traceLine("Try UnLink " + quoted(printerName_) + " : Already Linked but no Owner !");
    forceRefresh_ = true;
    CheckAndGetTCPBus();
  }
  if (heldHere()) unlock();
  connected_ = false;
}

bool TPrintThread::jobsPresent(Handle printer, std::uint32_t access, std::uint32_t needed) {
  if (needed > kMaxJobBufferBytes) {
    traceLine("GlobalAlloc hBufferJob Error ! " + std::to_string(kErrorNotEnoughMemory));
    return false;
  }
  std::vector<platform::JobInfo> jobs;
  // The queue may have changed since the size was asked; the next pass looks again.
  if (!spooler().EnumJobs(printer, 0, kJobSlots, needed, jobs).ok || jobs.empty()) return true;
  jobId_ = static_cast<std::int32_t>(jobs.front().id);
  documentName_ = jobs.front().document;
  traceLine("EnumJobs (" + printerName_ + ") : Job Id = " + std::to_string(jobId_) +
            ", Name = " + documentName_);

  const bool useOnly = access == platform::kPrinterAccessUse;
  jobPresent_ = true;
  CheckAndGetTCPBus();
  if (connected_ && holder_.empty()) {
    traceLine("Try Connect " + quoted(printerName_) + " : Already Connected but no Owner !");
    if (!useOnly) SetPrinterState(printer, true, true);
    connected_ = false;
  }
  if (!connected_ && !heldHere()) {
    if (jobRefused_) return true;
    if (!portAccepted_) {
      portAccepted_ = IsAutoConnectPort(portName_);
      if (!portAccepted_) {
        refuseJob(printer);
        return true;
      }
    }
    if (!connect(printer, useOnly)) return true;
  }
  if (!connected_ && heldHere()) lock(printer, useOnly);
  return true;
}

void TPrintThread::refuseJob(Handle printer) {
  host_.showAutoLinkRefused();
  const bool deletes =
      (versionFlags_ & (core::kWin6x | core::kWin5xOr6x | core::kWin40 | core::kWin50)) != 0;
  const std::uint32_t command = deletes ? platform::kJobControlDelete : platform::kJobControlCancel;
  if (!spooler().SetJob(printer, static_cast<std::uint32_t>(jobId_), command).ok) jobRefused_ = true;
}

// False when the link failed (the next pass tries again).
bool TPrintThread::connect(Handle printer, bool useOnly) {
  if (!useOnly) SetPrinterState(printer, true, false);
  if (!core::LinkDevice(bus_, devicePort_)) {
    traceLine("Try Connect " + quoted(printerName_) + " : Fail ----------------- !");
    return false;
  }
  traceLine("Try Connect " + quoted(printerName_) + " (" + holder_ + ") : OK !");
  pause(kLinkSettleMs);
  if (!useOnly) SetPrinterState(printer, false, false);
  jobPresent_ = false;
  int tries = 0;
  while (tries < kHoldTries && !terminated()) {
    ++tries;
    if (tries > kRowOnlyTries) forceRefresh_ = true;
    CheckAndGetTCPBus();
    pause(kHoldLookMs);
    if (heldHere()) break;
  }
  traceLine("Try Connect " + quoted(printerName_) + " (" + holder_ + ") : OK ! c=" + std::to_string(tries));
  return true;
}

void TPrintThread::lock(Handle printer, bool useOnly) {
  traceLine(">>> Try Lock " + quoted(printerName_) + " : Timeout : " + std::to_string(lockSeconds_));
  if (core::LockDevice(bus_, devicePort_, core::kLockAuto, static_cast<std::uint32_t>(lockSeconds_)))
    traceLine("Try Lock " + quoted(printerName_) + " (" + holder_ + ") : OK !");
  else
    traceLine("Try Lock " + quoted(printerName_) + " : Fail ----------------- !");
  if (!useOnly) SetPrinterState(printer, false, false);
  connected_ = true;
}

void TPrintThread::unlock() {
  traceLine(">>> Try Unlock " + quoted(printerName_) + " : Timeout : " + std::to_string(unlockSeconds_));
  if (core::UnlockDevice(bus_, devicePort_, core::kLockAuto, static_cast<std::uint32_t>(unlockSeconds_)))
    traceLine("Try Unlock [" + printerName_ + "] (" + holder_ + ") : OK !");
  else
    traceLine("Try Unlock " + quoted(printerName_) + " : Fail ----------------- !");
}

// ---------------------------------------------------------------- the device look-up

void TPrintThread::CheckAndGetTCPBus() {
  bus_ = kInvalidHandle;
  devicePort_ = "-1";
  holder_.clear();
  lookedUpBus_ = 0;
  lookedUpPort_ = 0;
  try {
    const PrintWatchEntry& e = entry_;
    if (!jobPresent_) {
      // One scan of the servers and the row at once: nothing waits between them.
      const ServerAndRow found = host_.findServerAndRow(e.serverMac, e.vid, e.pid, e.serial);
      if (found.server) {
        lookedUpBus_ = found.server->bus == kInvalidHandle ? 0 : found.server->bus;
        findDevice(*found.server, &found.row);
      }
      return;
    }
    std::optional<ServerView> server;
    for (;;) {
      server = host_.findServer(e.serverMac);
      if (terminated()) break;
      pause(kLookUpMs);
      if (server) break;
    }
    if (server) {
      lookedUpBus_ = server->bus == kInvalidHandle ? 0 : server->bus;
      findDevice(*server, nullptr);
    }
  } catch (...) {
    // What the look-up had found when it failed: the server's bus and the row's port, 0 for none.
    char line[160];
    std::snprintf(line, sizeof line, " : SData : %08X DData : %08X\n",
                  static_cast<unsigned>(lookedUpBus_), static_cast<unsigned>(lookedUpPort_));
    bus_ = kInvalidHandle;
    devicePort_ = "-1";
    holder_.clear();
    traceLine("[Warning] CheckAndGetTCPBus() : " + printerName_ + line);
  }
}

void TPrintThread::findDevice(const ServerView& found, const std::optional<DeviceRowView>* firstRow) {
  const PrintWatchEntry& e = entry_;
  std::optional<ServerView> server = found;
  std::optional<DeviceRowView> row;
  for (;;) {
    row = firstRow ? *firstRow : host_.findDeviceRow(e.serverMac, e.vid, e.pid, e.serial);
    firstRow = nullptr;
    if (row) lookedUpPort_ = std::atoll(row->port.c_str());
    if (terminated() || (!jobPresent_ && !forceRefresh_)) break;
    if (row && server->bus != kInvalidHandle && !forceRefresh_) break;
    if (server->bus == kInvalidHandle) {
      traceLine("rebuild tcp bus : " + server->ip + "\n");
      host_.attachServerBus(e.serverMac);
    }
    host_.refreshDeviceList(e.serverMac);
    forceRefresh_ = false;
    pause(kLookUpMs);
    // A refresh may replace or remove rows, and an attach gives the server a bus.
    server = host_.findServer(e.serverMac);
    if (!server) return;
    if (row) {
      row = host_.findDeviceRow(e.serverMac, e.vid, e.pid, e.serial);
      break;
    }
  }
  if (!row) return;
  bus_ = server->bus;
  devicePort_ = row->port;
  holder_ = row->holder;
}

// ---------------------------------------------------------------- helpers

void TPrintThread::pause(std::uint32_t ms) {
  platform::Clock& clock = platform::clock();
  while (ms > 0 && !terminated()) {
    const std::uint32_t step = std::min(ms, kPauseStepMs);
    clock.sleepMs(step);
    ms -= step;
  }
}

void TPrintThread::traceLine(std::string line) {
  {
    std::lock_guard lock(traceMutex_);
    trace_ = line;
  }
  if (sink_) sink_(line);
}

std::string TPrintThread::timeText() const {
  const std::time_t now = platform::clock().wallTime();
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

}  // namespace printing
