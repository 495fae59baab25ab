// Colour, state and path operators, and the shapes made of curves.
#include "pdf_fixtures.h"

#include <functional>

using namespace tpdf_test;

namespace {

TEST(Graphics, EachOperatorWritesItsLine) {
    struct Case {
        std::function<void(PdfDoc*)> draw;
        const char* line;
    };
    const Case cases[] = {
        {[](PdfDoc* d) { tpdf_fillGray(d, 0.5f); }, "0.5000 g\n"},
        {[](PdfDoc* d) { tpdf_strokeGray(d, 1); }, "1.0000 G\n"},
        {[](PdfDoc* d) { tpdf_grayBoth(d, 0.25f); }, "0.2500 g\n0.2500 G\n"},
        {[](PdfDoc* d) { tpdf_fillRgb(d, 1, 0, 0); }, "1.0000 0.0000 0.0000 rg\n"},
        {[](PdfDoc* d) { tpdf_strokeRgb(d, 0, 1, 0); }, "0.0000 1.0000 0.0000 RG\n"},
        {[](PdfDoc* d) { tpdf_rgbBoth(d, 0, 0, 1); }, "0.0000 0.0000 1.0000 rg\n0.0000 0.0000 1.0000 RG\n"},
        {[](PdfDoc* d) { tpdf_fillCmyk(d, 0.1f, 0.2f, 0.3f, 0.4f); }, "0.1000 0.2000 0.3000 0.4000 k\n"},
        {[](PdfDoc* d) { tpdf_strokeCmyk(d, 1, 0, 0, 0); }, "1.0000 0.0000 0.0000 0.0000 K\n"},
        {[](PdfDoc* d) { tpdf_cmykBoth(d, 0, 0, 0, 1); },
         "0.0000 0.0000 0.0000 1.0000 k\n0.0000 0.0000 0.0000 1.0000 K\n"},
        {[](PdfDoc* d) { tpdf_saveState(d); tpdf_restoreState(d); }, "\nq\nQ\n"},
        {[](PdfDoc* d) { tpdf_dashPattern(d, "[2 3] 0"); tpdf_solidLine(d); }, "[2 3] 0 d\n[] 0 d\n"},
        {[](PdfDoc* d) { tpdf_dashArray(d, 1); }, ""},
        {[](PdfDoc* d) { tpdf_flatness(d, 3); tpdf_lineJoin(d, 1); tpdf_lineCap(d, 2); }, "3 i\n1 j\n2 J\n"},
        {[](PdfDoc* d) { tpdf_miterLimit(d, 4); tpdf_lineWidth(d, 0.5f); }, "4.0000 M\n0.5000 w\n"},
        {[](PdfDoc* d) { tpdf_concatMatrix(d, 1, 2, 3, 4, 5, 6); },
         "1.0000 2.0000 3.0000 4.0000 5.0000 6.0000 cm\n"},
        {[](PdfDoc* d) { tpdf_translatePoints(d, 10, 20); },
         "1.0000 0.0000 0.0000 1.0000 10.0000 20.0000 cm\n"},
        {[](PdfDoc* d) { tpdf_translateDomain(d, 1, 2); },
         "1.0000 0.0000 0.0000 1.0000 72.0000 144.0000 cm\n"},
        {[](PdfDoc* d) { tpdf_concatMatrixDomain(d, 1, 0, 0, 1, 1, 1); },
         "1.0000 0.0000 0.0000 1.0000 72.0000 72.0000 cm\n"},
        {[](PdfDoc* d) { tpdf_scaleBy(d, 2, 3); }, "2.0000 0.0000 0.0000 3.0000 0.0000 0.0000 cm\n"},
        {[](PdfDoc* d) { tpdf_rotateDegrees(d, 30); }, "0.8660 0.5000 -0.5000 0.8660 0.0000 0.0000 cm\n"},
        {[](PdfDoc* d) { tpdf_pointMove(d, 10, 10); tpdf_relLine(d, 5, 0); }, "10.000 10.000 m\n15.000 10.000 l\n"},
        {[](PdfDoc* d) { tpdf_pointMove(d, 1, 1); tpdf_relMove(d, 1, 2); }, "1.000 1.000 m\n2.000 3.000 m\n"},
        {[](PdfDoc* d) { tpdf_pointCurve(d, 1, 2, 3, 4, 5, 6); tpdf_relLine(d, 1, 1); },
         "1.000 2.000 3.000 4.000 5.000 6.000 c\n6.000 7.000 l\n"},
        {[](PdfDoc* d) { tpdf_pointRect(d, 1, 2, 3, 4); tpdf_relLine(d, 1, 1); },
         "1.000 2.000 3.000 4.000 re\n2.000 3.000 l\n"},
        {[](PdfDoc* d) {
             tpdf_closePath(d); tpdf_strokePath(d); tpdf_fillPath(d); tpdf_eoFillPath(d);
             tpdf_fillStrokePath(d); tpdf_eoFillStrokePath(d); tpdf_clipPath(d); tpdf_eoClipPath(d);
             tpdf_endPath(d);
         },
         "h\nS\nf\nf*\nB\nB*\nW\nW*\nn\n"},
        {[](PdfDoc* d) { tpdf_pointCircle(d, 10, 10, 5); },
         "15.000 10.000 m\n15.000 12.760 12.760 15.000 10.000 15.000 c\n"
         "7.240 15.000 5.000 12.760 5.000 10.000 c\n5.000 7.240 7.240 5.000 10.000 5.000 c\n"
         "12.760 5.000 15.000 7.240 15.000 10.000 c\nh\n"},
        {[](PdfDoc* d) { tpdf_pointCircleFast(d, 10, 10, 3); tpdf_relLine(d, 1, 0); },
         "7.000 10.000 m\n7.000 14.000 13.000 14.000 13.000 10.000 c\n"
         "13.000 6.000 7.000 6.000 7.000 10.000 c\nh\n11.000 10.000 l\n"},
        {[](PdfDoc* d) { tpdf_pointRotatedRect(d, 0, 0, 10, 5, 90); },
         "0.000 0.000 m\n-0.000 10.000 l\n-5.000 10.000 l\n-5.000 -0.000 l\nh\n"},
        {[](PdfDoc* d) { tpdf_domainCircle(d, 1, 1, 0.5f); },
         "108.000 72.000 m\n108.000 91.872 91.872 108.000 72.000 108.000 c\n"
         "52.128 108.000 36.000 91.872 36.000 72.000 c\n36.000 52.128 52.128 36.000 72.000 36.000 c\n"
         "91.872 36.000 108.000 52.128 108.000 72.000 c\nh\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(pageContent(c.draw), c.line);
}

TEST(Graphics, ArcsUseOneCurvePerQuarterTurn) {
    struct Case {
        float start, end;
        int curves;
    };
    const Case cases[] = {{0, 90, 1}, {0, 180, 2}, {0, 270, 3}, {0, 360, 4}, {90, 0, 1}, {0, 45, 1}, {10, -350, 4}};
    for (const Case& c : cases) {
        const std::string content = pageContent([&](PdfDoc* d) { tpdf_pointArc(d, 0, 0, 10, c.start, c.end, 1); });
        EXPECT_EQ(countOf(content, " c\n"), c.curves) << c.start << " to " << c.end;
        EXPECT_EQ(countOf(content, " m\n"), 1);
    }
}

TEST(Graphics, HugeArcSweepsAreRefusedAtOnce) {
    for (float end : {1e9f, -1e9f, 1e20f, 36001.0f}) {
        std::vector<std::string> reports;
        const std::string content = pageContent([&](PdfDoc* d) {
            ReportLog log(d);
            tpdf_pointArc(d, 0, 0, 10, 0, end, 1);
            reports = log.lines();
        });
        EXPECT_EQ(content, "") << end;
        ASSERT_EQ(reports.size(), 1u) << end;
        EXPECT_EQ(reports[0].rfind("1|TarvexPDF|Arc sweep of ", 0), 0u) << reports[0];
    }
    const std::string hundredTurns = pageContent([](PdfDoc* d) { tpdf_pointArc(d, 0, 0, 10, 0, 36000, 1); });
    EXPECT_EQ(countOf(hundredTurns, " c\n"), 400);
}

TEST(Graphics, ArcEndsOnTheCircle) {
    const std::string moved = pageContent([](PdfDoc* d) { tpdf_pointArc(d, 100, 100, 10, 0, 90, 1); });
    EXPECT_EQ(moved.substr(0, moved.find('\n')), "110.000 100.000 m");
    EXPECT_NE(moved.find("100.000 110.000 c\n"), std::string::npos) << moved;
    const std::string lined = pageContent([](PdfDoc* d) { tpdf_pointArc(d, 100, 100, 10, 180, 360, 0); });
    EXPECT_EQ(lined.substr(0, lined.find('\n')), "90.000 100.000 l");
    EXPECT_NE(lined.find("110.000 100.000 c\n"), std::string::npos) << lined;
}

TEST(Graphics, ADrawnPageRendersWithOutsideTools) {
    if (!haveTool("qpdf") || !haveTool("pdftoppm")) GTEST_SKIP() << "qpdf or pdftoppm missing";
    ScratchDir dir;
    PdfDoc* doc = openScanningDocument();
    tpdf_init(doc);
    tpdf_pageInit(doc, 1, 0, "0 0 200 200", "0 0 200 200");
    tpdf_saveState(doc);
    tpdf_fillCmyk(doc, 0, 1, 1, 0);
    tpdf_pointCircle(doc, 100, 100, 80);
    tpdf_fillPath(doc);
    tpdf_restoreState(doc);
    tpdf_strokeRgb(doc, 0, 0, 1);
    tpdf_lineWidth(doc, 3);
    tpdf_dashPattern(doc, "[6 2] 0");
    tpdf_pointArc(doc, 100, 100, 60, 30, 300, 1);
    tpdf_strokePath(doc);
    tpdf_pointRotatedRect(doc, 60, 60, 40, 20, 30);
    tpdf_eoFillStrokePath(doc);
    ASSERT_EQ(tpdf_finalizeAll(doc), 0);
    ASSERT_EQ(tpdf_savePDFmemoryStreamToFile(doc, dir.file("g.pdf").c_str()), 0);
    tpdf_close(doc);
    std::string out;
    EXPECT_EQ(run("qpdf --check " + dir.file("g.pdf"), &out), 0) << out;
    EXPECT_EQ(run("pdftoppm -r 36 -png -singlefile " + dir.file("g.pdf") + " " + dir.file("g"), &out), 0) << out;
    EXPECT_GT(std::filesystem::file_size(dir.path() / "g.png"), 100u);
}

} // namespace
