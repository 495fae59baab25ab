#include "call_guard.h"

#include "document.h"
#include "errors.h"

#include <exception>
#include <new>
#include <unistd.h>

namespace tpdf {

namespace {

template <class T> void shrink(std::vector<T>& v, std::size_t size) {
    if (v.size() > size) v.resize(size);
}

void takeBackContent(PdfDoc* doc, const CallMark& m) {
    if (!m.contentMarked || doc->currentPage != m.page) return;
    PdfPage* page = findUsedPage(doc, m.page);
    PdfMemStream* s = m.stream;
    if (s && doc->currentContent == s && s->count >= m.count) {
        s->count = m.count;
        s->buffer[s->count] = 0;
    }
    std::FILE* f = m.file;
    if (f && page && page->tempFile.get() == f && m.fileEnd >= 0 &&
        std::fflush(f) == 0 && ftruncate(fileno(f), m.fileEnd) == 0 &&
        std::fseek(f, m.fileEnd, SEEK_SET) == 0)
        page->tempBytes = m.fileEnd;
}

// Entries the call added to the tables go, and so does every page's use of them.
void takeBackEntries(PdfDoc* doc, const CallMark& m) {
    if (!m.tablesMarked) return;
    if (PdfPage* page = findUsedPage(doc, m.tablesPage)) {
        shrink(page->fontList, m.fontUses);
        shrink(page->imageList, m.imageUses);
        shrink(page->annotList, m.annotUses);
    }
    const bool fontsAdded = doc->fonts.size() > m.fonts, imagesAdded = doc->images.size() > m.images;
    if (fontsAdded || imagesAdded) {
        const int fonts = static_cast<int>(m.fonts), images = static_cast<int>(m.images);
        for (PdfPage& page : doc->pages) {
            std::erase_if(page.fontList, [fonts](int i) { return i >= fonts; });
            std::erase_if(page.imageList, [images](int i) { return i >= images; });
        }
    }
    shrink(doc->fonts, m.fonts);
    shrink(doc->externalFonts, m.fontInfos);
    shrink(doc->fontInfos, m.fontInfos);
    shrink(doc->descriptors, m.descriptors);
    releaseImages(doc, m.images);
    releaseAnnotations(doc, m.annots);
    releaseOutlines(doc, m.outlines);
}

void reportFailure(PdfDoc* doc, const char* call, const char* what) noexcept {
    static const char* const kFormat = "%s failed: %s";
    // A caller's handler that throws in turn is not let through either.
    try {
        if (doc) tpdf_Error(doc, 2, kModule, kFormat, call, what);
        else tpdf_GlobalError(2, kModule, kFormat, call, what);
    } catch (...) {
    }
}

} // namespace

void failCall(PdfDoc* doc) {
    if (doc && doc->callDepth > 0) doc->callFailed = true;
}

void markFileEnd(PdfDoc* doc) {
    CallMark& m = doc->callMark;
    const PdfPage* page = findUsedPage(doc, m.page);
    m.fileEnd = page ? page->tempBytes : -1;
}

void markTables(PdfDoc* doc) {
    CallMark& m = doc->callMark;
    m.tablesMarked = true;
    m.tablesPage = doc->currentPage;
    const PdfPage* page = findUsedPage(doc, m.tablesPage);
    m.fontUses = page ? page->fontList.size() : 0;
    m.imageUses = page ? page->imageList.size() : 0;
    m.annotUses = page ? page->annotList.size() : 0;
    m.fonts = doc->fonts.size();
    m.descriptors = doc->descriptors.size();
    m.fontInfos = doc->fontInfos.size(); // the external fonts' metrics are listed in step
    m.images = doc->images.size();
    m.annots = doc->annots.size();
    m.outlines = doc->outlines.size();
}

void CallGuard::takeBack() noexcept {
    PdfDoc* doc = doc_;
    const CallMark& m = doc->callMark;
    takeBackContent(doc, m);
    takeBackEntries(doc, m);
    static_cast<CallState&>(*doc) = m.state;
    // A call that began writing the file cannot take its bytes back: the document stays failed.
    if (doc->finalized == m.finalized) doc->failed = m.failed;
}

void CallGuard::caught() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        try {
            reportNoMemory();
        } catch (...) {
        }
    } catch (const std::exception& e) {
        reportFailure(doc_, call_, e.what());
    } catch (...) {
        reportFailure(doc_, call_, "an unknown exception");
    }
    threw_ = true;
    if (!doc_) return;
    doc_->callFailed = true;
    // An object half written would pass for a whole file.
    if (doc_->finalized) doc_->failed = true;
}

} // namespace tpdf
