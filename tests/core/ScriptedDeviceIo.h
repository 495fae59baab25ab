#pragma once
// A scripted driver for the link core's tests: answers each control code with given bytes, records
// every request, can fail a reply or claim more bytes than it wrote, lists interfaces with failed
// slots, and holds a read pending until the test completes it or a cancel arrives.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/DriverInterface.h"
#include "platform/DeviceIo.h"

namespace test {

class ScriptedDeviceIo : public platform::DeviceIo {
 public:
  using Bytes = std::vector<std::uint8_t>;
  struct Request {
    platform::Handle handle;
    std::uint32_t code;
    Bytes bytes;  // the input bytes
  };
  struct Reply {
    Reply() = default;
    Reply(bool ok_, Bytes bytes_ = {}, std::optional<std::uint32_t> claimed = std::nullopt)
        : ok(ok_), bytes(std::move(bytes_)), claimedReturned(claimed) {}
    bool ok = true;
    Bytes bytes;
    std::optional<std::uint32_t> claimedReturned;  // a misbehaving driver's count
  };

  std::map<std::string, std::vector<platform::InterfaceSlot>> interfaces;  // missing = not listed
  std::map<std::string, platform::Handle> openable;  // path -> handle; missing = the open fails
  // Per code, or per handle and code; the last reply of a queue repeats. An unscripted request
  // fails, except the attach and the cancel, whose replies nobody reads.
  std::map<std::uint32_t, std::deque<Reply>> scripted;
  std::map<std::pair<platform::Handle, std::uint32_t>, std::deque<Reply>> scriptedPerHandle;
  bool readsFail = false;

  void reply(std::uint32_t code, Reply r) {
    std::lock_guard lock(mutex_);
    scripted[code].push_back(std::move(r));
  }
  // A cancel that meets no pending read, as when it reaches the driver just before the read: the
  // read issued next stays pending.
  void loseCancels() {
    std::lock_guard lock(mutex_);
    cancelsLost_ = true;
  }

  std::optional<std::vector<platform::InterfaceSlot>> ListInterfaces(
      std::string_view guid) override {
    std::lock_guard lock(mutex_);
    const auto it = interfaces.find(std::string(guid));
    if (it == interfaces.end()) return std::nullopt;
    return it->second;
  }
  platform::Handle Open(std::string_view path, std::uint32_t, bool) override {
    std::lock_guard lock(mutex_);
    const auto it = openable.find(std::string(path));
    return it == openable.end() ? platform::kInvalidHandle : it->second;
  }
  void Close(platform::Handle) override {}

  bool Control(platform::Handle h, std::uint32_t code, std::span<std::uint8_t> buffer,
               std::uint32_t in, std::uint32_t out, std::uint32_t& returned) override {
    std::lock_guard lock(mutex_);
    const auto inBytes = buffer.first(std::min<std::size_t>(in, buffer.size()));
    requests_.push_back({h, code, {inBytes.begin(), inBytes.end()}});
    if (code == core::IOCTL_MASTERBUS_CANCEL_READ && !cancelsLost_ && pending_) {
      cancelled_ = true;
      changed_.notify_all();
    }
    const Reply r = nextReply(h, code);
    const std::size_t n = std::min({r.bytes.size(), std::size_t{out}, buffer.size()});
    std::copy_n(r.bytes.begin(), n, buffer.begin());
    returned = r.claimedReturned.value_or(static_cast<std::uint32_t>(n));
    return r.ok;
  }

  platform::ReadStatus BeginRead(platform::Handle, std::span<std::uint8_t> buffer,
                                 std::uint32_t& returned) override {
    std::lock_guard lock(mutex_);
    if (readsFail) return platform::ReadStatus::Failed;
    readBuffer_ = buffer;
    pending_ = true;
    if (!events_.empty()) return completeLocked(returned);
    return platform::ReadStatus::Pending;
  }
  platform::ReadStatus WaitRead(platform::Handle, std::uint32_t timeoutMs,
                                std::uint32_t& returned) override {
    std::unique_lock lock(mutex_);
    waits_.push_back(timeoutMs);
    const auto ready = [&] { return !events_.empty() || cancelled_; };
    if (timeoutMs == platform::kWaitForever) changed_.wait(lock, ready);
    else changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    if (cancelled_) {
      cancelled_ = pending_ = false;
      return platform::ReadStatus::Aborted;
    }
    if (events_.empty()) return platform::ReadStatus::Pending;
    return completeLocked(returned);
  }

  // Completes the pending read (or the next one) with this record.
  void sendEvent(Bytes record) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(record));
    }
    changed_.notify_all();
  }

  bool readPending() {
    std::lock_guard lock(mutex_);
    return pending_;
  }
  std::vector<std::uint32_t> waits() {
    std::lock_guard lock(mutex_);
    return waits_;
  }
  std::vector<Request> requestsOf(std::uint32_t code) {
    std::lock_guard lock(mutex_);
    std::vector<Request> out;
    for (const auto& r : requests_)
      if (r.code == code) out.push_back(r);
    return out;
  }

 private:
  Reply nextReply(platform::Handle h, std::uint32_t code) {
    const auto perHandle = scriptedPerHandle.find({h, code});
    auto& queue = perHandle != scriptedPerHandle.end() ? perHandle->second : scripted[code];
    if (queue.empty()) {
      const bool unread =
          code == core::IOCTL_MASTERBUS_CANCEL_READ || code == core::IOCTL_MASTERBUS_ATTACH_SERVER;
      return Reply{unread};
    }
    Reply r = queue.front();
    if (queue.size() > 1) queue.pop_front();
    return r;
  }
  platform::ReadStatus completeLocked(std::uint32_t& returned) {
    const Bytes record = std::move(events_.front());
    events_.pop_front();
    const std::size_t n = std::min(record.size(), readBuffer_.size());
    std::copy_n(record.begin(), n, readBuffer_.begin());
    returned = static_cast<std::uint32_t>(n);
    pending_ = false;
    return platform::ReadStatus::Completed;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Request> requests_;
  std::deque<Bytes> events_;
  std::span<std::uint8_t> readBuffer_;
  std::vector<std::uint32_t> waits_;
  bool pending_ = false;
  bool cancelled_ = false;
  bool cancelsLost_ = false;
};

// Installs a device I/O service for one scope.
class UseDeviceIo {
 public:
  explicit UseDeviceIo(platform::DeviceIo& io) : previous_(&platform::deviceIo()) {
    platform::setDeviceIo(&io);
  }
  ~UseDeviceIo() { platform::setDeviceIo(previous_); }
  UseDeviceIo(const UseDeviceIo&) = delete;
  UseDeviceIo& operator=(const UseDeviceIo&) = delete;

 private:
  platform::DeviceIo* previous_;
};

}  // namespace test
