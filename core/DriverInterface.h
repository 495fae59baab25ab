#pragma once
// The link to the virtual USB bus driver: finding and opening its devices, one plain function per
// control request, and the byte layout of every record that crosses the link. No state is kept;
// every function may be called from any thread.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Handle.h"

namespace core {

using platform::Handle;

inline constexpr const char* GUID_DEVINTERFACE_MASTERBUS = "{704DA353-79EE-4C5A-A2F0-C86A3234DE73}";
inline constexpr const char* GUID_DEVINTERFACE_TCPBUS = "{93DAEB5B-56BF-4D01-AEF3-372F6FB3BFAF}";

// CTL_CODE(0x22, function, METHOD_BUFFERED, FILE_ANY_ACCESS)
constexpr std::uint32_t DriverControlCode(std::uint32_t function) { return 0x220000 + function * 4; }

inline constexpr std::uint32_t IOCTL_MASTERBUS_GET_SERVER_LIST = DriverControlCode(0x800);
inline constexpr std::uint32_t IOCTL_MASTERBUS_ATTACH_SERVER = DriverControlCode(0x804);
inline constexpr std::uint32_t IOCTL_MASTERBUS_CANCEL_READ = DriverControlCode(0x806);
inline constexpr std::uint32_t IOCTL_MASTERBUS_GET_VERSION = DriverControlCode(0x808);
inline constexpr std::uint32_t IOCTL_TCPBUS_GET_SERVER_ADDRESS = DriverControlCode(0x810);
inline constexpr std::uint32_t IOCTL_TCPBUS_GET_DEVICE_LIST = DriverControlCode(0x811);
inline constexpr std::uint32_t IOCTL_TCPBUS_LINK_DEVICE = DriverControlCode(0x812);
inline constexpr std::uint32_t IOCTL_TCPBUS_UNLINK_DEVICE = DriverControlCode(0x813);
inline constexpr std::uint32_t IOCTL_TCPBUS_GET_VERSION = DriverControlCode(0x817);
inline constexpr std::uint32_t IOCTL_TCPBUS_LOCK_DEVICE = DriverControlCode(0x818);
inline constexpr std::uint32_t IOCTL_TCPBUS_UNLOCK_DEVICE = DriverControlCode(0x819);
inline constexpr std::uint32_t IOCTL_TCPBUS_REQUEST_TO_USE = DriverControlCode(0x81a);

// The codes of a DriverEvent record (its first byte).
enum DriverEventCode : int {
  NO_EVENT = 0,
  UPDATE_DEVICE_LIST = 1,
  UPDATE_BUS_LIST = 2,
  UPDATE_IP = 3,
  OP_UBUS_REQUEST_TO_USE_DEVICE = 4,
  OP_UBUS_AUDIO_DATA = 5,
};

inline constexpr int kMaxInterfaces = 64;
inline constexpr int kMaxServers = 64;
inline constexpr std::uint32_t kServerListBytes = 1024;
inline constexpr std::uint32_t kDeviceListBytes = 2048;
inline constexpr std::uint32_t kEventBytes = 2048;
inline constexpr std::uint32_t kSmallReplyBytes = 64;
inline constexpr std::size_t kMaxTextBytes = 63;  // each device text lives in a 64-byte field

// The first `keep` bytes of a UTF-8 text, less the start of a character the cut would split.
std::string CutAtWholeCharacter(std::string_view text, std::size_t keep);

// Lock types and times.
inline constexpr std::uint8_t kLockUser = 2;  // a user's manual connection
inline constexpr std::uint8_t kLockAuto = 1;  // a print job or a scan
inline constexpr std::uint32_t kLockSecondsStorage = 259200;
inline constexpr std::uint32_t kLockSecondsUser = 3600;
inline constexpr std::uint32_t kLockSecondsAuto = 1200;
inline constexpr std::uint32_t kUnlockSecondsFax = 180;

struct ServerListEntry {
  std::string ip;
  std::string name;
  std::string mac;     // "00:11:22:33:44:55"
  std::string status;  // decimal text of the signed status byte
  int storageMode = 0;
};

struct BusDevice {
  Handle handle = platform::kInvalidHandle;
  std::string serverIp;
  std::string path;
};

struct DeviceListItem {
  std::string port;  // decimal text of the signed port byte
  std::string vid;   // four upper-case hexadecimal digits, high byte first
  std::string pid;
  int lockType = 0;
  int lockCount = 0;
  std::string type, owner, manufacturer, product, serial;  // at most 63 bytes each
};

struct DriverEvent {
  int code = NO_EVENT;
  std::string serverIp;  // codes 1 and 4
  int kind = 0;          // code 4
  std::string port;      // code 4: decimal text of the signed port byte
  std::string askingIp;  // code 4
  std::string askingUser;
};

// Finding and opening the devices.
void OpenControlDevice(Handle& control);
int OpenBusDevices(std::vector<BusDevice>& buses);

// The control device's requests.
int GetServerList(Handle control, std::vector<ServerListEntry>& servers);
bool AttachServer(Handle control, const std::string& serverIp);
void CancelEventRead(Handle control, const std::string& unused = {});
void GetDriverVersion(Handle control, std::string& version, std::string& shortVersion);

// A bus device's requests.
void GetBusServerIp(Handle bus, std::string& ip);
void GetBusVersion(Handle bus, std::string& version, std::string& shortVersion);
bool LinkDevice(Handle bus, const std::string& port, const std::string& unused = {});
bool UnlinkDevice(Handle bus, const std::string& port);
bool LockDevice(Handle bus, const std::string& port, std::uint8_t lockType, std::uint32_t seconds);
bool UnlockDevice(Handle bus, const std::string& port, std::uint8_t lockType,
                  std::uint32_t seconds);
bool RequestUse(Handle bus, const std::string& port, std::uint8_t kind, const std::string& ip,
                const std::string& unused = {});
// Issues the device-list request; nullopt when the request failed or the reply is not readable.
std::optional<std::vector<DeviceListItem>> GetDeviceList(Handle bus);

// Records, as bytes. Each reads only within the bytes the driver returned.
std::uint8_t PortByte(const std::string& port);
std::uint32_t IpToNetwork(const std::string& ip);  // inet_addr
std::string IpText(const std::uint8_t* fourBytes);  // inet_ntoa
std::vector<std::uint8_t> LockRequest(const std::string& port, std::uint8_t lockType,
                                      std::uint32_t seconds);
std::vector<std::uint8_t> UseRequest(const std::string& port, std::uint8_t kind,
                                     const std::string& ip);
// The items of a ServerListReply (at most 64), cut at the last whole item. nullopt when the count
// promises servers but not one whole item fits the bytes.
std::optional<std::vector<ServerListEntry>> ParseServerList(std::span<const std::uint8_t> reply);
// The items of a DeviceListReply, cut at the last whole item; nullopt when the driver says it
// returned more than the buffer holds.
std::optional<std::vector<DeviceListItem>> ParseDeviceListReply(std::span<const std::uint8_t> buffer,
                                                                std::uint32_t returned);
// An event record of `count` bytes; NO_EVENT for a negative count, an unknown code, or a record
// too short for its fields.
DriverEvent ParseDriverEvent(std::span<const std::uint8_t> buffer, std::int32_t count);
// "a.b.c" and "a.c" from the three signed parts of a VersionReply.
void FormatVersion(const std::uint8_t* reply, std::string& version, std::string& shortVersion);

}  // namespace core
