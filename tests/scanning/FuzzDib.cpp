// The DIB a source hands over: its layout must be read without reading past the bytes.
#include <cstddef>
#include <cstdint>

#include "scanning/Dib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto layout = scanning::ReadDibLayout(std::span(data, size));
  if (layout) {
    // Every byte the layout names is there.
    volatile std::uint8_t sink = 0;
    if (layout->totalBytes > 0) sink = data[layout->totalBytes - 1];
    (void)sink;
  }
  return 0;
}
