#include <gtest/gtest.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/AFPrinterIni.h"

namespace {

namespace fs = std::filesystem;
using app::AFPrinterIniFile;
using Result = AFPrinterIniFile::Result;

// The processor time this thread has used: what a piece of work costs, however long other
// processes of a busy machine keep it waiting for a processor.
std::chrono::nanoseconds threadCpuTime() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

TEST(AFPrinterIniTest, SectionsLinesCommentsAndDuplicates) {
  const auto table = app::ParseAFPrinterIni(
      "; vendors\n"
      "[Brother]\r\n"
      "  Vid = 04F9 \n"
      "Model1=HL-\n"
      "Empty=\n"
      "no equals sign\n"
      "[Empty Vendor]\n"
      "Vid=\n"
      "[brother]\n"
      "Model2=MFC-\n"
      "[unterminated\n"
      "Model3=DCP-\n");
  ASSERT_EQ(table.size(), 2u);
  ASSERT_EQ(table[0].size(), 4u);
  EXPECT_EQ(table[0][0].name, "Vid");
  EXPECT_EQ(table[0][0].value, "04F9");
  EXPECT_EQ(table[0][2].value, "MFC-");
  EXPECT_EQ(table[0][3].value, "DCP-");
  EXPECT_TRUE(table[1].empty());  // stays, and matches nothing
  EXPECT_TRUE(app::ParseAFPrinterIni("").empty());
  EXPECT_TRUE(app::ParseAFPrinterIni("a=b\n=\n[").empty());
}

TEST(AFPrinterIniTest, MalformedLines) {
  using namespace std::string_literals;
  const struct {
    const char* what;
    std::string text;
    std::size_t sections, linesOfFirst;
    std::string lastValue;
  } cases[] = {
      {"lines before any section", "Vid=04F9\n[A]\n", 1, 0, ""},
      {"no newline at the end", "[A]\nVid=04F9", 1, 1, "04F9"},
      {"carriage returns", "[A]\r\nVid=04F9\r\nM=HL\r", 1, 2, "HL"},
      {"empty section names are one section", "[]\na=1\n[ ]\nb=2\n", 1, 2, "2"},
      {"text after the bracket", "[A] trailing\nk=v\n", 1, 1, "v"},
      {"empty names and equals signs", "[A]\n==\n=x\nx=\n", 1, 2, "x"},
      {"zero bytes and high bytes", "[A\0]\n\0k\xFF=\x01v\0\n"s, 1, 1, "\x01v\0"s},
      {"a long line", "[A]\nk=" + std::string(1 << 20, 'x') + "\n", 1, 1, std::string(1 << 20, 'x')},
      {"only newlines", std::string(1000, '\n'), 0, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto table = app::ParseAFPrinterIni(c.text);
    ASSERT_EQ(table.size(), c.sections);
    if (table.empty()) continue;
    ASSERT_EQ(table[0].size(), c.linesOfFirst);
    if (!table[0].empty()) {
      EXPECT_EQ(table[0].back().value, c.lastValue);
    }
  }
}

class AFPrinterIniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tarvex-afprinter-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    path = (dir / "AFPrinter.ini").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  void write(const std::string& text) { std::ofstream(path, std::ios::binary | std::ios::trunc) << text; }

  fs::path dir;
  std::string path;
};

// One pass over the file: 100,000 vendors, each with a model line, take tens of milliseconds
// (hundreds in a sanitizer build); a look-up per section over the sections read so far took about
// half a minute. The bound sits far from both and counts processor time, not time on the clock
// (which a loaded machine stretched past it), so a busy machine does not decide the outcome.
TEST_F(AFPrinterIniFileTest, AHundredThousandSectionsReadInOnePass) {
  constexpr int kSections = 100000;
  std::string text;
  for (int i = 0; i < kSections; ++i)
    text += "[Vendor" + std::to_string(i) + "]\nVid=" + std::to_string(i) + "\nModel=M" +
            std::to_string(i) + "\n";
  write(text);
  AFPrinterIniFile file;
  const auto start = threadCpuTime();
  ASSERT_EQ(file.Refresh(path), Result::Read);
  const auto took = threadCpuTime() - start;
  EXPECT_LT(took, std::chrono::seconds(5))
      << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
  ASSERT_EQ(file.table().size(), static_cast<std::size_t>(kSections));
  EXPECT_EQ(file.table().back()[1].value, "M" + std::to_string(kSections - 1));
}

// The file is read again only when its size or time changed; a refused or unreadable file is
// reported once (then unchanged), and the table read before stays.
TEST_F(AFPrinterIniFileTest, ReadOnlyWhenChangedAndRefusedPastTheLimit) {
  AFPrinterIniFile file(64);
  EXPECT_EQ(file.Refresh(path), Result::Missing);
  EXPECT_TRUE(file.table().empty());

  write("[Brother]\nVid=04F9\n");
  ASSERT_EQ(file.Refresh(path), Result::Read);
  const auto time = fs::last_write_time(path);
  // Same size and time: not read, so the new words are not seen.
  write("[Epson  ]\nVid=04B8\n");
  fs::last_write_time(path, time);
  EXPECT_EQ(file.Refresh(path), Result::Unchanged);
  EXPECT_EQ(file.table()[0][0].value, "04F9");
  fs::last_write_time(path, time + std::chrono::seconds(1));
  ASSERT_EQ(file.Refresh(path), Result::Read);
  EXPECT_EQ(file.table()[0][0].value, "04B8");

  write("[Brother]\nVid=04F9\n" + std::string(64, ';'));
  EXPECT_EQ(file.Refresh(path), Result::TooLarge);
  EXPECT_EQ(file.lastSize(), 83u);
  EXPECT_EQ(file.Refresh(path), Result::Unchanged);
  EXPECT_EQ(file.table()[0][0].value, "04B8");

  fs::remove(path);
  EXPECT_EQ(file.Refresh(path), Result::Missing);
  EXPECT_EQ(file.table()[0][0].value, "04B8");
  fs::create_directory(path);
  EXPECT_EQ(file.Refresh(path), Result::Unreadable);
  EXPECT_EQ(file.Refresh(path), Result::Unchanged);
  EXPECT_EQ(file.table()[0][0].value, "04B8");
}

// The most memory a read takes above what the process held before, measured in a child process so
// that nothing else of the test counts: the peak resident size (VmHWM) less the resident size at
// the start.
long long peakGrowthOfARead(const std::string& path, AFPrinterIniFile::Result& result) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const auto kib = [](const char* field) {
      std::ifstream status("/proc/self/status");
      std::string line;
      while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::string(field).size()));
      return -1LL;
    };
    ::close(pipeFds[0]);
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts afresh
    const long long before = kib("VmRSS:");
    AFPrinterIniFile file;
    const long long out[2] = {static_cast<long long>(file.Refresh(path)), kib("VmHWM:") - before};
    [[maybe_unused]] const auto n = ::write(pipeFds[1], out, sizeof out);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  long long in[2] = {-1, -1};
  const bool got = ::read(pipeFds[0], in, sizeof in) == static_cast<ssize_t>(sizeof in);
  ::close(pipeFds[0]);
  ::waitpid(pid, nullptr, 0);
  if (!got) return -1;
  result = static_cast<AFPrinterIniFile::Result>(in[0]);
  return in[1] * 1024;
}

// A file under the size limit holds at most so many sections and lines, so what a read takes
// stays a small multiple of the file: short lines alone (once 265 MB for 16 MiB) are refused, and
// as many lines as are kept, of a length that fills the file, are read.
// The sanitizer build's allocator adds room around every block and keeps freed ones a while.
#if defined(__SANITIZE_ADDRESS__)
constexpr long long kPeakBound = 192LL << 20;
#else
constexpr long long kPeakBound = 96LL << 20;
#endif

TEST_F(AFPrinterIniFileTest, WhatTheTableKeepsIsBoundedAtAnyLineLength) {
  const auto fileOf = [](std::size_t lineBytes, std::size_t count) {
    std::string text = "[A]\n";
    const std::string line = "M=" + std::string(lineBytes - 3, 'x') + "\n";
    text.reserve(text.size() + line.size() * count);
    for (std::size_t i = 0; i < count; ++i) text += line;
    return text;
  };
  const std::size_t room = AFPrinterIniFile::kMaxBytes - 4;
  const std::size_t kept = AFPrinterIniFile::kMaxEntries - 1;  // the section is one
  const struct {
    const char* what;
    std::string text;
    Result result;
  } cases[] = {
      {"the shortest lines", fileOf(4, room / 4), Result::TooManyLines},
      {"one line too many", fileOf(room / (kept + 1), kept + 1), Result::TooManyLines},
      {"as many lines as are kept", fileOf(room / kept, kept), Result::Read},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_LE(c.text.size(), AFPrinterIniFile::kMaxBytes);
    write(c.text);
    Result result = Result::Missing;
    const long long growth = peakGrowthOfARead(path, result);
    EXPECT_EQ(result, c.result);
    EXPECT_GT(growth, 0);
    EXPECT_LT(growth, kPeakBound) << "a file of " << c.text.size() << " bytes took " << growth;
    std::printf("%s: %zu bytes, the read took %lld MiB at its peak\n", c.what, c.text.size(),
                growth >> 20);
  }
}

TEST(AFPrinterIniRefusalTest, SaysWhichFileAndWhy) {
  EXPECT_EQ(app::AFPrinterIniRefusalText("/opt/tarvex/AFPrinter.ini", Result::TooLarge, 104857600,
                                         AFPrinterIniFile::kMaxBytes),
            "The printer maker list \"/opt/tarvex/AFPrinter.ini\" is not read: it holds 104857600 "
            "bytes, more than the 16777216 bytes it may hold. The list read before, if any, stays "
            "in use.");
  EXPECT_EQ(app::AFPrinterIniRefusalText("/x/AFPrinter.ini", Result::Unreadable, 0, 1),
            "The printer maker list \"/x/AFPrinter.ini\" cannot be read. The list read before, if "
            "any, stays in use.");
  EXPECT_EQ(app::AFPrinterIniRefusalText("/x/AFPrinter.ini", Result::TooManyLines, 100, 1, 524288),
            "The printer maker list \"/x/AFPrinter.ini\" is not read: it holds more than 524288 "
            "sections and lines, the most it may hold. The list read before, if any, stays in use.");
  for (const Result r : {Result::Read, Result::Unchanged, Result::Missing})
    EXPECT_EQ(app::AFPrinterIniRefusalText("/x/AFPrinter.ini", r, 0, 1), "");
}

}  // namespace
