#include "font_fixtures.h"

#include "pdf_fixtures.h"

namespace tpdf_test {

void put16(std::vector<unsigned char>& b, std::size_t at, unsigned v) {
    b[at] = static_cast<unsigned char>(v & 0xFF);
    b[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

void put32(std::vector<unsigned char>& b, std::size_t at, unsigned long v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

std::vector<unsigned char> makePfm(const PfmSpec& s) {
    const std::size_t extMetrics = 147, driverInfo = extMetrics + 52;
    const std::size_t extents = driverInfo + s.fontName.size() + 1;
    const std::size_t count = s.last >= s.first ? static_cast<std::size_t>(s.last - s.first + 1) : 0;
    std::vector<unsigned char> b(extents + 2 * count, 0);
    put16(b, 0, 0x100);
    put32(b, 2, s.fileSizeField >= 0 ? static_cast<unsigned long>(s.fileSizeField) : b.size());
    put16(b, 74, static_cast<unsigned>(s.ascent));
    b[90] = static_cast<unsigned char>(s.pitchAndFamily);
    put16(b, 91, static_cast<unsigned>(s.avgWidth));
    put16(b, 93, static_cast<unsigned>(s.maxWidth));
    b[kPfmFirstChar] = static_cast<unsigned char>(s.first);
    b[kPfmLastChar] = static_cast<unsigned char>(s.last);
    put16(b, kPfmExtensionSize, static_cast<unsigned>(s.extensionSize));
    put32(b, kPfmExtMetrics, extMetrics);
    put32(b, kPfmExtentTable, extents);
    put32(b, kPfmDriverInfo, driverInfo);
    put16(b, extMetrics, 52);
    put16(b, extMetrics + 14, static_cast<unsigned>(s.capHeight));
    put16(b, extMetrics + 16, static_cast<unsigned>(s.xHeight));
    put16(b, extMetrics + 20, static_cast<unsigned>(s.lowerDescent));
    put16(b, extMetrics + 22, static_cast<unsigned>(s.slant) & 0xFFFF);
    std::copy(s.fontName.begin(), s.fontName.end(), b.begin() + static_cast<long>(driverInfo));
    for (std::size_t i = 0; i < count; ++i)
        put16(b, extents + 2 * i, static_cast<unsigned>(i < s.widths.size() ? s.widths[i] : s.width));
    return b;
}

std::vector<unsigned char> makePfb(const std::vector<PfbSection>& sections) {
    std::vector<unsigned char> b;
    for (const PfbSection& s : sections) {
        const std::size_t at = b.size();
        b.resize(at + 6);
        b[at] = 128;
        b[at + 1] = static_cast<unsigned char>(s.type);
        put32(b, at + 2, s.bytes.size());
        b.insert(b.end(), s.bytes.begin(), s.bytes.end());
    }
    b.push_back(128);
    b.push_back(3);
    return b;
}

std::vector<unsigned char> simplePfb() {
    return makePfb({{1, "%!PS-AdobeFont-1.0: Test\rcurrentfile eexec\r"},
                    {2, std::string("\x01\x02\x80\xFF\x00\x0D", 6)},
                    {1, std::string(64, '0') + "\rcleartomark\r"}});
}

std::vector<unsigned char> installedFontAsPfb(const std::string& file, std::string* fontName) {
    const std::vector<unsigned char> t1 = readFile("/usr/share/fonts/type1/urw-base35/" + file);
    const std::string text(t1.begin(), t1.end());
    const std::size_t eexec = text.find("eexec");
    const std::size_t zeros = text.find(std::string(64, '0'));
    const std::size_t name = text.find("/FontName /");
    if (t1.empty() || eexec == std::string::npos || zeros == std::string::npos || name == std::string::npos)
        return {};
    std::size_t clear = eexec + 5;
    while (clear < text.size() && (text[clear] == '\r' || text[clear] == '\n')) ++clear;
    if (fontName) *fontName = text.substr(name + 11, text.find(' ', name + 11) - name - 11);
    return makePfb({{1, text.substr(0, clear)}, {2, text.substr(clear, zeros - clear)}, {1, text.substr(zeros)}});
}

} // namespace tpdf_test
