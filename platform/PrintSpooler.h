#pragma once
// The print spooler as the print watchers and the printer commands reach it: printer queues opened
// by name with access rights, their level-2 information, pause and resume, the job listing, job
// control, the port listing and change notifications. Sized calls follow the spooler's rule: asked
// with a buffer too small (0 to ask the size), they fail with kErrorInsufficientBuffer and say how
// many bytes are needed; a listing with nothing in it needs 0 bytes and succeeds.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Event.h"
#include "platform/Handle.h"

namespace platform {

// Access rights of an open.
inline constexpr std::uint32_t kPrinterAccessAdminister = 0x4;
inline constexpr std::uint32_t kPrinterAccessUse = 0x8;
inline constexpr std::uint32_t kPrinterAllAccess = 0xF000C;
// Rights on the spooler itself, asked by an open of ",XcvMonitor NAME" (a port monitor).
inline constexpr std::uint32_t kServerAccessAdminister = 0x1;
inline constexpr std::uint32_t kServerAccessEnumerate = 0x2;

// Error codes.
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorInvalidPrinterName = 1801;
inline constexpr std::uint32_t kErrorNoSpooler = 1722;  // the spooler cannot be reached
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorBusy = 170;           // a port a queue still prints to
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorUnknownPort = 1796;

// A queue's attributes and status bits.
inline constexpr std::uint32_t kPrinterAttributeWorkOffline = 0x400;
inline constexpr std::uint32_t kPrinterAttributeEnableBidi = 0x800;
inline constexpr std::uint32_t kPrinterStatusPaused = 0x1;

// Printer commands.
inline constexpr std::uint32_t kPrinterControlPause = 1;
inline constexpr std::uint32_t kPrinterControlResume = 2;

// Job commands.
inline constexpr std::uint32_t kJobControlCancel = 3;
inline constexpr std::uint32_t kJobControlDelete = 5;

// Change-notification flags.
inline constexpr std::uint32_t kPrinterChangeSetPrinter = 0x2;
inline constexpr std::uint32_t kPrinterChangeDeletePrinter = 0x4;
inline constexpr std::uint32_t kPrinterChangeAddJob = 0x100;
inline constexpr std::uint32_t kPrinterChangeSetJob = 0x200;
inline constexpr std::uint32_t kPrinterChangeDeleteJob = 0x400;
inline constexpr std::uint32_t kPrinterChangeJob =
    kPrinterChangeAddJob | kPrinterChangeSetJob | kPrinterChangeDeleteJob;

// Level-2 information of a queue (the part the program reads and writes).
struct PrinterInfo {
  std::string printerName, portName, driverName;
  std::uint32_t attributes = 0;
  std::uint32_t status = 0;
  std::uint32_t jobCount = 0;
};

// Level-5 information of a queue, as the listing of the local printers gives it.
struct PrinterInfo5 {
  std::string printerName, portName;
  std::uint32_t attributes = 0;
};

// What EnumPrinters lists.
inline constexpr std::uint32_t kPrinterEnumLocal = 0x2;

// Level-2 information of a job.
struct JobInfo {
  std::uint32_t id = 0;
  std::string document;
  std::uint32_t status = 0;
};

// Level-2 information of a port.
struct PortInfo {
  std::string name, monitor, description;
};

struct OpenPrinterResult {
  Handle handle = kInvalidHandle;
  std::uint32_t error = 0;  // when handle is kInvalidHandle
};

// What a result of a sized call says.
struct SpoolerAnswer {
  bool ok = false;
  std::uint32_t error = 0;   // when !ok
  std::uint32_t needed = 0;  // bytes the full answer takes
};

// What XcvData says: whether the call reached the monitor (ok, else error), and the monitor's own
// answer to the command (status, 0 when it did it).
struct XcvAnswer {
  bool ok = false;
  std::uint32_t error = 0;
  std::uint32_t needed = 0;  // output bytes the monitor wrote or wanted
  std::uint32_t status = 0;
};

// Stopped: the wait's stop event was set before a change came or the time ran out.
enum class ChangeWait { Fired, TimedOut, Failed, Stopped };

class PrintSpooler {
 public:
  virtual ~PrintSpooler() = default;

  virtual OpenPrinterResult OpenPrinter(std::string_view name, std::uint32_t access) = 0;
  virtual void ClosePrinter(Handle printer) = 0;

  virtual SpoolerAnswer GetPrinter(Handle printer, std::uint32_t bufferBytes, PrinterInfo& info) = 0;
  // Writes the level-2 information back. The work-offline attribute is what changes; the status
  // (paused) is left alone: only ControlPrinter pauses and resumes. Needs administer rights.
  virtual SpoolerAnswer SetPrinter(Handle printer, const PrinterInfo& info) = 0;
  // kPrinterControlPause or kPrinterControlResume. Needs administer rights.
  virtual SpoolerAnswer ControlPrinter(Handle printer, std::uint32_t command) = 0;

  // Jobs firstJob .. firstJob + count - 1 of the queue, in queue order.
  virtual SpoolerAnswer EnumJobs(Handle printer, std::uint32_t firstJob, std::uint32_t count,
                                 std::uint32_t bufferBytes, std::vector<JobInfo>& jobs) = 0;
  // kJobControlDelete or kJobControlCancel. Needs administer rights.
  virtual SpoolerAnswer SetJob(Handle printer, std::uint32_t jobId, std::uint32_t command) = 0;

  virtual SpoolerAnswer EnumPorts(std::uint32_t bufferBytes, std::vector<PortInfo>& ports) = 0;

  // A change notification on an open queue for the flags given; kInvalidHandle when refused.
  virtual Handle FindFirstPrinterChangeNotification(Handle printer, std::uint32_t filter) = 0;
  // Waits up to timeoutMs for a change since the last reset, or until `stop` (when given) is set.
  // The wait blocks until one of them comes: nothing runs meanwhile.
  virtual ChangeWait WaitForPrinterChange(Handle change, std::uint32_t timeoutMs,
                                          const Event* stop = nullptr) = 0;
  // Resets the notification; false when it is no longer valid (its queue is gone).
  virtual bool FindNextPrinterChangeNotification(Handle change) = 0;
  virtual void FindClosePrinterChangeNotification(Handle change) = 0;

  // --- Printers and ports as the printer set-up reaches them. A spooler without them answers
  // kErrorNotSupported.

  // The queues at level 5, in the spooler's order; `flags` kPrinterEnumLocal.
  virtual SpoolerAnswer EnumPrinters(std::uint32_t flags, std::uint32_t bufferBytes,
                                     std::vector<PrinterInfo5>& printers);
  // The ids of jobs firstJob .. firstJob + count - 1 of the queue (level 3), in queue order.
  virtual SpoolerAnswer EnumJobIds(Handle printer, std::uint32_t firstJob, std::uint32_t count,
                                   std::uint32_t bufferBytes, std::vector<std::uint32_t>& ids);
  // A command of the port monitor opened as ",XcvMonitor NAME" ("AddPort", "ConfigPort", ...).
  // `output` gets at most outputBytes bytes.
  virtual XcvAnswer XcvData(Handle monitor, std::string_view command,
                            std::span<const std::uint8_t> input, std::uint32_t outputBytes,
                            std::vector<std::uint8_t>& output);
  // Removes a port no queue prints to. Needs the right to administer the spooler.
  virtual SpoolerAnswer DeletePort(std::string_view portName);
  // Adds a port through the named monitor (level 1, the older road). Needs the same right.
  virtual SpoolerAnswer AddPortEx(std::string_view portName, std::string_view monitorName);
  // Starts the system's add-printer wizard; ok once it started.
  virtual SpoolerAnswer StartAddPrinterWizard();
};

// The process-wide spooler. By default the client of the simulated host; tests install another.
PrintSpooler& printSpooler();
// Installs `spooler` (not owned); nullptr restores the default. Call before threads use it.
void setPrintSpooler(PrintSpooler* spooler);

}  // namespace platform
