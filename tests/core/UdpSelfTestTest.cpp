// The UDP self-test on the simulated network run in process, with a clock that only moves when
// slept on: the time-outs cost no real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "core/NetInfo.h"
#include "core/UdpSelfTest.h"
#include "platform/Clock.h"
#include "platform/SystemInfo.h"
#include "sim/InProcessNetwork.h"
#include "sim/World.h"

namespace {

const sim::Ipv4 kOffice = {192, 168, 1, 10};
const sim::Ipv4 kLab = {192, 168, 1, 12};

sim::Adapter adapterOn(const sim::Ipv4& ip) {
  sim::Adapter a;
  a.mac = {0x02, 0, ip[0], ip[1], ip[2], ip[3]};
  a.ip = ip;
  return a;
}

sim::WorldSetup network() {
  sim::WorldSetup setup;
  sim::Host office, lab;
  office.name = "OFFICE-PC";
  office.ip = kOffice;
  office.adapters = {adapterOn(kOffice)};
  lab.name = "LAB-PC";
  lab.ip = kLab;
  lab.adapters = {adapterOn(kLab)};
  setup.hosts = {office, lab};
  return setup;
}

// The adapters the program sees: the office computer's, or as many as a test wants.
struct Adapters : platform::SystemInfo {
  std::vector<platform::AdapterInfo> list;
  int walks = 0;
  std::optional<std::string> computerName() override { return "OFFICE-PC"; }
  std::optional<platform::OsVersion> osVersion() override { return platform::OsVersion{6, 1}; }
  std::optional<std::vector<platform::AdapterInfo>> adapters() override {
    ++walks;
    return list;
  }
  std::optional<std::vector<platform::InterfaceRow>> interfaces() override { return std::nullopt; }
  std::optional<std::vector<std::uint16_t>> udpLocalPorts() override { return std::nullopt; }
  std::optional<std::string> resolveHost(std::string_view) override { return "192.168.1.10"; }
  void add(const std::string& ip, std::uint8_t macByte) {
    platform::AdapterInfo a;
    a.address = {0x02, 0, 0, 0, 0, macByte, 0, 0};
    a.ip = ip;
    a.mask = "255.255.255.0";
    list.push_back(a);
  }
};

class UdpSelfTestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    adapters.add("192.168.1.10", 1);
    platform::setClock(&clock);
    platform::setSystemInfo(&adapters);
    platform::setUdpNetwork(udp.get());
  }
  void TearDown() override {
    core::CloseUdpSockets();
    platform::setUdpNetwork(nullptr);
    platform::setSystemInfo(nullptr);
    platform::setClock(nullptr);
  }
  std::vector<sim::LogEntry> logOf(const std::string& what) {
    std::vector<sim::LogEntry> out;
    for (auto& e : world.log(0, 4096))
      if (e.what == what) out.push_back(e);
    return out;
  }
  std::vector<std::uint16_t> boundPorts(const std::string& host) {
    for (const auto& h : world.state().hosts)
      if (h.host.name == host) return h.host.udp.boundPorts;
    return {};
  }

  platform::ManualClock clock;
  sim::World world{network(), clock};
  std::unique_ptr<platform::UdpNetwork> udp = sim::makeInProcessUdpNetwork(world, "OFFICE-PC");
  Adapters adapters;
};

TEST_F(UdpSelfTestTest, TheBroadcastComesBackAtOnce) {
  core::NetInit();
  ASSERT_TRUE(core::OpenUdpSockets(false));
  EXPECT_TRUE(core::UdpSelfTest());
  const auto sends = logOf("udp");
  ASSERT_EQ(sends.size(), 1u);
  EXPECT_EQ(sends[0].device, "192.168.1.10:9303 -> 255.255.255.255:9303");
  EXPECT_EQ(sim::toHex(sends[0].request), "746573745f75647000");  // "test_udp" and its NUL
  EXPECT_EQ(clock.sleptMs(), 0);
}

TEST_F(UdpSelfTestTest, AFirewallThatDropsItFailsAfterThreeSendsAndAbout4Point2Seconds) {
  int pumps = 0;
  ASSERT_EQ(world.setUdpDrop("OFFICE-PC", true), "");
  core::NetInit();
  ASSERT_TRUE(core::OpenUdpSockets(false));
  EXPECT_FALSE(core::UdpSelfTest([&] { ++pumps; }));
  const auto sends = logOf("udp");
  ASSERT_EQ(sends.size(), 3u);
  EXPECT_EQ(sends[0].result, "dropped");
  EXPECT_EQ(clock.sleptMs(), 3 * 2 * 700);  // two receive time-outs per attempt
  EXPECT_EQ(pumps, 6);                       // the window messages ran before every read
}

TEST_F(UdpSelfTestTest, AFailedSendCountsAsSuccess) {
  ASSERT_EQ(world.setUdpFailSend("OFFICE-PC", true), "");
  core::NetInit();
  ASSERT_TRUE(core::OpenUdpSockets(false));
  EXPECT_TRUE(core::UdpSelfTest());
  EXPECT_EQ(logOf("udp").at(0).result, "failed");
}

TEST_F(UdpSelfTestTest, OtherComputersOnTheNetworkReceiveTheBroadcastToo) {
  auto lab = sim::makeInProcessUdpNetwork(world, "LAB-PC");
  const auto s = lab->open().socket;
  ASSERT_EQ(lab->bind(s, {{192, 168, 1, 12}, 9303}), 0);
  core::NetInit();
  ASSERT_TRUE(core::OpenUdpSockets(false));
  ASSERT_TRUE(core::UdpSelfTest());
  std::vector<std::uint8_t> bytes;
  platform::UdpAddress from;
  ASSERT_EQ(lab->receiveFrom(s, 64, bytes, from), 0);
  EXPECT_EQ(bytes.size(), 9u);
  EXPECT_EQ(from, (platform::UdpAddress{{192, 168, 1, 10}, 9303}));
  EXPECT_EQ(logOf("udp").at(0).returned, 2u);  // the sender's socket and the lab's
}

TEST_F(UdpSelfTestTest, APortTakenByAnotherProgramRefusesTheBindAndPortZeroGetsAnotherOne) {
  ASSERT_EQ(world.setUdpPortTaken("OFFICE-PC", 9303, true), "");
  core::NetInit();
  EXPECT_FALSE(core::OpenUdpSockets(false));
  EXPECT_EQ(core::UdpSocketSlots()[0], 0);  // the failed socket was closed and its slot cleared
  EXPECT_FALSE(core::UdpSocketsOpen());
  ASSERT_TRUE(core::OpenUdpSockets(true));
  EXPECT_EQ(boundPorts("OFFICE-PC"), std::vector<std::uint16_t>{49152});
}

TEST_F(UdpSelfTestTest, ARetryClosesWhatAnEarlierOpenLeftBehind) {
  adapters.add("10.9.9.9", 2);  // an address the computer does not have: its bind fails
  core::NetInit();
  EXPECT_FALSE(core::OpenUdpSockets(false));
  EXPECT_NE(core::UdpSocketSlots()[0], 0);  // the first row's socket stays open meanwhile
  EXPECT_EQ(boundPorts("OFFICE-PC"), std::vector<std::uint16_t>{9303});
  EXPECT_FALSE(core::OpenUdpSockets(true));
  // Not two sockets on the first row: the one left open was closed before the retry.
  EXPECT_EQ(boundPorts("OFFICE-PC"), std::vector<std::uint16_t>{49152});
  core::CloseUdpSockets();
  core::CloseUdpSockets();  // twice is harmless
  EXPECT_TRUE(boundPorts("OFFICE-PC").empty());
}

TEST_F(UdpSelfTestTest, MoreAdaptersThanTheTableHoldsStopAtItsSize) {
  for (std::uint8_t i = 2; i <= 12; ++i) adapters.add("192.168.1.10", i);
  core::NetInit();
  EXPECT_EQ(core::adapterTable().count, core::AdapterTable::kRows);
  // Every row carries the same address here: the second bind on it is refused.
  EXPECT_FALSE(core::OpenUdpSockets(false));
  EXPECT_EQ(std::count_if(core::UdpSocketSlots().begin(), core::UdpSocketSlots().end(),
                          [](platform::UdpSocket s) { return s != 0; }),
            1);
}

TEST_F(UdpSelfTestTest, WithoutAdaptersItWalksThreeTimesAndOpensNothing) {
  adapters.list.clear();
  core::NetInit();
  EXPECT_EQ(adapters.walks, 3);
  EXPECT_EQ(clock.sleptMs(), 2000);
  EXPECT_FALSE(core::OpenUdpSockets(false));
  EXPECT_TRUE(logOf("udp-bind").empty());
}

// Received datagrams, scripted: what each read gets.
struct Scripted : platform::UdpNetwork {
  std::deque<std::pair<int, std::vector<std::uint8_t>>> reads;
  int sends = 0, receives = 0;
  platform::UdpOpen open() override { return {1, 0}; }
  int setBroadcast(platform::UdpSocket, bool) override { return 0; }
  int bind(platform::UdpSocket, const platform::UdpAddress&) override { return 0; }
  int setReceiveTimeout(platform::UdpSocket, std::uint32_t) override { return 0; }
  int sendTo(platform::UdpSocket, std::span<const std::uint8_t>, const platform::UdpAddress&) override {
    ++sends;
    return 0;
  }
  int receiveFrom(platform::UdpSocket, std::size_t, std::vector<std::uint8_t>& bytes,
                  platform::UdpAddress&) override {
    ++receives;
    if (reads.empty()) return platform::kWsaETimedOut;
    auto [error, data] = reads.front();
    reads.pop_front();
    bytes = data;
    return error;
  }
  void close(platform::UdpSocket) override {}
};

std::vector<std::uint8_t> bytesOf(const std::string& s, bool nul) {
  std::vector<std::uint8_t> b(s.begin(), s.end());
  if (nul) b.push_back(0);
  return b;
}

TEST_F(UdpSelfTestTest, OnlyTheSameNineBytesEndTheTest) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, std::vector<std::uint8_t>>> reads;
    bool passes;
    int sends, receives;
  };
  const std::vector<Case> cases = {
      {"other datagrams are skipped", {{0, bytesOf("hello", true)}, {0, bytesOf("test_udp", true)}}, true, 1, 2},
      {"without its NUL it still matches the cleared buffer", {{0, bytesOf("test_udp", false)}}, true, 1, 1},
      {"longer, same first nine bytes", {{0, bytesOf(std::string("test_udp\0more", 13), false)}}, true, 1, 1},
      {"an empty datagram", {{0, {}}}, false, 3, 7},
      {"an error other than a time-out ends the attempt", {{platform::kWsaEMsgSize, bytesOf("test_udp", true)}},
       false, 3, 5},
      {"nothing at all", {}, false, 3, 6},
  };
  for (const Case& c : cases) {
    Scripted net;
    net.reads = {c.reads.begin(), c.reads.end()};
    platform::setUdpNetwork(&net);
    core::NetInit();
    ASSERT_TRUE(core::OpenUdpSockets(false));
    EXPECT_EQ(core::UdpSelfTest(), c.passes) << c.name;
    EXPECT_EQ(net.sends, c.sends) << c.name;
    EXPECT_EQ(net.receives, c.receives) << c.name;
    core::CloseUdpSockets();
  }
  platform::setUdpNetwork(udp.get());
}

}  // namespace
