// The self-test over any datagrams: the input is cut into datagrams (a length byte, then that many
// bytes; a length byte of 255 is a receive error instead), each handed to one read.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "core/NetInfo.h"
#include "core/UdpSelfTest.h"
#include "platform/Clock.h"
#include "platform/SystemInfo.h"
#include "platform/UdpNetwork.h"

namespace {

struct Reads : platform::UdpNetwork {
  std::deque<std::vector<std::uint8_t>> datagrams;
  std::deque<int> errors;
  platform::UdpOpen open() override { return {1, 0}; }
  int setBroadcast(platform::UdpSocket, bool) override { return 0; }
  int bind(platform::UdpSocket, const platform::UdpAddress&) override { return 0; }
  int setReceiveTimeout(platform::UdpSocket, std::uint32_t) override { return 0; }
  int sendTo(platform::UdpSocket, std::span<const std::uint8_t>, const platform::UdpAddress&) override {
    return 0;
  }
  int receiveFrom(platform::UdpSocket, std::size_t maxBytes, std::vector<std::uint8_t>& bytes,
                  platform::UdpAddress&) override {
    if (datagrams.empty()) return platform::kWsaETimedOut;
    bytes = std::move(datagrams.front());
    datagrams.pop_front();
    const int error = errors.front();
    errors.pop_front();
    if (bytes.size() > maxBytes) {
      bytes.resize(maxBytes);
      return platform::kWsaEMsgSize;
    }
    return error;
  }
  void close(platform::UdpSocket) override {}
};

struct OneAdapter : platform::SystemInfo {
  std::optional<std::string> computerName() override { return "PC"; }
  std::optional<platform::OsVersion> osVersion() override { return platform::OsVersion{6, 1}; }
  std::optional<std::vector<platform::AdapterInfo>> adapters() override {
    platform::AdapterInfo a;
    a.address = {2, 0, 0, 0, 0, 1, 0, 0};
    a.ip = "10.0.0.1";
    return std::vector<platform::AdapterInfo>{a};
  }
  std::optional<std::vector<platform::InterfaceRow>> interfaces() override { return std::nullopt; }
  std::optional<std::vector<std::uint16_t>> udpLocalPorts() override { return std::nullopt; }
  std::optional<std::string> resolveHost(std::string_view) override { return std::nullopt; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Reads net;
  for (std::size_t at = 0; at < size;) {
    const std::size_t length = data[at++];
    if (length == 255) {
      net.datagrams.push_back({});
      net.errors.push_back(platform::kWsaENetDown);
      continue;
    }
    const std::size_t n = std::min(length, size - at);
    net.datagrams.emplace_back(data + at, data + at + n);
    net.errors.push_back(0);
    at += n;
  }
  static platform::ManualClock clock;
  static OneAdapter adapter;
  platform::setClock(&clock);
  platform::setSystemInfo(&adapter);
  platform::setUdpNetwork(&net);
  core::NetInit();
  if (core::OpenUdpSockets(false)) (void)core::UdpSelfTest();
  core::CloseUdpSockets();
  platform::setUdpNetwork(nullptr);
  return 0;
}
