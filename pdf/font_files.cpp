// External Type 1 fonts: the font map, the metric (PFM) and outline (PFB) readers and loading.
// Every reader stays within the bytes it read: a short, damaged or oversized file fails the
// load with its code and leaves nothing behind.
#include "doc_record.h"
#include "errors.h"
#include "record_checks.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

using namespace tpdf;

namespace {

constexpr int kPathSize = 1024;
constexpr long kMaxOutline = 64L * 1024 * 1024; // no Type 1 font comes near this

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

unsigned le16(const unsigned char* p) { return p[0] | (unsigned{p[1]} << 8); }
unsigned long le32(const unsigned char* p) {
    return p[0] | (static_cast<unsigned long>(p[1]) << 8) | (static_cast<unsigned long>(p[2]) << 16) |
           (static_cast<unsigned long>(p[3]) << 24);
}

long fileLength(std::FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long size = std::ftell(f);
    std::rewind(f);
    return size;
}

// Reads exactly n bytes at offset; false when the file does not hold them.
bool readAt(std::FILE* f, long size, unsigned long offset, unsigned char* out, std::size_t n) {
    if (offset > static_cast<unsigned long>(size) || n > static_cast<unsigned long>(size) - offset)
        return false;
    return std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0 && std::fread(out, 1, n, f) == n;
}

// Calls f(offset, field) for every field of the header, in file order.
template <class F> void eachHeaderField(PdfPfmHeader& h, F f) {
    f(0, h.version);
    f(2, h.size);
    f(66, h.type);
    f(68, h.points);
    f(70, h.vertRes);
    f(72, h.horizRes);
    f(74, h.ascent);
    f(76, h.internalLeading);
    f(78, h.externalLeading);
    f(80, h.italic);
    f(81, h.underline);
    f(82, h.strikeOut);
    f(83, h.weight);
    f(85, h.charSet);
    f(86, h.pixWidth);
    f(88, h.pixHeight);
    f(90, h.pitchAndFamily);
    f(91, h.avgWidth);
    f(93, h.maxWidth);
    f(95, h.firstChar);
    f(96, h.lastChar);
    f(97, h.defaultChar);
    f(98, h.breakChar);
    f(99, h.widthBytes);
    f(101, h.device);
    f(105, h.face);
    f(109, h.bitsPointer);
    f(113, h.bitsOffset);
    f(117, h.sizeFields);
    f(119, h.extMetricsOffset);
    f(123, h.extentTable);
    f(127, h.originTable);
    f(131, h.pairKernTable);
    f(135, h.trackKernTable);
    f(139, h.driverInfo);
}

template <class F> void eachExtField(PdfPfmExtMetrics& m, F f) {
    uint16_t* fields[18] = {&m.size, &m.pointSize, &m.orientation, &m.masterHeight, &m.minScale,
                            &m.maxScale, &m.masterUnits, &m.capHeight, &m.xHeight,
                            &m.lowerCaseAscent, &m.lowerCaseDescent, &m.slant, &m.superScript,
                            &m.subScript, &m.superScriptSize, &m.subScriptSize,
                            &m.underlineOffset, &m.underlineWidth};
    for (int i = 0; i < 18; ++i) f(2 * i, *fields[i]);
}

void swapField(uint8_t&) {}
void swapField(uint16_t& v) { v = tpdf_swap16(v); }
void swapField(uint32_t& v) { v = tpdf_swap32(v); }

int refusePfm(const char* path) {
    tpdf_GlobalError(1, kModule, "ReadPFM - Not a valid Type1 PFM file:  %s", path);
    return 2;
}

bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The value of the next "(...)" from *p into out (at most size - 1 characters); false when
// there is none, it is empty, unclosed or too long.
bool parenthesised(const char*& p, char* out, std::size_t size) {
    const char* open = std::strchr(p, '(');
    if (!open) return false;
    const char* close = std::strchr(open + 1, ')');
    if (!close || close == open + 1 || static_cast<std::size_t>(close - open - 1) >= size) return false;
    std::memcpy(out, open + 1, static_cast<std::size_t>(close - open - 1));
    out[close - open - 1] = '\0';
    p = close + 1;
    return true;
}

struct FontMap {
    bool hasFolders = false;
    char metricFolder[kPathSize] = {};
    char outlineFolder[kPathSize] = {};
    std::vector<std::string> prefixes;
};

// A listed path as it is to be opened: under the map's folder unless it is absolute.
bool placePath(const FontMap& map, const char* folder, const char* path, char* out) {
    bool unchanged = !map.hasFolders || map.prefixes.empty();
    for (const std::string& prefix : map.prefixes)
        if (startsWith(path, prefix.c_str())) unchanged = true;
    const int n = unchanged ? std::snprintf(out, kPathSize, "%s", path)
                            : std::snprintf(out, kPathSize, "%s/%s", folder, path);
    return n >= 0 && n < kPathSize;
}

int fontMapLine(FontMap& map, const char* line, const char* name, char* metric, char* outline) {
    if (line[0] == '#' || line[0] == '%' || std::strlen(line) < 3) return -1;
    const char* p = line;
    if (startsWith(line, "$Font_Directories")) {
        if (!parenthesised(p, map.metricFolder, kPathSize) ||
            !parenthesised(p, map.outlineFolder, kPathSize))
            return 2;
        map.hasFolders = true;
        return -1;
    }
    if (startsWith(line, "$Abs_Path_Prefix")) {
        char value[kPathSize];
        while (map.prefixes.size() < 10 && std::strchr(p, '(')) {
            if (!parenthesised(p, value, sizeof value)) break;
            if (std::strlen(value) <= 7) map.prefixes.emplace_back(value);
        }
        return -1;
    }
    if (line[0] == '$') return -1;
    char word[128];
    std::size_t n = 0;
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    while (p[n] && !std::isspace(static_cast<unsigned char>(p[n])) && n < sizeof word - 1) {
        word[n] = p[n];
        ++n;
    }
    word[n] = '\0';
    if (std::strcmp(word, name) != 0) return -1;
    p += n;
    char metricValue[kPathSize], outlineValue[kPathSize];
    if (!parenthesised(p, metricValue, sizeof metricValue) ||
        !parenthesised(p, outlineValue, sizeof outlineValue))
        return 2;
    if (!placePath(map, map.metricFolder, metricValue, metric) ||
        !placePath(map, map.outlineFolder, outlineValue, outline))
        return 2;
    return 0;
}

void resetMetrics(PdfFont* font, PdfFontDescriptor* descriptor) {
    std::memset(descriptor, 0, sizeof *descriptor);
    font->firstChar = font->lastChar = 0;
    std::memset(font->widths, 0, sizeof font->widths);
}

// One section of an outline file appended to the stream; 0 or the section's failure code.
int readPfbSection(std::FILE* f, const char* path, int section, PdfMemStream* stream, long& length) {
    const int expected = section == 2 ? 2 : 1;
    if (const int rc = tpdf_readPfbSectionHeader(f, path, section, expected, &length); rc != 0) {
        if (rc != 4) return rc;
        length = -1; // header cut short: reported as a short section below
    }
    const int start = stream->count;
    long got = 0;
    if (length >= 0 && length <= kMaxOutline - start) {
        unsigned char chunk[16384];
        while (got < length) {
            const std::size_t want = static_cast<std::size_t>(std::min<long>(length - got, sizeof chunk));
            const std::size_t n = std::fread(chunk, 1, want, f);
            if (n == 0) break;
            if (section != 2) tpdf_crToLf(chunk, static_cast<long>(n));
            if (tpdf_writeToMemoryStream(stream, chunk, static_cast<int>(n)) != 0) break;
            got += static_cast<long>(n);
        }
    }
    if (length >= 0 && got == length) return 0;
    if (section == 1) tpdf_GlobalError(1, kModule, "ReadPFB - ASCII section-1 read error: %s", path);
    if (section == 2) tpdf_GlobalError(1, kModule, "ReadPFB - BINARY section-2 read error: %s", path);
    if (section == 3)
        tpdf_GlobalError(1, kModule, "ReadPFB - ASCII section-3 read error: %s, %d", path,
                         static_cast<int>(got));
    return 3 + section;
}

bool tryMetric(const char* path, PdfFont* font, PdfFontDescriptor* descriptor) {
    resetMetrics(font, descriptor);
    return ReadPFM(path, font, descriptor) == 0;
}

} // namespace

extern "C" {

uint16_t tpdf_swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }

uint32_t tpdf_swap32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

size_t tpdf_readPfmHeader(FILE* file, PdfPfmHeader* header) {
    if (!recordGiven(nullptr, "tpdf_readPfmHeader", file) || !recordGiven(nullptr, "tpdf_readPfmHeader", header))
        return 0;
    *header = PdfPfmHeader{};
    unsigned char bytes[TPDF_PFM_HEADER_SIZE] = {};
    const std::size_t n = std::fread(bytes, 1, sizeof bytes, file);
    std::memcpy(header->copyright, bytes + 6, sizeof header->copyright);
    eachHeaderField(*header, [&](std::size_t offset, auto& field) {
        if (offset + sizeof field <= n) std::memcpy(&field, bytes + offset, sizeof field);
    });
    return n;
}

size_t tpdf_readPfmExtMetrics(FILE* file, PdfPfmExtMetrics* metrics) {
    if (!recordGiven(nullptr, "tpdf_readPfmExtMetrics", file) ||
        !recordGiven(nullptr, "tpdf_readPfmExtMetrics", metrics))
        return 0;
    *metrics = PdfPfmExtMetrics{};
    std::size_t n = 0;
    bool whole = true;
    eachExtField(*metrics, [&](std::size_t, uint16_t& field) {
        unsigned char bytes[2];
        whole = whole && std::fread(bytes, 1, 2, file) == 2;
        if (!whole) return;
        std::memcpy(&field, bytes, 2);
        n += 2;
    });
    return n;
}

void tpdf_swapPfmHeader(PdfPfmHeader* header) {
    if (header) eachHeaderField(*header, [](std::size_t, auto& field) { swapField(field); });
}

void tpdf_swapPfmExtMetrics(PdfPfmExtMetrics* metrics) {
    if (metrics) eachExtField(*metrics, [](std::size_t, uint16_t& field) { swapField(field); });
}

void tpdf_crToLf(unsigned char* bytes, long length) {
    for (long i = 0; bytes && i < length; ++i)
        if (bytes[i] == 13) bytes[i] = 10;
}

void tpdf_freeFontInfo(PdfFontInfo* info) {
    if (!info) return;
    tpdf_closeMemoryStream(info->outline);
    info->outline = nullptr;
}

int tpdf_readPfbSectionHeader(FILE* file, const char* path, int section, int expectedType,
                              long* length) {
    if (!recordGiven(nullptr, "tpdf_readPfbSectionHeader", file)) return 1;
    if (!path) path = "(no name)";
    const int magic = std::fgetc(file);
    if (magic != 128) {
        tpdf_GlobalError(1, kModule, "ReadPFB - Bad magic number: %d (128 expected) in section %d of file %s",
                         magic, section, path);
        return 2;
    }
    const int type = std::fgetc(file);
    if (type != expectedType) {
        tpdf_GlobalError(1, kModule, "ReadPFB - Unexpected type: %d (%d expected) in section %d of file %s",
                         type, expectedType, section, path);
        return 3;
    }
    unsigned char bytes[4];
    if (std::fread(bytes, 1, 4, file) != 4) return 4;
    if (length) *length = static_cast<long>(le32(bytes));
    return 0;
}

int ReadPFB(const char* path, PdfFontInfo* info) {
    if (!path || !info) return 1;
    info->outline = nullptr;
    File f(std::fopen(path, "rb"));
    if (!f) {
        tpdf_GlobalError(1, kModule, "ReadPFB - Unable to open PFB file: %s", path);
        return 1;
    }
    PdfMemStream* stream = tpdf_openMemoryStream();
    if (!stream) return 1;
    long* lengths[3] = {&info->length1, &info->length2, &info->length3};
    for (int section = 1; section <= 3; ++section) {
        long length = 0;
        if (const int rc = readPfbSection(f.get(), path, section, stream, length); rc != 0) {
            tpdf_closeMemoryStream(stream);
            info->length = info->length1 = info->length2 = info->length3 = 0;
            return rc;
        }
        *lengths[section - 1] = length;
    }
    info->outline = stream;
    info->length = stream->count;
    return 0;
}

int ReadPFM(const char* path, PdfFont* font, PdfFontDescriptor* descriptor) {
    if (!path || !font || !descriptor) return 1;
    File f(std::fopen(path, "rb"));
    if (!f) return 1;
    const long size = fileLength(f.get());
    PdfPfmHeader h{};
    if (size < 0 || tpdf_readPfmHeader(f.get(), &h) != TPDF_PFM_HEADER_SIZE) return refusePfm(path);
    if (tpdf_isBigEndian()) tpdf_swapPfmHeader(&h);
    const int ascent = static_cast<int16_t>(h.ascent);
    const int pitchAndFamily = h.pitchAndFamily;
    const unsigned avgWidth = h.avgWidth, maxWidth = h.maxWidth;
    const int first = h.firstChar, last = h.lastChar;
    const unsigned long extMetrics = h.extMetricsOffset, extentTable = h.extentTable;
    const unsigned long driverInfo = h.driverInfo;
    if (h.size != 0 && h.sizeFields != 30 && driverInfo > 75 && driverInfo < 512)
        return refusePfm(path);
    PdfPfmExtMetrics m{};
    if (last < first || extMetrics > static_cast<unsigned long>(size) ||
        std::fseek(f.get(), static_cast<long>(extMetrics), SEEK_SET) != 0 ||
        tpdf_readPfmExtMetrics(f.get(), &m) != TPDF_PFM_EXT_METRICS_SIZE)
        return refusePfm(path);
    if (tpdf_isBigEndian()) tpdf_swapPfmExtMetrics(&m);
    const int capHeight = static_cast<int16_t>(m.capHeight);
    const int xHeight = static_cast<int16_t>(m.xHeight);
    // Stored as a positive distance below the baseline; a descriptor's Descent is negative.
    const int lowerDescent = static_cast<int>(m.lowerCaseDescent & 0x7FFF);
    const int slant = static_cast<int16_t>(m.slant);

    unsigned char info[257] = {};
    if (driverInfo >= static_cast<unsigned long>(size)) return refusePfm(path);
    const std::size_t infoBytes = std::min<std::size_t>(256, static_cast<std::size_t>(size) - driverInfo);
    if (!readAt(f.get(), size, driverInfo, info, infoBytes)) return refusePfm(path);
    char name[64] = {};
    std::size_t at = 0, n = 0;
    while (at < infoBytes && std::isspace(info[at])) ++at;
    // A PDF name takes only visible characters.
    while (at < infoBytes && info[at] > 32 && info[at] < 127 && n < sizeof name - 1)
        name[n++] = static_cast<char>(info[at++]);
    if (n == 0) return refusePfm(path);

    const bool fixedPitch = (pitchAndFamily & 1) == 0 || avgWidth == maxWidth;
    std::memcpy(descriptor->fontName, name, sizeof name);
    descriptor->ascent = ascent;
    descriptor->capHeight = capHeight;
    descriptor->descent = -lowerDescent;
    descriptor->flags = 6;
    descriptor->fontBBox[0] = fixedPitch ? -20 : -100;
    descriptor->fontBBox[1] = -(lowerDescent + 5);
    descriptor->fontBBox[2] = static_cast<int>(maxWidth) + 10;
    descriptor->fontBBox[3] = ascent + 5;
    descriptor->italicAngle = static_cast<float>(slant * 0.1);
    descriptor->stemV = 80;
    descriptor->xHeight = xHeight;

    font->firstChar = first;
    font->lastChar = last;
    font->type = 2;
    std::memset(font->widths, 0, sizeof font->widths);
    const std::size_t count = static_cast<std::size_t>(last - first + 1);
    if (extentTable > static_cast<unsigned long>(size)) return 3;
    unsigned char extents[512];
    const std::size_t available = std::min<std::size_t>(count * 2, static_cast<std::size_t>(size) - extentTable);
    if (!readAt(f.get(), size, extentTable, extents, available)) return 3;
    if (available < count * 2) return 4;
    for (std::size_t i = 0; i < count; ++i)
        font->widths[static_cast<std::size_t>(first) + i] = static_cast<short>(le16(extents + 2 * i) & 0x7FFF);
    return 0;
}

int tpdf_readFontMap(PdfDoc* doc, const char* name, char* metricPath, char* outlinePath) {
    if (!doc || !name || !metricPath || !outlinePath) return 1;
    File f(std::fopen(doc->fontMapFile, "r"));
    if (!f) return 1;
    FontMap map;
    char line[2098];
    // A device or a pipe named as the map may never end: no real map comes near this.
    constexpr long kMaxMapLines = 10000;
    for (long lines = 0; std::fgets(line, sizeof line, f.get()); ++lines) {
        if (lines == kMaxMapLines) return 2;
        const int rc = fontMapLine(map, line, name, metricPath, outlinePath);
        if (rc >= 0) return rc;
    }
    return -1;
}

void tpdf_setFontMapFile(PdfDoc* doc, const char* name) {
    if (doc && name) copyBounded(doc->fontMapFile, name, 1023);
}

void tpdf_setFontDirectories(PdfDoc* doc, const char* metricFolder, const char* outlineFolder) {
    if (!doc) return;
    if (metricFolder) copyBounded(doc->metricFolder, metricFolder, 1020);
    if (outlineFolder) copyBounded(doc->outlineFolder, outlineFolder, 1020);
}

int _tpdf_loadExternalFont(PdfDoc* doc, const char* name, PdfFont* font,
                           PdfFontDescriptor* descriptor, PdfFontInfo* info) {
    if (!doc || !name || !font || !descriptor || !info) return 1;
    char metric[kPathSize], outline[kPathSize];
    const auto place = [](char* out, const char* folder, const char* file, const char* ext) {
        const int n = folder ? std::snprintf(out, kPathSize, "%s/%s.%s", folder, file, ext)
                             : std::snprintf(out, kPathSize, "%s.%s", file, ext);
        return n >= 0 && n < kPathSize;
    };
    if (place(metric, nullptr, name, "pfm") && tryMetric(metric, font, descriptor)) {
        place(outline, nullptr, name, "pfb");
    } else if (place(metric, doc->metricFolder, name, "pfm") && tryMetric(metric, font, descriptor) &&
               place(outline, doc->outlineFolder, name, "pfb")) {
    } else {
        const int rc = tpdf_readFontMap(doc, name, metric, outline);
        if (rc == -1) tpdf_Error(doc, 1, kModule, "_tpdf_loadExternalFont() Font not found: %s", name);
        if (rc == 1)
            tpdf_Error(doc, 1, kModule, "_tpdf_loadExternalFont() Fontmap file not found: %s", doc->fontMapFile);
        if (rc == 2)
            tpdf_Error(doc, 1, kModule, "_tpdf_loadExternalFont() Syntax error in fontmap file: %s",
                       doc->fontMapFile);
        if (rc != 0) return rc;
        resetMetrics(font, descriptor);
        if (const int pfm = ReadPFM(metric, font, descriptor); pfm != 0) {
            tpdf_Error(doc, 1, kModule, "_tpdf_loadExternalFont() Fontmap file %s or PFM file %s for %s is invalid.",
                       doc->fontMapFile, metric, name);
            return pfm;
        }
    }
    if (const int rc = ReadPFB(outline, info); rc != 0) return rc;
    descriptor->fontFile = info;
    return 0;
}

} // extern "C"
