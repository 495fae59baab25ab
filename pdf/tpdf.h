/* TarvexPDF: builds PDF documents in memory and writes them to a file in one piece.
 *
 * A flat C interface: every operation takes the document first. The library links only the
 * C and C++ runtimes and zlib. Numbers are always written with a "." whatever the locale, and
 * only within the limits PDF readers hold: integers within 32 bits, reals within +-3.4e38.
 *
 * No C++ exception leaves a call: one that fails (memory, a refused number, no page open for
 * drawing, any refusal) reports, answers its error and leaves the document as the same program
 * without the call would have left it: its page content, drawing state, font, image,
 * annotation and outline entries, file version and soundness, with whatever the caller's error
 * handler did to the document during the call. Once tpdf_finalizeAll has run, a call that
 * would change the file is refused with a report.
 *
 * Typical use (one picture per page):
 *   PdfDoc* doc = tpdf_open(0, NULL);
 *   tpdf_init(doc);
 *   tpdf_pageInit(doc, 1, 0, "0 0 640 480", "0 0 640 480");
 *   float w = 0, h = 0, xs = 0, ys = 0;
 *   tpdf_importImage(doc, "page1.jpg", 0, 0, 0, 0, &w, &h, &xs, &ys, 1);
 *   if (tpdf_finalizeAll(doc) == 0) tpdf_savePDFmemoryStreamToFile(doc, "out.pdf");
 *   tpdf_close(doc);
 */
#ifndef TARVEX_PDF_TPDF_H
#define TARVEX_PDF_TPDF_H

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Records ----------------------------------------------------------------------------- */

/* Table sizes of one document. A value <= 0 selects the process-wide default. */
typedef struct PdfDocLimits {
    int maxPages;
    int maxFonts;
    int maxImages;
    int maxAnnots;
    int maxObjects;
} PdfDocLimits;

typedef struct PdfDoc PdfDoc; /* opaque: made by tpdf_open, freed by tpdf_close */
typedef struct PdfFont PdfFont;
typedef struct PdfFontDescriptor PdfFontDescriptor;
typedef struct PdfFontInfo PdfFontInfo;
typedef struct PdfOutline PdfOutline;

#define TPDF_MEMSTREAM_MAGIC 0xA5B5CAFEu

/* A growable byte buffer; buffer[count] is always 0 and count + 1 <= bufSize. */
typedef struct PdfMemStream {
    uint32_t magic;
    unsigned char* buffer;
    int count;
    int bufSize;
} PdfMemStream;

/* One listed image file. Only JPEG files (type 0) are read. */
typedef struct PdfImage {
    int objectNumber;
    char* name; /* resource name "IMtpdf<index>", owned */
    int type;
    int imageMask;
    int invert;
    int sofCode; /* 0xC0 baseline, 0xC1..0xCF other coding processes */
    int tiffPage;
    int width;
    int height;
    int components;
    int bitsPerComponent;
    int fileSize;
    char* fileName; /* owned */
    void* data;     /* never used: images are read from their files at finalisation */
} PdfImage;

#define TPDF_DOMAIN_MAGIC 0xDADA3333u
#define TPDF_AXIS_MAGIC 0xAFAFAFAFu

/* Maps user coordinates (linear, logarithmic or time) onto a rectangle of the page. */
typedef struct PdfPlotDomain {
    uint32_t magic;
    PdfDoc* doc; /* set when the domain is made current */
    float x, y, width, height;
    float xmin, xmax, ymin, ymax;
    struct tm startTime, endTime; /* time domains: xmin 0, xmax the span in days */
    int xkind, ykind; /* 0 linear, 1 logarithmic; x of a time domain 2 */
    int reserved;
    int flags[2];
    char majorDash[32], minorDash[32];
    float majorMeshWidth, minorMeshWidth;
    float majorMeshColor[3], minorMeshColor[3];
    /* mesh settings: index 0 x axis, 1 y axis */
    float majorStart[2], minorStart[2], majorStep[2], minorStep[2];
} PdfPlotDomain;

/* An axis drawn along a plot domain. */
typedef struct PdfAxis {
    uint32_t magic;
    PdfPlotDomain* domain;
    float angle;
    int kind; /* 0 linear, 1 logarithmic, 2 time */
    float offsetX, offsetY;
    float length;
    float lineWidth;
    float min, max;
    struct tm startTime, endTime;
    int majorTicksOn, minorTicksOn;
    float majorTickLength, minorTickLength;
    float majorTickWidth, minorTickWidth;
    int tickPlacement;  /* 0 below the line, 1 centred, other above */
    int labelPlacement; /* 0 below, other above */
    int thirdTickFlag;
    float labelDistance;
    float labelFontSize;
    int monthNames;
    int twoDigitYear;
    int horizontalLabels;
    char* numberFormat;  /* owned; consumes exactly one double */
    char* labelFont;     /* owned */
    char* labelEncoding; /* owned */
    float titleDistance;
    float titleFontSize;
    int horizontalTitle;
    char* titleFont;     /* owned */
    char* titleEncoding; /* owned */
    char* title;         /* owned */
    float majorStart, minorStart, majorStep, minorStep;
    int logTickMask;
    int logLabelMask;
    int lastMinute, lastHour, lastDay, lastMonth;
    int lastYear; /* years since 1900 */
} PdfAxis;

/* Viewer settings written into the Catalog. */
typedef struct PdfViewerPreferences {
    int pageMode;
    int hideToolbar;
    int hideMenubar;
    int hideWindowUI;
    int fitWindow;
    int centerWindow;
    int pageLayout;
    int nonFullScreenPageMode;
} PdfViewerPreferences;

/* Every call that takes a number refuses a NaN, an infinity or a number beyond what readers
 * take (a real beyond +-3.4e38; an integer, such as a rectangle or destination value, beyond
 * 32 bits once rounded), given or computed from what was given: it reports at level 1 and
 * writes and keeps nothing. */

/* Report levels: -2 fatal (memory), -1 fatal (usage or compression), 1 warning or refused
 * request, 2 error of a request, 3 corrupted memory stream. */
typedef void (*PdfErrorHandler)(PdfDoc* doc, int level, const char* module, const char* format,
                                va_list args);
typedef void (*PdfGlobalErrorHandler)(int level, const char* module, const char* format,
                                      va_list args);

/* ---- Document life cycle ------------------------------------------------------------------ */

void tpdf_setDefaultLimits(int maxPages, int maxFonts, int maxImages, int maxAnnots,
                           int maxObjects);
PdfDoc* tpdf_open(int mode, const PdfDocLimits* limits); /* NULL when memory runs out */
int tpdf_init(PdfDoc* doc); /* 0; 1 output file not opened; -1 called twice or out of memory */
/* 0 started (or already started: made current), -1 refused, -2 no temporary content file.
 * Each box is exactly four numbers (an optional sign, digits, at most one point) separated by
 * blanks; anything else is refused. The boxes are written in the library's own number form
 * ("0 0 612.5 792"). */
int tpdf_pageInit(PdfDoc* doc, int pageNumber, int rotationCode, const char* mediaBox,
                  const char* cropBox);
int tpdf_setCurrentPage(PdfDoc* doc, int pageNumber); /* 0, -1 not started, -2 finalised */
void tpdf_finalizePage(PdfDoc* doc, int pageNumber);
/* Writes the whole file. 0 done; -1 refused (called twice, before tpdf_init) or failed (memory,
 * an image file that changed or vanished since import); a failed document is not saved. */
int tpdf_finalizeAll(PdfDoc* doc);
int tpdf_savePDFmemoryStreamToFile(PdfDoc* doc, const char* fileName); /* 0 or -1 */
const unsigned char* tpdf_getOutputBuffer(PdfDoc* doc, int* length);
void tpdf_close(PdfDoc* doc);

/* Fixes the creation date written into Info (reproducible output); NULL uses the local time
 * at finalisation. A date the file cannot hold as it stands (year outside 0..9999, or a month,
 * day, hour, minute or second outside its range) is refused with a report. */
void tpdf_setCreationTime(PdfDoc* doc, const struct tm* when);

/* Append to the output, which takes bytes only while tpdf_finalizeAll writes the file: 0, or
 * -1 when it cannot take them. At any other time both are refused with -1 and a report, in
 * memory as in a file. */
int tpdf_writeString(PdfDoc* doc, const char* text);
int tpdf_writeBytes(PdfDoc* doc, const void* bytes, int length);

PdfErrorHandler tpdf_setErrorHandler(PdfDoc* doc, PdfErrorHandler handler);
PdfGlobalErrorHandler tpdf_setGlobalErrorHandler(PdfGlobalErrorHandler handler);
void tpdf_defaultErrorHandler(PdfDoc* doc, int level, const char* module, const char* format,
                              va_list args);
void tpdf_defaultGlobalErrorHandler(int level, const char* module, const char* format,
                                    va_list args);
void tpdf_Error(PdfDoc* doc, int level, const char* module, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;
void tpdf_GlobalError(int level, const char* module, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

void tpdf_raisePdfVersion(PdfDoc* doc, int major, int minor);
void tpdf_setCreator(PdfDoc* doc, const char* text);  /* at most 62 characters kept */
void tpdf_setTitle(PdfDoc* doc, const char* text);    /* at most 62 */
void tpdf_setSubject(PdfDoc* doc, const char* text);  /* at most 62 */
void tpdf_setKeywords(PdfDoc* doc, const char* text); /* at most 126 */

/* Document settings. */
/* Switches to file output ("-" stdout); 0, or -1 once the output file is open. */
int tpdf_setOutputFileName(PdfDoc* doc, const char* name);
const char* tpdf_getOutputFileName(PdfDoc* doc);
void tpdf_setUseStdout(PdfDoc* doc, int flag); /* refused once the output file is open */
/* 0: page contents in temporary files. Refused once a page has been started. */
void tpdf_setContentInMemory(PdfDoc* doc, int flag);
void tpdf_setPointsPerInch(PdfDoc* doc, float value);
void tpdf_setPageDuration(PdfDoc* doc, float seconds);
void tpdf_setViewerPreferences(PdfDoc* doc, const PdfViewerPreferences* prefs);
void tpdf_writeRaw(PdfDoc* doc, const char* text); /* appended to the current page as it stands */
const char* tpdf_libraryVersion(void);
const char* tpdf_platformName(void);

/* ---- Memory streams ----------------------------------------------------------------------- */

PdfMemStream* tpdf_openMemoryStream(void);                          /* NULL when out of memory */
int tpdf_writeToMemoryStream(PdfMemStream* s, const void* bytes, int length); /* 0 or -1 */
int tpdf_memPutc(int c, PdfMemStream* s);                           /* 1 or -1 */
int tpdf_memPuts(const char* text, PdfMemStream* s);                /* length or -1 */
void tpdf_getMemoryBuffer(PdfMemStream* s, unsigned char** buffer, int* count, int* bufSize);
void tpdf_clearMemoryStream(PdfMemStream* s);
void tpdf_closeMemoryStream(PdfMemStream* s);
int tpdf_saveMemoryStreamToFile(PdfMemStream* s, const char* fileName); /* 0 or -1 */
/* 0 sound; -1 bad (reported at level 3): not a stream of this library, or no buffer, or a count
 * below 0 or not below bufSize. Every stream call refuses such a stream with the same report. */
int tpdf_checkMemoryStream(const char* module, PdfMemStream* s);

/* ---- Utilities ---------------------------------------------------------------------------- */

long tpdf_fileSize(const char* name); /* 0 when it cannot be read */
char* tpdf_appendInt(char* text, int value); /* result kept within 250 characters */
int tpdf_isBigEndian(void);

/* ---- File layout -------------------------------------------------------------------------- */

void tpdf_enableCompression(PdfDoc* doc, int on);

/* Object writers, called by tpdf_finalizeAll in numbering order. Each records the offset at
 * which its object begins and returns the byte offset after it, or -1 when the output failed.
 * A content stream writer frees the page's content: the page is finalised and takes no more.
 * A record given to a writer is checked before anything is read through it, as far as the
 * record allows (a name that ends within its field, texts that are there and that readers take,
 * lengths that match the bytes, links that make a tree, object numbers above 0); one that does
 * not hold is refused with a report (-1, nothing written). */
int tpdf_writeCatalog(PdfDoc* doc);
int tpdf_writeOutlinesRoot(PdfDoc* doc);
int tpdf_writePagesTree(PdfDoc* doc);
int tpdf_writeProcSet(PdfDoc* doc);
int tpdf_writePage(PdfDoc* doc, int pageNumber);
int tpdf_writeMemContentStream(PdfDoc* doc, int pageNumber);
int tpdf_writeContentStream(PdfDoc* doc, int pageNumber); /* file mode */
int tpdf_writeFont(PdfDoc* doc, int fontIndex);
int tpdf_writeImage(PdfDoc* doc, int imageIndex);
int tpdf_writeFontDescriptor(PdfDoc* doc, PdfFontDescriptor* descriptor, int type);
int tpdf_writeCIDFont(PdfDoc* doc, PdfFont* font);
int tpdf_writeFontFile(PdfDoc* doc, PdfFontInfo* info);
int tpdf_writeAnnotations(PdfDoc* doc, int annotIndex);
int tpdf_writeOutlineItem(PdfDoc* doc, PdfOutline* item);
/* Numbers the items depth first from *counter; writes them in the same order. Refused with a
 * report, numbering nothing, when the counter is below 1 or would pass INT_MAX. */
void tpdf_numberOutlines(int* counter, PdfOutline* first, PdfOutline* last);
int tpdf_writeOutlines(PdfDoc* doc, PdfOutline* first, PdfOutline* last);
int tpdf_writeInfo(PdfDoc* doc, int objectNumber);
int tpdf_writeXrefTrailer(PdfDoc* doc, int objectCount);
int tpdf_compressPageContent(PdfDoc* doc, int pageNumber); /* 0 or -1 */

/* ---- Images ------------------------------------------------------------------------------- */

/* 0 placed; 1 image table full; -1 file not readable, type not available, no page started or
 * a size, scale or position beyond what readers take; -2 not a JPEG file; -3 damaged JPEG
 * header; -4 unknown type. Unless 0, nothing is drawn or listed and the sizes are unchanged. */
int tpdf_importImage(PdfDoc* doc, const char* fileName, int type, float x, float y, float angle,
                     float* width, float* height, float* xscale, float* yscale, int flags);
int tpdf_rawImportImage(PdfDoc* doc, const char* fileName, int type, float x, float y,
                        float angle, float* width, float* height, float* xscale, float* yscale,
                        int flags);
int tpdf_selectTiffPage(PdfDoc* doc, int page);
int tpdf_findImage(PdfDoc* doc, const char* fileName, int tiffPage, int* index);
/* Refused while the file is not written and a page shows an image (tpdf_close frees them). */
void tpdf_freeImages(PdfDoc* doc);

/* JPEG header: -1 not opened, -2 no SOI, -3 damaged (premature end, bad segment length, no
 * frame header, zero size, a component count other than 1, 3 or 4, or a sample precision
 * other than 8 bits), else 0xDA or 0xD9. */
int read_JPEG_header(const char* fileName, PdfImage* image);
int tpdf_scanJpegHeader(FILE* file, PdfImage* image);

/* ---- Graphics state, colour and paths ----------------------------------------------------- */

void tpdf_fillGray(PdfDoc* doc, float gray);
void tpdf_strokeGray(PdfDoc* doc, float gray);
void tpdf_grayBoth(PdfDoc* doc, float gray);
void tpdf_fillRgb(PdfDoc* doc, float r, float g, float b);
void tpdf_strokeRgb(PdfDoc* doc, float r, float g, float b);
void tpdf_rgbBoth(PdfDoc* doc, float r, float g, float b);
void tpdf_fillCmyk(PdfDoc* doc, float c, float m, float y, float k);
void tpdf_strokeCmyk(PdfDoc* doc, float c, float m, float y, float k);
void tpdf_cmykBoth(PdfDoc* doc, float c, float m, float y, float k);
void tpdf_saveState(PdfDoc* doc);
void tpdf_restoreState(PdfDoc* doc);
/* A dash array of numbers not all zero (or [] for a solid line) and a phase: "[2 3] 0"; any
 * other text is refused with a report and nothing is written. */
void tpdf_dashPattern(PdfDoc* doc, const char* pattern);
void tpdf_solidLine(PdfDoc* doc);
void tpdf_dashArray(PdfDoc* doc, int unused);
void tpdf_flatness(PdfDoc* doc, int value);
void tpdf_lineJoin(PdfDoc* doc, int value);
void tpdf_lineCap(PdfDoc* doc, int value);
void tpdf_miterLimit(PdfDoc* doc, float value);
void tpdf_lineWidth(PdfDoc* doc, float value);
void tpdf_concatMatrix(PdfDoc* doc, float a, float b, float c, float d, float e, float f);
void tpdf_concatMatrixDomain(PdfDoc* doc, float a, float b, float c, float d, float e, float f);
void tpdf_translatePoints(PdfDoc* doc, float x, float y);
void tpdf_translateDomain(PdfDoc* doc, float x, float y);
void tpdf_scaleBy(PdfDoc* doc, float sx, float sy);
void tpdf_rotateDegrees(PdfDoc* doc, float angle);

void tpdf_pointMove(PdfDoc* doc, float x, float y);
void tpdf_relMove(PdfDoc* doc, float dx, float dy);
void tpdf_pointLine(PdfDoc* doc, float x, float y);
void tpdf_relLine(PdfDoc* doc, float dx, float dy);
void tpdf_pointCurve(PdfDoc* doc, float x1, float y1, float x2, float y2, float x3, float y3);
void tpdf_pointRect(PdfDoc* doc, float x, float y, float w, float h);

void tpdf_closePath(PdfDoc* doc);
void tpdf_strokePath(PdfDoc* doc);
void tpdf_fillPath(PdfDoc* doc);
void tpdf_eoFillPath(PdfDoc* doc);
void tpdf_fillStrokePath(PdfDoc* doc);
void tpdf_eoFillStrokePath(PdfDoc* doc);
void tpdf_clipPath(PdfDoc* doc);
void tpdf_eoClipPath(PdfDoc* doc);
void tpdf_endPath(PdfDoc* doc);

void tpdf_pointCircle(PdfDoc* doc, float x, float y, float r);
void tpdf_domainCircle(PdfDoc* doc, float x, float y, float r);
void tpdf_pointCircleFast(PdfDoc* doc, float x, float y, float r);
void tpdf_pointArc(PdfDoc* doc, float x, float y, float r, float startAngle, float endAngle,
                   int moveFirst);
void tpdf_domainArc(PdfDoc* doc, float x, float y, float r, float startAngle, float endAngle,
                    int moveFirst);
void tpdf_pointRotatedRect(PdfDoc* doc, float x, float y, float w, float h, float angle);
void tpdf_arcSegment(PdfDoc* doc, float x, float y, float r, float midAngle, float halfSweep,
                     int direction, int moveFirst);
void tpdf_rotateVector(float x, float y, float angle, float* outX, float* outY);

/* ---- Text and fonts ----------------------------------------------------------------------- */

/* Width slots of a font: 0-255 by code, 256-267 glyphs that only some encodings reach, 268 a
 * code without a glyph. Metric files give the first 268. */
#define TPDF_WIDTH_SLOTS 269

/* Font descriptor: one per built-in font entry of types 1 and 3, one per loaded external font
 * (shared by every entry of that font). Values in thousandths of the font size. */
struct PdfFontDescriptor {
    int objectNumber;
    int reserved;
    int ascent;
    int capHeight;
    int descent;
    long flags;
    int fontBBox[4];
    char fontName[64];
    float italicAngle;
    int stemV;
    int stemH;
    int xHeight;
    int missingWidth;
    int leading;
    int maxWidth;
    int avgWidth;
    const char* style;    /* CID fonts: a static text */
    PdfFontInfo* fontFile; /* external fonts: the loaded outline */
};

/* One loaded external font: its outline bytes in three sections. */
struct PdfFontInfo {
    int objectNumber; /* of the font file object */
    int state;        /* 0 when loaded */
    PdfFontInfo* previous;
    PdfFontDescriptor* descriptor;
    char fontName[128];
    long length;
    long length1, length2, length3;
    PdfMemStream* outline;
};

/* The descendant of a composite (CID) font. */
typedef struct PdfCIDFont {
    int objectNumber;
    int reserved;
    int defaultWidth;
    const char* systemInfo; /* static texts */
    const char* widths;
} PdfCIDFont;

/* A font table entry. Type 0 standard font, 1 built-in with widths and descriptor, 2 external,
 * 3 composite (CID). */
struct PdfFont {
    int objectNumber;
    char resourceName[16]; /* "Ftpdf<index>" */
    char baseFont[128];
    char fontName[128];    /* as selected ("Times-Roman" for a substituted font) */
    char encodingName[64]; /* empty when hasEncoding is 0 */
    int hasEncoding;
    int fontIndex; /* 0-47 built in, 48 + n the n-th loaded external font */
    int encodingCode; /* 0 WinAnsi, 1 MacRoman, 2 MacExpert, 3 Standard */
    int type;
    int firstChar, lastChar;
    short widths[TPDF_WIDTH_SLOTS];
    PdfFontDescriptor* descriptor; /* owned by the document */
    PdfCIDFont cid;                /* type 3 */
};

/* Selects a font and writes its Tf line. 0 done; 1 the font needs a new entry and the font
 * table is full (or memory ran out); 2 the encoding is refused: its name is longer than 63
 * characters, or the font is a CID font and the name is not a CMap predefined for the font's
 * character collection (such as "90ms-RKSJ-H" for "HeiseiMin-W3") nor Identity-H or
 * Identity-V (NULL gives the font's default CMap); 3 the
 * size is not a number readers take; 4 no page is open for drawing (none started, or
 * finalised). Unless 0, nothing is written and the current font is unchanged. A font that is
 * neither built in nor loadable is replaced by Times-Roman (an entry of it already in the
 * table is chosen even when the table is full). */
int tpdf_setFont(PdfDoc* doc, const char* name, const char* encoding, float size);
/* 0 name and encoding listed; 1 only the name (with another encoding); 2 not listed. */
int tpdf_findFontEntry(PdfDoc* doc, const char* name, const char* encoding, int* entry,
                       int* sameFont);
const char* tpdf_builtInFontName(int fontIndex); /* NULL outside 0..47 */
int tpdf_fontCount(PdfDoc* doc);
const PdfFont* tpdf_fontEntry(PdfDoc* doc, int index); /* NULL outside the table */
/* Refused while the file is not written and a page uses a font (tpdf_close frees them). */
void tpdf_freeFonts(PdfDoc* doc);

/* External fonts: metric (.pfm) and outline (.pfb) files, found by name, in the metric and
 * outline folders, or through the font map. */
int _tpdf_loadExternalFont(PdfDoc* doc, const char* name, PdfFont* font,
                           PdfFontDescriptor* descriptor, PdfFontInfo* info);
/* 0; 1 file not opened; 2 not a Type 1 metric file (or damaged); 3 extent table not
 * reachable; 4 extent table short. */
int ReadPFM(const char* path, PdfFont* font, PdfFontDescriptor* descriptor);
/* 0; 1 file not opened; 2 bad section marker; 3 unexpected section type; 4, 5, 6 short read of
 * section 1, 2, 3. On failure info->outline is NULL. */
int ReadPFB(const char* path, PdfFontInfo* info);
int tpdf_readPfbSectionHeader(FILE* file, const char* path, int section, int expectedType,
                              long* length);
void tpdf_crToLf(unsigned char* bytes, long length);
void tpdf_freeFontInfo(PdfFontInfo* info); /* frees the outline stream */
/* 0 found; 1 map not opened; 2 syntax error; -1 name not listed. Paths of 1024 bytes. */
int tpdf_readFontMap(PdfDoc* doc, const char* name, char* metricPath, char* outlinePath);
void tpdf_setFontMapFile(PdfDoc* doc, const char* name); /* at most 1023 characters */
void tpdf_setFontDirectories(PdfDoc* doc, const char* metricFolder, const char* outlineFolder);
uint32_t tpdf_swap32(uint32_t value);
uint16_t tpdf_swap16(uint16_t value);

/* The first 143 bytes of a metric file, field by field. The file stores every field low byte
 * first; the readers copy the bytes as stored, so on a machine that stores the high byte first
 * the swap functions turn the values around. */
typedef struct PdfPfmHeader {
    uint16_t version;          /* offset 0 */
    uint32_t size;             /* 2: the file's size */
    char copyright[60];        /* 6 */
    uint16_t type;             /* 66 */
    uint16_t points;           /* 68 */
    uint16_t vertRes;          /* 70 */
    uint16_t horizRes;         /* 72 */
    uint16_t ascent;           /* 74 */
    uint16_t internalLeading;  /* 76 */
    uint16_t externalLeading;  /* 78 */
    uint8_t italic;            /* 80 */
    uint8_t underline;         /* 81 */
    uint8_t strikeOut;         /* 82 */
    uint16_t weight;           /* 83 */
    uint8_t charSet;           /* 85 */
    uint16_t pixWidth;         /* 86 */
    uint16_t pixHeight;        /* 88 */
    uint8_t pitchAndFamily;    /* 90 */
    uint16_t avgWidth;         /* 91 */
    uint16_t maxWidth;         /* 93 */
    uint8_t firstChar;         /* 95 */
    uint8_t lastChar;          /* 96 */
    uint8_t defaultChar;       /* 97 */
    uint8_t breakChar;         /* 98 */
    uint16_t widthBytes;       /* 99 */
    uint32_t device;           /* 101 */
    uint32_t face;             /* 105 */
    uint32_t bitsPointer;      /* 109 */
    uint32_t bitsOffset;       /* 113 */
    uint16_t sizeFields;       /* 117: size of the extension fields, 30 in a Type 1 file */
    uint32_t extMetricsOffset; /* 119 */
    uint32_t extentTable;      /* 123 */
    uint32_t originTable;      /* 127 */
    uint32_t pairKernTable;    /* 131 */
    uint32_t trackKernTable;   /* 135 */
    uint32_t driverInfo;       /* 139 */
} PdfPfmHeader;

#define TPDF_PFM_HEADER_SIZE 143
#define TPDF_PFM_EXT_METRICS_SIZE 36

/* The first 18 fields of the extended metrics, 16 bits each. */
typedef struct PdfPfmExtMetrics {
    uint16_t size, pointSize, orientation, masterHeight, minScale, maxScale, masterUnits;
    uint16_t capHeight;        /* byte 14 */
    uint16_t xHeight;          /* 16 */
    uint16_t lowerCaseAscent;  /* 18 */
    uint16_t lowerCaseDescent; /* 20 */
    uint16_t slant;            /* 22: tenths of a degree, signed */
    uint16_t superScript, subScript, superScriptSize, subScriptSize, underlineOffset;
    uint16_t underlineWidth;
} PdfPfmExtMetrics;

/* Read from the file's position; each returns the number of bytes read (143 or 36 when
 * whole; the fields not read are 0). The header comes in one read, the metrics field by
 * field. */
size_t tpdf_readPfmHeader(FILE* file, PdfPfmHeader* header);
size_t tpdf_readPfmExtMetrics(FILE* file, PdfPfmExtMetrics* metrics);
void tpdf_swapPfmHeader(PdfPfmHeader* header);
void tpdf_swapPfmExtMetrics(PdfPfmExtMetrics* metrics);

/* Text blocks and text state. */
void tpdf_beginText(PdfDoc* doc, int unused);
void tpdf_endText(PdfDoc* doc);
void tpdf_wordSpacing(PdfDoc* doc, float value);
void tpdf_charSpacing(PdfDoc* doc, float value);
void tpdf_horizScaling(PdfDoc* doc, float value);
void tpdf_leading(PdfDoc* doc, float value);
void tpdf_renderMode(PdfDoc* doc, int mode);
void tpdf_textRise(PdfDoc* doc, float value);
void tpdf_textMatrix(PdfDoc* doc, float a, float b, float c, float d, float e, float f);
void tpdf_textPosition(PdfDoc* doc, float x, float y);
void tpdf_textPositionDomain(PdfDoc* doc, float x, float y);
void tpdf_moveText(PdfDoc* doc, float x, float y);
void tpdf_moveTextDomain(PdfDoc* doc, float x, float y);
void tpdf_nextLine(PdfDoc* doc);
void tpdf_concatTextMatrix(PdfDoc* doc, float a, float b, float c, float d, float e, float f);
void tpdf_rotateText(PdfDoc* doc, float degrees);
void tpdf_skewText(PdfDoc* doc, float a, float b);

/* Showing text (hexadecimal text when the hex-text flag is set); refused on a page where no
 * font has been chosen. */
void tpdf_showText(PdfDoc* doc, const char* text);
void tpdf_nextLineShow(PdfDoc* doc, const char* text);
void tpdf_textAt(PdfDoc* doc, float x, float y, float angle, const char* text);
void tpdf_textAtDomain(PdfDoc* doc, float x, float y, float angle, const char* text);
void tpdf_textAligned(PdfDoc* doc, float x, float y, float angle, int alignment,
                      const char* text); /* alignment 0..8: horizontal mod 3, vertical / 3 */

/* Measures of the current font and size, in points. */
float tpdf_stringWidth(PdfDoc* doc, const char* text);
float tpdf_capHeight(PdfDoc* doc);
float tpdf_ascent(PdfDoc* doc);
float tpdf_descent(PdfDoc* doc);

/* String escapes; the results are new buffers (free()), NULL when out of memory. */
char* tpdf_escapeString(const char* text);
unsigned char* tpdf_escapeBytes(const unsigned char* bytes, int length, int* outLength);
/* Hexadecimal text to bytes (non-digits skipped, a last odd digit dropped): a new buffer. */
int tpdf_hexToBytes(const char* hex, unsigned char** bytes, int* length); /* 0 or -1 */

/* ---- Annotations, outlines and page settings ---------------------------------------------- */

/* Optional settings of an annotation. */
typedef struct PdfAnnotOptions {
    int flags;
    const char* border;      /* e.g. "[0 0 1]"; NULL for none */
    const char* borderStyle; /* e.g. "/W 2 /S /D"; NULL for none */
    float r, g, b;
} PdfAnnotOptions;

/* An annotation: kind 0 text note, 1 web link, 2 link to a page, 3 link with an action. */
typedef struct PdfAnnot {
    int objectNumber;
    int kind;
    int targetPage;
    int flags;
    float x1, y1, x2, y2;
    float r, g, b;
    char* border;      /* owned, NULL for none */
    char* borderStyle; /* owned, NULL for none */
    unsigned char* content; /* owned, escaped */
    int contentLength;
    unsigned char* title; /* owned, escaped */
    int titleLength;
} PdfAnnot;

/* An outline (bookmark) item. */
struct PdfOutline {
    int objectNumber;
    int count; /* descendants counted */
    int targetPage; /* negative: an action */
    int open;
    char* destination; /* owned: destination text or action text */
    unsigned char* title; /* owned, escaped */
    int titleLength;
    struct PdfOutline* parent;
    struct PdfOutline* prev;
    struct PdfOutline* next;
    struct PdfOutline* first;
    struct PdfOutline* last;
};

/* Each returns 0, or -1 when refused (table full, no page, unreadable note file, a number
 * readers would not take, a page link to a page outside 1..maxPages, or a raw text that a
 * reader would not take as its object). Raw texts hold numbers within readers' limits, names
 * without #00 and each dictionary key once; the border is one array of three numbers and
 * perhaps a dash array ("[0 0 1 [3 2]]"); the border style the entries of a border style
 * dictionary ("/W 2 /S /D"); an action the entries of an action dictionary of a type readers
 * follow (GoTo, GoToR, GoToE, Launch, Thread, URI, Named, JavaScript, Hide, SubmitForm,
 * ResetForm, ImportData) with the entries its type needs, each of its kind ("/S /Named /N
 * /NextPage", "/S /GoTo /D [3 0 R /Fit]", "/S /URI /URI (https://example.com/)"), and a /Next
 * only as an action or an array of actions given in the text itself ("/Next << /S /Named /N
 * /FirstPage >>"), never as a reference; a destination a known type and its values, written
 * after the target page's reference
 * ("/XYZ 0 792 1", "/Fit", "/FitR 0 0 612 792"). */
int tpdf_textNote(PdfDoc* doc, float x1, float y1, float x2, float y2, const char* title,
                  const char* content, const PdfAnnotOptions* options);
int tpdf_textNoteDomain(PdfDoc* doc, float x1, float y1, float x2, float y2, const char* title,
                        const char* content, const PdfAnnotOptions* options);
int tpdf_textNoteFromFile(PdfDoc* doc, float x1, float y1, float x2, float y2,
                          const char* title, const char* fileName,
                          const PdfAnnotOptions* options);
int tpdf_textNoteFromFileDomain(PdfDoc* doc, float x1, float y1, float x2, float y2,
                                const char* title, const char* fileName,
                                const PdfAnnotOptions* options);
int tpdf_webLink(PdfDoc* doc, float x1, float y1, float x2, float y2, const char* address,
                 const PdfAnnotOptions* options);
int tpdf_webLinkDomain(PdfDoc* doc, float x1, float y1, float x2, float y2,
                       const char* address, const PdfAnnotOptions* options);
int tpdf_pageLink(PdfDoc* doc, float x1, float y1, float x2, float y2, int page,
                  const char* destination, const PdfAnnotOptions* options);
int tpdf_pageLinkDomain(PdfDoc* doc, float x1, float y1, float x2, float y2, int page,
                        const char* destination, const PdfAnnotOptions* options);
int tpdf_actionLink(PdfDoc* doc, float x1, float y1, float x2, float y2, const char* action,
                    const PdfAnnotOptions* options);
int tpdf_actionLinkDomain(PdfDoc* doc, float x1, float y1, float x2, float y2,
                          const char* action, const PdfAnnotOptions* options);
int tpdf_annotCount(PdfDoc* doc);
const PdfAnnot* tpdf_annotEntry(PdfDoc* doc, int index);
void tpdf_freeAnnotations(PdfDoc* doc);

/* Outline items; NULL when refused (as the annotations are, and for a destination value that
 * readers would not take). An item is owned by the document. */
PdfOutline* tpdf_addOutline(PdfDoc* doc, PdfOutline* after, int sublevel, int open, int page,
                            const char* title, int destinationCode, float v1, float v2,
                            float v3, float v4);
PdfOutline* tpdf_addOutlineAction(PdfDoc* doc, PdfOutline* after, int sublevel, int open,
                                  const char* action, const char* title);
/* Destination text of a code (1 XYZ, 2 Fit, 3 FitH, ... 9 XYZ with a top only): a new text;
 * NULL when a value the code writes is not one readers take. */
char* tpdf_destinationText(int code, float v1, float v2, float v3, float v4);
int tpdf_outlineCount(PdfDoc* doc);
PdfOutline* tpdf_firstOutline(PdfDoc* doc);
void tpdf_freeOutlines(PdfDoc* doc);

void tpdf_setHexText(PdfDoc* doc, int flag);
char* tpdf_slashToBackslash(char* out, const char* path); /* out holds strlen(path) + 1 */
int tpdf_uniqueId(int* id);
int tpdf_hexDigit(char c); /* 0..15, or 255 */
/* Upper-case hexadecimal of length bytes into out (2 * length + 5 bytes), prefixed with
 * "FEFF" when unicode is set and the bytes start with no byte-order mark. */
char* tpdf_bytesToHex(const unsigned char* bytes, char* out, int length, int unicode);

/* ---- Plot domains and axes ---------------------------------------------------------------- */

PdfPlotDomain* tpdf_createPlotDomain(float x, float y, float width, float height, float xmin,
                                     float xmax, float ymin, float ymax, int xkind, int ykind,
                                     int reserved);
/* A calendar record given to any call holds years since 1900 within +-10^9 and its other
 * fields within +-10^8; any other is refused with a report (NULL, 0, or the record left). */
PdfPlotDomain* tpdf_createTimeDomain(float x, float y, float width, float height,
                                     const struct tm* start, const struct tm* end, float ymin,
                                     float ymax, int xkind, int ykind, int reserved);
/* A document that draws in the domain draws in its page's domain again; a page's own domain
 * is not freed (it goes with its page). */
void tpdf_freePlotDomain(PdfPlotDomain* domain);
/* Makes the domain current; returns the previous one. Refused (NULL returned, nothing
 * changed) when an axis range is empty or not a number, or a logarithmic end is <= 0. */
PdfPlotDomain* tpdf_setPlotDomain(PdfDoc* doc, PdfPlotDomain* domain);
int tpdf_setMeshSteps(PdfPlotDomain* domain, int axis, float majorStart, float majorStep,
                      float minorStart, float minorStep); /* 0, or -1 for a step <= 0 or NaN */
void tpdf_setDomainMeshStyle(PdfPlotDomain* domain, float majorR, float majorG, float majorB,
                             float minorR, float minorG, float minorB);
void tpdf_drawMesh(PdfPlotDomain* domain);
void tpdf_drawMeshX(PdfPlotDomain* domain);
void tpdf_drawMeshY(PdfPlotDomain* domain);
void tpdf_fillDomainGray(PdfPlotDomain* domain, float gray);
void tpdf_fillDomainRgb(PdfPlotDomain* domain, float r, float g, float b);
void tpdf_clipDomain(PdfPlotDomain* domain);
float tpdf_domainX(PdfDoc* doc, float x);
float tpdf_domainY(PdfDoc* doc, float y);
float tpdf_pointsToDomainX(PdfDoc* doc, float x);
float tpdf_pointsToDomainY(PdfDoc* doc, float y);

/* A call that reads or frees an axis's texts (its fonts, title, number format: the drawing
 * calls, the font and title setters, tpdf_freeAxis) refuses with a report an axis that
 * tpdf_createAxis or tpdf_createTimeAxis did not make. */
PdfAxis* tpdf_createAxis(float angle, float length, int kind, float min, float max);
PdfAxis* tpdf_createTimeAxis(float angle, float length, int kind, const struct tm* start,
                             const struct tm* end);
void tpdf_freeAxis(PdfAxis* axis);
void tpdf_attachAxis(PdfAxis* axis, PdfPlotDomain* domain, float offsetX, float offsetY);
void tpdf_setAxisTicks(PdfAxis* axis, int majorOn, int minorOn, int thirdFlag);
void tpdf_setAxisLabels(PdfAxis* axis, int tickPlacement, int labelPlacement,
                        int horizontalLabels, int horizontalTitle);
void tpdf_setAxisTickLengths(PdfAxis* axis, float lineWidth, float majorLength,
                             float minorLength, float majorWidth, float minorWidth);
int tpdf_setAxisTickSteps(PdfAxis* axis, float majorStart, float majorStep, float minorStart,
                          float minorStep); /* 0, or -1 for a step <= 0 or NaN */
void tpdf_setLogAxisTickMask(PdfAxis* axis, int mask);
void tpdf_setLogAxisLabelMask(PdfAxis* axis, int mask);
void tpdf_setAxisFontEncoded(PdfAxis* axis, const char* numberFormat, const char* fontName,
                             float size, const char* encoding);
void tpdf_setAxisFont(PdfAxis* axis, const char* numberFormat, const char* fontName, float size);
void tpdf_setTimeAxisFontEncoded(PdfAxis* axis, int monthNames, int twoDigitYear,
                                 const char* fontName, float size, const char* encoding);
void tpdf_setTimeAxisFont(PdfAxis* axis, int monthNames, int twoDigitYear, const char* fontName,
                          float size);
void tpdf_setAxisTitle(PdfAxis* axis, const char* title, const char* fontName,
                       const char* encoding, float size);
/* 0 drawn; -1 refused (no domain, empty or not-a-number range, bad steps). A time axis gets
 * all the ticks and labels of its table, or none (reported) where they would be more than
 * 100,000. */
int tpdf_drawAxis(PdfAxis* axis);
int tpdf_setMonthNames(PdfDoc* doc, const char* const names[12]);
int tpdf_freeMonthNames(PdfDoc* doc);

float tpdf_axisPosition(PdfDoc* doc, float value);
void tpdf_drawTick(PdfDoc* doc, PdfAxis* axis, float position, float length);
void tpdf_drawLinearTicks(PdfDoc* doc, PdfAxis* axis);
void tpdf_drawLogTicks(PdfDoc* doc, PdfAxis* axis);
void tpdf_drawTimeAxisTicks(PdfDoc* doc, PdfAxis* axis);
void tpdf_drawLinearLabels(PdfDoc* doc, PdfAxis* axis);
void tpdf_drawLogLabels(PdfDoc* doc, PdfAxis* axis);
void tpdf_drawTimeLabels(PdfDoc* doc, PdfAxis* axis);
void tpdf_drawAxisTitle(PdfDoc* doc, PdfAxis* axis);
void tpdf_drawAxisNumber(PdfDoc* doc, PdfAxis* axis, double value, float tickLength);
void tpdf_drawTimeLabel(PdfDoc* doc, PdfAxis* axis, float days, struct tm* time, int unit,
                        float tickLength);
void tpdf_timeTicks(float spanDays, int* minorUnit, int* majorUnit, int* minorStep,
                    int* majorStep);
float tpdf_timeStep(struct tm* start, struct tm* running, int unit, int step);
int tpdf_bitIsSet(int value, int n);
char* tpdf_trimZeros(char* text);
char* tpdf_twoDigitYear(int year, int twoDigits, char* buffer); /* buffer of 8 characters */

/* 0 done, -1 refused (min or max not a finite number). */
int tpdf_niceTicks(float min, float max, float* first, float* last, float* majorStart,
                   float* majorStep, float* minorStart, float* minorStep);
int tpdf_niceTicksRange(float min, float max, float* first, float* last);
float tpdf_mantissaExponent(float value, int* exponent);
float tpdf_timeDifference(struct tm* t1, struct tm* t2);
int tpdf_isLeapYear(int year);
void tpdf_normalizeTime(struct tm* time);
struct tm* tpdf_localTime(const time_t* value, int ignored);
void tpdf_formatTime(struct tm* time);
int tpdf_setPositive(int* out, int value);
void tpdf_multiplyMatrix(float m[6], const float n[6]);

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_PDF_TPDF_H */
