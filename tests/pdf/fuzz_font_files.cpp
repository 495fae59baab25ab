// Feeds arbitrary bytes to the font map, metric (PFM) and outline (PFB) readers.
#include "tpdf.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const std::string& scratchFile() {
    // A memory-backed folder where there is one: every input goes through a file.
    static const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    static const std::string path = folder + "/fuzz_font_files." + std::to_string(getpid());
    return path;
}

void ignore(int, const char*, const char*, va_list) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static PdfDoc* doc = [] {
        tpdf_setGlobalErrorHandler(ignore);
        PdfDoc* d = tpdf_open(0, nullptr);
        tpdf_setErrorHandler(d, nullptr);
        tpdf_setFontMapFile(d, scratchFile().c_str());
        return d;
    }();
    FILE* f = std::fopen(scratchFile().c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    PdfFont font{};
    PdfFontDescriptor descriptor{};
    if (ReadPFM(scratchFile().c_str(), &font, &descriptor) == 0) {
        // An accepted metric file gives a usable name and widths within the table.
        if (descriptor.fontName[0] == '\0' || font.firstChar > font.lastChar) __builtin_trap();
    }
    PdfFontInfo info{};
    if (ReadPFB(scratchFile().c_str(), &info) == 0) {
        if (!info.outline || info.length != info.length1 + info.length2 + info.length3) __builtin_trap();
        tpdf_freeFontInfo(&info);
    } else if (info.outline) {
        __builtin_trap();
    }
    char metric[1024], outline[1024];
    tpdf_readFontMap(doc, "Wanted", metric, outline);
    std::remove(scratchFile().c_str());
    return 0;
}
