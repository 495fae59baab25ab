// The machine's own datagram sockets. Linux gives a broadcast only to sockets bound to the wildcard
// address, so a socket "bound to an adapter" listens on the port with address reuse, keeps only
// what arrives on that adapter, and sends from the adapter's address out of its interface.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/UdpNetwork.h"

namespace platform {
namespace {

int wsaError(int e) {
  switch (e) {
    case EACCES: case EPERM: return kWsaEAccess;
    case EINVAL: return kWsaEInval;
    case EMFILE: case ENFILE: return kWsaEMFile;
    case EAGAIN: return kWsaETimedOut;  // a receive time-out
    case EBADF: case ENOTSOCK: return kWsaENotSock;
    case EMSGSIZE: return kWsaEMsgSize;
    case EADDRINUSE: return kWsaEAddrInUse;
    case EADDRNOTAVAIL: return kWsaEAddrNotAvail;
    case ENETDOWN: return kWsaENetDown;
    case ENETUNREACH: return kWsaENetUnreach;
    case EHOSTUNREACH: return kWsaEHostUnreach;
    default: return kWsaENetDown;
  }
}

in_addr toInAddr(const std::array<std::uint8_t, 4>& ip) {
  in_addr a{};
  std::memcpy(&a.s_addr, ip.data(), 4);  // already in network order
  return a;
}

// The interface that carries an address; 0 when none does.
unsigned interfaceOf(const std::array<std::uint8_t, 4>& ip) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return 0;
  unsigned index = 0;
  const in_addr want = toInAddr(ip);
  for (ifaddrs* i = list; i && index == 0; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
    if (reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr == want.s_addr)
      index = ::if_nametoindex(i->ifa_name);
  }
  ::freeifaddrs(list);
  return index;
}

class NativeUdpNetwork final : public UdpNetwork {
 public:
  ~NativeUdpNetwork() override {
    for (const auto& [s, state] : sockets_) ::close(state.fd);
  }

  UdpOpen open() override {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return {0, wsaError(errno)};
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    std::lock_guard lock(mutex_);
    const UdpSocket s = next_++;
    sockets_[s] = {fd, {}, 0};
    return {s, 0};
  }

  int setBroadcast(UdpSocket s, bool on) override {
    return option(s, SOL_SOCKET, SO_BROADCAST, on ? 1 : 0);
  }

  int bind(UdpSocket s, const UdpAddress& local) override {
    std::lock_guard lock(mutex_);
    State* state = find(s);
    if (!state) return kWsaENotSock;
    unsigned ifindex = 0;
    if (local.ip != std::array<std::uint8_t, 4>{}) {
      ifindex = interfaceOf(local.ip);
      if (ifindex == 0) return kWsaEAddrNotAvail;
    }
    const int on = 1;
    if (::setsockopt(state->fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return wsaError(errno);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(local.port);
    if (::bind(state->fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
      return wsaError(errno);
    state->local = local.ip;
    state->ifindex = ifindex;
    return 0;
  }

  int setReceiveTimeout(UdpSocket s, std::uint32_t ms) override {
    std::lock_guard lock(mutex_);
    State* state = find(s);
    if (!state) return kWsaENotSock;
    timeval tv{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
    return ::setsockopt(state->fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 ? 0 : wsaError(errno);
  }

  int sendTo(UdpSocket s, std::span<const std::uint8_t> bytes, const UdpAddress& to) override {
    State state;
    if (!copy(s, state)) return kWsaENotSock;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr = toInAddr(to.ip);
    addr.sin_port = htons(to.port);
    iovec iov{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    msghdr msg{};
    msg.msg_name = &addr;
    msg.msg_namelen = sizeof addr;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (state.ifindex != 0) {
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      cmsghdr* c = CMSG_FIRSTHDR(&msg);
      c->cmsg_level = IPPROTO_IP;
      c->cmsg_type = IP_PKTINFO;
      c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
      in_pktinfo info{};
      info.ipi_ifindex = static_cast<int>(state.ifindex);
      info.ipi_spec_dst = toInAddr(state.local);
      std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    return ::sendmsg(state.fd, &msg, MSG_NOSIGNAL) < 0 ? wsaError(errno) : 0;
  }

  int receiveFrom(UdpSocket s, std::size_t maxBytes, std::vector<std::uint8_t>& bytes,
                  UdpAddress& from) override {
    State state;
    if (!copy(s, state)) return kWsaENotSock;
    for (;;) {
      bytes.assign(maxBytes, 0);
      sockaddr_in addr{};
      iovec iov{bytes.data(), bytes.size()};
      msghdr msg{};
      msg.msg_name = &addr;
      msg.msg_namelen = sizeof addr;
      msg.msg_iov = &iov;
      msg.msg_iovlen = 1;
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      const ssize_t n = ::recvmsg(state.fd, &msg, 0);
      if (n < 0) {
        if (errno == EINTR) continue;
        bytes.clear();
        return errno == EWOULDBLOCK ? kWsaETimedOut : wsaError(errno);
      }
      if (state.ifindex != 0 && arrivedOn(msg) != state.ifindex) continue;  // another adapter's
      bytes.resize(static_cast<std::size_t>(n));
      std::memcpy(from.ip.data(), &addr.sin_addr.s_addr, 4);
      from.port = ntohs(addr.sin_port);
      return (msg.msg_flags & MSG_TRUNC) ? kWsaEMsgSize : 0;
    }
  }

  void close(UdpSocket s) override {
    std::lock_guard lock(mutex_);
    if (State* state = find(s)) ::close(state->fd);
    sockets_.erase(s);
  }

 private:
  struct State {
    int fd = -1;
    std::array<std::uint8_t, 4> local{};
    unsigned ifindex = 0;
  };

  static unsigned arrivedOn(msghdr& msg) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
      in_pktinfo info{};
      std::memcpy(&info, CMSG_DATA(c), sizeof info);
      return static_cast<unsigned>(info.ipi_ifindex);
    }
    return 0;
  }

  State* find(UdpSocket s) {
    auto it = sockets_.find(s);
    return it == sockets_.end() ? nullptr : &it->second;
  }
  bool copy(UdpSocket s, State& out) {
    std::lock_guard lock(mutex_);
    const State* state = find(s);
    if (!state) return false;
    out = *state;
    return true;
  }
  int option(UdpSocket s, int level, int name, int value) {
    std::lock_guard lock(mutex_);
    State* state = find(s);
    if (!state) return kWsaENotSock;
    return ::setsockopt(state->fd, level, name, &value, sizeof value) == 0 ? 0 : wsaError(errno);
  }

  std::mutex mutex_;
  std::map<UdpSocket, State> sockets_;
  UdpSocket next_ = 1;
};

}  // namespace

std::unique_ptr<UdpNetwork> makeNativeUdpNetwork() { return std::make_unique<NativeUdpNetwork>(); }

}  // namespace platform
