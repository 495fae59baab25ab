// Reports shared by every unit of the library.
#pragma once

#include "tpdf.h"

#include <initializer_list>

namespace tpdf {

inline constexpr const char* kModule = "TarvexPDF";

// "Memory allocation failure" through the global handler (level -2).
void reportNoMemory();

// True when every value is a number readers take as a real: finite and within about +-3.4e38.
// Otherwise reports (through the document's handler, or the global one without a document)
// that the call was refused: such a number has no PDF form, so the caller then writes and
// keeps nothing, and the running call fails whole.
bool finiteNumbers(PdfDoc* doc, const char* call, std::initializer_list<double> values);
// The same for values written as integers: within 32 bits once rounded.
bool integerNumbers(PdfDoc* doc, const char* call, std::initializer_list<double> values);

// Reports that call refused a number: not finite, or beyond what readers take.
void reportRefusedNumber(PdfDoc* doc, const char* call, bool notFinite);

// Copies text into a fixed array, keeping at most maxChars characters and always ending it.
void copyBounded(char* dest, const char* text, int maxChars);

// A malloc'ed copy of text (NULL in, NULL out); reports when memory runs out.
char* duplicateText(const char* text);

} // namespace tpdf
