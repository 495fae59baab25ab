#include "core/UdpSelfTest.h"

#include <algorithm>
#include <cstring>

#include "core/NetInfo.h"
#include "platform/Clock.h"

namespace core {
namespace {

constexpr std::uint8_t kDatagram[9] = {'t', 'e', 's', 't', '_', 'u', 'd', 'p', 0};
constexpr int kAttempts = 3;
constexpr int kReadsPerAttempt = 1000;
constexpr std::size_t kReceiveRoom = 64;
constexpr std::uint32_t kAdapterRetryMs = 1000;

std::array<platform::UdpSocket, kUdpSocketSlots> slots{};
std::array<platform::UdpAddress, kUdpSocketSlots> locals{};
std::array<platform::UdpAddress, kUdpSocketSlots> destinations{};
bool socketsOpen = false;
bool started = false;

// What inet_addr makes of a text: an unreadable one is the "none" address, which no bind takes.
std::array<std::uint8_t, 4> addressOf(const std::string& text) {
  return platform::parseDottedIpv4(text).value_or(platform::kBroadcastIp);
}

void closeSlot(int i) {
  platform::udpNetwork().close(slots[static_cast<std::size_t>(i)]);
  slots[static_cast<std::size_t>(i)] = 0;
}

}  // namespace

int NetStartup() {
  if (started) NetCleanup();
  started = true;
  return 0;
}

void NetInit() {
  if (!started) NetStartup();
  AdapterTable& table = adapterTable();
  table.count = 0;
  table.hasAdapters = false;
  std::uint32_t flags = 0;
  GetWindowsVersion(flags);
  RefreshAdapterList(flags, table);
  for (int retry = 0; retry < 2 && table.count == 0; ++retry) {
    RefreshAdapterList(flags, table);
    platform::clock().sleepMs(kAdapterRetryMs);
  }
}

bool OpenUdpSockets(bool anyPort) {
  CloseUdpSockets();
  socketsOpen = false;
  const AdapterTable& table = adapterTable();
  if (!table.hasAdapters) return false;
  platform::UdpNetwork& net = platform::udpNetwork();
  const int rows = std::min({table.count, AdapterTable::kRows, kUdpSocketSlots});
  for (int i = 0; i < rows; ++i) {
    const auto row = static_cast<std::size_t>(i);
    locals[row] = {addressOf(table.address[row]), anyPort ? std::uint16_t{0} : kUdpSelfTestPort};
    destinations[row] = {platform::kBroadcastIp, kUdpSelfTestPort};
    const platform::UdpOpen opened = net.open();
    if (opened.socket == 0) return false;
    slots[row] = opened.socket;
    if (net.setBroadcast(slots[row], true) != 0 || net.bind(slots[row], locals[row]) != 0) {
      closeSlot(i);
      return false;
    }
    net.setReceiveTimeout(slots[row], kUdpReceiveTimeoutMs);
  }
  socketsOpen = true;
  return true;
}

bool UdpSelfTest(const std::function<void()>& pump) {
  platform::UdpNetwork& net = platform::udpNetwork();
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // A machine that cannot send at all gets no firewall message.
    if (slots[0] == 0 || net.sendTo(slots[0], kDatagram, destinations[0]) != 0) return true;
    int timeouts = 0;
    for (int read = 0; read < kReadsPerAttempt; ++read) {
      if (pump) pump();
      std::vector<std::uint8_t> bytes;
      platform::UdpAddress from;
      const int error = net.receiveFrom(slots[0], kReceiveRoom, bytes, from);
      if (error == platform::kWsaETimedOut) {
        if (++timeouts == 2) break;
        continue;
      }
      if (error != 0) break;
      // Compared as the system's cleared receive buffer holds it.
      std::uint8_t buffer[kReceiveRoom] = {};
      if (!bytes.empty()) std::memcpy(buffer, bytes.data(), std::min(bytes.size(), kReceiveRoom));
      if (std::memcmp(buffer, kDatagram, sizeof kDatagram) == 0) return true;
    }
  }
  return false;
}

void CloseUdpSockets() {
  for (int i = 0; i < kUdpSocketSlots; ++i)
    if (slots[static_cast<std::size_t>(i)] != 0) closeSlot(i);
}

void NetCleanup() {
  // The socket layer keeps nothing to let go of here; the flag stays set, as the system's does.
}

const std::array<platform::UdpSocket, kUdpSocketSlots>& UdpSocketSlots() { return slots; }
bool UdpSocketsOpen() { return socketsOpen; }

}  // namespace core
