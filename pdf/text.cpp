// Text blocks, font selection and string measuring: the part that axis labels use.
#include "c_format.h"
#include "doc_record.h"
#include "errors.h"
#include "font_widths.h"
#include "output.h"
#include "pdf_string.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

using namespace tpdf;

namespace {

constexpr double kDegreesToRadians = 0.017453292522222223;

constexpr const char* kStandardFonts[14] = {
    "Helvetica",   "Helvetica-Bold",   "Helvetica-Oblique",    "Helvetica-BoldOblique",
    "Times-Roman", "Times-Bold",       "Times-Italic",         "Times-BoldItalic",
    "Courier",     "Courier-Bold",     "Courier-Oblique",      "Courier-BoldOblique",
    "Symbol",      "ZapfDingbats"};
constexpr int kTimesRoman = 4;

constexpr const char* kEncodings[4] = {"WinAnsiEncoding", "MacRomanEncoding",
                                       "MacExpertEncoding", "StandardEncoding"};

int standardFontIndex(const char* name) {
    for (int i = 0; i < 14; ++i)
        if (std::strcmp(name, kStandardFonts[i]) == 0) return i;
    return -1;
}

int encodingCode(const char* encoding) {
    if (!encoding) return 3;
    for (int i = 0; i < 4; ++i)
        if (std::strcmp(encoding, kEncodings[i]) == 0) return i;
    return 0;
}

bool sameEncoding(const PdfFont& font, const char* encoding) {
    if (!encoding) return !font.hasEncoding;
    return font.hasEncoding && font.encodingName == encoding;
}

// The width-table slot of a byte in the font's encoding. Only the quotes differ between the
// encodings in the ASCII range.
int widthSlot(const PdfFont& font, unsigned char c) {
    if (font.encodingCode == 3 && font.fontIndex != 12 && font.fontIndex != 13) {
        if (c == 39) return 146; // quoteright
        if (c == 96) return 145; // quoteleft
    }
    return c;
}

int addFontEntry(PdfDoc* doc, const char* name, int fontIndex, const char* encoding) {
    PdfFont font;
    const int index = static_cast<int>(doc->fonts.size());
    char resource[32];
    format(resource, sizeof resource, "Ftpdf%d", index);
    font.resourceName = resource;
    font.fontName = name;
    font.baseFont = name;
    font.hasEncoding = encoding != nullptr;
    if (encoding) font.encodingName = encoding;
    font.encodingCode = encodingCode(encoding);
    font.fontIndex = fontIndex;
    font.type = 0;
    font.widths = kStandardFontWidths[fontIndex];
    doc->fonts.push_back(std::move(font));
    return index;
}

int selectFont(PdfDoc* doc, const char* name, const char* encoding, float size) {
    int fontIndex = standardFontIndex(name);
    if (fontIndex < 0) {
        tpdf_Error(doc, 1, kModule, "Font not found: %s >> substituting Times-Roman.", name);
        name = kStandardFonts[kTimesRoman];
        fontIndex = kTimesRoman;
    }
    int entry = 0, same = 0;
    if (tpdf_findFontEntry(doc, name, encoding, &entry, &same) != 0) {
        if (static_cast<int>(doc->fonts.size()) >= doc->maxFonts) {
            tpdf_Error(doc, 1, kModule, "Too many fonts in this PDF: %d. Increase limit by tpdf_open()",
                       static_cast<int>(doc->fonts.size()));
            return 1;
        }
        entry = addFontEntry(doc, name, fontIndex, encoding);
    }
    doc->currentFont = entry;
    if (doc->currentPage >= 1 && doc->currentPage <= doc->maxPages) {
        PdfPage& page = doc->pages[static_cast<std::size_t>(doc->currentPage)];
        if (page.pageNumber >= 0 &&
            std::find(page.fontList.begin(), page.fontList.end(), entry) == page.fontList.end())
            page.fontList.push_back(entry);
    }
    contentLine(doc, "/%s %.3f Tf\n", doc->fonts[static_cast<std::size_t>(entry)].resourceName.c_str(),
                static_cast<double>(size));
    doc->fontSize = size;
    return 0;
}

} // namespace

extern "C" {

int tpdf_setFont(PdfDoc* doc, const char* name, const char* encoding, float size) {
    if (!doc || !name) return 1;
    try {
        return selectFont(doc, name, encoding, size);
    } catch (const std::bad_alloc&) {
        reportNoMemory();
        return 1;
    }
}

int tpdf_findFontEntry(PdfDoc* doc, const char* name, const char* encoding, int* entry,
                       int* sameFont) {
    const int count = doc ? static_cast<int>(doc->fonts.size()) : 0;
    int firstSame = -1;
    for (int i = 0; i < count && name; ++i) {
        const PdfFont& font = doc->fonts[static_cast<std::size_t>(i)];
        if (font.fontName != name) continue;
        if (sameEncoding(font, encoding)) {
            if (entry) *entry = i;
            if (sameFont) *sameFont = i;
            return 0;
        }
        if (firstSame < 0) firstSame = i;
    }
    if (entry) *entry = count;
    if (sameFont) *sameFont = firstSame;
    return firstSame >= 0 ? 1 : 2;
}

void tpdf_freeFonts(PdfDoc* doc) {
    if (!doc) return;
    doc->fonts.clear();
    doc->currentFont = -1;
}

void tpdf_beginText(PdfDoc* doc, int) {
    if (!doc) return;
    doc->textMatrix = {1, 0, 0, 1, 0, 0};
    tpdf_writeRaw(doc, "\nBT\n");
}

void tpdf_endText(PdfDoc* doc) { tpdf_writeRaw(doc, "ET\n"); }

void tpdf_showText(PdfDoc* doc, const char* text) {
    if (!doc || !text) return;
    try {
        // Built outside lineBuffer: a text of any length stays whole.
        const std::string line = "(" + escapeText(text) + ") Tj\n";
        appendContent(doc, line.data(), static_cast<int>(line.size()));
    } catch (const std::bad_alloc&) {
        reportNoMemory();
    }
}

void tpdf_textAt(PdfDoc* doc, float x, float y, float angle, const char* text) {
    if (!doc || !text) return;
    const double a = angle * kDegreesToRadians;
    const double c = std::cos(a), s = std::sin(a);
    doc->textMatrix = {static_cast<float>(c), static_cast<float>(s), static_cast<float>(-s),
                       static_cast<float>(c), x, y};
    contentLine(doc, "%.4f %.4f %.4f %.4f %.4f %.4f Tm\n", c, s, -s, c, static_cast<double>(x),
                static_cast<double>(y));
    tpdf_showText(doc, text);
}

float tpdf_stringWidth(PdfDoc* doc, const char* text) {
    if (!doc || !text || !*text || doc->currentFont < 0) return 0.0f;
    const PdfFont& font = doc->fonts[static_cast<std::size_t>(doc->currentFont)];
    const double s = doc->fontSize, cs = doc->charSpacing, ws = doc->wordSpacing;
    double total = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        const int slot = widthSlot(font, *p);
        total += font.widths[slot] * s * 0.001 + cs;
        if (slot == 32) total += ws;
    }
    return static_cast<float>((total - cs) * doc->horizScaling * 0.01);
}

} // extern "C"
