#include "platform/SimClientDeviceIo.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "platform/SimEnvironment.h"
#include "platform/SimWire.h"

namespace platform {
namespace {

namespace wire = simwire;

using wire::Channel;

template <typename Reply>
std::optional<Reply> as(std::optional<wire::Message> message) {
  if (!message) return std::nullopt;
  if (auto* reply = std::get_if<Reply>(&*message)) return std::move(*reply);
  return std::nullopt;
}

std::uint32_t copyInto(const std::vector<std::uint8_t>& bytes, std::span<std::uint8_t> buffer,
                       std::size_t limit) {
  const std::size_t n = std::min({bytes.size(), buffer.size(), limit});
  std::copy_n(bytes.begin(), n, buffer.begin());
  return static_cast<std::uint32_t>(n);
}

// The event read of one handle, on a connection of its own.
struct ReadChannel {
  std::mutex mutex;
  Channel channel;
  std::span<std::uint8_t> buffer;
  bool pending = false;
};

class SimClientDeviceIo final : public DeviceIo {
 public:
  std::optional<std::vector<InterfaceSlot>> ListInterfaces(std::string_view classGuid) override {
    auto reply = as<wire::InterfacesReply>(
        control(wire::ListInterfacesRequest{host(), std::string(classGuid)}));
    if (!reply || !reply->listed) return std::nullopt;
    return std::move(reply->interfaces);
  }

  Handle Open(std::string_view path, std::uint32_t access, bool overlapped) override {
    auto reply = as<wire::OpenReply>(
        control(wire::OpenRequest{host(), std::string(path), access, overlapped}));
    return reply ? static_cast<Handle>(reply->handle) : kInvalidHandle;
  }

  void Close(Handle handle) override {
    control(wire::CloseRequest{host(), handle});
    std::shared_ptr<ReadChannel> read;
    {
      std::lock_guard lock(readsMutex_);
      if (auto it = reads_.find(handle); it != reads_.end()) {
        read = it->second;
        reads_.erase(it);
      }
    }
    if (read) read->channel.interrupt();
  }

  bool Control(Handle handle, std::uint32_t code, std::span<std::uint8_t> buffer,
               std::uint32_t inSize, std::uint32_t outSize, std::uint32_t& returned) override {
    returned = 0;
    if (inSize > buffer.size() || outSize > buffer.size()) return false;
    auto reply = as<wire::ControlReply>(control(wire::ControlRequest{
        host(), handle, code, outSize,
        std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + inSize)}));
    if (!reply) return false;
    // The bytes written never pass the out size; the count is passed on as the driver gave it.
    copyInto(reply->reply, buffer, outSize);
    returned = reply->returned;
    return reply->ok;
  }

  ReadStatus BeginRead(Handle handle, std::span<std::uint8_t> buffer,
                       std::uint32_t& returned) override {
    returned = 0;
    const std::shared_ptr<ReadChannel> read = readChannel(handle, true);
    std::lock_guard lock(read->mutex);
    if (read->pending) return ReadStatus::Failed;
    auto reply = as<wire::ReadReply>(read->channel.exchange(wire::ReadRequest{
        host(), handle, static_cast<std::uint32_t>(buffer.size())}));
    if (!reply) return ReadStatus::Failed;
    if (reply->status == ReadStatus::Completed) returned = copyInto(reply->bytes, buffer, buffer.size());
    if (reply->status == ReadStatus::Pending) {
      read->pending = true;
      read->buffer = buffer;
    }
    return reply->status;
  }

  ReadStatus WaitRead(Handle handle, std::uint32_t timeoutMs, std::uint32_t& returned) override {
    const int wait = timeoutMs == kWaitForever ? -1 : static_cast<int>(std::min<std::uint32_t>(timeoutMs, 0x7FFFFFFF));
    return waitFor(handle, wait, -1, returned);
  }

  ReadStatus WaitReadUnless(Handle handle, const Event& stop, std::uint32_t& returned) override {
    if (stop.fd() < 0) return DeviceIo::WaitReadUnless(handle, stop, returned);
    return waitFor(handle, -1, stop.fd(), returned);
  }

 private:
  ReadStatus waitFor(Handle handle, int wait, int stopFd, std::uint32_t& returned) {
    returned = 0;
    const std::shared_ptr<ReadChannel> read = readChannel(handle, false);
    if (!read) return ReadStatus::Failed;
    std::lock_guard lock(read->mutex);
    if (!read->pending) return ReadStatus::Failed;
    bool timedOut = false;
    auto reply = as<wire::ReadReply>(read->channel.receiveLater(wait, timedOut, stopFd));
    if (timedOut) return ReadStatus::Pending;
    read->pending = false;
    if (!reply || reply->status == ReadStatus::Pending) {
      read->channel.drop();
      return ReadStatus::Failed;
    }
    if (reply->status == ReadStatus::Completed)
      returned = copyInto(reply->bytes, read->buffer, read->buffer.size());
    return reply->status;
  }

  std::string host() {
    std::lock_guard lock(hostMutex_);
    return host_.get();
  }

  std::optional<wire::Message> control(const wire::Message& request) {
    std::lock_guard lock(controlMutex_);
    return control_.exchange(request);
  }

  std::shared_ptr<ReadChannel> readChannel(Handle handle, bool create) {
    std::lock_guard lock(readsMutex_);
    auto it = reads_.find(handle);
    if (it != reads_.end()) return it->second;
    if (!create) return nullptr;
    return reads_[handle] = std::make_shared<ReadChannel>();
  }

  std::mutex hostMutex_;
  sim::HostName host_;
  std::mutex controlMutex_;
  Channel control_;
  std::mutex readsMutex_;
  std::map<Handle, std::shared_ptr<ReadChannel>> reads_;
};

}  // namespace

std::unique_ptr<DeviceIo> makeSimClientDeviceIo() { return std::make_unique<SimClientDeviceIo>(); }

}  // namespace platform
