#pragma once
// A simulated office for the print watchers: the computer OFFICE (whose driver and spooler this
// process uses) and LAB, one server 10.0.0.20 with a printer on port 1 and an MFP on port 2, and
// OFFICE's ports and queues. The clock is gated: the watchers run only inside runFor().
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "FakeWatcherHost.h"
#include "GatedClock.h"
#include "core/DriverInterface.h"
#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "platform/PrintSpooler.h"
#include "printing/PrintWatchers.h"
#include "sim/InProcessDeviceIo.h"
#include "sim/InProcessPrintSpooler.h"
#include "sim/World.h"

namespace printtest {

inline constexpr const char* kMac = "00:11:22:33:44:55";
inline const sim::Ipv4 kServer = {10, 0, 0, 20};
inline constexpr const char* kPrinterQueue = "Office Printer";
inline constexpr const char* kFaxQueue = "Office Fax";
inline constexpr const char* kNetworkQueue = "Network Printer";

inline sim::PrinterQueue queueOn(const char* name, const char* port, std::uint8_t devicePort) {
  sim::PrinterQueue q;
  q.name = name;
  q.port = port;
  q.driver = name;
  q.device = sim::DeviceRef{kServer, devicePort};
  return q;
}

inline sim::WorldSetup officeWorld(std::int64_t printMs) {
  sim::WorldSetup setup;
  sim::Host office, lab;
  office.name = "OFFICE";
  office.ip = {10, 0, 0, 1};
  office.ports = {{"USB001", "Virtual printer port for USB", "USB Monitor"},
                  {"USB002", "Virtual printer port for USB", "USB Monitor"},
                  {"IP_10.0.0.50", "Standard TCP/IP Port", "Standard TCP/IP Port"},
                  {"COMPANY-PRN", "Standard TCP/IP Port", "Standard TCP/IP Port"},
                  {"COM1:", "Local Port", "Local Port"},
                  {"LPT1:", "Local Port", "Local Port"},
                  {"FILE:", "Local Port", "Local Port"},
                  {"\\\\srv\\laser", "LAN Manager Printer Port", "LAN Manager Print Monitor"},
                  {"http://srv:631/ipp", "Internet Port", "Internet Port Monitor"}};
  office.queues = {queueOn(kPrinterQueue, "USB001", 1), queueOn(kFaxQueue, "USB002", 2),
                   queueOn(kNetworkQueue, "IP_10.0.0.50", 1)};
  lab.name = "LAB";
  lab.ip = {10, 0, 0, 2};
  setup.hosts = {office, lab};
  sim::Server server;
  server.ip = kServer;
  server.mac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  server.name = "NUS";
  auto device = [](std::uint8_t port, std::uint16_t vid, std::uint16_t pid, const char* type,
                   const char* serial) {
    sim::Device d;
    d.port = port;
    d.vid = vid;
    d.pid = pid;
    d.type = type;
    d.serial = serial;
    return d;
  };
  server.devices = {device(1, 0x04F9, 0x0042, "PRINTER", "S1"), device(2, 0x03F0, 0x5311, "MFP", "F1")};
  setup.servers = {server};
  setup.printMs = printMs;
  return setup;
}

inline printing::PrintWatchEntry printerEntry(const char* queue = kPrinterQueue) {
  return {queue, kMac, "04F9", "0042", "S1", printing::WatchKind::Printer};
}

inline printing::PrintWatchEntry faxEntry() {
  return {kFaxQueue, kMac, "03F0", "5311", "F1", printing::WatchKind::Fax};
}

inline std::vector<std::uint8_t> lockBytes(std::uint8_t port, std::uint32_t seconds) {
  return {port, static_cast<std::uint8_t>(seconds), static_cast<std::uint8_t>(seconds >> 8),
          static_cast<std::uint8_t>(seconds >> 16), static_cast<std::uint8_t>(seconds >> 24), 1};
}

class PrintingWorld : public ::testing::Test {
 protected:
  explicit PrintingWorld(std::int64_t printMs = 5000, bool gated = true)
      : clock(!gated),
        world(officeWorld(printMs), clock),
        io(world, "OFFICE"),
        spooler(sim::makeInProcessPrintSpooler(world, "OFFICE")) {
    platform::setClock(&clock);
    platform::setDeviceIo(&io);
    platform::setPrintSpooler(spooler.get());
    makeHost(true);
  }

  // The main window, with the server's bus attached (as for an enabled server) or not yet.
  void makeHost(bool attached) {
    watchers.reset();
    host = std::make_unique<FakeWatcherHost>(
        "OFFICE", std::vector<FakeWatcherHost::Server>{{kMac, "10.0.0.20", platform::kInvalidHandle, {}}});
    if (attached) {
      host->attachServerBus(kMac);
      host->attaches = 0;
    }
    useVersionFlags(3);  // Windows 6.x
  }

  void useVersionFlags(std::uint32_t flags) {
    watchers = std::make_unique<printing::PrintWatchers>(*host, flags, [this](const std::string& line) {
      std::lock_guard lock(traceMutex);
      traceLines.push_back(line);
    });
  }

  ~PrintingWorld() override {
    clock.open();
    watchers.reset();
    host.reset();
    platform::setPrintSpooler(nullptr);
    platform::setDeviceIo(nullptr);
    platform::setClock(nullptr);
  }

  void start(const printing::PrintWatchEntry& entry) { watchers->StartOne(entry.kind, 0, entry); }

  // Lets the watchers run for `ms` of simulated time.
  void run(std::int64_t ms, std::size_t workers = 1) {
    ASSERT_TRUE(clock.runFor(ms, workers)) << "the watchers did not settle";
  }

  sim::PrinterQueue queue(const std::string& name) {
    const sim::WorldState state = world.state();
    for (const sim::HostState& h : state.hosts)
      for (const sim::PrinterQueue& q : h.host.queues)
        if (h.host.name == "OFFICE" && q.name == name) return q;
    ADD_FAILURE() << "no queue " << name;
    return {};
  }
  bool offline(const std::string& name) { return (queue(name).attributes & 0x400) != 0; }
  bool paused(const std::string& name) { return (queue(name).status & 1) != 0; }

  sim::Device device(std::uint8_t port) {
    const sim::WorldState state = world.state();
    for (const sim::Device& d : state.servers.at(0).devices)
      if (d.port == port) return d;
    return {};
  }

  // OFFICE's driver requests of one control code, and the jobs' history, in log order.
  std::vector<sim::LogEntry> requests(std::uint32_t code) {
    std::vector<sim::LogEntry> out;
    for (const sim::LogEntry& e : world.log(0, 4096))
      if (e.host == "OFFICE" && e.what == "control" && e.code == code) out.push_back(e);
    return out;
  }
  std::vector<std::string> jobHistory() {
    std::vector<std::string> out;
    for (const sim::LogEntry& e : world.log(0, 4096))
      if (e.what == "job") out.push_back(e.result);
    return out;
  }
  // The log position of the first entry that matches.
  template <typename Match>
  std::uint64_t seqOf(Match match) {
    for (const sim::LogEntry& e : world.log(0, 4096))
      if (match(e)) return e.seq;
    return 0;
  }
  std::uint64_t seqOfRequest(std::uint32_t code, bool ok = true) {
    return seqOf([&](const sim::LogEntry& e) {
      return e.host == "OFFICE" && e.code == code && (e.result == "ok") == ok;
    });
  }
  std::uint64_t seqOfJob(const std::string& what) {
    return seqOf([&](const sim::LogEntry& e) { return e.what == "job" && e.result == what; });
  }
  bool tracedLine(const std::string& line) {
    std::lock_guard lock(traceMutex);
    return std::find(traceLines.begin(), traceLines.end(), line) != traceLines.end();
  }
  bool traced(const std::string& part) {
    std::lock_guard lock(traceMutex);
    return std::any_of(traceLines.begin(), traceLines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
  }

  GatedClock clock;
  sim::World world;
  sim::InProcessDeviceIo io;
  std::unique_ptr<platform::PrintSpooler> spooler;
  std::unique_ptr<FakeWatcherHost> host;
  std::unique_ptr<printing::PrintWatchers> watchers;
  std::mutex traceMutex;
  std::vector<std::string> traceLines;
};

}  // namespace printtest
