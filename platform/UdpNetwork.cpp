#include "platform/UdpNetwork.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <map>
#include <mutex>

#include "platform/Clock.h"
#include "platform/SimEnvironment.h"
#include "platform/SimWire.h"

namespace platform {
namespace {

// How often a receive looks for a datagram while it waits.
constexpr std::uint32_t kReceivePollMs = 20;

class UdpOverCalls final : public UdpNetwork {
 public:
  explicit UdpOverCalls(UdpTransport transport) : transport_(std::move(transport)) {}

  UdpOpen open() override {
    const UdpAnswer a = call({UdpOp::Open, 0, {}, false, 0, {}});
    if (a.error != 0 || a.socket == 0) return {0, a.error != 0 ? a.error : kWsaENetDown};
    return {a.socket, 0};
  }

  int setBroadcast(UdpSocket s, bool on) override {
    return call({UdpOp::SetBroadcast, s, {}, on, 0, {}}).error;
  }

  int bind(UdpSocket s, const UdpAddress& local) override {
    return call({UdpOp::Bind, s, local, false, 0, {}}).error;
  }

  // Kept here: the time-out is how long this side waits.
  int setReceiveTimeout(UdpSocket s, std::uint32_t ms) override {
    std::lock_guard lock(mutex_);
    timeouts_[s] = ms;
    return 0;
  }

  int sendTo(UdpSocket s, std::span<const std::uint8_t> bytes, const UdpAddress& to) override {
    return call({UdpOp::Send, s, to, false, 0, {bytes.begin(), bytes.end()}}).error;
  }

  int receiveFrom(UdpSocket s, std::size_t maxBytes, std::vector<std::uint8_t>& bytes,
                  UdpAddress& from) override {
    std::optional<std::uint32_t> timeout;
    {
      std::lock_guard lock(mutex_);
      if (auto it = timeouts_.find(s); it != timeouts_.end() && it->second != 0) timeout = it->second;
    }
    Clock& clock = platform::clock();
    const std::int64_t deadline = clock.nowMs() + timeout.value_or(0);
    const auto max = static_cast<std::uint32_t>(std::min<std::size_t>(maxBytes, 0xFFFFFFFF));
    for (;;) {
      UdpAnswer a = call({UdpOp::Receive, s, {}, false, max, {}});
      if (a.error != kWsaEWouldBlock) {
        bytes = std::move(a.bytes);
        from = a.from;
        return a.error;
      }
      const std::int64_t left = deadline - clock.nowMs();
      if (timeout && left <= 0) return kWsaETimedOut;
      clock.sleepMs(timeout ? static_cast<std::uint32_t>(std::min<std::int64_t>(left, kReceivePollMs))
                            : kReceivePollMs);
    }
  }

  void close(UdpSocket s) override {
    {
      std::lock_guard lock(mutex_);
      timeouts_.erase(s);
    }
    call({UdpOp::Close, s, {}, false, 0, {}});
  }

 private:
  // A call that cannot be carried fails as a network that is down.
  UdpAnswer call(const UdpCall& c) {
    if (auto a = transport_(c)) return std::move(*a);
    UdpAnswer failed;
    failed.error = kWsaENetDown;
    return failed;
  }

  UdpTransport transport_;
  std::mutex mutex_;
  std::map<UdpSocket, std::uint32_t> timeouts_;
};

std::unique_ptr<UdpNetwork> makeSimClientUdpNetwork() {
  struct Connection {
    std::mutex mutex;
    simwire::Channel channel;
  };
  auto connection = std::make_shared<Connection>();
  return makeUdpOverCalls([connection](const UdpCall& c) -> std::optional<UdpAnswer> {
    simwire::UdpRequest request{sim::thisHostName(), c};
    std::lock_guard lock(connection->mutex);
    auto reply = connection->channel.exchange(request);
    if (!reply) return std::nullopt;
    if (auto* answer = std::get_if<simwire::UdpReply>(&*reply)) return std::move(answer->answer);
    return std::nullopt;
  });
}

std::atomic<UdpNetwork*> installed{nullptr};

}  // namespace

std::optional<std::array<std::uint8_t, 4>> parseDottedIpv4(const std::string& text) {
  std::array<std::uint8_t, 4> out{};
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0) {
      if (p == end || *p != '.') return std::nullopt;
      ++p;
    }
    if (p == end || *p < '0' || *p > '9') return std::nullopt;
    unsigned v = 0;
    const auto [next, ec] = std::from_chars(p, end, v);
    if (ec != std::errc() || v > 255 || next - p > 3) return std::nullopt;
    out[i] = static_cast<std::uint8_t>(v);
    p = next;
  }
  if (p != end) return std::nullopt;
  return out;
}

std::string formatUdpAddress(const UdpAddress& a) {
  return std::to_string(a.ip[0]) + "." + std::to_string(a.ip[1]) + "." + std::to_string(a.ip[2]) +
         "." + std::to_string(a.ip[3]) + ":" + std::to_string(a.port);
}

std::unique_ptr<UdpNetwork> makeUdpOverCalls(UdpTransport transport) {
  return std::make_unique<UdpOverCalls>(std::move(transport));
}

UdpNetwork& udpNetwork() {
  if (UdpNetwork* n = installed.load(std::memory_order_acquire)) return *n;
  static const std::unique_ptr<UdpNetwork> client = makeSimClientUdpNetwork();
  return *client;
}

void setUdpNetwork(UdpNetwork* n) { installed.store(n, std::memory_order_release); }

}  // namespace platform
