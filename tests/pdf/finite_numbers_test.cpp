// A NaN or an infinity has no PDF form: every call that takes a number refuses one, reports,
// and writes and keeps nothing.
#include "pdf_fixtures.h"

#include <cfloat>
#include <cmath>
#include <functional>
#include <vector>

using namespace tpdf_test;

namespace {

constexpr float kNaN = NAN;
constexpr float kInf = INFINITY;

struct RefusedCall {
    const char* call;
    std::function<void(PdfDoc*)> draw;
};

// Each call, on a page with a font chosen, writes nothing more and reports why it refused.
void expectEachRefused(const std::vector<RefusedCall>& cases, const std::string& why) {
    for (const RefusedCall& c : cases) {
        ReportLog log;
        const std::string content = pageContent([&](PdfDoc* d) {
            log.watch(d);
            tpdf_setFont(d, "Helvetica", nullptr, 10);
            c.draw(d);
        });
        EXPECT_EQ(content, "/Ftpdf0 10.000 Tf\n") << c.call;
        EXPECT_TRUE(log.contains(std::string("1|TarvexPDF|") + c.call + why)) << c.call;
    }
}

TEST(FiniteNumbers, ContentCallsWriteNothing) {
    expectEachRefused({
        {"tpdf_setFont", [](PdfDoc* d) { EXPECT_EQ(tpdf_setFont(d, "Helvetica", nullptr, kNaN), 3); }},
        {"tpdf_wordSpacing", [](PdfDoc* d) { tpdf_wordSpacing(d, kInf); }},
        {"tpdf_charSpacing", [](PdfDoc* d) { tpdf_charSpacing(d, kNaN); }},
        {"tpdf_horizScaling", [](PdfDoc* d) { tpdf_horizScaling(d, -kInf); }},
        {"tpdf_leading", [](PdfDoc* d) { tpdf_leading(d, kNaN); }},
        {"tpdf_textRise", [](PdfDoc* d) { tpdf_textRise(d, kInf); }},
        {"tpdf_textMatrix", [](PdfDoc* d) { tpdf_textMatrix(d, 1, 0, 0, 1, kNaN, 0); }},
        {"tpdf_textPosition", [](PdfDoc* d) { tpdf_textPosition(d, 0, kInf); }},
        {"tpdf_moveText", [](PdfDoc* d) { tpdf_moveText(d, kNaN, 0); }},
        {"tpdf_concatTextMatrix", [](PdfDoc* d) { tpdf_concatTextMatrix(d, 1, 0, 0, kInf, 0, 0); }},
        {"tpdf_rotateText", [](PdfDoc* d) { tpdf_rotateText(d, kNaN); }},
        {"tpdf_skewText", [](PdfDoc* d) { tpdf_skewText(d, kInf, 0); }},
        {"tpdf_textAt", [](PdfDoc* d) { tpdf_textAt(d, kNaN, 10, 0, "lost"); }},
        {"tpdf_textAligned", [](PdfDoc* d) { tpdf_textAligned(d, 10, 10, kInf, 4, "lost"); }},
        {"A content operator", [](PdfDoc* d) { tpdf_fillGray(d, kNaN); tpdf_strokeRgb(d, 0, kInf, 0); }},
        {"A content operator", [](PdfDoc* d) { tpdf_cmykBoth(d, 0, 0, 0, kNaN); tpdf_lineWidth(d, kInf); }},
        {"A content operator", [](PdfDoc* d) { tpdf_concatMatrix(d, kNaN, 0, 0, 1, 0, 0); tpdf_pointMove(d, kInf, 0); }},
        {"A content operator", [](PdfDoc* d) { tpdf_pointRect(d, 0, 0, kNaN, 1); tpdf_pointCurve(d, 0, 0, 0, 0, 0, kInf); }},
        {"tpdf_pointCircle", [](PdfDoc* d) { tpdf_pointCircle(d, 10, 10, kNaN); }},
        {"tpdf_pointCircleFast", [](PdfDoc* d) { tpdf_pointCircleFast(d, kInf, 10, 1); }},
        {"tpdf_pointArc", [](PdfDoc* d) { tpdf_pointArc(d, 10, 10, 5, 0, kInf, 1); }},
        {"tpdf_arcSegment", [](PdfDoc* d) { tpdf_arcSegment(d, 10, 10, 5, kNaN, 45, 1, 1); }},
        {"tpdf_pointRotatedRect", [](PdfDoc* d) { tpdf_pointRotatedRect(d, 0, 0, 5, 5, kNaN); }},
    }, " refused a number that is not finite");
}

// An angle beyond the limit is refused as given, even where only its sine, cosine or tangent
// would be written.
TEST(FiniteNumbers, AnglesBeyondTheLimitAreRefusedAsGiven) {
    constexpr float kBeyond = 3.402e38f;
    constexpr float kMax = FLT_MAX;
    expectEachRefused({
        {"tpdf_rotateDegrees", [](PdfDoc* d) { tpdf_rotateDegrees(d, kBeyond); }},
        {"tpdf_rotateDegrees", [](PdfDoc* d) { tpdf_rotateDegrees(d, -kMax); }},
        {"tpdf_rotateText", [](PdfDoc* d) { tpdf_rotateText(d, kMax); }},
        {"tpdf_skewText", [](PdfDoc* d) { tpdf_skewText(d, kMax, 0); }},
        {"tpdf_skewText", [](PdfDoc* d) { tpdf_skewText(d, 0, kBeyond); }},
        {"tpdf_textAt", [](PdfDoc* d) { tpdf_textAt(d, 10, 10, kMax, "lost"); }},
        {"tpdf_textAligned", [](PdfDoc* d) { tpdf_textAligned(d, 10, 10, kBeyond, 4, "lost"); }},
        {"tpdf_pointArc", [](PdfDoc* d) { tpdf_pointArc(d, 10, 10, 5, kMax, kMax, 1); }},
        {"tpdf_arcSegment", [](PdfDoc* d) { tpdf_arcSegment(d, 10, 10, 5, kMax, 45, 1, 1); }},
        {"tpdf_pointRotatedRect", [](PdfDoc* d) { tpdf_pointRotatedRect(d, 0, 0, 5, 5, kBeyond); }},
    }, " refused a number beyond what PDF readers take");
    ReportLog log;
    float x = 1, y = 2;
    tpdf_rotateVector(1, 0, kMax, &x, &y);
    EXPECT_TRUE(x == 1 && y == 2) << "a refused rotation leaves the vector";
    EXPECT_TRUE(log.contains("1|TarvexPDF|tpdf_rotateVector refused a number beyond what PDF readers take"));
}

TEST(FiniteNumbers, RefusedTextStateKeepsTheMeasures) {
    Doc doc = startedDocument();
    PdfDoc* d = doc.get();
    tpdf_pageInit(d, 1, 0, "0 0 100 100", "0 0 100 100");
    tpdf_setFont(d, "Helvetica", nullptr, 10);
    const float width = tpdf_stringWidth(d, "a b");
    tpdf_wordSpacing(d, kNaN);
    tpdf_charSpacing(d, kInf);
    tpdf_horizScaling(d, kNaN);
    EXPECT_EQ(tpdf_setFont(d, "Helvetica", nullptr, kInf), 3);
    EXPECT_FLOAT_EQ(tpdf_stringWidth(d, "a b"), width);
    tpdf_textMatrix(d, 2, 0, 0, 2, 5, 5);
    tpdf_textMatrix(d, kNaN, 0, 0, 1, 0, 0);
    tpdf_textPosition(d, 7, 8);
    tpdf_finalizeAll(d);
    EXPECT_EQ(contentStream(outputOf(d), 6),
              "/Ftpdf0 10.000 Tf\n2.0000 0.0000 0.0000 2.0000 5.0000 5.0000 Tm\n"
              "2.0000 0.0000 0.0000 2.0000 7.0000 8.0000 Tm\n");
}

TEST(FiniteNumbers, ObjectsAreRefusedAtTheCall) {
    Doc doc = startedDocument();
    PdfDoc* d = doc.get();
    tpdf_pageInit(d, 1, 0, "0 0 612 792", "0 0 612 792");
    ReportLog log(d);
    const PdfAnnotOptions badColour{0, nullptr, nullptr, kNaN, 0, 0};
    EXPECT_EQ(tpdf_textNote(d, kNaN, 0, kInf, 9, "t", "c", nullptr), -1);
    EXPECT_EQ(tpdf_textNote(d, 0, 0, 9, 9, "t", "c", &badColour), -1);
    EXPECT_EQ(tpdf_webLink(d, 0, 0, 9, kInf, "x", nullptr), -1);
    EXPECT_EQ(tpdf_pageLink(d, kNaN, 0, 9, 9, 1, "/Fit", nullptr), -1);
    EXPECT_EQ(tpdf_actionLinkDomain(d, 0, kInf, 9, 9, "/S /Named /N /NextPage", nullptr), -1);
    EXPECT_EQ(tpdf_annotCount(d), 0);
    EXPECT_TRUE(log.contains("1|TarvexPDF|tpdf_textNote refused a number that is not finite"));
    EXPECT_TRUE(log.contains("1|TarvexPDF|tpdf_actionLink refused a number that is not finite"));

    EXPECT_EQ(tpdf_addOutline(d, nullptr, 0, 1, 1, "x", 1, kNaN, kInf, kNaN, 0), nullptr);
    EXPECT_EQ(tpdf_addOutline(d, nullptr, 0, 1, 1, "x", 5, 0, 0, 0, kInf), nullptr);
    EXPECT_TRUE(log.contains("1|TarvexPDF|tpdf_addOutline refused a number that is not finite"));
    EXPECT_NE(tpdf_addOutline(d, nullptr, 0, 1, 1, "Fit", 2, kNaN, kNaN, kNaN, kNaN), nullptr)
        << "values the destination does not write do not matter";
    EXPECT_EQ(tpdf_outlineCount(d), 1);
    EXPECT_EQ(tpdf_destinationText(3, kInf, 0, 0, 0), nullptr);

    tpdf_setPageDuration(d, kInf);
    tpdf_setPageDuration(d, kNaN);
    EXPECT_TRUE(log.contains("1|TarvexPDF|tpdf_setPageDuration refused a number that is not finite"));
    tpdf_setPointsPerInch(d, kInf);
    EXPECT_TRUE(log.contains("1|TarvexPDF|tpdf_setPointsPerInch refused a number that is not finite"));

    ASSERT_EQ(tpdf_finalizeAll(d), 0);
    const std::string pdf = outputOf(d);
    EXPECT_EQ(pdf.find("/Dur"), std::string::npos);
    EXPECT_EQ(pdf.find("nan"), std::string::npos);
    EXPECT_EQ(pdf.find("inf"), std::string::npos);
    EXPECT_NE(pdf.find("/Dest [5 0 R /Fit]\n"), std::string::npos);
}

} // namespace
