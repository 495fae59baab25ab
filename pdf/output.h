// Writing object text to the output and operators to the current page's content.
#pragma once

#include "c_format.h"
#include "doc_record.h"
#include "errors.h"

#include <cstddef>
#include <type_traits>

namespace tpdf {

// Formats one line into the document's lineBuffer and appends it to the output.
// -1 when the line does not fit or the output cannot take it (the document is then failed).
int writeLine(PdfDoc* doc, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Appends raw bytes to the output, counting them in byteOffset.
int writeOutput(PdfDoc* doc, const void* bytes, int length);

// The format of one content operator line, read as the library is compiled: "%%", "%d",
// "%s" and "%f" with a precision are all it may hold. Checking the values then tells whether
// each number written is one readers take, without reading the format again at every call.
class OperatorFormat {
public:
    static constexpr int kMaxConversions = 8;

    template <std::size_t N>
    consteval OperatorFormat(const char (&text)[N]) : text_(text) { // NOLINT: a literal only
        for (std::size_t i = 0; i + 1 < N; ++i) {
            if (text[i] != '%') continue;
            ++i;
            if (text[i] == '%') continue;
            bool integral = false;
            if (text[i] == '.') {
                ++i;
                if (text[i] < '0' || text[i] > '9') throw "a precision is digits";
                integral = text[i] == '0' && (text[i + 1] < '0' || text[i + 1] > '9');
                while (text[i] >= '0' && text[i] <= '9') ++i;
            }
            if (count_ == kMaxConversions) throw "too many conversions";
            const char c = text[i];
            if (c == 'f') kinds_[count_++] = integral ? Kind::RoundedReal : Kind::Real;
            else if (c == 'd') kinds_[count_++] = Kind::Integer;
            else if (c == 's') kinds_[count_++] = Kind::Text;
            else throw "only %d, %s and %.<digits>f belong in an operator line";
        }
    }

    const char* text() const { return text_; }
    int count() const { return count_; }

    // How the value passed for conversion i is written: Fits, or why it is refused.
    template <class T> NumberCheck check(int i, T value) const {
        const Kind kind = i < count_ ? kinds_[i] : Kind::None;
        if constexpr (std::is_floating_point_v<T>) {
            if (kind == Kind::Real) return checkNumber(value, NumberForm::Real);
            if (kind == Kind::RoundedReal) return checkNumber(value, NumberForm::Integer);
        } else if constexpr (std::is_integral_v<T>) {
            if (kind == Kind::Integer)
                return checkNumber(static_cast<double>(value), NumberForm::Integer);
        } else if constexpr (std::is_convertible_v<T, const char*>) {
            if (kind == Kind::Text) return NumberCheck::Fits;
        }
        return NumberCheck::OutOfRange; // a value of another type than its conversion
    }

private:
    enum class Kind : unsigned char { None, Real, RoundedReal, Integer, Text };
    const char* text_;
    Kind kinds_[kMaxConversions] = {};
    int count_ = 0;
};

// Formats one line whose numbers were checked into lineBuffer and appends it to the current
// page's content.
int checkedContentLine(PdfDoc* doc, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Appends one operator line to the current page's content. A number that is not one readers
// take would damage the content stream, so the line is refused and reported instead, whatever
// computed the number.
template <class... Args> int contentLine(PdfDoc* doc, OperatorFormat format, Args... args) {
    NumberCheck check = sizeof...(Args) == static_cast<std::size_t>(format.count())
                            ? NumberCheck::Fits
                            : NumberCheck::OutOfRange;
    int i = 0;
    ((check = check == NumberCheck::Fits ? format.check(i++, args) : check), ...);
    if (check != NumberCheck::Fits) {
        reportRefusedNumber(doc, "A content operator", check == NumberCheck::NotFinite);
        return -1;
    }
    return checkedContentLine(doc, format.text(), args...);
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
