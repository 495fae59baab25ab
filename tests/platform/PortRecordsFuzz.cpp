// The port monitors' records over any bytes: a record that reads must write back to itself.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/PortRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  if (const auto text = platform::readWideText(bytes)) {
    if (text->size() * 2 + 2 > size) std::abort();
  }
  if (const auto record = platform::decodeTcpIpPortRecord(bytes)) {
    const auto again = platform::encodeTcpIpPortRecord(*record);
    if (again.size() != size) std::abort();
    if (platform::decodeTcpIpPortRecord(again)->portName != record->portName) std::abort();
  }
  return 0;
}
