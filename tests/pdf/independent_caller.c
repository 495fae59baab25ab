/* A program apart from the library's own tests: it knows only tpdf.h, and makes the calls that
 * once gave invalid files (numbers that are not finite, malformed raw texts, a long border, a
 * full font table) among ordinary text, notes, links and outline items.
 * Usage: pdf_independent_caller OUT.pdf. Exit 0 when every call answered as documented and the
 * files were saved (OUT.pdf, and OUT.pdf-<name>.pdf for the sequences of their own). */
#include "tpdf.h"

#include <float.h>
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

static int failures = 0;

static void expect(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "unexpected: %s\n", what);
        ++failures;
    }
}

static void quiet(PdfDoc* doc, int level, const char* module, const char* format, va_list args) {
    (void)doc, (void)level, (void)module, (void)format, (void)args;
}

static void text(PdfDoc* d) {
    tpdf_beginText(d, 0);
    expect(tpdf_setFont(d, "Helvetica", "WinAnsiEncoding", 14) == 0, "Helvetica");
    tpdf_textAt(d, 72, 700, 0, "Independent caller: first line");
    expect(tpdf_setFont(d, "Helvetica", "WinAnsiEncoding", NAN) == 3, "NaN font size");
    tpdf_wordSpacing(d, INFINITY);
    tpdf_charSpacing(d, NAN);
    tpdf_horizScaling(d, -INFINITY);
    tpdf_textMatrix(d, NAN, 0, 0, 1, 72, 680);
    tpdf_textAt(d, NAN, 680, 0, "never shown");
    tpdf_textAt(d, 72, 680, 0, "Second line after refusals");
    /* The table holds two entries: a third font is refused, an entry already there is not. */
    expect(tpdf_setFont(d, "Times-Roman", NULL, 12) == 0, "Times-Roman");
    expect(tpdf_setFont(d, "Courier", NULL, 12) == 1, "full table");
    expect(tpdf_setFont(d, "NoSuchFont", NULL, 12) == 0, "substituted Times-Roman");
    expect(tpdf_setFont(d, "Times-Roman", "An-Encoding-Name-Far-Longer-Than-Any-Real-One-Sixty-Three-Chars-Or-More",
                        12) == 2,
           "long encoding name");
    tpdf_textAt(d, 72, 660, 0, "Third line in Times");
    tpdf_endText(d);
}

static void annotations(PdfDoc* d) {
    static char longBorder[12000];
    size_t n = 0;
    PdfAnnotOptions nanColour = {0, NULL, NULL, NAN, 0, 0};
    PdfAnnotOptions empty = {0, "", NULL, 0, 0, 1};
    PdfAnnotOptions two = {0, "1 2", NULL, 0, 0, 1};
    PdfAnnotOptions longOne = {0, NULL, NULL, 0, 0, 1};
    PdfAnnotOptions styled = {0, NULL, "/W 2 /S /D /D [3 2]", 1, 0, 0};
    expect(tpdf_textNote(d, 72, 600, 200, 640, "Note", "A normal note", NULL) == 0, "note");
    expect(tpdf_textNote(d, NAN, 0, INFINITY, 9, "t", "c", NULL) == -1, "NaN rectangle");
    expect(tpdf_textNote(d, 0, 0, 9, 9, "t", "c", &nanColour) == -1, "NaN colour");
    expect(tpdf_webLink(d, 72, 560, 200, 580, "https://example.com/", NULL) == 0, "web link");
    expect(tpdf_webLink(d, 0, 0, 9, 9, "x", &empty) == -1, "empty border");
    expect(tpdf_webLink(d, 0, 0, 9, 9, "x", &two) == -1, "border of two values");
    expect(tpdf_actionLink(d, 0, 0, 9, 9, "/S", NULL) == -1, "action /S");
    expect(tpdf_actionLink(d, 72, 520, 200, 540, "/S /Named /N /NextPage", NULL) == 0, "action link");
    expect(tpdf_pageLink(d, 72, 480, 200, 500, 2, "/XYZ 0 792 1", &styled) == 0, "page link");
    memcpy(longBorder, "[0 0 1 [", 8);
    for (n = 8; n < sizeof longBorder - 8; n += 4) memcpy(longBorder + n, "3 2 ", 4);
    memcpy(longBorder + n, "]]", 3);
    longOne.border = longBorder;
    expect(tpdf_webLink(d, 72, 440, 200, 460, "https://example.com/long", &longOne) == 0, "long border");
    tpdf_setPageDuration(d, INFINITY);
}

static void outlines(PdfDoc* d) {
    PdfOutline* top = tpdf_addOutline(d, NULL, 0, 1, 1, "First page", 1, 0, 792, 1, 0);
    expect(top != NULL, "outline");
    expect(tpdf_addOutline(d, top, 1, 1, 2, "bad", 1, NAN, INFINITY, NAN, 0) == NULL, "NaN outline");
    expect(tpdf_addOutline(d, top, 1, 1, 2, "Second page", 2, 0, 0, 0, 0) != NULL, "child outline");
    expect(tpdf_addOutlineAction(d, top, 0, 1, "/S", "bad action") == NULL, "outline action /S");
    expect(tpdf_addOutlineAction(d, top, 0, 1, "/S /Named /N /LastPage", "Last page") != NULL, "outline action");
}

/* ---- State and life cycle: calls after a writer freed a page's content, out of order,
 * before a page or after the end, frees while pages use what they free, and device files.
 * Each sequence builds a document of its own, saved as OUT-<name>.pdf. */

static const char* outBase = NULL;

static PdfDoc* newDocument(void) {
    PdfDoc* d = tpdf_open(0, NULL);
    tpdf_setErrorHandler(d, quiet);
    return d;
}

static void finishAs(PdfDoc* d, const char* name) {
    char path[4096];
    snprintf(path, sizeof path, "%s-%s.pdf", outBase, name);
    expect(tpdf_finalizeAll(d) == 0, name);
    expect(tpdf_savePDFmemoryStreamToFile(d, path) == 0, path);
    tpdf_close(d);
}

static void page(PdfDoc* d, int n) { tpdf_pageInit(d, n, 0, "0 0 300 300", "0 0 300 300"); }

static void drawingAfterWriters(void) {
    PdfDoc* d = newDocument();
    tpdf_init(d);
    page(d, 1);
    tpdf_pointRect(d, 10, 10, 50, 50);
    tpdf_writeMemContentStream(d, 1);
    tpdf_fillGray(d, 0.5f);
    tpdf_pointRect(d, 10, 10, 50, 50);
    tpdf_fillPath(d);
    finishAs(d, "memory-writer");

    d = newDocument();
    tpdf_setContentInMemory(d, 0);
    tpdf_init(d);
    page(d, 1);
    tpdf_pointRect(d, 10, 10, 50, 50);
    tpdf_writeContentStream(d, 1);
    tpdf_fillGray(d, 0.5f);
    finishAs(d, "file-writer");
}

static void fontsOutsidePages(void) {
    PdfDoc* d = newDocument();
    tpdf_init(d);
    expect(tpdf_setFont(d, "Helvetica", NULL, 12) == 4, "font before any page");
    page(d, 1);
    tpdf_beginText(d, 0);
    tpdf_showText(d, "no font chosen");
    expect(tpdf_setFont(d, "Helvetica", NULL, 12) == 0, "font on the page");
    tpdf_textAt(d, 20, 200, 0, "State sequences");
    tpdf_freeFonts(d);
    expect(tpdf_fontCount(d) == 1, "fonts kept while a page uses them");
    tpdf_charSpacing(d, 3e38f);
    tpdf_textAligned(d, 20, 20, 0, 2, "WWW");
    tpdf_charSpacing(d, 0);
    tpdf_endText(d);
    expect(tpdf_textNoteFromFile(d, 0, 0, 9, 9, "t", "/dev/zero", NULL) == -1, "note from /dev/zero");
    tpdf_setContentInMemory(d, 0);
    page(d, 2);
    tpdf_strokeGray(d, 0.5f);
    expect(tpdf_finalizeAll(d) == 0, "finalise");
    expect(tpdf_setFont(d, "Helvetica", NULL, 12) == 4, "font after finalising");
    expect(tpdf_addOutline(d, NULL, 0, 1, 1, "late", 2, 0, 0, 0, 0) == NULL, "outline after finalising");
    expect(tpdf_setOutputFileName(d, "late.pdf") == -1, "output name after finalising");
    tpdf_setTitle(d, "late");
    {
        char path[4096];
        snprintf(path, sizeof path, "%s-%s.pdf", outBase, "fonts");
        expect(tpdf_savePDFmemoryStreamToFile(d, path) == 0, path);
    }
    tpdf_close(d);
}

static void domainsAndAxes(void) {
    PdfDoc* d = newDocument();
    PdfPlotDomain* domain = tpdf_createPlotDomain(50, 50, 200, 200, 0, 10, 0, 10, 0, 0, 0);
    PdfAxis* axis = tpdf_createAxis(0, 200, 0, 0, 10);
    tpdf_init(d);
    page(d, 1);
    tpdf_setPlotDomain(d, domain);
    tpdf_fillDomainGray(domain, NAN);
    tpdf_fillDomainRgb(domain, 0, INFINITY, 0);
    tpdf_fillDomainGray(domain, 0.9f);
    tpdf_drawTick(d, axis, 10, NAN);
    tpdf_attachAxis(axis, domain, 0, 0);
    expect(tpdf_drawAxis(axis) == 0, "axis");
    tpdf_freeAxis(axis);
    expect(tpdf_axisPosition(d, 5) == 0.0f, "no axis after freeing it");
    tpdf_freePlotDomain(domain);
    tpdf_pointMove(d, tpdf_domainX(d, 1), tpdf_domainY(d, 1));
    tpdf_pointLine(d, 100, 100);
    tpdf_strokePath(d);
    finishAs(d, "domains");
}

static void stateSequences(const char* out) {
    outBase = out;
    drawingAfterWriters();
    fontsOutsidePages();
    domainsAndAxes();
}

/* ---- Numbers beyond readers' limits, page boxes, raw texts, JPEG headers and dates ---------- */

/* A 2 x 2 grey JPEG; byte 93 is the sample precision of its frame header. */
static const unsigned char greyJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x10, 0x0b, 0x0c, 0x0e, 0x0c, 0x0a, 0x10,
    0x0e, 0x0d, 0x0e, 0x12, 0x11, 0x10, 0x13, 0x18, 0x28, 0x1a, 0x18, 0x16, 0x16, 0x18, 0x31, 0x23,
    0x25, 0x1d, 0x28, 0x3a, 0x33, 0x3d, 0x3c, 0x39, 0x33, 0x38, 0x37, 0x40, 0x48, 0x5c, 0x4e, 0x40,
    0x44, 0x57, 0x45, 0x37, 0x38, 0x50, 0x6d, 0x51, 0x57, 0x5f, 0x62, 0x67, 0x68, 0x67, 0x3e, 0x4d,
    0x71, 0x79, 0x70, 0x64, 0x78, 0x5c, 0x65, 0x67, 0x63, 0xff, 0xc0, 0x00, 0x0b, 0x08, 0x00, 0x02,
    0x00, 0x02, 0x01, 0x01, 0x11, 0x00, 0xff, 0xc4, 0x00, 0x1f, 0x00, 0x00, 0x01, 0x05, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04,
    0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0xff, 0xc4, 0x00, 0xb5, 0x10, 0x00, 0x02, 0x01, 0x03,
    0x03, 0x02, 0x04, 0x03, 0x05, 0x05, 0x04, 0x04, 0x00, 0x00, 0x01, 0x7d, 0x01, 0x02, 0x03, 0x00,
    0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71, 0x14, 0x32,
    0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
    0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35,
    0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55,
    0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75,
    0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94,
    0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2,
    0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9,
    0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6,
    0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa, 0xff, 0xda,
    0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3f, 0x00, 0xec, 0xed, 0xac, 0x2c, 0xc5, 0xb4, 0x40, 0x5a,
    0x40, 0x00, 0x41, 0xff, 0x00, 0x2c, 0xc7, 0xa7, 0xd2, 0xbf, 0xff, 0xd9,
};

static int writeJpeg(const char* name, unsigned char precision) {
    unsigned char bytes[sizeof greyJpeg];
    FILE* f = fopen(name, "wb");
    memcpy(bytes, greyJpeg, sizeof bytes);
    bytes[93] = precision;
    if (!f) return 0;
    fwrite(bytes, 1, sizeof bytes, f);
    return fclose(f) == 0;
}

static void hugeNumbers(PdfDoc* d) {
    PdfAnnotOptions hugeColour = {0, NULL, NULL, FLT_MAX, 0, 0};
    expect(tpdf_textNote(d, 0, 0, 1e20f, 9, "t", "c", NULL) == -1, "note rectangle 1e20");
    expect(tpdf_pageLink(d, 0, 0, 2147483648.0f, 9, 1, "/Fit", NULL) == -1, "link rectangle 2^31");
    expect(tpdf_textNoteDomain(d, 0, 0, 1e37f, 1, "t", "c", NULL) == -1, "rectangle through the domain");
    expect(tpdf_webLink(d, 0, 0, 9, 9, "x", &hugeColour) == -1, "colour FLT_MAX");
    expect(tpdf_webLink(d, -2147483648.0f, 0, 2147483520.0f, 9, "https://example.com/edge", NULL) == 0,
           "rectangle at the 32-bit limits");
    tpdf_setPageDuration(d, FLT_MAX);
    tpdf_lineWidth(d, FLT_MAX);
    tpdf_pointCircleFast(d, 0, 0, 3e38f);
    tpdf_pointArc(d, 0, 0, 3e38f, 0, 90, 1);
    tpdf_arcSegment(d, 0, 0, 1e36f, 0, 179.9999f, 1, 1);
    tpdf_pointRotatedRect(d, 0, 0, 3e38f, 3e38f, 45);
}

static void images(PdfDoc* d, const char* sound, const char* precision0) {
    /* Two pixels at a scale of 3e38 are 6e38 points wide: beyond every reader. */
    float width = 0, height = 0, xscale = 3e38f, yscale = 0;
    expect(writeJpeg(sound, 8) && writeJpeg(precision0, 0), "JPEG files written");
    expect(tpdf_importImage(d, sound, 0, 0, 0, 0, &width, &height, &xscale, &yscale, 1) == -1, "scale 3e38");
    expect(xscale == 3e38f && width == 0, "a refused import leaves the sizes");
    width = FLT_MAX, xscale = 0;
    expect(tpdf_importImage(d, sound, 0, 0, 0, 0, &width, &height, &xscale, &yscale, 1) == -1, "width FLT_MAX");
    expect(tpdf_importImage(d, precision0, 0, 1, 1, 0, NULL, NULL, NULL, NULL, 1) == -3, "JPEG of precision 0");
    width = 72, height = 72;
    expect(tpdf_importImage(d, sound, 0, 4, 1, 0, &width, &height, NULL, NULL, 1) == 0, "a sound JPEG");
}

static void boxes(PdfDoc* d) {
    static char longBox[10240];
    size_t n = 0;
    const char* bad[] = {"0 0 612 792] /X (", "nan nan nan nan", "abc", "", "0 0 612", "0 0 6.12e2 792",
                         "0 0 612 99999999999"};
    memcpy(longBox, "0 0 612 792", 11);
    for (n = 11; n + 2 < sizeof longBox; n += 2) memcpy(longBox + n, " 0", 2);
    longBox[n] = 0;
    for (n = 0; n < sizeof bad / sizeof bad[0]; ++n)
        expect(tpdf_pageInit(d, 3, 0, bad[n], bad[n]) == -1, bad[n]);
    expect(tpdf_pageInit(d, 3, 0, longBox, "0 0 612 792") == -1, "a 10 KB box");
    expect(tpdf_pageInit(d, 3, 0, " 0 0 612.5  792 ", "0 0 612.5 792") == 0, "a box with blanks and a half");
}

static void rawTexts(PdfDoc* d) {
    PdfAnnotOptions longNumber = {0, "[0 0 99999999999999999999]", NULL, 0, 0, 1};
    PdfAnnotOptions nulName = {0, NULL, "/W 1 /S /D#00", 0, 0, 1};
    const char* actions[] = {"", "/S /A#00", "/S /URI /URI (a) /S /GoTo", "/S /GoTo /D [1 99999999999 R /Fit]",
                             "/S /GoTo"};
    const char* destinations[] = {"1 2", "/S", "[0 0 1]", "", "/FitR 0 0 9"};
    size_t n = 0;
    expect(tpdf_webLink(d, 0, 0, 9, 9, "x", &longNumber) == -1, "border beyond 32 bits");
    expect(tpdf_webLink(d, 0, 0, 9, 9, "x", &nulName) == -1, "border style name with #00");
    for (n = 0; n < sizeof actions / sizeof actions[0]; ++n) {
        expect(tpdf_actionLink(d, 0, 0, 9, 9, actions[n], NULL) == -1, actions[n]);
        expect(tpdf_addOutlineAction(d, NULL, 0, 1, actions[n], "bad") == NULL, actions[n]);
    }
    for (n = 0; n < sizeof destinations / sizeof destinations[0]; ++n)
        expect(tpdf_pageLink(d, 0, 0, 9, 9, 1, destinations[n], NULL) == -1, destinations[n]);
    expect(tpdf_pageLink(d, 0, 0, 9, 9, 1, NULL, NULL) == -1, "no destination");
    expect(tpdf_pageLink(d, 0, 0, 9, 9, 11, "/Fit", NULL) == -1, "a page beyond the limit");
    expect(tpdf_actionLink(d, 72, 400, 200, 420, "/S /GoTo /D (chapter)", NULL) == 0, "named destination");
    expect(tpdf_pageLink(d, 72, 360, 200, 380, 1, "/XYZ null null null", NULL) == 0, "destination of nulls");
    expect(tpdf_addOutline(d, NULL, 0, 1, 1, "huge", 1, 1e20f, 0, 1, 0) == NULL, "outline value 1e20");
    expect(tpdf_destinationText(3, 1e20f, 0, 0, 0) == NULL, "destination text 1e20");
}

static struct tm calendarDate(int year, int month, int day) {
    struct tm t;
    memset(&t, 0, sizeof t);
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    return t;
}

static void dates(PdfDoc* d) {
    struct tm start = calendarDate(2000, 1, 1), end = start, big = start, running = start;
    big.tm_year = INT_MAX;
    tpdf_setCreationTime(d, &big);
    big = start;
    big.tm_mon = INT_MAX;
    tpdf_setCreationTime(d, &big);
    expect(tpdf_createTimeAxis(0, 100, 2, &start, &big) == NULL, "time axis month INT_MAX");
    big = start;
    big.tm_year = INT_MAX;
    expect(tpdf_timeDifference(&start, &big) == 0.0f, "time difference to year INT_MAX");
    expect(tpdf_timeStep(&start, &big, 5, 10) == 0.0f, "time step from year INT_MAX");
    expect(tpdf_timeStep(&start, &running, 5, INT_MAX) == 0.0f, "time step of INT_MAX years");
    end.tm_year += 100000000;
    expect(tpdf_timeDifference(&start, &end) == 36524250000.0f, "10^8 years in days");
}

/* A time axis over 10^8 years and one over 400 years, drawn on the current page. */
static void longTimeAxes(PdfDoc* d) {
    struct tm start = calendarDate(2000, 1, 1), end = start;
    PdfPlotDomain* domain = tpdf_createPlotDomain(72, 500, 400, 100, 0, 1, 0, 1, 0, 0, 0);
    PdfPlotDomain* previous = tpdf_setPlotDomain(d, domain);
    struct timespec before, after;
    int years = 0;
    for (years = 100000000; years >= 400; years /= 250000) {
        PdfAxis* axis = NULL;
        double seconds = 0;
        end.tm_year = start.tm_year + years;
        axis = tpdf_createTimeAxis(0, 400, 2, &start, &end);
        tpdf_setTimeAxisFontEncoded(axis, 1, 0, "Helvetica", 8, "WinAnsiEncoding");
        tpdf_attachAxis(axis, domain, 0, years > 400 ? 60 : 0);
        clock_gettime(CLOCK_MONOTONIC, &before);
        expect(tpdf_drawAxis(axis) == 0, "time axis drawn");
        clock_gettime(CLOCK_MONOTONIC, &after);
        seconds = (double)(after.tv_sec - before.tv_sec) + (double)(after.tv_nsec - before.tv_nsec) / 1e9;
        expect(seconds < 1.0, "a time axis draws in under a second");
        tpdf_freeAxis(axis);
    }
    tpdf_setPlotDomain(d, previous);
    tpdf_freePlotDomain(domain);
}

int main(int argc, char** argv) {
    const PdfDocLimits limits = {10, 2, -1, -1, 0};
    PdfDoc* d = NULL;
    char sound[4096], precision0[4096];
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUT.pdf\n", argv[0]);
        return 2;
    }
    snprintf(sound, sizeof sound, "%s.grey.jpg", argv[1]);
    snprintf(precision0, sizeof precision0, "%s.precision0.jpg", argv[1]);
    d = tpdf_open(0, &limits);
    tpdf_setErrorHandler(d, quiet);
    tpdf_init(d);
    tpdf_setFontDirectories(d, "/nonexistent", "/nonexistent");
    tpdf_setFontMapFile(d, "/nonexistent/fontmap.lst");
    tpdf_pageInit(d, 1, 0, "0 0 612 792", "0 0 612 792");
    text(d);
    annotations(d);
    tpdf_fillRgb(d, NAN, 0, 0);
    tpdf_pointCircle(d, 300, 300, INFINITY);
    tpdf_pointRect(d, 72, 300, 100, 50);
    tpdf_strokePath(d);
    hugeNumbers(d);
    images(d, sound, precision0);
    boxes(d);
    tpdf_setCurrentPage(d, 1);
    rawTexts(d);
    dates(d);
    tpdf_pageInit(d, 2, 0, "0 0 612 792", "0 0 612 792");
    tpdf_beginText(d, 0);
    expect(tpdf_setFont(d, "Helvetica", "WinAnsiEncoding", 12) == 0, "Helvetica on page 2");
    tpdf_textAt(d, 72, 700, 0, "Page two");
    tpdf_endText(d);
    longTimeAxes(d);
    outlines(d);
    expect(tpdf_finalizeAll(d) == 0, "finalise");
    expect(tpdf_savePDFmemoryStreamToFile(d, argv[1]) == 0, "save");
    tpdf_close(d);
    stateSequences(argv[1]);
    remove(sound);
    remove(precision0);
    return failures == 0 ? 0 : 1;
}
