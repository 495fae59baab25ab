/* A caller that knows only tpdf.h and hands the library what a careless or hostile program
 * would: action texts readers cannot follow, angles beyond the number limit, a CID font with an
 * encoding that is no CMap, records filled by hand with counts, pointers and names that do not
 * hold, and an empty page in file mode. Every such call must be refused with a report, and a
 * document with the refused calls must be byte for byte the document without them.
 * Usage: pdf_hostile_records_caller OUT-BASE. Writes OUT-BASE-with.pdf, OUT-BASE-without.pdf and
 * OUT-BASE-file-mode.pdf; exit 0 when every call answered as expected. */
#include "tpdf.h"

#include <float.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;
static int reports = 0;

static void expect(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "unexpected: %s\n", what);
        ++failures;
    }
}

static void countReport(PdfDoc* doc, int level, const char* module, const char* format, va_list args) {
    (void)doc, (void)level, (void)module, (void)format, (void)args;
    ++reports;
}

static void countGlobalReport(int level, const char* module, const char* format, va_list args) {
    (void)level, (void)module, (void)format, (void)args;
    ++reports;
}

/* A refused call: its answer is the refusal, and it reported. */
static int before = 0;
static void start(void) { before = reports; }
static void refused(int answered, const char* what) {
    char line[512];
    snprintf(line, sizeof line, "%s (%s)", what, answered ? "answer" : "wrong answer");
    expect(answered, line);
    snprintf(line, sizeof line, "%s (no report)", what);
    expect(reports > before, line);
}

/* ---- Calls on a document: the same program with and without them ------------------------ */

static const char* const unfollowableActions[] = {
    "/S /Named /N /NextPage /Next 99 0 R",
    "/S /Named /N /NextPage /Next 1 0 R",
    "/S /Named /N /NextPage /Next [5 0 R 1 0 R]",
    "/S /Named /N /NextPage /Next [<< /S /Named /N /FirstPage >> 3 0 R]",
    "/S /Named /N /NextPage /Next << /S /URI /URI 5 >>",
    "/S /URI",
    "/S /URI /URI 5",
    "/S /URI /URI /x",
    "/S /Named",
    "/S /Named /N (NextPage)",
    "/S /GoTo /D 5",
    "/S /GoToR /D [0 /Fit]",
    "/S /Launch /Win << /F (x.exe) >>",
    "/S /JavaScript /JS 5 0 R",
    "/S /Unknown",
};

static void hostileCalls(PdfDoc* d) {
    size_t i = 0;
    for (i = 0; i < sizeof unfollowableActions / sizeof unfollowableActions[0]; ++i) {
        start();
        refused(tpdf_actionLink(d, 72, 600, 200, 620, unfollowableActions[i], NULL) == -1, unfollowableActions[i]);
        start();
        refused(tpdf_addOutlineAction(d, NULL, 0, 1, unfollowableActions[i], "lost") == NULL, unfollowableActions[i]);
    }
    start();
    tpdf_rotateDegrees(d, 3.402e38f);
    refused(1, "tpdf_rotateDegrees 3.402e38");
    start();
    tpdf_rotateText(d, FLT_MAX);
    refused(1, "tpdf_rotateText FLT_MAX");
    start();
    tpdf_skewText(d, FLT_MAX, 0);
    refused(1, "tpdf_skewText FLT_MAX 0");
    start();
    tpdf_skewText(d, 0, -FLT_MAX);
    refused(1, "tpdf_skewText 0 -FLT_MAX");
    start();
    tpdf_textAt(d, 72, 500, FLT_MAX, "lost");
    refused(1, "tpdf_textAt at an angle of FLT_MAX");
    start();
    tpdf_pointRotatedRect(d, 72, 72, 10, 10, -3.402e38f);
    refused(1, "tpdf_pointRotatedRect at an angle of -3.402e38");
    start();
    refused(tpdf_setFont(d, "HeiseiMin-W3", "WinAnsiEncoding", 9) == 2, "HeiseiMin-W3 WinAnsiEncoding");
    start();
    refused(tpdf_setFont(d, "STSong-Light", "UniJIS-UCS2-H", 9) == 2, "STSong-Light with a Japanese CMap");
}

static PdfDoc* document(int withHostileCalls) {
    struct tm when;
    PdfDoc* d = tpdf_open(0, NULL);
    memset(&when, 0, sizeof when);
    when.tm_year = 124, when.tm_mon = 2, when.tm_mday = 1, when.tm_hour = 12;
    tpdf_setErrorHandler(d, countReport);
    tpdf_setCreationTime(d, &when);
    tpdf_init(d);
    tpdf_pageInit(d, 1, 0, "0 0 612 792", "0 0 612 792");
    tpdf_beginText(d, 0);
    expect(tpdf_setFont(d, "Helvetica", "WinAnsiEncoding", 12) == 0, "Helvetica");
    tpdf_textAt(d, 72, 720, 0, "Hostile records caller");
    if (withHostileCalls) hostileCalls(d);
    tpdf_rotateText(d, 30);
    tpdf_skewText(d, 10, 0);
    expect(tpdf_setFont(d, "HeiseiMin-W3", "90ms-RKSJ-H", 12) == 0, "HeiseiMin-W3 90ms-RKSJ-H");
    tpdf_endText(d);
    tpdf_rotateDegrees(d, 15);
    tpdf_pointRect(d, 72, 72, 100, 50);
    tpdf_strokePath(d);
    expect(tpdf_actionLink(d, 72, 640, 200, 660, "/S /Named /N /NextPage /Next << /S /Named /N /FirstPage >>",
                           NULL) == 0,
           "an action with a /Next held in the text");
    expect(tpdf_actionLink(d, 72, 680, 200, 700, "/S /URI /URI (https://example.com/)", NULL) == 0, "a URI action");
    expect(tpdf_addOutlineAction(d, NULL, 0, 1, "/S /Named /N /LastPage /Next [<< /S /Named /N /FirstPage >>]",
                                 "Last, then first") != NULL,
           "an outline action with a /Next array");
    return d;
}

static int save(PdfDoc* d, const char* base, const char* name) {
    char path[4096];
    snprintf(path, sizeof path, "%s-%s.pdf", base, name);
    expect(tpdf_finalizeAll(d) == 0, name);
    return tpdf_savePDFmemoryStreamToFile(d, path) == 0;
}

static void sameProgramWithoutTheRefusedCalls(const char* base) {
    PdfDoc* with = document(1);
    PdfDoc* without = document(0);
    int withLength = 0, withoutLength = 0;
    const unsigned char* a = NULL;
    const unsigned char* b = NULL;
    expect(save(with, base, "with") && save(without, base, "without"), "both documents saved");
    a = tpdf_getOutputBuffer(with, &withLength);
    b = tpdf_getOutputBuffer(without, &withoutLength);
    expect(a && b && withLength == withoutLength && memcmp(a, b, (size_t)withLength) == 0,
           "refused calls leave the file as it is without them");
    tpdf_close(with);
    tpdf_close(without);
}

/* ---- Records filled by hand ----------------------------------------------------------------- */

static void memoryStreams(void) {
    PdfMemStream* s = tpdf_openMemoryStream();
    unsigned char* buffer = s->buffer;
    const int counts[] = {-1, INT_MIN, 1 << 30, 0};
    size_t i = 0;
    expect(tpdf_memPuts("abc", s) == 3, "a sound stream");
    for (i = 0; i < sizeof counts / sizeof counts[0]; ++i) {
        s->count = i < 3 ? counts[i] : s->bufSize;
        start();
        refused(tpdf_checkMemoryStream("caller", s) == -1, "a count outside the buffer");
        start();
        refused(tpdf_writeToMemoryStream(s, "x", 1) == -1, "a write with a count outside the buffer");
    }
    s->count = 3;
    s->buffer = NULL;
    start();
    refused(tpdf_checkMemoryStream("caller", s) == -1, "a stream without a buffer");
    start();
    refused(tpdf_memPutc('x', s) == -1, "a write to a stream without a buffer");
    s->buffer = buffer;
    expect(tpdf_checkMemoryStream("caller", s) == 0 && memcmp(s->buffer, "abc", 4) == 0, "the stream is left");
    tpdf_closeMemoryStream(s);
}

static void fileReaders(void) {
    long length = 7;
    PdfPfmHeader header;
    PdfPfmExtMetrics metrics;
    PdfImage image;
    start();
    refused(tpdf_readPfbSectionHeader(NULL, "x.pfb", 1, 1, &length) == 1 && length == 7, "a PFB section without a file");
    start();
    refused(tpdf_readPfbSectionHeader(NULL, NULL, 1, 1, NULL) == 1, "a PFB section without a file or a name");
    start();
    refused(tpdf_readPfmHeader(NULL, &header) == 0, "a PFM header without a file");
    start();
    refused(tpdf_readPfmExtMetrics(NULL, &metrics) == 0, "PFM metrics without a file");
    start();
    refused(tpdf_scanJpegHeader(NULL, &image) == -1, "a JPEG header without a file");
}

static PdfOutline item(int objectNumber, char* destination) {
    PdfOutline o;
    memset(&o, 0, sizeof o);
    o.objectNumber = objectNumber;
    o.targetPage = -1;
    o.destination = destination;
    return o;
}

static void outlineRecords(PdfDoc* d) {
    static char action[] = "/S /Named /N /NextPage";
    static char next99[] = "/S /Named /N /NextPage /Next 99 0 R";
    static char fit[] = "/Fit] /X [";
    PdfOutline o[6];
    int counter = INT_MAX;
    size_t i = 0;
    for (i = 0; i < 6; ++i) o[i] = item(7, action);
    o[0].destination = NULL;
    o[1].titleLength = 3;
    o[2].titleLength = -1;
    o[3].count = -2;
    o[4].destination = next99;
    o[5].destination = fit;
    o[5].targetPage = 1;
    for (i = 0; i < 6; ++i) {
        start();
        refused(tpdf_writeOutlineItem(d, &o[i]) == -1, "a hand-filled outline item");
    }
    start();
    refused(tpdf_writeOutlineItem(d, NULL) == -1, "no outline item");

    /* Numbering: the counter must not pass INT_MAX, and the links must make a tree. */
    o[0] = item(0, action);
    start();
    tpdf_numberOutlines(&counter, &o[0], &o[0]);
    refused(counter == INT_MAX && o[0].objectNumber == 0, "numbering from INT_MAX");
    counter = INT_MAX - 1;
    tpdf_numberOutlines(&counter, &o[0], &o[0]);
    expect(counter == INT_MAX && o[0].objectNumber == INT_MAX - 1, "numbering up to INT_MAX");
    counter = 0;
    start();
    tpdf_numberOutlines(&counter, &o[0], &o[0]);
    refused(counter == 0, "numbering from 0");
    start();
    tpdf_numberOutlines(NULL, &o[0], &o[0]);
    refused(1, "numbering without a counter");
    o[0] = item(0, action), o[1] = item(0, action);
    o[0].next = &o[1], o[1].next = &o[0];
    counter = 10;
    start();
    tpdf_numberOutlines(&counter, &o[0], &o[1]);
    refused(counter == 10, "siblings linked in a ring");
    o[0] = item(0, action), o[1] = item(0, action), o[2] = item(0, action);
    o[0].first = o[0].last = &o[1];
    o[1].parent = &o[2];
    o[2].parent = &o[1];
    start();
    tpdf_numberOutlines(&counter, &o[0], &o[0]);
    refused(counter == 10, "parents linked in a ring");
    start();
    refused(tpdf_writeOutlines(d, &o[0], &o[0]) == -1, "writing an outline whose parents make a ring");
}

static void fontRecords(PdfDoc* d) {
    PdfFontDescriptor descriptor;
    PdfFont font;
    PdfFontInfo info;
    memset(&descriptor, 0, sizeof descriptor);
    descriptor.objectNumber = 9;
    memset(descriptor.fontName, 'A', sizeof descriptor.fontName);
    start();
    refused(tpdf_writeFontDescriptor(d, &descriptor, 1) == -1, "a descriptor whose name does not end");
    start();
    refused(tpdf_writeFontDescriptor(d, NULL, 1) == -1, "no descriptor");

    memset(&font, 0, sizeof font);
    font.type = 3;
    font.descriptor = &descriptor;
    strcpy(font.baseFont, "HeiseiMin-W3");
    start();
    refused(tpdf_writeCIDFont(d, &font) == -1, "a CID font without system information");
    font.cid.systemInfo = "/Registry (Adobe) /Ordering (Japan1) /Supplement 2";
    font.cid.widths = "[ 1 95 500 ]";
    memset(font.baseFont, 'B', sizeof font.baseFont);
    start();
    refused(tpdf_writeCIDFont(d, &font) == -1, "a CID font whose base font name does not end");

    memset(&info, 0, sizeof info);
    info.outline = tpdf_openMemoryStream();
    tpdf_memPuts("abc", info.outline);
    info.length = 3, info.length1 = 3;
    info.outline->count = 1 << 30;
    start();
    refused(tpdf_writeFontFile(d, &info) == -1, "a font file whose outline count is beyond its buffer");
    info.outline->count = 3;
    info.length = 300;
    start();
    refused(tpdf_writeFontFile(d, &info) == -1, "a font file whose length is not its outline's");
    info.length = 3, info.length1 = -1, info.length2 = 4;
    start();
    refused(tpdf_writeFontFile(d, &info) == -1, "a font file with a negative section length");
    tpdf_closeMemoryStream(info.outline);
}

/* An axis the caller made itself: its texts are not the library's to read or free. */
static void axisRecords(PdfDoc* d) {
    PdfAxis axis;
    memset(&axis, 0, sizeof axis);
    axis.min = 0, axis.max = 10, axis.length = 100;
    start();
    refused(tpdf_drawAxis(&axis) == -1, "drawing an axis the caller made");
    start();
    tpdf_drawLinearLabels(d, &axis);
    refused(1, "labels of an axis the caller made");
    start();
    tpdf_setAxisTitle(&axis, "Title", "Helvetica", "WinAnsiEncoding", 9);
    refused(axis.title == NULL, "a title for an axis the caller made");
    start();
    tpdf_freeAxis(&axis);
    refused(1, "freeing an axis the caller made");
}

static void handFilledRecords(const char* base) {
    PdfDoc* d = tpdf_open(0, NULL);
    tpdf_setErrorHandler(d, countReport);
    tpdf_init(d);
    tpdf_pageInit(d, 1, 0, "0 0 300 300", "0 0 300 300");
    memoryStreams();
    fileReaders();
    outlineRecords(d);
    fontRecords(d);
    axisRecords(d);
    expect(save(d, base, "records"), "the document after the refused records");
    tpdf_close(d);
}

/* ---- File mode: an output file and page contents in temporary files ------------------------- */

static void emptyPageInFileMode(const char* base) {
    char path[4096];
    PdfDoc* d = tpdf_open(0, NULL);
    snprintf(path, sizeof path, "%s-file-mode.pdf", base);
    tpdf_setErrorHandler(d, countReport);
    expect(tpdf_setOutputFileName(d, path) == 0, "output file name");
    tpdf_setContentInMemory(d, 0);
    expect(tpdf_init(d) == 0, "file mode started");
    expect(tpdf_pageInit(d, 1, 0, "0 0 300 300", "0 0 300 300") == 0, "an empty page");
    expect(tpdf_pageInit(d, 2, 0, "0 0 300 300", "0 0 300 300") == 0, "a page with a line");
    tpdf_pointMove(d, 10, 10);
    tpdf_pointLine(d, 290, 290);
    tpdf_strokePath(d);
    start();
    expect(tpdf_finalizeAll(d) == 0 && reports == before, "file mode with an empty page");
    expect(tpdf_writeBytes(d, NULL, 0) == -1, "no bytes after the end");
    tpdf_close(d);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUT-BASE\n", argv[0]);
        return 2;
    }
    tpdf_setGlobalErrorHandler(countGlobalReport);
    sameProgramWithoutTheRefusedCalls(argv[1]);
    handFilledRecords(argv[1]);
    emptyPageInFileMode(argv[1]);
    return failures == 0 ? 0 : 1;
}
