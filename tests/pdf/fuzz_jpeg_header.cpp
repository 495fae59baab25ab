// Feeds arbitrary bytes to the JPEG header walk.
#include "tpdf.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    PdfImage image{};
    const int rc = tpdf_scanJpegHeader(f, &image);
    std::fclose(f);
    if (rc == 0xDA || rc == 0xD9) {
        // A header that is accepted must be usable for the image dictionary.
        if (image.width <= 0 || image.height <= 0 || image.components < 1 || image.components > 4)
            __builtin_trap();
    }
    return 0;
}
