#pragma once
// The records the port monitors take through XcvData: a port name as a wide string with its end,
// and the standard TCP/IP monitor's port record (version 1, 964 bytes). Texts are the system's
// 8-bit texts, widened byte by byte; a wide character above 0xFF reads back as '?'.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The wide string with its end: 2 bytes a character, little-endian, then two zero bytes.
std::vector<std::uint8_t> wideTextBytes(std::string_view text);
// The text of a wide string that ends within `bytes` (at its first zero character); nullopt when
// the byte count is odd or no end is there.
std::optional<std::string> readWideText(std::span<const std::uint8_t> bytes);

inline constexpr std::uint32_t kTcpIpPortRecordBytes = 964;
inline constexpr std::uint32_t kTcpIpPortRecordVersion = 1;
inline constexpr std::uint32_t kProtocolRawTcp = 1;
inline constexpr std::uint32_t kProtocolLpr = 2;
inline constexpr std::uint32_t kLprPortNumber = 515;

// Room of each text field in wide characters, its end included.
inline constexpr std::size_t kPortNameChars = 64;
inline constexpr std::size_t kNetworkNameChars = 49;
inline constexpr std::size_t kSnmpCommunityChars = 33;
inline constexpr std::size_t kQueueNameChars = 33;
inline constexpr std::size_t kIpAddressChars = 16;

struct TcpIpPortRecord {
  std::string portName;
  std::uint32_t version = kTcpIpPortRecordVersion;
  std::uint32_t protocol = kProtocolRawTcp;
  std::uint32_t size = kTcpIpPortRecordBytes;  // the record's own size field
  std::string hostAddress;
  std::string snmpCommunity;
  std::uint32_t doubleSpool = 0;
  std::string queue;  // LPR
  std::string ipAddress;
  std::uint32_t portNumber = 0;
  std::uint32_t snmpEnabled = 0;
  std::uint32_t snmpDevIndex = 0;
};

// The 964 bytes; a text longer than its field is cut to leave room for its end.
std::vector<std::uint8_t> encodeTcpIpPortRecord(const TcpIpPortRecord& record);
// nullopt unless `bytes` is exactly one record whose texts each end within their fields.
std::optional<TcpIpPortRecord> decodeTcpIpPortRecord(std::span<const std::uint8_t> bytes);

}  // namespace platform
