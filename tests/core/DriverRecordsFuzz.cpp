// Feeds arbitrary bytes to the readers of the driver's replies and events.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/DriverInterface.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the claimed count of returned bytes relative to the input.
  const std::uint32_t claimed = data[0] & 1 ? static_cast<std::uint32_t>(size - 1)
                                            : static_cast<std::uint32_t>(size + data[0]);
  std::vector<std::uint8_t> bytes(data + 1, data + size);
  (void)core::ParseServerList(bytes);
  (void)core::ParseDeviceListReply(bytes, claimed);
  (void)core::ParseDriverEvent(bytes, static_cast<std::int32_t>(claimed));
  return 0;
}
