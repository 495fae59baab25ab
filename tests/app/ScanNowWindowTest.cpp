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
#include <ostream>

#include "app/Dialogs.h"
#include "app/ScanNow.h"
#include "app/TMainFm.h"
#include "core/DriverInterface.h"
#include "platform/Clock.h"
#include "platform/NestedLoop.h"
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

// The office's scanner, its image acquisition side `wia` (a JSON object).
std::string scenarioWith(const std::string& wia) {
  return R"({
  "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10",
             "installed": [{"server": "192.168.1.20", "port": 1}]}],
  "servers": [
    {"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS-Office", "status": 1,
     "devices": [
       {"port": 1, "vid": "04F9", "pid": "60A0", "type": "SCANNER", "manufacturer": "Brother",
        "product": "ADS-1700W", "serial": "U6",
        "plugAndPlay": {"scanner": {"wia": )" +
         wia + R"(}}}
     ]}
  ]
})";
}
const std::string kThreeSheetFeeder = R"({"source": "feeder", "sheets": 3, "formats": ["bmp"]})";

class ScanNowWindowTest : public ::testing::Test {
 public:
  explicit ScanNowWindowTest(const std::string& wia = kThreeSheetFeeder)
      : world{*sim::parseScenario(scenarioWith(wia)).setup, clock, test::plugAndPlayFor("OFFICE-PC")} {}
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
    window->ScanNowSettle = [this] { catchUpWithTheLink(); };
  }
  void catchUpWithTheLink() {
    until([this] {
      const auto& rows = window->rows().rows();
      return !rows.empty() && rows.front().data->owner == "OFFICE-PC";
    });
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

  // The last lock or unlock this computer asked for: its code and bytes.
  std::pair<std::uint32_t, Bytes> lastLockRequest() {
    std::pair<std::uint32_t, Bytes> last{0, {}};
    for (const auto& e : world.log(0, 4096))
      if (e.what == "control" && e.code &&
          (*e.code == core::IOCTL_TCPBUS_LOCK_DEVICE || *e.code == core::IOCTL_TCPBUS_UNLOCK_DEVICE))
        last = {*e.code, e.request};
    return last;
  }
  // The scanner's row selected, the folder the settings window will be given emptied.
  fs::path selectTheScanner(const std::string& area) {
    EXPECT_TRUE(until([&] { return window->rows().size() == 1; }));
    window->selectRow(window->rows().rows().front().data.get());
    const fs::path folder = fs::path(TARVEX_BIN_DIR) / ".." / "test-output" / "scanning" / area;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
  }

  platform::ManualClock clock;
  test::TempRegistry registry;
  sim::World world;
  sim::InProcessDeviceIo office{world, "OFFICE-PC"};
  test::OfficeComputer computer;
  test::RecordedBoxes boxes;
  std::unique_ptr<app::TMainFm> window;
};

TEST_F(ScanNowWindowTest, DoubleClickOnTheScannerSavesAGroupAndReleasesTheLock) {
  const fs::path folder = selectTheScanner("scan-now");

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

namespace {

// Each way the WIA road can end, failures and cancels included, leaves the device unlocked with
// 0 seconds as the last lock request the driver saw, and the user told what happened.
struct WiaEnding {
  std::string name;
  std::string wia;  // the scanner's image acquisition side
  std::function<void(scanning::WiaRoad&, const fs::path& folder)> user;
  std::vector<std::string> shown;
};

void PrintTo(const WiaEnding& row, std::ostream* out) { *out << row.name; }

class ScanNowWiaEndingTest : public ScanNowWindowTest, public ::testing::WithParamInterface<WiaEnding> {
 public:
  ScanNowWiaEndingTest() : ScanNowWindowTest(GetParam().wia) {}
};

void nextWith(scanning::WiaRoad& road, const fs::path& folder) {
  when(*road.SetFm, [&road] { return road.SetFm->isVisible(); }, [&road, folder] {
    road.SetFm->FilePathEdit->setText(QString::fromStdString(folder.string() + "/"));
    road.SetFm->NextBtn->click();
  });
}
// The end of the session comes while Scan Now waits for the device to settle (its window
// messages run then): the shutdown waits for the wait to end, and Scan Now opens no road, gives
// its lock back, and leaves the device to the shutdown.
TEST_F(ScanNowWindowTest, TheEndOfTheSessionDuringTheSettlingWaitOpensNoRoad) {
  selectTheScanner("scan-now-ended");
  scanning::WiaRoad& road = window->wiaRoad();
  bool closedInTheWait = true;
  window->ScanNowSettle = [&] {
    // The end comes once the list has caught up with the link, as it does within the two seconds;
    // before that, the list does not show the device as this computer's yet.
    catchUpWithTheLink();
    QTimer::singleShot(0, window.get(), [&] { window->EndSession(); });
    until([&] { return !platform::NestedLoop::processEvents(); }, 2000);
    closedInTheWait = window->closing();
  };
  window->ScanNowMItemClick();
  EXPECT_FALSE(closedInTheWait) << "the shutdown ran inside the wait";
  EXPECT_FALSE(road.SetFm->isVisible());
  EXPECT_EQ(lastLockRequest(), std::make_pair(core::IOCTL_TCPBUS_UNLOCK_DEVICE, Bytes{0x01, 0, 0, 0, 0, 0x01}));
  ASSERT_TRUE(until([&] { return window->closing(); }));
  EXPECT_TRUE(boxes.shown.empty());
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });  // the loop the shutdown asked to leave
  QCoreApplication::exec();
}

void closeWhenDone(scanning::WiaRoad& road) {
  when(*road.SaveFm, [&road] { return road.SaveFm->isVisible() && road.SaveFm->CancelBtn->text() == "Close"; },
       [&road] { road.SaveFm->CancelBtn->click(); });
}

TEST_P(ScanNowWiaEndingTest, TheDeviceIsUnlockedAtTheEnd) {
  // A folder for each ending: CTest runs them side by side.
  const fs::path folder = selectTheScanner("scan-now-endings/" + GetParam().name);
  scanning::WiaRoad& road = window->wiaRoad();
  road.SaveFm->Timer->setInterval(0);
  GetParam().user(road, folder);
  window->ScanNowMItemClick();

  EXPECT_EQ(boxes.shown, GetParam().shown);
  EXPECT_FALSE(app::ScanNowBusy);
  EXPECT_FALSE(road.SetFm->isVisible() || road.SaveFm->isVisible());
  ASSERT_EQ(requests(core::IOCTL_TCPBUS_LOCK_DEVICE).size(), 1u);
  EXPECT_EQ(lastLockRequest(), std::make_pair(core::IOCTL_TCPBUS_UNLOCK_DEVICE, Bytes{0x01, 0, 0, 0, 0, 0x01}));
  EXPECT_TRUE(world.state().servers.at(0).devices.at(0).holder.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ScanNowWiaEndingTest,
    ::testing::Values(
        WiaEnding{"DeviceDialogCancelled", R"({"source": "flatbed", "dialog": "cancel"})",
                  [](scanning::WiaRoad&, const fs::path&) {}, {"The user canceled the dialog box."}},
        WiaEnding{"DeviceOffline", R"({"source": "flatbed", "offline": true})",
                  [](scanning::WiaRoad&, const fs::path&) {}, {"This scanner was used by someone !"}},
        WiaEnding{"SettingsCancelled", kThreeSheetFeeder,
                  [](scanning::WiaRoad& road, const fs::path&) {
                    when(*road.SetFm, [&road] { return road.SetFm->isVisible(); },
                         [&road] { road.SetFm->CancelBtn->click(); });
                  },
                  {}},
        WiaEnding{"BackFromTheSettingsThenCancelled", kThreeSheetFeeder,
                  [](scanning::WiaRoad& road, const fs::path&) {
                    when(*road.SetFm, [&road] { return road.SetFm->isVisible(); }, [&road] {
                      road.SetFm->BackBtn->click();
                      when(*road.SetFm, [&road] { return road.SetFm->isVisible(); },
                           [&road] { road.SetFm->CancelBtn->click(); });
                    });
                  },
                  {}},
        WiaEnding{"CancelDuringATransfer", kThreeSheetFeeder,
                  [](scanning::WiaRoad& road, const fs::path& folder) {
                    nextWith(road, folder);
                    when(*road.SaveFm, [&road] { return road.SaveFm->Transferring(); },
                         [&road] { road.SaveFm->CancelBtn->click(); });
                    closeWhenDone(road);
                  },
                  {"The user canceled the scan."}},
        WiaEnding{"AFailingPage", R"({"source": "feeder", "sheets": 3, "failingPage": 2})",
                  [](scanning::WiaRoad& road, const fs::path& folder) {
                    nextWith(road, folder);
                    closeWhenDone(road);
                  },
                  {}},
        WiaEnding{"EmptyFeeder", R"({"source": "feeder", "sheets": 0})",
                  [](scanning::WiaRoad& road, const fs::path& folder) {
                    nextWith(road, folder);
                    closeWhenDone(road);
                  },
                  {"The user requested a scan and there are no documents left in the document feeder."}}),
    [](const ::testing::TestParamInfo<WiaEnding>& row) { return row.param.name; });

}  // namespace
