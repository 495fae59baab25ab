// The built-in widths against Adobe's own metric files of the named fonts, read here apart
// from the generator that wrote the tables.
#include "pdf_fixtures.h"

#include <fstream>
#include <map>
#include <sstream>

using namespace tpdf_test;

namespace {

const std::string kAdobeMetrics = "/usr/share/enscript/afm";

// Font name -> metric file, from the folder's own map.
std::map<std::string, std::string> metricFiles() {
    std::map<std::string, std::string> files;
    std::ifstream map(kAdobeMetrics + "/font.map");
    std::string name, file;
    while (map >> name >> file) files[name] = kAdobeMetrics + "/" + file + ".afm";
    return files;
}

// Width of each coded character of a metric file, by its code in the font's own encoding.
std::map<int, int> codedWidths(const std::string& path) {
    std::map<int, int> widths;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        int code = -1, width = 0;
        if (std::sscanf(line.c_str(), "C %d ; WX %d ;", &code, &width) == 2 && code >= 32 && code < 256)
            widths[code] = width;
    }
    return widths;
}

float widthOf(PdfDoc* d, unsigned char code) {
    const char text[2] = {static_cast<char>(code), 0};
    return tpdf_stringWidth(d, text);
}

// The codes of these files are StandardEncoding's (the symbol fonts': their own), so each
// coded width must come back through that encoding at 1000 points.
TEST(FontMetrics, EveryCodedWidthIsAdobes) {
    const auto files = metricFiles();
    ASSERT_FALSE(files.empty()) << "Adobe's metric files are missing: run scripts/install-deps";
    Doc doc = startedDocument();
    PdfDoc* d = doc.get();
    tpdf_pageInit(d, 1, 0, "0 0 100 100", "0 0 100 100");
    int checked = 0;
    for (int index = 0; index <= 38; ++index) {
        const char* name = tpdf_builtInFontName(index);
        const auto file = files.find(name);
        ASSERT_NE(file, files.end()) << name;
        const auto widths = codedWidths(file->second);
        ASSERT_GT(widths.size(), 90u) << file->second;
        ASSERT_EQ(tpdf_setFont(d, name, "StandardEncoding", 1000), 0);
        for (const auto& [code, width] : widths) {
            EXPECT_FLOAT_EQ(widthOf(d, static_cast<unsigned char>(code)), static_cast<float>(width))
                << name << " code " << code;
            ++checked;
        }
    }
    EXPECT_GT(checked, 39 * 90);
}

TEST(FontMetrics, HelveticaFractionThroughEveryEncodingThatHasIt) {
    Doc doc = startedDocument();
    PdfDoc* d = doc.get();
    tpdf_pageInit(d, 1, 0, "0 0 100 100", "0 0 100 100");
    for (const char* name : {"Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique"}) {
        tpdf_setFont(d, name, "StandardEncoding", 1000);
        EXPECT_FLOAT_EQ(widthOf(d, 0xA4), 167.0f) << name;
        tpdf_setFont(d, name, "MacRomanEncoding", 1000);
        EXPECT_FLOAT_EQ(widthOf(d, 0xDA), 167.0f) << name;
    }
}

} // namespace
