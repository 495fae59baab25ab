#pragma once
// A print watcher: one thread per bound printer or fax queue. While nothing is queued it holds the
// queue offline and paused; when a job comes it has the device linked, lets the queue print and
// locks the device as an automatic use; once the queue is empty it unlocks the device.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/Handle.h"
#include "platform/Thread.h"
#include "printing/PrintWatcherHost.h"

namespace printing {

class TPrintThread : public platform::Thread {
 public:
  // Receives every trace line (from the watcher's thread); the trace reaches no visible output.
  using TraceSink = std::function<void(const std::string&)>;

  // Suspended; both second counts 0 until setSeconds().
  TPrintThread(PrintWatcherHost& host, PrintWatchEntry entry, std::uint32_t windowsVersionFlags,
               TraceSink sink = {});
  // Asks the thread to end and waits for it (serving hand-overs when on the UI thread).
  ~TPrintThread() override;

  void setSeconds(std::int32_t lockSeconds, std::int32_t unlockSeconds);
  std::int32_t lockSeconds() const { return lockSeconds_; }
  std::int32_t unlockSeconds() const { return unlockSeconds_; }
  const PrintWatchEntry& entry() const { return entry_; }
  std::string trace() const;

  // The device look-up: fills the bus handle, the device port and the holder, or leaves -1, "-1"
  // and empty when the server or the row is not there. With a job present it waits for the server
  // and refreshes the server's rows until its device is there.
  void CheckAndGetTCPBus();

 protected:
  void execute() override;

 private:
  // The queue and its change notification, closed together.
  struct QueueHandles {
    platform::Handle printer = platform::kInvalidHandle;
    platform::Handle change = platform::kInvalidHandle;
    QueueHandles() = default;
    QueueHandles(const QueueHandles&) = delete;
    QueueHandles& operator=(const QueueHandles&) = delete;
    ~QueueHandles() { close(); }
    void close();
  };

  bool openFailed(std::uint32_t error, std::uint32_t& access);
  bool poll(const QueueHandles& queue, std::uint32_t access);
  void queueEmpty(platform::Handle printer, std::uint32_t access, bool timedOut);
  bool jobsPresent(platform::Handle printer, std::uint32_t access, std::uint32_t needed);
  void refuseJob(platform::Handle printer);
  bool connect(platform::Handle printer, bool useOnly);
  void lock(platform::Handle printer, bool useOnly);
  void unlock();
  void finish(QueueHandles& queue, std::uint32_t access);
  // Looks for the device row on the server found; `firstRow`, when given, is its first look.
  void findDevice(const ServerView& found, const std::optional<DeviceRowView>* firstRow);

  bool heldHere() const { return !holder_.empty() && holder_ == thisHost_; }
  // A sleep that ends early when the thread is asked to terminate.
  void pause(std::uint32_t ms);
  void traceLine(std::string line);
  std::string timeText() const;

  PrintWatcherHost& host_;
  const std::uint32_t versionFlags_;
  TraceSink sink_;

  bool jobPresent_ = false;
  bool forceRefresh_ = false;
  bool portAccepted_ = false;
  bool jobRefused_ = false;
  const PrintWatchEntry entry_;
  std::string printerName_;
  std::string portName_;
  std::int32_t jobId_ = -1;
  std::string documentName_;
  platform::Handle bus_ = platform::kInvalidHandle;
  std::string devicePort_ = "-1";
  std::string holder_;
  mutable std::mutex traceMutex_;
  std::string trace_;
  std::int32_t unlockSeconds_ = 0;
  std::int32_t lockSeconds_ = 0;

  // The watcher linked and locked the device for the jobs now queued.
  bool connected_ = false;
  std::string thisHost_;
  // What the current look-up found so far (its failure trace names them).
  platform::Handle lookedUpBus_ = 0;
  long long lookedUpPort_ = 0;
};

}  // namespace printing
