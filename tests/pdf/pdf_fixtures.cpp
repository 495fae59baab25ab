#include "pdf_fixtures.h"

#include "platform/JpegErrors.h"

#include <cstdio>
#include <fstream>
#include <jpeglib.h>
#include <mutex>
#include <random>
#include <sstream>
#include <unistd.h>

namespace tpdf_test {

std::vector<unsigned char> makeJpeg(const JpegSpec& spec) {
    const int components = spec.colour == JpegColour::Grey ? 1 : spec.colour == JpegColour::Rgb ? 3 : 4;
    std::vector<unsigned char> line(static_cast<std::size_t>(spec.width * components));
    unsigned char* row = line.data();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool made = platform::CompressJpeg([&](jpeg_compress_struct& cinfo) {
        jpeg_mem_dest(&cinfo, &buffer, &size);
        cinfo.image_width = static_cast<JDIMENSION>(spec.width);
        cinfo.image_height = static_cast<JDIMENSION>(spec.height);
        cinfo.input_components = components;
        cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 75, TRUE);
        if (spec.progressive) jpeg_simple_progression(&cinfo);
        jpeg_start_compress(&cinfo, TRUE);
        for (int y = 0; y < spec.height; ++y) {
            for (int x = 0; x < spec.width; ++x)
                for (int c = 0; c < components; ++c)
                    row[x * components + c] = static_cast<unsigned char>((x * 7 + y * 3 + c * 60) & 0xFF);
            JSAMPROW rows[1] = {row};
            jpeg_write_scanlines(&cinfo, rows, 1);
        }
        jpeg_finish_compress(&cinfo);
    });
    std::vector<unsigned char> bytes;
    if (made) bytes.assign(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

void writeFile(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string readText(const std::filesystem::path& path) {
    const auto bytes = readFile(path);
    return {bytes.begin(), bytes.end()};
}

int run(const std::string& command, std::string* output) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char chunk[4096];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) text.append(chunk, n);
    const int status = pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveTool(const std::string& name) { return run("command -v " + name + " >/dev/null") == 0; }

bool havePdfTools() { return haveTool("qpdf") && haveTool("pdftoppm"); }

std::string pdfToolComplaints(const std::string& pdfFile) {
    std::string out, complaints;
    if (run("qpdf --check " + pdfFile, &out) != 0 || out.find("WARNING") != std::string::npos)
        complaints += "qpdf: " + out;
    if (run("pdftoppm -r 18 -png " + pdfFile + " " + pdfFile + "-page", &out) != 0 || !out.empty())
        complaints += "pdftoppm: " + out;
    return complaints;
}

ScratchDir::ScratchDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("tpdf-test-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

namespace {
std::vector<std::string> reports;

std::string formatReport(int level, const char* module, const char* format, va_list args) {
    char message[1024];
    std::vsnprintf(message, sizeof message, format, args);
    return std::to_string(level) + "|" + (module ? module : "") + "|" + message;
}

void docHandler(PdfDoc*, int level, const char* module, const char* format, va_list args) {
    reports.push_back(formatReport(level, module, format, args));
}

void globalHandler(int level, const char* module, const char* format, va_list args) {
    reports.push_back(formatReport(level, module, format, args));
}
} // namespace

ReportLog::ReportLog(PdfDoc* doc) {
    reports.clear();
    tpdf_setGlobalErrorHandler(globalHandler);
    watch(doc);
}

ReportLog::~ReportLog() { tpdf_setGlobalErrorHandler(nullptr); }

void ReportLog::watch(PdfDoc* doc) {
    if (doc) tpdf_setErrorHandler(doc, docHandler);
}

const std::vector<std::string>& ReportLog::lines() const { return reports; }

bool ReportLog::contains(const std::string& text) const {
    for (const std::string& line : reports)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

void ReportLog::clear() { reports.clear(); }

namespace {
PdfErrorHandler passedOn = nullptr;
int handlerDepth = 0;

void drawingHandler(PdfDoc* doc, int level, const char* module, const char* format, va_list args) {
    if (handlerDepth++ == 0) {
        tpdf_pointRect(doc, 200, 200, 20, 20);
        tpdf_fillPath(doc);
        tpdf_setFont(doc, "Courier-Bold", nullptr, 9);
        tpdf_textAt(doc, 200, 250, 0, "drawn by the handler");
        tpdf_textNote(doc, 200, 260, 240, 290, "handler", "note", nullptr);
        tpdf_addOutline(doc, nullptr, 0, 1, 1, "handler", 2, 0, 0, 0, 0);
    }
    --handlerDepth;
    if (passedOn) passedOn(doc, level, module, format, args);
}
} // namespace

void whileHandlerDraws(PdfDoc* doc, const std::function<void()>& call) {
    passedOn = tpdf_setErrorHandler(doc, drawingHandler);
    call();
    tpdf_setErrorHandler(doc, passedOn);
    passedOn = nullptr;
}

int countOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string squeezeBlanks(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != ' ' || out.empty() || out.back() != ' ') out += c;
    return out;
}

std::string outputOf(PdfDoc* doc) {
    int length = 0;
    const unsigned char* bytes = tpdf_getOutputBuffer(doc, &length);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length))
                 : std::string();
}

void expectReadersTakeIt(const std::string& pdf, const std::string& what) {
    if (!haveTool("qpdf") || !haveTool("pdftoppm")) return;
    ScratchDir dir;
    writeFile(dir.file("a.pdf"), std::vector<unsigned char>(pdf.begin(), pdf.end()));
    std::string out;
    EXPECT_EQ(run("qpdf --check " + dir.file("a.pdf"), &out), 0) << what << "\n" << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << what << "\n" << out;
    EXPECT_EQ(run("pdftoppm -r 10 -png " + dir.file("a.pdf") + " " + dir.file("page"), &out), 0)
        << what << "\n" << out;
    EXPECT_EQ(out, "") << what << ": pdftoppm reads it without a word";
}

struct tm fixedTime() {
    struct tm t {};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 7;
    t.tm_sec = 9;
    return t;
}

PdfDoc* openScanningDocument() {
    const PdfDocLimits limits{120, -1, -1, -1, 8000};
    PdfDoc* doc = tpdf_open(0, &limits);
    const struct tm when = fixedTime();
    tpdf_setCreationTime(doc, &when);
    return doc;
}

Doc startedDocument() {
    Doc doc(openScanningDocument());
    tpdf_init(doc.get());
    return doc;
}

std::string contentStream(const std::string& pdf, int objectNumber) {
    const std::string head = "\n" + std::to_string(objectNumber) + " 0 obj\n";
    const std::size_t at = pdf.find(head);
    if (at == std::string::npos) return {};
    const std::size_t start = pdf.find("stream\n", at);
    const std::size_t end = pdf.find("\nendstream\n", start);
    if (start == std::string::npos || end == std::string::npos) return {};
    return pdf.substr(start + 7, end - start - 7);
}

} // namespace tpdf_test
