// The machine's own datagram sockets, tried only inside a network namespace this test makes for
// itself (a pair of virtual Ethernet ends, 10.77.0.1 and 10.77.0.2): nothing leaves it. Where no
// namespace can be made, the test is skipped with a note.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/UdpNetwork.h"

namespace {

constexpr int kCannotMakeNamespace = 77;

bool write(const char* file, const std::string& text) {
  std::ofstream out(file);
  out << text;
  return static_cast<bool>(out);
}

// A namespace of our own: as root directly, else inside a user namespace of our own.
bool enterNamespace() {
  if (::unshare(CLONE_NEWNET) == 0) return true;
  const uid_t uid = ::getuid();
  const gid_t gid = ::getgid();
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) return false;
  write("/proc/self/setgroups", "deny");
  return write("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
         write("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

bool makeLink() {
  return run("ip link set lo up") && run("ip link add tvx0 type veth peer name tvx1") &&
         run("ip addr add 10.77.0.1/24 dev tvx0") && run("ip addr add 10.77.0.2/24 dev tvx1") &&
         run("ip link set tvx0 up") && run("ip link set tvx1 up");
}

// The checks, run inside the namespace; every fault is one line of the answer.
std::string check() {
  std::string faults;
  const auto expect = [&](bool ok, const std::string& what) {
    if (!ok) faults += what + "\n";
  };
  auto net = platform::makeNativeUdpNetwork();
  const std::vector<std::uint8_t> datagram = {'t', 'e', 's', 't', '_', 'u', 'd', 'p', 0};

  // Bound to the first end's address on 9303, it hears its own broadcast, as the self-test wants.
  const platform::UdpSocket a = net->open().socket;
  expect(a != 0, "open");
  expect(net->setBroadcast(a, true) == 0, "broadcast option");
  expect(net->bind(a, {{10, 77, 0, 1}, 9303}) == 0, "bind to 10.77.0.1:9303");
  expect(net->setReceiveTimeout(a, 200) == 0, "receive time-out");
  expect(net->sendTo(a, datagram, {platform::kBroadcastIp, 9303}) == 0, "broadcast send");
  std::vector<std::uint8_t> got;
  platform::UdpAddress from;
  const int first = net->receiveFrom(a, 64, got, from);
  expect(first == 0 && got == datagram, "the broadcast came back (" + std::to_string(first) + ")");
  expect(from.ip == std::array<std::uint8_t, 4>{10, 77, 0, 1} && from.port == 9303,
         "sent from the adapter's address: " + platform::formatUdpAddress(from));
  // Nothing more: the time-out is the socket layer's 10060.
  expect(net->receiveFrom(a, 64, got, from) == platform::kWsaETimedOut, "time-out as 10060");

  // An address this machine does not have.
  const platform::UdpSocket b = net->open().socket;
  expect(net->bind(b, {{10, 77, 0, 9}, 9303}) == platform::kWsaEAddrNotAvail, "unknown address refused");
  net->close(b);

  // Another program holding the port without sharing it: 10048, then any port is taken.
  net->close(a);
  const int other = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(9303);
  expect(::bind(other, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0, "holder's bind");
  const platform::UdpSocket c = net->open().socket;
  expect(net->bind(c, {{10, 77, 0, 1}, 9303}) == platform::kWsaEAddrInUse, "taken port refused");
  net->close(c);
  const platform::UdpSocket d = net->open().socket;
  expect(net->bind(d, {{10, 77, 0, 1}, 0}) == 0, "any port");
  ::close(other);
  return faults;
}

TEST(NativeUdp, BroadcastsInANamespaceOfItsOwn) {
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    if (!enterNamespace() || !makeLink()) ::_exit(kCannotMakeNamespace);
    const std::string faults = check();
    [[maybe_unused]] const auto n = ::write(pipeFds[1], faults.data(), faults.size());
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string faults;
  char chunk[512];
  pollfd p{pipeFds[0], POLLIN, 0};
  while (::poll(&p, 1, 20000) > 0) {
    const ssize_t n = ::read(pipeFds[0], chunk, sizeof chunk);
    if (n <= 0) break;
    faults.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  pid_t ended = 0;
  for (int i = 0; i < 100 && ended == 0; ++i) {
    ended = ::waitpid(child, &status, WNOHANG);
    if (ended == 0) ::usleep(50000);
  }
  if (ended == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    FAIL() << "the check in the namespace did not end";
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotMakeNamespace)
    GTEST_SKIP() << "no network namespace with a virtual Ethernet pair can be made here "
                    "(needs unshare and the ip tool); the machine's sockets were not tried";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(faults, "");
}

}  // namespace
