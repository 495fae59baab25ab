#pragma once
// Where the simulated host lives and which of its computers this process runs as.
#include <string>
#include <string_view>

namespace platform::sim {

// TARVEX_SIM_DIR, or /tmp/tarvex-sim-<uid> when it is unset or empty.
std::string simDir();
// The daemon's socket in simDir().
std::string socketPath();
// The computer this process runs as: TARVEX_HOST when set, else the host the running daemon names
// as its default (the file "default-host" in simDir()), else the machine's own host name.
std::string thisHostName();
// thisHostName() for a client that asks on every call: kept once it comes from TARVEX_HOST or the
// daemon's "default-host", looked up again while it does not (the daemon may start later).
// Not thread-safe.
class HostName {
 public:
  const std::string& get();

 private:
  std::string name_;
  bool known_ = false;
};

// The registry database of one simulated computer: simDir()/hosts/<host>/registry.db.
std::string registryFile(std::string_view host);
// Makes simDir() and the host's folder; false when they cannot be made.
bool ensureHostDir(std::string_view host);

}  // namespace platform::sim
