// The program's periphery with the real programs: the firewall entries and the self-test's
// broadcast on the simulated host, and the automatic version check against an HTTP server of the
// test's own on 127.0.0.1.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "support/Process.h"
#include "support/ProgramFolder.h"

namespace {

namespace fs = std::filesystem;

const char* kScenario = R"({
  "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10"}, {"name": "LAB-PC", "ip": "192.168.1.12"}],
  "servers": [{"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS-Office"}]
})";

const std::string kReply =
    "<?xml version=\"1.0\"?><Firmware><Default><FW_Version><Major>9</Major><Minor>05</Minor>"
    "<Date>2026-11-02</Date></FW_Version><Download_Site><Global><Firmware>http://global.example/fw"
    "</Firmware></Global></Download_Site></Default></Firmware>";

// Answers every request with the newer version and keeps each request's head.
class VersionServer {
 public:
  VersionServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd_, 8);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { run(); });
  }
  ~VersionServer() {
    stop_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    thread_.join();
  }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void run() {
    while (!stop_) {
      const int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      timeval tv{5, 0};
      ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
      std::string head;
      char chunk[1024];
      while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384) {
        const ssize_t n = ::recv(c, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        head.append(chunk, static_cast<std::size_t>(n));
      }
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(head);
      }
      const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                                std::to_string(kReply.size()) + "\r\nConnection: close\r\n\r\n" + kReply;
      [[maybe_unused]] const auto n = ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
      ::close(c);
    }
  }

  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
};

class PeripheryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(dir / "scenario.json") << kScenario;
    env.insert(env.end(), {"XDG_CONFIG_HOME=" + (dir / "config").string(), "QT_QPA_PLATFORM=offscreen",
                           "TARVEX_VERSION_SERVER=" + server.host()});
  }
  static std::string bin(const char* name) { return test::programPath(name); }
  std::string run(const std::vector<std::string>& args) {
    test::Process p(args, env, (dir / "command.out").string());
    p.wait(5000);
    return p.output();
  }

  VersionServer server;
  test::ProgramFolder programFolder{"tarvex-e2e-"};
  const fs::path dir = programFolder.path();
  std::vector<std::string> env = programFolder.env();
};

TEST_F(PeripheryTest, FirewallSelfTestAndTheAutomaticVersionCheck) {
  test::Process simhost({bin("tarvex-simhost"), (dir / "scenario.json").string()}, env,
                        (dir / "simhost.out").string());
  ASSERT_TRUE(test::eventually([&] { return fs::exists(dir / "sim" / "simhost.sock"); }, 5000));
  test::Process tarvex({bin("tarvex")}, env, (dir / "tarvex.out").string());

  // 2 s after the start the first tick asks the version server, which names a newer version.
  ASSERT_TRUE(test::eventually([&] { return !server.requests().empty(); }, 15000)) << tarvex.output();
  const std::string request = server.requests().front();
  EXPECT_EQ(request.rfind("GET /router/firmware/query.asp?model=QRVA_A1_Default HTTP/1.1\r\n", 0), 0u)
      << request;
  EXPECT_NE(request.find("\r\nAccept: text/html, */*\r\n"), std::string::npos) << request;
  EXPECT_NE(request.find("\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"), std::string::npos)
      << request;
  ASSERT_TRUE(test::eventually(
      [&] { return tarvex.output().find("tarvex: notice: Velmora Network USB Utility v9.5 is\nnow avaiable !") !=
                   std::string::npos; },
      10000))
      << tarvex.output();

  // The check's date is in the computer's registry, read by a tool of its own.
  const std::string db = (dir / "sim" / "hosts" / "OFFICE-PC" / "registry.db").string();
  const auto lastDate = [&] {
    return run({"/usr/bin/sqlite3", db,
                "SELECT CAST(data AS TEXT) FROM vals WHERE name = 'Notify Last Date'"});
  };
  ASSERT_TRUE(test::eventually([&] { return std::atoll(lastDate().c_str()) > 0; }, 5000)) << lastDate();

  const std::string firewall = run({bin("tarvex-simctl"), "firewall", "OFFICE-PC"});
  EXPECT_NE(firewall.find("\"name\": \"Velmora Network USB Utility\""), std::string::npos) << firewall;
  EXPECT_NE(firewall.find("\"path\": \"" + bin("tarvex") + "\""), std::string::npos) << firewall;
  EXPECT_NE(firewall.find("\"name\": \"Velmora Network USB Utility UDP Port\""), std::string::npos) << firewall;
  EXPECT_NE(firewall.find("\"port\": 9303"), std::string::npos) << firewall;
  const std::string log = run({bin("tarvex-simctl"), "log"});
  EXPECT_NE(log.find("\"what\":\"udp\"") , std::string::npos) << log;
  EXPECT_NE(log.find("192.168.1.10:9303 -> 255.255.255.255:9303"), std::string::npos) << log;
  EXPECT_NE(log.find("\"request\":\"746573745f75647000\""), std::string::npos) << log;
  // No firewall message: the broadcast came back.
  EXPECT_EQ(tarvex.output().find("Firewall\n\nTCP Out Port"), std::string::npos) << tarvex.output();

  tarvex.signal(SIGTERM);
  EXPECT_EQ(tarvex.wait(10000), 0) << tarvex.output();
  simhost.signal(SIGTERM);
  EXPECT_EQ(simhost.wait(5000), 0);
}

// Each computer's installed version, as the simulated host writes it where the installer would,
// is what the automatic check compares the simulated version server's answer with: the older
// installation hears of 9.5, the one that has it does not.
TEST_F(PeripheryTest, TheAutomaticCheckComparesWithTheInstalledVersion) {
  std::ofstream(dir / "installed.json") << R"({
    "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10", "program": {"version": "9.4"}},
              {"name": "LAB-PC", "ip": "192.168.1.12",
               "program": {"directory": "C:\\Program Files\\Tarvex", "version": "9.5"}}],
    "versionReply": {"major": "9", "minor": "5", "date": "2026-11-02",
                     "sites": [{"name": "Global", "firmware": "http://global.example/fw"}]}
  })";
  test::Process simhost({bin("tarvex-simhost"), (dir / "installed.json").string()}, env,
                        (dir / "simhost.out").string());
  ASSERT_TRUE(test::eventually([&] { return fs::exists(dir / "sim" / "simhost.sock"); }, 5000));
  // The simulated host's own version server, and a runtime folder (single instance) per computer.
  auto computer = [&](const std::string& host) {
    fs::create_directories(dir / ("run-" + host));
    fs::permissions(dir / ("run-" + host), fs::perms::owner_all, fs::perm_options::replace);
    std::vector<std::string> e;
    for (const std::string& v : env)
      if (!v.starts_with("TARVEX_VERSION_SERVER=") && !v.starts_with("TARVEX_HOST=") &&
          !v.starts_with("XDG_RUNTIME_DIR="))
        e.push_back(v);
    e.push_back("TARVEX_HOST=" + host);
    e.push_back("XDG_RUNTIME_DIR=" + (dir / ("run-" + host)).string());
    return std::make_unique<test::Process>(std::vector<std::string>{bin("tarvex")}, e,
                                           (dir / (host + ".out")).string());
  };
  auto office = computer("OFFICE-PC");
  auto lab = computer("LAB-PC");
  const std::string notice = "tarvex: notice: Velmora Network USB Utility v9.5 is\nnow avaiable !";
  ASSERT_TRUE(test::eventually([&] { return office->output().find(notice) != std::string::npos; }, 15000))
      << office->output();
  const auto queries = [&] {
    const std::string log = run({bin("tarvex-simctl"), "log"});
    std::size_t n = 0;
    for (auto at = log.find("\"what\":\"http\""); at != std::string::npos;
         at = log.find("\"what\":\"http\"", at + 1))
      ++n;
    return n;
  };
  ASSERT_TRUE(test::eventually([&] { return queries() >= 2; }, 15000)) << run({bin("tarvex-simctl"), "log"});
  // The answer is dealt with before the end of the session is.
  lab->signal(SIGTERM);
  EXPECT_EQ(lab->wait(10000), 0) << lab->output();
  EXPECT_EQ(lab->output().find("now avaiable"), std::string::npos) << lab->output();
  office->signal(SIGTERM);
  EXPECT_EQ(office->wait(10000), 0) << office->output();
  simhost.signal(SIGTERM);
  EXPECT_EQ(simhost.wait(5000), 0);
}

}  // namespace
