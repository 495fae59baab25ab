// Documents written the way the scanning side writes them, checked with outside tools.
#include "pdf_fixtures.h"


using namespace tpdf_test;

namespace {

struct Picture {
    std::string file;
    JpegSpec spec;
    std::vector<unsigned char> bytes;
};

// The scanning side's seven calls: one page per picture, the picture's pixels as points.
void writeLikeTheScanner(const std::vector<Picture>& pictures, const std::string& out) {
    const PdfDocLimits limits{120, -1, -1, -1, 8000};
    PdfDoc* doc = tpdf_open(0, &limits);
    tpdf_init(doc);
    int n = 1;
    for (const Picture& p : pictures) {
        char box[64];
        std::snprintf(box, sizeof box, "0 0 %d %d", p.spec.width, p.spec.height);
        tpdf_pageInit(doc, n++, 0, box, box);
        float width = 0, height = 0, xscale = 0, yscale = 0;
        tpdf_importImage(doc, p.file.c_str(), 0, 0.0f, 0.0f, 0.0f, &width, &height, &xscale, &yscale, 1);
    }
    tpdf_finalizeAll(doc);
    tpdf_savePDFmemoryStreamToFile(doc, out.c_str());
    tpdf_close(doc);
}

std::vector<Picture> makePictures(const ScratchDir& dir, int count) {
    const JpegColour colours[] = {JpegColour::Grey, JpegColour::Rgb, JpegColour::Cmyk};
    std::vector<Picture> pictures;
    for (int i = 0; i < count; ++i) {
        Picture p;
        p.spec = {24 + (i % 7) * 4, 16 + (i % 5) * 4, colours[i % 3], (i / 3) % 2 == 1};
        p.file = dir.file("scan_" + std::to_string(i + 1) + ".jpg");
        p.bytes = makeJpeg(p.spec);
        writeFile(p.file, p.bytes);
        pictures.push_back(p);
    }
    return pictures;
}

void checkWithOutsideTools(int count) {
    for (const char* tool : {"qpdf", "pdfinfo", "pdfimages", "pdftoppm"})
        if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
    ScratchDir dir;
    const std::vector<Picture> pictures = makePictures(dir, count);
    const std::string pdf = dir.file("group.pdf");
    writeLikeTheScanner(pictures, pdf);

    std::string out;
    ASSERT_EQ(run("qpdf --check " + pdf, &out), 0) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;

    ASSERT_EQ(run("pdfinfo -f 1 -l " + std::to_string(count) + " " + pdf, &out), 0) << out;
    out = squeezeBlanks(out);
    EXPECT_NE(out.find("Pages: " + std::to_string(count) + "\n"), std::string::npos) << out;
    const bool progressive = count > 3;
    EXPECT_NE(out.find(progressive ? "PDF version: 1.3\n" : "PDF version: 1.1\n"), std::string::npos);
    for (int i = 0; i < count; ++i) {
        const JpegSpec& spec = pictures[static_cast<std::size_t>(i)].spec;
        const std::string size = "Page " + std::to_string(i + 1) + " size: " + std::to_string(spec.width) +
                                 " x " + std::to_string(spec.height) + " pts\n";
        EXPECT_NE(out.find(size), std::string::npos) << size;
    }

    ASSERT_EQ(run("pdfimages -all " + pdf + " " + dir.file("x"), &out), 0) << out;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "x-%03d.jpg", i);
        EXPECT_EQ(readFile(dir.path() / name), pictures[static_cast<std::size_t>(i)].bytes)
            << name << " is the picture as stored";
    }

    ASSERT_EQ(run("pdftoppm -r 9 -gray " + pdf + " " + dir.file("r"), &out), 0) << out;
    int rendered = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind("r-", 0) == 0) ++rendered;
    EXPECT_EQ(rendered, count);
}

TEST(ScanningFlow, OnePicture) { checkWithOutsideTools(1); }
TEST(ScanningFlow, TwoPictures) { checkWithOutsideTools(2); }
TEST(ScanningFlow, AHundredPicturesOfEveryKind) { checkWithOutsideTools(100); }

TEST(ScanningFlow, PicturesPast100LeavePagesEmptyAndPast120AreLeftOut) {
    if (!haveTool("pdfinfo")) GTEST_SKIP() << "pdfinfo missing";
    ScratchDir dir;
    std::vector<Picture> pictures;
    const auto bytes = makeJpeg({10, 10, JpegColour::Grey, false});
    for (int i = 0; i < 125; ++i) {
        pictures.push_back({dir.file("p" + std::to_string(i) + ".jpg"), {10, 10, JpegColour::Grey, false}, bytes});
        writeFile(pictures.back().file, bytes);
    }
    writeLikeTheScanner(pictures, dir.file("big.pdf"));
    std::string out;
    ASSERT_EQ(run("qpdf --check " + dir.file("big.pdf"), &out), 0) << out;
    ASSERT_EQ(run("pdfinfo " + dir.file("big.pdf"), &out), 0);
    EXPECT_NE(squeezeBlanks(out).find("Pages: 120\n"), std::string::npos) << out;
    ASSERT_EQ(run("pdfimages -list " + dir.file("big.pdf"), &out), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2 + 100) << "a header of two lines, then 100 images";
}

} // namespace
