#include "sim/InProcessDeviceIo.h"

#include <algorithm>

namespace sim {
namespace {
thread_local std::uint32_t lastError = 0;
}  // namespace

using platform::Handle;
using platform::ReadStatus;

std::uint32_t copyReadBytes(const std::vector<std::uint8_t>& bytes, std::span<std::uint8_t> buffer) {
  const std::size_t n = std::min(bytes.size(), buffer.size());
  std::copy_n(bytes.begin(), n, buffer.begin());
  return static_cast<std::uint32_t>(n);
}

InProcessDeviceIo::InProcessDeviceIo(World& world, std::string host)
    : world_(world), host_(std::move(host)) {}

std::optional<std::vector<platform::InterfaceSlot>> InProcessDeviceIo::ListInterfaces(
    std::string_view classGuid) {
  return world_.listInterfaces(host_, classGuid);
}

Handle InProcessDeviceIo::Open(std::string_view path, std::uint32_t, bool) {
  const Handle handle = world_.open(host_, path);
  lastError = handle == platform::kInvalidHandle ? platform::kErrorDeviceGone : 0;
  return handle;
}

std::uint32_t InProcessDeviceIo::LastError() const { return lastError; }

void InProcessDeviceIo::Close(Handle handle) { world_.close(host_, handle); }

bool InProcessDeviceIo::Control(Handle handle, std::uint32_t code, std::span<std::uint8_t> buffer,
                                std::uint32_t inSize, std::uint32_t outSize,
                                std::uint32_t& returned) {
  returned = 0;
  if (inSize > buffer.size() || outSize > buffer.size()) return false;
  const ControlResult result = world_.control(host_, handle, code, buffer.first(inSize), outSize);
  lastError = result.ok ? 0 : result.error;
  std::copy(result.reply.begin(), result.reply.end(), buffer.begin());
  returned = result.returned;
  return result.ok;
}

ReadStatus InProcessDeviceIo::BeginRead(Handle handle, std::span<std::uint8_t> buffer,
                                        std::uint32_t& returned) {
  returned = 0;
  const ReadOutcome outcome =
      world_.beginRead(host_, handle, static_cast<std::uint32_t>(buffer.size()));
  lastError = outcome.error;
  if (outcome.status == ReadStatus::Completed) returned = copyReadBytes(outcome.bytes, buffer);
  if (outcome.status == ReadStatus::Pending) {
    std::lock_guard lock(mutex_);
    readBuffers_[handle] = buffer;
  }
  return outcome.status;
}

ReadStatus InProcessDeviceIo::WaitRead(Handle handle, std::uint32_t timeoutMs,
                                       std::uint32_t& returned) {
  returned = 0;
  const ReadOutcome outcome = world_.waitRead(host_, handle, timeoutMs);
  lastError = outcome.error;
  if (outcome.status == ReadStatus::Pending) return outcome.status;
  std::lock_guard lock(mutex_);
  const auto it = readBuffers_.find(handle);
  if (it == readBuffers_.end()) return ReadStatus::Failed;
  if (outcome.status == ReadStatus::Completed) returned = copyReadBytes(outcome.bytes, it->second);
  readBuffers_.erase(it);
  return outcome.status;
}

}  // namespace sim
