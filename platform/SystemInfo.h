#pragma once
// What the operating system tells about the machine: its name, its version, its network adapters
// with their addresses and gateways, its UDP endpoints and how its own name resolves. Shaped by
// what the program asks; each query answers nullopt when the system call behind it fails.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct OsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
};

// Adapter types with their published numbers.
inline constexpr std::uint32_t kIfTypeOther = 1;
inline constexpr std::uint32_t kIfTypeEthernet = 6;
inline constexpr std::uint32_t kIfTypeTokenRing = 9;
inline constexpr std::uint32_t kIfTypeFddi = 15;
inline constexpr std::uint32_t kIfTypePpp = 23;
inline constexpr std::uint32_t kIfTypeLoopback = 24;
inline constexpr std::uint32_t kIfTypeSlip = 28;
inline constexpr std::uint32_t kIfTypeWireless = 71;

// One adapter of the adapter listing: its hardware address room is 8 bytes, of which a MAC fills 6.
struct AdapterInfo {
  std::uint32_t type = kIfTypeEthernet;
  std::array<std::uint8_t, 8> address{};
  std::uint32_t addressLength = 6;
  std::string ip = "0.0.0.0";       // first IP address
  std::string mask = "0.0.0.0";     // its mask
  std::string gateway = "0.0.0.0";  // first gateway ("" or "0.0.0.0" when it has none)
};

// One row of the interface table (no IP addresses there).
struct InterfaceRow {
  std::uint32_t type = kIfTypeEthernet;
  std::array<std::uint8_t, 8> physicalAddress{};
  std::uint32_t physicalLength = 6;
};

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  virtual std::optional<std::string> computerName() = 0;
  virtual std::optional<OsVersion> osVersion() = 0;
  virtual std::optional<std::vector<AdapterInfo>> adapters() = 0;
  virtual std::optional<std::vector<InterfaceRow>> interfaces() = 0;
  // Local ports (host byte order) of the UDP endpoints.
  virtual std::optional<std::vector<std::uint16_t>> udpLocalPorts() = 0;
  // The first IPv4 address (dotted text) the host name resolves to.
  virtual std::optional<std::string> resolveHost(std::string_view name) = 0;
};

// The process-wide service. By default: this simulated computer as the simulated host describes it
// (simDir()/hosts/<host>/system.json), and the real UDP table of this machine. Tests install another.
SystemInfo& systemInfo();
void setSystemInfo(SystemInfo* info);  // not owned; nullptr restores the default

}  // namespace platform
