// The JPEG header walk on real, truncated and malformed files.
#include "pdf_fixtures.h"

#include <cstdio>

using namespace tpdf_test;

namespace {

using Bytes = std::vector<unsigned char>;

int scan(const Bytes& bytes, PdfImage& image) {
    image = PdfImage{};
    FILE* f = bytes.empty() ? std::fopen("/dev/null", "rb")
                            : fmemopen(const_cast<unsigned char*>(bytes.data()), bytes.size(), "rb");
    const int rc = tpdf_scanJpegHeader(f, &image);
    std::fclose(f);
    return rc;
}

Bytes frame(int code, int height, int width, int components, int precision = 8) {
    Bytes b = {0xFF, static_cast<unsigned char>(code), 0, static_cast<unsigned char>(8 + 3 * components),
               static_cast<unsigned char>(precision),
               static_cast<unsigned char>(height >> 8), static_cast<unsigned char>(height),
               static_cast<unsigned char>(width >> 8), static_cast<unsigned char>(width),
               static_cast<unsigned char>(components)};
    for (int c = 0; c < components; ++c) b.insert(b.end(), {static_cast<unsigned char>(c + 1), 0x11, 0});
    return b;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kSoi = {0xFF, 0xD8};
const Bytes kSos = {0xFF, 0xDA, 0, 2};
const Bytes kEoi = {0xFF, 0xD9};

TEST(JpegHeader, ReadsWhatLibjpegWrote) {
    struct Case {
        JpegSpec spec;
        int sof, components;
    };
    const Case cases[] = {{{33, 17, JpegColour::Grey, false}, 0xC0, 1},
                          {{40, 30, JpegColour::Rgb, false}, 0xC0, 3},
                          {{24, 8, JpegColour::Cmyk, false}, 0xC0, 4},
                          {{40, 30, JpegColour::Rgb, true}, 0xC2, 3}};
    for (const Case& c : cases) {
        PdfImage image{};
        EXPECT_EQ(scan(makeJpeg(c.spec), image), 0xDA);
        EXPECT_EQ(image.sofCode, c.sof);
        EXPECT_EQ(image.width, c.spec.width);
        EXPECT_EQ(image.height, c.spec.height);
        EXPECT_EQ(image.components, c.components);
        EXPECT_EQ(image.bitsPerComponent, 8);
    }
}

TEST(JpegHeader, WalksMarkersWithoutLengthFillBytesAndLaterFrames) {
    PdfImage image{};
    const Bytes tricky = join({kSoi, {0xFF, 0xD0}, {0xFF, 0x01}, {0xFF, 0xFF, 0xFF, 0xE1, 0, 4, 1, 2},
                               frame(0xC0, 5, 6, 1), frame(0xC1, 7, 9, 3), kEoi});
    EXPECT_EQ(scan(tricky, image), 0xD9);
    EXPECT_EQ(image.sofCode, 0xC1) << "a later frame header overrides an earlier one";
    EXPECT_EQ(image.width, 9);
    EXPECT_EQ(image.height, 7);

    ReportLog log;
    const Bytes garbage = join({kSoi, {1, 2, 3}, frame(0xC0, 5, 6, 1), kSos});
    EXPECT_EQ(scan(garbage, image), 0xDA);
    EXPECT_TRUE(log.contains("1|TarvexPDF jpegsize|Warning: garbage data found in JPEG file"));

    Bytes bogus = frame(0xC0, 5, 6, 1);
    bogus[3] = 9; // one byte short of 8 + 3 * 1
    EXPECT_EQ(scan(join({kSoi, bogus, kSos}), image), 0xDA);
    EXPECT_TRUE(log.contains("Bogus SOF marker length"));
}

TEST(JpegHeader, RefusesDamagedFiles) {
    struct Case {
        const char* what;
        Bytes bytes;
        int result;
        const char* report;
    };
    const Bytes good = join({kSoi, frame(0xC0, 5, 6, 3), kSos});
    const Case cases[] = {
        {"empty", {}, -2, "Not a JPEG file"},
        {"one byte", {0xFF}, -2, "Not a JPEG file"},
        {"text", {'J', 'F', 'I', 'F'}, -2, "Not a JPEG file"},
        {"SOI only", kSoi, -3, "Premature EOF in JPEG file"},
        {"cut in a segment length", join({kSoi, {0xFF, 0xE0, 0x00}}), -3, "Premature EOF"},
        {"cut inside a segment", join({kSoi, {0xFF, 0xE0, 0x00, 0x10, 1, 2}}), -3, "Premature EOF"},
        {"cut in the frame header", Bytes(good.begin(), good.begin() + 8), -3, "Premature EOF"},
        {"fill bytes to the end", join({kSoi, {0xFF, 0xFF, 0xFF}}), -3, "Premature EOF"},
        {"length 0", join({kSoi, {0xFF, 0xE0, 0, 0}, frame(0xC0, 5, 6, 1), kSos}), -3, "Erroneous JPEG marker length"},
        {"length 1", join({kSoi, {0xFF, 0xFE, 0, 1}, kSos}), -3, "Erroneous JPEG marker length"},
        {"no frame header", join({kSoi, {0xFF, 0xE0, 0, 2}, kSos}), -3, "No frame header in JPEG file"},
        {"zero width", join({kSoi, frame(0xC0, 5, 0, 3), kSos}), -3, "Zero image size in JPEG file"},
        {"zero height", join({kSoi, frame(0xC2, 0, 6, 3), kEoi}), -3, "Zero image size in JPEG file"},
        {"no components", join({kSoi, frame(0xC0, 5, 6, 0), kSos}), -3, "Unsupported number of components"},
        {"five components", join({kSoi, frame(0xC0, 5, 6, 5), kSos}), -3, "Unsupported number of components"},
        {"two components", join({kSoi, frame(0xC0, 5, 6, 2), kSos}), -3, "Unsupported number of components"},
        {"precision 0", join({kSoi, frame(0xC0, 5, 6, 3, 0), kSos}), -3, "Unsupported sample precision in JPEG file: 0"},
        {"precision 12", join({kSoi, frame(0xC1, 5, 6, 1, 12), kSos}), -3, "Unsupported sample precision"},
        {"precision 255", join({kSoi, frame(0xC2, 5, 6, 4, 255), kEoi}), -3, "Unsupported sample precision"},
        {"a later frame spoils it", join({kSoi, frame(0xC0, 5, 6, 3), frame(0xC0, 5, 6, 3, 0), kSos}), -3,
         "Unsupported sample precision"},
    };
    for (const Case& c : cases) {
        ReportLog log;
        PdfImage image{};
        EXPECT_EQ(scan(c.bytes, image), c.result) << c.what;
        EXPECT_TRUE(log.contains(c.report)) << c.what;
    }
}

TEST(JpegHeader, ReadsFilesByName) {
    ScratchDir dir;
    ReportLog log;
    PdfImage image{};
    EXPECT_EQ(read_JPEG_header(dir.file("none.jpg").c_str(), &image), -1);
    EXPECT_TRUE(log.contains("1|TarvexPDF read_JPEG_header|Can't open image file: " + dir.file("none.jpg")));
    writeFile(dir.file("p.jpg"), makeJpeg({12, 10, JpegColour::Grey, false}));
    EXPECT_EQ(read_JPEG_header(dir.file("p.jpg").c_str(), &image), 0xDA);
    EXPECT_EQ(image.width, 12);
}

TEST(JpegHeader, SurvivesEveryTruncationOfARealFile) {
    const Bytes jpeg = makeJpeg({20, 20, JpegColour::Rgb, true});
    PdfImage image{};
    std::size_t sos = 0;
    for (std::size_t n = 0; n < jpeg.size(); ++n) {
        const int rc = scan(Bytes(jpeg.begin(), jpeg.begin() + long(n)), image);
        if (rc == 0xDA && sos == 0) sos = n;
        EXPECT_TRUE(rc == 0xDA || rc < 0) << n;
    }
    EXPECT_GT(sos, 0u) << "the walk ends at the first scan header";
}

} // namespace
