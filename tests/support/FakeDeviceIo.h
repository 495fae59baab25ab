#pragma once
// A scripted driver for tests: answers each control code with given bytes, records every request,
// can fail or oversize a reply, lists interfaces with failed slots, and holds a read pending until
// the test completes or cancels it.
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DeviceIo.h"

namespace test {

class FakeDeviceIo : public platform::DeviceIo {
 public:
  struct Request {
    platform::Handle handle;
    std::uint32_t code;
    std::vector<std::uint8_t> bytes;  // the input bytes
  };
  struct Reply {
    Reply() = default;
    Reply(bool ok_, std::vector<std::uint8_t> bytes_ = {},
          std::optional<std::uint32_t> claimed = std::nullopt)
        : ok(ok_), bytes(std::move(bytes_)), claimedReturned(claimed) {}
    bool ok = true;
    std::vector<std::uint8_t> bytes;
    std::optional<std::uint32_t> claimedReturned;  // a misbehaving driver's count
  };

  std::map<std::string, std::vector<platform::InterfaceSlot>> interfaces;
  std::map<std::string, platform::Handle> openable;  // path -> handle; missing = open fails
  std::map<std::uint32_t, std::deque<Reply>> scripted;  // per code; the last one repeats
  std::map<std::pair<platform::Handle, std::uint32_t>, std::deque<Reply>> scriptedPerHandle;
  std::vector<Request> requests;
  std::vector<platform::Handle> closed;
  bool readsFail = false;

  void reply(std::uint32_t code, Reply r) { scripted[code].push_back(std::move(r)); }

  std::optional<std::vector<platform::InterfaceSlot>> ListInterfaces(std::string_view guid) override {
    auto it = interfaces.find(std::string(guid));
    if (it == interfaces.end()) return std::nullopt;
    return it->second;
  }
  platform::Handle Open(std::string_view path, std::uint32_t, bool) override {
    auto it = openable.find(std::string(path));
    return it == openable.end() ? platform::kInvalidHandle : it->second;
  }
  void Close(platform::Handle h) override {
    std::lock_guard lock(mutex_);
    closed.push_back(h);
  }
  bool Control(platform::Handle h, std::uint32_t code, std::span<std::uint8_t> buffer,
               std::uint32_t in, std::uint32_t out, std::uint32_t& returned) override {
    std::lock_guard lock(mutex_);
    requests.push_back({h, code, {buffer.begin(), buffer.begin() + in}});
    if (code == 0x222018) cancelLocked();
    Reply r;
    auto perHandle = scriptedPerHandle.find({h, code});
    auto& queue = perHandle != scriptedPerHandle.end() ? perHandle->second : scripted[code];
    if (!queue.empty()) {
      r = queue.front();
      if (queue.size() > 1) queue.pop_front();
    } else if (code != 0x222018 && code != 0x222010) {
      r.ok = false;  // unscripted replies fail, except the two whose reply is not read
    }
    const std::size_t n = std::min<std::size_t>(r.bytes.size(), out);
    if (n) std::memcpy(buffer.data(), r.bytes.data(), n);
    returned = r.claimedReturned.value_or(static_cast<std::uint32_t>(n));
    return r.ok;
  }
  platform::ReadStatus BeginRead(platform::Handle, std::span<std::uint8_t> buffer,
                                 std::uint32_t& returned) override {
    std::lock_guard lock(mutex_);
    ++readsStarted_;
    if (readsFail) return platform::ReadStatus::Failed;
    readBuffer_ = buffer;
    pending_ = true;
    if (!events_.empty()) return completeLocked(returned);
    return platform::ReadStatus::Pending;
  }
  platform::ReadStatus WaitRead(platform::Handle, std::uint32_t timeoutMs,
                                std::uint32_t& returned) override {
    std::unique_lock lock(mutex_);
    auto ready = [&] { return !events_.empty() || cancelled_; };
    if (timeoutMs == platform::kWaitForever) changed_.wait(lock, ready);
    else changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    if (cancelled_) {
      cancelled_ = pending_ = false;
      return platform::ReadStatus::Aborted;
    }
    if (events_.empty()) return platform::ReadStatus::Pending;
    return completeLocked(returned);
  }
  // Blocks on the read and the stop together (looking at the stop every millisecond).
  platform::ReadStatus WaitReadUnless(platform::Handle, const platform::Event& stop,
                                      std::uint32_t& returned) override {
    std::unique_lock lock(mutex_);
    ++stoppableWaits_;
    auto ready = [&] { return !events_.empty() || cancelled_ || stop.isSet(); };
    while (!ready()) changed_.wait_for(lock, std::chrono::milliseconds(1));
    if (cancelled_) {
      cancelled_ = pending_ = false;
      return platform::ReadStatus::Aborted;
    }
    if (events_.empty()) return platform::ReadStatus::Pending;
    return completeLocked(returned);
  }
  int stoppableWaits() {
    std::lock_guard lock(mutex_);
    return stoppableWaits_;
  }
  // Completes the pending read (or the next one) with this record.
  void sendEvent(std::vector<std::uint8_t> record) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(record));
    }
    changed_.notify_all();
  }
  int readsStarted() {
    std::lock_guard lock(mutex_);
    return readsStarted_;
  }
  bool readPending() {
    std::lock_guard lock(mutex_);
    return pending_;
  }
  std::vector<Request> requestsOf(std::uint32_t code) {
    std::lock_guard lock(mutex_);
    std::vector<Request> out;
    for (const auto& r : requests)
      if (r.code == code) out.push_back(r);
    return out;
  }

 private:
  // A cancel ends only a read that is pending, as the driver does.
  void cancelLocked() {
    if (pending_) cancelled_ = true;
    changed_.notify_all();
  }
  platform::ReadStatus completeLocked(std::uint32_t& returned) {
    auto record = std::move(events_.front());
    events_.pop_front();
    const std::size_t n = std::min(record.size(), readBuffer_.size());
    if (n) std::memcpy(readBuffer_.data(), record.data(), n);
    returned = static_cast<std::uint32_t>(n);
    pending_ = false;
    return platform::ReadStatus::Completed;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<std::uint8_t>> events_;
  std::span<std::uint8_t> readBuffer_;
  bool pending_ = false;
  bool cancelled_ = false;
  int readsStarted_ = 0;
  int stoppableWaits_ = 0;
};

// Installs a fake as the process-wide device I/O for one scope.
struct ScopedDeviceIo {
  explicit ScopedDeviceIo(platform::DeviceIo& io) : previous(&platform::deviceIo()) {
    platform::setDeviceIo(&io);
  }
  ~ScopedDeviceIo() { platform::setDeviceIo(previous); }
  platform::DeviceIo* previous;
};

}  // namespace test
