#pragma once
// The print spooler of every simulated computer: its queues and ports (kept in each Host), the
// handles opened on them, change notifications, and the print engine that takes a queue's head job
// while the queue is online, not paused and its device is held by the queue's computer. Not
// thread-safe: the World calls it with its lock held.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Handle.h"
#include "platform/SimWire.h"
#include "sim/WorldModel.h"

namespace sim {

// Bytes the level-2 records take, as the sizing rule of the listings counts them: a fixed part
// and every text in UTF-16 with its end.
std::uint32_t printerInfoBytes(const PrinterQueue& queue);
std::uint32_t jobInfoBytes(const PrinterQueue& queue, const PrintJob& job);
std::uint32_t portInfoBytes(const PrinterPort& port);
std::uint32_t printerInfo5Bytes(const PrinterQueue& queue);
inline constexpr std::uint32_t kJobInfo3Bytes = 12;

// The ports a queue's port text names: one, or several joined by commas (a pool).
std::vector<std::string> pooledPorts(std::string_view portText);
// The first port of that name (ignoring case), or nullptr.
const PrinterPort* findPort(const Host& host, std::string_view name);
PrinterPort* findPort(Host& host, std::string_view name);

// The monitors every computer has, whatever its ports.
inline constexpr const char* kLocalMonitor = "Local Port";
inline constexpr const char* kTcpIpMonitor = "Standard TCP/IP Port";
// The queue the system's add-printer wizard adds, numbered " (2)", " (3)" when taken.
inline constexpr const char* kWizardQueueName = "New Printer";

// The rights a queue grants by name: "full", "administer", "use", "none".
std::optional<std::uint32_t> parseAccessLevel(std::string_view name);
std::string accessLevelName(std::uint32_t grants);

// Job status bits.
inline constexpr std::uint32_t kJobStatusPrinting = 0x10;

class Spooler {
 public:
  // Where a queue's device is and who holds it.
  using DeviceLookup = std::function<const Device*(const DeviceRef&)>;
  // What happened to a job: "queued", "printing", "interrupted", "printed", "deleted",
  // "cancelled".
  using JobLog = std::function<void(const std::string& host, const PrinterQueue& queue,
                                    const PrintJob& job, const char* what)>;

  Spooler(DeviceLookup device, JobLog log);

  // One spooler call of `host`.
  platform::simwire::SpoolerReply call(Host& host, const platform::simwire::SpoolerRequest& r);
  // The answer to a WaitChange now that it ends (with the look it asked for, if it did).
  platform::simwire::SpoolerReply answerWait(Host& host, const platform::simwire::SpoolerRequest& r);
  // Moves every queue's head job on.
  void runEngine(std::vector<Host>& hosts, std::int64_t nowMs, std::int64_t printMs);
  // When the first job now printing is done; nullopt when none prints.
  static std::optional<std::int64_t> nextJobEndMs(const std::vector<Host>& hosts,
                                                  std::int64_t printMs);

  // Changes of the control command. Each returns an error text, empty on success.
  std::string addJob(Host& host, std::string_view queue, std::string document);
  std::string removeQueue(Host& host, std::string_view queue);
  std::string setGrants(Host& host, std::string_view queue, std::uint32_t grants);
  // What the system's add-printer wizard does when the user finishes it: a queue on the first
  // port no queue prints to (else the first port). Its name, or an error text.
  std::string addWizardQueue(Host& host, std::string& name);

  static PrinterQueue* findQueue(Host& host, std::string_view name);

 private:
  struct PrinterHandle {
    std::string host, queue;
    std::uint32_t access = 0;
    std::string monitor{};  // an open of ",XcvMonitor NAME": the monitor, and no queue
  };
  struct ChangeHandle {
    std::string host, queue;
    platform::Handle printer = platform::kInvalidHandle;
    std::uint32_t filter = 0;
    std::uint32_t raised = 0;
  };
  using Reply = platform::simwire::SpoolerReply;
  using Request = platform::simwire::SpoolerRequest;

  Reply open(Host& host, const Request& r);
  Reply close(Host& host, const Request& r);
  Reply getPrinter(Host& host, const Request& r);
  Reply setPrinter(Host& host, const Request& r);
  Reply controlPrinter(Host& host, const Request& r);
  Reply enumJobs(Host& host, const Request& r);
  Reply setJob(Host& host, const Request& r);
  Reply enumPorts(Host& host, const Request& r);
  Reply findFirst(Host& host, const Request& r);
  Reply findNext(Host& host, const Request& r);
  Reply closeChange(Host& host, const Request& r);
  Reply checkChange(Host& host, const Request& r);
  Reply openMonitor(Host& host, std::string_view monitor, std::uint32_t asked);
  Reply enumPrinters(Host& host, const Request& r);
  Reply enumJobIds(Host& host, const Request& r);
  Reply xcvData(Host& host, const Request& r);
  Reply deletePort(Host& host, const Request& r);
  Reply addPortEx(Host& host, const Request& r);
  Reply addPrinterWizard(Host& host, const Request& r);
  // The monitors' commands; each gives the monitor's status.
  std::uint32_t localMonitorCommand(Host& host, const Request& r);
  std::uint32_t tcpIpMonitorCommand(Host& host, const Request& r);
  std::uint32_t removePort(Host& host, std::string_view name);

  // The queue an open handle of `host` names; nullptr for a wrong handle or a vanished queue.
  PrinterQueue* queueOf(Host& host, platform::Handle handle, std::uint32_t* access = nullptr);
  // The same for a change of the queue, which needs administer rights; else error is set.
  PrinterQueue* administeredQueue(Host& host, platform::Handle handle, std::uint32_t& error);
  ChangeHandle* changeOf(const Host& host, platform::Handle handle);
  void raise(const std::string& host, const std::string& queue, std::uint32_t flags);
  platform::Handle nextHandle();

  DeviceLookup device_;
  JobLog log_;
  std::map<platform::Handle, PrinterHandle> printers_;
  std::map<platform::Handle, ChangeHandle> changes_;
  platform::Handle next_ = 0x2000;
};

}  // namespace sim
