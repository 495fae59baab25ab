#pragma once
// A small world and a thin driver caller for the simulated host's tests.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "sim/DriverRecords.h"
#include "sim/InProcessDeviceIo.h"
#include "sim/World.h"

namespace simtest {

inline const sim::Ipv4 kServer = {10, 0, 0, 20};
inline const sim::Ipv4 kHostA = {10, 0, 0, 1};
inline const sim::Ipv4 kHostB = {10, 0, 0, 2};

// Hosts A and B; one server 10.0.0.20 ("NUS") with a printer on port 1 and storage on port 2.
inline sim::WorldSetup smallWorld() {
  sim::WorldSetup setup;
  sim::Host a, b;
  a.name = "A";
  a.ip = kHostA;
  b.name = "B";
  b.ip = kHostB;
  setup.hosts = {a, b};
  sim::Server server;
  server.ip = kServer;
  server.mac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  server.name = "NUS";
  server.status = 1;
  server.storageMode = 0;
  sim::Device printer;
  printer.port = 1;
  printer.vid = 0x04F9;
  printer.pid = 0x0042;
  printer.type = "PRINTER";
  printer.manufacturer = "Brother";
  printer.product = "HL";
  printer.serial = "S1";
  printer.subItems = {{{0xAA}, {}}};
  sim::Device storage;
  storage.port = 2;
  storage.vid = 0x0781;
  storage.pid = 0x5567;
  storage.type = "MASS STORAGE";
  server.devices = {printer, storage};
  setup.servers = {server};
  return setup;
}

struct Reply {
  bool ok = false;
  std::uint32_t returned = 0;
  std::vector<std::uint8_t> bytes;  // the whole buffer after the call
};

inline std::vector<std::uint8_t> lockRecord(std::uint8_t port, std::uint32_t seconds,
                                            std::uint8_t lockType) {
  return {port,
          static_cast<std::uint8_t>(seconds),
          static_cast<std::uint8_t>(seconds >> 8),
          static_cast<std::uint8_t>(seconds >> 16),
          static_cast<std::uint8_t>(seconds >> 24),
          lockType};
}

// One computer's view of the driver: its control device and the bus of kServer.
class Station {
 public:
  Station(sim::World& world, std::string host) : io(world, std::move(host)) {
    const auto slots = io.ListInterfaces(sim::kMasterBusClass);
    if (slots && !slots->empty()) control = io.Open(slots->front().path, platform::kGenericRead, true);
  }

  Reply call(platform::Handle h, std::uint32_t c, std::vector<std::uint8_t> input,
             std::uint32_t inSize, std::uint32_t outSize) {
    Reply r;
    r.bytes = std::move(input);
    r.bytes.resize(std::max(inSize, outSize));
    r.ok = io.Control(h, c, r.bytes, inSize, outSize, r.returned);
    return r;
  }

  bool attach(const sim::Ipv4& server = kServer) {
    if (!call(control, sim::code::kAttachServer, {server.begin(), server.end()}, 4, 64).ok)
      return false;
    const auto slots = io.ListInterfaces(sim::kTcpBusClass);
    if (!slots) return false;
    for (const auto& slot : *slots)
      if (slot.path.find(sim::formatIpv4(server)) != std::string::npos)
        bus = io.Open(slot.path, platform::kFileReadData, false);
    return bus != platform::kInvalidHandle;
  }

  bool link(std::uint8_t port) { return call(bus, sim::code::kLinkDevice, {port}, 1, 1).ok; }
  bool unlink(std::uint8_t port) { return call(bus, sim::code::kUnlinkDevice, {port}, 1, 1).ok; }
  bool lock(std::uint8_t port, std::uint32_t seconds, std::uint8_t type) {
    return call(bus, sim::code::kLockDevice, lockRecord(port, seconds, type), 6, 6).ok;
  }
  bool unlock(std::uint8_t port, std::uint32_t seconds, std::uint8_t type = 2) {
    return call(bus, sim::code::kUnlockDevice, lockRecord(port, seconds, type), 6, 6).ok;
  }
  bool askFor(std::uint8_t port) {
    return call(bus, sim::code::kRequestToUse, {port, 1, 0, 0, 0, 0}, 6, 6).ok;
  }
  bool cancel() { return call(control, sim::code::kCancelRead, {}, 64, 64).ok; }
  Reply deviceList() { return call(bus, sim::code::kGetDeviceList, {}, 2048, 2048); }
  Reply serverList() { return call(control, sim::code::kGetServerList, {}, 1024, 1024); }

  // What the outstanding read got so far (Pending when nothing yet).
  platform::ReadStatus poll(std::vector<std::uint8_t>& event) {
    std::uint32_t n = 0;
    const auto status = io.WaitRead(control, 0, n);
    if (status != platform::ReadStatus::Pending) reading = false;
    event.assign(pendingBuffer.begin(), pendingBuffer.begin() + n);
    return status;
  }

  // Every event that arrived, oldest first; leaves a read pending afterwards.
  std::vector<std::vector<std::uint8_t>> events() {
    std::vector<std::vector<std::uint8_t>> out;
    std::vector<std::uint8_t> event;
    if (reading) {
      if (poll(event) == platform::ReadStatus::Pending) return out;
      out.push_back(event);
    }
    for (;;) {
      pendingBuffer.assign(2048, 0);
      std::uint32_t n = 0;
      const auto status = io.BeginRead(control, pendingBuffer, n);
      if (status == platform::ReadStatus::Pending) {
        reading = true;
        return out;
      }
      if (status != platform::ReadStatus::Completed) return out;
      out.emplace_back(pendingBuffer.begin(), pendingBuffer.begin() + n);
    }
  }

  sim::InProcessDeviceIo io;
  platform::Handle control = platform::kInvalidHandle;
  platform::Handle bus = platform::kInvalidHandle;
  std::vector<std::uint8_t> pendingBuffer = std::vector<std::uint8_t>(2048, 0);
  bool reading = false;
};

inline std::vector<std::uint8_t> deviceListChanged() { return sim::encodeDeviceListChanged(kServer); }

}  // namespace simtest
