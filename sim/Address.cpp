#include "sim/Address.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace sim {
namespace {

std::optional<unsigned> parseNumber(std::string_view text, int base) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<Ipv4> parseIpv4(std::string_view text) {
  Ipv4 ip{};
  for (std::size_t i = 0; i < ip.size(); ++i) {
    const std::size_t dot = text.find('.');
    const bool last = i + 1 == ip.size();
    if (last != (dot == std::string_view::npos)) return std::nullopt;
    const std::string_view part = last ? text : text.substr(0, dot);
    if (part.size() > 3) return std::nullopt;
    const auto value = parseNumber(part, 10);
    if (!value || *value > 255) return std::nullopt;
    ip[i] = static_cast<std::uint8_t>(*value);
    if (!last) text.remove_prefix(dot + 1);
  }
  return ip;
}

std::string formatIpv4(const Ipv4& ip) {
  return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
         std::to_string(ip[3]);
}

std::optional<Mac> parseMac(std::string_view text) {
  Mac mac{};
  if (text.size() != 17) return std::nullopt;
  for (std::size_t i = 0; i < mac.size(); ++i) {
    const std::size_t at = i * 3;
    if (i > 0 && text[at - 1] != ':' && text[at - 1] != '-') return std::nullopt;
    const int hi = hexDigit(text[at]);
    const int lo = hexDigit(text[at + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    mac[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return mac;
}

std::string formatMac(const Mac& mac) {
  std::string out;
  char pair[4];
  for (std::size_t i = 0; i < mac.size(); ++i) {
    std::snprintf(pair, sizeof pair, "%02X", mac[i]);
    if (i > 0) out += ':';
    out += pair;
  }
  return out;
}

std::string toHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> fromHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = hexDigit(text[i]);
    const int lo = hexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return out;
}

std::string formatCode(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06x", code);
  return text;
}

std::optional<std::uint32_t> parseCode(std::string_view text) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  if (text.size() > 8) return std::nullopt;
  return parseNumber(text, 16);
}

bool equalNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace sim
