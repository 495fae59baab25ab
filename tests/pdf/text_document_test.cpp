// A document of text in every kind of font, with notes, links and an outline, checked by the
// outside tools. Kept in build/test-output/pdf/text.pdf for a person to look at.
#include "font_fixtures.h"
#include "pdf_fixtures.h"

#include <filesystem>
#include <sstream>

using namespace tpdf_test;

namespace {

const char* const kStandardFonts[14] = {
    "Helvetica",   "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
    "Times-Roman", "Times-Bold",     "Times-Italic",      "Times-BoldItalic",
    "Courier",     "Courier-Bold",   "Courier-Oblique",   "Courier-BoldOblique",
    "Symbol",      "ZapfDingbats"};

struct Line {
    const char* font;
    const char* encoding;
    std::string text;
};

// Writes the external font's files into dir: a metric file made here for the outline of an
// installed URW font. False when that font is not installed.
bool writeExternalFont(const ScratchDir& dir) {
    std::string fontName;
    const std::vector<unsigned char> pfb = installedFontAsPfb("NimbusMonoPS-Regular.t1", &fontName);
    if (pfb.empty()) return false;
    PfmSpec spec;
    spec.fontName = fontName;
    spec.width = 600;
    spec.avgWidth = spec.maxWidth = 600;
    spec.pitchAndFamily = 0x30;
    writeFile(dir.path() / "ExtMono.pfm", makePfm(spec));
    writeFile(dir.path() / "ExtMono.pfb", pfb);
    return true;
}

std::vector<Line> pageOneLines() {
    std::vector<Line> lines;
    for (const char* font : kStandardFonts)
        lines.push_back({font, "WinAnsiEncoding", std::string("Standard font ") + font});
    lines.push_back({"Palatino-Roman", "WinAnsiEncoding", "Built-in Palatino-Roman"});
    lines.push_back({"AvantGarde-Demi", "MacRomanEncoding", "Built-in AvantGarde-Demi"});
    lines.push_back({"HeiseiMin-W3-90ms-RKSJ-H", "90ms-RKSJ-H", "CID 12345"});
    lines.push_back({"ExtMono", "WinAnsiEncoding", "External ExtMono 0123"});
    lines.push_back({"Times-Roman", "WinAnsiEncoding", "Escapes (a) [b] back\\slash (("});
    lines.push_back({"Helvetica", "WinAnsiEncoding", "Accents \xE9\xE8\xEA\xE0\xFC\xF6\xE4\xDF\xE7\xD1"});
    return lines;
}

std::string buildDocument(const ScratchDir& dir, const std::string& file) {
    Doc doc = startedDocument();
    PdfDoc* d = doc.get();
    tpdf_setFontDirectories(d, dir.path().c_str(), dir.path().c_str());
    tpdf_pageInit(d, 1, 0, "0 0 612 792", "0 0 612 792");
    tpdf_beginText(d, 0);
    float y = 740;
    for (const Line& line : pageOneLines()) {
        EXPECT_EQ(tpdf_setFont(d, line.font, line.encoding, 14), 0) << line.font;
        tpdf_textAt(d, 50, y, 0, line.text.c_str());
        y -= 24;
    }
    tpdf_endText(d);
    tpdf_textNote(d, 500, 700, 520, 720, "First (note)", "Line one\nLine (two) \\ end", nullptr);
    tpdf_textNote(d, 500, 650, 520, 670, "Second note", "Plain", nullptr);
    tpdf_webLink(d, 50, 150, 250, 170, "https://example.com/a(b)", nullptr);
    tpdf_pageLink(d, 50, 110, 250, 130, 2, "/Fit", nullptr);
    tpdf_actionLink(d, 50, 70, 250, 90, "/S /Named /N /NextPage", nullptr);
    tpdf_beginText(d, 0);
    tpdf_setFont(d, "Helvetica", "WinAnsiEncoding", 12);
    tpdf_textAt(d, 52, 155, 0, "Web link");
    tpdf_textAt(d, 52, 115, 0, "Page link to page 2");
    tpdf_textAt(d, 52, 75, 0, "Action link");
    tpdf_endText(d);

    tpdf_pageInit(d, 2, 0, "0 0 612 792", "0 0 612 792");
    tpdf_beginText(d, 0);
    tpdf_setFont(d, "Times-Roman", "WinAnsiEncoding", 18);
    tpdf_textAt(d, 50, 700, 0, "Second page");
    tpdf_endText(d);

    PdfOutline* one = tpdf_addOutline(d, nullptr, 0, 1, 1, "Page one (fonts)", 2, 0, 0, 0, 0);
    PdfOutline* child = tpdf_addOutline(d, one, 1, 1, 1, "Links", 1, 0, 300, 1, 0);
    tpdf_addOutline(d, child, 1, 0, 1, "Third level", 3, 792, 0, 0, 0);
    tpdf_addOutline(d, one, 0, 1, 2, "Page two", 2, 0, 0, 0, 0);
    EXPECT_EQ(tpdf_finalizeAll(d), 0);
    EXPECT_EQ(tpdf_savePDFmemoryStreamToFile(d, file.c_str()), 0);
    return outputOf(d);
}

TEST(TextDocument, EveryKindOfFontNotesLinksAndOutlinesPassOutsideTools) {
    for (const char* tool : {"qpdf", "pdftotext", "pdffonts", "pdfinfo", "pdftoppm"})
        if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
    ScratchDir dir;
    if (!writeExternalFont(dir)) GTEST_SKIP() << "fonts-urw-base35 is not installed";
    const std::filesystem::path outDir = TPDF_TEST_OUTPUT_DIR;
    std::filesystem::create_directories(outDir);
    const std::string file = (outDir / "text.pdf").string();
    const std::string pdf = buildDocument(dir, file);

    std::string out;
    ASSERT_EQ(run("qpdf --check " + file, &out), 0) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;

    ASSERT_EQ(run("pdfinfo " + file, &out), 0) << out;
    out = squeezeBlanks(out);
    EXPECT_NE(out.find("Pages: 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("PDF version: 1.2\n"), std::string::npos) << out;

    ASSERT_EQ(run("pdftotext -layout -f 1 -l 1 " + file + " -", &out), 0) << out;
    for (const Line& line : pageOneLines()) {
        if (std::string(line.font) == "Symbol" || std::string(line.font) == "ZapfDingbats" ||
            std::string(line.font).rfind("Heisei", 0) == 0)
            continue; // their glyphs are not letters
        std::string expected = line.text;
        if (expected.rfind("Accents", 0) == 0) expected = "Accents éèêàüöäßçÑ";
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }

    ASSERT_EQ(run("pdffonts " + file, &out), 0) << out;
    out = squeezeBlanks(out);
    for (const char* font : kStandardFonts)
        EXPECT_NE(out.find(std::string(font) + " Type 1 "), std::string::npos) << font << "\n" << out;
    EXPECT_NE(out.find("Palatino-Roman Type 1 WinAnsi no no"), std::string::npos) << out;
    EXPECT_NE(out.find("AvantGarde-Demi Type 1 "), std::string::npos) << out;
    // Poppler reads a composite font only with its language data (Debian's poppler-data).
    if (std::filesystem::exists("/usr/share/poppler/cMap")) {
        EXPECT_NE(out.find("HeiseiMin-W3-90ms-RKSJ-H CID TrueType"), std::string::npos) << out;
    }
    EXPECT_NE(out.find("NimbusMonoPS-Regular Type 1 WinAnsi yes no"), std::string::npos) << out;

    ASSERT_EQ(run("pdftoppm -r 40 -png " + file + " " + (outDir / "text").string(), &out), 0) << out;
    EXPECT_TRUE(std::filesystem::exists(outDir / "text-1.png"));
    EXPECT_TRUE(std::filesystem::exists(outDir / "text-2.png"));

    EXPECT_NE(pdf.find("/T (First \\(note\\))\n/Contents (Line one\\r\\nLine \\(two\\) \\\\ end)\n"),
              std::string::npos);
    EXPECT_NE(pdf.find("/URI (https://example.com/a\\(b\\))"), std::string::npos);
}

} // namespace
