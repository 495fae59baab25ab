#pragma once
// Device-interface listing and device files: the part of the operating system through which the
// program reaches the virtual USB bus driver. Kept at byte level: a control request is a buffer, a
// reply written over it and a count of bytes returned; an event read stays pending until the driver
// completes it or cancels it.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Event.h"
#include "platform/Handle.h"

namespace platform {

// One index of a device-interface listing.
enum class InterfaceStatus {
  Ok,      // the interface and its detail (device path) could be read
  Failed,  // enumeration or detail failed at this index; later indexes may still work
};

struct InterfaceSlot {
  InterfaceStatus status = InterfaceStatus::Failed;
  std::string path;  // the device path, when status is Ok
};

// Access rights of an open, as the driver's callers ask for them.
inline constexpr std::uint32_t kFileReadData = 0x0001;     // FILE_READ_DATA
inline constexpr std::uint32_t kGenericWrite = 0x40000000;  // GENERIC_WRITE
inline constexpr std::uint32_t kGenericRead = 0x80000000;   // GENERIC_READ

enum class ReadStatus {
  Completed,  // the read finished; the count of bytes is set
  Pending,    // the read waits for the driver (BeginRead), or still waits after a timed wait
  Aborted,    // the driver cancelled the read (ERROR_OPERATION_ABORTED)
  Failed,     // any other error; no read is outstanding afterwards
};

inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFF;

class DeviceIo {
 public:
  virtual ~DeviceIo() = default;

  // The present interfaces of a device-interface class (a GUID text such as
  // "{704DA353-79EE-4C5A-A2F0-C86A3234DE73}"), by index; past the last index the listing has no
  // more items. nullopt when the class cannot be listed at all.
  virtual std::optional<std::vector<InterfaceSlot>> ListInterfaces(std::string_view classGuid) = 0;

  // Opens a device path. kInvalidHandle when the open fails.
  virtual Handle Open(std::string_view path, std::uint32_t access, bool overlapped) = 0;
  virtual void Close(Handle handle) = 0;

  // A buffered control request: the input is the first inSize bytes of buffer and the reply is
  // written over the same buffer, at most outSize bytes (buffer holds at least max(inSize, outSize)).
  // `returned` is what the driver says it returned, which a misbehaving driver may make larger than
  // outSize; callers must check it. Synchronous even on an overlapped handle. Safe from any thread.
  virtual bool Control(Handle handle, std::uint32_t code, std::span<std::uint8_t> buffer,
                       std::uint32_t inSize, std::uint32_t outSize, std::uint32_t& returned) = 0;

  // Starts a read of up to buffer.size() bytes on an overlapped handle. The buffer belongs to the
  // read until it completes, is aborted or fails; one read at a time per handle.
  virtual ReadStatus BeginRead(Handle handle, std::span<std::uint8_t> buffer,
                               std::uint32_t& returned) = 0;
  // Waits up to timeoutMs for the outstanding read; Pending when the time ran out first (the read
  // stays outstanding), else its end.
  virtual ReadStatus WaitRead(Handle handle, std::uint32_t timeoutMs, std::uint32_t& returned) = 0;
  // Waits without end for the outstanding read, or until `stop` is set: then Pending (the read
  // stays outstanding). Blocks on both at once, so an idle wait costs nothing. The default looks
  // at `stop` between short waits; the simulated host's client blocks on both.
  virtual ReadStatus WaitReadUnless(Handle handle, const Event& stop, std::uint32_t& returned);

  // The error of this thread's last failed call, 0 when it gave none (kErrorDeviceGone, ...).
  virtual std::uint32_t LastError() const { return 0; }
};

// The device's handle names nothing (the driver is gone, or came back since the handle was
// opened), or the driver cannot be reached at all.
inline constexpr std::uint32_t kErrorDeviceGone = 1167;  // ERROR_DEVICE_NOT_CONNECTED

// The process-wide device I/O service. By default the client of the simulated host named by
// TARVEX_SIM_DIR; tests install another one (the simulated host linked in process).
DeviceIo& deviceIo();
// Installs `io` (not owned) as the service; nullptr restores the default. Not thread-safe: call it
// before any thread uses the service.
void setDeviceIo(DeviceIo* io);

}  // namespace platform
