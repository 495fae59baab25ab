// printf-style formatting of PDF text: numbers always with "." whatever the process locale, and
// only numbers every reader takes.
#pragma once

#include <clocale>
#include <cmath>
#include <cstdint>
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

// The limits PDF readers hold: integers within 32 bits, reals within about +-3.4e38.
inline constexpr double kMaxReal = 3.4e38;

enum class NumberForm { Real, Integer };
enum class NumberCheck { Fits, NotFinite, OutOfRange };

// Whether value, written in that form (an integer once rounded), is a number readers take.
inline NumberCheck checkNumber(double value, NumberForm form) {
    // One comparison for the common case: it is false for NaN and the infinities too.
    if (form == NumberForm::Real && std::fabs(value) <= kMaxReal) [[likely]]
        return NumberCheck::Fits;
    if (!std::isfinite(value)) return NumberCheck::NotFinite;
    if (form == NumberForm::Real) return NumberCheck::OutOfRange;
    // Written with no decimals, the value is rounded as printf rounds it.
    const double rounded = std::nearbyint(value);
    return rounded >= INT32_MIN && rounded <= INT32_MAX ? NumberCheck::Fits
                                                         : NumberCheck::OutOfRange;
}

inline constexpr int kTextTooLong = -1;
inline constexpr int kNumberRefused = -2;

// Formats PDF text into buffer (always NUL-terminated). Returns the length written;
// kTextTooLong when the text did not fit (the buffer then holds a cut text); kNumberRefused,
// with "" in the buffer, when a conversion would write something other than a number readers
// take: not finite, beyond the limits above (an integer conversion, or "%.0f", beyond 32 bits),
// or in exponent form.
int formatV(char* buffer, std::size_t size, const char* format, va_list args);
int format(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Formats a report, any text that is not PDF syntax, or a line whose numbers the caller has
// checked: no check of the numbers here.
int formatMessageV(char* buffer, std::size_t size, const char* format, va_list args);

// One number in the library's short form: at most four decimals, trailing zeros dropped
// ("612", "0.5"); an integral value beyond 32 bits keeps one decimal, so that it stays a real.
// Returns the length, or kNumberRefused (buffer "") when the number is not one readers take.
int formatNumber(char* buffer, std::size_t size, double value);

// Reads the number token [begin, end): an optional sign, digits and at most one point, with at
// least one digit. False when it is not one, or not a number readers take; integer tells
// whether it has no point.
bool readNumberToken(const char* begin, const char* end, double* value, bool* integer);

// Reads a box written as exactly four numbers (optional sign, digits, at most one point) and
// nothing else; each must be a real readers take. False when the text is anything else.
bool parseBox(const char* text, double out[4]);

} // namespace tpdf
