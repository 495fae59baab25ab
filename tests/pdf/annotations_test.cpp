// Text notes, links, the outline tree and the small document settings.
#include "pdf_fixtures.h"

#include <cstdlib>
#include <fstream>

using namespace tpdf_test;

namespace {

Doc onePage() {
    Doc doc = startedDocument();
    tpdf_pageInit(doc.get(), 1, 0, "0 0 612 792", "0 0 612 792");
    return doc;
}

std::string finished(PdfDoc* doc) {
    EXPECT_EQ(tpdf_finalizeAll(doc), 0);
    return outputOf(doc);
}

// The text of object n ("n 0 obj\n" up to and including "endobj\n").
std::string objectText(const std::string& pdf, int n) {
    const std::string head = "\n" + std::to_string(n) + " 0 obj\n";
    const std::size_t at = pdf.find(head);
    if (at == std::string::npos) return {};
    const std::size_t end = pdf.find("endobj\n", at);
    return pdf.substr(at + 1, end + 7 - at - 1);
}

// Saves a finished document and checks that qpdf reads it without a warning.
void expectQpdfReadsIt(PdfDoc* doc, const std::string& what = {}) {
    if (!haveTool("qpdf")) return;
    ScratchDir dir;
    ASSERT_EQ(tpdf_savePDFmemoryStreamToFile(doc, dir.file("a.pdf").c_str()), 0);
    std::string out;
    EXPECT_EQ(run("qpdf --check " + dir.file("a.pdf") + " 2>&1", &out), 0) << what << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << what << out;
}

TEST(Annotations, EachKindWithItsDefaults) {
    Doc doc = onePage();
    PdfDoc* d = doc.get();
    tpdf_pageInit(d, 2, 0, "0 0 612 792", "0 0 612 792");
    tpdf_setCurrentPage(d, 1);
    EXPECT_EQ(tpdf_textNote(d, 10, 20, 30.4f, 40.6f, "Title", "Note", nullptr), 0);
    EXPECT_EQ(tpdf_webLink(d, 1, 2, 3, 4, "https://example.com/", nullptr), 0);
    EXPECT_EQ(tpdf_pageLink(d, 1, 2, 3, 4, 2, "/Fit", nullptr), 0);
    EXPECT_EQ(tpdf_actionLink(d, 1, 2, 3, 4, "/S /Named /N /NextPage", nullptr), 0);
    const PdfAnnotOptions options{2, "[0 0 2]", nullptr, 0.5f, 0.25f, 0};
    EXPECT_EQ(tpdf_webLinkDomain(d, 1, 1, 2, 2, "x", &options), 0);
    const PdfAnnotOptions styled{0, "[1 1 1]", "/W 2 /S /D", 1, 0, 0};
    EXPECT_EQ(tpdf_pageLink(d, 1, 2, 3, 4, 3, "/Fit", &styled), 0);
    EXPECT_EQ(tpdf_annotCount(d), 6);
    const std::string pdf = finished(d);
    EXPECT_NE(pdf.find("/Contents 6 0 R\n/Annots [ 9 0 R 10 0 R 11 0 R 12 0 R 13 0 R 14 0 R ]\n>>"), std::string::npos) << pdf;
    EXPECT_EQ(objectText(pdf, 9), "9 0 obj\n<<\n/Type /Annot\n/Subtype /Text\n/Rect [10 20 30 41]\n/T (Title)\n"
                                  "/Contents (Note)\n/Border [0 0 1]\n/C [1.0000 1.0000 0.0000]\n/F 0\n>>\nendobj\n");
    EXPECT_EQ(objectText(pdf, 10), "10 0 obj\n<<\n/Type /Annot\n/Subtype /Link\n/Rect [1 2 3 4]\n"
                                   "/A << /S /URI\n/URI (https://example.com/)\n>>\n/Border [0 0 0]\n"
                                   "/C [0.0000 0.0000 1.0000]\n/F 0\n>>\nendobj\n");
    EXPECT_EQ(objectText(pdf, 11), "11 0 obj\n<<\n/Type /Annot\n/Subtype /Link\n/Rect [1 2 3 4]\n/Dest [7 0 R /Fit]\n"
                                   "/Border [0 0 1]\n/C [0.0000 0.0000 1.0000]\n/F 0\n>>\nendobj\n");
    EXPECT_EQ(objectText(pdf, 12), "12 0 obj\n<<\n/Type /Annot\n/Subtype /Link\n/Rect [1 2 3 4]\n"
                                   "/A <<\n/S /Named /N /NextPage\n>>\n/Border [0 0 0]\n/C [0.0000 0.0000 1.0000]\n/F 0\n>>\nendobj\n");
    EXPECT_EQ(objectText(pdf, 13), "13 0 obj\n<<\n/Type /Annot\n/Subtype /Link\n/Rect [72 72 144 144]\n"
                                   "/A << /S /URI\n/URI (x)\n>>\n/Border [0 0 2]\n/C [0.5000 0.2500 0.0000]\n/F 2\n>>\nendobj\n");
    EXPECT_EQ(objectText(pdf, 14), "14 0 obj\n<<\n/Type /Annot\n/Subtype /Link\n/Rect [1 2 3 4]\n"
                                   "/BS <<\n/W 2 /S /D\n>>\n/C [1.0000 0.0000 0.0000]\n/F 0\n>>\nendobj\n")
        << "a link to a page never started leads nowhere";
}

TEST(Annotations, TextsFromOutsideCannotBreakTheFile) {
    Doc doc = onePage();
    PdfDoc* d = doc.get();
    ReportLog log(d);
    tpdf_textNote(d, 0, 0, 9, 9, "T(i)t\\le\r", "a) >> endobj\r\nb", nullptr);
    tpdf_webLink(d, 0, 0, 9, 9, "http://x/)>>", nullptr);
    for (const char* action : {"/S /URI /URI (x)) >>", "/S /X ] [", ">> endobj", "/S /JS (a) % c", "/A 1 0 obj"})
        EXPECT_EQ(tpdf_actionLink(d, 0, 0, 9, 9, action, nullptr), -1) << action;
    EXPECT_TRUE(log.contains("1|TarvexPDF|The action text is not well-formed PDF syntax and was not added: /S /X ] ["));
    EXPECT_EQ(tpdf_pageLink(d, 0, 0, 9, 9, 1, "/Fit] >>", nullptr), -1);
    const PdfAnnotOptions bad{0, "[0 0 1] >>", nullptr, 0, 0, 0};
    EXPECT_EQ(tpdf_webLink(d, 0, 0, 9, 9, "x", &bad), -1);
    EXPECT_EQ(tpdf_actionLink(d, 0, 0, 9, 9, "/S /URI /URI (a\\)b(c)) /D [<0A> <<>>]", nullptr), 0);
    tpdf_setHexText(d, 1);
    tpdf_textNote(d, 0, 0, 9, 9, "28 29", "410d0a42", nullptr);
    EXPECT_EQ(tpdf_annotCount(d), 4);
    const std::string pdf = finished(d);
    EXPECT_NE(pdf.find("/T (T\\(i\\)t\\\\le\\r\\n)\n/Contents (a\\) >> endobj\\r\\n\\r\\nb)\n"), std::string::npos) << pdf;
    EXPECT_NE(pdf.find("/URI (http://x/\\)>>)\n"), std::string::npos);
    EXPECT_NE(pdf.find("/A <<\n/S /URI /URI (a\\)b(c)) /D [<0A> <<>>]\n>>\n"), std::string::npos);
    EXPECT_NE(pdf.find("/T (\\(\\))\n/Contents (A\\r\n" "B)\n"), std::string::npos) << "hex text: bytes escaped";
    expectQpdfReadsIt(d);
}

TEST(Annotations, RawTextsMustMakeTheObjectTheyStandFor) {
    enum Field { Border, Style, Action, Destination };
    struct Case {
        Field field;
        const char* text;
        bool accepted;
    };
    const Case cases[] = {
        {Border, "[0 0 1]", true},
        {Border, " [0 0 2 [3 2]] ", true},
        {Border, "[]", false},
        {Border, "[0 0 1.5 [3 2]]", true},
        {Border, "[0 0 2147483647]", true},
        {Border, "[0 0 99999999999999999999]", false},
        {Border, "[0 0 1 [0 0]]", false},
        {Border, "[0 0 1 []]", false},
        {Border, "[0 0 -1]", false},
        {Border, "[/a 0 1]", false},
        {Border, "[0 0 1 5]", false},
        {Border, "", false},
        {Border, "1 2", false},
        {Border, "[0 0 1] [1]", false},
        {Border, "[0 0 1", false},
        {Border, "[0 0 one]", false},
        {Border, "[0 0 1] % c", false},
        {Style, "/W 2 /S /D", true},
        {Style, "/W 2 /S /D /D [3 2]", true},
        {Style, "", true},
        {Style, "/W", false},
        {Style, "/W 2 /S", false},
        {Style, "2 /W", false},
        {Style, "/W 2 >>", false},
        {Style, "/Type /Border /W 1.5 /S /U", true},
        {Style, "/W 2 /W 3", false},
        {Style, "/W -1", false},
        {Style, "/S /X", false},
        {Style, "/S /A#00", false},
        {Style, "/D [0 0]", false},
        {Action, "/S /Named /N /NextPage", true},
        {Action, "/S /GoTo /D [3 0 R /Fit]", true},
        {Action, "/S /URI /URI (a(b)c\\)) /IsMap false /X null /Y <0a 0B>", true},
        {Action, "/S", false},
        {Action, "/S /URI /URI", false},
        {Action, "/S /X#2", false},
        {Action, "/S /Launch /F (x) endobj", false},
        {Action, "/S /X /Y <zz>", false},
        {Action, "/S /GoTo /D (chapter)", true},
        {Action, "/S /GoToR /F (x.pdf) /D [0 /FitH null]", true},
        {Action, "/S /Launch /F (x) /X -2147483648", true},
        {Action, "", false},
        {Action, "/N /NextPage", false},
        {Action, "/S (Named)", false},
        {Action, "/S /A#00", false},
        {Action, "/S /URI /URI (a) /S /GoTo", false},
        {Action, "/S /URI /U#52I (a) /URI (b)", false},
        {Action, "/S /GoTo", false},
        {Action, "/S /GoTo /D [1 99999999999 R /Fit]", false},
        {Action, "/S /GoTo /D [3 0 R /Zoom]", false},
        {Action, "/S /GoToR /F (x.pdf) /D [3 0 R /Fit]", false},
        {Action, "/S /Launch /X 2147483648", false},
        {Action, "/S /Launch /X 999999999999999999999999999999999999999.0", false},
        {Action, "/S /Launch /X [0 0 99999999999999999999]", false},
        {Action, "/S /Launch /X [1 99999999999 R]", false},
        {Action, "/S /Launch /F (x) /X [1 0 R 2 65535 R]", true},
        {Destination, "/XYZ 0 792 1.5", true},
        {Destination, "/Fit", true},
        {Destination, "/FitR -1 +2 .5 3.", true},
        {Destination, "/XYZ 0 0R", false},
        {Destination, "/Fit] [", false},
        {Destination, "/XYZ - 1", false},
        {Destination, "/XYZ null null null", true},
        {Destination, "/F#69t", true},
        {Destination, "/FitBH 2147483647", true},
        {Destination, "1 2", false},
        {Destination, "/S", false},
        {Destination, "[0 0 1]", false},
        {Destination, "", false},
        {Destination, "/Fit 1", false},
        {Destination, "/XYZ 0 792 1 0", false},
        {Destination, "/FitR 0 0 9", false},
        {Destination, "/FitR 0 null 9 9", false},
        {Destination, "/FitH 99999999999", false},
        {Destination, "/XYZ 0 9 999999999999999999999999999999999999999.0", false},
    };
    for (const Case& c : cases) {
        Doc doc = onePage();
        PdfDoc* d = doc.get();
        ReportLog log(d);
        const PdfAnnotOptions border{0, c.text, nullptr, 0, 0, 1};
        const PdfAnnotOptions style{0, nullptr, c.text, 0, 0, 1};
        int rc = 0;
        bool outline = c.accepted;
        switch (c.field) {
        case Border: rc = tpdf_webLink(d, 0, 0, 9, 9, "x", &border); break;
        case Style: rc = tpdf_webLink(d, 0, 0, 9, 9, "x", &style); break;
        case Action:
            rc = tpdf_actionLink(d, 0, 0, 9, 9, c.text, nullptr);
            outline = tpdf_addOutlineAction(d, nullptr, 0, 1, c.text, "o") != nullptr;
            break;
        case Destination: rc = tpdf_pageLink(d, 0, 0, 9, 9, 1, c.text, nullptr); break;
        }
        EXPECT_EQ(rc, c.accepted ? 0 : -1) << c.text;
        EXPECT_EQ(outline, c.accepted) << c.text;
        EXPECT_EQ(tpdf_annotCount(d), c.accepted ? 1 : 0) << c.text;
        EXPECT_EQ(log.lines().empty(), c.accepted) << c.text;
        if (!c.accepted) continue;
        ASSERT_EQ(tpdf_finalizeAll(d), 0) << c.text;
        expectQpdfReadsIt(d, c.text);
    }
}

// An action text is taken only when readers can follow it: its type's entries of their kinds,
// and a /Next that is an action held in the text itself.
TEST(Annotations, ActionsAreOnesReadersCanFollow) {
    std::string deep = "/S /Named /N /NextPage";
    for (int i = 0; i < 40; ++i) deep = "/S /Named /N /NextPage /Next << " + deep + " >>";
    const struct {
        std::string text;
        bool accepted;
    } cases[] = {
        {"/S /Named /N /NextPage /Next 99 0 R", false},
        {"/S /Named /N /NextPage /Next 1 0 R", false},
        {"/S /Named /N /NextPage /Next [5 0 R 1 0 R]", false},
        {"/S /Named /N /NextPage /Next (x)", false},
        {"/S /Named /N /NextPage /Next << /S /URI >>", false},
        {"/S /Named /N /NextPage /Next [<< /S /Named /N /FirstPage >> 4]", false},
        {"/S /URI", false},
        {"/S /URI /URI 5", false},
        {"/S /URI /URI /x", false},
        {"/S /Named", false},
        {"/S /Named /N (NextPage)", false},
        {"/S /GoToR /D [0 /Fit]", false},
        {"/S /Launch", false},
        {"/S /Launch /Win (x)", false},
        {"/S /Hide /T [(a) 5]", false},
        {"/S /Sound /Sound 3 0 R", false},
        {"/S /NoSuchType", false},
        {deep, false},
        {"/S /Named /N /NextPage /Next << /S /URI /URI (https://example.com/) >>", true},
        {"/S /Named /N /NextPage /Next [<< /S /Named /N /FirstPage >> "
         "<< /S /Named /N /LastPage /Next << /S /Named /N /PrevPage >> >>]", true},
        {"/S /URI /URI <68747470733a2f2f6578616d706c652e636f6d2f>", true},
        {"/S /GoToR /F (other.pdf) /D [0 /Fit]", true},
        {"/S /Launch /F << /Type /Filespec /F (x.pdf) >>", true},
        {"/S /Launch /Win << /F (notepad.exe) >>", false},
        {"/S /JavaScript /JS (app.alert\\(1\\))", true},
        {"/S /Hide /T [(a) (b)]", true},
        {"/S /ResetForm", true},
        {"/S /Thread /D 0", true},
        {"/S /SubmitForm /F (https://example.com/form)", true},
        {"/S /ImportData /F (data.fdf)", true},
        {"/S /GoToE /D [0 /Fit]", true},
        {"/S /Named /N /NextPage /Next []", true},
    };
    for (const auto& c : cases) {
        Doc doc = onePage();
        PdfDoc* d = doc.get();
        ReportLog log(d);
        EXPECT_EQ(tpdf_actionLink(d, 72, 72, 200, 90, c.text.c_str(), nullptr), c.accepted ? 0 : -1) << c.text;
        EXPECT_EQ(tpdf_addOutlineAction(d, nullptr, 0, 1, c.text.c_str(), "o") != nullptr, c.accepted) << c.text;
        EXPECT_EQ(log.lines().empty(), c.accepted) << c.text;
        if (!c.accepted) continue;
        ASSERT_EQ(tpdf_finalizeAll(d), 0) << c.text;
        expectReadersTakeIt(outputOf(d), c.text);
    }
}

TEST(Annotations, ALongBorderTextIsWrittenWhole) {
    std::string border = "[0 0 1 [", style = "/W 1 /S /D /D [";
    while (border.size() < 20000) border += "3 2 ";
    while (style.size() < 20000) style += "4 1 ";
    border += "]]";
    style += "]";
    Doc doc = onePage();
    PdfDoc* d = doc.get();
    const PdfAnnotOptions withBorder{0, border.c_str(), nullptr, 0, 0, 1};
    const PdfAnnotOptions withStyle{0, nullptr, style.c_str(), 0, 0, 1};
    ASSERT_EQ(tpdf_webLink(d, 0, 0, 9, 9, "x", &withBorder), 0);
    ASSERT_EQ(tpdf_pageLink(d, 0, 0, 9, 9, 1, "/Fit", &withStyle), 0);
    ASSERT_EQ(tpdf_finalizeAll(d), 0);
    const std::string pdf = outputOf(d);
    EXPECT_NE(pdf.find("/Border " + border + "\n/C [0.0000 0.0000 1.0000]\n"), std::string::npos);
    EXPECT_NE(pdf.find("/BS <<\n" + style + "\n>>\n/C "), std::string::npos);
    expectQpdfReadsIt(d);
}

TEST(Annotations, LimitsAndFailuresAddNothing) {
    const PdfDocLimits limits{5, -1, -1, 3, 0};
    Doc doc(tpdf_open(0, &limits));
    PdfDoc* d = doc.get();
    tpdf_init(d);
    ReportLog log(d);
    EXPECT_EQ(tpdf_textNote(d, 0, 0, 1, 1, "t", "c", nullptr), -1) << "no page yet";
    tpdf_pageInit(d, 1, 0, "0 0 100 100", "0 0 100 100");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(tpdf_webLink(d, 0, 0, 1, 1, "x", nullptr), 0);
    log.clear();
    EXPECT_EQ(tpdf_textNote(d, 0, 0, 1, 1, "t", "c", nullptr), -1);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"1|TarvexPDF|too many annotations in this PDF: 3"});
    EXPECT_EQ(tpdf_annotCount(d), 3);
    const std::string pdf = finished(d);
    EXPECT_NE(pdf.find("/Annots [ 7 0 R 8 0 R 9 0 R ]\n"), std::string::npos) << "the page's list is unchanged";

    ScratchDir dir;
    Doc other = onePage();
    ReportLog otherLog(other.get());
    EXPECT_EQ(tpdf_textNoteFromFile(other.get(), 0, 0, 1, 1, "t", dir.file("none.txt").c_str(), nullptr), -1);
    EXPECT_TRUE(otherLog.contains("1|TarvexPDF|cannot open annotation text file: " + dir.file("none.txt")));
    std::ofstream(dir.file("note.txt")) << "From (a) file\nline 2";
    EXPECT_EQ(tpdf_textNoteFromFileDomain(other.get(), 0, 0, 1, 1, "t", dir.file("note.txt").c_str(), nullptr), 0);
    EXPECT_NE(finished(other.get()).find("/Rect [0 0 72 72]\n/T (t)\n/Contents (From \\(a\\) file\\r\\nline 2)\n"),
              std::string::npos);
}

TEST(Outlines, DestinationTextsForEveryCode) {
    const char* expected[] = {"/XYZ null null null", "/XYZ 10 20 1.500", "/Fit", "/FitH 10", "/FitV 10",
                              "/FitR 10 20 2 3", "/FitB", "/FitBH 10", "/FitBV 10", "/XYZ null 10 null",
                              "/XYZ null null null"};
    for (int code = 0; code <= 10; ++code) {
        char* text = tpdf_destinationText(code, 10, 20, 1.5f, 3);
        if (code == 5) {
            std::free(text);
            text = tpdf_destinationText(code, 10, 20, 2, 3);
        }
        EXPECT_STREQ(text, expected[code]) << code;
        std::free(text);
    }
    char* text = tpdf_destinationText(-3, 1, 1, 1, 1);
    EXPECT_STREQ(text, "/XYZ null null null");
    std::free(text);
}

TEST(Outlines, ThreeLevelsWithCountsLinksAndClosedItems) {
    Doc doc = onePage();
    PdfDoc* d = doc.get();
    tpdf_pageInit(d, 2, 0, "0 0 612 792", "0 0 612 792");
    ReportLog log(d);
    EXPECT_EQ(tpdf_addOutline(d, nullptr, 0, 1, 3, "x", 2, 0, 0, 0, 0), nullptr);
    EXPECT_TRUE(log.contains("1|TarvexPDF|Page 3 has not yet been created for outline (book mark)."));
    PdfOutline* a = tpdf_addOutline(d, nullptr, 0, 1, 1, "A (first)", 2, 0, 0, 0, 0);
    PdfOutline* a1 = tpdf_addOutline(d, a, 1, 0, 1, "A1", 3, 700, 0, 0, 0);  // closed
    PdfOutline* a1x = tpdf_addOutline(d, a1, 1, 1, 2, "A1x", 2, 0, 0, 0, 0); // hidden under A1
    PdfOutline* a2 = tpdf_addOutline(d, a, 1, 1, 2, "A2", 2, 0, 0, 0, 0);    // later child
    PdfOutline* b = tpdf_addOutlineAction(d, nullptr, 0, 1, "/S /Named /N /FirstPage", "B");
    PdfOutline* between = tpdf_addOutline(d, a, 0, 1, 2, "Between", 2, 0, 0, 0, 0);
    ASSERT_TRUE(a && a1 && a1x && a2 && b && between);
    EXPECT_EQ(a->count, 2) << "A1 and A2 show; A1x is inside closed A1";
    EXPECT_EQ(a1->count, 1);
    EXPECT_EQ(a1->next, a2);
    EXPECT_EQ(a2->prev, a1);
    EXPECT_EQ(a->next, between);
    EXPECT_EQ(between->next, b);
    EXPECT_EQ(tpdf_firstOutline(d), a);
    EXPECT_EQ(tpdf_outlineCount(d), 5) << "A, A1, A2, B and Between; A1x is under a closed item";

    const std::string pdf = finished(d);
    // Pages 5-8, Info last; items depth first: A 9, A1 10, A1x 11, A2 12, Between 13, B 14.
    EXPECT_EQ(objectText(pdf, 2), "2 0 obj\n<<\n/Type /Outlines\n/Count 5\n/First 9 0 R\n/Last 14 0 R\n>>\nendobj\n");
    EXPECT_EQ(objectText(pdf, 9), "9 0 obj\n<<\n/Parent 2 0 R\n/Dest [5 0 R /Fit]\n/Title (A \\(first\\))\n"
                                  "/Next 13 0 R\n/First 10 0 R\n/Last 12 0 R\n/Count 2\n>>\nendobj\n");
    EXPECT_EQ(objectText(pdf, 10), "10 0 obj\n<<\n/Parent 9 0 R\n/Dest [5 0 R /FitH 700]\n/Title (A1)\n"
                                   "/Next 12 0 R\n/First 11 0 R\n/Last 11 0 R\n/Count -1\n>>\nendobj\n");
    EXPECT_EQ(objectText(pdf, 11), "11 0 obj\n<<\n/Parent 10 0 R\n/Dest [7 0 R /Fit]\n/Title (A1x)\n>>\nendobj\n");
    EXPECT_EQ(objectText(pdf, 14), "14 0 obj\n<<\n/Parent 2 0 R\n/A <<\n/S /Named /N /FirstPage\n>>\n/Title (B)\n"
                                   "/Prev 13 0 R\n>>\nendobj\n");
    EXPECT_NE(pdf.find("/Size 16\n"), std::string::npos);
    expectQpdfReadsIt(d);
}

// The root counts the items a reader shows open: an item below a closed one stays hidden
// however open its own parent is; each ancestor counts up to the first closed one.
TEST(Outlines, TheRootCountsOnlyItemsUnderOpenAncestors) {
    Doc doc = onePage();
    PdfDoc* d = doc.get();
    PdfOutline* a = tpdf_addOutline(d, nullptr, 0, 1, 1, "A", 2, 0, 0, 0, 0);
    PdfOutline* a1 = tpdf_addOutline(d, a, 1, 0, 1, "A1", 2, 0, 0, 0, 0);    // closed
    PdfOutline* a1x = tpdf_addOutline(d, a1, 1, 1, 1, "A1x", 2, 0, 0, 0, 0); // open, hidden
    PdfOutline* a1xa = tpdf_addOutline(d, a1x, 1, 1, 1, "A1xa", 2, 0, 0, 0, 0);
    ASSERT_TRUE(a && a1 && a1x && a1xa);
    EXPECT_EQ(tpdf_outlineCount(d), 2) << "A and A1";
    EXPECT_EQ(a->count, 1);
    EXPECT_EQ(a1->count, 2);
    EXPECT_EQ(a1x->count, 1);
    const std::string pdf = finished(d);
    EXPECT_EQ(objectText(pdf, 2), "2 0 obj\n<<\n/Type /Outlines\n/Count 2\n/First 7 0 R\n/Last 7 0 R\n>>\nendobj\n");
    EXPECT_EQ(objectText(pdf, 8), "8 0 obj\n<<\n/Parent 7 0 R\n/Dest [5 0 R /Fit]\n/Title (A1)\n"
                                  "/First 9 0 R\n/Last 9 0 R\n/Count -2\n>>\nendobj\n");
    EXPECT_EQ(objectText(pdf, 9), "9 0 obj\n<<\n/Parent 8 0 R\n/Dest [5 0 R /Fit]\n/Title (A1x)\n"
                                  "/First 10 0 R\n/Last 10 0 R\n/Count 1\n>>\nendobj\n");
}

TEST(Outlines, TheObjectTableBoundsTheItems) {
    const PdfDocLimits limits{5, -1, -1, -1, 3};
    Doc doc(tpdf_open(0, &limits));
    PdfDoc* d = doc.get();
    tpdf_init(d);
    tpdf_pageInit(d, 1, 0, "0 0 10 10", "0 0 10 10");
    ReportLog log(d);
    PdfOutline* last = nullptr;
    for (int i = 0; i < 3; ++i) last = tpdf_addOutline(d, last, 0, 1, 1, "i", 2, 0, 0, 0, 0);
    EXPECT_NE(last, nullptr);
    EXPECT_EQ(tpdf_addOutline(d, last, 0, 1, 1, "one too many", 2, 0, 0, 0, 0), nullptr);
    EXPECT_TRUE(log.contains("1|TarvexPDF|Too many outline items in this PDF: 3"));
    EXPECT_EQ(tpdf_outlineCount(d), 3);
}

TEST(DocumentSettings, SmallHelpers) {
    char out[32];
    EXPECT_STREQ(tpdf_slashToBackslash(out, "a/b/c.pfm"), "a\\b\\c.pfm");
    int id = 0;
    const int first = tpdf_uniqueId(&id);
    EXPECT_GT(first, 0);
    EXPECT_EQ(id, first);
    EXPECT_EQ(tpdf_uniqueId(&id), first) << "a value already there is kept";
    int next = -5;
    EXPECT_EQ(tpdf_uniqueId(&next), first + 1);
    EXPECT_STREQ(tpdf_libraryVersion(), "1.0.0");
    EXPECT_STREQ(tpdf_platformName(), "Windows 9x/NT");

    const std::string content = pageContent([](PdfDoc* d) {
        tpdf_writeRaw(d, "% raw\n");
        tpdf_setPageDuration(d, 2.5f);
    });
    EXPECT_EQ(content, "% raw\n");
}

} // namespace
