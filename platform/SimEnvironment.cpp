#include "platform/SimEnvironment.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace platform::sim {
namespace {

std::string envOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}

}  // namespace

std::string simDir() {
  return envOr("TARVEX_SIM_DIR", "/tmp/tarvex-sim-" + std::to_string(getuid()));
}

std::string socketPath() { return simDir() + "/simhost.sock"; }

namespace {

// TARVEX_HOST, else the daemon's default host; empty when neither says.
std::string namedHost() {
  if (const char* v = std::getenv("TARVEX_HOST"); v && *v) return v;
  std::ifstream in(simDir() + "/default-host");
  std::string name;
  if (in && std::getline(in, name) && !name.empty()) return name;
  return {};
}

}  // namespace

const std::string& HostName::get() {
  if (known_) return name_;
  name_ = namedHost();
  known_ = !name_.empty();
  if (!known_) name_ = thisHostName();
  return name_;
}

std::string thisHostName() {
  if (std::string name = namedHost(); !name.empty()) return name;
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) == 0 && buf[0]) return buf;
  return "LOCALHOST";
}

std::string registryFile(std::string_view host) {
  return simDir() + "/hosts/" + std::string(host) + "/registry.db";
}

bool ensureHostDir(std::string_view host) {
  std::error_code ec;
  std::filesystem::create_directories(simDir() + "/hosts/" + std::string(host), ec);
  return !ec;
}

}  // namespace platform::sim
