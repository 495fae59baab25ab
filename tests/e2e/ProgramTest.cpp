// The program as a user starts it: beside the simulated host, offscreen, with its real windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <cstdlib>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <functional>
#include <thread>

#include "platform/Registry.h"
#include "support/Process.h"
#include "support/ProgramFolder.h"

namespace {

namespace fs = std::filesystem;

const char* kScenario = R"({
  "hosts": [
    {"name": "OFFICE-PC", "ip": "192.168.1.10",
     "adapters": [{"mac": "3C:52:82:1F:6A:01", "ip": "192.168.1.10", "gateway": "192.168.1.20"}]},
    {"name": "LAB-PC", "ip": "192.168.1.12"}
  ],
  "servers": [
    {"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS-Office", "status": 1,
     "devices": [{"port": 1, "vid": "04F9", "pid": "0042", "type": "PRINTER",
                  "manufacturer": "Brother", "product": "HL", "serial": "E1"}]},
    {"ip": "192.168.1.21", "mac": "00:1A:2B:3C:4D:6F", "name": "NUS-Lab", "status": 3},
    {"ip": "192.168.1.22", "mac": "00:1A:2B:3C:4D:80", "name": "NUS-Spare", "status": 0}
  ]
})";

const std::string kKey = "Software\\Tarvex\\Velmora Network USB Utility";

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(dir / "scenario.json") << kScenario;
    env.push_back("QT_QPA_PLATFORM=offscreen");
  }
  static std::string bin(const char* name) { return test::programPath(name); }
  std::unique_ptr<test::Process> start(const std::vector<std::string>& args, const char* out) {
    return std::make_unique<test::Process>(args, env, (dir / out).string());
  }
  std::string simctl(const char* command) {
    test::Process p({bin("tarvex-simctl"), command}, env, (dir / "simctl.out").string());
    p.wait(5000);
    return p.output();
  }

  test::ProgramFolder programFolder{"tarvex-e2e-"};
  const fs::path dir = programFolder.path();
  std::vector<std::string> env = programFolder.env();
};

// A run with the folders of another simulated host exported still talks to its own.
TEST_F(ProgramTest, TheTestsOwnEnvironmentWinsOverTheInheritedOne) {
  const char* saved = std::getenv("TARVEX_SIM_DIR");
  const std::string restore = saved ? saved : "";
  setenv("TARVEX_SIM_DIR", "/nonexistent/elsewhere", 1);
  test::Process printer({"/usr/bin/env"}, env, (dir / "env.out").string());
  printer.wait(5000);
  if (saved) setenv("TARVEX_SIM_DIR", restore.c_str(), 1);
  else unsetenv("TARVEX_SIM_DIR");
  const std::string out = printer.output();
  EXPECT_NE(out.find("TARVEX_SIM_DIR=" + (dir / "sim").string() + "\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("/nonexistent/elsewhere"), std::string::npos) << out;
}

TEST_F(ProgramTest, WithoutTheDriverItSaysSetUpIsIncompleteAndEnds) {
  auto tarvex = start({bin("tarvex")}, "tarvex.out");
  EXPECT_EQ(tarvex->wait(15000), 0);
  EXPECT_NE(tarvex->output().find("Velmora Network USB Utility setup is incomplete!\n\nPlease reinstall again."),
            std::string::npos)
      << tarvex->output();
}

TEST_F(ProgramTest, StartsAttachesTheGatewayServerHandsOverAndShutsDownInOrder) {
  auto simhost = start({bin("tarvex-simhost"), (dir / "scenario.json").string()}, "simhost.out");
  ASSERT_TRUE(test::eventually([&] { return fs::exists(dir / "sim" / "simhost.sock"); }, 5000));

  auto tarvex = start({bin("tarvex")}, "tarvex.out");
  // The server list is read, then the gateway's server attached by its four address bytes.
  ASSERT_TRUE(test::eventually(
      [&] {
        const std::string log = simctl("log");
        return log.find("\"code\":\"0x222000\"") != std::string::npos &&
               log.find("\"code\":\"0x222010\",\"request\":\"c0a80114\"") != std::string::npos;
      },
      15000))
      << simctl("log");
  // NUS-Lab is neither stored nor a gateway: it stays detached.
  EXPECT_EQ(simctl("log").find("\"code\":\"0x222010\",\"request\":\"c0a80115\""), std::string::npos);

  auto second = start({bin("tarvex")}, "second.out");
  EXPECT_EQ(second->wait(10000), 0) << second->output();

  tarvex->signal(SIGTERM);
  EXPECT_EQ(tarvex->wait(10000), 0) << tarvex->output();

  auto reg = platform::Registry::open((dir / "sim" / "hosts" / "OFFICE-PC" / "registry.db").string(), false);
  ASSERT_TRUE(reg);
  auto office = reg->openKey(platform::RegRoot::CurrentUser,
                             kKey + "\\Auto-Connect\\IP_192.168.1.20&MAC_00:1A:2B:3C:4D:5E",
                             platform::kKeyRead);
  ASSERT_TRUE(office);
  EXPECT_EQ(office->value("ServerEnable")->text, "1");
  EXPECT_FALSE(reg->openKey(platform::RegRoot::CurrentUser,
                            kKey + "\\Auto-Connect\\IP_192.168.1.21&MAC_00:1A:2B:3C:4D:6F",
                            platform::kKeyRead));
  auto settings = reg->openKey(platform::RegRoot::CurrentUser, kKey, platform::kKeyRead);
  ASSERT_TRUE(settings);
  EXPECT_TRUE(settings->value("MainForm Width"));
  EXPECT_TRUE(settings->value("MainForm Left"));
  EXPECT_EQ(settings->value("Notify Check Days")->text, "60");
  simhost->signal(SIGTERM);
  EXPECT_EQ(simhost->wait(5000), 0);
}

// A program killed outright leaves nothing bound behind it: the next start on the same host runs
// its self-test again and, with the broadcasts dropped, shows the firewall message once more.
TEST_F(ProgramTest, AfterAKilledRunTheNextStartStillShowsTheFirewallMessage) {
  auto simhost = start({bin("tarvex-simhost"), (dir / "scenario.json").string()}, "simhost.out");
  ASSERT_TRUE(test::eventually([&] { return fs::exists(dir / "sim" / "simhost.sock"); }, 5000));
  test::Process drop({bin("tarvex-simctl"), "udp-drop", "OFFICE-PC", "on"}, env,
                     (dir / "drop.out").string());
  ASSERT_EQ(drop.wait(5000), 0) << drop.output();
  const std::string firewall = "Firewall\n\nTCP Out Port : 80; 2005\n\nUDP Out Port : 9303";

  // The runs that have attached the gateway's server: by then a run's own sockets are open too.
  const auto attached = [&](std::size_t runs) {
    return test::eventually(
        [&] {
          const std::string log = simctl("log");
          const std::string attach = "\"code\":\"0x222010\",\"request\":\"c0a80114\"";
          std::size_t seen = 0;
          for (auto at = log.find(attach); at != std::string::npos; at = log.find(attach, at + 1)) ++seen;
          return seen >= runs;
        },
        20000);
  };

  auto killed = start({bin("tarvex")}, "killed.out");
  ASSERT_TRUE(attached(1)) << killed->output();
  EXPECT_NE(killed->output().find(firewall), std::string::npos) << killed->output();
  killed->signal(SIGKILL);
  EXPECT_EQ(killed->wait(5000), -1) << "died of the signal";

  auto next = start({bin("tarvex")}, "next.out");
  ASSERT_TRUE(attached(2)) << next->output();
  EXPECT_NE(next->output().find(firewall), std::string::npos) << next->output();
  next->signal(SIGTERM);
  EXPECT_EQ(next->wait(10000), 0) << next->output();
  simhost->signal(SIGTERM);
  EXPECT_EQ(simhost->wait(5000), 0);
}

// A settings file that is no database: the user is told once where it is, the file is never
// touched, and the program runs on with its defaults (the gateway's server is still attached).
TEST_F(ProgramTest, AnUnreadableSettingsFileIsReportedOnceAndLeftAsItIs) {
  const fs::path db = dir / "sim" / "hosts" / "OFFICE-PC" / "registry.db";
  fs::create_directories(db.parent_path());
  std::string bytes(16384, '\0');
  std::mt19937 random(7);
  for (char& c : bytes) c = static_cast<char>(random());
  std::ofstream(db, std::ios::binary) << bytes;
  const auto onDisk = [&] {
    std::ifstream in(db, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };

  auto simhost = start({bin("tarvex-simhost"), (dir / "scenario.json").string()}, "simhost.out");
  ASSERT_TRUE(test::eventually([&] { return fs::exists(dir / "sim" / "simhost.sock"); }, 5000));
  auto tarvex = start({bin("tarvex")}, "tarvex.out");
  ASSERT_TRUE(test::eventually(
      [&] {
        return simctl("log").find("\"code\":\"0x222010\",\"request\":\"c0a80114\"") !=
               std::string::npos;
      },
      15000))
      << tarvex->output();
  tarvex->signal(SIGTERM);
  EXPECT_EQ(tarvex->wait(10000), 0) << tarvex->output();

  const std::string out = tarvex->output();
  const std::string message = "The settings of Velmora Network USB Utility cannot be read from the file\n" +
                              db.string() + "\n(file is not a database).";
  const auto first = out.find(message);
  EXPECT_NE(first, std::string::npos) << out;
  EXPECT_EQ(out.find(message, first + 1), std::string::npos) << out;
  EXPECT_EQ(onDisk(), bytes);
  simhost->signal(SIGTERM);
  EXPECT_EQ(simhost->wait(5000), 0);
  EXPECT_EQ(onDisk(), bytes);
}

// A version server on 127.0.0.1, on a thread of its own: it takes one connection, reads the
// request and answers it with `answer`, which sends until the client goes or `stop` is set.
class LoopbackServer {
 public:
  using Answer = std::function<void(int socket, const std::atomic<bool>& stop)>;
  explicit LoopbackServer(Answer answer) : answer_(std::move(answer)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener_, 4);
    socklen_t len = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  bool asked() const { return asked_; }
  bool answered() const { return answered_; }

 private:
  void serve() {
    const int c = ::accept(listener_, nullptr, nullptr);
    if (c < 0) return;
    char head[4096];
    if (::recv(c, head, sizeof head, 0) > 0) {
      asked_ = true;
      answer_(c, stop_);
    }
    ::close(c);
    answered_ = true;
  }

  Answer answer_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> asked_{false}, answered_{false}, stop_{false};
  std::thread thread_;
};

bool sendAll(int socket, const std::string& bytes) {
  return ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// A head, then one byte every 3 s.
void trickle(int socket, const std::atomic<bool>& stop) {
  if (!sendAll(socket, "HTTP/1.1 200 OK\r\nContent-Length: 4000\r\n\r\n")) return;
  for (int i = 0; !stop && i < 4000; ++i) {
    if (!sendAll(socket, "<")) break;
    for (int t = 0; !stop && t < 300; ++t) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Kilobytes of a process's memory: "VmRSS" now, "VmHWM" the most it held.
long memoryKb(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  return -1;
}

TEST_F(ProgramTest, SigtermDuringTheAutomaticVersionCheckEndsTheProgramPromptly) {
  LoopbackServer server(trickle);
  env.push_back("TARVEX_VERSION_SERVER=" + server.host());
  auto simhost = start({bin("tarvex-simhost"), (dir / "scenario.json").string()}, "simhost.out");
  ASSERT_TRUE(test::eventually([&] { return fs::exists(dir / "sim" / "simhost.sock"); }, 5000));
  auto tarvex = start({bin("tarvex")}, "tarvex.out");
  // The first tick, 2 s after the start, asks the server, which keeps the reply coming.
  ASSERT_TRUE(test::eventually([&] { return server.asked(); }, 20000)) << tarvex->output();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto sent = std::chrono::steady_clock::now();
  tarvex->signal(SIGTERM);
  EXPECT_EQ(tarvex->wait(3000), 0) << tarvex->output();
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(3));
  simhost->signal(SIGTERM);
  EXPECT_EQ(simhost->wait(5000), 0);
}

// Interim answers without end: the program's automatic check gives up on them within its limit,
// and the program does not grow with them.
TEST_F(ProgramTest, AFloodOfInterimAnswersEndsTheAutomaticCheckAndStaysSmall) {
  std::atomic<long> sentMb{0};
  std::chrono::steady_clock::time_point asked, gone;
  LoopbackServer server([&](int socket, const std::atomic<bool>& stop) {
    asked = std::chrono::steady_clock::now();
    std::string block;
    while (block.size() < 64 * 1024) block += "HTTP/1.1 100 Continue\r\n\r\n";
    // Up to 1 GB or 30 s, whichever comes first, unless the program goes first.
    for (long sent = 0; !stop && sent < 1024L * 1024 * 1024 &&
                        std::chrono::steady_clock::now() - asked < std::chrono::seconds(30);
         sent += static_cast<long>(block.size())) {
      if (!sendAll(socket, block)) break;
      sentMb = sent / (1024 * 1024);
    }
    gone = std::chrono::steady_clock::now();
  });
  env.push_back("TARVEX_VERSION_SERVER=" + server.host());
  auto simhost = start({bin("tarvex-simhost"), (dir / "scenario.json").string()}, "simhost.out");
  ASSERT_TRUE(test::eventually([&] { return fs::exists(dir / "sim" / "simhost.sock"); }, 5000));
  {
    // No device-found notice holds the first tick back.
    auto reg = platform::Registry::open((dir / "sim" / "hosts" / "OFFICE-PC" / "registry.db").string(), false);
    ASSERT_TRUE(reg);
    auto settings = reg->openKey(platform::RegRoot::CurrentUser, kKey, platform::kKeyAllAccess, true);
    ASSERT_TRUE(settings && settings->setString("Notify Device Detect", "0"));
  }
  auto tarvex = start({bin("tarvex")}, "tarvex.out");
  ASSERT_TRUE(test::eventually([&] { return server.asked(); }, 20000)) << tarvex->output();
  const long before = memoryKb(tarvex->pid(), "VmRSS");
  ASSERT_TRUE(test::eventually([&] { return server.answered(); }, 40000));
  EXPECT_LT(gone - asked, std::chrono::seconds(20)) << sentMb << " MB sent before the program let go";
  const long peak = memoryKb(tarvex->pid(), "VmHWM");
  EXPECT_LT(peak - before, 64 * 1024) << "kB, from " << before << " kB";
  tarvex->signal(SIGTERM);
  EXPECT_EQ(tarvex->wait(10000), 0) << tarvex->output();
  simhost->signal(SIGTERM);
  EXPECT_EQ(simhost->wait(5000), 0);
}

}  // namespace
