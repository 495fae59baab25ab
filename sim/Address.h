#pragma once
// Addresses and byte texts as the simulated network writes them: IPv4 in network order, MAC in
// wire order, and hexadecimal for the request log.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// An IPv4 address as its four bytes in network order.
using Ipv4 = std::array<std::uint8_t, 4>;
using Mac = std::array<std::uint8_t, 6>;

// Dotted decimal, exactly four parts of 0..255.
std::optional<Ipv4> parseIpv4(std::string_view text);
std::string formatIpv4(const Ipv4& ip);

// Six two-digit hexadecimal bytes joined by ':' or '-'.
std::optional<Mac> parseMac(std::string_view text);
std::string formatMac(const Mac& mac);

std::string toHex(std::span<const std::uint8_t> bytes);
// An even number of hexadecimal digits (either case); nullopt otherwise.
std::optional<std::vector<std::uint8_t>> fromHex(std::string_view text);

// Control codes are shown as "0x222000".
std::string formatCode(std::uint32_t code);
// Hexadecimal, with or without "0x": "0x222000" or "222000".
std::optional<std::uint32_t> parseCode(std::string_view text);

// Device paths and queue names compare without regard to letter case.
bool equalNoCase(std::string_view a, std::string_view b);

}  // namespace sim
