// Shared helpers of the PDF writer tests: JPEG files made with libjpeg, a scratch folder,
// outside tools and document captures.
#pragma once

#include "tpdf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tpdf_test {

enum class JpegColour { Grey, Rgb, Cmyk };

struct JpegSpec {
    int width = 16;
    int height = 12;
    JpegColour colour = JpegColour::Rgb;
    bool progressive = false;
};

// Writes a JPEG picture with libjpeg; returns its bytes.
std::vector<unsigned char> makeJpeg(const JpegSpec& spec);
void writeFile(const std::filesystem::path& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> readFile(const std::filesystem::path& path);
std::string readText(const std::filesystem::path& path);

// Runs a shell command; returns its exit status and fills its standard output.
int run(const std::string& command, std::string* output = nullptr);
bool haveTool(const std::string& name);
bool havePdfTools(); // qpdf and pdftoppm
// What qpdf --check and pdftoppm say of a PDF file beyond "it is sound": empty when qpdf exits
// 0 without a warning and pdftoppm renders every page without a word.
std::string pdfToolComplaints(const std::string& pdfFile);

// A fresh folder per test, removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Collects every report of a document's handler and of the global handler while alive.
class ReportLog {
public:
    explicit ReportLog(PdfDoc* doc = nullptr);
    ~ReportLog();
    void watch(PdfDoc* doc);
    const std::vector<std::string>& lines() const;
    bool contains(const std::string& text) const;
    void clear();
};

// Runs call with a re-entrant handler of the caller's in front of the document's own: at each
// report it draws on the page, picks a font of its own and shows text, adds a note and an
// outline item, then passes the report on. All of it goes with a call that is refused.
void whileHandlerDraws(PdfDoc* doc, const std::function<void()>& call);

int countOf(const std::string& text, const std::string& what);
// Runs of blanks as one blank, so tool reports compare whatever their column widths.
std::string squeezeBlanks(const std::string& text);

// The whole output of a finalised document as text.
std::string outputOf(PdfDoc* doc);

// Saves the bytes of a PDF file and checks that qpdf --check passes it without a warning and
// pdftoppm renders it without a word (when the tools are there).
void expectReadersTakeIt(const std::string& pdf, const std::string& what = {});

struct DocCloser {
    void operator()(PdfDoc* d) const { tpdf_close(d); }
};
using Doc = std::unique_ptr<PdfDoc, DocCloser>;

// A document as the scanning side opens it, with a fixed creation date.
PdfDoc* openScanningDocument();
Doc startedDocument(); // opened as above and initialised
struct tm fixedTime();

// The page content of a one-page document with nothing but what draw() writes.
template <class Draw>
std::string pageContent(Draw draw);

// The content stream of page `page` in a finished output (the bytes between stream/endstream).
std::string contentStream(const std::string& pdf, int objectNumber);

} // namespace tpdf_test

#include "pdf_fixtures_inl.h"
