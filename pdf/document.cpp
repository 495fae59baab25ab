// Document life cycle: open, init, pages, settings and close.
#include "doc_record.h"
#include "c_format.h"
#include "call_guard.h"
#include "calendar.h"
#include "errors.h"
#include "document.h"
#include "live_records.h"
#include "output.h"
#include "plot_domain.h"

#include <climits>
#include <cstring>
#include <filesystem>
#include <new>
#include <sys/stat.h>

using namespace tpdf;

namespace {

PdfDocLimits defaultLimits{100, 100, 100, 100, 5000};

constexpr const char* kDefaultMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int pick(const PdfDocLimits* limits, int PdfDocLimits::*field) {
    if (limits && limits->*field > 0) return limits->*field;
    return defaultLimits.*field;
}

std::string tempPath(const std::string& leaf) {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    return ((ec ? std::filesystem::path("/tmp") : dir) / leaf).string();
}

std::string defaultOutputName(const PdfDoc* doc) {
    return tempPath("_tpdf123-" + std::to_string(doc->docNumber) + ".pdf");
}

PdfPage* usedPage(PdfDoc* doc, int n) {
    if (!doc || n < 1 || n > doc->maxPages) return nullptr;
    PdfPage& page = doc->pages[static_cast<std::size_t>(n)];
    return page.pageNumber < 0 ? nullptr : &page;
}

void makePageCurrent(PdfDoc* doc, PdfPage& page) {
    doc->currentPage = page.pageNumber;
    doc->pageDomain = page.domain.get();
    activateDomain(doc, page.domain.get());
    doc->currentContent = page.content.get();
    doc->currentTempFile = page.tempFile.get();
    copyBounded(doc->mediaBox, page.mediaBox.c_str(), 62);
    copyBounded(doc->cropBox, page.cropBox.c_str(), 62);
}

// A box text as the caller gave it, read, and written again in the library's own form; false
// unless it is exactly four numbers readers take.
bool boxText(const char* text, std::string& out, float box[4]) {
    double values[4];
    if (!parseBox(text, values)) return false;
    out.clear();
    for (int i = 0; i < 4; ++i) {
        char number[64];
        if (formatNumber(number, sizeof number, values[i]) < 0) return false;
        if (i) out += ' ';
        out += number;
        box[i] = static_cast<float>(values[i]);
    }
    return true;
}

// The page's default domain maps inches onto the page.
DomainPtr defaultDomain(const PdfDoc* doc, const float box[4]) {
    const float ppi = doc->pointsPerInch;
    DomainPtr d(tpdf_createPlotDomain(box[0], box[1], box[2] - box[0], box[3] - box[1],
                                      box[0] / ppi, box[2] / ppi, box[1] / ppi, box[3] / ppi, 0,
                                      0, 0));
    if (!d) return d;
    for (int axis = 0; axis < 2; ++axis) {
        d->majorStart[axis] = 0.0f;
        d->majorStep[axis] = 1.0f;
        d->minorStart[axis] = 0.0f;
        d->minorStep[axis] = 0.5f;
    }
    return d;
}

int startContent(PdfDoc* doc, PdfPage& page, int n) {
    if (doc->contentInMemory) {
        page.content.reset(tpdf_openMemoryStream());
        return page.content ? 0 : -1;
    }
    page.tempName = tempPath("_tpdf123-" + std::to_string(doc->docNumber) + "-" +
                             std::to_string(n));
    // An unnamed temporary file: it cannot collide with another document's and leaves nothing
    // behind.
    page.tempFile.reset(std::tmpfile());
    if (page.tempFile) return 0;
    tpdf_Error(doc, 2, kModule, "Cannot open %s as temporary content file",
               page.tempName.c_str());
    return -2;
}

int openOutputFile(PdfDoc* doc) {
    if (doc->outputFile) return 0;
    std::string name = doc->outputNameSet ? doc->outputFileName : defaultOutputName(doc);
    if (doc->toStdout || name == "-") {
        doc->outputFile.reset(stdout);
        return 0;
    }
    doc->outputFile.reset(std::fopen(name.c_str(), "wb"));
    if (doc->outputFile) return 0;
    tpdf_Error(doc, 2, kModule, "Cannot open %s for PDF output", name.c_str());
    return 1;
}

int initPage(PdfDoc* doc, int n, int rotationCode, const char* mediaBox, const char* cropBox) {
    PdfPage page;
    page.pageNumber = n;
    page.rotation = rotationCode == 2 ? 90 : rotationCode == 1 ? 270 : 0;
    float media[4], crop[4];
    if (!boxText(mediaBox, page.mediaBox, media) || !boxText(cropBox, page.cropBox, crop)) {
        tpdf_Error(doc, 1, kModule, "Page %d: a media box and a crop box are four numbers each",
                   n);
        return -1;
    }
    page.domain = defaultDomain(doc, crop);
    if (!page.domain) return -1;
    if (const int rc = startContent(doc, page, n); rc != 0) return rc;

    PdfPage& slot = doc->pages[static_cast<std::size_t>(n)];
    slot = std::move(page);
    doc->highestPage = std::max(doc->highestPage, n);
    doc->pageRotation = slot.rotation;
    doc->textMatrix = {1, 0, 0, 1, 0, 0};
    makePageCurrent(doc, slot);
    return 0;
}

// The output goes where it was opened: a name or stdout given later would never be used.
bool outputStillToOpen(PdfDoc* doc, const char* call) {
    if (!openForChanges(doc, call)) return false;
    if (!doc->outputFile) return true;
    tpdf_Error(doc, 1, kModule, "%s comes after the output file was opened and changes nothing", call);
    failCall(doc);
    return false;
}

} // namespace

int tpdf::openOutputFileFor(PdfDoc* doc) { return openOutputFile(doc); }
PdfPage* tpdf::findUsedPage(PdfDoc* doc, int n) { return usedPage(doc, n); }

void tpdf::detachPageContent(PdfDoc* doc, PdfPage& page) {
    page.flags |= kPageFinalized;
    const bool current = (page.content && doc->currentContent == page.content.get()) ||
                         (page.tempFile && doc->currentTempFile == page.tempFile.get()) ||
                         doc->currentPage == page.pageNumber;
    if (!current) return;
    doc->currentContent = nullptr;
    doc->currentTempFile = nullptr;
}

bool tpdf::pagesStillUse(PdfDoc* doc, std::vector<int> PdfPage::*list, const char* what) {
    if (doc->finalized) return false;
    for (const PdfPage& page : doc->pages) {
        if (page.pageNumber < 0 || (page.*list).empty()) continue;
        tpdf_Error(doc, 1, kModule, "%s are used on page %d: they are freed with the document",
                   what, page.pageNumber);
        failCall(doc);
        return true;
    }
    return false;
}

bool tpdf::openForChanges(PdfDoc* doc, const char* call) {
    if (!doc->finalized) return true;
    tpdf_Error(doc, 1, kModule, "%s comes after the document was finalized and changes nothing",
               call);
    failCall(doc);
    return false;
}

extern "C" {

void tpdf_setDefaultLimits(int maxPages, int maxFonts, int maxImages, int maxAnnots,
                           int maxObjects) {
    if (maxPages > 0) defaultLimits.maxPages = maxPages;
    if (maxFonts > 0) defaultLimits.maxFonts = maxFonts;
    if (maxImages > 0) defaultLimits.maxImages = maxImages;
    if (maxAnnots > 0) defaultLimits.maxAnnots = maxAnnots;
    if (maxObjects > 0) defaultLimits.maxObjects = maxObjects;
}

PdfDoc* tpdf_open(int mode, const PdfDocLimits* limits) {
    auto doc = std::make_unique<PdfDoc>();
    doc->mode = mode;
    doc->maxPages = pick(limits, &PdfDocLimits::maxPages);
    doc->maxFonts = pick(limits, &PdfDocLimits::maxFonts);
    doc->maxImages = pick(limits, &PdfDocLimits::maxImages);
    doc->maxAnnots = pick(limits, &PdfDocLimits::maxAnnots);
    doc->maxObjects = pick(limits, &PdfDocLimits::maxObjects);
    if (doc->maxPages == INT_MAX) throw std::bad_alloc(); // one more entry would not fit
    doc->pages.resize(static_cast<std::size_t>(doc->maxPages) + 1);
    doc->kids.reserve(static_cast<std::size_t>(doc->maxPages) + 1);
    doc->fonts.reserve(static_cast<std::size_t>(doc->maxFonts));
    doc->images.reserve(static_cast<std::size_t>(doc->maxImages));
    // Entries a caller was handed (tpdf_annotEntry) stay where they are as the table fills.
    doc->annots.reserve(static_cast<std::size_t>(doc->maxAnnots));
    doc->objectOffsets.assign(static_cast<std::size_t>(doc->maxObjects), 0);

    copyBounded(doc->creator, "A TarvexPDF program", 62);
    copyBounded(doc->title, "No Title", 62);
    copyBounded(doc->subject, "None", 62);
    copyBounded(doc->keywords, "TarvexPDF", 126);
    copyBounded(doc->fontMapFile, "fontmap.lst", 1023);
    copyBounded(doc->metricFolder, "/usr/local/font/pfm", 1020);
    copyBounded(doc->outlineFolder, "/usr/local/font/pfb", 1020);
    doc->compressCommand = "\\Bin\\zlibcomp";
    doc->filterName = "/FlateDecode";
    for (int i = 0; i < 12; ++i) doc->monthNames[static_cast<std::size_t>(i)] =
        kDefaultMonthNames[i];
    doc->errorHandler = tpdf_defaultErrorHandler;
    doc->scratch.reset(tpdf_openMemoryStream());
    if (!doc->scratch) return nullptr;
    doc->state = 1;
    recordOpened(doc.get());
    return doc.release();
}

int tpdf_init(PdfDoc* doc) {
    if (!doc) return -1;
    copyBounded(doc->author, "Windows NT/95/98 User", 60);
    if (doc->state != 1) {
        tpdf_Error(doc, -1, kModule, "tpdf_open() has not been called.");
        // Starting over would throw away the pages already built.
        return -1;
    }
    doc->state = 2;
    if (doc->memoryOutput) {
        doc->outputStream.reset(tpdf_openMemoryStream());
        return doc->outputStream ? 0 : -1;
    }
    return openOutputFile(doc);
}

int tpdf_pageInit(PdfDoc* doc, int n, int rotationCode, const char* mediaBox,
                  const char* cropBox) {
    if (!doc) return -1;
    if (doc->state != 2) {
        tpdf_Error(doc, 1, kModule, "tpdf_init() has not been called");
        return -1;
    }
    if (doc->finalized) {
        tpdf_Error(doc, 1, kModule, "Page %d: the document has already been finalized", n);
        return -1;
    }
    if (n < 1) {
        tpdf_Error(doc, 1, kModule, "Page number must be 1 or greater");
        return -1;
    }
    if (n > doc->maxPages) {
        tpdf_Error(doc, 1, kModule, "Too many pages: %d. Increase limit by tpdf_open()", n);
        return -1;
    }
    if (usedPage(doc, n)) {
        tpdf_Error(doc, 1, kModule, "Page %d is already initialized", n);
        return tpdf_setCurrentPage(doc, n) == 0 ? 0 : -1;
    }
    if (!mediaBox || !cropBox) {
        tpdf_Error(doc, 1, kModule, "Page %d needs a media box and a crop box", n);
        return -1;
    }
    return initPage(doc, n, rotationCode, mediaBox, cropBox);
}

int tpdf_setCurrentPage(PdfDoc* doc, int n) {
    if (!doc) return -1;
    PdfPage* page = usedPage(doc, n);
    if (page && n == doc->currentPage && !(page->flags & kPageFinalized)) return 0;
    if (!page) {
        tpdf_Error(doc, 2, kModule, "Cannot switch to page %d because it has not been initialized",
                   n);
        return -1;
    }
    if (page->flags & kPageFinalized) {
        tpdf_Error(doc, 2, kModule,
                   "Cannot switch to page %d because it has already been finalized", n);
        return -2;
    }
    makePageCurrent(doc, *page);
    return 0;
}

void tpdf_finalizePage(PdfDoc* doc, int n) {
    PdfPage* page = usedPage(doc, n);
    if (!page) {
        tpdf_Error(doc, 1, kModule, "Cannot finalize page %d because it has not been initialized", n);
        failCall(doc);
        return;
    }
    if (page->flags & (kPageFinalized | kPageCompressed)) return;
    if (doc->compress && doc->contentInMemory) tpdf_compressPageContent(doc, n);
    if (page->tempFile) std::fflush(page->tempFile.get());
    detachPageContent(doc, *page);
}

const unsigned char* tpdf_getOutputBuffer(PdfDoc* doc, int* length) {
    if (length) *length = 0;
    if (!doc || !doc->memoryOutput || !doc->outputStream) return nullptr;
    if (length) *length = doc->outputStream->count;
    return doc->outputStream->buffer;
}

int tpdf_savePDFmemoryStreamToFile(PdfDoc* doc, const char* fileName) {
    if (!doc || !fileName) return -1;
    copyBounded(doc->outputFileName, fileName, 1022);
    doc->outputNameSet = 1;
    if (!doc->memoryOutput || !doc->outputStream) return -1;
    if (!doc->finalized) {
        tpdf_Error(doc, 1, kModule, "tpdf_finalizeAll() has not been called");
        return -1;
    }
    if (doc->failed) {
        tpdf_Error(doc, 2, kModule, "The document is incomplete and was not saved to %s",
                   fileName);
        return -1;
    }
    return tpdf_saveMemoryStreamToFile(doc->outputStream.get(), fileName);
}

void tpdf_close(PdfDoc* doc) {
    if (!doc) return;
    recordClosed(doc);
    releaseImages(doc); // the font records go with the document's tables
    tpdf_freeAnnotations(doc);
    tpdf_freeOutlines(doc);
    doc->state = 0;
    delete doc;
}

void tpdf_setCreationTime(PdfDoc* doc, const struct tm* when) {
    if (!doc || !openForChanges(doc, "tpdf_setCreationTime")) return;
    if (when && !isFileDate(*when)) {
        tpdf_Error(doc, 1, kModule, "tpdf_setCreationTime refused a date out of range");
        failCall(doc);
        return;
    }
    doc->fixedTime = when != nullptr;
    if (when) doc->creationTime = *when;
}

void tpdf_raisePdfVersion(PdfDoc* doc, int major, int minor) {
    if (!doc || (doc->pdfMinor >= minor && doc->pdfMajor >= major)) return;
    if (!openForChanges(doc, "tpdf_raisePdfVersion")) return;
    doc->pdfMinor = minor;
    doc->pdfMajor = std::max(doc->pdfMajor, major);
}

void tpdf_setCreator(PdfDoc* doc, const char* text) {
    if (doc && openForChanges(doc, "tpdf_setCreator")) copyBounded(doc->creator, text, 62);
}
void tpdf_setTitle(PdfDoc* doc, const char* text) {
    if (doc && openForChanges(doc, "tpdf_setTitle")) copyBounded(doc->title, text, 62);
}
void tpdf_setSubject(PdfDoc* doc, const char* text) {
    if (doc && openForChanges(doc, "tpdf_setSubject")) copyBounded(doc->subject, text, 62);
}
void tpdf_setKeywords(PdfDoc* doc, const char* text) {
    if (doc && openForChanges(doc, "tpdf_setKeywords")) copyBounded(doc->keywords, text, 126);
}

int tpdf_setOutputFileName(PdfDoc* doc, const char* name) {
    if (!doc || !name || !outputStillToOpen(doc, "tpdf_setOutputFileName")) return -1;
    copyBounded(doc->outputFileName, name, 1022);
    doc->outputNameSet = 1;
    doc->memoryOutput = 0;
    return 0;
}

const char* tpdf_getOutputFileName(PdfDoc* doc) { return doc ? doc->outputFileName : nullptr; }

void tpdf_setUseStdout(PdfDoc* doc, int flag) {
    if (!doc || !outputStillToOpen(doc, "tpdf_setUseStdout")) return;
    doc->toStdout = flag != 0;
    if (flag) doc->memoryOutput = 0;
}

// Each page keeps its content where it was started, and the file is written from one place for
// all pages: the place is chosen before the first page.
void tpdf_setContentInMemory(PdfDoc* doc, int flag) {
    if (!doc || doc->contentInMemory == (flag != 0)) return;
    if (!openForChanges(doc, "tpdf_setContentInMemory")) return;
    for (const PdfPage& page : doc->pages) {
        if (page.pageNumber < 0) continue;
        tpdf_Error(doc, 1, kModule,
                   "tpdf_setContentInMemory comes after page %d was started and changes nothing",
                   page.pageNumber);
        failCall(doc);
        return;
    }
    doc->contentInMemory = flag != 0;
}

void tpdf_setPointsPerInch(PdfDoc* doc, float value) {
    if (doc && openForChanges(doc, "tpdf_setPointsPerInch") &&
        finiteNumbers(doc, "tpdf_setPointsPerInch", {value}) && value > 0.0f)
        doc->pointsPerInch = value;
}

void tpdf_setPageDuration(PdfDoc* doc, float seconds) {
    if (!doc || !finiteNumbers(doc, "tpdf_setPageDuration", {seconds})) return;
    PdfPage* page = usedPage(doc, doc->currentPage);
    if (!page || (page->flags & kPageFinalized)) {
        refuseWithoutPage(doc, "tpdf_setPageDuration");
        return;
    }
    page->duration = seconds;
}

void tpdf_setViewerPreferences(PdfDoc* doc, const PdfViewerPreferences* prefs) {
    if (doc && prefs && openForChanges(doc, "tpdf_setViewerPreferences")) doc->viewer = *prefs;
}

const char* tpdf_libraryVersion(void) { return "1.0.0"; }
const char* tpdf_platformName(void) { return "Windows 9x/NT"; }

long tpdf_fileSize(const char* name) {
    struct stat st {};
    if (!name || stat(name, &st) != 0) return 0;
    return static_cast<long>(st.st_size);
}

char* tpdf_appendInt(char* text, int value) {
    if (!text) return text;
    const std::size_t used = std::strlen(text);
    if (used >= 250) return text;
    char digits[16];
    const int n = format(digits, sizeof digits, "%d", value);
    if (n > 0) copyBounded(text + used, digits, static_cast<int>(std::min<std::size_t>(
                                                     static_cast<std::size_t>(n), 250 - used)));
    return text;
}

int tpdf_isBigEndian(void) {
    const std::uint16_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 0 ? 1 : 0;
}

} // extern "C"
