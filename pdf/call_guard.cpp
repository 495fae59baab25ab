#include "call_guard.h"

#include "document.h"
#include "errors.h"

#include <exception>
#include <iterator>
#include <tuple>
#include <new>
#include <unistd.h>

namespace tpdf {

namespace {

// The drawing state a call may change before it fails.
constexpr float PdfDoc::*kFloatState[] = {
    &PdfDoc::penX,        &PdfDoc::penY,         &PdfDoc::fontSize,
    &PdfDoc::wordSpacing, &PdfDoc::charSpacing,  &PdfDoc::horizScaling,
    &PdfDoc::leading,     &PdfDoc::textRise,     &PdfDoc::labelExtent};
constexpr int PdfDoc::*kIntState[] = {&PdfDoc::currentFont, &PdfDoc::hexText};
static_assert(std::size(kFloatState) == std::tuple_size_v<decltype(CallMark::floats)>);
static_assert(std::size(kIntState) == std::tuple_size_v<decltype(CallMark::ints)>);

CallMark markOf(PdfDoc* doc) {
    CallMark m;
    m.page = doc->currentPage;
    m.stream = doc->currentContent;
    m.count = m.stream ? m.stream->count : 0;
    m.file = doc->currentTempFile;
    m.filePos = m.file ? std::ftell(m.file) : -1;
    if (const PdfPage* page = findUsedPage(doc, m.page)) {
        m.fontUses = page->fontList.size();
        m.imageUses = page->imageList.size();
    }
    m.textMatrix = doc->textMatrix;
    for (std::size_t i = 0; i < m.floats.size(); ++i) m.floats[i] = doc->*kFloatState[i];
    for (std::size_t i = 0; i < m.ints.size(); ++i) m.ints[i] = doc->*kIntState[i];
    return m;
}

// Content is taken back only on the page and stream the call began with, which are then still
// the document's own.
void takeBack(PdfDoc* doc, const CallMark& m) {
    if (doc->currentPage == m.page) {
        PdfMemStream* s = m.stream;
        if (s && doc->currentContent == s && s->count >= m.count) {
            s->count = m.count;
            s->buffer[s->count] = 0;
        }
        std::FILE* f = m.file;
        if (f && doc->currentTempFile == f && m.filePos >= 0 && std::fflush(f) == 0 &&
            ftruncate(fileno(f), m.filePos) == 0)
            std::fseek(f, m.filePos, SEEK_SET);
        if (PdfPage* page = findUsedPage(doc, m.page)) {
            if (page->fontList.size() > m.fontUses) page->fontList.resize(m.fontUses);
            if (page->imageList.size() > m.imageUses) page->imageList.resize(m.imageUses);
        }
    }
    doc->textMatrix = m.textMatrix;
    for (std::size_t i = 0; i < m.floats.size(); ++i) doc->*kFloatState[i] = m.floats[i];
    for (std::size_t i = 0; i < m.ints.size(); ++i) doc->*kIntState[i] = m.ints[i];
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

CallGuard::CallGuard(PdfDoc* doc, const char* call) noexcept : doc_(doc), call_(call) {
    if (!doc_) return;
    outermost_ = doc_->callDepth++ == 0;
    failedBefore_ = doc_->callFailed;
    doc_->callFailed = false;
    if (outermost_) mark_ = markOf(doc_);
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

bool CallGuard::end() noexcept {
    if (!doc_) return !threw_;
    const bool failed = doc_->callFailed;
    --doc_->callDepth;
    doc_->callFailed = failedBefore_ || failed;
    if (outermost_) {
        if (failed) takeBack(doc_, mark_);
        doc_->callFailed = false;
    }
    return !failed;
}

} // namespace tpdf
