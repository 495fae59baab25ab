// Hostile call sequences through tpdf.h. Each runs twice, with and without the calls it expects
// the library to refuse: both files must be the same bytes, and qpdf and pdftoppm must take the
// file without a word.
#include "pdf_fixtures.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <fstream>
#include <functional>
#include <stdexcept>

using namespace tpdf_test;

namespace {

class SequenceRun {
public:
    SequenceRun(bool withRefused, const ScratchDir& dir)
        : doc(openScanningDocument()), withRefused_(withRefused), log_(doc), dir_(dir) {}
    ~SequenceRun() { tpdf_close(doc); }

    // A call the library must refuse, with a report: made only in the run that includes them.
    void refused(const std::function<void()>& call) {
        if (!withRefused_) return;
        log_.clear();
        call();
        EXPECT_FALSE(log_.lines().empty()) << "a refused call says why";
    }
    // The same, with a handler of the caller's that draws while the call reports.
    void refusedWhileDrawing(const std::function<void()>& call) {
        refused([&] { whileHandlerDraws(doc, call); });
    }
    void finalize() {
        ASSERT_EQ(tpdf_finalizeAll(doc), 0);
        finalized_ = true;
    }
    std::string output() {
        if (!finalized_) finalize();
        return outputOf(doc);
    }
    std::string picture() const {
        const std::string file = dir_.file("picture.jpg");
        if (!std::filesystem::exists(file)) writeFile(file, makeJpeg({}));
        return file;
    }

    PdfDoc* doc;

private:
    bool withRefused_;
    bool finalized_ = false;
    ReportLog log_;
    const ScratchDir& dir_;
};

struct Sequence {
    const char* name;
    std::function<void(SequenceRun&)> calls;
};

void PrintTo(const Sequence& s, std::ostream* os) { *os << s.name; }

void startPage(PdfDoc* doc, int n = 1) {
    tpdf_pageInit(doc, n, 0, "0 0 300 300", "0 0 300 300");
}

void square(PdfDoc* doc) {
    tpdf_pointRect(doc, 10, 10, 50, 50);
    tpdf_fillPath(doc);
}

void shownText(PdfDoc* doc, const char* text) {
    tpdf_beginText(doc, 0);
    EXPECT_EQ(tpdf_setFont(doc, "Helvetica", "WinAnsiEncoding", 12), 0);
    tpdf_textAt(doc, 20, 200, 0, text);
    tpdf_endText(doc);
}

// A 10 by 10 plot domain, made the document's current one.
PdfPlotDomain* currentDomain(PdfDoc* doc) {
    PdfPlotDomain* d = tpdf_createPlotDomain(50, 50, 200, 200, 0, 10, 0, 10, 0, 0, 0);
    tpdf_setPlotDomain(doc, d);
    return d;
}

// An axis on d whose tick steps give more ticks than can be drawn.
PdfAxis* denseAxis(PdfPlotDomain* d) {
    PdfAxis* axis = tpdf_createAxis(0, 200, 0, 0, 10);
    tpdf_attachAxis(axis, d, 0, 0);
    EXPECT_EQ(tpdf_setAxisTickSteps(axis, 0, 1e-9f, 0, 1e-9f), 0);
    return axis;
}

int importPicture(SequenceRun& run) {
    float w = 0, h = 0, xs = 0, ys = 0;
    return tpdf_importImage(run.doc, run.picture().c_str(), 0, 1, 1, 0, &w, &h, &xs, &ys, 1);
}

const Sequence kSequences[] = {
    {"DrawingAfterTheMemoryWriterFreedThePageStream",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         square(r.doc);
         tpdf_writeMemContentStream(r.doc, 1);
         r.refused([&] { tpdf_fillGray(r.doc, 0.5f); });
         r.refused([&] { square(r.doc); });
     }},
    {"DrawingAfterTheFileWriterClosedThePageFile",
     [](SequenceRun& r) {
         tpdf_setContentInMemory(r.doc, 0);
         tpdf_init(r.doc);
         startPage(r.doc);
         square(r.doc);
         tpdf_writeContentStream(r.doc, 1);
         r.refused([&] { tpdf_fillGray(r.doc, 0.5f); });
     }},
    {"FontBeforeAnyPageAndTextWithoutAFont",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         r.refused([&] { EXPECT_NE(tpdf_setFont(r.doc, "Helvetica", nullptr, 12), 0); });
         startPage(r.doc);
         tpdf_beginText(r.doc, 0);
         r.refused([&] { tpdf_textAt(r.doc, 20, 200, 0, "no font chosen"); });
         r.refused([&] { tpdf_showText(r.doc, "no font chosen"); });
         tpdf_endText(r.doc);
         shownText(r.doc, "with a font");
     }},
    {"EveryChangeAfterFinalising",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         shownText(r.doc, "finished");
         r.finalize();
         r.refused([&] { EXPECT_NE(tpdf_setFont(r.doc, "Helvetica", nullptr, 12), 0); });
         r.refused([&] { EXPECT_EQ(tpdf_addOutline(r.doc, nullptr, 0, 1, 1, "late", 2, 0, 0, 0, 0), nullptr); });
         r.refused([&] { EXPECT_EQ(tpdf_addOutlineAction(r.doc, nullptr, 0, 1, "/S /Named /N /NextPage", "late"), nullptr); });
         r.refused([&] { EXPECT_EQ(tpdf_textNote(r.doc, 0, 0, 9, 9, "late", "late", nullptr), -1); });
         r.refused([&] { tpdf_fillGray(r.doc, 0.5f); });
         r.refused([&] { tpdf_setPageDuration(r.doc, 2); });
         r.refused([&] { tpdf_setTitle(r.doc, "late"); });
         r.refused([&] { tpdf_enableCompression(r.doc, 1); });
         r.refused([&] { tpdf_setContentInMemory(r.doc, 0); });
         r.refused([&] { EXPECT_EQ(tpdf_setOutputFileName(r.doc, "late.pdf"), -1); });
         tpdf_freeFonts(r.doc); // the file is written: nothing needs them any more
         EXPECT_EQ(tpdf_fontCount(r.doc), 0);
     }},
    {"DomainsFilledWithNotANumberAndFreed",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         PdfPlotDomain* d = tpdf_createPlotDomain(50, 50, 200, 100, 0, 1, 0, 1, 0, 0, 0);
         PdfPlotDomain* pages = tpdf_setPlotDomain(r.doc, d);
         r.refused([&] { tpdf_freePlotDomain(pages); }); // it goes with its page
         r.refused([&] { tpdf_fillDomainGray(d, NAN); });
         r.refused([&] { tpdf_fillDomainRgb(d, 0, INFINITY, 0); });
         tpdf_fillDomainGray(d, 0.5f);
         tpdf_freePlotDomain(d); // the page's own domain is current again
         tpdf_translateDomain(r.doc, 1, 1);
     }},
    {"AlignedTextWhosePositionComesOutInfinite",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         tpdf_beginText(r.doc, 0);
         tpdf_setFont(r.doc, "Helvetica", nullptr, 12);
         tpdf_charSpacing(r.doc, 3e38f); // the width of three letters overflows
         r.refused([&] { tpdf_textAligned(r.doc, 20, 20, 0, 2, "WWW"); });
         tpdf_charSpacing(r.doc, 0);
         tpdf_textAligned(r.doc, 150, 150, 0, 4, "centred");
         tpdf_endText(r.doc);
     }},
    {"TicksOfNoLengthOrPosition",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         PdfAxis* axis = tpdf_createAxis(0, 200, 0, 0, 10);
         r.refused([&] { tpdf_drawTick(r.doc, axis, 10, NAN); });
         r.refused([&] { tpdf_drawTick(r.doc, axis, INFINITY, 5); });
         tpdf_drawTick(r.doc, axis, 10, 5);
         tpdf_strokePath(r.doc);
         tpdf_freeAxis(axis);
     }},
    {"AxisFreedAfterDrawingAndItsDomainFreedWhileCurrent",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         PdfPlotDomain* d = currentDomain(r.doc);
         PdfAxis* axis = tpdf_createAxis(0, 200, 0, 0, 10);
         tpdf_attachAxis(axis, d, 0, 0);
         PdfAxis* dense = denseAxis(d);
         r.refused([&] { EXPECT_EQ(tpdf_drawAxis(dense), -1); });
         tpdf_freeAxis(dense);
         EXPECT_EQ(tpdf_drawAxis(axis), 0);
         tpdf_freeAxis(axis);
         EXPECT_EQ(tpdf_axisPosition(r.doc, 5), 0.0f) << "no axis is current any more";
         tpdf_freePlotDomain(d);
         tpdf_pointMove(r.doc, tpdf_domainX(r.doc, 1), tpdf_domainY(r.doc, 1));
         tpdf_pointLine(r.doc, 100, 100);
         tpdf_strokePath(r.doc);
     }},
    {"FontsFreedWhilePagesNameThem",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         shownText(r.doc, "kept font");
         r.refused([&] { tpdf_freeFonts(r.doc); });
         EXPECT_EQ(tpdf_fontCount(r.doc), 1);
     }},
    {"ImagesFreedWhilePagesNameThem",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         EXPECT_EQ(importPicture(r), 0);
         r.refused([&] { tpdf_freeImages(r.doc); });
         startPage(r.doc, 2);
         EXPECT_EQ(importPicture(r), 0) << "the listed picture is still there";
     }},
    {"ContentInMemorySwitchedOffAndOnWithPagesStarted",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         tpdf_fillGray(r.doc, 0.25f);
         r.refused([&] { tpdf_setContentInMemory(r.doc, 0); });
         startPage(r.doc, 2);
         tpdf_strokeGray(r.doc, 0.5f);
         tpdf_setContentInMemory(r.doc, 1); // already so: nothing to refuse
         EXPECT_EQ(contentStream(r.output(), 8), "0.5000 G\n") << "page 2 keeps its drawing";
     }},
    {"BytesWrittenToTheOutputOutsideFinalising",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         square(r.doc);
         r.finalize();
         r.refused([&] { EXPECT_EQ(tpdf_writeString(r.doc, "trailing junk"), -1); });
         r.refused([&] { EXPECT_EQ(tpdf_writeCatalog(r.doc), -1); });
         r.refused([&] { tpdf_finalizePage(r.doc, 7); });
     }},
    {"BytesWrittenBeforeInit",
     [](SequenceRun& r) {
         r.refused([&] { EXPECT_EQ(tpdf_writeString(r.doc, "x"), -1); });
         r.refused([&] { EXPECT_EQ(tpdf_writeBytes(r.doc, "x", 1), -1); });
         tpdf_init(r.doc);
         startPage(r.doc);
         square(r.doc);
         r.finalize();
     }},
    {"AMeshOfMoreLinesThanCanBeDrawn",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         PdfPlotDomain* d = tpdf_createPlotDomain(50, 50, 200, 100, 0, 1, 0, 1, 0, 0, 0);
         tpdf_setPlotDomain(r.doc, d);
         EXPECT_EQ(tpdf_setMeshSteps(d, 0, 0, 1e-9f, 0, 1e-9f), 0);
         r.refused([&] { tpdf_drawMesh(d); });
         tpdf_freePlotDomain(d);
     }},
    {"AnAnnotationEntryStaysPutWhileTheTableFills",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         ASSERT_EQ(tpdf_textNote(r.doc, 10, 10, 50, 50, "first", "note", nullptr), 0);
         const PdfAnnot* first = tpdf_annotEntry(r.doc, 0);
         for (int i = 1; i < 40; ++i) tpdf_webLink(r.doc, 10, 60, 50, 80, "https://example.com/", nullptr);
         EXPECT_EQ(first->kind, 0);
         EXPECT_EQ(first, tpdf_annotEntry(r.doc, 0));
     }},
    {"AnAxisRefusedForItsTicksKeepsNoLabelFont",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         PdfPlotDomain* d = currentDomain(r.doc);
         PdfAxis* dense = denseAxis(d);
         tpdf_setAxisFont(dense, "%.1f", "Courier-Oblique", 8);
         r.refused([&] { EXPECT_EQ(tpdf_drawAxis(dense), -1); });
         tpdf_freeAxis(dense);
         tpdf_freePlotDomain(d);
         shownText(r.doc, "a font numbered after the refused axis");
     }},
    {"AProgressivePictureAtAScaleBeyondReaders",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         const std::string progressive = r.picture() + ".progressive.jpg";
         writeFile(progressive, makeJpeg({64, 48, JpegColour::Rgb, true})); // 64 x 1e37 points
         float w = 0, h = 0, xs = 1e37f, ys = 1e37f;
         r.refused([&] {
             EXPECT_EQ(tpdf_importImage(r.doc, progressive.c_str(), 0, 1, 1, 0, &w, &h, &xs, &ys, 1), -1);
         });
         EXPECT_EQ(importPicture(r), 0) << "a baseline picture, which needs no later version";
     }},
    {"ObjectWritersAndBytesBetweenInitAndFinalising",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         square(r.doc);
         PdfFontDescriptor slanted{};
         slanted.italicAngle = FLT_MAX;
         r.refused([&] { EXPECT_EQ(tpdf_writeFontDescriptor(r.doc, &slanted, 1), -1); });
         PdfFontDescriptor plain{};
         const std::string system(9000, 'x');
         PdfFont cid{};
         cid.type = 3;
         cid.descriptor = &plain;
         cid.cid.systemInfo = system.c_str();
         cid.cid.widths = "[]";
         r.refused([&] { EXPECT_EQ(tpdf_writeCIDFont(r.doc, &cid), -1); });
         r.refused([&] { EXPECT_EQ(tpdf_writeString(r.doc, "JUNK"), -1); });
         r.refused([&] { EXPECT_EQ(tpdf_writeBytes(r.doc, "JUNK", 4), -1); });
         r.refused([&] { EXPECT_EQ(tpdf_writeCatalog(r.doc), -1); });
         square(r.doc); // and finalising still writes the file
     }},
    {"AnnotationsRefusedWhileTheHandlerDraws",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         square(r.doc);
         r.refusedWhileDrawing([&] { EXPECT_EQ(tpdf_actionLink(r.doc, 10, 10, 50, 50, "/S /GoTo /D [", nullptr), -1); });
         r.refusedWhileDrawing([&] { EXPECT_EQ(tpdf_pageLink(r.doc, 10, 10, 50, 50, 1, "[0 0 1]", nullptr), -1); });
         r.refusedWhileDrawing([&] { EXPECT_EQ(tpdf_addOutlineAction(r.doc, nullptr, 0, 1, "", "o"), nullptr); });
         r.refusedWhileDrawing([&] { EXPECT_EQ(tpdf_addOutline(r.doc, nullptr, 0, 1, 9, "o", 2, 0, 0, 0, 0), nullptr); });
         startPage(r.doc, 2);
         tpdf_finalizePage(r.doc, 2); // the current page takes nothing more
         r.refusedWhileDrawing([&] { EXPECT_EQ(tpdf_textNote(r.doc, 10, 10, 50, 50, "no", "page", nullptr), -1); });
         ASSERT_EQ(tpdf_setCurrentPage(r.doc, 1), 0);
         while (tpdf_webLink(r.doc, 10, 60, 50, 80, "https://example.com/", nullptr) == 0) {
         }
         r.refusedWhileDrawing([&] { EXPECT_EQ(tpdf_textNote(r.doc, 10, 10, 50, 50, "full", "table", nullptr), -1); });
         square(r.doc);
     }},
    {"RefusedCallsWhileTheHandlerDrawsOnAPageKeptInAFile",
     [](SequenceRun& r) {
         tpdf_setContentInMemory(r.doc, 0);
         tpdf_init(r.doc);
         startPage(r.doc);
         square(r.doc);
         r.refusedWhileDrawing([&] { tpdf_pointRect(r.doc, 0, 0, FLT_MAX, 1); });
         r.refusedWhileDrawing([&] { EXPECT_EQ(tpdf_textNote(r.doc, 0, 0, 1e20f, 9, "t", "c", nullptr), -1); });
         shownText(r.doc, "after the refused calls");
         r.refusedWhileDrawing([&] { tpdf_dashPattern(r.doc, "[2 3]"); });
         square(r.doc);
     }},
    {"NoteTextAndFontMapFromFilesThatNeverEnd",
     [](SequenceRun& r) {
         tpdf_init(r.doc);
         startPage(r.doc);
         const std::string big = r.picture() + ".big";
         { std::ofstream(big).put('x'); }
         std::filesystem::resize_file(big, 16u * 1024 * 1024 + 1);
         r.refused([&] { EXPECT_EQ(tpdf_textNoteFromFile(r.doc, 0, 0, 9, 9, "t", "/dev/zero", nullptr), -1); });
         r.refused([&] { EXPECT_EQ(tpdf_textNoteFromFile(r.doc, 0, 0, 9, 9, "t", big.c_str(), nullptr), -1); });
         std::filesystem::resize_file(big, 5);
         EXPECT_EQ(tpdf_textNoteFromFile(r.doc, 20, 20, 90, 90, "t", big.c_str(), nullptr), 0);
         tpdf_setFontMapFile(r.doc, "/dev/zero");
         EXPECT_EQ(tpdf_setFont(r.doc, "NoSuchFont", nullptr, 12), 0) << "Times-Roman instead";
     }},
};

// A handler of the caller's that throws: the exception stays inside the library, the call
// answers its error and what it had begun to write is taken back.
void throwingHandler(PdfDoc*, int, const char*, const char*, va_list) {
    throw std::runtime_error("the caller's handler threw");
}

TEST(CallGuard, AnExceptionNeverLeavesACallAndTakesBackWhatItBegan) {
    Doc doc = startedDocument();
    startPage(doc.get());
    tpdf_fillGray(doc.get(), 0.5f);
    EXPECT_EQ(tpdf_setErrorHandler(doc.get(), throwingHandler), tpdf_defaultErrorHandler);
    EXPECT_NO_THROW(tpdf_textAt(doc.get(), 1, 1, 0, "no font")); // reports, so throws inside
    EXPECT_NO_THROW(EXPECT_EQ(tpdf_pageInit(doc.get(), 1, 0, "0 0 1 1", "0 0 1 1"), -1));
    EXPECT_NO_THROW(tpdf_pointCircle(doc.get(), 1, 1, NAN));
    tpdf_setErrorHandler(doc.get(), nullptr);
    ASSERT_EQ(tpdf_finalizeAll(doc.get()), 0);
    EXPECT_EQ(contentStream(outputOf(doc.get()), 6), "0.5000 g\n");
}

TEST(CallGuard, BytesBetweenInitAndFinalisingAreRefusedInBothOutputModes) {
    ScratchDir dir;
    for (const bool inMemory : {true, false}) {
        Doc doc(openScanningDocument());
        const std::string file = dir.file(inMemory ? "memory.pdf" : "file.pdf");
        if (!inMemory) {
            ASSERT_EQ(tpdf_setOutputFileName(doc.get(), file.c_str()), 0);
        }
        ReportLog log(doc.get());
        ASSERT_EQ(tpdf_init(doc.get()), 0);
        startPage(doc.get());
        square(doc.get());
        EXPECT_EQ(tpdf_writeString(doc.get(), "JUNK"), -1) << inMemory;
        EXPECT_TRUE(log.contains("1|TarvexPDF|The PDF file is written by tpdf_finalizeAll() only")) << inMemory;
        ASSERT_EQ(tpdf_finalizeAll(doc.get()), 0) << inMemory;
        if (inMemory) {
            ASSERT_EQ(tpdf_savePDFmemoryStreamToFile(doc.get(), file.c_str()), 0);
        }
        EXPECT_EQ(readText(file).find("JUNK"), std::string::npos) << inMemory;
        if (havePdfTools()) {
            EXPECT_EQ(pdfToolComplaints(file), "") << inMemory;
        }
    }
}

// A handler that looks for an image at every report: finding none is an answer, not a failure.
void lookingHandler(PdfDoc* doc, int, const char*, const char*, va_list) {
    int index = -1;
    EXPECT_EQ(tpdf_findImage(doc, "no-such-picture.jpg", 0, &index), 1);
}

TEST(CallGuard, AHandlersQueryThatFindsNothingLeavesTheCallStanding) {
    Doc doc = startedDocument();
    startPage(doc.get());
    tpdf_setErrorHandler(doc.get(), lookingHandler);
    // Reports that the font is replaced, and stands.
    EXPECT_EQ(tpdf_setFont(doc.get(), "NoSuchFont", nullptr, 12), 0);
    tpdf_textAt(doc.get(), 20, 20, 0, "in Times-Roman");
    tpdf_setErrorHandler(doc.get(), nullptr);
    ASSERT_EQ(tpdf_finalizeAll(doc.get()), 0);
    EXPECT_NE(outputOf(doc.get()).find("/BaseFont /Times-Roman"), std::string::npos);
}

TEST(CallGuard, MemoryRunningOutIsTheCallsErrorAndAReport) {
    ReportLog log;
    const PdfDocLimits limits{INT_MAX, -1, -1, -1, -1};
    EXPECT_EQ(tpdf_open(0, &limits), nullptr);
    EXPECT_TRUE(log.contains("-2|TarvexPDF malloc|Memory allocation failure"));
}

class CallSequences : public testing::TestWithParam<Sequence> {};

TEST_P(CallSequences, RefusedCallsLeaveTheFileAsWithoutThemAndReadersTakeIt) {
    ScratchDir dir;
    std::string with, without;
    {
        SequenceRun run(true, dir);
        GetParam().calls(run);
        with = run.output();
    }
    {
        SequenceRun run(false, dir);
        GetParam().calls(run);
        without = run.output();
    }
    EXPECT_EQ(with, without);
    const std::filesystem::path out = std::filesystem::path(TPDF_TEST_OUTPUT_DIR) / "call-sequences";
    std::filesystem::create_directories(out);
    const std::string file = (out / (std::string(GetParam().name) + ".pdf")).string();
    writeFile(file, {with.begin(), with.end()});
    if (!havePdfTools()) GTEST_SKIP() << "qpdf or pdftoppm missing";
    EXPECT_EQ(pdfToolComplaints(file), "");
}

INSTANTIATE_TEST_SUITE_P(Hostile, CallSequences, testing::ValuesIn(kSequences),
                         [](const testing::TestParamInfo<Sequence>& p) { return p.param.name; });

} // namespace
