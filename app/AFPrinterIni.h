#pragma once
// The printer vendor table of "AFPrinter.ini", installed beside the program: one section per
// vendor, its first line's value a USB vendor id, the later values fragments of model names.
// Read in one pass, refused past a size limit, and read again only when the file has changed.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// One section of "AFPrinter.ini": its lines with a value, in file order.
struct AFPrinterLine {
  std::string name, value;
};
using AFPrinterSection = std::vector<AFPrinterLine>;

// The INI reading itself, over text: sections in file order, a repeated section's lines joined to
// its first (names compared without case), names and values trimmed, ';' comment lines and lines
// without "=" skipped, lines with an empty value dropped.
std::vector<AFPrinterSection> ParseAFPrinterIni(std::string_view text);
// The same, given up (nullopt) at the first section or line past `maxEntries` of them together.
std::optional<std::vector<AFPrinterSection>> ParseAFPrinterIni(std::string_view text,
                                                               std::size_t maxEntries);

class AFPrinterIniFile {
 public:
  // Far beyond any vendor table; a larger file is refused before it is read.
  static constexpr std::uintmax_t kMaxBytes = 16u * 1024 * 1024;
  // What the table keeps is bounded too: a file under the size limit made of short lines would
  // otherwise take many times its size (each line is two strings in a list).
  static constexpr std::size_t kMaxEntries = 512u * 1024;

  enum class Result {
    Read,        // the table now holds the file's sections
    Unchanged,   // same size and modification time as last looked at: nothing was read
    Missing,     // no file: the table stays as it was
    TooLarge,    // refused; the table stays as it was
    TooManyLines,  // more sections and lines than kept: refused; the table stays as it was
    Unreadable,  // not a regular file, or reading it failed; the table stays as it was
  };

  explicit AFPrinterIniFile(std::uintmax_t maxBytes = kMaxBytes) : maxBytes_(maxBytes) {}

  Result Refresh(const std::string& path);
  const std::vector<AFPrinterSection>& table() const { return table_; }
  std::uintmax_t maxBytes() const { return maxBytes_; }
  // The size of the file last looked at (what a refusal names).
  std::uintmax_t lastSize() const { return lastSeen_ ? lastSeen_->size : 0; }

 private:
  struct Stamp {
    std::string path;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time;
    bool operator==(const Stamp&) const = default;
  };

  std::uintmax_t maxBytes_;
  std::vector<AFPrinterSection> table_;
  std::optional<Stamp> lastSeen_;  // of the file last read or refused
};

// What the user is told when the file is refused (TooLarge, TooManyLines, Unreadable); empty
// otherwise.
std::string AFPrinterIniRefusalText(const std::string& path, AFPrinterIniFile::Result result,
                                    std::uintmax_t size, std::uintmax_t maxBytes,
                                    std::size_t maxEntries = AFPrinterIniFile::kMaxEntries);

}  // namespace app
