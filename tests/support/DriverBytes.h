#pragma once
// Builders of the driver's reply records, byte by byte, for tests that script a driver.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes serverItem(const Bytes& ip, std::int8_t status, const std::string& name,
                        std::int8_t mode = 1, std::int8_t nameLength = -128,
                        std::uint8_t macLast = 0x5E) {
  Bytes b(ip);
  b.insert(b.end(), {static_cast<std::uint8_t>(status), 0xAA, 0xAA, 0xAA});
  b.insert(b.end(), {0x00, 0x1A, 0x2B, 0x3C, 0x4D, macLast});
  b.insert(b.end(), {static_cast<std::uint8_t>(mode), 0, 0, 0});
  const auto n = nameLength == -128 ? static_cast<std::uint8_t>(name.size())
                                    : static_cast<std::uint8_t>(nameLength);
  b.insert(b.end(), {n, 0, 0, 0});
  b.insert(b.end(), name.begin(), name.end());
  return b;
}

inline Bytes serverList(std::uint8_t valid, std::int8_t count, const std::vector<Bytes>& items) {
  Bytes b{valid, 0, 0, 0, static_cast<std::uint8_t>(count), 0, 0, 0};
  for (const auto& i : items) b.insert(b.end(), i.begin(), i.end());
  return b;
}

inline Bytes busAddress(const Bytes& ip) {
  Bytes b(64, 0);
  b[0] = 8;
  for (std::size_t i = 0; i < 4; ++i) b[4 + i] = ip[i];
  return b;
}

}  // namespace test
