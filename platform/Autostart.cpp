#include "platform/Autostart.h"

#include <cstdlib>
#include <filesystem>

#include "platform/WholeFile.h"

namespace platform {
namespace {

// A program path as one argument of an Exec line: quoted, with the characters the quoting
// reserves escaped.
std::string quoted(const std::string& path) {
  std::string out = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += "\\\\";
    if (c == '%') out += '%';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string autostartFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && *config == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : "") + "/.config";
  }
  return base + "/autostart/tarvex.desktop";
}

bool setAutostart(bool on, const std::string& program) {
  namespace fs = std::filesystem;
  const fs::path file = autostartFile();
  std::error_code ec;
  if (!on) {
    fs::remove(file, ec);
    return !ec;
  }
  fs::create_directories(file.parent_path(), ec);
  if (ec) return false;
  return WriteFileWhole(file.string(),
                        "[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=Tarvex\n"
                        "Comment=Velmora Network USB Utility\n"
                        "Exec=" + quoted(program) + " -mini\n"
                        "Terminal=false\n"
                        "X-GNOME-Autostart-enabled=true\n");
}

}  // namespace platform
