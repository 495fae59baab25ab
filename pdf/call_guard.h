// The one guard every public call runs through: no C++ exception leaves the library, and a call
// that fails leaves the document as the same program without the call would have left it.
#pragma once

#include "doc_record.h"
#include "live_records.h"

#include <type_traits>

namespace tpdf {

// Marks the document's running call as failed: what it wrote is taken back when it ends.
void failCall(PdfDoc* doc);

// The marks the two below take when a call first writes: the end of the page's temporary file,
// and the sizes of the tables and of the page's lists.
void markFileEnd(PdfDoc* doc);
void markTables(PdfDoc* doc);

// Called before a call first appends to the current page's content: its end is marked then.
inline void noteContentGrowth(PdfDoc* doc) {
    CallMark& m = doc->callMark;
    if (doc->callDepth == 0 || m.contentMarked) return;
    m.contentMarked = true;
    m.page = doc->currentPage;
    m.stream = doc->currentContent;
    m.count = m.stream ? m.stream->count : 0;
    m.file = doc->currentTempFile;
    if (m.file) markFileEnd(doc);
}

// Called before anything is added to the font, descriptor, font-info, image, annotation or
// outline table, or to a page's lists of them: their sizes are marked then.
inline void noteTableGrowth(PdfDoc* doc) {
    if (doc->callDepth > 0 && !doc->callMark.tablesMarked) markTables(doc);
}

// One public call of a document. Calls made inside it share its fate: only the outermost keeps
// or takes back what all of them wrote.
class CallGuard {
public:
    CallGuard(PdfDoc* doc, const char* call) noexcept : doc_(doc), call_(call) {
        if (!doc_) return;
        outermost_ = doc_->callDepth++ == 0;
        failedBefore_ = doc_->callFailed;
        doc_->callFailed = false;
        if (!outermost_) return;
        CallMark& m = doc_->callMark;
        m.failed = doc_->failed;
        m.finalized = doc_->finalized;
        m.contentMarked = false;
        m.tablesMarked = false;
        m.state = *doc_;
    }
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;
    ~CallGuard() = default;

    void caught() noexcept; // reports the exception in flight; the call has failed
    // True when the call stands, false when it failed.
    bool end() noexcept {
        if (!doc_) return !threw_;
        const bool failed = doc_->callFailed;
        --doc_->callDepth;
        if (!outermost_) {
            doc_->callFailed = failedBefore_ || failed;
        } else if (failed) [[unlikely]] {
            takeBack();
            doc_->callFailed = false;
        }
        return !failed;
    }

private:
    void takeBack() noexcept;

    PdfDoc* doc_;
    const char* call_;
    bool failedBefore_ = false;
    bool outermost_ = false;
    bool threw_ = false;
};

template <class Body> void guardedCall(PdfDoc* doc, const char* call, Body&& body) noexcept {
    CallGuard guard(doc, call);
    try {
        body();
    } catch (...) {
        guard.caught();
    }
    guard.end();
}

// Whether an answer is a refusal: a negative one where the call refuses with -1. (A positive
// answer may be a finding, such as "not listed"; the calls refused with one fail themselves.)
template <class R> bool refusalAnswer(R result, R refused) {
    if constexpr (std::is_integral_v<R> && std::is_signed_v<R>)
        return refused < 0 && result < 0;
    else
        return false;
}

// A failed call answers `refused`; so does one that would have answered 0 (done), or a pointer,
// although it wrote nothing.
template <class Refused, class Body>
auto guardedCall(PdfDoc* doc, const char* call, Refused refused, Body&& body) noexcept {
    using R = std::invoke_result_t<Body&>;
    CallGuard guard(doc, call);
    try {
        const R result = body();
        // A call that answers a refusal has failed, reported or not: whatever it changed (a
        // re-entrant error handler's drawing too) is taken back.
        if (refusalAnswer(result, R(refused))) failCall(doc);
        if (guard.end()) return result;
        if constexpr (std::is_arithmetic_v<R>) return result == R{} ? R(refused) : result;
        else return R(refused);
    } catch (...) {
        guard.caught();
    }
    guard.end();
    return R(refused);
}

} // namespace tpdf
