// The readers of picture bytes from outside: a source's DIB, bitmap files and JFIF headers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scanning/PictureFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  (void)scanning::ParseDib(data, size);
  (void)scanning::JpegResolutionFromBytes(data, size);
  (void)scanning::BmpResolutionFromBytes(data, size);
  if (const auto picture = scanning::BmpPicture::FromBytes({data, data + size})) {
    const scanning::PixelRows rows = picture->rows();
    // Every row read must stay inside the file; small pictures only, to keep runs fast.
    if (static_cast<long>(rows.width) * rows.height <= 1 << 20) {
      std::vector<std::uint8_t> row(static_cast<std::size_t>(rows.width) * rows.channels);
      for (int y = 0; y < rows.height; ++y) rows.row(y, row.data());
    }
  }
  return 0;
}
