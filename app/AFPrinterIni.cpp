#include "app/AFPrinterIni.h"

#include <cctype>
#include <cstdint>
#include <fstream>
#include <system_error>
#include <unordered_map>

namespace app {
namespace {

std::string_view trim(std::string_view s) {
  constexpr std::string_view kBlank = " \t\r\n";
  const auto first = s.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(kBlank);
  return s.substr(first, last - first + 1);
}

std::string lowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::vector<AFPrinterSection> ParseAFPrinterIni(std::string_view text) {
  return *ParseAFPrinterIni(text, SIZE_MAX);
}

std::optional<std::vector<AFPrinterSection>> ParseAFPrinterIni(std::string_view text,
                                                               std::size_t maxEntries) {
  std::vector<AFPrinterSection> sections;
  std::size_t entries = 0;
  std::unordered_map<std::string, std::size_t> byName;  // lower-cased name -> its section
  AFPrinterSection* current = nullptr;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view t = trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (t.empty() || t.front() == ';') continue;
    if (t.front() == '[') {
      const auto close = t.find(']');
      if (close == std::string_view::npos) continue;
      const auto [it, added] = byName.try_emplace(lowerCase(trim(t.substr(1, close - 1))), sections.size());
      if (added && ++entries > maxEntries) return std::nullopt;
      if (added) sections.emplace_back();
      current = &sections[it->second];
      continue;
    }
    const auto eq = t.find('=');
    if (!current || eq == std::string_view::npos) continue;
    const std::string_view value = trim(t.substr(eq + 1));
    if (value.empty()) continue;
    if (++entries > maxEntries) return std::nullopt;
    current->push_back({std::string(trim(t.substr(0, eq))), std::string(value)});
  }
  return sections;
}

AFPrinterIniFile::Result AFPrinterIniFile::Refresh(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) {
    lastSeen_.reset();  // a file that comes back is read afresh
    return Result::Missing;
  }
  const bool regular = fs::is_regular_file(status);
  Stamp stamp{path, 0, {}};
  if (regular) stamp.size = fs::file_size(path, ec);
  if (!ec) stamp.time = fs::last_write_time(path, ec);
  // Whatever became of it last time (read or refused) holds until the file changes.
  if (lastSeen_ == stamp) return Result::Unchanged;
  lastSeen_ = stamp;
  if (!regular || ec) return Result::Unreadable;
  if (stamp.size > maxBytes_) return Result::TooLarge;

  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return Result::Unreadable;
  std::string content;
  content.reserve(static_cast<std::size_t>(stamp.size));
  char chunk[64 * 1024];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    content.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (content.size() > maxBytes_) return Result::TooLarge;  // it grew since it was measured
  }
  if (in.bad()) return Result::Unreadable;
  auto table = ParseAFPrinterIni(content, kMaxEntries);
  if (!table) return Result::TooManyLines;
  table_ = std::move(*table);
  return Result::Read;
}

std::string AFPrinterIniRefusalText(const std::string& path, AFPrinterIniFile::Result result,
                                    std::uintmax_t size, std::uintmax_t maxBytes,
                                    std::size_t maxEntries) {
  const std::string keep = " The list read before, if any, stays in use.";
  switch (result) {
    case AFPrinterIniFile::Result::TooLarge:
      return "The printer maker list \"" + path + "\" is not read: it holds " + std::to_string(size) +
             " bytes, more than the " + std::to_string(maxBytes) + " bytes it may hold." + keep;
    case AFPrinterIniFile::Result::TooManyLines:
      return "The printer maker list \"" + path + "\" is not read: it holds more than " +
             std::to_string(maxEntries) + " sections and lines, the most it may hold." + keep;
    case AFPrinterIniFile::Result::Unreadable:
      return "The printer maker list \"" + path + "\" cannot be read." + keep;
    default:
      return {};
  }
}

}  // namespace app
