#pragma once
// What the simulated network holds: computers, device servers and their shared USB devices.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "sim/Address.h"
#include "sim/DriverRecords.h"

namespace sim {

struct Device {
  std::uint8_t port = 1;
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  std::string type = "UNKNOWN";
  std::string manufacturer, product, serial;
  std::vector<SubItemRecord> subItems;
  // Who holds it: empty when free.
  std::string holder;
  std::int8_t lockType = 0;
  std::int8_t lockCount = 0;
  // When the hold ends (clock milliseconds); none while it lasts until released.
  std::optional<std::int64_t> holdEndsMs;
  // A storage device in use by a program of its holder: the system vetoes its eject.
  bool busy = false;
};

struct Server {
  Ipv4 ip{};
  Mac mac{};
  std::string name;
  std::int8_t status = 1;
  std::int8_t storageMode = 1;
  std::vector<Device> devices;
};

// One network adapter of a simulated computer, as its system lists it.
struct Adapter {
  std::uint32_t type = 6;  // Ethernet
  Mac mac{};
  Ipv4 ip{};
  Ipv4 mask{255, 255, 255, 0};
  Ipv4 gateway{};
};

struct Host {
  std::string name;
  Ipv4 ip{};
  std::vector<Ipv4> attached;                    // servers whose bus this host has, in attach order
  std::deque<std::vector<std::uint8_t>> events;  // waiting for a read
  std::uint64_t droppedEvents = 0;
  std::string windowsVersion = "6.1";
  std::vector<Adapter> adapters;  // the first carries the host's address
};

// A world as a scenario describes it. Hold times are relative to the moment the world starts.
struct WorldSetup {
  std::vector<Host> hosts;
  std::vector<Server> servers;
  std::int64_t serverListNotValidMs = 0;
  Version driverVersion{1, 0, 0};
  Version busVersion{1, 0, 0};
};

// Host names name folders, so they are kept to a safe set of letters.
bool isValidHostName(const std::string& name);

}  // namespace sim
