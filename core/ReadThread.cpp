#include "core/ReadThread.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/DeviceIo.h"

namespace core {

TReadThread::TReadThread(Handle control, DriverEventHandler handler)
    : control_(control), handler_(std::move(handler)) {}

TReadThread::~TReadThread() {
  terminate();
  waitFor();
}

bool TReadThread::readOne(std::int32_t& count) {
  auto& io = platform::deviceIo();
  std::uint32_t returned = 0;
  platform::ReadStatus status = io.BeginRead(control_, buffer_, returned);
  // One wait on the read and on the stop together: a stop whose cancel met no pending read still
  // ends it at once, and nothing wakes the thread while no event comes.
  if (status == platform::ReadStatus::Pending)
    status = io.WaitReadUnless(control_, stopEvent(), returned);
  if (status == platform::ReadStatus::Pending) return false;  // stopped; left to the handle's close
  count = status == platform::ReadStatus::Completed
              ? static_cast<std::int32_t>(std::min<std::uint32_t>(returned, kEventBytes))
              : 0;
  return status == platform::ReadStatus::Completed;
}

void TReadThread::execute() {
  std::uint32_t backOff = kBackOffMs;
  while (!terminated()) {
    buffer_.fill(0);
    std::int32_t count = 0;
    const bool ok = readOne(count);
    if (terminated()) break;
    // An empty record is handed over all the same; the handler ignores it.
    synchronize([this, count] {
      if (handler_) handler_(buffer_.data(), count);
    });
    if (ok) {
      backOff = kBackOffMs;
      continue;
    }
    if (!platform::clock().sleepUnless(backOff, stopEvent())) break;
    backOff = std::min(backOff * 2, kMaxBackOffMs);
  }
}

void EventReader::StartReadThread(Handle control, DriverEventHandler handler) {
  if (control == 0 || control == platform::kInvalidHandle || reader_) return;
  control_ = control;
  reader_ = std::make_unique<TReadThread>(control, std::move(handler));
  reader_->setPriority(platform::ThreadPriority::Higher);
  reader_->resume();
}

void EventReader::StopReadThread() {
  if (!reader_) return;
  reader_->terminate();
  CancelEventRead(control_);
  reader_->waitFor();
  reader_.reset();
}

}  // namespace core
