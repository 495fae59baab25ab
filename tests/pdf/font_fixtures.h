// Small synthetic font files for the external-font loader: metric (PFM) and outline (PFB).
#pragma once

#include <string>
#include <vector>

namespace tpdf_test {

struct PfmSpec {
    std::string fontName = "TestFont-Regular";
    int ascent = 700, capHeight = 650, xHeight = 450, lowerDescent = 210, slant = 0;
    int first = 32, last = 255;
    int width = 500;             // every code's width unless widths is given
    std::vector<int> widths;     // from first on
    int pitchAndFamily = 0x31;   // variable pitch, sans serif
    int avgWidth = 480, maxWidth = 1000;
    int extensionSize = 30;
    long fileSizeField = -1;     // -1: the real size
};
std::vector<unsigned char> makePfm(const PfmSpec& spec);

// Byte offsets of the header fields that the tests damage.
constexpr std::size_t kPfmExtensionSize = 117, kPfmExtMetrics = 119, kPfmExtentTable = 123,
                      kPfmDriverInfo = 139, kPfmFirstChar = 95, kPfmLastChar = 96;

struct PfbSection {
    int type; // 1 text, 2 binary
    std::string bytes;
};
std::vector<unsigned char> makePfb(const std::vector<PfbSection>& sections);
// Three sections of small made-up text and bytes.
std::vector<unsigned char> simplePfb();

// An installed Type 1 font program in the outline file layout, with its name; empty when the
// font is not installed.
std::vector<unsigned char> installedFontAsPfb(const std::string& file, std::string* fontName);

void put16(std::vector<unsigned char>& b, std::size_t at, unsigned v);
void put32(std::vector<unsigned char>& b, std::size_t at, unsigned long v);

} // namespace tpdf_test
