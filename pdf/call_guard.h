// The one guard every public call runs through: no C++ exception leaves the library, and a call
// that fails leaves the document as the same program without the call would have left it.
#pragma once

#include "doc_record.h"
#include "live_records.h"

#include <cstddef>
#include <tuple>
#include <type_traits>

namespace tpdf {

// Fields of the document saved whole at a call's start: a few numbers, copied field by field.
template <auto... Field> struct DocFields {
    using Values = std::tuple<std::remove_cvref_t<decltype(std::declval<PdfDoc&>().*Field)>...>;
    static Values save(const PdfDoc& doc) { return Values{doc.*Field...}; }
    static void restore(PdfDoc& doc, const Values& values) {
        std::apply([&doc](const auto&... v) { ((doc.*Field = v), ...); }, values);
    }
};

// The drawing state, the file's version and what its images need of the procedure sets.
using SavedFields =
    DocFields<&PdfDoc::penX, &PdfDoc::penY, &PdfDoc::fontSize, &PdfDoc::wordSpacing,
              &PdfDoc::charSpacing, &PdfDoc::horizScaling, &PdfDoc::leading, &PdfDoc::textRise,
              &PdfDoc::labelExtent, &PdfDoc::textMatrix, &PdfDoc::currentFont, &PdfDoc::hexText,
              &PdfDoc::pdfMajor, &PdfDoc::pdfMinor, &PdfDoc::procSetImageBits>;

// What a public call found when it began. The tables only grow at their ends while a call runs,
// so their sizes mark what it added; nothing is copied that only a failed call would need.
struct CallMark {
    int page = 0;
    PdfMemStream* stream = nullptr;
    int count = 0;          // the stream's end
    std::FILE* file = nullptr;
    long fileEnd = -1;      // the temporary file's end
    std::size_t fontUses = 0, imageUses = 0, annotUses = 0; // the page's lists
    std::size_t fonts = 0, descriptors = 0, fontInfos = 0, externalFonts = 0, images = 0,
                annots = 0;
    bool failed = false;
    bool finalized = false;
    SavedFields::Values fields{};
};

// Marks the document's running call as failed: what it wrote is taken back when it ends.
void failCall(PdfDoc* doc);

// One public call of a document. Calls made inside it share its fate: only the outermost keeps
// or takes back what all of them wrote.
class CallGuard {
public:
    CallGuard(PdfDoc* doc, const char* call) noexcept;
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;
    ~CallGuard() = default;

    void caught() noexcept; // reports the exception in flight; the call has failed
    bool end() noexcept;    // true when the call stands, false when it failed

private:
    PdfDoc* doc_;
    const char* call_;
    bool failedBefore_ = false;
    bool outermost_ = false;
    bool threw_ = false;
    CallMark mark_{};
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

// A failed call answers `refused`; so does one that would have answered 0 (done), or a pointer,
// although it wrote nothing.
// Whether an answer is a refusal: a negative one where the call refuses with -1, any but 0 where
// it refuses with a positive code (0 is done).
template <class R> bool refusalAnswer(R result, R refused) {
    if constexpr (std::is_integral_v<R> && std::is_signed_v<R>)
        return refused < 0 ? result < 0 : (refused > 0 && result != 0);
    else
        return false;
}

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
