#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

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
  options.plugAndPlay = [&](const sim::PlugAndPlayChange& c) {
    seen.push_back(c.host + ":" + std::to_string(c.device.port) + (c.present ? "+" : "-"));
    if (c.host == "A") sim::recordPlugAndPlay(registryOfA.get(), c);
  };
  platform::ManualClock clock;
  sim::World world(*sim::parseScenario(kWorld).setup, clock, options);
  EXPECT_EQ(seen, (std::vector<std::string>{"B:3+"}));  // held from the start

  const std::string key = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_04f9&Pid_0A2B\\SN1";
  EXPECT_EQ(sim::usbEnumKey(world.state().servers[0].devices[0]),
            "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_04f9&Pid_0A2B");
  ASSERT_EQ(world.take("A", {10, 0, 0, 20}, 2, 2, 3600), "");
  world.take("A", {10, 0, 0, 20}, 4, 2, 3600);
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

namespace {

std::string withDevice(const std::string& device, const std::string& hostExtra = "") {
  return R"({"hosts": [{"name": "A", "ip": "10.0.0.2")" + hostExtra + R"(}],
    "servers": [{"ip": "10.0.0.20", "mac": "00:11:22:33:44:55", "name": "S", "devices": [)" +
         device + "]}]}";
}

TEST(PlugAndPlayTest, ScenarioShapesAreCheckedWithThePlaceNamed) {
  const std::string base = R"({"port": 1, "vid": 1, "pid": 2, )";
  const std::pair<std::string, std::string> faults[] = {
      {withDevice(base + R"("plugAndPlay": {"kind": "modem"}})"),
       "servers[0].devices[0].plugAndPlay.kind: expected one of \"printer\""},
      {withDevice(base + R"("plugAndPlay": {"interfaces": ["printer"]}})"),
       "plugAndPlay.interfaces: only a composite device has interfaces"},
      {withDevice(base + R"("plugAndPlay": {"kind": "composite"}})"),
       "plugAndPlay: a composite device needs \"interfaces\""},
      {withDevice(base + R"("plugAndPlay": {"kind": "composite", "interfaces": ["scanner", "dot4"]}})"),
       "plugAndPlay.interfaces[1]: a device has one scanner function at most"},
      {withDevice(base + R"("plugAndPlay": {"kind": "composite", "interfaces": ["tape"]}})"),
       "plugAndPlay.interfaces[0]: expected one of"},
      {withDevice(base + R"("plugAndPlay": {"scanner": {"deviceType": 4}}})"),
       "plugAndPlay.scanner.deviceType: expected an integer from 1 to 3"},
      {withDevice(base + R"("plugAndPlay": {"scanner": {"wia": {"formats": []}}}})"),
       "plugAndPlay.scanner.wia.formats: a device offers one format at least"},
      {withDevice(base + R"("plugAndPlay": {"scanner": {"wia": {"source": "adf"}}}})"),
       "plugAndPlay.scanner.wia.source: expected one of \"flatbed\", \"feeder\""},
      {withDevice(base + R"("plugAndPlay": {"scanner": {"wia": {"dpi": 2400}}}})"),
       "plugAndPlay.scanner.wia.dpi: expected an integer from 50 to 1200"},
      {withDevice(R"({"port": 1, "vid": 1, "pid": 2})", R"(, "installed": [{"server": "10.0.0.20", "port": 9}])"),
       "hosts[0].installed[0]: no device on port 9 of 10.0.0.20"},
  };
  for (const auto& [json, message] : faults) {
    const auto result = sim::parseScenario(json);
    EXPECT_FALSE(result.setup);
    EXPECT_NE(result.error.find(message), std::string::npos) << result.error;
  }
}

TEST(PlugAndPlayTest, TheShapeFollowsTheTypeUnlessTheScenarioNamesOne) {
  sim::Device d;
  const std::pair<const char*, const char*> byType[] = {
      {"Printer", "printer"}, {"MFP", "composite"}, {"scanner", "scanner"},
      {"MASS STORAGE", "storage"}, {"UNKNOWN", "vendor"}};
  for (const auto& [type, kind] : byType) {
    d.type = type;
    EXPECT_EQ(sim::effectiveShape(d).kind, kind) << type;
  }
  d.type = "MFP";
  EXPECT_EQ(sim::effectiveShape(d).interfaces, (std::vector<std::string>{"printer", "fax", "scanner"}));
  EXPECT_NE(sim::stillImageDeviceId(d), "");
  d.plugAndPlay.kind = "printer";
  EXPECT_EQ(sim::stillImageDeviceId(d), "") << "a plain printer has no scanner";
}

// Every key a link wrote goes with the link; what belongs to the computer (its queues) stays.
TEST(PlugAndPlayTest, ALinkLeavesNoKeyBehind) {
  test::TempRegistry registry;
  const auto setup = sim::parseScenario(withDevice(
      R"({"port": 5, "vid": "03F0", "pid": "3817", "type": "MFP", "serial": "CN2",
          "plugAndPlay": {"kind": "composite", "interfaces": ["printer", "fax", "dot4"]}})",
      R"(, "queues": [{"name": "P", "port": "USB001", "device": {"server": "10.0.0.20", "port": 5}},
                      {"name": "P Fax", "port": "USB002", "device": {"server": "10.0.0.20", "port": 5}}])"));
  ASSERT_TRUE(setup.setup) << setup.error;
  sim::resetPlugAndPlay(registry.get(), setup.setup->hosts[0]);
  auto dump = [&] {
    std::vector<std::string> keys;
    std::function<void(const std::string&)> walk = [&](const std::string& path) {
      auto k = registry.get().openKey(platform::RegRoot::LocalMachine, path, platform::kKeyRead);
      if (!k) return;
      keys.push_back(path);
      for (const auto& name : k->subKeyNames()) walk(path.empty() ? name : path + "\\" + name);
    };
    walk("");
    return keys;
  };
  const auto before = dump();
  sim::WorldOptions options;
  options.plugAndPlay = [&](const sim::PlugAndPlayChange& c) { sim::recordPlugAndPlay(registry.get(), c); };
  platform::ManualClock clock;
  sim::World world(*setup.setup, clock, options);
  ASSERT_EQ(world.take("A", {10, 0, 0, 20}, 5, 1, 1200), "");
  EXPECT_GT(dump().size(), before.size() + 10);
  auto pnp = registry.get().openKey(platform::RegRoot::LocalMachine,
                                    "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P Fax\\PnPData",
                                    platform::kKeyRead);
  ASSERT_TRUE(pnp);
  EXPECT_EQ(pnp->value("DeviceInstanceId")->text.rfind("USBPRINT\\", 0), 0u);
  ASSERT_EQ(world.release({10, 0, 0, 20}, 5), "");
  EXPECT_EQ(dump(), before);
}

}  // namespace
