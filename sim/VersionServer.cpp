#include "sim/VersionServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {
namespace {

constexpr std::size_t kMaxRequestBytes = 16 * 1024;
constexpr int kReadTimeoutMs = 2000;

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

const char* reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

void sendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

std::string versionReplyDocument(const VersionReply& r) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Firmware>\n  <Default>\n";
  doc += "    <FW_Version>\n";
  if (!r.major.empty()) doc += "      <Major>" + escaped(r.major) + "</Major>\n";
  if (!r.minor.empty()) doc += "      <Minor>" + escaped(r.minor) + "</Minor>\n";
  if (!r.date.empty()) doc += "      <Date>" + escaped(r.date) + "</Date>\n";
  doc += "    </FW_Version>\n    <Download_Site>\n";
  for (const VersionSite& s : r.sites)
    doc += "      <" + s.name + "><Firmware>" + escaped(s.firmware) + "</Firmware></" + s.name + ">\n";
  doc += "    </Download_Site>\n  </Default>\n</Firmware>\n";
  return doc;
}

VersionServer::VersionServer(World& world) : world_(world) {}

VersionServer::~VersionServer() { stop(); }

bool VersionServer::start(std::string& error) {
  platform::simwire::Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (!s.valid() || ::bind(s.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(s.fd(), 16) != 0 ||
      ::getsockname(s.fd(), reinterpret_cast<sockaddr*>(&addr), &length) != 0 || stop_.fd() < 0) {
    error = std::string("cannot listen on 127.0.0.1: ") + std::strerror(errno);
    return false;
  }
  port_ = ntohs(addr.sin_port);
  listening_ = std::move(s);
  thread_ = std::thread([this] { run(); });
  return true;
}

void VersionServer::stop() {
  if (thread_.joinable()) {
    stop_.set();
    thread_.join();
  }
  stop_.reset();
  listening_.reset();
}

void VersionServer::run() {
  for (;;) {
    pollfd fds[2] = {{stop_.fd(), POLLIN, 0}, {listening_.fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents) return;
    if (fds[1].revents & POLLIN) {
      platform::simwire::Socket client(::accept4(listening_.fd(), nullptr, nullptr, SOCK_CLOEXEC));
      if (client.valid()) serve(client.fd());
    }
  }
}

// One request per connection: the head is read (up to 16 KiB, 2 s), the answer sent, the
// connection closed.
void VersionServer::serve(int fd) {
  timeval tv{kReadTimeoutMs / 1000, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  std::string head;
  char chunk[2048];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxRequestBytes) {
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    head.append(chunk, static_cast<std::size_t>(n));
  }
  const std::string line = head.substr(0, head.find("\r\n"));
  int status = 404;
  std::string body;
  const auto reply = world_.versionReply();
  if (head.find("\r\n\r\n") == std::string::npos) {
    status = 400;
  } else if (line.rfind(std::string("GET ") + kVersionQueryPath + " ", 0) == 0 && reply) {
    status = reply->status;
    if (status == 200) body = reply->body ? *reply->body : versionReplyDocument(*reply);
  }
  world_.logHttp(line.substr(0, 512), std::to_string(status), static_cast<std::uint32_t>(body.size()));
  sendAll(fd, "HTTP/1.1 " + std::to_string(status) + " " + reason(status) +
                  "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
                  "\r\nConnection: close\r\n\r\n" + body);
}

}  // namespace sim
