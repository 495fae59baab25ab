#include "core/NetInfo.h"

#include <algorithm>

#include "platform/SystemInfo.h"
#include "platform/UdpNetwork.h"

namespace core {

std::uint32_t WindowsVersionFlags = 0;

AdapterTable& adapterTable() {
  static AdapterTable table;
  return table;
}

namespace {

// Types the walk keeps as they are; every other one (wireless among them) counts as Ethernet.
std::uint32_t effectiveType(std::uint32_t type) {
  using namespace platform;
  switch (type) {
    case kIfTypeOther: case kIfTypeEthernet: case kIfTypeTokenRing: case kIfTypeFddi:
    case kIfTypePpp: case kIfTypeLoopback: case kIfTypeSlip:
      return type;
    default:
      return kIfTypeEthernet;
  }
}

// Only the first six bytes count, whatever the address length says.
bool hasHardwareAddress(const std::array<std::uint8_t, 8>& address) {
  return std::any_of(address.begin(), address.begin() + 6, [](std::uint8_t b) { return b != 0; });
}

bool usable(const platform::AdapterInfo& a) {
  return hasHardwareAddress(a.address) && effectiveType(a.type) == platform::kIfTypeEthernet &&
         a.ip != "0.0.0.0";
}

std::array<std::uint8_t, 6> firstSix(const std::array<std::uint8_t, 8>& address) {
  std::array<std::uint8_t, 6> out{};
  std::copy_n(address.begin(), 6, out.begin());
  return out;
}

}  // namespace

std::string GetLocalComputerName() {
  std::string name = platform::systemInfo().computerName().value_or("");
  if (name.size() > 255) name.resize(255);  // the system's 256-character buffer
  return name;
}

void GetWindowsVersion(std::uint32_t& flags) {
  flags = 0;
  const auto v = platform::systemInfo().osVersion();
  if (!v) return;
  if (v->major == 6) flags |= kWin6x | kWin5xOr6x;
  if (v->major == 5) flags |= kWin5xOr6x;
  if (v->major == 5 && v->minor == 0) flags |= kWin50;
  if (v->major == 4 && v->minor == 0) flags |= kWin40;
}

void GetAdaptersByAdaptersInfo(AdapterTable& table) {
  const auto list = platform::systemInfo().adapters();
  if (!list) return;
  for (const auto& a : *list) {
    if (table.count >= AdapterTable::kRows) break;
    if (!usable(a)) continue;
    const auto row = static_cast<std::size_t>(table.count++);
    table.hardware[row] = firstSix(a.address);
    table.address[row] = a.ip;
    table.mask[row] = a.mask;
  }
}

void GetAdaptersByIfTable(AdapterTable& table) {
  const auto rows = platform::systemInfo().interfaces();
  if (!rows) return;
  for (const auto& r : *rows) {
    if (table.count >= AdapterTable::kRows) break;
    if (!hasHardwareAddress(r.physicalAddress)) continue;
    const auto row = static_cast<std::size_t>(table.count++);
    table.hardware[row] = firstSix(r.physicalAddress);
    // The interface table has no IPv4 address; the socket set-up then binds to any address.
    table.address[row] = "0.0.0.0";
    table.mask[row] = "0.0.0.0";
  }
}

int RefreshAdapterList(std::uint32_t flags, AdapterTable& table) {
  if (flags & kWin40)
    GetAdaptersByIfTable(table);
  else
    GetAdaptersByAdaptersInfo(table);
  table.hasAdapters = table.count >= 1;
  return table.count;
}

std::vector<std::string> CountActiveAdapters() {
  std::vector<std::string> gateways;
  const auto list = platform::systemInfo().adapters();
  if (!list) return gateways;
  for (const auto& a : *list) {
    if (static_cast<int>(gateways.size()) >= kMaxGateways) break;
    if (usable(a)) gateways.push_back(a.gateway.substr(0, 15));  // 16-byte rows
  }
  return gateways;
}

bool IsUdpPortInUse(std::uint16_t port) {
  const auto ports = platform::systemInfo().udpLocalPorts();
  return ports && std::find(ports->begin(), ports->end(), port) != ports->end();
}

bool GetLocalIpList() {
  // A failed lookup, an answer that is no address, or any loopback address (127.0.1.1 too)
  // counts as "not ready", which is what every caller wants to hear then.
  const auto first = platform::systemInfo().resolveHost(GetLocalComputerName());
  if (!first) return false;
  const auto address = platform::parseDottedIpv4(*first);
  return address && (*address)[0] != 127 && *address != std::array<std::uint8_t, 4>{};
}

std::string IntToString(long long value) { return std::to_string(value); }

}  // namespace core
