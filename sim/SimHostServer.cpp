#include "sim/SimHostServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/WorldCommands.h"

namespace sim {
namespace {

namespace wire = platform::simwire;

// A client that stops reading must not stall the daemon for long.
constexpr int kSendTimeoutMs = 2000;

void setSendTimeout(int fd) {
  timeval tv{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

}  // namespace

wire::Socket listenUnix(const std::string& path, std::string& error) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) {
    error = "the socket path " + path + " is too long";
    return {};
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  ::unlink(path.c_str());
  wire::Socket s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s.valid() || ::bind(s.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(s.fd(), 64) != 0) {
    error = "cannot listen on " + path + ": " + std::strerror(errno);
    return {};
  }
  return s;
}

SimHostServer::SimHostServer(World& world, wire::Socket listening, int stopFd, int tickMs)
    : world_(world), listening_(std::move(listening)), stopFd_(stopFd), tickMs_(tickMs) {}

void SimHostServer::run() {
  for (;;) {
    std::vector<pollfd> fds;
    fds.push_back({stopFd_, POLLIN, 0});
    fds.push_back({listening_.fd(), POLLIN, 0});
    for (const Client& c : clients_) fds.push_back({c.socket.fd(), POLLIN, 0});
    const int ready = ::poll(fds.data(), fds.size(), sleepMs());
    if (ready < 0 && errno != EINTR) return;
    if (fds[0].revents) return;
    if (ready > 0) {
      for (std::size_t i = 0; i < clients_.size(); ++i) {
        if (fds[i + 2].revents == 0) continue;
        if (!receive(clients_[i])) dropClient(clients_[i]);
      }
      std::erase_if(clients_, [](const Client& c) { return !c.socket.valid(); });
      if (fds[1].revents & POLLIN) accept();
    }
    world_.tick();
    finishReads();
    finishChangeWaits();
  }
}

int SimHostServer::sleepMs() {
  std::optional<std::int64_t> next = world_.nextDeadlineMs();
  for (const Client& c : clients_)
    for (const ChangeWait& w : c.changeWaits)
      if (!next || w.deadlineMs < *next) next = w.deadlineMs;
  if (!next) return tickMs_;
  const std::int64_t left = std::clamp<std::int64_t>(*next - world_.nowMs(), 0, 0x7FFFFFFF);
  const int ms = static_cast<int>(left);
  return tickMs_ >= 0 ? std::min(ms, tickMs_) : ms;
}

void SimHostServer::accept() {
  wire::Socket s(::accept4(listening_.fd(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!s.valid()) return;
  setSendTimeout(s.fd());
  clients_.push_back(Client{std::move(s), {}, {}, {}, {}});
}

bool SimHostServer::receive(Client& client) {
  std::uint8_t chunk[16384];
  const ssize_t n = ::recv(client.socket.fd(), chunk, sizeof chunk, MSG_DONTWAIT);
  if (n == 0) return false;
  if (n < 0) return errno == EAGAIN || errno == EINTR;
  client.input.insert(client.input.end(), chunk, chunk + n);
  for (;;) {
    const wire::FrameCheck check = wire::checkFrame(client.input);
    if (check.status == wire::FrameStatus::Invalid) return false;
    if (check.status == wire::FrameStatus::Incomplete) return true;
    const auto message = wire::decodePayload(
        std::span(client.input).subspan(wire::kHeaderBytes, check.frameBytes - wire::kHeaderBytes));
    client.input.erase(client.input.begin(),
                       client.input.begin() + static_cast<std::ptrdiff_t>(check.frameBytes));
    if (!message || !handle(client, *message)) return false;
  }
}

bool SimHostServer::handle(Client& client, const wire::Message& message) {
  const int fd = client.socket.fd();
  if (const auto* m = std::get_if<wire::ListInterfacesRequest>(&message)) {
    const auto slots = world_.listInterfaces(m->host, m->classGuid);
    return wire::sendFrame(fd, wire::InterfacesReply{slots.has_value(), slots.value_or(std::vector<platform::InterfaceSlot>{})});
  }
  if (const auto* m = std::get_if<wire::OpenRequest>(&message))
    return wire::sendFrame(fd, wire::OpenReply{world_.open(m->host, m->path)});
  if (const auto* m = std::get_if<wire::CloseRequest>(&message)) {
    world_.close(m->host, static_cast<platform::Handle>(m->handle));
    return wire::sendFrame(fd, wire::CloseReply{});
  }
  if (const auto* m = std::get_if<wire::ControlRequest>(&message)) {
    ControlResult r = world_.control(m->host, static_cast<platform::Handle>(m->handle), m->code,
                                     m->input, m->outSize);
    return wire::sendFrame(fd, wire::ControlReply{r.ok, r.returned, std::move(r.reply), r.error});
  }
  if (const auto* m = std::get_if<wire::ReadRequest>(&message)) {
    const auto handle = static_cast<platform::Handle>(m->handle);
    ReadOutcome r = world_.beginRead(m->host, handle, m->maxBytes);
    if (r.status == platform::ReadStatus::Pending) client.reads[handle] = m->host;
    return wire::sendFrame(fd, wire::ReadReply{r.status, std::move(r.bytes), r.error});
  }
  if (const auto* m = std::get_if<wire::SpoolerRequest>(&message)) {
    if (m->op != wire::SpoolerOp::WaitChange) return wire::sendFrame(fd, world_.spooler(*m));
    // A change wait with nothing to report yet is answered when the change comes or time is up.
    std::optional<wire::SpoolerReply> answer = world_.changeWait(*m, m->first == 0);
    if (!answer) {
      client.changeWaits.push_back({*m, world_.nowMs() + m->first});
      return true;
    }
    return wire::sendFrame(fd, *answer);
  }
  if (const auto* m = std::get_if<wire::UdpRequest>(&message))
    return wire::sendFrame(fd, wire::UdpReply{udp(client, *m)});
  if (const auto* m = std::get_if<wire::FirewallRequest>(&message))
    return wire::sendFrame(fd, wire::FirewallReply{world_.firewall(m->host, m->call)});
  if (const auto* m = std::get_if<wire::WiaRequest>(&message))
    return wire::sendFrame(fd, world_.wia(*m));
  if (const auto* m = std::get_if<wire::ScannerRequest>(&message))
    return wire::sendFrame(fd, world_.scanners(*m));
  if (const auto* m = std::get_if<wire::AdminRequest>(&message)) {
    CommandResult r = runCommand(world_, m->json);
    return wire::sendFrame(fd, wire::AdminReply{r.ok, std::move(r.text)});
  }
  return false;  // a reply kind has no business coming to the daemon
}

platform::UdpAnswer SimHostServer::udp(Client& client, const wire::UdpRequest& request) {
  platform::UdpAnswer answer = world_.udp(request.host, request.call);
  if (answer.error != 0) return answer;
  if (request.call.op == platform::UdpOp::Open) client.udpSockets[answer.socket] = request.host;
  if (request.call.op == platform::UdpOp::Close) client.udpSockets.erase(request.call.socket);
  return answer;
}

void SimHostServer::finishReads() {
  for (Client& c : clients_) {
    for (auto it = c.reads.begin(); it != c.reads.end();) {
      ReadOutcome r = world_.waitRead(it->second, it->first, 0);
      if (r.status == platform::ReadStatus::Pending) {
        ++it;
        continue;
      }
      if (!wire::sendFrame(c.socket.fd(), wire::ReadReply{r.status, std::move(r.bytes), r.error})) {
        ::shutdown(c.socket.fd(), SHUT_RDWR);  // dropped on the next pass
      }
      it = c.reads.erase(it);
    }
  }
}

void SimHostServer::finishChangeWaits() {
  for (Client& c : clients_) {
    for (auto it = c.changeWaits.begin(); it != c.changeWaits.end();) {
      const std::optional<wire::SpoolerReply> answer =
          world_.changeWait(it->request, world_.nowMs() >= it->deadlineMs);
      if (!answer) {
        ++it;
        continue;
      }
      if (!wire::sendFrame(c.socket.fd(), *answer)) ::shutdown(c.socket.fd(), SHUT_RDWR);
      it = c.changeWaits.erase(it);
    }
  }
}

void SimHostServer::dropClient(Client& client) {
  for (const auto& [handle, host] : client.reads) world_.abandonRead(handle);
  client.reads.clear();
  client.changeWaits.clear();
  for (const auto& [socket, host] : client.udpSockets) {
    platform::UdpCall close;
    close.op = platform::UdpOp::Close;
    close.socket = socket;
    world_.udp(host, close);
  }
  client.udpSockets.clear();
  client.socket.reset();
}

}  // namespace sim
