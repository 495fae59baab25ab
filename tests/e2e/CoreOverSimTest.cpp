// The link core against the simulated host run in process: the demo world, this computer as
// OFFICE-PC, the other computers acting through the world itself.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/DriverInterface.h"
#include "core/ReadThread.h"
#include "platform/Clock.h"
#include "platform/UiDispatcher.h"
#include "sim/InProcessDeviceIo.h"
#include "sim/Scenario.h"
#include "sim/World.h"

namespace {

using namespace core;

sim::WorldSetup demoWorld() {
  auto result = sim::loadScenarioFile(std::string(TARVEX_SOURCE_DIR) + "/sim/scenarios/demo.json");
  if (!result.setup) throw std::runtime_error(result.error);
  return *result.setup;
}

class CoreOverSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setClock(&clock);  // the driver's time and the program's sleeps are one clock
    platform::setDeviceIo(&office);
    platform::ui::markUiThread();
  }
  void TearDown() override {
    platform::setDeviceIo(nullptr);
    platform::setClock(nullptr);
  }
  const DeviceListItem* find(const std::vector<DeviceListItem>& items, const std::string& port) {
    for (const auto& i : items)
      if (i.port == port) return &i;
    return nullptr;
  }
  Handle attachedBus(Handle control, const std::string& ip) {
    if (!AttachServer(control, ip)) return platform::kInvalidHandle;
    std::vector<BusDevice> buses;
    OpenBusDevices(buses);
    Handle found = platform::kInvalidHandle;
    for (const auto& b : buses) {
      if (b.serverIp == ip) found = b.handle;
      else platform::deviceIo().Close(b.handle);
    }
    return found;
  }

  platform::ManualClock clock;
  sim::World world{demoWorld(), clock};
  sim::InProcessDeviceIo office{world, "OFFICE-PC"};
};

TEST_F(CoreOverSimTest, ServerListWaitsOutTheNotValidPeriod) {
  Handle control = platform::kInvalidHandle;
  OpenControlDevice(control);
  ASSERT_NE(control, platform::kInvalidHandle);
  std::vector<ServerListEntry> servers;
  // 1500 ms of "no list yet": the retry a second later still finds none, a later call finds it.
  EXPECT_EQ(GetServerList(control, servers), -1);
  ASSERT_EQ(GetServerList(control, servers), 3);
  EXPECT_EQ(servers[0].name, "NUS-Office");
  EXPECT_EQ(servers[0].mac, "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(servers[1].status, "3");
  EXPECT_EQ(servers[1].storageMode, 0);
  std::string version, shortVersion;
  GetDriverVersion(control, version, shortVersion);
  EXPECT_EQ(version, "2.1.7");
  EXPECT_EQ(shortVersion, "2.7");
}

TEST_F(CoreOverSimTest, ConnectAskAndReleaseAcrossTwoComputers) {
  Handle control = platform::kInvalidHandle;
  OpenControlDevice(control);
  const Handle bus = attachedBus(control, "192.168.1.20");
  ASSERT_NE(bus, platform::kInvalidHandle);

  auto items = GetDeviceList(bus);
  ASSERT_TRUE(items);
  ASSERT_EQ(items->size(), 6u);
  EXPECT_EQ(find(*items, "1")->vid, "04F9");
  EXPECT_EQ(find(*items, "2")->owner, "RECEPTION-PC");
  EXPECT_EQ(find(*items, "2")->lockType, 2);
  // Held by another computer as a user's connection: refused.
  EXPECT_FALSE(LinkDevice(bus, "2"));
  EXPECT_FALSE(LockDevice(bus, "2", kLockUser, kLockSecondsUser));

  ASSERT_TRUE(LinkDevice(bus, "1"));
  ASSERT_TRUE(LockDevice(bus, "1", kLockUser, kLockSecondsUser));
  items = GetDeviceList(bus);
  EXPECT_EQ(find(*items, "1")->owner, "OFFICE-PC");
  EXPECT_EQ(find(*items, "1")->lockType, 2);

  std::vector<DriverEvent> events;
  EventReader reader;
  reader.StartReadThread(control, [&](const std::uint8_t* record, std::int32_t count) {
    events.push_back(ParseDriverEvent({record, kEventBytes}, count));
  });
  world.ask("LAB-PC", {192, 168, 1, 20}, 1);
  platform::ui::serveUntil([&] {
    for (const auto& e : events)
      if (e.code == OP_UBUS_REQUEST_TO_USE_DEVICE) return true;
    return false;
  });
  reader.StopReadThread();
  const auto request = std::find_if(events.begin(), events.end(), [](const DriverEvent& e) {
    return e.code == OP_UBUS_REQUEST_TO_USE_DEVICE;
  });
  EXPECT_EQ(request->kind, 1);
  EXPECT_EQ(request->port, "1");
  EXPECT_EQ(request->serverIp, "192.168.1.20");
  EXPECT_EQ(request->askingIp, "192.168.1.12");
  EXPECT_EQ(request->askingUser, "LAB-PC");

  // An unlock of 0 seconds frees the device at once.
  ASSERT_TRUE(UnlockDevice(bus, "1", kLockUser, 0));
  ASSERT_TRUE(UnlinkDevice(bus, "1"));
  items = GetDeviceList(bus);
  EXPECT_EQ(find(*items, "1")->owner, "");
  EXPECT_EQ(find(*items, "1")->lockCount, 0);
}

TEST_F(CoreOverSimTest, AnUnlockOfSecondsFreesAfterThemAndALockExpires) {
  Handle control = platform::kInvalidHandle;
  OpenControlDevice(control);
  const Handle bus = attachedBus(control, "192.168.1.20");
  ASSERT_TRUE(LinkDevice(bus, "4"));
  ASSERT_TRUE(LockDevice(bus, "4", kLockAuto, kLockSecondsAuto));
  ASSERT_TRUE(UnlockDevice(bus, "4", kLockAuto, kUnlockSecondsFax));
  clock.advanceMs(179'000);
  world.tick();
  EXPECT_EQ(find(*GetDeviceList(bus), "4")->owner, "OFFICE-PC");
  clock.advanceMs(1'000);
  world.tick();
  EXPECT_EQ(find(*GetDeviceList(bus), "4")->owner, "");

  ASSERT_TRUE(LockDevice(bus, "3", kLockUser, 10));
  clock.advanceMs(10'000);
  world.tick();
  EXPECT_EQ(find(*GetDeviceList(bus), "3")->lockCount, 0);
}

}  // namespace
