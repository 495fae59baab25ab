// Reports shared by every unit of the library.
#pragma once

#include "c_format.h"
#include "tpdf.h"

#include <initializer_list>

namespace tpdf {

inline constexpr const char* kModule = "TarvexPDF";

// "Memory allocation failure" through the global handler (level -2).
void reportNoMemory();

// True when every value is a number readers take in that form; otherwise reports the first
// that is not, as finiteNumbers and integerNumbers below do, and fails the running call.
bool numbersFit(PdfDoc* doc, const char* call, std::initializer_list<double> values,
                NumberForm form);

// True when every value is a number readers take as a real: finite and within about +-3.4e38.
// Otherwise reports (through the document's handler, or the global one without a document)
// that the call was refused: such a number has no PDF form, so the caller then writes and
// keeps nothing, and the running call fails whole.
// Checked where it is called, as every drawing operator calls it; only a refusal goes further.
inline bool finiteNumbers(PdfDoc* doc, const char* call, std::initializer_list<double> values) {
    for (const double v : values)
        if (checkNumber(v, NumberForm::Real) != NumberCheck::Fits) [[unlikely]]
            return numbersFit(doc, call, values, NumberForm::Real);
    return true;
}
// The same for values written as integers: within 32 bits once rounded.
bool integerNumbers(PdfDoc* doc, const char* call, std::initializer_list<double> values);

// Reports that call refused a number: not finite, or beyond what readers take.
void reportRefusedNumber(PdfDoc* doc, const char* call, bool notFinite);

// Copies text into a fixed array, keeping at most maxChars characters and always ending it.
void copyBounded(char* dest, const char* text, int maxChars);

// A malloc'ed copy of text (NULL in, NULL out); reports when memory runs out.
char* duplicateText(const char* text);

} // namespace tpdf
