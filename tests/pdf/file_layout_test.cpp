// The bytes of the file: objects, numbering, offsets, header, Info and the trailer.
#include "pdf_fixtures.h"

#include <clocale>
#include <cstdlib>

using namespace tpdf_test;

namespace {

std::string finished(PdfDoc* doc) {
    EXPECT_EQ(tpdf_finalizeAll(doc), 0);
    return outputOf(doc);
}

// Every cross-reference entry must point at the first byte of its "N 0 obj" line.
void expectOffsetsPointAtObjects(const std::string& pdf) {
    const std::size_t xref = pdf.rfind("\nxref\n");
    ASSERT_NE(xref, std::string::npos);
    std::size_t at = xref + 6;
    const std::size_t lineEnd = pdf.find('\n', at);
    const int count = std::stoi(pdf.substr(at + 2, lineEnd - at - 2));
    at = lineEnd + 1 + 20; // past the free entry
    for (int k = 1; k < count; ++k, at += 20) {
        const long offset = std::stol(pdf.substr(at, 10));
        const std::string head = std::to_string(k) + " 0 obj\n";
        EXPECT_EQ(pdf.compare(static_cast<std::size_t>(offset), head.size(), head), 0)
            << "object " << k << " at " << offset;
        EXPECT_EQ(pdf.substr(at + 10, 10), " 00000 n \n");
    }
    const std::size_t start = pdf.rfind("startxref\n");
    EXPECT_EQ(std::stol(pdf.substr(start + 10)), static_cast<long>(xref + 1));
}

int runTool(const std::string& command, std::string* out = nullptr) {
    std::string ignored;
    return run(command, out ? out : &ignored);
}

TEST(FileLayout, EmptyDocumentByteForByte) {
    Doc doc = startedDocument();
    const std::string expected =
        "%PDF-1.1\n%\xE2\xE3\xCF\xD3\n"
        "1 0 obj\n<<\n/Type /Catalog\n/Pages 3 0 R\n/Outlines 2 0 R\n>>\nendobj\n"
        "2 0 obj\n<<\n/Type /Outlines\n/Count 0\n>>\nendobj\n"
        "3 0 obj\n<<\n/Type /Pages\n/Count 0\n/Kids [ ]\n>>\nendobj\n"
        "4 0 obj\n[/PDF /Text]\nendobj\n"
        "5 0 obj\n<<\n/Creator (A TarvexPDF program)\n/CreationDate (D:20240305140709)\n"
        "/Producer ([TarvexPDF Library 1.0.0] Windows 9x/NT)\n/Author (User: Windows NT/95/98 User)\n"
        "/Title (No Title)\n/Subject (None)\n/Keywords (TarvexPDF)\n>>\nendobj\n"
        "xref\n0 6\n0000000000 65535 f \n0000000015 00000 n \n0000000080 00000 n \n"
        "0000000126 00000 n \n0000000179 00000 n \n0000000207 00000 n \n"
        "trailer\n<<\n/Size 6\n/Root 1 0 R\n/Info 5 0 R\n>>\nstartxref\n438\n%%EOF\n";
    EXPECT_EQ(finished(doc.get()), expected);
}

TEST(FileLayout, OnePageOfDrawingByteForByte) {
    Doc doc = startedDocument();
    tpdf_pageInit(doc.get(), 1, 0, "0 0 200 100", "0 0 200 100");
    tpdf_fillRgb(doc.get(), 1, 0, 0);
    tpdf_pointRect(doc.get(), 10, 10, 50, 20);
    tpdf_fillPath(doc.get());
    const std::string expected =
        "%PDF-1.1\n%\xE2\xE3\xCF\xD3\n"
        "1 0 obj\n<<\n/Type /Catalog\n/Pages 3 0 R\n/Outlines 2 0 R\n>>\nendobj\n"
        "2 0 obj\n<<\n/Type /Outlines\n/Count 0\n>>\nendobj\n"
        "3 0 obj\n<<\n/Type /Pages\n/Count 1\n/Kids [ 5 0 R ]\n>>\nendobj\n"
        "4 0 obj\n[/PDF /Text]\nendobj\n"
        "5 0 obj\n<<\n/Type /Page\n/Parent 3 0 R\n/Resources <<\n/ProcSet 4 0 R >>\n"
        "/MediaBox [0 0 200 100]\n/CropBox [0 0 200 100]\n/Rotate 0\n/Contents 6 0 R\n>>\nendobj\n"
        "6 0 obj\n<</Length 57>>\nstream\n"
        "1.0000 0.0000 0.0000 rg\n10.000 10.000 50.000 20.000 re\nf\n"
        "\nendstream\nendobj\n"
        "7 0 obj\n<<\n/Creator (A TarvexPDF program)\n/CreationDate (D:20240305140709)\n"
        "/Producer ([TarvexPDF Library 1.0.0] Windows 9x/NT)\n/Author (User: Windows NT/95/98 User)\n"
        "/Title (No Title)\n/Subject (None)\n/Keywords (TarvexPDF)\n>>\nendobj\n"
        "xref\n0 8\n0000000000 65535 f \n0000000015 00000 n \n0000000080 00000 n \n"
        "0000000126 00000 n \n0000000185 00000 n \n0000000213 00000 n \n0000000365 00000 n \n"
        "0000000470 00000 n \n"
        "trailer\n<<\n/Size 8\n/Root 1 0 R\n/Info 7 0 R\n>>\nstartxref\n701\n%%EOF\n";
    EXPECT_EQ(finished(doc.get()), expected);
}

TEST(FileLayout, OneColourPictureHasItsObjectsInOrder) {
    ScratchDir dir;
    const auto jpeg = makeJpeg({16, 12, JpegColour::Rgb, false});
    writeFile(dir.file("p.jpg"), jpeg);
    Doc doc = startedDocument();
    tpdf_pageInit(doc.get(), 1, 0, "0 0 16 12", "0 0 16 12");
    float w = 0, h = 0, xs = 0, ys = 0;
    ASSERT_EQ(tpdf_importImage(doc.get(), dir.file("p.jpg").c_str(), 0, 0, 0, 0, &w, &h, &xs, &ys, 1), 0);
    EXPECT_EQ(w, 16.0f);
    EXPECT_EQ(xs, 1.0f);
    EXPECT_EQ(ys, 1.0f);
    const std::string pdf = finished(doc.get());
    expectOffsetsPointAtObjects(pdf);
    EXPECT_EQ(pdf.substr(0, 9), "%PDF-1.1\n");
    EXPECT_EQ(pdf[9], '%') << "the second line is a comment";
    EXPECT_NE(pdf.find("4 0 obj\n[/PDF /Text /ImageC ]\nendobj\n"), std::string::npos);
    EXPECT_NE(pdf.find("/XObject <<\n/IMtpdf0 7 0 R\n>>\n/ProcSet 4 0 R >>\n"), std::string::npos);
    EXPECT_EQ(contentStream(pdf, 6), "\nq\n1.0000 0.0000 0.0000 1.0000 0.0000 0.0000 cm\n"
                                     "16.0000 0.0000 0.0000 12.0000 0.0000 0.0000 cm\n/IMtpdf0 Do\nQ\n");
    const std::string imageHead = "7 0 obj\n<<\n/Type /XObject\n/Subtype /Image\n/Name /IMtpdf0\n"
                                  "/Width 16\n/Height 12\n/Filter /DCTDecode\n/BitsPerComponent 8\n"
                                  "/ColorSpace /DeviceRGB\n/Length " +
                                  std::to_string(jpeg.size()) + "\n>>\nstream\n";
    const std::size_t at = pdf.find(imageHead);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(pdf.compare(at + imageHead.size(), jpeg.size(),
                          std::string(jpeg.begin(), jpeg.end())), 0);
    EXPECT_NE(pdf.find("trailer\n<<\n/Size 9\n/Root 1 0 R\n/Info 8 0 R\n"), std::string::npos);
}

TEST(FileLayout, PagesWithGapsRotationAndDuration) {
    Doc doc = startedDocument();
    tpdf_pageInit(doc.get(), 1, 1, "0 0 10 10", "0 0 10 10");
    tpdf_setPageDuration(doc.get(), 2.5f);
    tpdf_pageInit(doc.get(), 3, 2, "0 0 10 10", "0 0 10 10");
    tpdf_setPageDuration(doc.get(), 0.0f);
    const std::string pdf = finished(doc.get());
    expectOffsetsPointAtObjects(pdf);
    EXPECT_NE(pdf.find("/Count 2\n/Kids [ 5 0 R 7 0 R ]"), std::string::npos);
    EXPECT_NE(pdf.find("/Rotate 270\n/Contents 6 0 R\n/Dur 2.500\n>>"), std::string::npos);
    EXPECT_NE(pdf.find("/Rotate 90\n/Contents 8 0 R\n>>"), std::string::npos);
    EXPECT_NE(pdf.find("/Size 10\n/Root 1 0 R\n/Info 9 0 R"), std::string::npos);
}

TEST(FileLayout, OnePictureOnTwoPagesIsOneObject) {
    ScratchDir dir;
    writeFile(dir.file("p.jpg"), makeJpeg({8, 8, JpegColour::Grey, false}));
    Doc doc = startedDocument();
    for (int page = 1; page <= 2; ++page) {
        tpdf_pageInit(doc.get(), page, 0, "0 0 8 8", "0 0 8 8");
        float w = 0, h = 0, xs = 0, ys = 0;
        tpdf_importImage(doc.get(), dir.file("p.jpg").c_str(), 0, 0, 0, 0, &w, &h, &xs, &ys, 1);
        tpdf_importImage(doc.get(), dir.file("p.jpg").c_str(), 0, 0, 0, 0, &w, &h, &xs, &ys, 1);
    }
    const std::string pdf = finished(doc.get());
    EXPECT_NE(pdf.find("[/PDF /Text /ImageB ]"), std::string::npos);
    EXPECT_NE(pdf.find("/ColorSpace /DeviceGray"), std::string::npos);
    // One resource line per page although drawn twice on each.
    EXPECT_EQ(countOf(pdf, "/IMtpdf0 9 0 R\n"), 2);
    EXPECT_EQ(pdf.find("10 0 obj\n<<\n/Type /XObject"), std::string::npos);
    EXPECT_NE(pdf.find("10 0 obj\n<<\n/Creator"), std::string::npos);
}

TEST(FileLayout, InfoStringsAreEscapedAndBounded) {
    Doc doc = startedDocument();
    tpdf_setTitle(doc.get(), "a(b)c\\d");
    tpdf_setSubject(doc.get(), std::string(100, 's').c_str());
    tpdf_setKeywords(doc.get(), std::string(200, 'k').c_str());
    tpdf_setCreator(doc.get(), "line\rend");
    const std::string pdf = finished(doc.get());
    EXPECT_NE(pdf.find("/Title (a\\(b\\)c\\\\d)\n"), std::string::npos);
    EXPECT_NE(pdf.find("/Subject (" + std::string(62, 's') + ")\n"), std::string::npos);
    EXPECT_NE(pdf.find("/Keywords (" + std::string(126, 'k') + ")\n"), std::string::npos);
    EXPECT_NE(pdf.find("/Creator (line\\rend)\n"), std::string::npos);
    expectOffsetsPointAtObjects(pdf);
}

TEST(FileLayout, ViewerPreferencesInTheCatalog) {
    Doc doc = startedDocument();
    const PdfViewerPreferences prefs{3, 1, 0, 1, 0, 1, 2, 7};
    tpdf_setViewerPreferences(doc.get(), &prefs);
    const std::string pdf = finished(doc.get());
    EXPECT_NE(pdf.find("/Outlines 2 0 R\n/PageMode /FullScreen\n/PageLayout /TwoColumnLeft\n"
                       "/ViewerPreferences <<\n/HideToolbar true\n/HideWindowUI true\n"
                       "/CenterWindow true\n/NonFullScreenPageMode /UseNone\n>>\n>>\n"),
              std::string::npos);
}

TEST(FileLayout, ProgressivePicturesRaiseTheVersion) {
    ScratchDir dir;
    writeFile(dir.file("b.jpg"), makeJpeg({8, 8, JpegColour::Rgb, false}));
    writeFile(dir.file("p.jpg"), makeJpeg({8, 8, JpegColour::Rgb, true}));
    for (const char* name : {"b.jpg", "p.jpg"}) {
        Doc doc = startedDocument();
        tpdf_pageInit(doc.get(), 1, 0, "0 0 8 8", "0 0 8 8");
        float w = 0, h = 0, xs = 0, ys = 0;
        tpdf_importImage(doc.get(), dir.file(name).c_str(), 0, 0, 0, 0, &w, &h, &xs, &ys, 1);
        EXPECT_EQ(finished(doc.get()).substr(0, 9), name[0] == 'b' ? "%PDF-1.1\n" : "%PDF-1.3\n");
    }
}

TEST(FileLayout, NumbersUseAPointUnderACommaLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    const char* chosen = nullptr;
#ifdef TPDF_TEST_LOCPATH
    setenv("LOCPATH", TPDF_TEST_LOCPATH, 1);
#endif
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8"})
        if (std::setlocale(LC_ALL, name)) {
            chosen = name;
            break;
        }
    if (!chosen || std::localeconv()->decimal_point[0] != ',') {
        std::setlocale(LC_ALL, saved.c_str());
        unsetenv("LOCPATH");
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    const std::string content = pageContent([](PdfDoc* doc) {
        tpdf_fillRgb(doc, 0.5f, 0.25f, 1);
        tpdf_pointMove(doc, 1.5f, 2.25f);
    });
    // Boxes and raw texts are read with a point too.
    Doc doc = startedDocument();
    const int started = tpdf_pageInit(doc.get(), 1, 0, "0 0 612.5 792.25", "0 0 612.5 792.25");
    const int linked = tpdf_pageLink(doc.get(), 0, 0, 9, 9, 1, "/XYZ 0 792 1.5", nullptr);
    tpdf_finalizeAll(doc.get());
    std::setlocale(LC_ALL, saved.c_str());
    unsetenv("LOCPATH");
    EXPECT_EQ(content, "0.5000 0.2500 1.0000 rg\n1.500 2.250 m\n") << "under " << chosen;
    EXPECT_EQ(started, 0);
    EXPECT_EQ(linked, 0);
    const std::string pdf = outputOf(doc.get());
    EXPECT_NE(pdf.find("/MediaBox [0 0 612.5 792.25]\n"), std::string::npos) << "under " << chosen;
    EXPECT_NE(pdf.find("/Dest [5 0 R /XYZ 0 792 1.5]"), std::string::npos) << "under " << chosen;
}

TEST(FileLayout, CompressedContentPassesOutsideChecks) {
    if (!haveTool("qpdf")) GTEST_SKIP() << "qpdf missing";
    ScratchDir dir;
    Doc doc = startedDocument();
    tpdf_enableCompression(doc.get(), 1);
    tpdf_pageInit(doc.get(), 1, 0, "0 0 100 100", "0 0 100 100");
    for (int i = 0; i < 50; ++i) tpdf_pointCircle(doc.get(), 50, 50, static_cast<float>(i));
    tpdf_strokePath(doc.get());
    const std::string pdf = finished(doc.get());
    EXPECT_EQ(pdf.substr(0, 9), "%PDF-1.2\n");
    EXPECT_NE(pdf.find("/Filter [/FlateDecode]"), std::string::npos);
    expectOffsetsPointAtObjects(pdf);
    ASSERT_EQ(tpdf_savePDFmemoryStreamToFile(doc.get(), dir.file("c.pdf").c_str()), 0);
    std::string out;
    EXPECT_EQ(runTool("qpdf --check " + dir.file("c.pdf"), &out), 0) << out;
    EXPECT_EQ(runTool("qpdf --qdf --object-streams=disable " + dir.file("c.pdf") + " " +
                      dir.file("plain.pdf")), 0);
    EXPECT_NE(readText(dir.path() / "plain.pdf").find("50.000 50.000 m\n"), std::string::npos);
}

TEST(FileLayout, APictureThatChangedSinceImportFailsTheDocument) {
    ScratchDir dir;
    const auto jpeg = makeJpeg({16, 16, JpegColour::Rgb, false});
    enum class Change { Vanished, Shrank, Grew };
    for (Change change : {Change::Vanished, Change::Shrank, Change::Grew}) {
        const std::string file = dir.file("p.jpg");
        writeFile(file, jpeg);
        Doc doc = startedDocument();
        ReportLog log(doc.get());
        tpdf_pageInit(doc.get(), 1, 0, "0 0 16 16", "0 0 16 16");
        float w = 0, h = 0, xs = 0, ys = 0;
        ASSERT_EQ(tpdf_importImage(doc.get(), file.c_str(), 0, 0, 0, 0, &w, &h, &xs, &ys, 1), 0);
        if (change == Change::Vanished) std::filesystem::remove(file);
        if (change == Change::Shrank) std::filesystem::resize_file(file, jpeg.size() / 2);
        if (change == Change::Grew) std::filesystem::resize_file(file, jpeg.size() + 10);
        EXPECT_EQ(tpdf_finalizeAll(doc.get()), -1);
        EXPECT_TRUE(log.contains("2|TarvexPDF|Image file " + file + " changed or vanished since it was imported"));
        const std::string pdf = outputOf(doc.get());
        const std::size_t data = pdf.find(">>\nstream\n", pdf.find("/Subtype /Image")) + 10;
        const std::string expected =
            change == Change::Vanished ? std::string(jpeg.size(), '\0')
            : change == Change::Shrank ? std::string(jpeg.begin(), jpeg.begin() + long(jpeg.size() / 2)) +
                                             std::string(jpeg.size() - jpeg.size() / 2, '\0')
                                       : std::string(jpeg.begin(), jpeg.end());
        EXPECT_EQ(pdf.compare(data, jpeg.size(), expected), 0) << "known bytes only";
        EXPECT_EQ(tpdf_savePDFmemoryStreamToFile(doc.get(), dir.file("out.pdf").c_str()), -1);
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.pdf"));
    }
}

TEST(FileLayout, ObjectTableGrowsPastATinyLimit) {
    const PdfDocLimits limits{10, -1, -1, -1, 3};
    Doc doc(tpdf_open(0, &limits));
    tpdf_init(doc.get());
    for (int page = 1; page <= 10; ++page) tpdf_pageInit(doc.get(), page, 0, "0 0 5 5", "0 0 5 5");
    const std::string pdf = finished(doc.get());
    expectOffsetsPointAtObjects(pdf);
    EXPECT_NE(pdf.find("/Size 26\n"), std::string::npos);
}

TEST(FileLayout, WritersCalledDirectlyRefuseWhatIsOutOfBounds) {
    using Writer = int (*)(PdfDoc*);
    for (Writer w : {tpdf_writeCatalog, tpdf_writeOutlinesRoot, tpdf_writePagesTree, tpdf_writeProcSet})
        EXPECT_EQ(w(nullptr), -1);
    EXPECT_EQ(tpdf_writeInfo(nullptr, 5), -1);
    EXPECT_EQ(tpdf_writeXrefTrailer(nullptr, 5), -1);
    EXPECT_EQ(tpdf_writePage(nullptr, 1), -1);
    EXPECT_EQ(tpdf_writeFont(nullptr, 0), -1);

    const PdfDocLimits limits{10, -1, -1, -1, 50};
    Doc doc(tpdf_open(0, &limits));
    tpdf_init(doc.get());
    ReportLog log(doc.get());
    for (int count : {50, 100000, -2}) {
        EXPECT_EQ(tpdf_writeXrefTrailer(doc.get(), count), -1) << count;
        EXPECT_TRUE(log.contains("1|TarvexPDF|Object count " + std::to_string(count) + " is beyond the offset table"));
    }
    int length = -1;
    tpdf_getOutputBuffer(doc.get(), &length);
    EXPECT_EQ(length, 0) << "nothing written";
    // Within the table, but the output takes bytes from tpdf_finalizeAll only.
    EXPECT_EQ(tpdf_writeXrefTrailer(doc.get(), 49), -1);
    EXPECT_FALSE(log.contains("Object count 49"));
    EXPECT_TRUE(log.contains("1|TarvexPDF|The PDF file is written by tpdf_finalizeAll() only"));
}

} // namespace
