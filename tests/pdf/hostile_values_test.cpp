// Hostile numbers, page boxes, raw texts, JPEG headers and dates: each call is refused with a
// report, and the file is byte for byte the one made without the call; outside tools read it
// without a word. Values at the limits are taken and written as readers take them.
#include "pdf_fixtures.h"

#include <cfloat>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cmath>
#include <functional>
#include <set>

using namespace tpdf_test;

namespace {

constexpr float kHuge = FLT_MAX; // a float, but beyond the 3.4e38 readers take

struct tm date(int year, int month, int day) {
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    return t;
}

using TimeField = int tm::*;

struct tm withField(TimeField field, int value) {
    struct tm t = date(2024, 3, 5);
    t.*field = value;
    return t;
}

// The document every row is made in: the hostile call runs between two ordinary ones.
std::string document(const std::function<void(PdfDoc*)>& hostile) {
    Doc doc = startedDocument();
    PdfDoc* d = doc.get();
    tpdf_pageInit(d, 1, 0, "0 0 612 792", "0 0 612 792");
    tpdf_pointRect(d, 72, 72, 100, 50);
    if (hostile) hostile(d);
    tpdf_strokePath(d);
    EXPECT_EQ(tpdf_textNote(d, 72, 600, 200, 640, "Note", "after the call", nullptr), 0);
    EXPECT_EQ(tpdf_finalizeAll(d), 0);
    return outputOf(d);
}

// A JPEG whose frame header claims another sample precision.
std::vector<unsigned char> withPrecision(std::vector<unsigned char> jpeg, unsigned char precision) {
    for (std::size_t i = 2; i + 4 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 4] = precision;
            break;
        }
    return jpeg;
}

TEST(HostileValues, EveryCallIsRefusedAndTheFileIsAsWithoutIt) {
    ScratchDir dir;
    const std::string precision0 = dir.file("p0.jpg"), precision12 = dir.file("p12.jpg"),
                      picture = dir.file("ok.jpg");
    writeFile(picture, makeJpeg({16, 12, JpegColour::Rgb, false}));
    writeFile(precision0, withPrecision(makeJpeg({16, 12, JpegColour::Rgb, false}), 0));
    writeFile(precision12, withPrecision(makeJpeg({16, 12, JpegColour::Grey, false}), 12));
    std::string longBox = "0 0 612 792";
    while (longBox.size() < 10240) longBox += " 0";
    const PdfAnnotOptions hugeColour{0, nullptr, nullptr, kHuge, 0, 0};
    const PdfAnnotOptions longBorder{0, "[0 0 99999999999999999999]", nullptr, 0, 0, 1};
    const PdfAnnotOptions hugeDash{0, "[0 0 1 [3 4294967296]]", nullptr, 0, 0, 1};
    const PdfAnnotOptions nulStyle{0, nullptr, "/W 1 /S /D#00", 0, 0, 1};
    const PdfAnnotOptions twiceStyle{0, nullptr, "/W 1 /W 2", 0, 0, 1};
    const auto place = [&](PdfDoc* d, const std::string& file, float x, float w, float xs) {
        float width = w, height = 0, xscale = xs, yscale = 0;
        const int rc = tpdf_importImage(d, file.c_str(), 0, x, 0, 0, &width, &height, &xscale, &yscale, 1);
        EXPECT_EQ(width, w) << "a refused import hands back the sizes as given";
        return rc;
    };
    const auto bigYear = withField(&tm::tm_year, INT_MAX), bigMonth = withField(&tm::tm_mon, INT_MAX),
               lowSecond = withField(&tm::tm_sec, INT_MIN);
    struct Row {
        const char* what;
        std::function<bool(PdfDoc*)> refused;
    };
    const Row rows[] = {
        // Numbers beyond what readers take, given or computed.
        {"note rectangle 1e20", [](PdfDoc* d) { return tpdf_textNote(d, 0, 0, 1e20f, 9, "t", "c", nullptr) == -1; }},
        {"web link rectangle -3e9", [](PdfDoc* d) { return tpdf_webLink(d, -3e9f, 0, 9, 9, "x", nullptr) == -1; }},
        {"page link rectangle 2^31", [](PdfDoc* d) { return tpdf_pageLink(d, 0, 0, 2147483648.0f, 9, 1, "/Fit", nullptr) == -1; }},
        {"note rectangle through the domain", [](PdfDoc* d) { return tpdf_textNoteDomain(d, 0, 0, 1e37f, 1, "t", "c", nullptr) == -1; }},
        {"link colour FLT_MAX", [&](PdfDoc* d) { return tpdf_webLink(d, 0, 0, 9, 9, "x", &hugeColour) == -1; }},
        {"outline /XYZ 1e20", [](PdfDoc* d) { return tpdf_addOutline(d, nullptr, 0, 1, 1, "o", 1, 1e20f, 0, 1, 0) == nullptr; }},
        {"outline /FitR -1e10", [](PdfDoc* d) { return tpdf_addOutline(d, nullptr, 0, 1, 1, "o", 5, 0, 0, 9, -1e10f) == nullptr; }},
        {"outline /XYZ zoom FLT_MAX", [](PdfDoc* d) { return tpdf_addOutline(d, nullptr, 0, 1, 1, "o", 1, 0, 0, kHuge, 0) == nullptr; }},
        {"page duration FLT_MAX", [](PdfDoc* d) { tpdf_setPageDuration(d, kHuge); return true; }},
        {"image scale 1e38", [&](PdfDoc* d) { return place(d, picture, 0, 0, 1e38f) == -1; }},
        {"image width FLT_MAX", [&](PdfDoc* d) { return place(d, picture, 0, kHuge, 0) == -1; }},
        {"image place through the domain", [&](PdfDoc* d) { return place(d, picture, 5e36f, 0, 0) == -1; }},
        {"line width FLT_MAX", [](PdfDoc* d) { tpdf_lineWidth(d, kHuge); return true; }},
        {"rectangle FLT_MAX", [](PdfDoc* d) { tpdf_pointRect(d, 0, 0, kHuge, 1); return true; }},
        {"fast circle 3e38", [](PdfDoc* d) { tpdf_pointCircleFast(d, 0, 0, 3e38f); return true; }},
        {"circle 2e38 off centre", [](PdfDoc* d) { tpdf_pointCircle(d, 2e38f, 0, 2e38f); return true; }},
        {"arc 3e38", [](PdfDoc* d) { tpdf_pointArc(d, 0, 0, 3e38f, 0, 90, 1); return true; }},
        {"arc segment near a half turn", [](PdfDoc* d) { tpdf_arcSegment(d, 0, 0, 1e36f, 0, 179.9999f, 1, 1); return true; }},
        {"rotated rectangle 3e38", [](PdfDoc* d) { tpdf_pointRotatedRect(d, 0, 0, 3e38f, 3e38f, 45); return true; }},
        {"axis place beyond readers", [](PdfDoc* d) {
             PdfPlotDomain* domain = tpdf_createPlotDomain(1e38f, 72, 100, 100, 0, 1, 0, 1, 0, 0, 0);
             PdfPlotDomain* previous = tpdf_setPlotDomain(d, domain);
             PdfAxis* axis = tpdf_createAxis(0, 100, 0, 0, 1);
             tpdf_attachAxis(axis, domain, 3e38f, 0); // each is a number, their sum is not
             const bool refused = tpdf_drawAxis(axis) == -1;
             tpdf_freeAxis(axis);
             tpdf_setPlotDomain(d, previous);
             tpdf_freePlotDomain(domain);
             return refused; }},
        // Page boxes.
        {"box that closes the array", [](PdfDoc* d) { return tpdf_pageInit(d, 2, 0, "0 0 612 792] /X (", "0 0 612 792") == -1; }},
        {"box of NaNs", [](PdfDoc* d) { return tpdf_pageInit(d, 2, 0, "nan nan nan nan", "nan nan nan nan") == -1; }},
        {"box of inf", [](PdfDoc* d) { return tpdf_pageInit(d, 2, 0, "0 0 inf 1", "0 0 612 792") == -1; }},
        {"box of words", [](PdfDoc* d) { return tpdf_pageInit(d, 2, 0, "abc", "abc") == -1; }},
        {"empty box", [](PdfDoc* d) { return tpdf_pageInit(d, 2, 0, "", "") == -1; }},
        {"box of three", [](PdfDoc* d) { return tpdf_pageInit(d, 2, 0, "0 0 612", "0 0 612") == -1; }},
        {"box of five", [](PdfDoc* d) { return tpdf_pageInit(d, 2, 0, "0 0 612 792 1", "0 0 612 792") == -1; }},
        {"box of 10 KB", [&](PdfDoc* d) { return tpdf_pageInit(d, 2, 0, longBox.c_str(), longBox.c_str()) == -1; }},
        {"box in exponent form", [](PdfDoc* d) { return tpdf_pageInit(d, 2, 0, "0 0 6.12e2 792", "0 0 612 792") == -1; }},
        {"box with a comma", [](PdfDoc* d) { return tpdf_pageInit(d, 2, 0, "0 0 612,5 792", "0 0 612 792") == -1; }},
        {"box beyond 32 bits", [](PdfDoc* d) { return tpdf_pageInit(d, 2, 0, "0 0 612 99999999999", "0 0 612 792") == -1; }},
        {"crop box only bad", [](PdfDoc* d) { return tpdf_pageInit(d, 2, 0, "0 0 612 792", "0 0 612 792 /X") == -1; }},
        // Raw texts readers would not take as their objects.
        {"border beyond 32 bits", [&](PdfDoc* d) { return tpdf_webLink(d, 0, 0, 9, 9, "x", &longBorder) == -1; }},
        {"dash beyond 32 bits", [&](PdfDoc* d) { return tpdf_webLink(d, 0, 0, 9, 9, "x", &hugeDash) == -1; }},
        {"style name with #00", [&](PdfDoc* d) { return tpdf_webLink(d, 0, 0, 9, 9, "x", &nulStyle) == -1; }},
        {"style key twice", [&](PdfDoc* d) { return tpdf_webLink(d, 0, 0, 9, 9, "x", &twiceStyle) == -1; }},
        {"reference beyond 32 bits", [](PdfDoc* d) { return tpdf_actionLink(d, 0, 0, 9, 9, "/S /GoTo /D [1 99999999999 R /Fit]", nullptr) == -1; }},
        {"action name with #00", [](PdfDoc* d) { return tpdf_actionLink(d, 0, 0, 9, 9, "/S /A#00", nullptr) == -1; }},
        {"action key twice", [](PdfDoc* d) { return tpdf_actionLink(d, 0, 0, 9, 9, "/S /URI /URI (a) /S /GoTo", nullptr) == -1; }},
        {"empty action", [](PdfDoc* d) { return tpdf_actionLink(d, 0, 0, 9, 9, "", nullptr) == -1; }},
        {"no action", [](PdfDoc* d) { return tpdf_actionLink(d, 0, 0, 9, 9, nullptr, nullptr) == -1; }},
        {"empty outline action", [](PdfDoc* d) { return tpdf_addOutlineAction(d, nullptr, 0, 1, "", "o") == nullptr; }},
        {"destination 1 2", [](PdfDoc* d) { return tpdf_pageLink(d, 0, 0, 9, 9, 1, "1 2", nullptr) == -1; }},
        {"destination /S", [](PdfDoc* d) { return tpdf_pageLink(d, 0, 0, 9, 9, 1, "/S", nullptr) == -1; }},
        {"destination [0 0 1]", [](PdfDoc* d) { return tpdf_pageLink(d, 0, 0, 9, 9, 1, "[0 0 1]", nullptr) == -1; }},
        {"empty destination", [](PdfDoc* d) { return tpdf_pageLink(d, 0, 0, 9, 9, 1, "", nullptr) == -1; }},
        {"no destination", [](PdfDoc* d) { return tpdf_pageLink(d, 0, 0, 9, 9, 1, nullptr, nullptr) == -1; }},
        {"link to page 0", [](PdfDoc* d) { return tpdf_pageLink(d, 0, 0, 9, 9, 0, "/Fit", nullptr) == -1; }},
        {"link beyond the last page", [](PdfDoc* d) { return tpdf_pageLink(d, 0, 0, 9, 9, 121, "/Fit", nullptr) == -1; }},
        {"dash pattern that ends the operator", [](PdfDoc* d) { tpdf_dashPattern(d, "[2 3] 0 d BT (x) Tj ET"); return true; }},
        {"dash pattern of zeros", [](PdfDoc* d) { tpdf_dashPattern(d, "[0 0] 0"); return true; }},
        {"dash pattern beyond 32 bits", [](PdfDoc* d) { tpdf_dashPattern(d, "[2 3] 99999999999"); return true; }},
        {"dash pattern without a phase", [](PdfDoc* d) { tpdf_dashPattern(d, "[2 3]"); return true; }},
        // JPEG headers readers could not decode.
        {"JPEG of precision 0", [&](PdfDoc* d) { return place(d, precision0, 0, 0, 0) == -3; }},
        {"JPEG of precision 12", [&](PdfDoc* d) { return place(d, precision12, 0, 0, 0) == -3; }},
        // Dates out of range.
        {"creation date month INT_MAX", [&](PdfDoc* d) { tpdf_setCreationTime(d, &bigMonth); return true; }},
        {"creation date year INT_MAX", [&](PdfDoc* d) { tpdf_setCreationTime(d, &bigYear); return true; }},
        {"creation date year 10000", [](PdfDoc* d) { const struct tm t = date(10000, 1, 1); tpdf_setCreationTime(d, &t); return true; }},
        {"creation date 31 February", [](PdfDoc* d) { const struct tm t = date(2023, 2, 29); tpdf_setCreationTime(d, &t); return true; }},
        {"creation date hour 24", [](PdfDoc* d) { const struct tm t = withField(&tm::tm_hour, 24); tpdf_setCreationTime(d, &t); return true; }},
        {"time axis year INT_MAX", [&](PdfDoc*) { const struct tm s = date(2000, 1, 1); return tpdf_createTimeAxis(0, 100, 2, &s, &bigYear) == nullptr; }},
        {"time domain second INT_MIN", [&](PdfDoc*) { const struct tm e = date(2000, 1, 1);
             return tpdf_createTimeDomain(0, 0, 9, 9, &lowSecond, &e, 0, 1, 2, 0, 0) == nullptr; }},
        {"time difference year INT_MAX", [&](PdfDoc*) { struct tm a = date(2000, 1, 1), b = bigYear;
             return tpdf_timeDifference(&a, &b) == 0.0f && b.tm_year == INT_MAX; }},
        {"time step from year INT_MAX", [&](PdfDoc*) { struct tm a = date(2000, 1, 1), b = bigYear;
             return tpdf_timeStep(&a, &b, 5, 10) == 0.0f && b.tm_year == INT_MAX; }},
        {"time step of INT_MAX years", [](PdfDoc*) { struct tm a = date(2000, 1, 1), b = a;
             return tpdf_timeStep(&a, &b, 5, INT_MAX) == 0.0f && b.tm_year == 100; }},
        {"time label of month INT_MAX", [&](PdfDoc* d) {
             const struct tm s = date(2000, 1, 1), e = date(2000, 3, 1);
             PdfAxis* axis = tpdf_createTimeAxis(0, 100, 2, &s, &e);
             struct tm t = bigMonth;
             tpdf_drawTimeLabel(d, axis, 1, &t, 3, 10);
             tpdf_freeAxis(axis);
             return true; }},
    };
    const std::string without = document(nullptr);
    expectReadersTakeIt(without, "the file without a hostile call");
    std::set<std::string> checked{without};
    // Each row runs twice: as it stands, and with a handler that draws while the call reports.
    for (const Row& row : rows)
        for (const bool drawing : {false, true}) {
            const std::string what = std::string(row.what) + (drawing ? ", a handler drawing" : "");
            ReportLog log;
            bool refused = false;
            const std::string with = document([&](PdfDoc* d) {
                log.watch(d);
                if (drawing) whileHandlerDraws(d, [&] { refused = row.refused(d); });
                else refused = row.refused(d);
            });
            EXPECT_TRUE(refused) << what;
            EXPECT_FALSE(log.lines().empty()) << what << ": a refusal is reported";
            for (const std::string& line : log.lines()) EXPECT_EQ(line.rfind("1|", 0), 0u) << what << ": " << line;
            EXPECT_EQ(with, without) << what;
            if (checked.insert(with).second) expectReadersTakeIt(with, what);
        }
}

TEST(HostileValues, ValuesAtTheLimitsAreWrittenAsReadersTakeThem) {
    Doc doc = startedDocument();
    PdfDoc* d = doc.get();
    ReportLog log(d);
    ASSERT_EQ(tpdf_pageInit(d, 1, 0, " 0  0 612.5 792.25 ", "-0.00001 0 612.5 792.25"), 0);
    EXPECT_EQ(tpdf_textNote(d, -2147483648.0f, 0, 2147483520.0f, 9, "t", "c", nullptr), 0);
    EXPECT_NE(tpdf_addOutline(d, nullptr, 0, 1, 1, "o", 5, -2147483648.0f, 0, 2147483520.0f, 9), nullptr);
    EXPECT_NE(tpdf_addOutline(d, nullptr, 0, 1, 1, "z", 1, 0, 792, 3.3e38f, 0), nullptr);
    tpdf_lineWidth(d, 3.3e38f);
    EXPECT_TRUE(log.lines().empty()) << log.lines().front();
    ASSERT_EQ(tpdf_finalizeAll(d), 0);
    const std::string pdf = outputOf(d);
    EXPECT_NE(pdf.find("/MediaBox [0 0 612.5 792.25]\n/CropBox [0 0 612.5 792.25]\n"), std::string::npos)
        << "boxes in the library's own form";
    EXPECT_NE(pdf.find("/Rect [-2147483648 0 2147483520 9]\n"), std::string::npos);
    EXPECT_NE(pdf.find("/FitR -2147483648 0 2147483520 9]"), std::string::npos);
    EXPECT_NE(pdf.find("/XYZ 0 792 3299999"), std::string::npos);
    expectReadersTakeIt(pdf, "values at the limits");
}

TEST(HostileValues, DestinationTextsGoThroughTheNumberGate) {
    ReportLog log;
    char* text = tpdf_destinationText(3, 1e20f, 0, 0, 0);
    EXPECT_EQ(text, nullptr);
    EXPECT_TRUE(log.contains("1|TarvexPDF|tpdf_destinationText refused a number beyond what PDF readers take"));
    char* fit = tpdf_destinationText(9, 2147483520.0f, 0, 0, 0);
    ASSERT_NE(fit, nullptr);
    EXPECT_STREQ(fit, "/XYZ null 2147483520 null");
    std::free(fit);
}

TEST(HostileValues, ATimeAxisOverAHundredMillionYearsDrawsAtOnce) {
    // Before, the difference walked every year for each tick: 10^6 years took 48 s and 10^8
    // never ended. An axis gets all the ticks of its table or, beyond 100,000 of them, none:
    // 10^6 years draws its major ticks every hundred years, 10^8 years only its line.
    struct tm start = date(2000, 1, 1), end = start;
    end.tm_year += 100000000;
    EXPECT_FLOAT_EQ(tpdf_timeDifference(&start, &end), 36524250000.0f) << "365.2425 days a year";
    struct tm later = date(2001, 1, 1), earlier = date(2000, 1, 1);
    EXPECT_FLOAT_EQ(tpdf_timeDifference(&later, &earlier), -366.0f);

    for (const int years : {1000000, 100000000}) {
        Doc doc = startedDocument();
        PdfDoc* d = doc.get();
        tpdf_pageInit(d, 1, 0, "0 0 612 792", "0 0 612 792");
        PdfPlotDomain* domain = tpdf_createPlotDomain(72, 72, 400, 300, 0, 1, 0, 1, 0, 0, 0);
        tpdf_setPlotDomain(d, domain);
        end = start;
        end.tm_year += years;
        PdfAxis* axis = tpdf_createTimeAxis(0, 400, 2, &start, &end);
        tpdf_attachAxis(axis, domain, 0, 0);
        const auto began = std::chrono::steady_clock::now();
        EXPECT_EQ(tpdf_drawAxis(axis), 0);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        tpdf_freeAxis(axis);
        tpdf_finalizeAll(d);
        const std::string content = contentStream(outputOf(d), 6);
        EXPECT_LT(seconds, years == 100000000 ? 1.0 : 10.0) << "milliseconds of work";
        EXPECT_EQ(countOf(content, " 5.000 l\n"), 0) << "a minor tick every ten years is too many";
        const int major = countOf(content, " 10.000 l\n");
        if (years == 100000000) {
            EXPECT_EQ(major, 0);
            EXPECT_EQ(countOf(content, " l\n"), 1) << "the line";
        } else {
            EXPECT_GE(major, 10001) << "a major tick every hundred years";
            EXPECT_LE(major, 10002);
        }
        tpdf_freePlotDomain(domain);
    }
}

} // namespace
