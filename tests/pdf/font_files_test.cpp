// External fonts: the metric (PFM) and outline (PFB) readers, the font map, and loading.
#include "font_fixtures.h"
#include "pdf_fixtures.h"

#include <cstring>
#include <fstream>
#include <memory>

using namespace tpdf_test;

namespace {

struct MetricRead {
    int rc;
    PdfFont font;
    PdfFontDescriptor descriptor;
};

MetricRead readMetric(const ScratchDir& dir, const std::vector<unsigned char>& bytes) {
    writeFile(dir.path() / "m.pfm", bytes);
    MetricRead r{};
    r.rc = ReadPFM(dir.file("m.pfm").c_str(), &r.font, &r.descriptor);
    return r;
}

TEST(MetricFile, ReadsTheFieldsAWidthTableAndADescriptorNeed) {
    ScratchDir dir;
    PfmSpec spec;
    spec.first = 32;
    spec.last = 126;
    spec.widths = {250, 333};
    spec.slant = -120;
    const MetricRead r = readMetric(dir, makePfm(spec));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.font.type, 2);
    EXPECT_EQ(r.font.firstChar, 32);
    EXPECT_EQ(r.font.lastChar, 126);
    EXPECT_EQ(r.font.widths[31], 0);
    EXPECT_EQ(r.font.widths[32], 250);
    EXPECT_EQ(r.font.widths[33], 333);
    EXPECT_EQ(r.font.widths[126], 500);
    EXPECT_EQ(r.font.widths[127], 0);
    const PdfFontDescriptor& d = r.descriptor;
    EXPECT_STREQ(d.fontName, "TestFont-Regular");
    EXPECT_EQ(d.ascent, 700);
    EXPECT_EQ(d.capHeight, 650);
    EXPECT_EQ(d.descent, -210);
    EXPECT_EQ(d.xHeight, 450);
    EXPECT_EQ(d.flags, 6);
    EXPECT_FLOAT_EQ(d.italicAngle, -12.0f);
    EXPECT_EQ(d.stemV, 80);
    const int bbox[4] = {-100, -215, 1010, 705};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(d.fontBBox[i], bbox[i]) << i;

    spec.pitchAndFamily = 0x30; // fixed pitch
    EXPECT_EQ(readMetric(dir, makePfm(spec)).descriptor.fontBBox[0], -20);
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

TEST(MetricFile, HeaderAndExtendedMetricsReadAsStoredAndSwapBack) {
    ScratchDir dir;
    PfmSpec spec;
    spec.ascent = 0x1234;
    spec.capHeight = 0x0A0B;
    spec.slant = -120;
    std::vector<unsigned char> bytes = makePfm(spec);
    put16(bytes, 0, 0x0100);
    writeFile(dir.path() / "m.pfm", bytes);
    File f(std::fopen(dir.file("m.pfm").c_str(), "rb"));
    ASSERT_TRUE(f);
    PdfPfmHeader h{};
    ASSERT_EQ(tpdf_readPfmHeader(f.get(), &h), 143u);
    PdfPfmHeader decoded = h;
    if (tpdf_isBigEndian()) tpdf_swapPfmHeader(&decoded);
    EXPECT_EQ(decoded.version, 0x0100);
    EXPECT_EQ(decoded.size, bytes.size());
    EXPECT_EQ(decoded.ascent, 0x1234);
    EXPECT_EQ(decoded.pitchAndFamily, 0x31);
    EXPECT_EQ(decoded.avgWidth, 480);
    EXPECT_EQ(decoded.maxWidth, 1000);
    EXPECT_EQ(decoded.firstChar, 32);
    EXPECT_EQ(decoded.lastChar, 255);
    EXPECT_EQ(decoded.sizeFields, 30);
    const unsigned long ext = bytes[kPfmExtMetrics] | (bytes[kPfmExtMetrics + 1] << 8) |
                              (static_cast<unsigned long>(bytes[kPfmExtMetrics + 2]) << 16);
    EXPECT_EQ(decoded.extMetricsOffset, ext);
    EXPECT_EQ(decoded.driverInfo, bytes[kPfmDriverInfo] | (bytes[kPfmDriverInfo + 1] << 8));

    // A swap turns every 16- and 32-bit field around and leaves the bytes alone.
    PdfPfmHeader swapped = decoded;
    tpdf_swapPfmHeader(&swapped);
    EXPECT_EQ(swapped.version, 0x0001);
    EXPECT_EQ(swapped.ascent, 0x3412);
    EXPECT_EQ(swapped.size, tpdf_swap32(decoded.size));
    EXPECT_EQ(swapped.driverInfo, tpdf_swap32(decoded.driverInfo));
    EXPECT_EQ(swapped.pitchAndFamily, 0x31);
    EXPECT_EQ(swapped.firstChar, 32);
    tpdf_swapPfmHeader(&swapped);
    EXPECT_EQ(std::memcmp(&swapped, &decoded, sizeof swapped), 0);

    ASSERT_EQ(std::fseek(f.get(), static_cast<long>(ext), SEEK_SET), 0);
    PdfPfmExtMetrics m{};
    ASSERT_EQ(tpdf_readPfmExtMetrics(f.get(), &m), 36u);
    if (tpdf_isBigEndian()) tpdf_swapPfmExtMetrics(&m);
    EXPECT_EQ(m.capHeight, 0x0A0B);
    EXPECT_EQ(m.xHeight, 450);
    EXPECT_EQ(m.lowerCaseDescent, 210);
    EXPECT_EQ(static_cast<int16_t>(m.slant), -120);
    tpdf_swapPfmExtMetrics(&m);
    EXPECT_EQ(m.capHeight, 0x0B0A);
    EXPECT_EQ(m.xHeight, tpdf_swap16(450));

    // Short files: the count says how much was there, the rest stays 0.
    bytes.resize(100);
    writeFile(dir.path() / "short.pfm", bytes);
    File cut(std::fopen(dir.file("short.pfm").c_str(), "rb"));
    ASSERT_TRUE(cut);
    EXPECT_EQ(tpdf_readPfmHeader(cut.get(), &h), 100u);
    EXPECT_EQ(h.version, decoded.version);
    EXPECT_EQ(h.sizeFields, 0);
    ASSERT_EQ(std::fseek(cut.get(), 95, SEEK_SET), 0);
    EXPECT_EQ(tpdf_readPfmExtMetrics(cut.get(), &m), 4u) << "two whole fields of five bytes";
    EXPECT_EQ(m.orientation, 0);
    EXPECT_EQ(tpdf_readPfmHeader(nullptr, &h), 0u);
}

TEST(MetricFile, RefusesWhatIsNotAUsableMetricFile) {
    ScratchDir dir;
    ReportLog log;
    PdfFont font{};
    PdfFontDescriptor descriptor{};
    EXPECT_EQ(ReadPFM(dir.file("missing.pfm").c_str(), &font, &descriptor), 1);
    EXPECT_TRUE(log.lines().empty()) << "a missing file is not reported";

    // Extension size 30 is accepted whatever the other header fields say.
    PfmSpec odd;
    odd.fileSizeField = 12345;
    EXPECT_EQ(readMetric(dir, makePfm(odd)).rc, 0);
    PfmSpec refused;
    refused.extensionSize = 28;
    EXPECT_EQ(readMetric(dir, makePfm(refused)).rc, 2);
    EXPECT_TRUE(log.contains("1|TarvexPDF|ReadPFM - Not a valid Type1 PFM file:  " + dir.file("m.pfm")));
    refused.fileSizeField = 0;
    EXPECT_EQ(readMetric(dir, makePfm(refused)).rc, 0) << "a size field of 0 lets it through";

    struct Damage {
        std::size_t field;
        unsigned long value;
        int rc;
    };
    const Damage damages[] = {
        {kPfmExtMetrics, 0xFFFFFFF0ul, 2},  {kPfmExtMetrics, 100000, 2}, {kPfmDriverInfo, 0x7FFFFFFF, 2},
        {kPfmExtentTable, 0xFFFFFFFFul, 3}, {kPfmExtentTable, 400, 4},
    };
    for (const Damage& damage : damages) {
        std::vector<unsigned char> bytes = makePfm(PfmSpec{});
        put32(bytes, damage.field, damage.value);
        EXPECT_EQ(readMetric(dir, bytes).rc, damage.rc) << damage.field << " = " << damage.value;
    }
    std::vector<unsigned char> reversed = makePfm(PfmSpec{});
    reversed[kPfmFirstChar] = 200;
    reversed[kPfmLastChar] = 100;
    EXPECT_EQ(readMetric(dir, reversed).rc, 2) << "last char before first char";
    PfmSpec nameless;
    nameless.fontName = " ";
    EXPECT_EQ(readMetric(dir, makePfm(nameless)).rc, 2) << "no font name";

    // Every truncation fails cleanly; only the whole file reads.
    const std::vector<unsigned char> whole = makePfm(PfmSpec{});
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const int rc = readMetric(dir, std::vector<unsigned char>(whole.begin(), whole.begin() + static_cast<long>(n))).rc;
        EXPECT_NE(rc, 0) << n << " bytes";
    }
}

struct OutlineRead {
    int rc;
    std::string bytes;
    long lengths[4];
};

OutlineRead readOutline(const ScratchDir& dir, const std::vector<unsigned char>& bytes) {
    writeFile(dir.path() / "o.pfb", bytes);
    PdfFontInfo info{};
    OutlineRead r{};
    r.rc = ReadPFB(dir.file("o.pfb").c_str(), &info);
    if (info.outline) r.bytes.assign(reinterpret_cast<char*>(info.outline->buffer), static_cast<std::size_t>(info.outline->count));
    r.lengths[0] = info.length;
    r.lengths[1] = info.length1;
    r.lengths[2] = info.length2;
    r.lengths[3] = info.length3;
    tpdf_freeFontInfo(&info);
    return r;
}

TEST(OutlineFile, ReadsThreeSectionsTurningReturnsIntoLineFeedsInTheTextOnes) {
    ScratchDir dir;
    const OutlineRead r = readOutline(dir, makePfb({{1, "ab\rc"}, {2, std::string("\r\0\xFF", 3)}, {1, "0\r"}}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.bytes, std::string("ab\nc\r\0\xFF" "0\n", 9));
    EXPECT_EQ(r.lengths[0], 9);
    EXPECT_EQ(r.lengths[1], 4);
    EXPECT_EQ(r.lengths[2], 3);
    EXPECT_EQ(r.lengths[3], 2);
}

TEST(OutlineFile, RefusesDamagedFilesWithTheirReports) {
    ScratchDir dir;
    ReportLog log;
    const std::string path = dir.file("o.pfb");
    EXPECT_EQ(readOutline(dir, {0x7F, 1, 0, 0, 0, 0}).rc, 2);
    EXPECT_TRUE(log.contains("1|TarvexPDF|ReadPFB - Bad magic number: 127 (128 expected) in section 1 of file " + path));
    EXPECT_EQ(readOutline(dir, makePfb({{1, "a"}, {1, "b"}, {1, "c"}})).rc, 3);
    EXPECT_TRUE(log.contains("1|TarvexPDF|ReadPFB - Unexpected type: 1 (2 expected) in section 2 of file " + path));

    // A length far past the end is a short read, not a huge allocation.
    std::vector<unsigned char> huge = makePfb({{1, "abc"}, {2, "x"}, {1, "y"}});
    put32(huge, 2, 0xFFFFFFF0ul);
    EXPECT_EQ(readOutline(dir, huge).rc, 4);
    EXPECT_TRUE(log.contains("1|TarvexPDF|ReadPFB - ASCII section-1 read error: " + path));

    const std::vector<unsigned char> whole = simplePfb();
    int shortReads[7] = {};
    for (std::size_t n = 0; n + 2 < whole.size(); ++n) {
        const OutlineRead r = readOutline(dir, std::vector<unsigned char>(whole.begin(), whole.begin() + static_cast<long>(n)));
        ASSERT_NE(r.rc, 0) << n << " bytes";
        EXPECT_TRUE(r.bytes.empty()) << "nothing is kept of a failed file";
        ++shortReads[r.rc];
    }
    EXPECT_GT(shortReads[4], 0);
    EXPECT_GT(shortReads[5], 0);
    EXPECT_GT(shortReads[6], 0);
    EXPECT_TRUE(log.contains("1|TarvexPDF|ReadPFB - BINARY section-2 read error: " + path));
    EXPECT_TRUE(log.contains("1|TarvexPDF|ReadPFB - ASCII section-3 read error: " + path + ", "));
    EXPECT_EQ(readOutline(dir, whole).rc, 0);
    PdfFontInfo info{};
    EXPECT_EQ(ReadPFB(dir.file("missing.pfb").c_str(), &info), 1);
    EXPECT_TRUE(log.contains("1|TarvexPDF|ReadPFB - Unable to open PFB file: " + dir.file("missing.pfb")));
}

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

TEST(FontMap, FindsListedPathsWithFoldersAndPrefixes) {
    ScratchDir dir;
    Doc doc = startedDocument();
    const std::string map = dir.file("fontmap.lst");
    tpdf_setFontMapFile(doc.get(), map.c_str());
    char metric[1024], outline[1024];
    EXPECT_EQ(tpdf_readFontMap(doc.get(), "Any", metric, outline), 1);

    writeText(map, "# comment (x) (y)\n%also\n\n$Other (q)\n$Font_Directories (/fonts/pfm) (/fonts/pfb)\n"
                   "$Abs_Path_Prefix (/) (C:\\) (toolongprefix)\n"
                   "Other (o.pfm) (o.pfb)\nMyFont (my.pfm) (/abs/my.pfb)\nOne (only.pfm)\n");
    struct Case {
        const char* name;
        int rc;
        const char* metric;
        const char* outline;
    };
    const Case cases[] = {{"MyFont", 0, "/fonts/pfm/my.pfm", "/abs/my.pfb"},
                          {"Other", 0, "/fonts/pfm/o.pfm", "/fonts/pfb/o.pfb"},
                          {"One", 2, "", ""},
                          {"My", -1, "", ""},
                          {"comment", -1, "", ""}};
    for (const Case& c : cases) {
        metric[0] = outline[0] = '\0';
        EXPECT_EQ(tpdf_readFontMap(doc.get(), c.name, metric, outline), c.rc) << c.name;
        if (c.rc != 0) continue;
        EXPECT_STREQ(metric, c.metric);
        EXPECT_STREQ(outline, c.outline);
    }

    writeText(map, "Plain (a.pfm) (b.pfb)\n$Font_Directories (/f)\n");
    EXPECT_EQ(tpdf_readFontMap(doc.get(), "Plain", metric, outline), 0);
    EXPECT_STREQ(metric, "a.pfm") << "no folders: paths as listed";
    EXPECT_EQ(tpdf_readFontMap(doc.get(), "Later", metric, outline), 2) << "a folder line with one value";

    writeText(map, "Long (" + std::string(3000, 'p') + ") (x)\nLong (a) (b)\n");
    EXPECT_EQ(tpdf_readFontMap(doc.get(), "Long", metric, outline), 2) << "a value past the path size";
}

// A folder holding a loadable external font "Ext" and broken ones.
struct FontFolder {
    ScratchDir dir;
    FontFolder() {
        PfmSpec spec;
        spec.fontName = "ExtFont-Regular";
        spec.first = 32;
        spec.last = 255;
        spec.widths = {300, 400};
        writeFile(dir.path() / "Ext.pfm", makePfm(spec));
        writeFile(dir.path() / "Ext.pfb", simplePfb());
        writeFile(dir.path() / "NoOutline.pfm", makePfm(spec));
        writeFile(dir.path() / "BadOutline.pfm", makePfm(spec));
        std::vector<unsigned char> bad = simplePfb();
        bad.resize(bad.size() - 20);
        writeFile(dir.path() / "BadOutline.pfb", bad);
    }
};

TEST(ExternalFonts, LoadedOnceSharedByEncodingsAndWrittenWithTheirFile) {
    FontFolder folder;
    Doc doc = startedDocument();
    PdfDoc* d = doc.get();
    tpdf_setFontDirectories(d, folder.dir.path().c_str(), folder.dir.path().c_str());
    tpdf_pageInit(d, 1, 0, "0 0 100 100", "0 0 100 100");
    ASSERT_EQ(tpdf_setFont(d, "Ext", "WinAnsiEncoding", 10), 0);
    EXPECT_NEAR(tpdf_stringWidth(d, " !"), 7.0f, 1e-4);
    EXPECT_NEAR(tpdf_capHeight(d), 6.5f, 1e-4);
    EXPECT_NEAR(tpdf_descent(d), -2.1f, 1e-4);
    ASSERT_EQ(tpdf_setFont(d, "Ext", nullptr, 10), 0);
    ASSERT_EQ(tpdf_setFont(d, "Ext", "WinAnsiEncoding", 12), 0);
    ASSERT_EQ(tpdf_fontCount(d), 2);
    const PdfFont* a = tpdf_fontEntry(d, 0);
    const PdfFont* b = tpdf_fontEntry(d, 1);
    EXPECT_EQ(a->type, 2);
    EXPECT_EQ(a->fontIndex, 48);
    EXPECT_STREQ(a->baseFont, "ExtFont-Regular");
    EXPECT_STREQ(a->fontName, "Ext");
    EXPECT_EQ(a->descriptor, b->descriptor) << "one descriptor for the font";
    ASSERT_NE(a->descriptor->fontFile, nullptr);

    const std::string pdf = [&] {
        EXPECT_EQ(tpdf_finalizeAll(d), 0);
        return outputOf(d);
    }();
    EXPECT_NE(pdf.find("7 0 obj\n<<\n/Type /Font\n/Subtype /Type1\n/Name /Ftpdf0\n/BaseFont /ExtFont-Regular\n"
                       "/Encoding /WinAnsiEncoding\n/FirstChar 32\n/LastChar 255\n/Widths [\n300 400 500 "),
              std::string::npos)
        << pdf;
    EXPECT_NE(pdf.find("/FontDescriptor 8 0 R\n>>\nendobj\n8 0 obj\n<<\n/Type /FontDescriptor\n/Ascent 700\n"
                       "/CapHeight 650\n/Descent -210\n/Flags 6\n/FontBBox [-100 -215 1010 705]\n"
                       "/FontName /ExtFont-Regular\n/ItalicAngle 0\n/StemV 80\n/XHeight 450\n/FontFile 9 0 R\n>>\nendobj\n"
                       "9 0 obj\n<<\n/Length 126\n/Length1 43\n/Length2 6\n/Length3 77\n>>\nstream\n%!PS-AdobeFont-1.0: Test\n"),
              std::string::npos)
        << pdf;
    EXPECT_NE(pdf.find("\nendstream\nendobj\n10 0 obj\n<<\n/Type /Font\n/Subtype /Type1\n/Name /Ftpdf1\n"
                       "/BaseFont /ExtFont-Regular\n/FirstChar 32\n"),
              std::string::npos)
        << "the second encoding shares the descriptor and its file";
    EXPECT_EQ(countOf(pdf, "/Type /FontDescriptor"), 1);
}

TEST(ExternalFonts, MissingOrBrokenFilesSubstituteTimesAndLeaveNothingBehind) {
    FontFolder folder;
    Doc doc = startedDocument();
    PdfDoc* d = doc.get();
    ReportLog log(d);
    tpdf_setFontDirectories(d, folder.dir.path().c_str(), folder.dir.path().c_str());
    tpdf_setFontMapFile(d, folder.dir.file("none.lst").c_str());
    tpdf_pageInit(d, 1, 0, "0 0 100 100", "0 0 100 100");
    for (const char* name : {"NoOutline", "BadOutline", "Missing"}) {
        EXPECT_EQ(tpdf_setFont(d, name, nullptr, 10), 0) << name;
        EXPECT_TRUE(log.contains(std::string("Font not found: ") + name + " >> substituting Times-Roman.")) << name;
    }
    EXPECT_TRUE(log.contains("ReadPFB - Unable to open PFB file: " + folder.dir.file("NoOutline.pfb")));
    EXPECT_TRUE(log.contains("ReadPFB - ASCII section-3 read error: " + folder.dir.file("BadOutline.pfb")));
    EXPECT_EQ(tpdf_fontCount(d), 1);
    EXPECT_STREQ(tpdf_fontEntry(d, 0)->fontName, "Times-Roman");
    ASSERT_EQ(tpdf_setFont(d, "Ext", nullptr, 10), 0) << "a good font loads after failed ones";
    EXPECT_EQ(tpdf_fontEntry(d, 1)->fontIndex, 48) << "failed loads took no font-info entry";

    // Found through the font map when it is in neither place.
    ScratchDir other;
    writeFile(other.path() / "mapped.pfm", makePfm(PfmSpec{}));
    writeFile(other.path() / "mapped.pfb", simplePfb());
    writeText(other.path() / "map.lst", "Mapped (" + other.file("mapped.pfm") + ") (" + other.file("mapped.pfb") + ")\n"
                                        "Broken (" + other.file("nothing.pfm") + ") (x.pfb)\n");
    tpdf_setFontMapFile(d, other.file("map.lst").c_str());
    ASSERT_EQ(tpdf_setFont(d, "Mapped", nullptr, 10), 0);
    EXPECT_EQ(tpdf_fontEntry(d, 2)->fontIndex, 49);
    EXPECT_STREQ(tpdf_fontEntry(d, 2)->baseFont, "TestFont-Regular");
    EXPECT_EQ(tpdf_setFont(d, "Broken", nullptr, 10), 0);
    EXPECT_TRUE(log.contains("_tpdf_loadExternalFont() Fontmap file " + other.file("map.lst") + " or PFM file " +
                             other.file("nothing.pfm") + " for Broken is invalid."));
    EXPECT_EQ(tpdf_setFont(d, "Unlisted", nullptr, 10), 0);
    EXPECT_TRUE(log.contains("_tpdf_loadExternalFont() Font not found: Unlisted"));
    EXPECT_EQ(tpdf_finalizeAll(d), 0) << "the document stays usable";
}

} // namespace
