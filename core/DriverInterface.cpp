#include "core/DriverInterface.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Clock.h"
#include "platform/DeviceIo.h"

namespace core {
namespace {

using Bytes = std::span<const std::uint8_t>;

// A bounded reader over the bytes the driver returned: every read says whether it fitted.
class Cursor {
 public:
  explicit Cursor(Bytes bytes, std::size_t at = 0) : bytes_(bytes), at_(at) {}
  std::size_t at() const { return at_; }
  bool has(std::size_t n) const { return at_ <= bytes_.size() && bytes_.size() - at_ >= n; }
  bool skip(std::size_t n) {
    if (!has(n)) return false;
    at_ += n;
    return true;
  }
  std::optional<std::int8_t> signedByte() {
    if (!has(1)) return std::nullopt;
    return static_cast<std::int8_t>(bytes_[at_++]);
  }
  std::optional<std::uint16_t> word() {
    if (!has(2)) return std::nullopt;
    const auto v = static_cast<std::uint16_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
    at_ += 2;
    return v;
  }
  // A slot: four bytes of which the first counts.
  std::optional<std::int8_t> slot() {
    if (!has(4)) return std::nullopt;
    const auto v = static_cast<std::int8_t>(bytes_[at_]);
    at_ += 4;
    return v;
  }
  // n bytes as text, of which at most `keep` are kept.
  std::optional<std::string> text(std::size_t n, std::size_t keep) {
    if (!has(n)) return std::nullopt;
    std::string s = CutAtWholeCharacter(
        std::string_view(reinterpret_cast<const char*>(bytes_.data() + at_), n), keep);
    at_ += n;
    return s;
  }
  const std::uint8_t* here() const { return bytes_.data() + at_; }

 private:
  Bytes bytes_;
  std::size_t at_;
};

std::string hex4(std::uint16_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", v);
  return buf;
}

bool issue(Handle h, std::uint32_t code, std::span<std::uint8_t> buffer, std::uint32_t in,
             std::uint32_t out, std::uint32_t& returned) {
  returned = 0;
  return platform::deviceIo().Control(h, code, buffer, in, out, returned);
}

// The first listed interface of a class that can be read, by the index walk: a failed index is
// skipped, the end of the listing stops the walk.
template <typename Visit>
bool walkInterfaces(const char* classGuid, Visit visit) {
  const auto slots = platform::deviceIo().ListInterfaces(classGuid);
  if (!slots) return false;
  for (int i = 0; i < kMaxInterfaces && i < static_cast<int>(slots->size()); ++i) {
    const auto& slot = (*slots)[static_cast<std::size_t>(i)];
    if (slot.status != platform::InterfaceStatus::Ok) continue;
    if (!visit(slot.path)) break;
  }
  return true;
}

std::optional<DeviceListItem> parseDeviceItem(Cursor& c) {
  DeviceListItem item;
  const auto port = c.signedByte();
  const auto vid = c.word();
  const auto pid = c.word();
  const auto lockType = c.signedByte();
  const auto lockCount = c.signedByte();
  if (!port || !vid || !pid || !lockType || !lockCount) return std::nullopt;
  item.port = std::to_string(*port);
  item.vid = hex4(*vid);
  item.pid = hex4(*pid);
  item.lockType = *lockType;
  item.lockCount = *lockCount;
  std::array<std::int8_t, 5> lengths{};
  for (auto& l : lengths) {
    const auto v = c.slot();
    if (!v || *v < 0) return std::nullopt;
    l = *v;
  }
  std::string* texts[] = {&item.type, &item.owner, &item.manufacturer, &item.product, &item.serial};
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    const auto t = c.text(static_cast<std::size_t>(lengths[i]), kMaxTextBytes);
    if (!t) return std::nullopt;
    *texts[i] = *t;
  }
  const auto subItems = c.signedByte();
  if (!subItems) return std::nullopt;
  for (int k = 0; k < *subItems; ++k) {
    const auto a = c.slot();
    const auto b = c.slot();
    if (!a || !b || *a < 0 || *b < 0 ||
        !c.skip(static_cast<std::size_t>(*a) + static_cast<std::size_t>(*b)))
      return std::nullopt;
  }
  return item;
}

}  // namespace

std::string CutAtWholeCharacter(std::string_view text, std::size_t keep) {
  if (text.size() <= keep) return std::string(text);
  std::size_t end = keep;
  // Back over the continuation bytes of the character the cut would split.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

std::uint8_t PortByte(const std::string& port) {
  // atoi's reading: leading blanks, a sign, digits; anything else ends the number.
  const long v = std::strtol(port.c_str(), nullptr, 10);
  return static_cast<std::uint8_t>(static_cast<unsigned long>(v) & 0xFF);
}

std::uint32_t IpToNetwork(const std::string& ip) { return inet_addr(ip.c_str()); }

std::string IpText(const std::uint8_t* b) {
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
         std::to_string(b[3]);
}

void FormatVersion(const std::uint8_t* reply, std::string& version, std::string& shortVersion) {
  const auto part = [&](int i) { return std::to_string(static_cast<std::int8_t>(reply[i])); };
  version = part(4) + "." + part(5) + "." + part(6);
  shortVersion = part(4) + "." + part(6);
}

std::vector<std::uint8_t> LockRequest(const std::string& port, std::uint8_t lockType,
                                      std::uint32_t seconds) {
  return {PortByte(port),
          static_cast<std::uint8_t>(seconds & 0xFF),
          static_cast<std::uint8_t>((seconds >> 8) & 0xFF),
          static_cast<std::uint8_t>((seconds >> 16) & 0xFF),
          static_cast<std::uint8_t>((seconds >> 24) & 0xFF),
          lockType};
}

std::vector<std::uint8_t> UseRequest(const std::string& port, std::uint8_t kind,
                                     const std::string& ip) {
  std::vector<std::uint8_t> r(6, 0);
  r[0] = PortByte(port);
  r[1] = kind;
  if (!ip.empty()) {
    const std::uint32_t addr = IpToNetwork(ip);
    std::memcpy(r.data() + 2, &addr, 4);
  }
  return r;
}

void OpenControlDevice(Handle& control) {
  std::optional<std::string> path;
  walkInterfaces(GUID_DEVINTERFACE_MASTERBUS, [&](const std::string& p) {
    path = p;
    return false;
  });
  if (!path) return;
  control = platform::deviceIo().Open(*path, platform::kGenericRead | platform::kGenericWrite,
                                      /*overlapped=*/true);
}

int OpenBusDevices(std::vector<BusDevice>& buses) {
  std::vector<BusDevice> opened;
  const bool listed = walkInterfaces(GUID_DEVINTERFACE_TCPBUS, [&](const std::string& p) {
    const Handle h = platform::deviceIo().Open(p, platform::kFileReadData, /*overlapped=*/false);
    if (h != platform::kInvalidHandle) {
      BusDevice bus{h, {}, p};
      GetBusServerIp(h, bus.serverIp);
      opened.push_back(std::move(bus));
    }
    return true;
  });
  if (!listed) return -1;
  buses = std::move(opened);
  return static_cast<int>(buses.size());
}

std::optional<std::vector<ServerListEntry>> ParseServerList(Bytes reply) {
  std::vector<ServerListEntry> out;
  if (reply.size() < 5) return out;
  const int count = static_cast<std::int8_t>(reply[4]);
  Cursor c(reply, 8);
  for (int i = 0; i < count && i < kMaxServers; ++i) {
    if (!c.has(22)) break;
    const std::uint8_t* item = c.here();
    const int nameLength = static_cast<std::int8_t>(item[18]);
    if (nameLength < 0 || !c.has(22 + static_cast<std::size_t>(nameLength))) break;
    ServerListEntry e;
    e.ip = IpText(item);
    e.status = std::to_string(static_cast<std::int8_t>(item[4]));
    char mac[18];
    std::snprintf(mac, sizeof mac, "%02X:%02X:%02X:%02X:%02X:%02X", item[8], item[9], item[10],
                  item[11], item[12], item[13]);
    e.mac = mac;
    e.storageMode = static_cast<std::int8_t>(item[14]);
    e.name.assign(reinterpret_cast<const char*>(item + 22), static_cast<std::size_t>(nameLength));
    c.skip(22 + static_cast<std::size_t>(nameLength));
    out.push_back(std::move(e));
  }
  if (count > 0 && out.empty()) return std::nullopt;
  return out;
}

int GetServerList(Handle control, std::vector<ServerListEntry>& servers) {
  std::array<std::uint8_t, kServerListBytes> buffer{};
  std::uint32_t returned = 0;
  bool ok = false;
  // A driver that has no list yet gets a second chance a second later; each miss waits once.
  for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
    ok = issue(control, IOCTL_MASTERBUS_GET_SERVER_LIST, buffer, kServerListBytes,
               kServerListBytes, returned) &&
         buffer[0] != 0;
    if (!ok) platform::clock().sleepMs(1000);
  }
  if (!ok || returned > kServerListBytes) return -1;
  const auto parsed = ParseServerList(std::span(buffer.data(), returned));
  if (!parsed) return -1;
  servers = *parsed;
  return static_cast<int>(servers.size());
}

bool AttachServer(Handle control, const std::string& serverIp) {
  // The reply room is never read; it is cleared all the same so no stale stack bytes reach the
  // driver.
  std::array<std::uint8_t, kSmallReplyBytes> buffer{};
  const std::uint32_t addr = IpToNetwork(serverIp);
  std::memcpy(buffer.data(), &addr, 4);
  std::uint32_t returned = 0;
  return issue(control, IOCTL_MASTERBUS_ATTACH_SERVER, buffer, 4, kSmallReplyBytes, returned);
}

void CancelEventRead(Handle control, const std::string&) {
  std::array<std::uint8_t, kSmallReplyBytes> buffer{};
  std::uint32_t returned = 0;
  issue(control, IOCTL_MASTERBUS_CANCEL_READ, buffer, kSmallReplyBytes, kSmallReplyBytes,
          returned);
}

namespace {

void getVersion(Handle h, std::uint32_t code, std::string& version, std::string& shortVersion) {
  std::array<std::uint8_t, kSmallReplyBytes> buffer{};
  std::uint32_t returned = 0;
  if (!issue(h, code, buffer, kSmallReplyBytes, kSmallReplyBytes, returned) || buffer[0] == 0 ||
      returned > kSmallReplyBytes || returned < 7)
    return;
  FormatVersion(buffer.data(), version, shortVersion);
}

bool portRequest(Handle bus, std::uint32_t code, const std::string& port) {
  std::array<std::uint8_t, 1> buffer{PortByte(port)};
  std::uint32_t returned = 0;
  return issue(bus, code, buffer, 1, 1, returned);
}

bool sixByteRequest(Handle bus, std::uint32_t code, std::vector<std::uint8_t> request) {
  std::uint32_t returned = 0;
  return issue(bus, code, request, 6, 6, returned);
}

}  // namespace

void GetDriverVersion(Handle control, std::string& version, std::string& shortVersion) {
  getVersion(control, IOCTL_MASTERBUS_GET_VERSION, version, shortVersion);
}

void GetBusVersion(Handle bus, std::string& version, std::string& shortVersion) {
  getVersion(bus, IOCTL_TCPBUS_GET_VERSION, version, shortVersion);
}

void GetBusServerIp(Handle bus, std::string& ip) {
  std::array<std::uint8_t, kSmallReplyBytes> buffer{};
  std::uint32_t returned = 0;
  if (!issue(bus, IOCTL_TCPBUS_GET_SERVER_ADDRESS, buffer, kSmallReplyBytes, kSmallReplyBytes,
               returned) ||
      buffer[0] == 0 || returned > kSmallReplyBytes || returned < 8)
    return;
  ip = IpText(buffer.data() + 4);
}

bool LinkDevice(Handle bus, const std::string& port, const std::string&) {
  return portRequest(bus, IOCTL_TCPBUS_LINK_DEVICE, port);
}

bool UnlinkDevice(Handle bus, const std::string& port) {
  return portRequest(bus, IOCTL_TCPBUS_UNLINK_DEVICE, port);
}

bool LockDevice(Handle bus, const std::string& port, std::uint8_t lockType, std::uint32_t seconds) {
  return sixByteRequest(bus, IOCTL_TCPBUS_LOCK_DEVICE, LockRequest(port, lockType, seconds));
}

bool UnlockDevice(Handle bus, const std::string& port, std::uint8_t lockType,
                  std::uint32_t seconds) {
  return sixByteRequest(bus, IOCTL_TCPBUS_UNLOCK_DEVICE, LockRequest(port, lockType, seconds));
}

bool RequestUse(Handle bus, const std::string& port, std::uint8_t kind, const std::string& ip,
                const std::string&) {
  return sixByteRequest(bus, IOCTL_TCPBUS_REQUEST_TO_USE, UseRequest(port, kind, ip));
}

std::optional<std::vector<DeviceListItem>> ParseDeviceListReply(Bytes buffer,
                                                                std::uint32_t returned) {
  if (returned > kDeviceListBytes) return std::nullopt;
  const Bytes reply = buffer.first(std::min<std::size_t>(returned, buffer.size()));
  std::vector<DeviceListItem> items;
  if (reply.size() < 5) return items;
  const int count = static_cast<std::int8_t>(reply[4]);
  Cursor c(reply, 8);
  for (int i = 0; i < count; ++i) {
    auto item = parseDeviceItem(c);
    if (!item) break;
    items.push_back(std::move(*item));
  }
  return items;
}

std::optional<std::vector<DeviceListItem>> GetDeviceList(Handle bus) {
  std::vector<std::uint8_t> buffer(kDeviceListBytes, 0);
  std::uint32_t returned = 0;
  if (!issue(bus, IOCTL_TCPBUS_GET_DEVICE_LIST, buffer, kDeviceListBytes, kDeviceListBytes,
               returned))
    return std::nullopt;
  return ParseDeviceListReply(buffer, returned);
}

DriverEvent ParseDriverEvent(Bytes buffer, std::int32_t count) {
  DriverEvent e;
  if (count <= 0) return e;
  const Bytes record =
      buffer.first(std::min<std::size_t>(static_cast<std::size_t>(count), buffer.size()));
  if (record.empty()) return e;
  const int code = record[0];
  switch (code) {
    case UPDATE_DEVICE_LIST:
      if (record.size() < 13) return e;
      e.serverIp = IpText(record.data() + 9);
      break;
    case OP_UBUS_REQUEST_TO_USE_DEVICE: {
      if (record.size() < 15) return e;
      e.kind = record[1];
      e.port = std::to_string(static_cast<std::int8_t>(record[2]));
      e.serverIp = IpText(record.data() + 3);
      e.askingIp = IpText(record.data() + 7);
      const std::size_t m = record[11];
      if (record.size() >= 15 + m) e.askingUser.assign(reinterpret_cast<const char*>(record.data() + 15), m);
      break;
    }
    case UPDATE_BUS_LIST:
    case UPDATE_IP:
    case OP_UBUS_AUDIO_DATA:
      break;
    default:
      return e;
  }
  e.code = code;
  return e;
}

}  // namespace core
