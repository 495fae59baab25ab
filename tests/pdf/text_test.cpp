// Font selection, measuring, the text operators, escapes, hex text and the font objects.
#include "pdf_fixtures.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>

using namespace tpdf_test;

namespace {

std::string finishedOutput(PdfDoc* doc) {
    EXPECT_EQ(tpdf_finalizeAll(doc), 0);
    return outputOf(doc);
}

void font(PdfDoc* d) { tpdf_setFont(d, "Helvetica", nullptr, 9); }

TEST(Text, EachOperatorWritesItsLine) {
    struct Case {
        std::function<void(PdfDoc*)> draw;
        const char* lines;
    };
    const Case cases[] = {
        {[](PdfDoc* d) { tpdf_beginText(d, 7); tpdf_endText(d); }, "\nBT\nET\n"},
        {[](PdfDoc* d) { tpdf_wordSpacing(d, 1.5f); tpdf_charSpacing(d, -0.25f); }, "1.500 Tw\n-0.250 Tc\n"},
        {[](PdfDoc* d) { tpdf_horizScaling(d, 80); tpdf_leading(d, 14); }, "80.00 Tz\n14.00 TL\n"},
        {[](PdfDoc* d) { tpdf_renderMode(d, 2); tpdf_textRise(d, 3); }, "2 Tr\n3.000 Ts\n"},
        {[](PdfDoc* d) { tpdf_textMatrix(d, 1, 2, 3, 4, 5, 6); },
         "1.0000 2.0000 3.0000 4.0000 5.0000 6.0000 Tm\n"},
        {[](PdfDoc* d) { tpdf_textMatrix(d, 2, 0, 0, 2, 5, 6); tpdf_textPosition(d, 10, 20); },
         "2.0000 0.0000 0.0000 2.0000 5.0000 6.0000 Tm\n2.0000 0.0000 0.0000 2.0000 10.0000 20.0000 Tm\n"},
        {[](PdfDoc* d) { tpdf_textPositionDomain(d, 1, 2); },
         "1.0000 0.0000 0.0000 1.0000 72.0000 144.0000 Tm\n"},
        {[](PdfDoc* d) { tpdf_moveText(d, 3, -4); tpdf_moveTextDomain(d, 1, 1); tpdf_nextLine(d); },
         "3.000 -4.000 Td\n72.000 72.000 Td\nT*\n"},
        {[](PdfDoc* d) { tpdf_textMatrix(d, 1, 0, 0, 1, 10, 20); tpdf_concatTextMatrix(d, 2, 0, 0, 2, 1, 1); },
         "1.0000 0.0000 0.0000 1.0000 10.0000 20.0000 Tm\n2.0000 0.0000 0.0000 2.0000 11.0000 21.0000 Tm\n"},
        {[](PdfDoc* d) { tpdf_rotateText(d, 90); },
         "-0.0000 1.0000 -1.0000 -0.0000 0.0000 0.0000 Tm\n"},
        {[](PdfDoc* d) { tpdf_skewText(d, 45, 0); }, "1.0000 1.0000 0.0000 1.0000 0.0000 0.0000 Tm\n"},
        // Text is shown in a font chosen on its page.
        {[](PdfDoc* d) { font(d); tpdf_showText(d, "a(b)c\\"); tpdf_nextLineShow(d, "x\ry"); },
         "/Ftpdf0 9.000 Tf\n(a\\(b\\)c\\\\) Tj\n(x\\ry) '\n"},
        {[](PdfDoc* d) { font(d); tpdf_textAt(d, 5, 6, 0, "t"); },
         "/Ftpdf0 9.000 Tf\n1.0000 0.0000 -0.0000 1.0000 5.0000 6.0000 Tm\n(t) Tj\n"},
        {[](PdfDoc* d) { font(d); tpdf_textAtDomain(d, 1, 1, 0, "t"); },
         "/Ftpdf0 9.000 Tf\n1.0000 0.0000 -0.0000 1.0000 72.0000 72.0000 Tm\n(t) Tj\n"},
        {[](PdfDoc* d) { font(d); tpdf_setHexText(d, 1); tpdf_showText(d, "28 41 5c 2"); tpdf_nextLineShow(d, "0d41"); },
         "/Ftpdf0 9.000 Tf\n(\\(A\\\\) Tj\n(\\rA) '\n"},
        {[](PdfDoc* d) { tpdf_showText(d, "no font"); tpdf_textAt(d, 5, 6, 0, "no font"); }, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(pageContent(c.draw), c.lines);
}

TEST(Text, AlignedTextIsShiftedByItsWidthAndCapHeight) {
    // "AB" in Helvetica 10: 13.34 wide, cap height 7.18.
    const std::string content = pageContent([](PdfDoc* d) {
        tpdf_setFont(d, "Helvetica", nullptr, 10);
        tpdf_textAligned(d, 100, 100, 0, 0, "AB");
        tpdf_textAligned(d, 100, 100, 0, 4, "AB");
        tpdf_textAligned(d, 100, 100, 0, 8, "AB");
        tpdf_textAligned(d, 100, 100, 90, 2, "AB");
    });
    EXPECT_NE(content.find("1.0000 0.0000 -0.0000 1.0000 100.0000 100.0000 Tm\n(AB) Tj\n"), std::string::npos);
    EXPECT_NE(content.find("1.0000 0.0000 -0.0000 1.0000 93.3300 96.4100 Tm\n"), std::string::npos) << content;
    EXPECT_NE(content.find("1.0000 0.0000 -0.0000 1.0000 86.6600 92.8200 Tm\n"), std::string::npos) << content;
    EXPECT_NE(content.find("-0.0000 1.0000 -1.0000 -0.0000 100.0000 86.6600 Tm\n"), std::string::npos) << content;
}

TEST(Fonts, WidthsAndHeightsFollowTheMetrics) {
    pageContent([](PdfDoc* d) {
        tpdf_setFont(d, "Helvetica", nullptr, 10);
        EXPECT_NEAR(tpdf_stringWidth(d, "AB"), 13.34f, 1e-4);
        tpdf_charSpacing(d, 1);
        EXPECT_NEAR(tpdf_stringWidth(d, "AB"), 14.34f, 1e-4);
        tpdf_wordSpacing(d, 2);
        EXPECT_NEAR(tpdf_stringWidth(d, "A B"), 6.67f + 2.78f + 6.67f + 2 + 2, 1e-4);
        tpdf_charSpacing(d, 0);
        tpdf_wordSpacing(d, 0);
        tpdf_horizScaling(d, 50);
        EXPECT_NEAR(tpdf_stringWidth(d, "AB"), 6.67f, 1e-4);
        tpdf_horizScaling(d, 100);
        EXPECT_EQ(tpdf_stringWidth(d, ""), 0.0f);

        // The quote at 39 is quotesingle in WinAnsi, quoteright in the Standard encoding.
        tpdf_setFont(d, "Times-Roman", "WinAnsiEncoding", 10);
        EXPECT_NEAR(tpdf_stringWidth(d, "'"), 1.80f, 1e-4);
        EXPECT_NEAR(tpdf_capHeight(d), 6.62f, 1e-4);
        EXPECT_NEAR(tpdf_ascent(d), 6.83f, 1e-4);
        EXPECT_NEAR(tpdf_descent(d), -2.17f, 1e-4);
        tpdf_setFont(d, "Times-Roman", nullptr, 10);
        EXPECT_NEAR(tpdf_stringWidth(d, "'"), 3.33f, 1e-4);
        // MacRoman 0xDE is fi, a glyph WinAnsi has no code for; 0xAD (notequal) has no glyph.
        tpdf_setFont(d, "Times-Roman", "MacRomanEncoding", 10);
        EXPECT_NEAR(tpdf_stringWidth(d, "\xDE"), 5.56f, 1e-4);
        EXPECT_EQ(tpdf_stringWidth(d, "\xAD"), 0.0f);
        // Symbol keeps its own codes whatever the encoding.
        tpdf_setFont(d, "Symbol", "MacRomanEncoding", 10);
        EXPECT_NEAR(tpdf_stringWidth(d, "a"), 6.31f, 1e-4);
        tpdf_setFont(d, "Courier", nullptr, 10);
        EXPECT_NEAR(tpdf_stringWidth(d, "any text"), 48.0f, 1e-4);
        // Composite fonts: half the size per single byte, the size per two-byte character.
        tpdf_setFont(d, "HeiseiKakuGo-W5", "90ms-RKSJ-H", 10);
        EXPECT_NEAR(tpdf_stringWidth(d, "ab\x88\x9f"), 20.0f, 1e-4);
        EXPECT_NEAR(tpdf_ascent(d), 8.75f, 1e-4);
        EXPECT_EQ(tpdf_stringWidth(d, "\x88"), 5.0f) << "a lone lead byte at the end";
    });
}

// A composite font's encoding is a CMap a reader holds for its character collection.
TEST(Fonts, ACidFontTakesOnlyACMapOfItsCollection) {
    const struct {
        const char* font;
        const char* encoding;
        int result;
    } cases[] = {
        {"HeiseiMin-W3", "WinAnsiEncoding", 2},
        {"HeiseiKakuGo-W5", "MacRomanEncoding", 2},
        {"STSong-Light", "StandardEncoding", 2},
        {"HeiseiMin-W3", "OwnEncoding", 2},
        {"HeiseiMin-W3", "UniGB-UCS2-H", 2},
        {"MSung-Light", "90ms-RKSJ-H", 2},
        {"HYGoThic-Medium", "", 2},
        {"HeiseiMin-W3", "90ms-RKSJ-H", 0},
        {"HeiseiMin-W3-90ms-RKSJ-H", "UniJIS-UCS2-H", 0},
        {"HYSMyeongJo-Medium", "KSCms-UHC-H", 0},
        {"MHei-Medium", "ETen-B5-V", 0},
        {"STSong-Light", "GBK-EUC-H", 0},
        {"STSong-Light", "Identity-H", 0},
        {"HeiseiMin-W3", nullptr, 0},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.font) + " " + (c.encoding ? c.encoding : "(none)");
        Doc doc = startedDocument();
        PdfDoc* d = doc.get();
        ReportLog log(d);
        tpdf_pageInit(d, 1, 0, "0 0 200 100", "0 0 200 100");
        tpdf_beginText(d, 0);
        EXPECT_EQ(tpdf_setFont(d, c.font, c.encoding, 9), c.result) << what;
        EXPECT_EQ(log.lines().empty(), c.result == 0) << what;
        EXPECT_EQ(tpdf_fontCount(d), c.result == 0 ? 1 : 0) << what;
        tpdf_endText(d);
        const std::string pdf = finishedOutput(d);
        if (c.result == 0) expectReadersTakeIt(pdf, what);
        else EXPECT_EQ(pdf.find("/Type0"), std::string::npos) << what;
    }
}

TEST(Fonts, EntriesNamesEncodingsAndVersion) {
    Doc doc = startedDocument();
    PdfDoc* d = doc.get();
    tpdf_pageInit(d, 1, 0, "0 0 100 100", "0 0 100 100");
    tpdf_setFont(d, "Helvetica", nullptr, 10);
    tpdf_setFont(d, "Helvetica", nullptr, 12);
    ASSERT_EQ(tpdf_fontCount(d), 1);
    EXPECT_STREQ(tpdf_fontEntry(d, 0)->resourceName, "Ftpdf0");
    EXPECT_EQ(tpdf_fontEntry(d, 0)->encodingCode, 3);
    tpdf_setFont(d, "Helvetica", "MacRomanEncoding", 10);
    tpdf_setFont(d, "Helvetica", "OwnEncoding", 10);
    ASSERT_EQ(tpdf_fontCount(d), 3);
    EXPECT_STREQ(tpdf_fontEntry(d, 1)->resourceName, "Ftpdf1");
    EXPECT_EQ(tpdf_fontEntry(d, 1)->encodingCode, 1);
    EXPECT_EQ(tpdf_fontEntry(d, 2)->encodingCode, 0);
    int entry = -1, same = -1;
    EXPECT_EQ(tpdf_findFontEntry(d, "Helvetica", "MacRomanEncoding", &entry, &same), 0);
    EXPECT_EQ(entry, 1);
    EXPECT_EQ(tpdf_findFontEntry(d, "Helvetica", "StandardEncoding", &entry, &same), 1);
    EXPECT_EQ(entry, 3);
    EXPECT_EQ(same, 0);
    EXPECT_EQ(tpdf_findFontEntry(d, "Courier", nullptr, &entry, &same), 2);
    EXPECT_EQ(same, -1);

    EXPECT_EQ(tpdf_setFont(d, "Bookman-Light", nullptr, 10), 0);
    EXPECT_EQ(tpdf_fontEntry(d, 3)->type, 1);
    EXPECT_EQ(tpdf_fontEntry(d, 3)->fontIndex, 20);
    EXPECT_EQ(tpdf_setFont(d, "HeiseiMin-W3-90ms-RKSJ-H", nullptr, 10), 0);
    const PdfFont* cid = tpdf_fontEntry(d, 4);
    EXPECT_EQ(cid->type, 3);
    EXPECT_EQ(cid->fontIndex, 42);
    EXPECT_STREQ(cid->baseFont, "HeiseiMin-W3-90ms-RKSJ-H");
    EXPECT_STREQ(tpdf_builtInFontName(47), "STSong-Light");
    EXPECT_EQ(tpdf_builtInFontName(48), nullptr);

    const std::string pdf = finishedOutput(d);
    EXPECT_EQ(pdf.rfind("%PDF-1.2\n", 0), 0u) << "a composite font raises the version";
    EXPECT_NE(pdf.find("/Font <<\n/Ftpdf0 7 0 R\n/Ftpdf1 8 0 R\n/Ftpdf2 9 0 R\n/Ftpdf3 10 0 R\n/Ftpdf4 12 0 R\n>>"),
              std::string::npos);
    EXPECT_NE(pdf.find("7 0 obj\n<<\n/Type /Font\n/Subtype /Type1\n/Name /Ftpdf0\n/BaseFont /Helvetica\n>>\nendobj\n"),
              std::string::npos)
        << "a standard font with no encoding has neither widths nor descriptor";
    EXPECT_NE(pdf.find("/Name /Ftpdf2\n/BaseFont /Helvetica\n/Encoding /OwnEncoding\n>>"), std::string::npos);
    const std::size_t bookman = pdf.find("10 0 obj\n<<\n/Type /Font\n/Subtype /Type1\n/Name /Ftpdf3\n/BaseFont /Bookman-Light\n"
                                         "/FirstChar 32\n/LastChar 255\n/Widths [\n320 300 380 620 ");
    EXPECT_NE(bookman, std::string::npos) << pdf;
    EXPECT_NE(pdf.find("]\n/FontDescriptor 11 0 R\n>>\nendobj\n11 0 obj\n<<\n/Type /FontDescriptor\n/Ascent 717\n"
                       "/CapHeight 681\n/Descent -228\n/Flags 34\n/FontBBox [-188 -290 1266 1034]\n"
                       "/FontName /Bookman-Light\n/ItalicAngle 0\n/StemV 80\n/XHeight 485\n>>\nendobj\n"),
              std::string::npos)
        << pdf;
    EXPECT_NE(pdf.find("12 0 obj\n<<\n/Type /Font\n/Subtype /Type0\n/Name /Ftpdf4\n/BaseFont /HeiseiMin-W3-90ms-RKSJ-H\n"
                       "/Encoding /90ms-RKSJ-H\n/DescendantFonts [ 14 0 R ]\n>>\nendobj\n"
                       "13 0 obj\n<<\n/Type /FontDescriptor\n/Ascent 857\n/CapHeight 718\n/Descent -143\n/Flags 6\n"
                       "/FontBBox [0 -143 1000 857]\n/FontName /HeiseiMin-W3-90ms-RKSJ-H\n/ItalicAngle 0\n/StemV 80\n"
                       "/XHeight 450\n/StemH 40\n/MissingWidth 500\n/Leading 0\n/MaxWidth 1000\n/AvgWidth 500\n"
                       "/Style << /Panose <010502020400000000000000> >>\n>>\nendobj\n"
                       "14 0 obj\n<<\n/Type /Font\n/Subtype /CIDFontType2\n/BaseFont /HeiseiMin-W3-90ms-RKSJ-H\n"
                       "/FontDescriptor 13 0 R\n/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 2 >>\n"
                       "/DW 1000\n/W [ 1 95 500 231 632 500 ]\n>>\nendobj\n"),
              std::string::npos)
        << pdf;
}

TEST(Fonts, EachCompositeFontWritesItsSystemInfoAndWidths) {
    struct Case {
        const char* name;
        const char* systemInfo;
        const char* widths;
    };
    const Case cases[] = {
        {"HeiseiKakuGo-W5", "/Registry (Adobe) /Ordering (Japan1) /Supplement 2", "[ 1 95 500 231 632 500 ]"},
        {"HeiseiMin-W3", "/Registry (Adobe) /Ordering (Japan1) /Supplement 2", "[ 1 95 500 231 632 500 ]"},
        {"HYGoThic-Medium", "/Registry (Adobe) /Ordering (Korea1) /Supplement 1", "[ 1 95 500 8094 8190 500 ]"},
        {"HYSMyeongJo-Medium", "/Registry (Adobe) /Ordering (Korea1) /Supplement 1", "[ 1 95 500 8094 8190 500 ]"},
        {"MHei-Medium", "/Registry (Adobe) /Ordering (CNS1) /Supplement 0", "[ 1 95 500 13648 13742 500 ]"},
        {"MSung-Light", "/Registry (Adobe) /Ordering (CNS1) /Supplement 0", "[ 1 95 500 13648 13742 500 ]"},
        {"STSong-Light", "/Registry (Adobe) /Ordering (GB1) /Supplement 2",
         "[ 1 95 500 814 939 500 7712 [ 500 ] 7716 [ 500 ] ]"},
    };
    for (const Case& c : cases) {
        Doc doc = startedDocument();
        tpdf_pageInit(doc.get(), 1, 0, "0 0 100 100", "0 0 100 100");
        ASSERT_EQ(tpdf_setFont(doc.get(), c.name, nullptr, 10), 0);
        const std::string pdf = finishedOutput(doc.get());
        const std::string expected = "9 0 obj\n<<\n/Type /Font\n/Subtype /CIDFontType2\n/BaseFont /" +
                                     std::string(c.name) + "\n/FontDescriptor 8 0 R\n/CIDSystemInfo << " +
                                     c.systemInfo + " >>\n/DW 1000\n/W " + c.widths + "\n>>\nendobj\n";
        EXPECT_NE(pdf.find(expected), std::string::npos) << c.name << "\n" << pdf;
    }
}

TEST(Fonts, TheSymbolFontsNeverNameAnEncoding) {
    for (const char* name : {"Symbol", "ZapfDingbats"}) {
        Doc doc = startedDocument();
        tpdf_pageInit(doc.get(), 1, 0, "0 0 100 100", "0 0 100 100");
        ASSERT_EQ(tpdf_setFont(doc.get(), name, "WinAnsiEncoding", 10), 0);
        ASSERT_EQ(tpdf_setFont(doc.get(), "Courier", "WinAnsiEncoding", 10), 0);
        const std::string pdf = finishedOutput(doc.get());
        EXPECT_NE(pdf.find("7 0 obj\n<<\n/Type /Font\n/Subtype /Type1\n/Name /Ftpdf0\n/BaseFont /" +
                           std::string(name) + "\n>>\nendobj\n"),
                  std::string::npos)
            << pdf;
        EXPECT_NE(pdf.find("/Name /Ftpdf1\n/BaseFont /Courier\n/Encoding /WinAnsiEncoding\n>>\n"), std::string::npos)
            << "other fonts keep theirs";
    }
}

TEST(Fonts, RefusalsAndSubstitutions) {
    const PdfDocLimits limits{5, 2, -1, -1, 0};
    Doc doc(tpdf_open(0, &limits));
    PdfDoc* d = doc.get();
    tpdf_init(d);
    tpdf_pageInit(d, 1, 0, "0 0 100 100", "0 0 100 100");
    ReportLog log(d);
    tpdf_setFontDirectories(d, "/nonexistent", "/nonexistent");
    tpdf_setFontMapFile(d, "/nonexistent/fontmap.lst");
    EXPECT_EQ(tpdf_setFont(d, "NoSuchFont", nullptr, 10), 0);
    EXPECT_TRUE(log.contains("1|TarvexPDF|_tpdf_loadExternalFont() Fontmap file not found: /nonexistent/fontmap.lst"));
    EXPECT_TRUE(log.contains("1|TarvexPDF|Font not found: NoSuchFont >> substituting Times-Roman."));
    ASSERT_EQ(tpdf_fontCount(d), 1);
    EXPECT_STREQ(tpdf_fontEntry(d, 0)->fontName, "Times-Roman");
    EXPECT_EQ(tpdf_fontEntry(d, 0)->fontIndex, 4);

    const std::string longName(300, 'x');
    EXPECT_EQ(tpdf_setFont(d, longName.c_str(), nullptr, 10), 0) << "too long for any file: substituted";
    EXPECT_EQ(tpdf_fontCount(d), 1);
    EXPECT_EQ(tpdf_setFont(d, "Courier", "MacRomanEncoding", 10), 0);
    log.clear();
    EXPECT_EQ(tpdf_setFont(d, "Courier", nullptr, 9), 1) << "a new entry needs room";
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "1|TarvexPDF|Too many fonts in this PDF: 2. Increase limit by tpdf_open()"}));
    log.clear();
    EXPECT_EQ(tpdf_setFont(d, "Another", nullptr, 9), 0) << "substituted by the listed Times-Roman";
    EXPECT_TRUE(log.contains("1|TarvexPDF|Font not found: Another >> substituting Times-Roman."));
    EXPECT_FALSE(log.contains("Too many fonts"));
    EXPECT_EQ(tpdf_setFont(d, "Courier", "MacRomanEncoding", 11), 0) << "a listed font is still chosen";
    EXPECT_EQ(tpdf_setFont(d, "Courier", std::string(80, 'E').c_str(), 11), 2) << "its own code";
    EXPECT_EQ(tpdf_setFont(d, "Courier", "MacRomanEncoding", NAN), 3);
    EXPECT_EQ(tpdf_setFont(d, "Courier", "MacRomanEncoding", INFINITY), 3);
    EXPECT_TRUE(log.contains("1|TarvexPDF|tpdf_setFont refused a number that is not finite"));
    EXPECT_EQ(tpdf_fontCount(d), 2);
    const std::string pdf = finishedOutput(d);
    const std::string content = contentStream(pdf, 6);
    EXPECT_EQ(content, "/Ftpdf0 10.000 Tf\n/Ftpdf0 10.000 Tf\n/Ftpdf1 10.000 Tf\n/Ftpdf0 9.000 Tf\n"
                       "/Ftpdf1 11.000 Tf\n")
        << "refused choices write nothing";
}

TEST(Fonts, NamesFromOutsideAreWrittenAsValidNames) {
    Doc doc = startedDocument();
    tpdf_pageInit(doc.get(), 1, 0, "0 0 100 100", "0 0 100 100");
    tpdf_setFont(doc.get(), "STSong-Light (x)/y", nullptr, 10);
    tpdf_setFont(doc.get(), "Helvetica", "Bad Name/<>", 10);
    const std::string pdf = finishedOutput(doc.get());
    EXPECT_NE(pdf.find("/BaseFont /STSong-Light#20#28x#29#2Fy\n/Encoding /GBK-EUC-H\n"), std::string::npos) << pdf;
    EXPECT_NE(pdf.find("/BaseFont /Helvetica\n/Encoding /Bad#20Name#2F#3C#3E\n"), std::string::npos) << pdf;
}

TEST(Text, EscapesAndHexHelpers) {
    char* escaped = tpdf_escapeString("a(b)c\\\rd\n");
    EXPECT_STREQ(escaped, "a\\(b\\)c\\\\\\rd\n");
    std::free(escaped);
    int length = 0;
    const unsigned char bytes[] = {'(', 0, 0xFF, '\r'};
    unsigned char* out = tpdf_escapeBytes(bytes, 4, &length);
    ASSERT_EQ(length, 6);
    EXPECT_EQ(std::memcmp(out, "\\(\0\xFF\\r", 6), 0);
    std::free(out);

    struct HexCase {
        const char* hex;
        std::string bytes;
    };
    for (const HexCase& c : {HexCase{"", ""}, HexCase{"4a6B", "Jk"}, HexCase{"4 a-6 b!", "Jk"},
                             HexCase{"41424", "AB"}, HexCase{"zz", ""}, HexCase{"00ff", std::string("\0\xFF", 2)}}) {
        unsigned char* got = nullptr;
        ASSERT_EQ(tpdf_hexToBytes(c.hex, &got, &length), 0);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(got), static_cast<std::size_t>(length)), c.bytes) << c.hex;
        std::free(got);
    }
    EXPECT_EQ(tpdf_hexDigit('0'), 0);
    EXPECT_EQ(tpdf_hexDigit('f'), 15);
    EXPECT_EQ(tpdf_hexDigit('F'), 15);
    EXPECT_EQ(tpdf_hexDigit('g'), 255);
    char hex[64];
    const unsigned char data[] = {0x00, 0xAB, 0x7F};
    EXPECT_STREQ(tpdf_bytesToHex(data, hex, 3, 0), "00AB7F");
    EXPECT_STREQ(tpdf_bytesToHex(data, hex, 3, 1), "FEFF00AB7F");
    const unsigned char marked[] = {0xFE, 0xFF, 0x00, 0x41};
    EXPECT_STREQ(tpdf_bytesToHex(marked, hex, 4, 1), "FEFF0041");
    EXPECT_STREQ(tpdf_bytesToHex(data, hex, 0, 0), "");
}

} // namespace
