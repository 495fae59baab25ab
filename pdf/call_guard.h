// The one guard every public call runs through: no C++ exception leaves the library, and a call
// that fails leaves the page it drew on as it was before the call.
#pragma once

#include "doc_record.h"
#include "live_records.h"

#include <type_traits>

namespace tpdf {

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
template <class Refused, class Body>
auto guardedCall(PdfDoc* doc, const char* call, Refused refused, Body&& body) noexcept {
    using R = std::invoke_result_t<Body&>;
    CallGuard guard(doc, call);
    try {
        const R result = body();
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
