// Text blocks, the text state operators and shown strings.
#include "c_format.h"
#include "call_guard.h"
#include "document.h"
#include "doc_record.h"
#include "errors.h"
#include "font_metrics.h"
#include "output.h"
#include "pdf_string.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

using namespace tpdf;

namespace {

constexpr double kDegreesToRadians = 0.017453292522222223;

double d(float v) { return static_cast<double>(v); }

void writeMatrix(PdfDoc* doc) {
    const auto& m = doc->textMatrix;
    contentLine(doc, "%.4f %.4f %.4f %.4f %.4f %.4f Tm\n", d(m[0]), d(m[1]), d(m[2]), d(m[3]),
                d(m[4]), d(m[5]));
}

// Sets and writes the text matrix; false, with nothing changed, when a value is not finite.
bool setMatrix(PdfDoc* doc, const char* call, double a, double b, double c, double dd, double e,
               double f) {
    // The kept matrix is single precision: a value beyond it is refused as well.
    const std::array<float, 6> kept{static_cast<float>(a), static_cast<float>(b),
                                    static_cast<float>(c), static_cast<float>(dd),
                                    static_cast<float>(e), static_cast<float>(f)};
    if (!finiteNumbers(doc, call, {kept[0], kept[1], kept[2], kept[3], kept[4], kept[5]}))
        return false;
    doc->textMatrix = kept;
    return contentLine(doc, "%.4f %.4f %.4f %.4f %.4f %.4f Tm\n", a, b, c, dd, e, f) == 0;
}

void concat(PdfDoc* doc, const char* call, float a, float b, float c, float dd, float e,
            float f) {
    if (!finiteNumbers(doc, call, {a, b, c, dd, e, f})) return;
    const float n[6] = {a, b, c, dd, e, f};
    auto product = doc->textMatrix;
    tpdf_multiplyMatrix(product.data(), n);
    if (!finiteNumbers(doc, call, {product[0], product[1], product[2], product[3], product[4],
                                   product[5]}))
        return;
    doc->textMatrix = product;
    writeMatrix(doc);
}

// Text is shown in the font of a Tf line on the same page; without one, readers show nothing.
bool pageHasFont(PdfDoc* doc, const char* call) {
    const PdfPage* page = findUsedPage(doc, doc->currentPage);
    if (!page || !drawingPageOpen(doc)) return refuseWithoutPage(doc, call) == 0;
    if (!page->fontList.empty()) return true;
    tpdf_Error(doc, 1, kModule, "%s: no font has been chosen on page %d (see tpdf_setFont)", call,
               page->pageNumber);
    failCall(doc);
    return false;
}

// "(" + the escaped text + ")" + the operator line, built outside lineBuffer so that a text of
// any length stays whole.
void show(PdfDoc* doc, const char* text, const char* op, const char* call) {
    if (!doc || !text || !pageHasFont(doc, call)) return;
    std::string line = "(";
    if (doc->hexText) {
        const std::string bytes = hexTextBytes(text);
        line += escapeText(bytes.data(), bytes.size());
    } else {
        line += escapeText(text);
    }
    line += op;
    appendContent(doc, line.data(), static_cast<int>(line.size()));
}

// The text matrix of a text drawn at (x, y) turned by `degrees`, then the text.
void showAt(PdfDoc* doc, const char* call, double x, double y, double degrees, const char* text) {
    const double a = degrees * kDegreesToRadians;
    if (pageHasFont(doc, call) &&
        setMatrix(doc, call, std::cos(a), std::sin(a), -std::sin(a), std::cos(a), x, y))
        show(doc, text, ") Tj\n", call);
}

} // namespace

extern "C" {

void tpdf_beginText(PdfDoc* doc, int) {
    if (!doc) return;
    doc->textMatrix = {1, 0, 0, 1, 0, 0};
    tpdf_writeRaw(doc, "\nBT\n");
}

void tpdf_endText(PdfDoc* doc) { tpdf_writeRaw(doc, "ET\n"); }

void tpdf_wordSpacing(PdfDoc* doc, float value) {
    if (!doc || !finiteNumbers(doc, "tpdf_wordSpacing", {value})) return;
    doc->wordSpacing = value;
    contentLine(doc, "%.3f Tw\n", d(value));
}

void tpdf_charSpacing(PdfDoc* doc, float value) {
    if (!doc || !finiteNumbers(doc, "tpdf_charSpacing", {value})) return;
    doc->charSpacing = value;
    contentLine(doc, "%.3f Tc\n", d(value));
}

void tpdf_horizScaling(PdfDoc* doc, float value) {
    if (!doc || !finiteNumbers(doc, "tpdf_horizScaling", {value})) return;
    doc->horizScaling = value;
    contentLine(doc, "%.2f Tz\n", d(value));
}

void tpdf_leading(PdfDoc* doc, float value) {
    if (!doc || !finiteNumbers(doc, "tpdf_leading", {value})) return;
    doc->leading = value;
    contentLine(doc, "%.2f TL\n", d(value));
}

void tpdf_renderMode(PdfDoc* doc, int mode) {
    if (doc) contentLine(doc, "%d Tr\n", mode);
}

void tpdf_textRise(PdfDoc* doc, float value) {
    if (!doc || !finiteNumbers(doc, "tpdf_textRise", {value})) return;
    doc->textRise = value;
    contentLine(doc, "%.3f Ts\n", d(value));
}

void tpdf_textMatrix(PdfDoc* doc, float a, float b, float c, float dd, float e, float f) {
    if (doc) setMatrix(doc, "tpdf_textMatrix", a, b, c, dd, e, f);
}

void tpdf_textPosition(PdfDoc* doc, float x, float y) {
    if (!doc || !finiteNumbers(doc, "tpdf_textPosition", {x, y})) return;
    const auto& m = doc->textMatrix;
    setMatrix(doc, "tpdf_textPosition", m[0], m[1], m[2], m[3], x, y);
}

void tpdf_textPositionDomain(PdfDoc* doc, float x, float y) {
    if (doc) tpdf_textPosition(doc, tpdf_domainX(doc, x), tpdf_domainY(doc, y));
}

void tpdf_moveText(PdfDoc* doc, float x, float y) {
    if (doc && finiteNumbers(doc, "tpdf_moveText", {x, y}))
        contentLine(doc, "%.3f %.3f Td\n", d(x), d(y));
}

void tpdf_moveTextDomain(PdfDoc* doc, float x, float y) {
    if (doc) tpdf_moveText(doc, tpdf_domainX(doc, x), tpdf_domainY(doc, y));
}

void tpdf_nextLine(PdfDoc* doc) { tpdf_writeRaw(doc, "T*\n"); }

void tpdf_concatTextMatrix(PdfDoc* doc, float a, float b, float c, float dd, float e, float f) {
    if (doc) concat(doc, "tpdf_concatTextMatrix", a, b, c, dd, e, f);
}

void tpdf_rotateText(PdfDoc* doc, float degrees) {
    const double a = degrees * kDegreesToRadians;
    if (doc && finiteNumbers(doc, "tpdf_rotateText", {degrees}))
        concat(doc, "tpdf_rotateText", static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)),
               static_cast<float>(-std::sin(a)), static_cast<float>(std::cos(a)), 0, 0);
}

void tpdf_skewText(PdfDoc* doc, float a, float b) {
    if (doc && finiteNumbers(doc, "tpdf_skewText", {a, b}))
        concat(doc, "tpdf_skewText", 1, static_cast<float>(std::tan(a * kDegreesToRadians)),
               static_cast<float>(std::tan(b * kDegreesToRadians)), 1, 0, 0);
}

void tpdf_showText(PdfDoc* doc, const char* text) { show(doc, text, ") Tj\n", "tpdf_showText"); }

void tpdf_nextLineShow(PdfDoc* doc, const char* text) {
    show(doc, text, ") '\n", "tpdf_nextLineShow");
}

void tpdf_textAt(PdfDoc* doc, float x, float y, float angle, const char* text) {
    if (!doc || !text || !finiteNumbers(doc, "tpdf_textAt", {x, y, angle})) return;
    showAt(doc, "tpdf_textAt", x, y, angle, text);
}

void tpdf_textAtDomain(PdfDoc* doc, float x, float y, float angle, const char* text) {
    if (doc) tpdf_textAt(doc, tpdf_domainX(doc, x), tpdf_domainY(doc, y), angle, text);
}

void tpdf_textAligned(PdfDoc* doc, float x, float y, float angle, int alignment,
                      const char* text) {
    if (!doc || !text || !finiteNumbers(doc, "tpdf_textAligned", {x, y, angle})) return;
    const int h = ((alignment % 3) + 3) % 3, v = alignment / 3;
    const double width = tpdf_stringWidth(doc, text), cap = tpdf_capHeight(doc);
    const double dx = h == 0 ? 0 : h == 1 ? width / 2 : width;
    const double dy = v <= 0 ? 0 : v == 1 ? cap / 2 : cap;
    const double a = angle * kDegreesToRadians, c = std::cos(a), s = std::sin(a);
    // The origin comes from measures that can overflow: checked before anything is written.
    showAt(doc, "tpdf_textAligned", x - (dx * c - dy * s), y - (dx * s + dy * c), angle, text);
}

int tpdf_hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 255;
}

int tpdf_hexToBytes(const char* hex, unsigned char** bytes, int* length) {
    if (length) *length = 0;
    if (!hex || !bytes) return -1;
    const std::string decoded = hexTextBytes(hex);
    auto* out = static_cast<unsigned char*>(std::malloc(decoded.size() + 1));
    if (!out) throw std::bad_alloc();
    std::memcpy(out, decoded.data(), decoded.size());
    out[decoded.size()] = 0;
    *bytes = out;
    if (length) *length = static_cast<int>(decoded.size());
    return 0;
}

char* tpdf_bytesToHex(const unsigned char* bytes, char* out, int length, int unicode) {
    if (!out) return out;
    static const char digits[] = "0123456789ABCDEF";
    char* p = out;
    const bool marked = length >= 2 && bytes && ((bytes[0] == 0xFE && bytes[1] == 0xFF) ||
                                                 (bytes[0] == 0xFF && bytes[1] == 0xFE));
    if (unicode && !marked) {
        std::memcpy(p, "FEFF", 4);
        p += 4;
    }
    for (int i = 0; bytes && i < length; ++i) {
        *p++ = digits[bytes[i] >> 4];
        *p++ = digits[bytes[i] & 15];
    }
    *p = '\0';
    return out;
}

void tpdf_setHexText(PdfDoc* doc, int flag) {
    if (doc) doc->hexText = flag != 0;
}

} // extern "C"
