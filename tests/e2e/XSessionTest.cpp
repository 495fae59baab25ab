// The display the user runs get from XSession takes every program that connects to it, also one
// that is still in its start while the last other client leaves: the runs start openbox, trayer
// and tarvex while short-lived tools (xprop, xdotool) come and go.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "support/Process.h"
#include "support/ProgramFolder.h"
#include "support/XSession.h"

namespace {

// A program in its start: connected to the display's local socket, its connection set-up not yet
// sent.
class StartingClient {
 public:
  explicit StartingClient(const std::string& display) {
    // The server's socket in the abstract namespace, where X clients on Linux look first.
    const std::string name = "/tmp/.X11-unix/X" + display.substr(1);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~StartingClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  StartingClient(const StartingClient&) = delete;
  StartingClient& operator=(const StartingClient&) = delete;

  bool connected() const { return fd_ >= 0; }

  // Sends the set-up (protocol 11.0, little-endian, no authorization) and reads the first byte of
  // the answer: "accepted" for 1, else what happened.
  std::string finishStart() {
    const unsigned char setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (::send(fd_, setup, sizeof setup, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof setup))
      return std::string("the set-up could not be sent: ") + std::strerror(errno);
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 20000) != 1) return "no answer within 20 s";
    unsigned char status = 0;
    const ssize_t got = ::recv(fd_, &status, 1, 0);
    if (got == 0) return "the server closed the connection";
    if (got < 0) return std::string("no answer: ") + std::strerror(errno);
    return status == 1 ? "accepted" : "refused (status " + std::to_string(status) + ")";
  }

 private:
  int fd_ = -1;
};

// A short-lived tool comes and goes while a program is in its start, so that the tool is the last
// client to leave; the program is served all the same, and so is one that comes after.
TEST(XSessionTest, AProgramStartingWhileTheLastClientLeavesIsServed) {
  test::ProgramFolder folder("tarvex-x-session-");
  test::XSession x(folder.path() / "x", 640, 480);
  ASSERT_TRUE(x.started()) << x.error();

  StartingClient starting(x.display());
  ASSERT_TRUE(starting.connected()) << "no local socket for " << x.display();
  // The server takes connections in the order they came, so it holds the starting one by the
  // time the tool has been served and leaves.
  test::Process tool({"/usr/bin/xprop", "-display", x.display(), "-root", "_NET_WORKAREA"}, {},
                     (folder.path() / "xprop.out").string());
  ASSERT_EQ(tool.wait(20000), 0) << tool.output();

  EXPECT_EQ(starting.finishStart(), "accepted");
  StartingClient next(x.display());
  ASSERT_TRUE(next.connected());
  EXPECT_EQ(next.finishStart(), "accepted");
}

}  // namespace
