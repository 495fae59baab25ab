// The page files a device writes, as the save window reads them for its preview and conversion.
#include <cstddef>
#include <cstdint>

#include "scanning/WiaRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  (void)scanning::LooksLikeBmp(data, size);
  (void)scanning::DecodeJpegScaled(data, size, 8);
  return 0;
}
