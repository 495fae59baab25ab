#include <gtest/gtest.h>

#include "core/NetInfo.h"
#include "platform/SystemInfo.h"

namespace {

using platform::AdapterInfo;

struct FakeSystemInfo : platform::SystemInfo {
  std::optional<platform::OsVersion> version;
  std::optional<std::vector<AdapterInfo>> adapterList = std::vector<AdapterInfo>{};
  std::optional<std::vector<platform::InterfaceRow>> rows = std::vector<platform::InterfaceRow>{};
  std::optional<std::string> resolved;
  std::optional<std::string> computerName() override { return "OFFICE-PC"; }
  std::optional<platform::OsVersion> osVersion() override { return version; }
  std::optional<std::vector<AdapterInfo>> adapters() override { return adapterList; }
  std::optional<std::vector<platform::InterfaceRow>> interfaces() override { return rows; }
  std::optional<std::vector<std::uint16_t>> udpLocalPorts() override {
    return std::vector<std::uint16_t>{53, 9303};
  }
  std::optional<std::string> resolveHost(std::string_view name) override {
    return name == "OFFICE-PC" ? resolved : std::nullopt;
  }
};

class NetInfoTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::setSystemInfo(&fake); }
  void TearDown() override { platform::setSystemInfo(nullptr); }
  FakeSystemInfo fake;
};

AdapterInfo adapter(std::uint32_t type, std::uint8_t lastMacByte, const std::string& ip,
                    const std::string& gateway = "192.168.1.1") {
  AdapterInfo a;
  a.type = type;
  a.address = {0, 0, 0, 0, 0, lastMacByte, 0, 0};
  a.ip = ip;
  a.mask = "255.255.255.0";
  a.gateway = gateway;
  return a;
}

TEST_F(NetInfoTest, VersionFlags) {
  struct Case {
    std::uint32_t major, minor, flags;
  } cases[] = {{6, 1, 3}, {6, 0, 3}, {5, 0, 10}, {5, 1, 2}, {5, 2, 2}, {4, 0, 4}, {4, 10, 0},
               {3, 51, 0}, {10, 0, 0}};
  for (const auto& c : cases) {
    fake.version = platform::OsVersion{c.major, c.minor};
    std::uint32_t flags = 0xFF;
    core::GetWindowsVersion(flags);
    EXPECT_EQ(flags, c.flags) << c.major << "." << c.minor;
  }
  fake.version.reset();
  std::uint32_t flags = 0xFF;
  core::GetWindowsVersion(flags);
  EXPECT_EQ(flags, 0u);
}

TEST_F(NetInfoTest, OnlyEthernetAdaptersWithHardwareAndAddressCount) {
  AdapterInfo beyondSixth = adapter(platform::kIfTypeEthernet, 0, "10.0.0.9");
  beyondSixth.address[6] = 0x11;  // only bytes past the sixth are set
  fake.adapterList = std::vector<AdapterInfo>{
      adapter(platform::kIfTypeEthernet, 0, "10.0.0.1"),        // no hardware address
      adapter(platform::kIfTypePpp, 1, "10.0.0.2"),             // PPP
      adapter(platform::kIfTypeLoopback, 2, "127.0.0.1"),       // loopback
      adapter(platform::kIfTypeEthernet, 3, "0.0.0.0"),         // no address
      beyondSixth,
      adapter(platform::kIfTypeWireless, 4, "192.168.1.5"),     // wireless counts as Ethernet
      adapter(platform::kIfTypeEthernet, 5, "192.168.2.5", ""),  // no gateway
  };
  core::AdapterTable table;
  EXPECT_EQ(core::RefreshAdapterList(core::kWin5xOr6x, table), 2);
  EXPECT_TRUE(table.hasAdapters);
  EXPECT_EQ(table.address[0], "192.168.1.5");
  EXPECT_EQ(table.address[1], "192.168.2.5");
  EXPECT_EQ(table.hardware[0][5], 4);

  const auto gateways = core::CountActiveAdapters();
  ASSERT_EQ(gateways.size(), 2u);
  EXPECT_EQ(gateways[0], "192.168.1.1");
  EXPECT_EQ(gateways[1], "");
}

TEST_F(NetInfoTest, WalkAppendsAndStopsAtTenRows) {
  std::vector<AdapterInfo> many;
  for (std::uint8_t i = 1; i <= 12; ++i) many.push_back(adapter(platform::kIfTypeEthernet, i, "10.0.0.1"));
  fake.adapterList = many;
  core::AdapterTable table;
  table.count = 3;  // the walk appends to what it is given
  EXPECT_EQ(core::RefreshAdapterList(0, table), 10);
  EXPECT_EQ(core::CountActiveAdapters().size(), 10u);
}

TEST_F(NetInfoTest, NoUsableAdapterClearsTheFlagAndAFailedListingAddsNothing) {
  core::AdapterTable table;
  table.hasAdapters = true;
  EXPECT_EQ(core::RefreshAdapterList(0, table), 0);
  EXPECT_FALSE(table.hasAdapters);
  fake.adapterList.reset();
  EXPECT_TRUE(core::CountActiveAdapters().empty());
}

TEST_F(NetInfoTest, InterfaceTableRoadOnVersion40) {
  platform::InterfaceRow zero, set;
  set.physicalAddress[0] = 0xAA;
  set.type = platform::kIfTypePpp;  // any type counts on this road
  fake.rows = std::vector<platform::InterfaceRow>{zero, set};
  core::AdapterTable table;
  EXPECT_EQ(core::RefreshAdapterList(core::kWin40, table), 1);
  EXPECT_EQ(table.address[0], "0.0.0.0");
}

TEST_F(NetInfoTest, NetworkReadyUnlessTheNameResolvesToLoopbackOrNothing) {
  fake.resolved = "192.168.1.10";
  EXPECT_TRUE(core::GetLocalIpList());
  fake.resolved.reset();
  EXPECT_FALSE(core::GetLocalIpList());
  // Every loopback address, and answers that are no address, mean "not ready".
  for (const char* answer : {"127.0.0.1", "127.0.1.1", "0.0.0.0", "", "localhost", "300.1.1.1"}) {
    fake.resolved = answer;
    EXPECT_FALSE(core::GetLocalIpList()) << answer;
  }
}

TEST_F(NetInfoTest, UdpPortInUse) {
  EXPECT_TRUE(core::IsUdpPortInUse(9303));
  EXPECT_FALSE(core::IsUdpPortInUse(9304));
}

}  // namespace
