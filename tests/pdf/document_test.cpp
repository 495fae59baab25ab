// Life cycle, limits and the reports of refused requests.
#include "pdf_fixtures.h"

#include <cstring>
#include <memory>

using namespace tpdf_test;

extern "C" int tpdf_test_pagesFromC(void);

namespace {

int importAt00(PdfDoc* doc, const std::string& file, int type = 0) {
    float w = 0, h = 0, xs = 0, ys = 0;
    return tpdf_importImage(doc, file.c_str(), type, 0, 0, 0, &w, &h, &xs, &ys, 1);
}

TEST(DocumentPages, ScanningLimitsAcceptPages1To120) {
    Doc doc = startedDocument();
    ReportLog log(doc.get());
    EXPECT_EQ(tpdf_pageInit(doc.get(), 0, 0, "0 0 10 10", "0 0 10 10"), -1);
    EXPECT_TRUE(log.contains("1|TarvexPDF|Page number must be 1 or greater"));
    EXPECT_EQ(tpdf_pageInit(doc.get(), 120, 0, "0 0 10 10", "0 0 10 10"), 0);
    EXPECT_EQ(tpdf_pageInit(doc.get(), 121, 0, "0 0 10 10", "0 0 10 10"), -1);
    EXPECT_TRUE(log.contains("1|TarvexPDF|Too many pages: 121. Increase limit by tpdf_open()"));
}

TEST(DocumentPages, DefaultLimitsAndProcessDefaults) {
    {
        Doc doc(tpdf_open(0, nullptr));
        tpdf_init(doc.get());
        ReportLog log(doc.get());
        EXPECT_EQ(tpdf_pageInit(doc.get(), 100, 0, "0 0 1 1", "0 0 1 1"), 0);
        EXPECT_EQ(tpdf_pageInit(doc.get(), 101, 0, "0 0 1 1", "0 0 1 1"), -1);
    }
    tpdf_setDefaultLimits(3, -1, 0, -1, -1);
    {
        Doc doc(tpdf_open(0, nullptr));
        tpdf_init(doc.get());
        ReportLog log(doc.get());
        EXPECT_EQ(tpdf_pageInit(doc.get(), 3, 0, "0 0 1 1", "0 0 1 1"), 0);
        EXPECT_EQ(tpdf_pageInit(doc.get(), 4, 0, "0 0 1 1", "0 0 1 1"), -1);
    }
    tpdf_setDefaultLimits(100, -1, -1, -1, -1);
}

TEST(DocumentPages, StartingAPageTwiceKeepsItsContentAndMakesItCurrent) {
    Doc doc = startedDocument();
    ReportLog log(doc.get());
    tpdf_pageInit(doc.get(), 1, 0, "0 0 100 100", "0 0 100 100");
    tpdf_fillGray(doc.get(), 0.5f);
    tpdf_pageInit(doc.get(), 2, 0, "0 0 100 100", "0 0 100 100");
    EXPECT_EQ(tpdf_pageInit(doc.get(), 1, 0, "0 0 1 1", "0 0 1 1"), 0);
    EXPECT_TRUE(log.contains("1|TarvexPDF|Page 1 is already initialized"));
    tpdf_strokeGray(doc.get(), 0.25f);
    ASSERT_EQ(tpdf_finalizeAll(doc.get()), 0);
    const std::string pdf = outputOf(doc.get());
    EXPECT_EQ(contentStream(pdf, 6), "0.5000 g\n0.2500 G\n");
    EXPECT_EQ(contentStream(pdf, 8), "");
    EXPECT_NE(pdf.find("/MediaBox [0 0 100 100]"), std::string::npos);
}

TEST(DocumentPages, SwitchingPages) {
    Doc doc = startedDocument();
    ReportLog log(doc.get());
    tpdf_pageInit(doc.get(), 1, 0, "0 0 10 10", "0 0 10 10");
    tpdf_pageInit(doc.get(), 2, 0, "0 0 10 10", "0 0 10 10");
    EXPECT_EQ(tpdf_setCurrentPage(doc.get(), 1), 0);
    EXPECT_EQ(tpdf_setCurrentPage(doc.get(), 5), -1);
    EXPECT_TRUE(log.contains("2|TarvexPDF|Cannot switch to page 5 because it has not been initialized"));
    tpdf_finalizePage(doc.get(), 2);
    EXPECT_EQ(tpdf_setCurrentPage(doc.get(), 2), -2);
    EXPECT_TRUE(log.contains("2|TarvexPDF|Cannot switch to page 2 because it has already been finalized"));
}

TEST(DocumentLifeCycle, FinalisingTwiceAndPagesAfterwardsAreRefused) {
    Doc doc = startedDocument();
    ReportLog log(doc.get());
    tpdf_pageInit(doc.get(), 1, 0, "0 0 10 10", "0 0 10 10");
    ASSERT_EQ(tpdf_finalizeAll(doc.get()), 0);
    const std::string first = outputOf(doc.get());
    EXPECT_EQ(tpdf_finalizeAll(doc.get()), -1);
    EXPECT_TRUE(log.contains("tpdf_finalizeAll() has already been called"));
    EXPECT_EQ(tpdf_pageInit(doc.get(), 2, 0, "0 0 10 10", "0 0 10 10"), -1);
    EXPECT_TRUE(log.contains("already been finalized"));
    EXPECT_EQ(outputOf(doc.get()), first) << "the finished file is left as it was";
}

TEST(DocumentLifeCycle, OutOfOrderCallsAreRefused) {
    ScratchDir dir;
    Doc doc(openScanningDocument());
    ReportLog log(doc.get());
    EXPECT_EQ(tpdf_pageInit(doc.get(), 1, 0, "0 0 10 10", "0 0 10 10"), -1) << "before init";
    EXPECT_EQ(tpdf_finalizeAll(doc.get()), -1) << "before init";
    tpdf_init(doc.get());
    EXPECT_EQ(importAt00(doc.get(), dir.file("a.jpg")), -1) << "no page yet";
    tpdf_pageInit(doc.get(), 1, 0, "0 0 10 10", "0 0 10 10");
    EXPECT_EQ(tpdf_savePDFmemoryStreamToFile(doc.get(), dir.file("early.pdf").c_str()), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "early.pdf"));
    EXPECT_EQ(tpdf_init(doc.get()), -1);
    EXPECT_TRUE(log.contains("-1|TarvexPDF|tpdf_open() has not been called."));
}

TEST(DocumentLifeCycle, FatalReportsEndTheProcessThroughTheDefaultHandler) {
    EXPECT_EXIT(
        {
            PdfDoc* doc = tpdf_open(0, nullptr);
            tpdf_init(doc);
            tpdf_init(doc);
        },
        testing::ExitedWithCode(255), "TarvexPDF: tpdf_open\\(\\) has not been called\\.\\.");
}

TEST(DocumentImages, The101stDistinctFileIsRefusedAndNothingDrawn) {
    ScratchDir dir;
    const auto jpeg = makeJpeg({8, 8, JpegColour::Grey, false});
    Doc doc = startedDocument();
    ReportLog log(doc.get());
    for (int i = 1; i <= 101; ++i) {
        const std::string file = dir.file("p" + std::to_string(i) + ".jpg");
        writeFile(file, jpeg);
        tpdf_pageInit(doc.get(), i, 0, "0 0 8 8", "0 0 8 8");
        EXPECT_EQ(importAt00(doc.get(), file), i <= 100 ? 0 : 1) << i;
    }
    EXPECT_TRUE(log.contains("1|TarvexPDF|Too many images in this PDF: 100. Increase limits by tpdf_open()"));
    EXPECT_EQ(importAt00(doc.get(), dir.file("p7.jpg")), 0) << "a listed file is still accepted";
    ASSERT_EQ(tpdf_finalizeAll(doc.get()), 0);
    const std::string pdf = outputOf(doc.get());
    // Page 101 is Page 205 with content 206; it shows only the listed picture drawn last.
    EXPECT_EQ(contentStream(pdf, 206),
              "\nq\n1.0000 0.0000 0.0000 1.0000 0.0000 0.0000 cm\n8.0000 0.0000 0.0000 8.0000 "
              "0.0000 0.0000 cm\n/IMtpdf6 Do\nQ\n");
}

TEST(DocumentImages, RefusedFilesLeaveTheTableAndPageUnchanged) {
    ScratchDir dir;
    writeFile(dir.file("text.jpg"), {'h', 'e', 'l', 'l', 'o'});
    writeFile(dir.file("cut.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0x00});
    writeFile(dir.file("good.jpg"), makeJpeg({}));
    Doc doc = startedDocument();
    ReportLog log(doc.get());
    tpdf_pageInit(doc.get(), 1, 0, "0 0 16 12", "0 0 16 12");
    EXPECT_EQ(importAt00(doc.get(), dir.file("text.jpg")), -2);
    EXPECT_TRUE(log.contains("1|TarvexPDF|Not a JPEG file?: " + dir.file("text.jpg")));
    EXPECT_EQ(importAt00(doc.get(), dir.file("cut.jpg")), -3);
    EXPECT_EQ(importAt00(doc.get(), dir.file("none.jpg")), -1);
    EXPECT_TRUE(log.contains("Can't open image file: " + dir.file("none.jpg")));
    EXPECT_EQ(importAt00(doc.get(), dir.file("good.jpg"), 3), -1);
    EXPECT_TRUE(log.contains("LIBTIFF library support is not compiled in."));
    EXPECT_EQ(importAt00(doc.get(), dir.file("good.jpg"), 5), -1);
    EXPECT_EQ(importAt00(doc.get(), dir.file("good.jpg"), 9), -4);
    int index = -1;
    EXPECT_EQ(tpdf_findImage(doc.get(), dir.file("good.jpg").c_str(), 0, &index), 1);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(importAt00(doc.get(), dir.file("good.jpg")), 0);
    EXPECT_EQ(tpdf_findImage(doc.get(), dir.file("good.jpg").c_str(), 0, &index), 0);
    ASSERT_EQ(tpdf_finalizeAll(doc.get()), 0);
    const std::string pdf = outputOf(doc.get());
    EXPECT_NE(pdf.find("/IMtpdf0 7 0 R"), std::string::npos) << "the good file is the first image";
    EXPECT_EQ(pdf.find("IMtpdf1"), std::string::npos);
}

TEST(DocumentImages, SizeAndScaleCases) {
    ScratchDir dir;
    writeFile(dir.file("p.jpg"), makeJpeg({20, 10, JpegColour::Rgb, false}));
    struct Case {
        float width, height, xscale, yscale;
        float outW, outH, outXs, outYs;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 20, 10, 1, 1},      // nothing given: one point per pixel
        {0, 0, 2, 0, 40, 20, 2, 2},      // an x scale keeps the aspect
        {40, 0, 0, 0, 40, 20, 2, 2},     // a width keeps the aspect
        {0, 5, 0, 0, 10, 5, 0.5f, 0.5f}, // a height keeps the aspect
        {0, 0, 0, 3, 60, 30, 3, 3},      // a y scale keeps the aspect
        {40, 40, 0, 0, 40, 40, 2, 4},    // both sizes may distort
    };
    for (const Case& c : cases) {
        Doc doc = startedDocument();
        tpdf_pageInit(doc.get(), 1, 0, "0 0 20 10", "0 0 20 10");
        float w = c.width, h = c.height, xs = c.xscale, ys = c.yscale;
        ASSERT_EQ(tpdf_importImage(doc.get(), dir.file("p.jpg").c_str(), 0, 0, 0, 0, &w, &h, &xs, &ys, 0), 0);
        EXPECT_FLOAT_EQ(w, c.outW);
        EXPECT_FLOAT_EQ(h, c.outH);
        EXPECT_FLOAT_EQ(xs, c.outXs);
        EXPECT_FLOAT_EQ(ys, c.outYs);
    }
}

TEST(DocumentImages, PlacementRotationAndDomainUnits) {
    ScratchDir dir;
    writeFile(dir.file("p.jpg"), makeJpeg({20, 10, JpegColour::Rgb, false}));
    auto content = [&](float angle) {
        return pageContent([&](PdfDoc* doc) {
            float w = 0, h = 0, xs = 0, ys = 0;
            // One inch up and right through the page's default domain.
            tpdf_importImage(doc, dir.file("p.jpg").c_str(), 0, 1, 1, angle, &w, &h, &xs, &ys, 0);
        });
    };
    EXPECT_EQ(content(0.0005f), "1.0000 0.0000 0.0000 1.0000 72.0000 72.0000 cm\n"
                                "20.0000 0.0000 0.0000 10.0000 0.0000 0.0000 cm\n/IMtpdf0 Do\n");
    EXPECT_EQ(content(90), "1.0000 0.0000 0.0000 1.0000 72.0000 72.0000 cm\n"
                           "-0.0000 1.0000 -1.0000 -0.0000 0.0000 0.0000 cm\n"
                           "20.0000 0.0000 0.0000 10.0000 0.0000 0.0000 cm\n/IMtpdf0 Do\n");
}

TEST(DocumentOutput, FileModeWritesTheFileAtFinalisationOnly) {
    if (!haveTool("qpdf")) GTEST_SKIP() << "qpdf missing";
    ScratchDir dir;
    Doc doc(openScanningDocument());
    const std::string name = dir.file("direct.pdf");
    tpdf_setOutputFileName(doc.get(), name.c_str());
    tpdf_setContentInMemory(doc.get(), 0);
    ASSERT_EQ(tpdf_init(doc.get()), 0);
    tpdf_pageInit(doc.get(), 1, 1, "0 0 50 50", "0 0 50 50");
    tpdf_fillRgb(doc.get(), 0, 0, 1);
    tpdf_pointRect(doc.get(), 5, 5, 40, 40);
    tpdf_fillPath(doc.get());
    ASSERT_EQ(tpdf_finalizeAll(doc.get()), 0);
    EXPECT_EQ(tpdf_savePDFmemoryStreamToFile(doc.get(), dir.file("copy.pdf").c_str()), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "copy.pdf"));
    int length = 5;
    EXPECT_EQ(tpdf_getOutputBuffer(doc.get(), &length), nullptr);
    EXPECT_EQ(length, 0);
    std::string out;
    EXPECT_EQ(run("qpdf --check " + name, &out), 0) << out;
    EXPECT_NE(readText(name).find("/Rotate 270"), std::string::npos);
    EXPECT_NE(readText(name).find("0.0000 0.0000 1.0000 rg\n5.000 5.000 40.000 40.000 re\nf\n"),
              std::string::npos);
}

TEST(DocumentOutput, UnwritableFileModeOutputIsReported) {
    Doc doc(openScanningDocument());
    ReportLog log(doc.get());
    tpdf_setOutputFileName(doc.get(), "/nonexistent-folder/x.pdf");
    EXPECT_EQ(tpdf_init(doc.get()), 1);
    EXPECT_TRUE(log.contains("2|TarvexPDF|Cannot open /nonexistent-folder/x.pdf for PDF output"));
    EXPECT_EQ(tpdf_finalizeAll(doc.get()), -1);
}

TEST(DocumentInterface, CallableFromC) { EXPECT_EQ(tpdf_test_pagesFromC(), 2); }

TEST(DocumentUtilities, SmallHelpers) {
    char text[300] = "n=";
    EXPECT_STREQ(tpdf_appendInt(text, -42), "n=-42");
    std::string longText(249, 'a');
    std::snprintf(text, sizeof text, "%s", longText.c_str());
    tpdf_appendInt(text, 12345);
    EXPECT_EQ(std::strlen(text), 250u) << "kept within 250 characters";
    EXPECT_EQ(tpdf_isBigEndian(), 0);
    EXPECT_EQ(tpdf_fileSize("/nonexistent"), 0);
    EXPECT_STREQ(tpdf_libraryVersion(), "1.0.0");
    EXPECT_STREQ(tpdf_platformName(), "Windows 9x/NT");
}

} // namespace
