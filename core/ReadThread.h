#pragma once
// The one worker that keeps a read pending on the control device for the whole run and hands each
// completed event record to the UI thread.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "core/DriverInterface.h"
#include "platform/Thread.h"

namespace core {

// Called on the UI thread with the 2048-byte record and the count of bytes read.
using DriverEventHandler = std::function<void(const std::uint8_t* record, std::int32_t count)>;
// Called on the UI thread after the back-off that follows a failed read, with the handle the read
// failed on (kInvalidHandle while the driver is gone): returns the control device to read from
// next, kInvalidHandle while there is none.
using DriverRecovery = std::function<Handle(Handle failed)>;

class TReadThread : public platform::Thread {
 public:
  // After a failed read the next one waits kBackOffMs, doubled after each further failure up to
  // kMaxBackOffMs, so that a broken or vanished device is not hammered.
  static constexpr std::uint32_t kBackOffMs = 100;
  static constexpr std::uint32_t kMaxBackOffMs = 3200;

  TReadThread(Handle control, DriverEventHandler handler, DriverRecovery recover = {});
  // The control device read from now.
  Handle control() const { return control_.load(); }
  ~TReadThread() override;

 protected:
  void execute() override;

 private:
  // False when the read failed or was aborted (count 0 then).
  bool readOne(std::int32_t& count);

  std::atomic<Handle> control_;
  DriverEventHandler handler_;
  DriverRecovery recover_;
  std::array<std::uint8_t, kEventBytes> buffer_{};
};

// The main window's reader slot: starting and stopping the reader.
class EventReader {
 public:
  ~EventReader() { StopReadThread(); }
  // Nothing when there is no control device.
  void StartReadThread(Handle control, DriverEventHandler handler, DriverRecovery recover = {});
  // Terminate, cancel the pending read, wait for the thread, clear the slot.
  void StopReadThread();
  bool running() const { return reader_ != nullptr; }

 private:
  std::unique_ptr<TReadThread> reader_;
};

}  // namespace core
