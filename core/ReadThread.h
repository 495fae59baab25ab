#pragma once
// The one worker that keeps a read pending on the control device for the whole run and hands each
// completed event record to the UI thread.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "core/DriverInterface.h"
#include "platform/Thread.h"

namespace core {

// Called on the UI thread with the 2048-byte record and the count of bytes read.
using DriverEventHandler = std::function<void(const std::uint8_t* record, std::int32_t count)>;

class TReadThread : public platform::Thread {
 public:
  // After a failed read the next one waits kBackOffMs, doubled after each further failure up to
  // kMaxBackOffMs, so that a broken or vanished device is not hammered.
  static constexpr std::uint32_t kBackOffMs = 100;
  static constexpr std::uint32_t kMaxBackOffMs = 3200;

  TReadThread(Handle control, DriverEventHandler handler);
  ~TReadThread() override;

 protected:
  void execute() override;

 private:
  // False when the read failed or was aborted (count 0 then).
  bool readOne(std::int32_t& count);

  Handle control_;
  DriverEventHandler handler_;
  std::array<std::uint8_t, kEventBytes> buffer_{};
};

// The main window's reader slot: starting and stopping the reader.
class EventReader {
 public:
  ~EventReader() { StopReadThread(); }
  // Nothing when there is no control device.
  void StartReadThread(Handle control, DriverEventHandler handler);
  // Terminate, cancel the pending read, wait for the thread, clear the slot.
  void StopReadThread();
  bool running() const { return reader_ != nullptr; }

 private:
  Handle control_ = platform::kInvalidHandle;
  std::unique_ptr<TReadThread> reader_;
};

}  // namespace core
