#pragma once
// The virtual USB bus driver's interface as the simulated host answers it: interface classes,
// control codes, and the byte layouts of its replies and event records.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Address.h"

namespace sim {

inline constexpr std::string_view kMasterBusClass = "{704DA353-79EE-4C5A-A2F0-C86A3234DE73}";
inline constexpr std::string_view kTcpBusClass = "{93DAEB5B-56BF-4D01-AEF3-372F6FB3BFAF}";

// CTL_CODE(0x22, function, METHOD_BUFFERED, FILE_ANY_ACCESS).
namespace code {
inline constexpr std::uint32_t kGetServerList = 0x222000;
inline constexpr std::uint32_t kAttachServer = 0x222010;
inline constexpr std::uint32_t kCancelRead = 0x222018;
inline constexpr std::uint32_t kGetDriverVersion = 0x222020;
inline constexpr std::uint32_t kGetServerAddress = 0x222040;
inline constexpr std::uint32_t kGetDeviceList = 0x222044;
inline constexpr std::uint32_t kLinkDevice = 0x222048;
inline constexpr std::uint32_t kUnlinkDevice = 0x22204c;
inline constexpr std::uint32_t kGetBusVersion = 0x22205c;
inline constexpr std::uint32_t kLockDevice = 0x222060;
inline constexpr std::uint32_t kUnlockDevice = 0x222064;
inline constexpr std::uint32_t kRequestToUse = 0x222068;
}  // namespace code

// Every code the driver knows, in table order.
std::span<const std::uint32_t> knownCodes();
bool isControlDeviceCode(std::uint32_t code);  // answered by the MasterBus
bool isBusDeviceCode(std::uint32_t code);      // answered by a TCPBus

// Reply buffer sizes the callers use.
inline constexpr std::size_t kServerListBytes = 1024;
inline constexpr std::size_t kDeviceListBytes = 2048;
inline constexpr std::size_t kSmallReplyBytes = 64;

// Texts and sub-item parts travel with a one-byte (signed) length.
inline constexpr std::size_t kMaxFieldBytes = 127;

enum EventCode : std::uint8_t {
  kUpdateDeviceList = 1,
  kUpdateBusList = 2,
  kUpdateIp = 3,
  kRequestToUseDevice = 4,
};

struct ServerRecord {
  Ipv4 ip{};
  std::int8_t status = 1;
  Mac mac{};
  std::int8_t storageMode = 1;
  std::string name;
};

struct SubItemRecord {
  std::vector<std::uint8_t> first;
  std::vector<std::uint8_t> second;
};

struct DeviceRecord {
  std::uint8_t port = 0;
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  std::int8_t lockType = 0;
  std::int8_t lockCount = 0;
  std::string type, owner, manufacturer, product, serial;
  std::vector<SubItemRecord> subItems;
};

struct Version {
  std::int8_t major = 1, minor = 0, build = 0;
};

// Server list reply: as many whole items as fit in kServerListBytes (and 127). `valid` false gives
// the "no list yet" reply. `extraCount` is added to the count byte (a reply that promises more).
std::vector<std::uint8_t> encodeServerList(bool valid, std::span<const ServerRecord> servers,
                                           int extraCount = 0);
// Device list reply: as many whole items as fit in kDeviceListBytes (and 127).
std::vector<std::uint8_t> encodeDeviceList(std::span<const DeviceRecord> devices,
                                           int extraCount = 0);
std::vector<std::uint8_t> encodeVersion(const Version& version);
std::vector<std::uint8_t> encodeBusAddress(const Ipv4& ip);

std::vector<std::uint8_t> encodeDeviceListChanged(const Ipv4& server);
std::vector<std::uint8_t> encodeCodeOnlyEvent(EventCode code);
std::vector<std::uint8_t> encodeRequestToUse(std::uint8_t kind, std::uint8_t port,
                                             const Ipv4& server, const Ipv4& asker,
                                             std::string_view askerName);

}  // namespace sim
