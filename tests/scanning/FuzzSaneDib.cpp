// Frames as a SANE device reports them, parameters and bytes alike from the input: the DIB made of
// them is whole, or they are refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/SaneDib.h"
#include "scanning/PictureFiles.h"

namespace {

int take(const std::uint8_t*& data, std::size_t& size) {
  std::int32_t v = 0;
  if (size >= 4) {
    std::memcpy(&v, data, 4);
    data += 4;
    size -= 4;
  }
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int count = data[0] % 4;
  ++data;
  --size;
  std::vector<platform::SaneFrame> frames;
  for (int i = 0; i < count; ++i) {
    platform::SaneFrame f;
    f.format = take(data, size) % 6;
    // Small sizes, so that the fuzzer reaches the conversion rather than the size limits.
    f.bytesPerLine = take(data, size) % 4096;
    f.pixelsPerLine = take(data, size) % 2048;
    f.lines = take(data, size) % 512;
    f.depth = take(data, size) % 20;
    const std::size_t n = std::min<std::size_t>(size, static_cast<std::size_t>(take(data, size)) % 65536);
    f.data.assign(data, data + n);
    data += n;
    size -= n;
    frames.push_back(std::move(f));
  }
  std::string why;
  const auto dib = platform::dibFromSaneFrames(frames, 300, why);
  if (dib && !scanning::ParseDib(dib->data(), dib->size())) std::abort();
  return 0;
}
