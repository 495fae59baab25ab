// The simulated network: datagram delivery, its switches, the firewall profile, their scenario
// keys and control commands.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/Clock.h"
#include "sim/InProcessNetwork.h"
#include "sim/Scenario.h"
#include "sim/SimCtlArgs.h"
#include "sim/VersionServer.h"
#include "sim/World.h"
#include "sim/WorldCommands.h"

namespace {

using nlohmann::json;
using platform::UdpAddress;

// Two computers on 192.168.1.0/24 and one on another network.
const char* kScenario = R"({
  "hosts": [
    {"name": "OFFICE-PC", "ip": "192.168.1.10",
     "firewall": {"ports": [{"port": 80, "protocol": 6, "name": "Web", "enabled": false}],
                  "applications": [{"path": "/usr/bin/other", "name": "Other"}]}},
    {"name": "LAB-PC", "ip": "192.168.1.12"},
    {"name": "FAR-PC", "ip": "10.1.0.5"}
  ],
  "versionReply": {"major": "2", "minor": "05", "date": "2026-07-10",
                   "sites": [{"name": "Global", "firmware": "http://example.invalid/fw.zip"}]}
})";

class Network : public ::testing::Test {
 protected:
  void SetUp() override { platform::setClock(&clock); }
  void TearDown() override { platform::setClock(nullptr); }
  std::unique_ptr<platform::UdpNetwork> on(const std::string& host) {
    return sim::makeInProcessUdpNetwork(world, host);
  }
  // A socket bound to the address, allowed to broadcast.
  platform::UdpSocket bound(platform::UdpNetwork& n, UdpAddress at) {
    const auto s = n.open().socket;
    EXPECT_EQ(n.setBroadcast(s, true), 0);
    EXPECT_EQ(n.bind(s, at), 0);
    EXPECT_EQ(n.setReceiveTimeout(s, 100), 0);
    return s;
  }
  std::string run(const json& command) {
    const auto r = sim::runCommand(world, command.dump());
    return r.ok ? r.text : "refused: " + r.text;
  }

  platform::ManualClock clock;
  sim::World world{*sim::parseScenario(kScenario).setup, clock};
};

TEST_F(Network, ABroadcastReachesEverySocketOnItsNetworkOnly) {
  auto office = on("OFFICE-PC"), lab = on("LAB-PC"), far = on("FAR-PC");
  const auto o = bound(*office, {{192, 168, 1, 10}, 9303});
  const auto l = bound(*lab, {{0, 0, 0, 0}, 9303});
  const auto f = bound(*far, {{10, 1, 0, 5}, 9303});
  const auto other = bound(*lab, {{192, 168, 1, 12}, 9400});
  const std::vector<std::uint8_t> hello = {'h', 'i'};
  ASSERT_EQ(office->sendTo(o, hello, {platform::kBroadcastIp, 9303}), 0);
  std::vector<std::uint8_t> got;
  UdpAddress from;
  for (auto [net, s] : {std::pair{office.get(), o}, std::pair{lab.get(), l}}) {
    ASSERT_EQ(net->receiveFrom(s, 64, got, from), 0);
    EXPECT_EQ(got, hello);
    EXPECT_EQ(from, (UdpAddress{{192, 168, 1, 10}, 9303}));
  }
  EXPECT_EQ(far->receiveFrom(f, 64, got, from), platform::kWsaETimedOut);
  EXPECT_EQ(lab->receiveFrom(other, 64, got, from), platform::kWsaETimedOut);
  EXPECT_EQ(clock.sleptMs(), 200);  // the two time-outs, on the test's clock
  // A datagram longer than the room is cut and says so; unicast reaches the one address.
  ASSERT_EQ(lab->sendTo(other, std::vector<std::uint8_t>(100, 7), {{192, 168, 1, 10}, 9303}), 0);
  EXPECT_EQ(office->receiveFrom(o, 64, got, from), platform::kWsaEMsgSize);
  EXPECT_EQ(got.size(), 64u);
}

TEST_F(Network, BindAndSendRules) {
  auto office = on("OFFICE-PC");
  const auto a = office->open().socket;
  EXPECT_EQ(office->bind(a, {{192, 168, 1, 99}, 9303}), platform::kWsaEAddrNotAvail);
  EXPECT_EQ(office->bind(a, {{192, 168, 1, 10}, 9303}), 0);
  EXPECT_EQ(office->bind(a, {{192, 168, 1, 10}, 9304}), platform::kWsaEInval);  // bound already
  const auto b = office->open().socket;
  EXPECT_EQ(office->bind(b, {{0, 0, 0, 0}, 9303}), platform::kWsaEAddrInUse);
  // Broadcasting needs the option.
  EXPECT_EQ(office->sendTo(a, std::vector<std::uint8_t>{1}, {platform::kBroadcastIp, 9303}),
            platform::kWsaEAccess);
  EXPECT_EQ(office->sendTo(a, std::vector<std::uint8_t>{1}, {{192, 168, 1, 255}, 9303}),
            platform::kWsaEAccess);  // the network's own broadcast address too
  office->close(a);
  EXPECT_EQ(office->bind(b, {{0, 0, 0, 0}, 9303}), 0);
  EXPECT_EQ(office->sendTo(999, std::vector<std::uint8_t>{1}, {platform::kBroadcastIp, 9303}),
            platform::kWsaENotSock);
  // Another computer's socket is not this one's.
  EXPECT_EQ(on("LAB-PC")->setBroadcast(b, true), platform::kWsaENotSock);
}

TEST_F(Network, SwitchesDropTakeAndFailAndForeignDatagramsArrive) {
  auto lab = on("LAB-PC");
  EXPECT_EQ(run({{"cmd", "udp-port"}, {"host", "LAB-PC"}, {"port", 9303}, {"state", "taken"}}), "");
  const auto s = lab->open().socket;
  lab->setReceiveTimeout(s, 100);
  EXPECT_EQ(lab->bind(s, {{192, 168, 1, 12}, 9303}), platform::kWsaEAddrInUse);
  EXPECT_EQ(run({{"cmd", "udp-port"}, {"host", "LAB-PC"}, {"port", 9303}, {"state", "free"}}), "");
  ASSERT_EQ(lab->bind(s, {{192, 168, 1, 12}, 9303}), 0);

  EXPECT_EQ(run({{"cmd", "udp-datagram"}, {"host", "LAB-PC"}, {"data", "hex:746573745f75647000"},
                 {"source", "192.168.1.77"}}),
            "");
  std::vector<std::uint8_t> got;
  UdpAddress from;
  ASSERT_EQ(lab->receiveFrom(s, 64, got, from), 0);
  EXPECT_EQ(got.size(), 9u);
  EXPECT_EQ(from.ip, (std::array<std::uint8_t, 4>{192, 168, 1, 77}));

  EXPECT_EQ(run({{"cmd", "udp-drop"}, {"host", "LAB-PC"}, {"state", "on"}}), "");
  EXPECT_EQ(run({{"cmd", "udp-datagram"}, {"host", "LAB-PC"}, {"data", "x"}}), "");
  EXPECT_EQ(lab->receiveFrom(s, 64, got, from), platform::kWsaETimedOut);

  EXPECT_EQ(run({{"cmd", "udp-fail-send"}, {"host", "LAB-PC"}, {"state", "on"}}), "");
  EXPECT_EQ(lab->sendTo(s, std::vector<std::uint8_t>{1}, {{192, 168, 1, 10}, 9303}),
            platform::kWsaENetUnreach);

  for (const json& bad : {json{{"cmd", "udp-drop"}, {"host", "GHOST"}, {"state", "on"}},
                          json{{"cmd", "udp-drop"}, {"host", "LAB-PC"}, {"state", "maybe"}},
                          json{{"cmd", "udp-datagram"}, {"host", "LAB-PC"}, {"data", "hex:7"}},
                          json{{"cmd", "udp-port"}, {"host", "LAB-PC"}, {"port", 0}, {"state", "taken"}}})
    EXPECT_EQ(run(bad).rfind("refused: ", 0), 0u) << bad.dump();
}

TEST_F(Network, TheFirewallCommandShowsTheProfileAndItsWaitingFaults) {
  EXPECT_EQ(run({{"cmd", "firewall-fail"}, {"host", "OFFICE-PC"}, {"step", "add-port"},
                 {"code", "0x80070005"}}),
            "");
  const json page = json::parse(run({{"cmd", "firewall"}, {"host", "OFFICE-PC"}}));
  EXPECT_EQ(page["ports"], json::parse(R"([{"port": 80, "protocol": 6, "name": "Web", "enabled": false}])"));
  EXPECT_EQ(page["applications"],
            json::parse(R"([{"path": "/usr/bin/other", "name": "Other", "enabled": true}])"));
  EXPECT_EQ(page["faults"], json::parse(R"([{"step": "add-port", "code": "0x80070005"}])"));
  auto fw = sim::makeInProcessFirewall(world, "OFFICE-PC");
  EXPECT_EQ(fw->call({platform::FirewallStep::AddPort, 9303, 17, "", "P"}).hr, platform::kEAccessDenied);
  EXPECT_EQ(fw->call({platform::FirewallStep::AddPort, 9303, 17, "", "P"}).hr, platform::kSOk);  // once
  for (const json& bad : {json{{"cmd", "firewall"}, {"host", "GHOST"}},
                          json{{"cmd", "firewall-fail"}, {"host", "OFFICE-PC"}, {"step", "explode"}},
                          json{{"cmd", "firewall-fail"}, {"host", "OFFICE-PC"}, {"step", "add-port"},
                               {"code", "0x1"}}})
    EXPECT_EQ(run(bad).rfind("refused: ", 0), 0u) << bad.dump();
}

TEST(NetworkScenario, VersionReplyAndFirewallKeysAreReadAndChecked) {
  const auto ok = sim::parseScenario(kScenario);
  ASSERT_TRUE(ok.setup) << ok.error;
  ASSERT_TRUE(ok.setup->versionReply);
  EXPECT_EQ(ok.setup->versionReply->minor, "05");
  EXPECT_EQ(ok.setup->versionReply->sites.at(0).name, "Global");
  EXPECT_EQ(ok.setup->hosts[0].firewall.ports.at(0).protocol, 6);
  struct Bad {
    const char* json;
    const char* expected;
  };
  const Bad cases[] = {
      {R"({"hosts": [{"name": "A", "ip": "1.2.3.4"}], "versionReply": {"status": 700}})",
       "versionReply.status: expected an integer from 100 to 599"},
      {R"({"hosts": [{"name": "A", "ip": "1.2.3.4"}], "versionReply": {"sites": [{"name": "Two Words"}]}})",
       "versionReply.sites[0].name"},
      {R"({"hosts": [{"name": "A", "ip": "1.2.3.4"}], "versionReply": {"colour": 1}})",
       "versionReply: unknown key \"colour\""},
      {R"({"hosts": [{"name": "A", "ip": "1.2.3.4", "firewall": {"ports": [{"port": 70000}]}}]})",
       "hosts[0].firewall.ports[0].port"},
      {R"({"hosts": [{"name": "A", "ip": "1.2.3.4", "firewall": {"applications": [{"name": "x"}]}}]})",
       "hosts[0].firewall.applications[0]: missing \"path\""},
  };
  for (const Bad& c : cases) {
    const auto r = sim::parseScenario(c.json);
    EXPECT_FALSE(r.setup) << c.json;
    EXPECT_NE(r.error.find(c.expected), std::string::npos) << r.error;
  }
}

// Sends `request` whole, closes the sending side and returns everything the server answered.
std::string askHttp(std::uint16_t port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size())) {
    ::shutdown(fd, SHUT_WR);
    char chunk[4096];
    for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
      answer.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return answer;
}

TEST_F(Network, TheVersionServerAnswersTheQueryAndRefusesTheRest) {
  sim::VersionServer server(world);
  std::string error;
  ASSERT_TRUE(server.start(error)) << error;
  struct Case {
    std::string request;
    std::string statusLine;
    std::string bodyHas;
  };
  const Case cases[] = {
      {std::string("GET ") + sim::kVersionQueryPath + " HTTP/1.1\r\nHost: x\r\n\r\n",
       "HTTP/1.1 200 OK\r\n", "<Minor>05</Minor>"},
      {"GET /other HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\n", ""},
      {"GET /cut short", "HTTP/1.1 400 Bad Request\r\n", ""},
  };
  for (const Case& c : cases) {
    const std::string answer = askHttp(server.port(), c.request);
    EXPECT_EQ(answer.substr(0, c.statusLine.size()), c.statusLine) << c.request;
    const std::size_t body = answer.find("\r\n\r\n");
    EXPECT_NE(body, std::string::npos) << answer;
    if (body != std::string::npos) {
      EXPECT_NE(answer.find(c.bodyHas, body), std::string::npos) << answer;
    }
  }
  server.stop();
  // Started again after a stop, it answers again.
  ASSERT_TRUE(server.start(error)) << error;
  EXPECT_EQ(askHttp(server.port(), cases[1].request).substr(0, cases[1].statusLine.size()),
            cases[1].statusLine);
}

TEST(NetworkCtlArgs, WordsBecomeRequests) {
  struct Case {
    std::vector<std::string> words;
    std::string request;
  };
  const Case cases[] = {
      {{"firewall", "OFFICE-PC"}, R"({"cmd":"firewall","host":"OFFICE-PC"})"},
      {{"firewall-fail", "A", "add-port", "--code", "0x80070005"},
       R"({"cmd":"firewall-fail","host":"A","step":"add-port","code":"0x80070005"})"},
      {{"udp-port", "A", "9303", "taken"}, R"({"cmd":"udp-port","host":"A","port":9303,"state":"taken"})"},
      {{"udp-datagram", "A", "hello", "--from", "1.2.3.4"},
       R"({"cmd":"udp-datagram","host":"A","data":"hello","source":"1.2.3.4"})"},
      {{"udp-drop", "A"}, ""},
      {{"udp-port", "A", "many", "taken"}, ""},
  };
  for (const Case& c : cases) {
    const sim::CtlArgs a = sim::parseCtlArgs(c.words);
    if (c.request.empty()) EXPECT_FALSE(a.error.empty()) << a.request.dump();
    else EXPECT_EQ(a.request, json::parse(c.request)) << a.error;
  }
}

}  // namespace
