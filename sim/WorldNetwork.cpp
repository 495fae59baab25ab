// The World's network: datagram sockets on the simulated network and each computer's firewall.
#include <algorithm>

#include "sim/World.h"

namespace sim {
namespace {

using platform::UdpAddress;
using platform::UdpAnswer;

constexpr std::size_t kDatagramQueueLimit = 64;
constexpr std::size_t kMaxDatagramBytes = 65507;
constexpr std::uint16_t kFirstEphemeralPort = 49152;
constexpr Ipv4 kAnyIp = {0, 0, 0, 0};

UdpAnswer failedWith(int error) {
  UdpAnswer a;
  a.error = error;
  return a;
}

Ipv4 masked(const Ipv4& ip, const Ipv4& mask) {
  return {static_cast<std::uint8_t>(ip[0] & mask[0]), static_cast<std::uint8_t>(ip[1] & mask[1]),
          static_cast<std::uint8_t>(ip[2] & mask[2]), static_cast<std::uint8_t>(ip[3] & mask[3])};
}

const Adapter* adapterWithIp(const Host& h, const Ipv4& ip) {
  for (const Adapter& a : h.adapters)
    if (a.ip == ip) return &a;
  return nullptr;
}

bool onNetwork(const Host& h, const Ipv4& net, const Ipv4& mask) {
  return std::any_of(h.adapters.begin(), h.adapters.end(),
                     [&](const Adapter& a) { return masked(a.ip, mask) == net; });
}

std::string addressText(const UdpAddress& a) { return platform::formatUdpAddress(a); }

}  // namespace

UdpAnswer World::udp(std::string_view hostName, const platform::UdpCall& call) {
  std::lock_guard lock(mutex_);
  Host* h = findHost(hostName);
  if (!h) return failedWith(platform::kWsaENetDown);
  if (call.op == platform::UdpOp::Open) {
    UdpAnswer a;
    a.socket = nextUdpSocket_++;
    udpSockets_[a.socket] = UdpSocketState{h->name, false, false, {}, {}};
    return a;
  }
  const auto it = udpSockets_.find(call.socket);
  if (it == udpSockets_.end() || it->second.host != h->name)
    return failedWith(platform::kWsaENotSock);
  UdpSocketState& s = it->second;
  switch (call.op) {
    case platform::UdpOp::SetBroadcast:
      s.broadcast = call.flag;
      return {};
    case platform::UdpOp::Bind: return udpBind(*h, s, call.address);
    case platform::UdpOp::Send: return udpSend(*h, s, call);
    case platform::UdpOp::Receive: {
      if (s.queue.empty()) return failedWith(platform::kWsaEWouldBlock);
      UdpAnswer a;
      a.bytes = std::move(s.queue.front().bytes);
      a.from = s.queue.front().from;
      s.queue.pop_front();
      if (a.bytes.size() > call.maxBytes) {
        a.bytes.resize(call.maxBytes);
        a.error = platform::kWsaEMsgSize;
      }
      return a;
    }
    case platform::UdpOp::Close: {
      const bool bound = s.bound;
      udpSockets_.erase(it);
      if (bound) udpPortsChanged(*h);
      return {};
    }
    case platform::UdpOp::Open: break;
  }
  return failedWith(platform::kWsaEInval);
}

UdpAnswer World::udpBind(Host& h, UdpSocketState& s, const UdpAddress& local) {
  LogEntry entry;
  entry.host = h.name;
  entry.what = "udp-bind";
  entry.device = addressText(local);
  const auto refuse = [&](int error) {
    entry.result = "failed";
    entry.returned = static_cast<std::uint32_t>(error);
    addLog(std::move(entry));
    return failedWith(error);
  };
  if (s.bound) return refuse(platform::kWsaEInval);
  if (local.ip != kAnyIp && !adapterWithIp(h, local.ip)) return refuse(platform::kWsaEAddrNotAvail);
  const auto clashes = [&](std::uint16_t port) {
    if (std::find(h.udp.takenPorts.begin(), h.udp.takenPorts.end(), port) != h.udp.takenPorts.end())
      return true;
    return std::any_of(udpSockets_.begin(), udpSockets_.end(), [&](const auto& other) {
      const UdpSocketState& o = other.second;
      return o.host == h.name && o.bound && o.local.port == port &&
             (o.local.ip == local.ip || o.local.ip == kAnyIp || local.ip == kAnyIp);
    });
  };
  UdpAddress chosen = local;
  if (chosen.port == 0) {
    chosen.port = kFirstEphemeralPort;
    while (clashes(chosen.port) && chosen.port < 0xFFFF) ++chosen.port;
  }
  if (clashes(chosen.port)) return refuse(platform::kWsaEAddrInUse);
  s.bound = true;
  s.local = chosen;
  entry.device = addressText(chosen);
  entry.result = "ok";
  addLog(std::move(entry));
  udpPortsChanged(h);
  return {};
}

UdpAnswer World::udpSend(Host& h, UdpSocketState& s, const platform::UdpCall& call) {
  LogEntry entry;
  entry.host = h.name;
  entry.what = "udp";
  entry.request = call.bytes;
  const auto refuse = [&](int error) {
    entry.result = "failed";
    entry.returned = static_cast<std::uint32_t>(error);
    addLog(std::move(entry));
    return failedWith(error);
  };
  if (!s.bound) {
    // A send from an unbound socket binds it to any address first, as the system does.
    if (const UdpAnswer a = udpBind(h, s, {}); a.error != 0) return a;
  }
  entry.device = addressText(s.local) + " -> " + addressText(call.address);
  if (h.udp.failSend) return refuse(platform::kWsaENetUnreach);
  if (call.bytes.size() > kMaxDatagramBytes) return refuse(platform::kWsaEMsgSize);
  const Adapter* from = s.local.ip == kAnyIp
                            ? (h.adapters.empty() ? nullptr : &h.adapters.front())
                            : adapterWithIp(h, s.local.ip);
  if (!from) return refuse(platform::kWsaENetUnreach);
  const Ipv4 net = masked(from->ip, from->mask);
  Ipv4 directed = net;
  for (std::size_t i = 0; i < 4; ++i)
    directed[i] = static_cast<std::uint8_t>(net[i] | static_cast<std::uint8_t>(~from->mask[i]));
  const bool broadcast = call.address.ip == platform::kBroadcastIp || call.address.ip == directed;
  if (broadcast && !s.broadcast) return refuse(platform::kWsaEAccess);

  const UdpAddress source{from->ip, s.local.port};
  int reached = 0;
  int dropped = 0;
  for (Host& to : hosts_) {
    if (broadcast ? !onNetwork(to, net, from->mask) : !adapterWithIp(to, call.address.ip)) continue;
    for (auto& [id, socket] : udpSockets_) {
      if (socket.host != to.name || !socket.bound || socket.local.port != call.address.port) continue;
      const bool takes = broadcast ? (socket.local.ip == kAnyIp
                                          ? true
                                          : masked(socket.local.ip, from->mask) == net)
                                   : (socket.local.ip == kAnyIp || socket.local.ip == call.address.ip);
      if (!takes) continue;
      if (to.udp.dropInbound) {
        ++dropped;
        continue;
      }
      socket.queue.push_back({call.bytes, source});
      while (socket.queue.size() > kDatagramQueueLimit) socket.queue.pop_front();
      ++reached;
    }
  }
  entry.result = reached == 0 && dropped > 0 ? "dropped" : "sent";
  entry.returned = static_cast<std::uint32_t>(reached);
  addLog(std::move(entry));
  return {};
}

void World::udpPortsChanged(Host& h) {
  h.udp.boundPorts.clear();
  for (const auto& [id, s] : udpSockets_)
    if (s.host == h.name && s.bound) h.udp.boundPorts.push_back(s.local.port);
  if (options_.hostChanged) options_.hostChanged(h);
}

std::string World::setUdpDrop(std::string_view host, bool on) {
  std::lock_guard lock(mutex_);
  Host* h = findHost(host);
  if (!h) return "no host named " + std::string(host);
  h->udp.dropInbound = on;
  return {};
}

std::string World::setUdpFailSend(std::string_view host, bool on) {
  std::lock_guard lock(mutex_);
  Host* h = findHost(host);
  if (!h) return "no host named " + std::string(host);
  h->udp.failSend = on;
  return {};
}

std::string World::setUdpPortTaken(std::string_view host, std::uint16_t port, bool taken) {
  std::lock_guard lock(mutex_);
  Host* h = findHost(host);
  if (!h) return "no host named " + std::string(host);
  if (port == 0) return "port 0 is no port";
  auto& ports = h->udp.takenPorts;
  std::erase(ports, port);
  if (taken) ports.push_back(port);
  if (options_.hostChanged) options_.hostChanged(*h);
  return {};
}

std::string World::foreignDatagram(std::string_view host, std::uint16_t port,
                                   std::vector<std::uint8_t> bytes, const Ipv4& fromIp) {
  std::lock_guard lock(mutex_);
  Host* h = findHost(host);
  if (!h) return "no host named " + std::string(host);
  if (bytes.size() > kMaxDatagramBytes) return "a datagram holds at most 65507 bytes";
  LogEntry entry;
  entry.host = h->name;
  entry.what = "udp";
  entry.request = bytes;
  const UdpAddress from{fromIp, port};
  entry.device = addressText(from) + " -> " + h->name + ":" + std::to_string(port);
  int reached = 0;
  for (auto& [id, socket] : udpSockets_) {
    if (socket.host != h->name || !socket.bound || socket.local.port != port) continue;
    if (h->udp.dropInbound) continue;
    socket.queue.push_back({bytes, from});
    while (socket.queue.size() > kDatagramQueueLimit) socket.queue.pop_front();
    ++reached;
  }
  entry.result = "sent";
  entry.returned = static_cast<std::uint32_t>(reached);
  addLog(std::move(entry));
  return {};
}

// ---------------------------------------------------------------- firewall

platform::FirewallAnswer World::firewall(std::string_view hostName,
                                         const platform::FirewallCall& call) {
  using platform::FirewallStep;
  std::lock_guard lock(mutex_);
  Host* h = findHost(hostName);
  if (!h) return {platform::kRegdbEClassNotReg, false, false};
  const auto fault = std::find_if(firewallFaults_.begin(), firewallFaults_.end(),
                                  [&](const FirewallFault& f) {
                                    return f.host == h->name && f.step == call.step;
                                  });
  if (fault != firewallFaults_.end()) {
    const platform::HResult hr = fault->hr;
    firewallFaults_.erase(fault);
    return {hr, false, false};
  }
  FirewallProfile& p = h->firewall;
  const auto port = std::find_if(p.ports.begin(), p.ports.end(), [&](const FirewallPortEntry& e) {
    return e.port == call.port && e.protocol == call.protocol;
  });
  const auto app = std::find_if(p.applications.begin(), p.applications.end(),
                                [&](const FirewallAppEntry& e) { return equalNoCase(e.path, call.path); });
  const auto logAdd = [&](std::string what) {
    LogEntry entry;
    entry.host = h->name;
    entry.what = "firewall";
    entry.device = call.name;
    entry.result = std::move(what);
    addLog(std::move(entry));
  };
  switch (call.step) {
    case FirewallStep::PortItem:
      return {platform::kSOk, port != p.ports.end(), port != p.ports.end() && port->enabled};
    case FirewallStep::PortEnabled:
      if (port == p.ports.end()) return {platform::kEFail, false, false};
      return {platform::kSOk, true, port->enabled};
    case FirewallStep::AddPort: {
      const FirewallPortEntry entry{call.port, call.protocol, call.name, true};
      if (port != p.ports.end()) *port = entry;
      else p.ports.push_back(entry);
      logAdd("port " + std::to_string(call.port) + "/" + std::to_string(call.protocol) + " added");
      return {};
    }
    case FirewallStep::ApplicationItem:
      return {platform::kSOk, app != p.applications.end(),
              app != p.applications.end() && app->enabled};
    case FirewallStep::ApplicationEnabled:
      if (app == p.applications.end()) return {platform::kEFail, false, false};
      return {platform::kSOk, true, app->enabled};
    case FirewallStep::AddApplication: {
      const FirewallAppEntry entry{call.path, call.name, true};
      if (app != p.applications.end()) *app = entry;
      else p.applications.push_back(entry);
      logAdd("application " + call.path + " added");
      return {};
    }
    default:
      return {};  // creating objects and setting their properties always works unless told not to
  }
}

std::string World::failFirewallStep(std::string_view host, platform::FirewallStep step,
                                    platform::HResult hr) {
  std::lock_guard lock(mutex_);
  Host* h = findHost(host);
  if (!h) return "no host named " + std::string(host);
  if (platform::Succeeded(hr)) return "a failure needs a failure code (0x80000000 or more)";
  firewallFaults_.push_back({h->name, step, hr});
  return {};
}

std::optional<World::FirewallView> World::firewallOf(std::string_view host) {
  std::lock_guard lock(mutex_);
  Host* h = findHost(host);
  if (!h) return std::nullopt;
  FirewallView view{h->firewall, {}};
  for (const FirewallFault& f : firewallFaults_)
    if (f.host == h->name) view.faults.emplace_back(f.step, f.hr);
  return view;
}

// ---------------------------------------------------------------- version server

std::optional<VersionReply> World::versionReply() {
  std::lock_guard lock(mutex_);
  return versionReply_;
}

void World::logHttp(std::string request, std::string result, std::uint32_t status) {
  std::lock_guard lock(mutex_);
  LogEntry entry;
  entry.what = "http";
  entry.device = std::move(request);
  entry.result = std::move(result);
  entry.returned = status;
  addLog(std::move(entry));
}

}  // namespace sim
