// Reports shared by every unit of the library.
#pragma once

#include "tpdf.h"

#include <initializer_list>

namespace tpdf {

inline constexpr const char* kModule = "TarvexPDF";

// "Memory allocation failure" through the global handler (level -2).
void reportNoMemory();

// True when every value is a finite number. Otherwise reports (through the document's handler,
// or the global one without a document) that the call was refused: a NaN or an infinity has no
// PDF form, so the caller then writes and keeps nothing, and the running call fails whole.
bool finiteNumbers(PdfDoc* doc, const char* call, std::initializer_list<double> values);

// Copies text into a fixed array, keeping at most maxChars characters and always ending it.
void copyBounded(char* dest, const char* text, int maxChars);

// A malloc'ed copy of text (NULL in, NULL out); reports when memory runs out.
char* duplicateText(const char* text);

} // namespace tpdf
