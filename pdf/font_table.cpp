// The font table: built-in names, encodings, choosing a font, its entries and measures.
#include "c_format.h"
#include "call_guard.h"
#include "document.h"
#include "doc_record.h"
#include "errors.h"
#include "font_metrics.h"
#include "output.h"

#include <algorithm>
#include <cstring>
#include <new>

using namespace tpdf;

namespace {

constexpr const char* kBuiltInFonts[48] = {
    "Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
    "Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic", "Courier", "Courier-Bold",
    "Courier-Oblique", "Courier-BoldOblique", "Symbol", "ZapfDingbats",
    "AvantGarde-Book", "AvantGarde-BookOblique", "AvantGarde-Demi", "AvantGarde-DemiOblique",
    "Bookman-Demi", "Bookman-DemiItalic", "Bookman-Light", "Bookman-LightItalic",
    "Helvetica-Narrow", "Helvetica-Narrow-Oblique", "Helvetica-Narrow-Bold",
    "Helvetica-Narrow-BoldOblique", "NewCenturySchlbk-Roman", "NewCenturySchlbk-Italic",
    "NewCenturySchlbk-Bold", "NewCenturySchlbk-BoldItalic", "Palatino-Roman", "Palatino-Italic",
    "Palatino-Bold", "Palatino-BoldItalic", "ZapfChancery-MediumItalic", "Helvetica-Condensed",
    "Helvetica-Condensed-Bold", "Helvetica-Condensed-Oblique", "Helvetica-Condensed-BoldObl",
    "TPDF-Monospace", "TPDF-SmallCap",
    "HeiseiKakuGo-W5", "HeiseiMin-W3", "HYGoThic-Medium", "HYSMyeongJo-Medium", "MHei-Medium",
    "MSung-Light", "STSong-Light"};
constexpr int kTimesRoman = 4;
constexpr int kFirstCid = 41;
constexpr int kExternalBase = 48;
constexpr std::size_t kMaxNameLength = 127;
constexpr std::size_t kMaxEncodingLength = 63;
constexpr int kEncodingRefused = 2; // results of tpdf_setFont besides 0 and 1 (table full)
constexpr int kSizeNotFinite = 3;
constexpr int kNoPageOpen = 4;

constexpr const char* kEncodings[4] = {"WinAnsiEncoding", "MacRomanEncoding",
                                       "MacExpertEncoding", "StandardEncoding"};

struct CidData {
    const char* systemInfo;
    const char* widths;
};
constexpr CidData kCidData[7] = {
    {"/Registry (Adobe) /Ordering (Japan1) /Supplement 2", "[ 1 95 500 231 632 500 ]"},
    {"/Registry (Adobe) /Ordering (Japan1) /Supplement 2", "[ 1 95 500 231 632 500 ]"},
    {"/Registry (Adobe) /Ordering (Korea1) /Supplement 1", "[ 1 95 500 8094 8190 500 ]"},
    {"/Registry (Adobe) /Ordering (Korea1) /Supplement 1", "[ 1 95 500 8094 8190 500 ]"},
    {"/Registry (Adobe) /Ordering (CNS1) /Supplement 0", "[ 1 95 500 13648 13742 500 ]"},
    {"/Registry (Adobe) /Ordering (CNS1) /Supplement 0", "[ 1 95 500 13648 13742 500 ]"},
    {"/Registry (Adobe) /Ordering (GB1) /Supplement 2",
     "[ 1 95 500 814 939 500 7712 [ 500 ] 7716 [ 500 ] ]"}};
// The CMaps predefined for the character collection of each CID font (in font order): a Type0
// font's encoding is one of them, or Identity-H or Identity-V. A reader holds no other.
constexpr const char* kJapan1CMaps[] = {
    "83pv-RKSJ-H", "90ms-RKSJ-H", "90ms-RKSJ-V", "90msp-RKSJ-H", "90msp-RKSJ-V", "90pv-RKSJ-H",
    "Add-RKSJ-H", "Add-RKSJ-V", "EUC-H", "EUC-V", "Ext-RKSJ-H", "Ext-RKSJ-V", "H", "V",
    "UniJIS-UCS2-H", "UniJIS-UCS2-V", "UniJIS-UCS2-HW-H", "UniJIS-UCS2-HW-V", "UniJIS-UTF16-H",
    "UniJIS-UTF16-V", nullptr};
constexpr const char* kKorea1CMaps[] = {
    "KSC-EUC-H", "KSC-EUC-V", "KSCms-UHC-H", "KSCms-UHC-V", "KSCms-UHC-HW-H", "KSCms-UHC-HW-V",
    "KSCpc-EUC-H", "UniKS-UCS2-H", "UniKS-UCS2-V", "UniKS-UTF16-H", "UniKS-UTF16-V", nullptr};
constexpr const char* kCns1CMaps[] = {
    "B5pc-H", "B5pc-V", "HKscs-B5-H", "HKscs-B5-V", "ETen-B5-H", "ETen-B5-V", "ETenms-B5-H",
    "ETenms-B5-V", "CNS-EUC-H", "CNS-EUC-V", "UniCNS-UCS2-H", "UniCNS-UCS2-V", "UniCNS-UTF16-H",
    "UniCNS-UTF16-V", nullptr};
constexpr const char* kGb1CMaps[] = {
    "GB-EUC-H", "GB-EUC-V", "GBpc-EUC-H", "GBpc-EUC-V", "GBK-EUC-H", "GBK-EUC-V", "GBKp-EUC-H",
    "GBKp-EUC-V", "GBK2K-H", "GBK2K-V", "UniGB-UCS2-H", "UniGB-UCS2-V", "UniGB-UTF16-H",
    "UniGB-UTF16-V", nullptr};
constexpr const char* const* kCidCMaps[7] = {kJapan1CMaps, kJapan1CMaps, kKorea1CMaps, kKorea1CMaps,
                                             kCns1CMaps,   kCns1CMaps,   kGb1CMaps};

bool isCMapOf(int fontIndex, const char* encoding) {
    if (std::strcmp(encoding, "Identity-H") == 0 || std::strcmp(encoding, "Identity-V") == 0) return true;
    for (const char* const* name = kCidCMaps[fontIndex - kFirstCid]; *name; ++name)
        if (std::strcmp(encoding, *name) == 0) return true;
    return false;
}

constexpr const char* kGothicStyle = "/Panose <0801020b0600000000000000>";
constexpr const char* kSerifStyle = "/Panose <010502020400000000000000>";

int typeOf(int fontIndex) {
    if (fontIndex < 14) return 0;
    if (fontIndex < kFirstCid) return 1;
    if (fontIndex < kExternalBase) return 3;
    return 2;
}

int builtInIndex(const char* name) {
    for (int i = 0; i < kFirstCid; ++i)
        if (std::strcmp(name, kBuiltInFonts[i]) == 0) return i;
    for (int i = kFirstCid; i < kExternalBase; ++i)
        if (std::strncmp(name, kBuiltInFonts[i], std::strlen(kBuiltInFonts[i])) == 0) return i;
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
    return font.hasEncoding && std::strcmp(font.encodingName, encoding) == 0;
}

int loadedIndex(const PdfDoc* doc, const char* name) {
    for (std::size_t i = 0; i < doc->fontInfos.size(); ++i)
        if (std::strcmp(doc->fontInfos[i]->fontName, name) == 0) return static_cast<int>(i);
    return -1;
}

PdfFontDescriptor* builtInDescriptor(PdfDoc* doc, int fontIndex, const char* baseFont) {
    auto owned = std::make_unique<PdfFontDescriptor>();
    PdfFontDescriptor* d = owned.get();
    const BuiltInDescriptor& t = kFontDescriptors[fontIndex];
    d->ascent = t.ascent;
    d->capHeight = t.capHeight;
    d->descent = t.descent;
    d->flags = t.flags;
    std::copy(std::begin(t.fontBBox), std::end(t.fontBBox), d->fontBBox);
    copyBounded(d->fontName, baseFont, sizeof d->fontName - 1);
    d->italicAngle = t.italicAngle;
    d->stemV = t.stemV;
    d->stemH = t.stemH;
    d->xHeight = t.xHeight;
    d->missingWidth = t.missingWidth;
    d->leading = t.leading;
    d->maxWidth = t.maxWidth;
    d->avgWidth = t.avgWidth;
    if (fontIndex >= kFirstCid)
        d->style = (fontIndex == 42 || fontIndex == 44 || fontIndex == 46 || fontIndex == 47)
                       ? kSerifStyle
                       : kGothicStyle;
    noteTableGrowth(doc);
    doc->descriptors.push_back(std::move(owned));
    return d;
}

// Loads an external font into the font-info table; its font index, or -1 when it failed.
int loadExternal(PdfDoc* doc, const char* name) {
    // Room first, so that the three lists stay in step if memory runs out.
    doc->descriptors.reserve(doc->descriptors.size() + 1);
    doc->fontInfos.reserve(doc->fontInfos.size() + 1);
    doc->externalFonts.reserve(doc->externalFonts.size() + 1);
    PdfFont metrics{};
    auto descriptor = std::make_unique<PdfFontDescriptor>();
    PdfFontInfo* info = new PdfFontInfo{};
    FontInfoPtr owned(info);
    if (_tpdf_loadExternalFont(doc, name, &metrics, descriptor.get(), info) != 0) return -1;
    info->descriptor = descriptor.get();
    info->previous = doc->fontInfos.empty() ? nullptr : doc->fontInfos.back().get();
    copyBounded(info->fontName, name, sizeof info->fontName - 1);
    info->state = 0;
    metrics.descriptor = descriptor.get();
    noteTableGrowth(doc);
    doc->descriptors.push_back(std::move(descriptor));
    doc->fontInfos.push_back(std::move(owned));
    doc->externalFonts.push_back(metrics);
    return kExternalBase + static_cast<int>(doc->fontInfos.size()) - 1;
}

int addEntry(PdfDoc* doc, const char* name, int fontIndex, const char* encoding, int sameFont) {
    const int index = static_cast<int>(doc->fonts.size());
    const int type = typeOf(fontIndex);
    PdfFont font{};
    if (type == 2) {
        font = sameFont >= 0 ? doc->fonts[static_cast<std::size_t>(sameFont)]
                             : doc->externalFonts[static_cast<std::size_t>(fontIndex - kExternalBase)];
        copyBounded(font.baseFont, font.descriptor->fontName, sizeof font.baseFont - 1);
    } else {
        copyBounded(font.baseFont, name, sizeof font.baseFont - 1);
    }
    font.objectNumber = 0;
    format(font.resourceName, sizeof font.resourceName, "Ftpdf%d", index);
    copyBounded(font.fontName, name, sizeof font.fontName - 1);
    font.hasEncoding = encoding != nullptr;
    copyBounded(font.encodingName, encoding ? encoding : "", sizeof font.encodingName - 1);
    font.encodingCode = encodingCode(encoding);
    font.fontIndex = fontIndex;
    font.type = type;
    if (type == 0 || type == 1) {
        font.firstChar = 32;
        font.lastChar = 255;
        std::copy(std::begin(kFontWidths[fontIndex]), std::end(kFontWidths[fontIndex]), font.widths);
    }
    if (type == 1 || type == 3) font.descriptor = builtInDescriptor(doc, fontIndex, font.baseFont);
    if (type == 3) {
        tpdf_raisePdfVersion(doc, 1, 2);
        font.cid.defaultWidth = 1000;
        font.cid.systemInfo = kCidData[fontIndex - kFirstCid].systemInfo;
        font.cid.widths = kCidData[fontIndex - kFirstCid].widths;
    }
    noteTableGrowth(doc);
    doc->fonts.push_back(font);
    return index;
}

void listOnPage(PdfDoc* doc, int entry) {
    if (doc->currentPage < 1 || doc->currentPage > doc->maxPages) return;
    PdfPage& page = doc->pages[static_cast<std::size_t>(doc->currentPage)];
    if (page.pageNumber >= 0 &&
        std::find(page.fontList.begin(), page.fontList.end(), entry) == page.fontList.end()) {
        noteTableGrowth(doc);
        page.fontList.push_back(entry);
    }
}

int tooManyFonts(PdfDoc* doc) {
    tpdf_Error(doc, 1, kModule, "Too many fonts in this PDF: %d. Increase limit by tpdf_open()",
               static_cast<int>(doc->fonts.size()));
    failCall(doc);
    return 1;
}

int selectFont(PdfDoc* doc, const char* name, const char* encoding, float size) {
    // The Tf line and the page's font list are the font's whole effect.
    if (!drawingPageOpen(doc)) {
        refuseWithoutPage(doc, "tpdf_setFont");
        return kNoPageOpen;
    }
    if (encoding && std::strlen(encoding) > kMaxEncodingLength) {
        tpdf_Error(doc, 1, kModule, "Encoding name is too long: %.64s...", encoding);
        failCall(doc);
        return kEncodingRefused;
    }
    if (!finiteNumbers(doc, "tpdf_setFont", {size})) return kSizeNotFinite;
    const bool usable = std::strlen(name) <= kMaxNameLength;
    int fontIndex = usable ? builtInIndex(name) : -1;
    if (usable)
        if (const int loaded = loadedIndex(doc, name); loaded >= 0) fontIndex = kExternalBase + loaded;
    if (fontIndex < 0) {
        // The font-info table has as many places as the font table.
        const bool room = static_cast<int>(doc->fontInfos.size()) < doc->maxFonts;
        fontIndex = usable && room ? loadExternal(doc, name) : -1;
        if (fontIndex < 0) {
            tpdf_Error(doc, 1, kModule, "Font not found: %s >> substituting Times-Roman.", name);
            name = kBuiltInFonts[kTimesRoman];
            fontIndex = kTimesRoman;
        }
    }
    if (typeOf(fontIndex) == 3 && encoding && !isCMapOf(fontIndex, encoding)) {
        tpdf_Error(doc, 1, kModule, "%s is a CID font: its encoding is a CMap of its character collection, not %s",
                   kBuiltInFonts[fontIndex], encoding);
        failCall(doc);
        return kEncodingRefused;
    }
    // Only a new entry needs room in the table: an existing one is chosen even when it is full.
    int entry = 0, same = -1;
    const int found = tpdf_findFontEntry(doc, name, encoding, &entry, &same);
    if (found != 0) {
        if (static_cast<int>(doc->fonts.size()) >= doc->maxFonts) return tooManyFonts(doc);
        entry = addEntry(doc, name, fontIndex, encoding, found == 1 ? same : -1);
    }
    doc->currentFont = entry;
    listOnPage(doc, entry);
    contentLine(doc, "/%s %.3f Tf\n", doc->fonts[static_cast<std::size_t>(entry)].resourceName,
                static_cast<double>(size));
    doc->fontSize = size;
    return 0;
}

const PdfFont* currentFont(PdfDoc* doc) {
    if (!doc || doc->currentFont < 0 || static_cast<std::size_t>(doc->currentFont) >= doc->fonts.size())
        return nullptr;
    return &doc->fonts[static_cast<std::size_t>(doc->currentFont)];
}

// The width slot of a byte in the font's encoding.
int widthSlot(const PdfFont& font, unsigned char c) {
    if (font.encodingCode == 0 || font.fontIndex == 12 || font.fontIndex == 13) return c;
    return kEncodingRemap[font.encodingCode - 1][c];
}

float heightMeasure(PdfDoc* doc, int PdfFontDescriptor::*field, int BuiltInDescriptor::*table) {
    const PdfFont* font = currentFont(doc);
    if (!font) return 0.0f;
    const double value = font->type == 2 ? font->descriptor->*field : kFontDescriptors[font->fontIndex].*table;
    return static_cast<float>(value * 0.001 * doc->fontSize);
}

} // namespace

namespace tpdf {

int fontWidthSlot(const PdfFont& font, unsigned char c) { return widthSlot(font, c); }

} // namespace tpdf

extern "C" {

const char* tpdf_builtInFontName(int fontIndex) {
    return fontIndex >= 0 && fontIndex < kExternalBase ? kBuiltInFonts[fontIndex] : nullptr;
}

int tpdf_setFont(PdfDoc* doc, const char* name, const char* encoding, float size) {
    if (!doc || !name) return 1;
    return selectFont(doc, name, encoding, size);
}

int tpdf_findFontEntry(PdfDoc* doc, const char* name, const char* encoding, int* entry,
                       int* sameFont) {
    const int count = doc ? static_cast<int>(doc->fonts.size()) : 0;
    int firstSame = -1;
    for (int i = 0; i < count && name; ++i) {
        const PdfFont& font = doc->fonts[static_cast<std::size_t>(i)];
        if (std::strcmp(font.fontName, name) != 0) continue;
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

int tpdf_fontCount(PdfDoc* doc) { return doc ? static_cast<int>(doc->fonts.size()) : 0; }

const PdfFont* tpdf_fontEntry(PdfDoc* doc, int index) {
    if (!doc || index < 0 || static_cast<std::size_t>(index) >= doc->fonts.size()) return nullptr;
    return &doc->fonts[static_cast<std::size_t>(index)];
}

void tpdf_freeFonts(PdfDoc* doc) {
    if (!doc) return;
    if (pagesStillUse(doc, &PdfPage::fontList, "Fonts")) return;
    doc->fonts.clear();
    doc->descriptors.clear();
    doc->fontInfos.clear();
    doc->externalFonts.clear();
    doc->currentFont = -1;
}

float tpdf_stringWidth(PdfDoc* doc, const char* text) {
    const PdfFont* font = currentFont(doc);
    if (!font || !text || !*text) return 0.0f;
    const double s = doc->fontSize, cs = doc->charSpacing, ws = doc->wordSpacing;
    double total = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    if (font->type == 3) {
        for (; *p; ++p) {
            if (*p > 127 && p[1]) {
                total += s + cs;
                ++p;
            } else {
                total += s * 0.5 + cs + (*p == 32 ? ws : 0.0);
            }
        }
    } else {
        // An external font has widths for its first 268 slots only.
        const int slots = font->type == 2 ? TPDF_WIDTH_SLOTS - 1 : TPDF_WIDTH_SLOTS;
        for (; *p; ++p) {
            const int slot = widthSlot(*font, *p);
            total += (slot < slots ? font->widths[slot] : 0) * s * 0.001 + cs;
            if (slot == 32) total += ws;
        }
    }
    return static_cast<float>((total - cs) * doc->horizScaling * 0.01);
}

float tpdf_capHeight(PdfDoc* doc) {
    return heightMeasure(doc, &PdfFontDescriptor::capHeight, &BuiltInDescriptor::capHeight);
}
float tpdf_ascent(PdfDoc* doc) {
    return heightMeasure(doc, &PdfFontDescriptor::ascent, &BuiltInDescriptor::ascent);
}
float tpdf_descent(PdfDoc* doc) {
    return heightMeasure(doc, &PdfFontDescriptor::descent, &BuiltInDescriptor::descent);
}

} // extern "C"
