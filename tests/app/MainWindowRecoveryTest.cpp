// The main window when its simulated host goes away and comes back, offscreen, with the host run
// in process: the network shows as not ready meanwhile, and afterwards the rows return and work.
#include <gtest/gtest.h>

#include <optional>

#include <QApplication>

#include "app/Dialogs.h"
#include "app/TMainFm.h"
#include "core/DriverInterface.h"
#include "core/MessageTable.h"
#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "platform/SystemInfo.h"
#include "platform/UiDispatcher.h"
#include "sim/InProcessDeviceIo.h"
#include "sim/Scenario.h"
#include "sim/World.h"
#include "support/OfficeComputer.h"
#include "support/TempRegistry.h"
#include "support/PumpUntil.h"

namespace {

int argc = 1;
char programName[] = "test_gui_recovery";
char* argv[] = {programName, nullptr};

const char* kScenario = R"({
  "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10"}],
  "servers": [
    {"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS-Office", "status": 1,
     "devices": [{"port": 1, "vid": "04F9", "pid": "0042", "type": "PRINTER", "serial": "E1"}]}
  ]
})";

// No host to reach: every call fails at once, as a device that is gone.
class HostDown final : public platform::DeviceIo {
 public:
  std::optional<std::vector<platform::InterfaceSlot>> ListInterfaces(std::string_view) override {
    return std::nullopt;
  }
  platform::Handle Open(std::string_view, std::uint32_t, bool) override { return platform::kInvalidHandle; }
  void Close(platform::Handle) override {}
  bool Control(platform::Handle, std::uint32_t, std::span<std::uint8_t>, std::uint32_t, std::uint32_t,
               std::uint32_t& returned) override {
    returned = 0;
    return false;
  }
  platform::ReadStatus BeginRead(platform::Handle, std::span<std::uint8_t>, std::uint32_t& returned) override {
    returned = 0;
    return platform::ReadStatus::Failed;
  }
  platform::ReadStatus WaitRead(platform::Handle, std::uint32_t, std::uint32_t& returned) override {
    returned = 0;
    return platform::ReadStatus::Failed;
  }
  std::uint32_t LastError() const override { return platform::kErrorDeviceGone; }
};

class HostRestart : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) new QApplication(argc, argv);
    platform::ui::markUiThread();
  }
  void SetUp() override {
    platform::setClock(&clock);
    platform::setDeviceIo(&office);
    platform::setSystemInfo(&computer);
    app::setMessageBoxes(&boxes);
    window = std::make_unique<app::TMainFm>(std::vector<std::string>{});
    ASSERT_TRUE(window->FormCreate());
    window->serverList().RefreshServerList();
    ASSERT_TRUE(until([&] { return window->rows().size() == 1; }));
  }
  void TearDown() override {
    window.reset();
    app::setMessageBoxes(nullptr);
    platform::setSystemInfo(nullptr);
    platform::setDeviceIo(nullptr);
    platform::setClock(nullptr);
  }
  template <typename Done>
  bool until(Done done, int ms = 10000) {
    return test::pumpUntil(done, ms);
  }
  std::string tip() { return window->tray().toolTip().toStdString(); }
  platform::Handle serverBus() {
    const auto& servers = window->serverList().servers();
    return servers.empty() ? platform::kInvalidHandle : servers.front()->bus;
  }

  platform::ManualClock clock;
  sim::World world{*sim::parseScenario(kScenario).setup, clock};
  sim::InProcessDeviceIo office{world, "OFFICE-PC"};
  HostDown down;
  std::optional<sim::World> restarted;
  std::optional<sim::InProcessDeviceIo> restartedOffice;
  test::OfficeComputer computer;
  test::RecordedBoxes boxes;
  test::TempRegistry registry;
  std::unique_ptr<app::TMainFm> window;
};

TEST_F(HostRestart, TheNetworkIsNotReadyWhileTheHostIsGoneAndTheRowsComeBackAndConnectAfterIt) {
  const std::string caption = tip();
  const platform::Handle oldBus = serverBus();
  ASSERT_NE(oldBus, platform::kInvalidHandle);

  // The host goes away: the pending event read fails and nothing answers any more.
  platform::setDeviceIo(&down);
  world.abandonRead(window->masterBus());
  ASSERT_TRUE(until([&] { return tip() == core::LoadMessage("SNetwork_NotReady"); }));
  EXPECT_EQ(tip(), "Network is not ready !");
  EXPECT_EQ(window->rows().size(), 1u) << "the rows stay while the host is away";

  // It comes back as a new run: the old handles name nothing there.
  sim::WorldOptions options;
  options.firstHandle = 0x9000;
  restarted.emplace(*sim::parseScenario(kScenario).setup, clock, options);
  restartedOffice.emplace(*restarted, "OFFICE-PC");
  platform::setDeviceIo(&*restartedOffice);
  ASSERT_TRUE(until([&] {
    const platform::Handle bus = serverBus();
    return bus != platform::kInvalidHandle && bus != oldBus && window->rows().size() == 1 &&
           window->rows().rows().front().data->bus == bus;
  })) << "the driver was opened again and the server attached again";
  EXPECT_EQ(tip(), caption);
  EXPECT_GE(window->masterBus(), 0x9000);

  window->selectRow(window->rows().rows().front().data.get());
  window->ConnectMItemClick();
  EXPECT_TRUE(boxes.shown.empty()) << (boxes.shown.empty() ? "" : boxes.shown.front());
  const sim::WorldState state = restarted->state();
  EXPECT_EQ(state.servers.at(0).devices.at(0).holder, "OFFICE-PC");
  EXPECT_EQ(state.servers.at(0).devices.at(0).lockType, 2);
}

}  // namespace
