// Reads just enough of a JPEG file to know its size, components and coding process.
#include "errors.h"
#include "record_checks.h"
#include "tpdf.h"

#include <cstdio>

namespace {

constexpr const char* kJpegModule = "TarvexPDF jpegsize";
constexpr int kDamaged = -3;

class MarkerReader {
public:
    explicit MarkerReader(std::FILE* f) : f_(f) {}

    bool byte(int& out) {
        out = std::fgetc(f_);
        if (out != EOF) return true;
        tpdf_GlobalError(1, kJpegModule, "Premature EOF in JPEG file");
        return false;
    }

    bool word(int& out) {
        int hi = 0, lo = 0;
        if (!byte(hi) || !byte(lo)) return false;
        out = (hi << 8) | lo;
        return true;
    }

    bool skip(long count) {
        for (; count > 0; --count) {
            int ignored = 0;
            if (!byte(ignored)) return false;
        }
        return true;
    }

    // The next marker code after any garbage and fill bytes.
    bool nextMarker(int& code) {
        int c = 0;
        long skipped = 0;
        if (!byte(c)) return false;
        while (c != 0xFF) {
            ++skipped;
            if (!byte(c)) return false;
        }
        do {
            if (!byte(c)) return false;
        } while (c == 0xFF);
        if (skipped > 0) tpdf_GlobalError(1, kJpegModule, "Warning: garbage data found in JPEG file");
        code = c;
        return true;
    }

private:
    std::FILE* f_;
};

bool isFrameHeader(int code) {
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// Markers that stand alone, without a length: TEM, RST0..RST7 and SOI.
bool hasNoLength(int code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD8); }

bool readFrameHeader(MarkerReader& in, int code, PdfImage* image) {
    int length = 0, precision = 0, height = 0, width = 0, components = 0;
    if (!in.word(length) || !in.byte(precision) || !in.word(height) || !in.word(width) ||
        !in.byte(components))
        return false;
    image->sofCode = code;
    image->width = width;
    image->height = height;
    image->components = components;
    image->bitsPerComponent = precision;
    if (length != 8 + 3 * components) tpdf_GlobalError(1, kJpegModule, "Bogus SOF marker length");
    return in.skip(3L * components);
}

bool frameIsUsable(const PdfImage* image, bool sawFrame) {
    if (!sawFrame) {
        tpdf_GlobalError(1, kJpegModule, "No frame header in JPEG file");
        return false;
    }
    if (image->width <= 0 || image->height <= 0) {
        tpdf_GlobalError(1, kJpegModule, "Zero image size in JPEG file");
        return false;
    }
    // A PDF reader decodes grey, RGB and CMYK pictures of 8-bit samples; two components have
    // no colour space.
    if (image->components != 1 && image->components != 3 && image->components != 4) {
        tpdf_GlobalError(1, kJpegModule, "Unsupported number of components in JPEG file");
        return false;
    }
    if (image->bitsPerComponent != 8) {
        tpdf_GlobalError(1, kJpegModule, "Unsupported sample precision in JPEG file: %d",
                         image->bitsPerComponent);
        return false;
    }
    return true;
}

} // namespace

extern "C" {

int tpdf_scanJpegHeader(FILE* file, PdfImage* image) {
    if (!tpdf::recordGiven(nullptr, "tpdf_scanJpegHeader", file) ||
        !tpdf::recordGiven(nullptr, "tpdf_scanJpegHeader", image))
        return -1;
    const int first = std::fgetc(file);
    const int second = first == EOF ? EOF : std::fgetc(file);
    if (first != 0xFF || second != 0xD8) {
        tpdf_GlobalError(1, kJpegModule, "Not a JPEG file");
        return -2;
    }
    MarkerReader in(file);
    bool sawFrame = false;
    for (;;) {
        int code = 0;
        if (!in.nextMarker(code)) return kDamaged;
        if (code == 0xDA || code == 0xD9) return frameIsUsable(image, sawFrame) ? code : kDamaged;
        if (hasNoLength(code)) continue;
        if (isFrameHeader(code)) {
            if (!readFrameHeader(in, code, image)) return kDamaged;
            sawFrame = true;
            continue;
        }
        int length = 0;
        if (!in.word(length)) return kDamaged;
        if (length < 2) {
            tpdf_GlobalError(1, kJpegModule, "Erroneous JPEG marker length");
            return kDamaged;
        }
        if (!in.skip(length - 2)) return kDamaged;
    }
}

int read_JPEG_header(const char* fileName, PdfImage* image) {
    std::FILE* f = fileName ? std::fopen(fileName, "rb") : nullptr;
    if (!f) {
        tpdf_GlobalError(1, "TarvexPDF read_JPEG_header", "Can't open image file: %s",
                         fileName ? fileName : "");
        return -1;
    }
    const int result = tpdf_scanJpegHeader(f, image);
    std::fclose(f);
    return result;
}

} // extern "C"
