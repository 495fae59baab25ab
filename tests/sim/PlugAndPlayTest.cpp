#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/ConfigManager.h"
#include "sim/InProcessDeviceIo.h"
#include "sim/PlugAndPlay.h"
#include "sim/Scenario.h"
#include "sim/World.h"
#include "support/TempRegistry.h"

namespace {

const char* kWorld = R"({
  "hosts": [{"name": "A", "ip": "10.0.0.2"}, {"name": "B", "ip": "10.0.0.3"}],
  "servers": [{"ip": "10.0.0.20", "mac": "00:11:22:33:44:55", "name": "S", "devices": [
    {"port": 2, "vid": "04F9", "pid": "0A2B", "type": "Mass Storage", "serial": "SN1",
     "product": "Stick"},
    {"port": 3, "vid": "0781", "pid": "5581", "type": "MASS STORAGE", "serial": "",
     "holder": {"host": "B", "lockType": 2}},
    {"port": 4, "vid": "04F9", "pid": "0042", "type": "PRINTER", "serial": "P"}]}]
})";

TEST(PlugAndPlayTest, KeysFollowTheHolderAndTheBusyFlag) {
  test::TempRegistry registryOfA;
  std::vector<std::string> seen;
  sim::WorldOptions options;
  options.plugAndPlay = [&](const std::string& host, const sim::Device& d, bool present) {
    seen.push_back(host + ":" + std::to_string(d.port) + (present ? "+" : "-"));
    if (host == "A") sim::recordPlugAndPlay(registryOfA.get(), d, present);
  };
  platform::ManualClock clock;
  sim::World world(*sim::parseScenario(kWorld).setup, clock, options);
  EXPECT_EQ(seen, (std::vector<std::string>{"B:3+"}));  // held from the start

  const std::string key = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_04f9&Pid_0A2B\\SN1";
  EXPECT_EQ(sim::usbEnumKey(world.state().servers[0].devices[0]),
            "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_04f9&Pid_0A2B");
  ASSERT_EQ(world.take("A", {10, 0, 0, 20}, 2, 2, 3600), "");
  world.take("A", {10, 0, 0, 20}, 4, 2, 3600);  // a printer: nothing for plug and play
  auto instance = registryOfA.get().openKey(platform::RegRoot::LocalMachine, key, platform::kKeyRead);
  ASSERT_TRUE(instance);
  EXPECT_EQ(instance->value("Busy")->text, "0");
  EXPECT_EQ(instance->value("DeviceDesc")->text, "Stick");

  platform::DevNode node{"USB\\Vid_04f9&Pid_0A2B\\SN1"};
  std::uint32_t veto = 99;
  std::string vetoName;
  ASSERT_TRUE(platform::configManager().locateDevNode(node.instanceId));
  EXPECT_TRUE(platform::configManager().requestEject(node, veto, vetoName));
  EXPECT_EQ(veto, platform::kVetoTypeUnknown);

  ASSERT_EQ(world.setBusy({10, 0, 0, 20}, 2, true), "");
  EXPECT_EQ(registryOfA.get().openKey(platform::RegRoot::LocalMachine, key, platform::kKeyRead)
                ->value("Busy")->text, "1");
  EXPECT_FALSE(platform::configManager().requestEject(node, veto, vetoName));
  EXPECT_EQ(veto, platform::kVetoOutstandingOpen);

  ASSERT_EQ(world.release({10, 0, 0, 20}, 2), "");
  EXPECT_FALSE(registryOfA.get().openKey(platform::RegRoot::LocalMachine, key, platform::kKeyRead));
  EXPECT_FALSE(platform::configManager().locateDevNode(node.instanceId));
  EXPECT_EQ(seen.back(), "A:2-");
}

}  // namespace
