#pragma once
// Pictures and folders for the scanning tests: DIBs as a source hands them over, a scratch folder,
// and the outside tools that read the files back.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/SimPage.h"
#include "support/SmallTmpfs.h"

namespace scantest {

inline void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

struct DibSpec {
  int width = 16;
  int height = 8;
  int bits = 24;             // 1, 8 (grey palette) or 24
  std::uint32_t headerSize = 40;
  bool topDown = false;
  std::uint32_t sizeImage = 0;  // as the source fills it (often 0)
};

// A DIB with a pattern: colour stripes for 24 bits, a grey ramp for 8, a checker for 1.
inline std::vector<std::uint8_t> makeDib(const DibSpec& s) {
  const std::uint32_t row = ((static_cast<std::uint32_t>(s.width) * s.bits + 31) / 32) * 4;
  const std::uint32_t entries = s.bits <= 8 ? (1u << s.bits) : 0;
  std::vector<std::uint8_t> dib(s.headerSize + 4 * entries + row * static_cast<std::uint32_t>(s.height), 0);
  put32(dib, 0, s.headerSize);
  put32(dib, 4, static_cast<std::uint32_t>(s.width));
  put32(dib, 8, static_cast<std::uint32_t>(s.topDown ? -s.height : s.height));
  dib[12] = 1;
  dib[14] = static_cast<std::uint8_t>(s.bits);
  put32(dib, 20, s.sizeImage);
  for (std::uint32_t i = 0; i < entries; ++i) {
    const auto v = static_cast<std::uint8_t>(entries == 2 ? i * 255 : i);
    dib[s.headerSize + 4 * i] = dib[s.headerSize + 4 * i + 1] = dib[s.headerSize + 4 * i + 2] = v;
  }
  std::uint8_t* px = dib.data() + s.headerSize + 4 * entries;
  for (int y = 0; y < s.height; ++y) {
    std::uint8_t* r = px + static_cast<std::size_t>(y) * row;
    for (int x = 0; x < s.width; ++x) {
      if (s.bits == 24) {
        r[3 * x] = static_cast<std::uint8_t>(x * 255 / s.width);
        r[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / s.height);
        r[3 * x + 2] = static_cast<std::uint8_t>((x + y) % 2 ? 200 : 40);
      } else if (s.bits == 8) {
        r[x] = static_cast<std::uint8_t>((x * 7 + y * 3) % 256);
      } else if ((x + y) % 2) {
        r[x / 8] = static_cast<std::uint8_t>(r[x / 8] | (0x80 >> (x % 8)));
      }
    }
  }
  return dib;
}

inline std::vector<std::uint8_t> readAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline void writeAll(const std::string& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}
inline bool exists(const std::string& file) { return std::filesystem::exists(file); }

// Runs a shell command; returns its exit code and, when asked, its standard output.
inline int run(const std::string& command, std::string* output = nullptr) {
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen((command + " 2>/dev/null").c_str(), "r"), pclose);
  if (!p) return -1;
  std::string out;
  std::array<char, 4096> buf{};
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p.get())) > 0) out.append(buf.data(), n);
  const int status = pclose(p.release());
  if (output) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
inline bool haveTool(const std::string& name) { return run("command -v " + name) == 0; }

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvex-scan-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// What a user's file is: its bytes, or where a link points ("missing" when it is gone).
inline std::string fileState(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_symlink(path, ec)) return "link to " + std::filesystem::read_symlink(path, ec).string();
  if (!std::filesystem::exists(path, ec)) return "missing";
  if (std::filesystem::is_fifo(path, ec)) return "fifo";  // never opened: that would wait for a writer
  const auto bytes = readAll(path);
  return std::string(bytes.begin(), bytes.end());
}

// Files and links a test puts down as the user's, to be found byte for byte as they were.
class UserFiles {
 public:
  void file(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    writeAll(path, std::vector<std::uint8_t>(content.begin(), content.end()));
    before_[path] = fileState(path);
  }
  void link(const std::string& path, const std::string& target) {
    std::filesystem::create_symlink(target, path);
    before_[path] = fileState(path);
  }
  void fifo(const std::string& path) {
    ::mkfifo(path.c_str(), 0600);
    before_[path] = fileState(path);
  }
  // A user's file put down another way (a page an earlier scan of this run handed over, say).
  void note(const std::string& path) { before_[path] = fileState(path); }
  bool has(const std::string& path) const { return before_.contains(path); }
  // The user's files that are not as they were, one a line; empty when none.
  std::string changed() const {
    std::string out;
    for (const auto& [path, state] : before_)
      if (fileState(path) != state) out += path + " is now \"" + fileState(path).substr(0, 40) + "\"\n";
    return out;
  }

 private:
  std::map<std::string, std::string> before_;
};

// The files below `root` that are neither the user's nor among `expected` (names below root).
inline std::string filesLeftBehind(const std::string& root, const std::vector<std::string>& expected,
                                   const UserFiles& user) {
  std::string out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    if (e.is_directory()) continue;
    const std::string rel = e.path().string().substr(root.size() + 1);
    if (std::find(expected.begin(), expected.end(), rel) == expected.end() && !user.has(e.path().string()))
      out += rel + "\n";
  }
  return out;
}

// The process under a locale that writes numbers with a decimal comma, as Qt sets it from
// LC_ALL=de_DE.UTF-8; the build makes one when the machine has none.
class CommaLocale {
 public:
  CommaLocale() {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    saved_ = previous ? previous : "C";
#ifdef TARVEX_TEST_LOCPATH
    ::setenv("LOCPATH", TARVEX_TEST_LOCPATH, 1);
#endif
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8"})
      if (std::setlocale(LC_ALL, name)) break;
    ok_ = std::localeconv()->decimal_point[0] == ',';
  }
  ~CommaLocale() {
    std::setlocale(LC_ALL, saved_.c_str());
    ::unsetenv("LOCPATH");
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_ = false;
};

// Files a person or an outside tool looks at: build/test-output/<area>/.
inline std::string testOutput(const std::string& area) {
  const std::string dir = std::string(TARVEX_BIN_DIR) + "/../test-output/" + area;
  std::filesystem::create_directories(dir);
  return dir;
}

// A picture as an outside tool decodes it: `command` writes one binary PPM to its output.
struct Ppm {
  int width = 0, height = 0;
  std::string pixels;  // R, G, B
  std::array<int, 3> at(double fx, double fy) const {
    const auto x = static_cast<std::size_t>(fx * width), y = static_cast<std::size_t>(fy * height);
    const std::size_t i = 3 * (y * static_cast<std::size_t>(width) + x);
    return {static_cast<unsigned char>(pixels[i]), static_cast<unsigned char>(pixels[i + 1]),
            static_cast<unsigned char>(pixels[i + 2])};
  }
};
inline std::optional<Ppm> decodedBy(const std::string& command) {
  std::string out;
  if (run(command, &out) != 0) return std::nullopt;
  std::istringstream in(out);
  std::string magic;
  int maxValue = 0;
  Ppm p;
  if (!(in >> magic >> p.width >> p.height >> maxValue) || magic != "P6" || maxValue != 255) return std::nullopt;
  in.get();  // the one blank before the pixels
  p.pixels = out.substr(static_cast<std::size_t>(in.tellg()));
  if (p.pixels.size() < 3u * static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height)) return std::nullopt;
  return p;
}

// What is wrong with a simulated page as `pixel` (R, G, B at fractions of the page) shows it:
// the black mark at the top left with paper below it, and red, green and blue beside it in that
// order. Empty when nothing is; a JPEG's small errors pass.
inline std::string simPageFaults(const std::function<std::array<int, 3>(double, double)>& pixel) {
  struct Expect {
    const char* what;
    platform::SimPagePoint at;
    platform::SimPageColour colour;
  };
  const Expect expected[] = {{"mark", platform::kSimMarkAt, platform::kSimMark},
                             {"red", platform::kSimRedAt, platform::kSimRed},
                             {"green", platform::kSimGreenAt, platform::kSimGreen},
                             {"blue", platform::kSimBlueAt, platform::kSimBlue},
                             {"paper below the mark", platform::kSimBlankAt, platform::kSimPaper}};
  std::string faults;
  for (const Expect& e : expected) {
    const auto got = pixel(e.at.x, e.at.y);
    const int want[3] = {e.colour.r, e.colour.g, e.colour.b};
    for (int c = 0; c < 3; ++c)
      if (std::abs(got[static_cast<std::size_t>(c)] - want[c]) > 40) {
        faults += std::string(e.what) + " is " + std::to_string(got[0]) + "," + std::to_string(got[1]) +
                  "," + std::to_string(got[2]) + "; ";
        break;
      }
  }
  return faults;
}

}  // namespace scantest
