// tarvex-simhost [--dir D] scenario.json: the simulated host's daemon, in the foreground.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>

#include "platform/SimEnvironment.h"
#include "sim/HostSystem.h"
#include "sim/PlugAndPlay.h"
#include "platform/ConfigManager.h"
#include "platform/Registry.h"
#include "platform/WholeFile.h"
#include "sim/Scenario.h"
#include "sim/SimHostServer.h"
#include "sim/VersionServer.h"
#include "sim/TwainFiles.h"
#include "sim/World.h"

namespace {

namespace wire = platform::simwire;

int stopPipe[2] = {-1, -1};

void onSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto n = ::write(stopPipe[1], &byte, 1);
}

int usage() {
  std::cerr << "usage: tarvex-simhost [--dir DIR] SCENARIO.json\n"
               "Runs the simulated host on SCENARIO.json in the foreground, in DIR or else in\n"
               "$TARVEX_SIM_DIR (default /tmp/tarvex-sim-<uid>). SIGTERM or SIGINT stops it.\n";
  return 2;
}

// Held for the daemon's life: a second daemon on the same folder fails to take it.
bool lockFolder(const std::string& dir, wire::Socket& lock) {
  lock = wire::Socket(::open((dir + "/simhost.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  return lock.valid() && ::flock(lock.fd(), LOCK_EX | LOCK_NB) == 0;
}

// Handle numbers differ from one daemon run to the next, so a handle kept from an earlier run
// does not name a new device by chance.
platform::Handle firstHandle() {
  std::random_device random;
  return static_cast<platform::Handle>((random() % 0x10000 + 1) * 0x1000);
}

}  // namespace

int main(int argc, char** argv) {
  std::string scenarioPath;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      usage();
      return 0;
    }
    if (a == "--dir" && i + 1 < argc) {
      ::setenv("TARVEX_SIM_DIR", argv[++i], 1);
    } else if (scenarioPath.empty() && !a.starts_with("-")) {
      scenarioPath = a;
    } else {
      return usage();
    }
  }
  if (scenarioPath.empty()) return usage();

  sim::ScenarioResult scenario = sim::loadScenarioFile(scenarioPath);
  if (!scenario.setup) {
    std::cerr << "tarvex-simhost: " << scenarioPath << ": " << scenario.error << "\n";
    return 2;
  }

  const std::string dir = platform::sim::simDir();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  wire::Socket folderLock;
  if (ec || !lockFolder(dir, folderLock)) {
    std::cerr << "tarvex-simhost: " << (ec ? "cannot make " + dir + ": " + ec.message()
                                           : "another tarvex-simhost is running on " + dir)
              << "\n";
    return 1;
  }
  for (const sim::Host& h : scenario.setup->hosts) {
    if (!platform::sim::ensureHostDir(h.name) || !sim::writeSystemFile(h)) {
      std::cerr << "tarvex-simhost: cannot make the folder of host " << h.name << " in " << dir << "\n";
      return 1;
    }
    if (!sim::writeTwainSourceFiles(h)) {
      std::cerr << "tarvex-simhost: cannot write the TWAIN source files of host " << h.name << "\n";
      return 1;
    }
    if (!sim::writeRegistrySeeds(h)) {
      std::cerr << "tarvex-simhost: cannot write the device settings and installation into the registry of host "
                << h.name << "\n";
      return 1;
    }
    // Plug and play starts afresh with the world: no device is plugged in yet.
    if (auto registry = platform::Registry::open(platform::sim::registryFile(h.name), true))
      sim::resetPlugAndPlay(*registry, h);
  }
  if (std::string why;
      !platform::WriteFileWhole(dir + "/default-host", scenario.setup->hosts.front().name + "\n", &why)) {
    std::cerr << "tarvex-simhost: " << why << "\n";
    return 1;
  }

  // The world (and what plug and play writes at its start) is whole before the socket appears.
  sim::WorldOptions options;
  options.firstHandle = firstHandle();
  options.hostChanged = [](const sim::Host& h) { sim::writeSystemFile(h); };
  options.plugAndPlay = [](const sim::PlugAndPlayChange& change) { sim::recordPlugAndPlay(change); };
  sim::World world(std::move(*scenario.setup), platform::clock(), options);

  std::string error;
  const std::string socketPath = platform::sim::socketPath();
  wire::Socket listening = sim::listenUnix(socketPath, error);
  if (!listening.valid()) {
    std::cerr << "tarvex-simhost: " << error << "\n";
    return 1;
  }

  if (::pipe2(stopPipe, O_CLOEXEC) != 0) return 1;
  struct sigaction action {};
  action.sa_handler = onSignal;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  // The version server on loopback; the program finds it through the folder's "version-server".
  sim::VersionServer versionServer(world);
  const std::string versionFile = dir + "/version-server";
  if (versionServer.start(error)) {
    const std::string address = "127.0.0.1:" + std::to_string(versionServer.port()) + "\n";
    if (!platform::WriteFileWhole(versionFile, address, &error))
      std::cerr << "tarvex-simhost: the version server is not named: " << error << "\n";
  } else {
    std::cerr << "tarvex-simhost: no version server: " << error << "\n";
  }
  std::cerr << "tarvex-simhost: listening on " << socketPath << "\n";
  sim::SimHostServer(world, std::move(listening), stopPipe[0]).run();
  versionServer.stop();
  ::unlink(versionFile.c_str());
  ::unlink(socketPath.c_str());
  std::cerr << "tarvex-simhost: stopped\n";
  return 0;
}
