// The frame decoder over any byte stream: frames are split off as the daemon does, and each
// decoded message must encode to the very frame it came from.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/SimWire.h"

namespace wire = platform::simwire;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> stream(data, size);
  for (;;) {
    const wire::FrameCheck check = wire::checkFrame(stream);
    if (check.status != wire::FrameStatus::Complete) break;
    if (check.frameBytes > stream.size()) std::abort();
    const auto frame = stream.first(check.frameBytes);
    if (const auto message = wire::decodePayload(frame.subspan(wire::kHeaderBytes))) {
      const auto again = wire::encodeFrame(*message);
      if (again.size() != frame.size() || !std::equal(again.begin(), again.end(), frame.begin()))
        std::abort();
    }
    stream = stream.subspan(check.frameBytes);
  }
  return 0;
}
