// Plot domains, the tick rules, time helpers and axis drawing.
#include "pdf_fixtures.h"

#include <cmath>
#include <cstdlib>
#include <limits>

using namespace tpdf_test;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct tm date(int year, int month, int day, int hour = 0, int minute = 0) {
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return t;
}

class UtcClock : public testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved_ = tz ? tz : "";
        hadTz_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz_) setenv("TZ", saved_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::string saved_;
    bool hadTz_ = false;
};

TEST(TickRule, RoundStepsForRanges) {
    struct Case {
        float min, max, first, last, major, minor;
    };
    const Case cases[] = {{0, 1, 0, 1, 0.5f, 0.1f},      {-3, 7, -4, 8, 2, 1},
                          {0, 97, 0, 100, 50, 10},       {0, 0, -10, 0, 5, 1},
                          {0, 60, 0, 60, 20, 10},        {-50, -2, -50, 0, 10, 5},
                          {0, 0.012f, 0, 0.012f, 0.004f, 0.001f}};
    for (const Case& c : cases) {
        float first = 0, last = 0, ms = 0, mj = 0, ns = 0, mn = 0;
        ASSERT_EQ(tpdf_niceTicks(c.min, c.max, &first, &last, &ms, &mj, &ns, &mn), 0);
        EXPECT_NEAR(first, c.first, 1e-6) << c.min << ".." << c.max;
        EXPECT_NEAR(last, c.last, 1e-6) << c.min << ".." << c.max;
        EXPECT_NEAR(mj, c.major, 1e-6) << c.min << ".." << c.max;
        EXPECT_NEAR(mn, c.minor, 1e-6) << c.min << ".." << c.max;
        EXPECT_EQ(ms, first);
        EXPECT_EQ(ns, first);
    }
    float first = 0, last = 0;
    EXPECT_EQ(tpdf_niceTicksRange(0, std::numeric_limits<float>::infinity(), &first, &last), -1);
    EXPECT_EQ(tpdf_niceTicksRange(kNaN, 1, &first, &last), -1);
}

TEST(TickRule, MantissaAndSmallHelpers) {
    int e = 99;
    EXPECT_FLOAT_EQ(tpdf_mantissaExponent(0, &e), 0);
    EXPECT_EQ(e, 0);
    EXPECT_NEAR(tpdf_mantissaExponent(-2500, &e), -2.5f, 1e-5);
    EXPECT_EQ(e, 3);
    EXPECT_NEAR(tpdf_mantissaExponent(0.05f, &e), 5.0f, 1e-5);
    EXPECT_EQ(e, -2);
    EXPECT_EQ(tpdf_bitIsSet(1022, 1), 1);
    EXPECT_EQ(tpdf_bitIsSet(1022, 0), 0);
    EXPECT_EQ(tpdf_bitIsSet(2, 33), 1);
    char a[] = "2.500", b[] = "3.000", c[] = "100", d[] = "2.0e+10";
    EXPECT_STREQ(tpdf_trimZeros(a), "2.5");
    EXPECT_STREQ(tpdf_trimZeros(b), "3.");
    EXPECT_STREQ(tpdf_trimZeros(c), "100");
    EXPECT_STREQ(tpdf_trimZeros(d), "2.0e+10");
    char year[8];
    EXPECT_STREQ(tpdf_twoDigitYear(2005, 1, year), "05");
    EXPECT_STREQ(tpdf_twoDigitYear(2005, 0, year), "2005");
    int out = 7;
    EXPECT_EQ(tpdf_setPositive(&out, 0), 0);
    EXPECT_EQ(out, 7);
    EXPECT_EQ(tpdf_setPositive(&out, 3), 3);
    EXPECT_EQ(out, 3);
}

TEST_F(UtcClock, CalendarArithmetic) {
    struct tm a = date(2010, 1, 1), b = date(2010, 1, 2, 12);
    EXPECT_FLOAT_EQ(tpdf_timeDifference(&a, &b), 1.5f);
    struct tm c = date(2000, 1, 1), d = date(2001, 1, 1);
    EXPECT_FLOAT_EQ(tpdf_timeDifference(&c, &d), 366.0f);
    EXPECT_EQ(tpdf_isLeapYear(1900), 0);
    EXPECT_EQ(tpdf_isLeapYear(2000), 1);
    EXPECT_EQ(tpdf_isLeapYear(2004), 1);
    EXPECT_EQ(tpdf_isLeapYear(2003), 0);

    // Five-day steps fall on 1, 5, 10, ... 30, then the 1st of the next month.
    struct tm start = date(2024, 1, 1), running = start;
    std::vector<int> days;
    for (int i = 0; i < 8; ++i) {
        tpdf_timeStep(&start, &running, 3, 5);
        days.push_back(running.tm_mday);
    }
    EXPECT_EQ(days, (std::vector<int>{5, 10, 15, 20, 25, 30, 1, 5}));
    EXPECT_EQ(running.tm_mon, 1);

    int minorUnit = 0, majorUnit = 0, minorStep = 0, majorStep = 0;
    tpdf_timeTicks(30, &minorUnit, &majorUnit, &minorStep, &majorStep);
    EXPECT_EQ(minorUnit, 3);
    EXPECT_EQ(minorStep, 1);
    EXPECT_EQ(majorUnit, 3);
    EXPECT_EQ(majorStep, 10);
    tpdf_timeTicks(200000, &minorUnit, &majorUnit, &minorStep, &majorStep);
    EXPECT_EQ(majorStep, 100);
}

TEST(PlotDomain, DefaultPageDomainMapsInches) {
    PdfDoc* doc = openScanningDocument();
    tpdf_init(doc);
    tpdf_pageInit(doc, 1, 0, "0 0 612 792", "0 0 612 792");
    EXPECT_FLOAT_EQ(tpdf_domainX(doc, 1), 72);
    EXPECT_FLOAT_EQ(tpdf_domainY(doc, 1), 72);
    EXPECT_FLOAT_EQ(tpdf_pointsToDomainX(doc, 144), 2);
    EXPECT_FLOAT_EQ(tpdf_pointsToDomainY(doc, 36), 0.5f);
    tpdf_close(doc);
}

TEST(PlotDomain, LogarithmicConversionAndRefusedRanges) {
    PdfDoc* doc = openScanningDocument();
    tpdf_init(doc);
    ReportLog log(doc);
    tpdf_pageInit(doc, 1, 0, "0 0 612 792", "0 0 612 792");
    PdfPlotDomain* log10 = tpdf_createPlotDomain(50, 50, 300, 200, 1, 1000, 0, 10, 1, 0, 0);
    ASSERT_NE(tpdf_setPlotDomain(doc, log10), nullptr) << "returns the page's domain";
    EXPECT_NEAR(tpdf_domainX(doc, 10), 150, 1e-3) << "100 points from the origin";
    EXPECT_FLOAT_EQ(tpdf_domainX(doc, 0), 50) << "0 maps to the origin";
    EXPECT_NEAR(tpdf_pointsToDomainX(doc, 250), 100, 1e-2);
    EXPECT_FLOAT_EQ(tpdf_domainY(doc, 5), 150);

    struct Bad {
        float xmin, xmax, ymin, ymax;
        int xkind;
    };
    for (const Bad& b : {Bad{1, 1, 0, 1, 0}, Bad{0, 1, 2, 2, 0}, Bad{kNaN, 1, 0, 1, 0}, Bad{0, 100, 0, 1, 1},
                         Bad{-1, 100, 0, 1, 1}}) {
        PdfPlotDomain* d = tpdf_createPlotDomain(0, 0, 100, 100, b.xmin, b.xmax, b.ymin, b.ymax, b.xkind, 0, 0);
        EXPECT_EQ(tpdf_setPlotDomain(doc, d), nullptr);
        tpdf_freePlotDomain(d);
    }
    EXPECT_TRUE(log.contains("Plot domain range is empty or not usable"));
    EXPECT_NEAR(tpdf_domainX(doc, 10), 150, 1e-3) << "the current domain stays";
    EXPECT_EQ(tpdf_setMeshSteps(log10, 1, 0, 0, 0, 1), -1);
    EXPECT_EQ(tpdf_setMeshSteps(log10, 1, 0, 1, 0, -2), -1);
    EXPECT_EQ(tpdf_setMeshSteps(log10, 1, 0, kNaN, 0, 1), -1);
    EXPECT_EQ(tpdf_setMeshSteps(log10, 1, 0, 5, 0, 1), 0);
    tpdf_close(doc);
    tpdf_freePlotDomain(log10);
}

TEST(PlotDomain, NoDomainIsReported) {
    PdfDoc* doc = openScanningDocument();
    ReportLog log(doc);
    EXPECT_EQ(tpdf_domainX(doc, 3), 0);
    EXPECT_TRUE(log.contains("2|TarvexPDF|Plot domain has not been set. See tpdf_setPlotDomain()"));
    EXPECT_EQ(tpdf_domainY(doc, 3), 0);
    EXPECT_TRUE(log.contains("1|TarvexPDF|Plot domain has not been set. See tpdf_setPlotDomain()"));
    tpdf_close(doc);
}

TEST(Axis, CreationDefaults) {
    struct Case {
        float angle;
        int ticks, labels;
    };
    for (const Case& c : {Case{0, 2, 0}, Case{90, 0, 2}, Case{60, 2, 0}, Case{120, 2, 0}, Case{61, 0, 2}}) {
        PdfAxis* axis = tpdf_createAxis(c.angle, 100, 0, 0, 1);
        EXPECT_EQ(axis->tickPlacement, c.ticks) << c.angle;
        EXPECT_EQ(axis->labelPlacement, c.labels) << c.angle;
        tpdf_freeAxis(axis);
    }
    PdfAxis* axis = tpdf_createAxis(0, 100, 0, -3, 7);
    EXPECT_EQ(axis->majorStart, -4);
    EXPECT_EQ(axis->majorStep, 2);
    EXPECT_EQ(axis->minorStep, 1);
    EXPECT_STREQ(axis->numberFormat, "%g");
    EXPECT_STREQ(axis->labelFont, "Helvetica");
    EXPECT_STREQ(axis->labelEncoding, "MacRomanEncoding");
    EXPECT_EQ(axis->logTickMask, 1022);
    EXPECT_EQ(axis->logLabelMask, 2);
    tpdf_freeAxis(axis);
}

// Draws the axis on a fresh page whose domain it is attached to; returns the page content.
std::string drawnAxis(PdfAxis* axis, int* result = nullptr) {
    return pageContent([&](PdfDoc* doc) {
        PdfPlotDomain* d = tpdf_createPlotDomain(100, 100, 300, 200, 0, 1, 0, 1, 0, 0, 0);
        tpdf_setPlotDomain(doc, d);
        tpdf_attachAxis(axis, d, 0, 0);
        const int rc = tpdf_drawAxis(axis);
        if (result) *result = rc;
        axis->domain = nullptr;
        tpdf_freePlotDomain(d);
    });
}

TEST(Axis, LinearAxisDrawing) {
    PdfAxis* axis = tpdf_createAxis(0, 300, 0, 0, 1);
    const std::string content = drawnAxis(axis);
    EXPECT_EQ(content.rfind("\n% Axis starts here \n\nq\n1.0000 0.0000 -0.0000 1.0000 100.0000 100.0000 cm\n"
                            "1.0000 w\n-1.000 0.000 m\n301.000 0.000 l\nS\n", 0),
              0u)
        << content;
    EXPECT_EQ(countOf(content, " 10.000 l\n"), 3) << "major ticks at 0, 0.5 and 1 above the line";
    EXPECT_EQ(countOf(content, " 5.000 l\n"), 11) << "minor ticks every 0.1";
    for (const char* label : {"(0) Tj", "(0.5) Tj", "(1) Tj"}) EXPECT_NE(content.find(label), std::string::npos);
    EXPECT_NE(content.find("/Ftpdf0 12.000 Tf\n"), std::string::npos);
    EXPECT_EQ(content.substr(content.size() - 5), "ET\nQ\n");
    tpdf_freeAxis(axis);
}

std::vector<std::string> labelsOf(const std::string& content) {
    std::vector<std::string> labels;
    for (std::size_t at = content.find('('); at != std::string::npos; at = content.find('(', at + 1))
        labels.push_back(content.substr(at + 1, content.find(')', at) - at - 1));
    return labels;
}

TEST(Axis, DecimalRangesLabelWholeStepsFromTheRangeStart) {
    struct Case {
        float max;
        std::vector<std::string> labels;
    };
    const Case cases[] = {{0.3f, {"0", "0.1", "0.2", "0.3"}},
                          {0.7f, {"0", "0.2", "0.4", "0.6"}},
                          {0.9f, {"0", "0.3", "0.6", "0.9"}},
                          {0.25f, {"0", "0.05", "0.1", "0.15", "0.2", "0.25"}}};
    for (const Case& c : cases) {
        float first = -1, last = 0;
        tpdf_niceTicksRange(0, c.max, &first, &last);
        EXPECT_EQ(first, 0.0f) << "0.." << c.max;
        PdfAxis* axis = tpdf_createAxis(0, 300, 0, 0, c.max);
        EXPECT_EQ(labelsOf(drawnAxis(axis)), c.labels) << "0.." << c.max;
        tpdf_freeAxis(axis);
    }
    // Steps that cross zero from a float start leave no residue in the zero label.
    PdfAxis* axis = tpdf_createAxis(0, 300, 0, -0.3f, 0.3f);
    tpdf_setAxisTickSteps(axis, -0.3f, 0.1f, -0.3f, 0.1f);
    EXPECT_EQ(labelsOf(drawnAxis(axis)), (std::vector<std::string>{"-0.3", "-0.2", "-0.1", "0", "0.1", "0.2", "0.3"}));
    tpdf_freeAxis(axis);
}

TEST(PlotDomain, MeshOfADecimalRangeStaysInsideTheDomain) {
    const std::string content = pageContent([](PdfDoc* doc) {
        PdfPlotDomain* d = tpdf_createPlotDomain(100, 100, 300, 200, 0, 1, 0, 0.25f, 0, 0, 0);
        tpdf_setPlotDomain(doc, d);
        tpdf_drawMeshY(d);
        tpdf_freePlotDomain(d);
    });
    EXPECT_EQ(countOf(content, "100.000 m\n"), 2) << "the minor and major lines at 0 only";
    EXPECT_EQ(countOf(content, " m\n"), 26 + 6) << "minor lines every 0.01, major every 0.05, none below 0";
}

TEST(Axis, LabelsAndTitleArePlainTextInAHexTextDocument) {
    PdfAxis* axis = tpdf_createAxis(0, 300, 0, 0, 1);
    tpdf_setAxisTitle(axis, "Level", "Times-Roman", "WinAnsiEncoding", 10);
    const std::string content = pageContent([&](PdfDoc* doc) {
        PdfPlotDomain* d = tpdf_createPlotDomain(100, 100, 300, 200, 0, 1, 0, 1, 0, 0, 0);
        tpdf_setPlotDomain(doc, d);
        tpdf_attachAxis(axis, d, 0, 0);
        tpdf_setHexText(doc, 1);
        tpdf_drawAxis(axis);
        tpdf_showText(doc, "414243");
        axis->domain = nullptr;
        tpdf_freePlotDomain(d);
    });
    EXPECT_EQ(labelsOf(content), (std::vector<std::string>{"0", "0.5", "1", "Level", "ABC"}));
    tpdf_freeAxis(axis);
}

TEST(Axis, LogarithmicAxisLabelsDecades) {
    PdfAxis* axis = tpdf_createAxis(0, 300, 1, 1, 1000);
    const std::string content = drawnAxis(axis);
    for (const char* label : {"(1) Tj", "(10) Tj", "(100) Tj", "(1000) Tj"})
        EXPECT_NE(content.find(label), std::string::npos) << label;
    EXPECT_EQ(countOf(content, " Tj\n"), 4);
    EXPECT_EQ(countOf(content, "2.0000 w\n"), 4) << "a major tick at each decade";
    EXPECT_EQ(countOf(content, "\n1.0000 w\n"), 1 + 24) << "the line, then 2 to 9 of three decades";
    EXPECT_NE(content.find("100.000 0.000 m\n100.000 10.000 l\n"), std::string::npos) << "10 at a third";
    tpdf_freeAxis(axis);
}

TEST_F(UtcClock, TimeAxisOverAMonthAndAHalf) {
    const struct tm start = date(2024, 1, 1), end = date(2024, 2, 11);
    PdfAxis* axis = tpdf_createTimeAxis(0, 410, 2, &start, &end);
    const std::string content = drawnAxis(axis);
    EXPECT_EQ(labelsOf(content), (std::vector<std::string>{"Jan 1", "10", "20", "Feb 1", "10"}))
        << "day 30 gets no label";
    EXPECT_EQ(countOf(content, " 5.000 l\n"), 42) << "a minor tick each day";
    EXPECT_EQ(countOf(content, " 10.000 l\n"), 6);
    tpdf_freeAxis(axis);
}

TEST(Axis, RefusesWhatCannotBeDrawn) {
    ReportLog log;
    PdfAxis* unattached = tpdf_createAxis(0, 100, 0, 0, 1);
    EXPECT_EQ(tpdf_drawAxis(unattached), -1);
    EXPECT_TRUE(log.contains("1|TarvexPDF|Axis is not attached to a plot domain"));
    tpdf_freeAxis(unattached);

    PdfAxis* axis = tpdf_createAxis(0, 100, 0, 0, 10);
    for (float step : {0.0f, -1.0f, kNaN}) {
        EXPECT_EQ(tpdf_setAxisTickSteps(axis, 0, step, 0, 1), -1) << step;
        EXPECT_EQ(tpdf_setAxisTickSteps(axis, 0, 1, 0, step), -1) << step;
    }
    EXPECT_EQ(axis->majorStep, 5) << "refused steps leave the old ones";
    EXPECT_EQ(tpdf_setAxisTickSteps(axis, 0, 2, 0, 1), 0);
    tpdf_freeAxis(axis);

    struct Bad {
        int kind;
        float min, max;
    };
    for (const Bad& b : {Bad{0, 3, 3}, Bad{0, kNaN, 1}, Bad{1, 0, 100}, Bad{1, -5, 100}, Bad{1, 10, 10}}) {
        PdfAxis* bad = tpdf_createAxis(0, 100, b.kind, b.min, b.max);
        int rc = 0;
        const std::string content = drawnAxis(bad, &rc);
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(content, "") << "nothing is written";
        tpdf_freeAxis(bad);
    }
    const struct tm same = date(2024, 1, 1);
    PdfAxis* empty = tpdf_createTimeAxis(0, 100, 2, &same, &same);
    int rc = 0;
    EXPECT_EQ(drawnAxis(empty, &rc), "");
    EXPECT_EQ(rc, -1);
    tpdf_freeAxis(empty);
}

TEST(Axis, NumberFormatsMustTakeOneNumber) {
    PdfAxis* axis = tpdf_createAxis(0, 100, 0, 0, 1);
    ReportLog log;
    for (const char* bad : {"%s", "%d", "%g %g", "%n", "%*g", "no number"}) {
        tpdf_setAxisFont(axis, bad, "Helvetica", 10);
        EXPECT_STREQ(axis->numberFormat, "%g") << bad;
    }
    EXPECT_TRUE(log.contains("Axis number format must take exactly one number"));
    tpdf_setAxisFont(axis, "%.2f%%", "Courier", 9);
    EXPECT_STREQ(axis->numberFormat, "%.2f%%");
    EXPECT_STREQ(axis->labelFont, "Courier");
    const std::string content = drawnAxis(axis);
    EXPECT_NE(content.find("(0.50%) Tj"), std::string::npos) << content;
    tpdf_freeAxis(axis);
}

TEST(Text, WidthsFontsAndEscapes) {
    const std::string content = pageContent([](PdfDoc* doc) {
        EXPECT_EQ(tpdf_setFont(doc, "Helvetica", nullptr, 10), 0);
        EXPECT_NEAR(tpdf_stringWidth(doc, "AB"), 13.34f, 1e-4);
        tpdf_setFont(doc, "Helvetica", nullptr, 10);
        tpdf_setFont(doc, "Helvetica", "MacRomanEncoding", 10);
        tpdf_beginText(doc, 0);
        tpdf_textAt(doc, 5, 6, 0, "a(b)c\\");
        tpdf_endText(doc);
    });
    EXPECT_EQ(content, "/Ftpdf0 10.000 Tf\n/Ftpdf0 10.000 Tf\n/Ftpdf1 10.000 Tf\n\nBT\n"
                       "1.0000 0.0000 -0.0000 1.0000 5.0000 6.0000 Tm\n(a\\(b\\)c\\\\) Tj\nET\n");
}

TEST(Axis, APageOfPlotsRendersWithOutsideTools) {
    if (!haveTool("qpdf") || !haveTool("pdftoppm")) GTEST_SKIP() << "qpdf or pdftoppm missing";
    ScratchDir dir;
    PdfDoc* doc = openScanningDocument();
    tpdf_init(doc);
    tpdf_pageInit(doc, 1, 0, "0 0 500 400", "0 0 500 400");
    PdfPlotDomain* d = tpdf_createPlotDomain(80, 80, 360, 260, 1, 1000, -5, 5, 1, 0, 0);
    tpdf_setPlotDomain(doc, d);
    tpdf_fillDomainGray(d, 0.95f);
    tpdf_setDomainMeshStyle(d, 0.5f, 0.5f, 0.5f, 0.8f, 0.8f, 0.8f);
    tpdf_drawMesh(d);
    PdfAxis* x = tpdf_createAxis(0, 360, 1, 1, 1000);
    PdfAxis* y = tpdf_createAxis(90, 260, 0, -5, 5);
    tpdf_attachAxis(x, d, 0, 0);
    tpdf_attachAxis(y, d, 0, 0);
    tpdf_setAxisTitle(x, "Frequency (Hz)", "Helvetica-Bold", "WinAnsiEncoding", 12);
    tpdf_setAxisTitle(y, "Level", "Times-Roman", "WinAnsiEncoding", 12);
    EXPECT_EQ(tpdf_drawAxis(x), 0);
    EXPECT_EQ(tpdf_drawAxis(y), 0);
    tpdf_strokeRgb(doc, 1, 0, 0);
    tpdf_pointMove(doc, tpdf_domainX(doc, 1), tpdf_domainY(doc, -4));
    for (float v = 2; v <= 1000; v *= 2) tpdf_pointLine(doc, tpdf_domainX(doc, v), tpdf_domainY(doc, std::log10(v) * 3 - 4));
    tpdf_strokePath(doc);
    tpdf_domainCircle(doc, 100, 0, 20);
    tpdf_strokePath(doc);
    ASSERT_EQ(tpdf_finalizeAll(doc), 0);
    const std::string pdf = outputOf(doc);
    EXPECT_NE(pdf.find("/Font <<\n/Ftpdf0 7 0 R\n/Ftpdf1 8 0 R\n/Ftpdf2 9 0 R\n>>"), std::string::npos);
    EXPECT_NE(pdf.find("/BaseFont /Helvetica-Bold\n/Encoding /WinAnsiEncoding\n"), std::string::npos);
    EXPECT_NE(pdf.find("(Frequency \\(Hz\\)) Tj"), std::string::npos);
    ASSERT_EQ(tpdf_savePDFmemoryStreamToFile(doc, dir.file("plot.pdf").c_str()), 0);
    tpdf_close(doc);
    tpdf_freeAxis(x);
    tpdf_freeAxis(y);
    tpdf_freePlotDomain(d);
    std::string out;
    EXPECT_EQ(run("qpdf --check " + dir.file("plot.pdf"), &out), 0) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
    EXPECT_EQ(run("pdftoppm -r 50 -png -singlefile " + dir.file("plot.pdf") + " " + dir.file("plot"), &out), 0) << out;
    EXPECT_EQ(out, "") << "renders without complaint";
}

} // namespace
