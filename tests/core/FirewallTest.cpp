// The firewall entries against a simulated computer's profile, run in process.
#include <gtest/gtest.h>

#include <thread>

#include "core/Firewall.h"
#include "platform/Clock.h"
#include "platform/Com.h"
#include "sim/InProcessNetwork.h"
#include "sim/World.h"

namespace {

using platform::FirewallStep;

const std::string kProgram = "/opt/tarvex/bin/tarvex";
const std::string kProduct = "Velmora Network USB Utility";

sim::WorldSetup oneComputer(sim::FirewallProfile profile = {}) {
  sim::WorldSetup setup;
  sim::Host h;
  h.name = "OFFICE-PC";
  h.ip = {192, 168, 1, 10};
  h.firewall = std::move(profile);
  setup.hosts = {h};
  return setup;
}

class FirewallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::setFirewallOutput([this](const std::string& text) { said += text; });
  }
  void TearDown() override {
    platform::setFirewall(nullptr);
    core::setFirewallOutput({});
  }
  void use(sim::FirewallProfile profile) {
    world = std::make_unique<sim::World>(oneComputer(std::move(profile)), clock);
    firewall = sim::makeInProcessFirewall(*world, "OFFICE-PC");
    platform::setFirewall(firewall.get());
  }
  // What the start-up does, in its order.
  std::pair<bool, bool> addBoth() {
    const bool app = core::FirewallAddApp(kProgram, kProduct);
    const bool port = core::FirewallOpenUdpPort(core::kFirewallUdpPort, core::FirewallPortEntryName(kProduct));
    return {app, port};
  }
  sim::FirewallProfile profile() { return world->firewallOf("OFFICE-PC")->profile; }
  std::size_t adds() {
    std::size_t n = 0;
    for (const auto& e : world->log(0, 100)) n += e.what == "firewall";
    return n;
  }

  platform::ManualClock clock;
  std::unique_ptr<sim::World> world;
  std::unique_ptr<platform::Firewall> firewall;
  std::string said;
};

TEST_F(FirewallTest, AbsentEntriesAreAddedUnderTheProductsNames) {
  use({});
  EXPECT_EQ(addBoth(), std::make_pair(true, true));
  const auto p = profile();
  ASSERT_EQ(p.applications.size(), 1u);
  EXPECT_EQ(p.applications[0].path, kProgram);
  EXPECT_EQ(p.applications[0].name, "Velmora Network USB Utility");
  EXPECT_TRUE(p.applications[0].enabled);
  ASSERT_EQ(p.ports.size(), 1u);
  EXPECT_EQ(p.ports[0].port, 9303);
  EXPECT_EQ(p.ports[0].protocol, 17);
  EXPECT_EQ(p.ports[0].name, "Velmora Network USB Utility UDP Port");
  EXPECT_EQ(said,
            "Authorized application " + kProgram + " is disabled in the firewall.\n"
            "Authorized application " + kProgram + " is now enabled in the firewall.\n"
            "Port 9303 is not open in the firewall.\n"
            "Port 9303 is now open in the firewall.\n");
  EXPECT_EQ(platform::ComInitCount(), 0);  // initialised and let go around each call
}

TEST_F(FirewallTest, EnabledEntriesAreLeftAloneAndDisabledOnesAddedAgain) {
  use({{{9303, 17, "old port name", true}}, {{kProgram, "old app name", false}}});
  EXPECT_EQ(addBoth(), std::make_pair(true, true));
  const auto p = profile();
  ASSERT_EQ(p.ports.size(), 1u);
  EXPECT_EQ(p.ports[0].name, "old port name");  // untouched
  ASSERT_EQ(p.applications.size(), 1u);          // replaced, not added twice
  EXPECT_EQ(p.applications[0].name, kProduct);
  EXPECT_TRUE(p.applications[0].enabled);
  EXPECT_EQ(adds(), 1u);
  EXPECT_NE(said.find("Port 9303 is open in the firewall.\n"), std::string::npos);
  // A second start changes nothing.
  EXPECT_EQ(addBoth(), std::make_pair(true, true));
  EXPECT_EQ(adds(), 1u);
}

TEST_F(FirewallTest, AFailingStepMakesItsCallFalseWithItsText) {
  struct Case {
    FirewallStep step;
    platform::HResult hr;
    bool appOk, portOk;
    const char* text;
  };
  const Case cases[] = {
      {FirewallStep::CreateManager, platform::kRegdbEClassNotReg, false, true, "CoCreateInstance failed: 0x80040154\n"},
      {FirewallStep::GetCurrentProfile, platform::kEFail, false, true, "get_CurrentProfile failed: 0x80004005\n"},
      // A lookup that fails counts as "not there": the entry is added.
      {FirewallStep::ApplicationItem, platform::kEFail, true, true, " is disabled in the firewall.\n"},
      {FirewallStep::PutProcessImageFileName, platform::kEFail, false, true, "put_ProcessImageFileName failed: 0x80004005\n"},
      {FirewallStep::AddApplication, platform::kEFail, false, true, "WindowsFirewallAddApp failed: 0x80004005\n"},
      {FirewallStep::GetGloballyOpenPorts, platform::kEFail, true, false, "WindowsFirewallPortIsEnabled failed: 0x80004005\n"},
      {FirewallStep::PutProtocol, platform::kEFail, true, false, "put_Protocol failed: 0x80004005\n"},
      {FirewallStep::AddPort, platform::kEAccessDenied, true, false, "Add failed: 0x80070005\n"},
  };
  for (const Case& c : cases) {
    use({});
    said.clear();
    ASSERT_EQ(world->failFirewallStep("OFFICE-PC", c.step, c.hr), "");
    EXPECT_EQ(addBoth(), std::make_pair(c.appOk, c.portOk)) << platform::firewallStepName(c.step);
    EXPECT_NE(said.find(c.text), std::string::npos) << said;
    // Only the failing call's entry is missing.
    EXPECT_EQ(profile().applications.size(), c.appOk ? 1u : 0u) << platform::firewallStepName(c.step);
    EXPECT_EQ(profile().ports.size(), c.portOk ? 1u : 0u) << platform::firewallStepName(c.step);
    EXPECT_EQ(platform::ComInitCount(), 0);
  }
}

TEST_F(FirewallTest, AnEmptyNameIsOutOfMemory) {
  use({});
  EXPECT_FALSE(core::FirewallOpenUdpPort(9303, ""));
  EXPECT_NE(said.find("SysAllocString failed: 0x8007000e\n"), std::string::npos);
  EXPECT_TRUE(profile().ports.empty());
}

TEST_F(FirewallTest, AThreadInTheOtherModeStillAddsBothAndStaysInitialised) {
  use({});
  std::thread([&] {
    ASSERT_EQ(platform::CoInitializeEx(nullptr, platform::kCoInitMultithreaded), platform::kSOk);
    EXPECT_EQ(addBoth(), std::make_pair(true, true));
    EXPECT_EQ(platform::ComInitCount(), 1);
    platform::CoUninitialize();
  }).join();
  EXPECT_EQ(profile().ports.size(), 1u);
  EXPECT_EQ(profile().applications.size(), 1u);
}

TEST_F(FirewallTest, TextsAreCutToTheWideBuffersRoom) {
  use({});
  const std::string longPath = "/" + std::string(1100, 'p');
  EXPECT_TRUE(core::FirewallAddApp(longPath, kProduct));
  EXPECT_EQ(profile().applications.at(0).path, longPath.substr(0, 1023));
  // Characters are counted, not bytes: 1100 two-byte letters keep 1023 of them whole.
  std::string letters;
  for (int i = 0; i < 1100; ++i) letters += "\xC3\xA9";
  EXPECT_TRUE(core::FirewallOpenUdpPort(9303, letters));
  EXPECT_EQ(profile().ports.at(0).name, letters.substr(0, 2046));
}

TEST_F(FirewallTest, WithoutTheSimulatedHostTheManagerCannotBeMade) {
  platform::setFirewall(nullptr);
  auto missing = platform::makeFirewallOverCalls([](const platform::FirewallCall&) {
    return std::optional<platform::FirewallAnswer>();
  });
  platform::setFirewall(missing.get());
  EXPECT_EQ(addBoth(), std::make_pair(false, false));
  EXPECT_NE(said.find("CoCreateInstance failed: 0x80040154\n"), std::string::npos);
}

}  // namespace
