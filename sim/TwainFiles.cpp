#include "sim/TwainFiles.h"

#include <cctype>
#include <filesystem>

#include "platform/SimEnvironment.h"
#include "platform/WholeFile.h"

namespace sim {
namespace {

// A source's name as a file name: letters and digits kept, the rest turned into '_'.
std::string fileNameOf(const std::string& product) {
  std::string out;
  for (char c : product) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return out.empty() ? "source" : out;
}

}  // namespace

bool writeTwainSourceFiles(const Host& host) {
  namespace fs = std::filesystem;
  const fs::path twain = fs::path(platform::sim::simDir()) / "hosts" / host.name / "windows" / "TWAIN_32";
  std::error_code ec;
  fs::remove_all(twain, ec);
  if (host.scanners.empty() && !host.sane) return true;
  const fs::path dir = twain / "tarvex";
  fs::create_directories(dir, ec);
  if (ec) return false;
  auto write = [&](const std::string& file, const std::string& source) {
    return platform::WriteFileWhole((dir / (file + ".ds")).string(), source + "\n");
  };
  for (const platform::SimScanner& s : host.scanners)
    if (!write(fileNameOf(s.product), s.product)) return false;
  return !host.sane || write("sane", "SANE devices");
}

}  // namespace sim
