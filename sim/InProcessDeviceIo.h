#pragma once
// The device I/O service of one simulated computer, run directly on a World in this process: the
// same simulation the daemon runs, without a socket, for fast deterministic tests. Several of these
// (one per computer) may share one World.
#include <map>
#include <mutex>
#include <string>

#include "platform/DeviceIo.h"
#include "sim/World.h"

namespace sim {

class InProcessDeviceIo final : public platform::DeviceIo {
 public:
  InProcessDeviceIo(World& world, std::string host);

  std::optional<std::vector<platform::InterfaceSlot>> ListInterfaces(
      std::string_view classGuid) override;
  platform::Handle Open(std::string_view path, std::uint32_t access, bool overlapped) override;
  void Close(platform::Handle handle) override;
  bool Control(platform::Handle handle, std::uint32_t code, std::span<std::uint8_t> buffer,
               std::uint32_t inSize, std::uint32_t outSize, std::uint32_t& returned) override;
  platform::ReadStatus BeginRead(platform::Handle handle, std::span<std::uint8_t> buffer,
                                 std::uint32_t& returned) override;
  platform::ReadStatus WaitRead(platform::Handle handle, std::uint32_t timeoutMs,
                                std::uint32_t& returned) override;
  std::uint32_t LastError() const override;

  const std::string& host() const { return host_; }

 private:
  World& world_;
  std::string host_;
  std::mutex mutex_;
  std::map<platform::Handle, std::span<std::uint8_t>> readBuffers_;  // of outstanding reads
};

// Writes a finished read into its buffer; the count of bytes it wrote.
std::uint32_t copyReadBytes(const std::vector<std::uint8_t>& bytes, std::span<std::uint8_t> buffer);

}  // namespace sim
