#include "c_format.h"

#include <cstdio>

namespace tpdf {

namespace {
locale_t cLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}
} // namespace

CLocaleScope::CLocaleScope() : previous_(cLocale() ? uselocale(cLocale()) : nullptr) {}

CLocaleScope::~CLocaleScope() {
    if (previous_) uselocale(previous_);
}

int formatV(char* buffer, std::size_t size, const char* format, va_list args) {
    if (size == 0) return -1;
    CLocaleScope c;
    const int n = std::vsnprintf(buffer, size, format, args);
    if (n < 0 || static_cast<std::size_t>(n) >= size) return -1;
    return n;
}

int format(char* buffer, std::size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = formatV(buffer, size, format, args);
    va_end(args);
    return n;
}

int scanBox(const char* text, float out[4]) {
    out[0] = out[1] = out[2] = out[3] = 0.0f;
    if (!text) return 0;
    CLocaleScope c;
    const int n = std::sscanf(text, "%f %f %f %f", &out[0], &out[1], &out[2], &out[3]);
    return n < 0 ? 0 : n;
}

} // namespace tpdf
