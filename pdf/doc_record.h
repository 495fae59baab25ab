// The document record behind the opaque PdfDoc of tpdf.h, and the records it owns.
#pragma once

#include "tpdf.h"

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace tpdf {

struct MemStreamCloser {
    void operator()(PdfMemStream* s) const { tpdf_closeMemoryStream(s); }
};
using MemStreamPtr = std::unique_ptr<PdfMemStream, MemStreamCloser>;

void releaseDomain(PdfPlotDomain* domain); // frees a domain the library made for itself

struct DomainFreer {
    void operator()(PdfPlotDomain* d) const { releaseDomain(d); }
};
using DomainPtr = std::unique_ptr<PdfPlotDomain, DomainFreer>;

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f != stdout) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr int kPageFinalized = 1;
constexpr int kPageCompressed = 2;

struct PdfPage {
    int pageNumber = -1;
    int pageObject = 0;
    int parentObject = 0;
    int contentsObject = 0;
    int flags = 0;
    std::vector<unsigned char> compressedData; // its size is the compressed length
    MemStreamPtr content;
    DomainPtr domain;
    int rotation = 0;
    // Table indexes used on the page, each listed once, in the order first used.
    std::vector<int> fontList, imageList, annotList;
    std::string mediaBox, cropBox;
    FilePtr tempFile; // file mode: the page's content
    long tempBytes = 0; // file mode: the bytes of content in tempFile
    std::string tempName;
    float duration = -1.0f;
};

struct FontInfoFreer {
    void operator()(PdfFontInfo* info) const {
        tpdf_freeFontInfo(info);
        delete info;
    }
};
using FontInfoPtr = std::unique_ptr<PdfFontInfo, FontInfoFreer>;

struct OutlineFreer {
    void operator()(PdfOutline* item) const;
};
using OutlinePtr = std::unique_ptr<PdfOutline, OutlineFreer>;

constexpr int kLineBufferSize = 8232;

// The part of the document a call changes in place, kept together so that each public call saves
// it whole as it begins and a failed one restores it: the drawing state, the file's version and
// what its images need of the procedure sets.
struct CallState {
    int pdfMajor = 1;
    int pdfMinor = 1;
    int currentFont = -1;
    int hexText = 0;
    int procSetImageBits = 0;
    float labelExtent = 0.0f;
    float fontSize = 12.0f;
    float wordSpacing = 0.0f;
    float charSpacing = 0.0f;
    float horizScaling = 100.0f;
    float leading = 0.0f;
    float textRise = 0.0f;
    std::array<float, 6> textMatrix{1, 0, 0, 1, 0, 0};
    float penX = 0.0f;
    float penY = 0.0f;
};

// What the running public call found when it began, saved as cheaply as it can be: the state
// above whole, the page content's end and the tables' sizes only once the call first writes to
// them (the tables only grow at their ends while a call runs, so their sizes mark what it added).
struct CallMark {
    bool failed;
    bool finalized;
    bool contentMarked; // the fields below were taken when the call first wrote content
    bool tablesMarked;  // and these when it first added to a table or a page's list
    CallState state;

    int page;
    PdfMemStream* stream;
    int count; // the stream's end
    std::FILE* file;
    long fileEnd; // the temporary file's end

    int tablesPage;
    std::size_t fontUses, imageUses, annotUses; // that page's lists
    std::size_t fonts, descriptors, fontInfos, images, annots, outlines;
};

} // namespace tpdf

struct PdfDoc : tpdf::CallState {
    int docNumber = -1;
    int mode = 0;
    int state = 0; // 0 closed, 1 opened, 2 initialised
    std::array<std::string, 12> monthNames;
    float pointsPerInch = 72.0f;
    int pageRotation = 270;
    int toStdout = 0;
    int compress = 0;
    std::string compressCommand;
    std::string filterName;
    int outputNameSet = 0;
    PdfViewerPreferences viewer{};
    PdfErrorHandler errorHandler = nullptr;

    PdfPlotDomain* pageDomain = nullptr;    // owned by its page
    PdfPlotDomain* currentDomain = nullptr; // the page's, or the caller's
    float xScale = 1.0f;
    float yScale = 1.0f;
    double xLogMin = 0, xLogMax = 0, yLogMin = 0, yLogMax = 0;
    PdfAxis* currentAxis = nullptr;
    double axisScale = 1.0;
    double axisLogMin = 0, axisLogMax = 0;

    int maxFonts = 0;
    std::vector<PdfFont> fonts; // fontCount = fonts.size()
    // Every descriptor of the font entries; an external font's is shared by its entries.
    std::vector<std::unique_ptr<PdfFontDescriptor>> descriptors;
    std::vector<tpdf::FontInfoPtr> fontInfos; // loaded external fonts
    std::vector<PdfFont> externalFonts;       // their metrics, by font-info position
    char fontMapFile[1024] = {};
    char metricFolder[1024] = {};
    char outlineFolder[1024] = {};

    int maxImages = 0;
    std::vector<PdfImage> images; // imageCount = images.size()
    int tiffPage = 0;

    int memoryOutput = 1;
    tpdf::MemStreamPtr outputStream;
    int contentInMemory = 1;
    PdfMemStream* currentContent = nullptr; // the current page's stream
    std::FILE* currentTempFile = nullptr;   // file mode: the current page's file

    int currentPage = 1;
    int maxPages = 0;
    int highestPage = 1;
    std::vector<tpdf::PdfPage> pages; // maxPages + 1 entries, entry 0 unused
    std::vector<int> kids;            // page objects in the order written
    tpdf::MemStreamPtr scratch;
    tpdf::FilePtr outputFile;

    int maxAnnots = 0;
    std::vector<PdfAnnot> annots; // annotCount = annots.size()

    int outlineCount = 0;
    PdfOutline* firstOutline = nullptr;
    PdfOutline* lastOutline = nullptr;
    std::vector<tpdf::OutlinePtr> outlines; // every item, for freeing

    char mediaBox[64] = {};
    char cropBox[64] = {};
    int byteOffset = 0;
    char creator[64] = {};
    char title[64] = {};
    char subject[64] = {};
    char keywords[128] = {};
    char author[64] = {};
    char outputFileName[1024] = {};

    int maxObjects = 0;
    std::vector<int> objectOffsets;
    std::array<int, 5> fixedObjects{};
    int xrefOffset = 0;
    char lineBuffer[tpdf::kLineBufferSize] = {};

    int callDepth = 0;       // public calls running, one inside the other
    bool callFailed = false; // the running call failed: what it wrote is taken back
    tpdf::CallMark callMark{}; // the outermost running call's

    bool finalized = false;
    bool writing = false; // tpdf_finalizeAll is writing the file
    bool failed = false; // an output or memory failure: the file would be damaged
    bool fixedTime = false;
    struct tm creationTime {};
};
