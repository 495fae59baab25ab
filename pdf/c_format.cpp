#include "c_format.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tpdf {

namespace {

locale_t cLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool fitsInteger(long long v) { return v >= INT32_MIN && v <= INT32_MAX; }

bool isFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0' || c == '\''; }
bool isLength(char c) {
    return c == 'h' || c == 'l' || c == 'L' || c == 'j' || c == 'z' || c == 't';
}

// The arguments as one object, so that helpers can take them in turn.
struct Arguments {
    va_list list;
};

struct Conversion {
    bool alternate = false;
    int precision = -1;
    char length = 0; // 'H' hh, 'h', 'l', 'q' ll, 'L', 'j', 'z', 't', or 0
    char type = 0;
};

// Reads one conversion after its '%', taking any '*' width or precision from args.
const char* readConversion(const char* p, Arguments& args, Conversion& c) {
    while (isFlag(*p)) c.alternate |= *p++ == '#';
    if (*p == '*') {
        (void)va_arg(args.list, int);
        ++p;
    }
    while (isDigit(*p)) ++p;
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            c.precision = va_arg(args.list, int);
            ++p;
        } else {
            c.precision = 0;
            while (isDigit(*p)) c.precision = c.precision * 10 + (*p++ - '0');
        }
    }
    if (p[0] == 'h' && p[1] == 'h') c.length = 'H', p += 2;
    else if (p[0] == 'l' && p[1] == 'l') c.length = 'q', p += 2;
    else if (isLength(*p)) c.length = *p++;
    c.type = *p;
    return *p ? p + 1 : p;
}

long long signedArgument(Arguments& args, char length) {
    switch (length) {
    case 'l': return va_arg(args.list, long);
    case 'q': return va_arg(args.list, long long);
    case 'j': return static_cast<long long>(va_arg(args.list, std::intmax_t));
    case 'z': return static_cast<long long>(va_arg(args.list, std::size_t));
    case 't': return static_cast<long long>(va_arg(args.list, std::ptrdiff_t));
    default: return va_arg(args.list, int);
    }
}

unsigned long long unsignedArgument(Arguments& args, char length) {
    switch (length) {
    case 'l': return va_arg(args.list, unsigned long);
    case 'q': return va_arg(args.list, unsigned long long);
    case 'j': return va_arg(args.list, std::uintmax_t);
    case 'z': return va_arg(args.list, std::size_t);
    case 't': return static_cast<unsigned long long>(va_arg(args.list, std::ptrdiff_t));
    default: return va_arg(args.list, unsigned);
    }
}

// Whether a floating conversion of v writes a number readers take.
bool floatingFits(const Conversion& c, double v) {
    if (checkNumber(v, NumberForm::Real) != NumberCheck::Fits) return false;
    const int precision = c.precision < 0 ? 6 : c.precision;
    if (c.type == 'f' || c.type == 'F') {
        const bool integer = precision == 0 && !c.alternate;
        return !integer || checkNumber(v, NumberForm::Integer) == NumberCheck::Fits;
    }
    if (c.type != 'g' && c.type != 'G') return false; // exponent or hexadecimal forms
    char token[512];
    const int n = c.alternate ? std::snprintf(token, sizeof token, "%#.*g", precision, v)
                              : std::snprintf(token, sizeof token, "%.*g", precision, v);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof token) return false;
    double value = 0;
    bool integer = false;
    return readNumberToken(token, token + n, &value, &integer);
}

// True when every number the format writes is one readers take.
bool numbersFit(const char* format, Arguments& args) {
    for (const char* p = format; *p;) {
        if (*p++ != '%') continue;
        if (*p == '%') {
            ++p;
            continue;
        }
        Conversion c;
        p = readConversion(p, args, c);
        switch (c.type) {
        case 'd': case 'i':
            if (!fitsInteger(signedArgument(args, c.length))) return false;
            break;
        case 'u':
            if (unsignedArgument(args, c.length) > INT32_MAX) return false;
            break;
        case 'o': case 'x': case 'X': (void)unsignedArgument(args, c.length); break;
        case 'c': (void)va_arg(args.list, int); break;
        case 's': (void)va_arg(args.list, const char*); break;
        case 'p': (void)va_arg(args.list, void*); break;
        case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A': {
            const double v = c.length == 'L' ? static_cast<double>(va_arg(args.list, long double))
                                             : va_arg(args.list, double);
            if (!floatingFits(c, v)) return false;
            break;
        }
        default: return false; // %n, or a conversion nothing here writes
        }
    }
    return true;
}

} // namespace

CLocaleScope::CLocaleScope() : previous_(cLocale() ? uselocale(cLocale()) : nullptr) {}

CLocaleScope::~CLocaleScope() {
    if (previous_) uselocale(previous_);
}


namespace {
// vsnprintf under the "C" locale the caller has switched to.
int formatInC(char* buffer, std::size_t size, const char* format, va_list args) {
    const int n = std::vsnprintf(buffer, size, format, args);
    if (n < 0 || static_cast<std::size_t>(n) >= size) return kTextTooLong;
    return n;
}
} // namespace

int formatMessageV(char* buffer, std::size_t size, const char* format, va_list args) {
    if (size == 0) return kTextTooLong;
    CLocaleScope c;
    return formatInC(buffer, size, format, args);
}

int formatV(char* buffer, std::size_t size, const char* format, va_list args) {
    if (size == 0) return kTextTooLong;
    Arguments check;
    va_copy(check.list, args);
    const bool fit = numbersFit(format, check);
    va_end(check.list);
    if (!fit) {
        buffer[0] = '\0';
        return kNumberRefused;
    }
    CLocaleScope c;
    return formatInC(buffer, size, format, args);
}

int format(char* buffer, std::size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = formatV(buffer, size, format, args);
    va_end(args);
    return n;
}

int formatNumber(char* buffer, std::size_t size, double value) {
    int n = format(buffer, size, "%.4f", value);
    if (n <= 0) return n;
    while (buffer[n - 1] == '0') --n;
    if (buffer[n - 1] == '.') {
        if (checkNumber(value, NumberForm::Integer) == NumberCheck::Fits) --n;
        else ++n; // keeps the "0" after the point
    }
    buffer[n] = '\0';
    if (std::strcmp(buffer, "-0") == 0) return format(buffer, size, "0");
    return n;
}

bool readNumberToken(const char* begin, const char* end, double* value, bool* integer) {
    const char* p = begin;
    if (p < end && (*p == '+' || *p == '-')) ++p;
    int digits = 0, points = 0;
    for (; p < end; ++p) {
        if (isDigit(*p)) ++digits;
        else if (*p != '.' || ++points > 1) return false;
    }
    if (digits == 0) return false;
    const std::string token(begin, end);
    double v = 0;
    {
        CLocaleScope c;
        v = std::strtod(token.c_str(), nullptr);
    }
    const NumberForm form = points == 0 ? NumberForm::Integer : NumberForm::Real;
    if (checkNumber(v, form) != NumberCheck::Fits) return false;
    if (value) *value = v;
    if (integer) *integer = points == 0;
    return true;
}

bool parseBox(const char* text, double out[4]) {
    if (!text) return false;
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        while (isBlank(*p)) ++p;
        const char* begin = p;
        while (*p && !isBlank(*p)) ++p;
        if (!readNumberToken(begin, p, &out[i], nullptr)) return false;
    }
    while (isBlank(*p)) ++p;
    return *p == '\0';
}

} // namespace tpdf
