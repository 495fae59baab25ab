#include "sim/DriverRecords.h"

#include <algorithm>
#include <array>

namespace sim {
namespace {

constexpr std::array<std::uint32_t, 12> kCodes = {
    code::kGetServerList, code::kAttachServer,  code::kCancelRead,     code::kGetDriverVersion,
    code::kGetServerAddress, code::kGetDeviceList, code::kLinkDevice,   code::kUnlinkDevice,
    code::kGetBusVersion, code::kLockDevice,     code::kUnlockDevice,   code::kRequestToUse,
};

using Bytes = std::vector<std::uint8_t>;

void putBytes(Bytes& out, std::span<const std::uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

void putText(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

// A 4-byte field of which only the first byte counts.
void putSlot(Bytes& out, std::size_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.insert(out.end(), 3, 0);
}

std::string_view capped(std::string_view text) { return text.substr(0, kMaxFieldBytes); }

std::span<const std::uint8_t> capped(const Bytes& bytes) {
  return std::span(bytes).first(std::min(bytes.size(), kMaxFieldBytes));
}

Bytes serverItem(const ServerRecord& s) {
  Bytes item;
  putBytes(item, s.ip);
  putSlot(item, static_cast<std::uint8_t>(s.status));
  putBytes(item, s.mac);
  putSlot(item, static_cast<std::uint8_t>(s.storageMode));
  const std::string_view name = capped(s.name);
  putSlot(item, name.size());
  putText(item, name);
  return item;
}

Bytes deviceItem(const DeviceRecord& d) {
  Bytes item;
  item.push_back(d.port);
  item.push_back(static_cast<std::uint8_t>(d.vid & 0xFF));
  item.push_back(static_cast<std::uint8_t>(d.vid >> 8));
  item.push_back(static_cast<std::uint8_t>(d.pid & 0xFF));
  item.push_back(static_cast<std::uint8_t>(d.pid >> 8));
  item.push_back(static_cast<std::uint8_t>(d.lockType));
  item.push_back(static_cast<std::uint8_t>(d.lockCount));
  const std::array<std::string_view, 5> texts = {capped(d.type), capped(d.owner),
                                                 capped(d.manufacturer), capped(d.product),
                                                 capped(d.serial)};
  for (std::string_view t : texts) putSlot(item, t.size());
  for (std::string_view t : texts) putText(item, t);
  const std::size_t subItems = std::min(d.subItems.size(), kMaxFieldBytes);
  item.push_back(static_cast<std::uint8_t>(subItems));
  for (std::size_t i = 0; i < subItems; ++i) {
    const auto a = capped(d.subItems[i].first);
    const auto b = capped(d.subItems[i].second);
    putSlot(item, a.size());
    putSlot(item, b.size());
    putBytes(item, a);
    putBytes(item, b);
  }
  return item;
}

// Header of 8 bytes (byte 0 = valid, byte 4 = count), then whole items up to `limit` bytes.
template <typename Record, typename Encode>
Bytes encodeList(bool valid, std::span<const Record> records, int extraCount, std::size_t limit,
                 Encode encode) {
  Bytes out(8, 0);
  out[0] = valid ? 1 : 0;
  if (!valid) return out;
  std::size_t count = 0;
  for (const Record& r : records) {
    const Bytes item = encode(r);
    if (count == kMaxFieldBytes || out.size() + item.size() > limit) break;
    putBytes(out, item);
    ++count;
  }
  out[4] = static_cast<std::uint8_t>(static_cast<int>(count) + extraCount);
  return out;
}

}  // namespace

std::span<const std::uint32_t> knownCodes() { return kCodes; }

bool isControlDeviceCode(std::uint32_t c) {
  return c == code::kGetServerList || c == code::kAttachServer || c == code::kCancelRead ||
         c == code::kGetDriverVersion;
}

bool isBusDeviceCode(std::uint32_t c) {
  return std::find(kCodes.begin(), kCodes.end(), c) != kCodes.end() && !isControlDeviceCode(c);
}

Bytes encodeServerList(bool valid, std::span<const ServerRecord> servers, int extraCount) {
  return encodeList(valid, servers, extraCount, kServerListBytes, serverItem);
}

Bytes encodeDeviceList(std::span<const DeviceRecord> devices, int extraCount) {
  return encodeList(true, devices, extraCount, kDeviceListBytes, deviceItem);
}

Bytes encodeVersion(const Version& v) {
  Bytes out(8, 0);
  out[0] = 1;
  out[4] = static_cast<std::uint8_t>(v.major);
  out[5] = static_cast<std::uint8_t>(v.minor);
  out[6] = static_cast<std::uint8_t>(v.build);
  return out;
}

Bytes encodeBusAddress(const Ipv4& ip) {
  Bytes out(8, 0);
  out[0] = 8;
  std::copy(ip.begin(), ip.end(), out.begin() + 4);
  return out;
}

Bytes encodeDeviceListChanged(const Ipv4& server) {
  Bytes out(13, 0);
  out[0] = kUpdateDeviceList;
  std::copy(server.begin(), server.end(), out.begin() + 9);
  return out;
}

Bytes encodeCodeOnlyEvent(EventCode c) { return Bytes{static_cast<std::uint8_t>(c)}; }

Bytes encodeRequestToUse(std::uint8_t kind, std::uint8_t port, const Ipv4& server,
                         const Ipv4& asker, std::string_view askerName) {
  const std::string_view name = askerName.substr(0, 255);
  Bytes out{kRequestToUseDevice, kind, port};
  putBytes(out, server);
  putBytes(out, asker);
  putSlot(out, name.size());
  putText(out, name);
  return out;
}

}  // namespace sim
