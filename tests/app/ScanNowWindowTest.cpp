// Scan Now from the main window on the simulated host run in process, offscreen: a double click on
// the bound scanner of a WIA computer scans a three-sheet feeder into a JPEG group, and the driver
// sees the link, the automatic lock and the unlock, and no unlink.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "app/Dialogs.h"
#include "app/ScanNow.h"
#include "app/TMainFm.h"
#include "core/DriverInterface.h"
#include "platform/Clock.h"
#include "platform/SystemInfo.h"
#include "platform/UiDispatcher.h"
#include "platform/Wia.h"
#include "scanning/WiaRoad.h"
#include "sim/InProcessDeviceIo.h"
#include "sim/InProcessWia.h"
#include "sim/PlugAndPlay.h"
#include "sim/Scenario.h"
#include "sim/World.h"
#include "support/OfficeComputer.h"
#include "support/TempRegistry.h"
#include "support/PumpUntil.h"
#include "support/WindowSteps.h"

namespace {

using test::when;

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

int argc = 1;
char programName[] = "test_gui";
char* argv[] = {programName, nullptr};

const char* kScenario = R"({
  "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10",
             "installed": [{"server": "192.168.1.20", "port": 1}]}],
  "servers": [
    {"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS-Office", "status": 1,
     "devices": [
       {"port": 1, "vid": "04F9", "pid": "60A0", "type": "SCANNER", "manufacturer": "Brother",
        "product": "ADS-1700W", "serial": "U6",
        "plugAndPlay": {"scanner": {"wia": {"source": "feeder", "sheets": 3, "formats": ["bmp"]}}}}
     ]}
  ]
})";

class ScanNowWindowTest : public ::testing::Test {
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
    platform::wia::setWiaDevMgrMaker([this] { return sim::makeInProcessWia(world, "OFFICE-PC"); });
    window = std::make_unique<app::TMainFm>(std::vector<std::string>{});
    ASSERT_TRUE(window->FormCreate());
    window->serverList().RefreshServerList();
    // The settling wait lets the device list catch up with the link, without its two seconds.
    window->ScanNowSettle = [this] {
      until([this] {
        const auto& rows = window->rows().rows();
        return !rows.empty() && rows.front().data->owner == "OFFICE-PC";
      });
    };
  }
  void TearDown() override {
    window.reset();
    platform::wia::setWiaDevMgrMaker({});
    app::setMessageBoxes(nullptr);
    platform::setSystemInfo(nullptr);
    platform::setDeviceIo(nullptr);
    platform::setClock(nullptr);
  }
  template <typename Done>
  bool until(Done done, int ms = 10000) {
    return test::pumpUntil(done, ms);
  }
  std::vector<Bytes> requests(std::uint32_t code) {
    std::vector<Bytes> out;
    for (const auto& e : world.log(0, 4096))
      if (e.what == "control" && e.code == code) out.push_back(e.request);
    return out;
  }

  platform::ManualClock clock;
  test::TempRegistry registry;
  sim::World world{*sim::parseScenario(kScenario).setup, clock, test::plugAndPlayFor("OFFICE-PC")};
  sim::InProcessDeviceIo office{world, "OFFICE-PC"};
  test::OfficeComputer computer;
  test::RecordedBoxes boxes;
  std::unique_ptr<app::TMainFm> window;
};

TEST_F(ScanNowWindowTest, DoubleClickOnTheScannerSavesAGroupAndReleasesTheLock) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 1; }));
  window->selectRow(window->rows().rows().front().data.get());
  const fs::path folder = fs::path(TARVEX_BIN_DIR) / ".." / "test-output" / "scanning" / "scan-now";
  fs::remove_all(folder);
  fs::create_directories(folder);

  scanning::WiaRoad& road = window->wiaRoad();
  road.SaveFm->Timer->setInterval(0);
  when(*road.SetFm, [&] { return road.SetFm->isVisible(); }, [&] {
    road.SetFm->FilePathEdit->setText(QString::fromStdString(folder.string() + "/"));
    road.SetFm->NextBtn->click();
  });
  when(*road.SaveFm,
       [&] { return road.SaveFm->isVisible() && road.SaveFm->CancelBtn->text() == "Close"; },
       [&] { road.SaveFm->CancelBtn->click(); });
  window->DeviceItemAction();

  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
  EXPECT_FALSE(app::ScanNowBusy);
  for (const char* name : {"Picture.jpg", "Picture_001.jpg", "Picture_002.jpg"})
    EXPECT_TRUE(fs::exists(folder / name)) << name;
  EXPECT_FALSE(fs::exists(folder / "Picture.bmp"));
  EXPECT_EQ(requests(core::IOCTL_TCPBUS_LINK_DEVICE), std::vector<Bytes>{Bytes{1}});
  EXPECT_EQ(requests(core::IOCTL_TCPBUS_LOCK_DEVICE),
            std::vector<Bytes>{(Bytes{0x01, 0xB0, 0x04, 0x00, 0x00, 0x01})});
  EXPECT_EQ(requests(core::IOCTL_TCPBUS_UNLOCK_DEVICE),
            std::vector<Bytes>{(Bytes{0x01, 0x00, 0x00, 0x00, 0x00, 0x01})});
  EXPECT_TRUE(requests(core::IOCTL_TCPBUS_UNLINK_DEVICE).empty());
}

}  // namespace
