#include "platform/PortRecords.h"

#include <algorithm>

namespace platform {
namespace {

// Offsets of the record's fields.
constexpr std::size_t kPortNameAt = 0;
constexpr std::size_t kVersionAt = 128;
constexpr std::size_t kProtocolAt = 132;
constexpr std::size_t kSizeAt = 136;
constexpr std::size_t kHostAddressAt = 144;
constexpr std::size_t kSnmpCommunityAt = 242;
constexpr std::size_t kDoubleSpoolAt = 308;
constexpr std::size_t kQueueAt = 312;
constexpr std::size_t kIpAddressAt = 378;
constexpr std::size_t kPortNumberAt = 952;
constexpr std::size_t kSnmpEnabledAt = 956;
constexpr std::size_t kSnmpDevIndexAt = 960;

void putU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t getU32(std::span<const std::uint8_t> in, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(in[at + i]) << (8 * i);
  return v;
}

void putText(std::vector<std::uint8_t>& out, std::size_t at, std::size_t chars,
             std::string_view text) {
  const std::size_t n = std::min(text.size(), chars - 1);
  for (std::size_t i = 0; i < n; ++i) out[at + 2 * i] = static_cast<std::uint8_t>(text[i]);
}

std::optional<std::string> getText(std::span<const std::uint8_t> in, std::size_t at,
                                   std::size_t chars) {
  return readWideText(in.subspan(at, 2 * chars));
}

}  // namespace

std::vector<std::uint8_t> wideTextBytes(std::string_view text) {
  std::vector<std::uint8_t> out(2 * (text.size() + 1), 0);
  for (std::size_t i = 0; i < text.size(); ++i) out[2 * i] = static_cast<std::uint8_t>(text[i]);
  return out;
}

std::optional<std::string> readWideText(std::span<const std::uint8_t> bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned c = bytes[i] | static_cast<unsigned>(bytes[i + 1]) << 8;
    if (c == 0) return text;
    text.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  }
  return std::nullopt;
}

std::vector<std::uint8_t> encodeTcpIpPortRecord(const TcpIpPortRecord& r) {
  std::vector<std::uint8_t> out(kTcpIpPortRecordBytes, 0);
  putText(out, kPortNameAt, kPortNameChars, r.portName);
  putU32(out, kVersionAt, r.version);
  putU32(out, kProtocolAt, r.protocol);
  putU32(out, kSizeAt, r.size);
  putText(out, kHostAddressAt, kNetworkNameChars, r.hostAddress);
  putText(out, kSnmpCommunityAt, kSnmpCommunityChars, r.snmpCommunity);
  putU32(out, kDoubleSpoolAt, r.doubleSpool);
  putText(out, kQueueAt, kQueueNameChars, r.queue);
  putText(out, kIpAddressAt, kIpAddressChars, r.ipAddress);
  putU32(out, kPortNumberAt, r.portNumber);
  putU32(out, kSnmpEnabledAt, r.snmpEnabled);
  putU32(out, kSnmpDevIndexAt, r.snmpDevIndex);
  return out;
}

std::optional<TcpIpPortRecord> decodeTcpIpPortRecord(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kTcpIpPortRecordBytes) return std::nullopt;
  TcpIpPortRecord r;
  auto name = getText(bytes, kPortNameAt, kPortNameChars);
  auto host = getText(bytes, kHostAddressAt, kNetworkNameChars);
  auto community = getText(bytes, kSnmpCommunityAt, kSnmpCommunityChars);
  auto queue = getText(bytes, kQueueAt, kQueueNameChars);
  auto ip = getText(bytes, kIpAddressAt, kIpAddressChars);
  if (!name || !host || !community || !queue || !ip) return std::nullopt;
  r.portName = std::move(*name);
  r.hostAddress = std::move(*host);
  r.snmpCommunity = std::move(*community);
  r.queue = std::move(*queue);
  r.ipAddress = std::move(*ip);
  r.version = getU32(bytes, kVersionAt);
  r.protocol = getU32(bytes, kProtocolAt);
  r.size = getU32(bytes, kSizeAt);
  r.doubleSpool = getU32(bytes, kDoubleSpoolAt);
  r.portNumber = getU32(bytes, kPortNumberAt);
  r.snmpEnabled = getU32(bytes, kSnmpEnabledAt);
  r.snmpDevIndex = getU32(bytes, kSnmpDevIndexAt);
  return r;
}

}  // namespace platform
