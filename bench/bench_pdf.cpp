// Writes 100 scanned-page JPEG files into one PDF with the library and with img2pdf, and copies
// the same bytes into one file as the floor; prints the median time of each and the ratios.
// Then a text-heavy document: the cost of the drawing calls themselves, not of the bytes.
// "bench_pdf text [RUNS]" runs only the text-heavy case and prints each run's CPU time, so the
// same source built against two versions of the library can be compared run by run.
#include "tpdf.h"

#include <jpeglib.h>

#include "platform/JpegErrors.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kPages = 100;
constexpr int kWidth = 1240; // A4 at 150 dpi
constexpr int kHeight = 1754;
constexpr int kRuns = 7;

// A page of grey "text lines" on white with some noise, so it compresses like a scan; empty when
// libjpeg fails.
std::vector<unsigned char> scannedPage(unsigned seed) {
    std::vector<unsigned char> line(kWidth * 3);
    unsigned char* row = line.data();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool made = platform::CompressJpeg([&](jpeg_compress_struct& cinfo) {
        jpeg_mem_dest(&cinfo, &buffer, &size);
        cinfo.image_width = kWidth;
        cinfo.image_height = kHeight;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 75, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        unsigned state = seed * 2654435761u + 1;
        for (int y = 0; y < kHeight; ++y) {
            const bool textLine = (y / 12) % 2 == 0 && y > 150 && y < kHeight - 150;
            for (int x = 0; x < kWidth; ++x) {
                state = state * 1103515245u + 12345u;
                const int noise = static_cast<int>((state >> 16) % 24);
                const bool ink = textLine && x > 120 && x < kWidth - 120 && ((x / 7 + y / 12 + seed) % 5) < 3;
                const int v = ink ? 40 + noise : 235 + noise / 2;
                for (int c = 0; c < 3; ++c) row[x * 3 + c] = static_cast<unsigned char>(std::min(255, v - c * 3));
            }
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

// The floor: the same bytes read into one buffer and written to one file in one write.
bool copyFloor(const std::vector<std::string>& files, const std::string& out) {
    std::size_t total = 0;
    for (const std::string& name : files) total += static_cast<std::size_t>(tpdf_fileSize(name.c_str()));
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[total]);
    std::size_t at = 0;
    for (const std::string& name : files) {
        std::FILE* in = std::fopen(name.c_str(), "rb");
        if (!in) return false;
        const auto size = static_cast<std::size_t>(tpdf_fileSize(name.c_str()));
        const bool ok = std::fread(buffer.get() + at, 1, size, in) == size;
        std::fclose(in);
        if (!ok) return false;
        at += size;
    }
    std::FILE* f = std::fopen(out.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(buffer.get(), 1, total, f) == total;
    return std::fclose(f) == 0 && written;
}

// Page 1's size as pdfinfo reports it, to show both writers made the same pages.
std::string firstPageSize(const std::string& pdf) {
    std::FILE* p = popen(("pdfinfo -f 1 -l 1 '" + pdf + "' 2>/dev/null").c_str(), "r");
    if (!p) return "?";
    char line[256];
    std::string size = "?";
    while (std::fgets(line, sizeof line, p))
        if (std::string(line).rfind("Page    1 size:", 0) == 0) size = std::string(line + 15);
    pclose(p);
    size.erase(0, size.find_first_not_of(' '));
    if (!size.empty() && size.back() == '\n') size.pop_back();
    return size;
}

bool withLibrary(const std::vector<std::string>& files, const std::string& out) {
    const PdfDocLimits limits{120, -1, -1, -1, 8000};
    PdfDoc* doc = tpdf_open(0, &limits);
    tpdf_init(doc);
    char box[64];
    std::snprintf(box, sizeof box, "0 0 %d %d", kWidth, kHeight);
    int page = 1;
    for (const std::string& name : files) {
        tpdf_pageInit(doc, page++, 0, box, box);
        float w = 0, h = 0, xs = 0, ys = 0;
        tpdf_importImage(doc, name.c_str(), 0, 0, 0, 0, &w, &h, &xs, &ys, 1);
    }
    const bool ok = tpdf_finalizeAll(doc) == 0 && tpdf_savePDFmemoryStreamToFile(doc, out.c_str()) == 0;
    tpdf_close(doc);
    return ok;
}

bool withImg2pdf(const std::string& list, const std::string& out) {
    // --imgsize 72dpi: one pixel per point, like the library's pages.
    const std::string command = "img2pdf --imgsize 72dpi -o '" + out + "' " + list + " 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

template <class F>
double medianSeconds(F run) {
    std::vector<double> times;
    run(); // warm-up: the files in the page cache, the output file allocated once
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!run()) {
            std::fprintf(stderr, "a run failed\n");
            std::exit(1);
        }
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}


// ---- Text-heavy document --------------------------------------------------------------------

constexpr int kTextPages = 200;
constexpr int kCallsPerPage = 2000;
constexpr int kCallsPerRound = 20; // the calls of one round of drawPageRound

// One round: text, lines, rectangles, colours and fonts, as a report page draws them.
void drawPageRound(PdfDoc* doc, int round) {
    const float y = 800.0f - static_cast<float>(round % 100) * 7.5f;
    tpdf_setFont(doc, round % 2 ? "Times-Roman" : "Helvetica", nullptr, 9.0f);
    tpdf_fillRgb(doc, 0.1f, 0.2f, 0.3f);
    tpdf_beginText(doc, 0);
    tpdf_textPosition(doc, 40.0f, y);
    tpdf_showText(doc, "Device 0123 on port 4: attached, shared, 480 Mbit/s (high speed)");
    tpdf_endText(doc);
    tpdf_strokeGray(doc, 0.5f);
    tpdf_pointMove(doc, 40.0f, y - 2.0f);
    tpdf_pointLine(doc, 555.0f, y - 2.0f);
    tpdf_strokePath(doc);
    tpdf_fillGray(doc, 0.9f);
    tpdf_pointRect(doc, 400.0f, y, 60.0f, 6.0f);
    tpdf_fillPath(doc);
    tpdf_textAt(doc, 470.0f, y, 0.0f, "connected");
    tpdf_lineWidth(doc, 0.25f);
    tpdf_rgbBoth(doc, 0.8f, 0.1f, 0.1f);
    tpdf_pointRect(doc, 30.0f, y - 1.0f, 5.0f, 5.0f);
    tpdf_strokePath(doc);
    tpdf_setFont(doc, "Courier", nullptr, 8.0f);
    tpdf_textAt(doc, 520.0f, y, 0.0f, "0x1d6b");
}

// A document of kTextPages pages written to memory; contentInMemory chooses where the pages'
// content waits for the file.
bool textDocument(int contentInMemory) {
    const PdfDocLimits limits{kTextPages, -1, -1, -1, 8000};
    PdfDoc* doc = tpdf_open(0, &limits);
    if (!doc) return false;
    tpdf_setContentInMemory(doc, contentInMemory);
    bool ok = tpdf_init(doc) == 0;
    for (int page = 1; ok && page <= kTextPages; ++page) {
        ok = tpdf_pageInit(doc, page, 0, "0 0 595 842", "0 0 595 842") == 0;
        for (int round = 0; ok && round < kCallsPerPage / kCallsPerRound; ++round)
            drawPageRound(doc, round);
        tpdf_finalizePage(doc, page);
    }
    ok = ok && tpdf_finalizeAll(doc) == 0;
    tpdf_close(doc);
    return ok;
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// CPU seconds of one run: a document of each content mode.
double textRun() {
    const double start = cpuSeconds();
    if (!textDocument(1) || !textDocument(0)) {
        std::fprintf(stderr, "a text-heavy run failed\n");
        std::exit(1);
    }
    return cpuSeconds() - start;
}

int textOnly(int runs) {
    for (int i = 0; i < runs; ++i) std::printf("%.4f\n", textRun());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "text") == 0)
        return textOnly(argc > 2 ? std::max(1, std::atoi(argv[2])) : kRuns);
    const fs::path dir = fs::temp_directory_path() / ("bench_pdf-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::vector<std::vector<unsigned char>> variants;
    for (unsigned v = 0; v < 10; ++v) variants.push_back(scannedPage(v));
    std::vector<std::string> files;
    std::string list;
    std::uintmax_t total = 0;
    for (int i = 0; i < kPages; ++i) {
        const std::string name = (dir / ("page_" + std::to_string(i + 1) + ".jpg")).string();
        const auto& bytes = variants[static_cast<std::size_t>(i) % variants.size()];
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        files.push_back(name);
        list += "'" + name + "' ";
        total += bytes.size();
    }
    const std::string floorOut = (dir / "floor.bin").string();
    const std::string libOut = (dir / "tpdf.pdf").string();
    const std::string img2pdfOut = (dir / "img2pdf.pdf").string();
    const bool haveImg2pdf = std::system("command -v img2pdf >/dev/null 2>&1") == 0;

    const double floor = medianSeconds([&] { return copyFloor(files, floorOut); });
    const double lib = medianSeconds([&] { return withLibrary(files, libOut); });
    const double img = haveImg2pdf ? medianSeconds([&] { return withImg2pdf(list, img2pdfOut); }) : 0.0;

    std::printf("%d pages of %dx%d pixels, %.1f MB of JPEG data, median of %d runs\n", kPages, kWidth,
                kHeight, static_cast<double>(total) / 1e6, kRuns);
    std::printf("copy floor : %8.2f ms\n", floor * 1e3);
    std::printf("tpdf       : %8.2f ms  (%.2fx the floor, %ld bytes)\n", lib * 1e3, lib / floor,
                tpdf_fileSize(libOut.c_str()));
    if (haveImg2pdf)
        std::printf("img2pdf    : %8.2f ms  (%.2fx the floor, %ld bytes; tpdf %.1fx faster)\n", img * 1e3,
                    img / floor, tpdf_fileSize(img2pdfOut.c_str()), img / lib);
    else
        std::printf("img2pdf    : not installed\n");
    std::printf("page 1 size: tpdf %s; img2pdf %s\n", firstPageSize(libOut).c_str(),
                haveImg2pdf ? firstPageSize(img2pdfOut).c_str() : "-");
    fs::remove_all(dir);

    textRun(); // warm-up
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) times.push_back(textRun());
    std::sort(times.begin(), times.end());
    std::printf("text-heavy : %8.2f ms of CPU, median of %d runs (2 x %d pages of %d calls: content "
                "in memory, then in files)\n",
                times[times.size() / 2] * 1e3, kRuns, kTextPages, kCallsPerPage);
    return 0;
}
