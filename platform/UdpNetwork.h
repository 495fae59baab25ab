#pragma once
// Datagram sockets as the UDP self-test uses them: open, allow broadcast, bind to an adapter's
// address, a receive time-out, send to an address, receive with the sender's address, close.
// Errors are the socket layer's numbers (10048 address in use, 10060 timed out, ...).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

inline constexpr int kWsaEAccess = 10013;
inline constexpr int kWsaEInval = 10022;
inline constexpr int kWsaEMFile = 10024;
inline constexpr int kWsaEWouldBlock = 10035;
inline constexpr int kWsaENotSock = 10038;
inline constexpr int kWsaEMsgSize = 10040;
inline constexpr int kWsaEAddrInUse = 10048;
inline constexpr int kWsaEAddrNotAvail = 10049;
inline constexpr int kWsaENetDown = 10050;
inline constexpr int kWsaENetUnreach = 10051;
inline constexpr int kWsaETimedOut = 10060;
inline constexpr int kWsaEHostUnreach = 10065;

// A socket; 0 is never one (the self-test's slots use 0 for "empty").
using UdpSocket = std::int64_t;

struct UdpAddress {
  std::array<std::uint8_t, 4> ip{};  // in the order they are written: 192.168.1.10 is {192, 168, 1, 10}
  std::uint16_t port = 0;
  bool operator==(const UdpAddress&) const = default;
};
inline constexpr std::array<std::uint8_t, 4> kBroadcastIp = {255, 255, 255, 255};

// Dotted text to an address; nullopt unless it is four numbers 0..255.
std::optional<std::array<std::uint8_t, 4>> parseDottedIpv4(const std::string& text);
std::string formatUdpAddress(const UdpAddress& a);

struct UdpOpen {
  UdpSocket socket = 0;
  int error = 0;  // when socket is 0
};

class UdpNetwork {
 public:
  virtual ~UdpNetwork() = default;
  virtual UdpOpen open() = 0;
  // Each answers 0 or the error.
  virtual int setBroadcast(UdpSocket s, bool on) = 0;
  virtual int bind(UdpSocket s, const UdpAddress& local) = 0;
  virtual int setReceiveTimeout(UdpSocket s, std::uint32_t ms) = 0;
  virtual int sendTo(UdpSocket s, std::span<const std::uint8_t> bytes, const UdpAddress& to) = 0;
  // Waits up to the receive time-out (none set: without end) for one datagram of at most maxBytes;
  // a longer one is cut and answers kWsaEMsgSize. kWsaETimedOut when nothing came in time.
  virtual int receiveFrom(UdpSocket s, std::size_t maxBytes, std::vector<std::uint8_t>& bytes,
                          UdpAddress& from) = 0;
  virtual void close(UdpSocket s) = 0;
};

// The sockets of this machine. A socket bound to an adapter's address takes the broadcasts of the
// port on that adapter: it listens on the port with address reuse and sends from the adapter.
std::unique_ptr<UdpNetwork> makeNativeUdpNetwork();

// A simulated network reached through calls; the receive time-out is waited on platform::clock().
enum class UdpOp : std::uint8_t { Open = 1, SetBroadcast, Bind, Send, Receive, Close };
inline constexpr std::uint8_t kLastUdpOp = static_cast<std::uint8_t>(UdpOp::Close);
struct UdpCall {
  UdpOp op = UdpOp::Open;
  UdpSocket socket = 0;
  UdpAddress address;                // Bind: local; Send: destination
  bool flag = false;                 // SetBroadcast
  std::uint32_t maxBytes = 0;        // Receive
  std::vector<std::uint8_t> bytes;   // Send
};
struct UdpAnswer {
  int error = 0;  // Receive: kWsaEWouldBlock when nothing waits
  UdpSocket socket = 0;
  std::vector<std::uint8_t> bytes;
  UdpAddress from;
};
using UdpTransport = std::function<std::optional<UdpAnswer>(const UdpCall&)>;
std::unique_ptr<UdpNetwork> makeUdpOverCalls(UdpTransport transport);

// The process-wide network: by default the simulated host's, as platform::sim::thisHostName().
UdpNetwork& udpNetwork();
void setUdpNetwork(UdpNetwork* n);  // not owned; nullptr restores the default

}  // namespace platform
