// Saves a group of 20 A4 pages at 300 dpi (2480x3508, 24 bits) the way the saving thread does:
// as JPEG with our encoder against `cjpeg -quality 75` on the same BMP files, and as BMP (the
// source's DIB written out with its resolution) against a plain copy of the same bytes. Prints
// the median time per page of each and the ratios; fails when our JPEG is slower than 1.2x cjpeg.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "scanning/PictureFiles.h"
#include "scanning/TSaveScanningThread.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

constexpr int kPages = 20;
constexpr int kWidth = 2480;
constexpr int kHeight = 3508;
constexpr double kAllowed = 1.2;

void put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A bottom-up 24-bit DIB that compresses like a scanned page: paper with a little noise, lines of
// dark "text" and a coloured picture block.
std::vector<std::uint8_t> scannedPage(unsigned seed) {
  const std::uint32_t row = ((kWidth * 24 + 31) / 32) * 4;
  std::vector<std::uint8_t> dib(40 + static_cast<std::size_t>(row) * kHeight);
  put32(&dib[0], 40);
  put32(&dib[4], kWidth);
  put32(&dib[8], kHeight);
  dib[12] = 1;
  dib[14] = 24;
  unsigned noise = seed * 2654435761u + 1;
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* p = &dib[40 + static_cast<std::size_t>(kHeight - 1 - y) * row];
    const bool textLine = (y / 40) % 2 == 1 && y > 300 && y < 3200 && (y % 40) > 8;
    for (int x = 0; x < kWidth; ++x, p += 3) {
      noise = noise * 1103515245u + 12345u;
      int v = 235 + static_cast<int>((noise >> 16) % 16);
      int b = v, g = v, r = v;
      if (textLine && x > 200 && x < 2280 && ((x / 7 + y / 5 + seed) % 5) < 2) b = g = r = 30;
      if (y > 2000 && y < 2800 && x > 600 && x < 1800) {
        r = (x * 255 / kWidth + static_cast<int>(seed) * 9) % 256;
        g = y * 255 / kHeight;
        b = (r + g) / 2;
      }
      p[0] = static_cast<std::uint8_t>(b);
      p[1] = static_cast<std::uint8_t>(g);
      p[2] = static_cast<std::uint8_t>(r);
    }
  }
  return dib;
}

double secondsOf(const std::function<bool()>& work) {
  const auto start = std::chrono::steady_clock::now();
  if (!work()) {
    std::fprintf(stderr, "bench_scanning: a step failed\n");
    std::exit(2);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool runTool(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool copyBytes(const std::vector<std::uint8_t>& bytes, const std::string& file) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

std::vector<std::uint8_t> readAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("tarvex-bench-scan-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::vector<double> ours, cjpeg, bmp, copy;
  std::uintmax_t oursBytes = 0, cjpegBytes = 0;
  for (int n = 1; n <= kPages; ++n) {
    const std::vector<std::uint8_t> dib = scannedPage(static_cast<unsigned>(n));
    const std::string page = (dir / "page.bmp").string();
    const std::string plain = (dir / "plain.bmp").string();
    // BMP: the DIB written out and its resolution patched in, against copying the same bytes.
    bmp.push_back(secondsOf([&] {
      return scanning::WriteDibToFile(dib.data(), dib.size(), page) == 0 &&
             scanning::WriteBmpResolution(page, 300);
    }));
    const std::vector<std::uint8_t> fileBytes = readAll(page);
    copy.push_back(secondsOf([&] { return copyBytes(fileBytes, plain); }));
    // JPEG from the same BMP file, alternating who goes first so neither gets the warmer cache.
    const std::string mine = (dir / "ours.jpg").string(), theirs = (dir / "cjpeg.jpg").string();
    auto runOurs = [&] { ours.push_back(secondsOf([&] { return scanning::ConvertPageToJpeg(page, mine, 300); })); };
    auto runCjpeg = [&] {
      cjpeg.push_back(secondsOf([&] { return runTool({"cjpeg", "-quality", "75", "-outfile", theirs, page}); }));
    };
    if (n % 2) { runOurs(); runCjpeg(); } else { runCjpeg(); runOurs(); }
    oursBytes += fs::file_size(mine);
    cjpegBytes += fs::file_size(theirs);
  }
  fs::remove_all(dir);

  const double jpegRatio = median(ours) / median(cjpeg);
  std::printf("%d pages of %dx%d pixels, 24 bits; median time per page\n", kPages, kWidth, kHeight);
  std::printf("JPEG  ours %8.1f ms   cjpeg -quality 75 %8.1f ms   ratio %.2f (allowed %.1f)\n",
              median(ours) * 1e3, median(cjpeg) * 1e3, jpegRatio, kAllowed);
  std::printf("      sizes: ours %.1f MB, cjpeg %.1f MB\n", static_cast<double>(oursBytes) / 1e6,
              static_cast<double>(cjpegBytes) / 1e6);
  std::printf("BMP   ours %8.1f ms   plain copy        %8.1f ms   ratio %.2f\n", median(bmp) * 1e3,
              median(copy) * 1e3, median(bmp) / median(copy));
  return jpegRatio <= kAllowed ? 0 : 1;
}
