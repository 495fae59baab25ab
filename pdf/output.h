// Writing object text to the output and operators to the current page's content.
#pragma once

#include "doc_record.h"
#include "errors.h"

#include <cmath>
#include <type_traits>

namespace tpdf {

// Formats one line into the document's lineBuffer and appends it to the output.
// -1 when the line does not fit or the output cannot take it (the document is then failed).
int writeLine(PdfDoc* doc, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Appends raw bytes to the output, counting them in byteOffset.
int writeOutput(PdfDoc* doc, const void* bytes, int length);

// Formats one line into lineBuffer and appends it to the current page's content.
int formatContentLine(PdfDoc* doc, const char* format, ...) __attribute__((format(printf, 2, 3)));

template <class T> bool isFiniteArgument(T value) {
    if constexpr (std::is_floating_point_v<T>) return std::isfinite(value);
    else return true;
}

// formatContentLine for operator lines: a line with a number that is not finite would damage
// the content stream, so it is refused and reported instead, whatever computed the number.
template <class... Args> int contentLine(PdfDoc* doc, const char* format, Args... args) {
    if (!(isFiniteArgument(args) && ...)) {
        finiteNumbers(doc, "A content operator", {NAN});
        return -1;
    }
    return formatContentLine(doc, format, args...);
}

// True when a page is open for drawing: started, current, not finalised.
bool drawingPageOpen(const PdfDoc* doc);
// Reports that `what` needs an open page and fails the running call; -1.
int refuseWithoutPage(PdfDoc* doc, const char* what);

// Appends bytes to the current page's content: its memory stream, or its temporary file. A
// failure fails the running call, so that nothing of it stays.
int appendContent(PdfDoc* doc, const char* bytes, int length);

// Marks the document as failed with a report; returns -1.
int failDocument(PdfDoc* doc, const char* what);

} // namespace tpdf
