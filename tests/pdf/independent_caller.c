/* A program apart from the library's own tests: it knows only tpdf.h, and makes the calls that
 * once gave invalid files (numbers that are not finite, malformed raw texts, a long border, a
 * full font table) among ordinary text, notes, links and outline items.
 * Usage: pdf_independent_caller OUT.pdf. Exit 0 when every call answered as documented and the
 * files were saved (OUT.pdf, and OUT.pdf-<name>.pdf for the sequences of their own). */
#include "tpdf.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

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

int main(int argc, char** argv) {
    const PdfDocLimits limits = {10, 2, -1, -1, 0};
    PdfDoc* d = NULL;
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUT.pdf\n", argv[0]);
        return 2;
    }
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
    tpdf_pageInit(d, 2, 0, "0 0 612 792", "0 0 612 792");
    tpdf_beginText(d, 0);
    expect(tpdf_setFont(d, "Helvetica", "WinAnsiEncoding", 12) == 0, "Helvetica on page 2");
    tpdf_textAt(d, 72, 700, 0, "Page two");
    tpdf_endText(d);
    outlines(d);
    expect(tpdf_finalizeAll(d) == 0, "finalise");
    expect(tpdf_savePDFmemoryStreamToFile(d, argv[1]) == 0, "save");
    tpdf_close(d);
    stateSequences(argv[1]);
    return failures == 0 ? 0 : 1;
}
