#include "core/ReadThread.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/DeviceIo.h"

namespace core {

TReadThread::TReadThread(Handle control, DriverEventHandler handler, DriverRecovery recover)
    : control_(control), handler_(std::move(handler)), recover_(std::move(recover)) {}

TReadThread::~TReadThread() {
  terminate();
  waitFor();
}

bool TReadThread::readOne(std::int32_t& count) {
  auto& io = platform::deviceIo();
  std::uint32_t returned = 0;
  const Handle control = control_.load();
  platform::ReadStatus status = io.BeginRead(control, buffer_, returned);
  // One wait on the read and on the stop together: a stop whose cancel met no pending read still
  // ends it at once, and nothing wakes the thread while no event comes.
  if (status == platform::ReadStatus::Pending)
    status = io.WaitReadUnless(control, stopEvent(), returned);
  if (status == platform::ReadStatus::Pending) return false;  // stopped; left to the handle's close
  count = status == platform::ReadStatus::Completed
              ? static_cast<std::int32_t>(std::min<std::uint32_t>(returned, kEventBytes))
              : 0;
  return status == platform::ReadStatus::Completed;
}

void TReadThread::execute() {
  std::uint32_t backOff = kBackOffMs;
  while (!terminated()) {
    bool ok = false;
    // While the driver is gone there is nothing to read: only its return is looked for.
    if (control_.load() != platform::kInvalidHandle) {
      buffer_.fill(0);
      std::int32_t count = 0;
      ok = readOne(count);
      if (terminated()) break;
      // An empty record is handed over all the same; the handler ignores it.
      synchronize([this, count] {
        if (handler_) handler_(buffer_.data(), count);
      });
    }
    if (ok) {
      backOff = kBackOffMs;
      continue;
    }
    if (!platform::clock().sleepUnless(backOff, stopEvent())) break;
    backOff = std::min(backOff * 2, kMaxBackOffMs);
    if (recover_) {
      Handle next = control_.load();
      synchronize([this, &next] { next = recover_(next); });
      control_.store(next);
    }
  }
}

void EventReader::StartReadThread(Handle control, DriverEventHandler handler,
                                  DriverRecovery recover) {
  if (control == 0 || control == platform::kInvalidHandle || reader_) return;
  reader_ = std::make_unique<TReadThread>(control, std::move(handler), std::move(recover));
  reader_->setPriority(platform::ThreadPriority::Higher);
  reader_->resume();
}

void EventReader::StopReadThread() {
  if (!reader_) return;
  reader_->terminate();
  if (const Handle control = reader_->control(); control != platform::kInvalidHandle)
    CancelEventRead(control);
  reader_->waitFor();
  reader_.reset();
}

}  // namespace core
