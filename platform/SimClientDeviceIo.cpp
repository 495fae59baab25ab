#include "platform/SimClientDeviceIo.h"

namespace platform {
namespace {

// Stand-in until the socket client exists: nothing is present, every request fails.
class NoDeviceIo final : public DeviceIo {
 public:
  std::optional<std::vector<InterfaceSlot>> ListInterfaces(std::string_view) override {
    return std::nullopt;
  }
  Handle Open(std::string_view, std::uint32_t, bool) override { return kInvalidHandle; }
  void Close(Handle) override {}
  bool Control(Handle, std::uint32_t, std::span<std::uint8_t>, std::uint32_t, std::uint32_t,
               std::uint32_t& returned) override {
    returned = 0;
    return false;
  }
  ReadStatus BeginRead(Handle, std::span<std::uint8_t>, std::uint32_t& returned) override {
    returned = 0;
    return ReadStatus::Failed;
  }
  ReadStatus WaitRead(Handle, std::uint32_t, std::uint32_t& returned) override {
    returned = 0;
    return ReadStatus::Failed;
  }
};

}  // namespace

std::unique_ptr<DeviceIo> makeSimClientDeviceIo() { return std::make_unique<NoDeviceIo>(); }

}  // namespace platform
