// printf-style formatting that always writes numbers with "." whatever the process locale.
#pragma once

#include <clocale>
#include <cstdarg>
#include <cstddef>
#include <locale.h>

namespace tpdf {

// Switches this thread to the "C" locale for its lifetime.
class CLocaleScope {
public:
    CLocaleScope();
    ~CLocaleScope();
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_;
};

// Formats into buffer (always NUL-terminated). Returns the length written, or -1 when the
// text did not fit (the buffer then holds a cut text).
int formatV(char* buffer, std::size_t size, const char* format, va_list args);
int format(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Reads four numbers "x0 y0 x1 y1"; missing ones stay 0. Returns how many were read.
int scanBox(const char* text, float out[4]);

} // namespace tpdf
