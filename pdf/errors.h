// Reports shared by every unit of the library.
#pragma once

#include "tpdf.h"

namespace tpdf {

inline constexpr const char* kModule = "TarvexPDF";

// "Memory allocation failure" through the global handler (level -2).
void reportNoMemory();

// Copies text into a fixed array, keeping at most maxChars characters and always ending it.
void copyBounded(char* dest, const char* text, int maxChars);

// A malloc'ed copy of text (NULL in, NULL out); reports when memory runs out.
char* duplicateText(const char* text);

} // namespace tpdf
