// Scan Now on a Windows 5.0 computer, from the main window over the simulated host run in process,
// offscreen: the source walk finds the stored TWAIN source (named in another letter case, after
// another source), the scanning window opens modally, a group is scanned and saved as JPEG, the
// window is closed, and the driver sees the link, the automatic lock and the unlock, and no unlink.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <optional>
#include <unistd.h>

#include "app/DeviceSettings.h"
#include "app/Dialogs.h"
#include "app/ScanNow.h"
#include "app/ServerList.h"
#include "app/TDeviceSetupFm.h"
#include "app/TMainFm.h"
#include "core/DriverInterface.h"
#include "platform/Clock.h"
#include "platform/SystemInfo.h"
#include "platform/TwainSourceDialog.h"
#include "platform/UiDispatcher.h"
#include "scanning/TNetScanFm.h"
#include "sim/InProcessDeviceIo.h"
#include "sim/InProcessScanners.h"
#include "sim/PlugAndPlay.h"
#include "sim/Scenario.h"
#include "sim/TwainFiles.h"
#include "sim/World.h"
#include "support/OfficeComputer.h"
#include "support/PumpUntil.h"
#include "support/TempRegistry.h"
#include "support/WindowSteps.h"

namespace {

using test::when;

namespace fs = std::filesystem;
namespace tw = platform::twain;
using Bytes = std::vector<std::uint8_t>;

int argc = 1;
char programName[] = "test_gui";
char* argv[] = {programName, nullptr};

const char* kScenario = R"({
  "hosts": [{"name": "SCAN-PC", "ip": "192.168.1.13", "windowsVersion": "5.0",
             "installed": [{"server": "192.168.1.20", "port": 1}],
             "scanners": [
               {"product": "Velmora Photo 10", "device": {"server": "192.168.1.20", "port": 1}},
               {"product": "Canon CanoScan LiDE 400", "manufacturer": "Canon", "family": "CanoScan",
                "device": {"server": "192.168.1.20", "port": 1},
                "pages": [{"width": 170, "height": 220, "bitsPerPixel": 24, "dpi": 150},
                          {"width": 170, "height": 220, "bitsPerPixel": 8, "dpi": 150}],
                "resolutions": [150, 300]}]},
            {"name": "LAB-PC", "ip": "192.168.1.14"}],
  "servers": [
    {"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS-Office", "status": 1,
     "devices": [
       {"port": 1, "vid": "04A9", "pid": "1912", "type": "SCANNER", "manufacturer": "Canon",
        "product": "CanoScan LiDE 400", "serial": "KHN2AB41021"}
     ]}
  ]
})";

// The scanning computer: Windows 5.0 on the office network.
struct ScanComputer : test::OfficeComputer {
  std::optional<std::string> computerName() override { return "SCAN-PC"; }
  std::optional<platform::OsVersion> osVersion() override { return platform::OsVersion{5, 0}; }
};

// An environment variable set for one test and put back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

fs::path outputFolder(const std::string& area) {
  const fs::path dir = fs::path(TARVEX_BIN_DIR) / ".." / "test-output" / area;
  fs::create_directories(dir);
  return dir;
}

class ScanNowTwainWindowTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) new QApplication(argc, argv);
    platform::ui::markUiThread();
    tw::installQtTwain();
  }
  void SetUp() override {
    ASSERT_TRUE(loaded.setup) << loaded.error;
    // The computer's TWAIN files tell the scanning window that TWAIN is there.
    ASSERT_TRUE(sim::writeTwainSourceFiles(loaded.setup->hosts.front()));
    tw::setSourceProviders({sim::makeInProcessScannerProvider(world, "SCAN-PC")});
    platform::setClock(&clock);
    platform::setDeviceIo(&scanPc);
    platform::setSystemInfo(&computer);
    app::setMessageBoxes(&boxes);
    storeBinding("CANON CanoScan LiDE 400");
    window = std::make_unique<app::TMainFm>(std::vector<std::string>{});
    ASSERT_TRUE(window->FormCreate());
    window->serverList().RefreshServerList();
    window->ScanNowSettle = [this] {
      until([this] {
        const auto& rows = window->rows().rows();
        return !rows.empty() && rows.front().data->owner == "SCAN-PC";
      });
    };
  }
  void TearDown() override {
    window.reset();
    tw::setSourceProviders({});
    app::setMessageBoxes(nullptr);
    platform::setSystemInfo(nullptr);
    platform::setDeviceIo(nullptr);
    platform::setClock(nullptr);
    std::error_code ec;
    fs::remove_all(simDir, ec);
  }
  // The device's stored record, its TWAIN source named as the set-up wizard stored it.
  void storeBinding(const std::string& source) {
    app::AutoConnectInfo r;
    r.serverName = "NUS-Office";
    r.serverIp = "192.168.1.20";
    r.serverMac = "00:1A:2B:3C:4D:5E";
    r.deviceVid = "04A9";
    r.devicePid = "1912";
    r.deviceSno = "KHN2AB41021";
    r.deviceType = "SCANNER";
    r.scanNameTwain = source;
    ASSERT_TRUE(app::WriteDeviceSetting(app::kSettingsKey, r));
  }
  template <typename Done>
  bool until(Done done, int ms = 10000) {
    return test::pumpUntil(done, ms);
  }
  std::vector<Bytes> requests(std::uint32_t code) {
    std::vector<Bytes> out;
    for (const auto& e : world.log(0, 4096))
      if (e.what == "control" && e.host == "SCAN-PC" && e.code == code) out.push_back(e.request);
    return out;
  }
  // The last lock or unlock SCAN-PC asked for: its code and bytes.
  std::pair<std::uint32_t, Bytes> lastLockRequest() {
    std::pair<std::uint32_t, Bytes> last{0, {}};
    for (const auto& e : world.log(0, 4096))
      if (e.what == "control" && e.host == "SCAN-PC" && e.code &&
          (*e.code == core::IOCTL_TCPBUS_LOCK_DEVICE || *e.code == core::IOCTL_TCPBUS_UNLOCK_DEVICE))
        last = {*e.code, e.request};
    return last;
  }
  std::string holderInTheList() {
    const auto& rows = window->rows().rows();
    return rows.empty() ? std::string("(no row)") : rows.front().data->owner;
  }

  fs::path simDir = fs::temp_directory_path() / ("tarvex-scan-now-twain-" + std::to_string(::getpid()));
  ScopedEnv simDirEnv{"TARVEX_SIM_DIR", simDir.string()};
  ScopedEnv hostEnv{"TARVEX_HOST", "SCAN-PC"};
  platform::ManualClock clock;
  test::TempRegistry registry;
  sim::ScenarioResult loaded = sim::parseScenario(kScenario);
  sim::World world{*loaded.setup, clock, test::plugAndPlayFor("SCAN-PC")};
  sim::InProcessDeviceIo scanPc{world, "SCAN-PC"};
  ScanComputer computer;
  test::RecordedBoxes boxes;
  std::unique_ptr<app::TMainFm> window;
};

TEST_F(ScanNowTwainWindowTest, StoredSourceScansAGroupInTheModalWindowThenUnlocks) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 1; }));
  window->selectRow(window->rows().rows().front().data.get());
  const fs::path folder = outputFolder("scanning/scan-now-twain");
  for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());

  scanning::TNetScanFm& fm = window->netScanFm();
  bool wasModal = false, scanned = false;
  std::string sourceShown;
  when(fm, [&] { return fm.isVisible(); }, [&] {
    wasModal = QApplication::activeModalWidget() == &fm;
    sourceShown = fm.SrcLabel->text().toStdString();
    fm.FileNameEdit->setText("scan");
    fm.FilePathEdit->setText(QString::fromStdString(folder.string() + "/"));
    fm.FileFmtComboBox->setCurrentIndex(0);  // JPG
    fm.ScanBtn->click();
  });
  // The source's own window: the user presses Scan there.
  when(fm, [&] { return !tw::openSourceDialogs().empty(); },
       [&] { tw::openSourceDialogs().back()->scanButton()->click(); });
  when(fm,
       [&] {
         if (fm.Saving()) fm.SaveFileTimerTimer();  // the saving poll, stepped
         return !fm.Saving() && fm.NoteSText->text().contains("picture(s) were scanned.");
       },
       [&] {
         scanned = true;
         QCoreApplication::processEvents();
         fm.grab().save(QString::fromStdString((outputFolder("windows") / "TNetScanFm-ScanNow.png").string()));
         EXPECT_EQ(requests(core::IOCTL_TCPBUS_UNLOCK_DEVICE).size(), 0u) << "locked while open";
         fm.CloseBtn->click();
       });
  window->ScanNowMItemClick();

  EXPECT_TRUE(wasModal);
  EXPECT_TRUE(scanned);
  EXPECT_EQ(sourceShown, "CANON CanoScan LiDE 400");
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
  EXPECT_FALSE(app::ScanNowBusy);
  EXPECT_FALSE(fm.isVisible());
  EXPECT_FALSE(fm.Locked);
  EXPECT_EQ(fm.NoteSText->text(), " 2 picture(s) were scanned.");
  std::string identified;
  for (const char* name : {"scan.jpg", "scan_2.jpg"}) {
    const fs::path file = folder / name;
    ASSERT_TRUE(fs::exists(file)) << name;
    std::unique_ptr<FILE, int (*)(FILE*)> p(
        ::popen(("identify -format '%m %wx%h %x' '" + file.string() + "'").c_str(), "r"), ::pclose);
    char line[128] = {};
    EXPECT_TRUE(p && std::fgets(line, sizeof line, p.get()));
    EXPECT_STREQ(line, "JPEG 170x220 150") << name;
  }
  EXPECT_EQ(requests(core::IOCTL_TCPBUS_LINK_DEVICE), std::vector<Bytes>{Bytes{1}});
  EXPECT_EQ(requests(core::IOCTL_TCPBUS_LOCK_DEVICE),
            std::vector<Bytes>{(Bytes{0x01, 0xB0, 0x04, 0x00, 0x00, 0x01})});
  EXPECT_EQ(requests(core::IOCTL_TCPBUS_UNLOCK_DEVICE),
            std::vector<Bytes>{(Bytes{0x01, 0x00, 0x00, 0x00, 0x00, 0x01})});
  EXPECT_TRUE(requests(core::IOCTL_TCPBUS_UNLINK_DEVICE).empty());
}

// The set-up wizard lists the sources through the scanning window's component, the program's only
// one: its manager stays open, and a Scan Now afterwards finds the source and scans without a word.
TEST_F(ScanNowTwainWindowTest, TheWizardsSourceListLeavesScanNowWorking) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 1; }));
  window->selectRow(window->rows().rows().front().data.get());
  for (int listing = 0; listing < 2; ++listing) {
    std::vector<std::string> names;
    for (const app::ScanRow& r : window->deviceSetup().setup().FillScannerList()) names.push_back(r.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Velmora Photo 10", "Canon CanoScan LiDE 400"}));
  }
  const fs::path folder = outputFolder("scanning/scan-now-after-wizard");
  for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());

  scanning::TNetScanFm& fm = window->netScanFm();
  when(fm, [&] { return fm.isVisible(); }, [&] {
    fm.FilePathEdit->setText(QString::fromStdString(folder.string() + "/"));
    fm.FileFmtComboBox->setCurrentIndex(1);  // BMP
    fm.ScanBtn->click();
  });
  when(fm, [&] { return !tw::openSourceDialogs().empty(); },
       [&] { tw::openSourceDialogs().back()->scanButton()->click(); });
  when(fm,
       [&] {
         if (fm.Saving()) fm.SaveFileTimerTimer();
         return !fm.Saving() && fm.NoteSText->text().contains("picture(s) were scanned.");
       },
       [&] { fm.CloseBtn->click(); });
  window->ScanNowMItemClick();

  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
  EXPECT_TRUE(fs::exists(folder / "Picture_2.bmp"));
  EXPECT_FALSE(fm.Locked);
  EXPECT_EQ(requests(core::IOCTL_TCPBUS_UNLOCK_DEVICE).size(), 1u);
}

}  // namespace

namespace {

// Each way the TWAIN road can end, failures, cancels and the idle unlock included, leaves the
// device unlocked with 0 seconds as the last lock request SCAN-PC made. The idle unlock is waited
// out on the simulated host's clock; the window's timer is stepped.
struct TwainEnding {
  std::string name;
  std::function<void(ScanNowTwainWindowTest&, const fs::path& folder)> user;
  std::function<std::vector<std::string>(const fs::path& folder)> shown;
  int locks = 1;
  std::string holderAfter;  // who holds the scanner at the end
};

void PrintTo(const TwainEnding& row, std::ostream* out) { *out << row.name; }

class ScanNowTwainEndingTest : public ScanNowTwainWindowTest,
                               public ::testing::WithParamInterface<TwainEnding> {
 public:
  // The driver's events reach the main window while the scanning window is modal, as the program
  // has them served from the event loop.
  void SetUp() override {
    platform::ui::setWakeHook([] {
      QMetaObject::invokeMethod(QCoreApplication::instance(), [] { platform::ui::serve(); }, Qt::QueuedConnection);
    });
    ScanNowTwainWindowTest::SetUp();
  }
  void TearDown() override {
    ScanNowTwainWindowTest::TearDown();
    platform::ui::setWakeHook(nullptr);
  }
};

std::vector<std::string> nothing(const fs::path&) { return {}; }

// The idle timer's three minutes pass, and the device list shows the scanner free again.
void waitOutTheIdleUnlock(ScanNowTwainWindowTest& t, std::function<void()> then) {
  scanning::TNetScanFm& fm = t.window->netScanFm();
  when(fm, [&fm] { return fm.isVisible(); }, [&t, &fm, then] {
    t.clock.advanceMs(180001);
    fm.TimeoutTimerTimer();
    when(fm, [&t] { return t.holderInTheList().empty(); }, then);
  });
}

void scanAGroupAndClose(ScanNowTwainWindowTest& t, const fs::path& folder) {
  scanning::TNetScanFm& fm = t.window->netScanFm();
  fm.FilePathEdit->setText(QString::fromStdString(folder.string() + "/"));
  fm.ScanBtn->click();
  when(fm, [] { return !tw::openSourceDialogs().empty(); },
       [] { tw::openSourceDialogs().back()->scanButton()->click(); });
  when(fm,
       [&fm] {
         if (fm.Saving()) fm.SaveFileTimerTimer();
         return !fm.Saving() && fm.NoteSText->text().contains("picture(s) were scanned.");
       },
       [&fm] { fm.CloseBtn->click(); });
}

TEST_P(ScanNowTwainEndingTest, TheDeviceIsUnlockedAtTheEnd) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 1; }));
  window->selectRow(window->rows().rows().front().data.get());
  // A folder for each ending: CTest runs them side by side.
  const fs::path folder = outputFolder("scanning/scan-now-twain-endings/" + GetParam().name);
  for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
  GetParam().user(*this, folder);
  window->ScanNowMItemClick();

  EXPECT_EQ(boxes.shown, GetParam().shown(folder));
  EXPECT_FALSE(app::ScanNowBusy);
  EXPECT_FALSE(window->netScanFm().isVisible());
  EXPECT_FALSE(window->netScanFm().Locked);
  EXPECT_EQ(requests(core::IOCTL_TCPBUS_LOCK_DEVICE).size(), static_cast<std::size_t>(GetParam().locks));
  EXPECT_EQ(lastLockRequest(), std::make_pair(core::IOCTL_TCPBUS_UNLOCK_DEVICE, Bytes{0x01, 0, 0, 0, 0, 0x01}));
  EXPECT_EQ(world.state().servers.at(0).devices.at(0).holder, GetParam().holderAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ScanNowTwainEndingTest,
    ::testing::Values(
        TwainEnding{"NoSourceWithTheStoredName",
                    [](ScanNowTwainWindowTest& fx, const fs::path&) { fx.storeBinding("Velmora Photo 99"); },
                    [](const fs::path&) {
                      return std::vector<std::string>{
                          "Can not find scan driver ! \n\nPlease check device status or contact system manager !"};
                    },
                    1, ""},
        TwainEnding{"ClosedWithoutAScan",
                    [](ScanNowTwainWindowTest& fx, const fs::path&) {
                      scanning::TNetScanFm& fm = fx.window->netScanFm();
                      when(fm, [&fm] { return fm.isVisible(); }, [&fm] { fm.CloseBtn->click(); });
                    },
                    nothing, 1, ""},
        TwainEnding{"TheSourcesWindowClosedThenTheWindow",
                    [](ScanNowTwainWindowTest& fx, const fs::path& folder) {
                      scanning::TNetScanFm& fm = fx.window->netScanFm();
                      when(fm, [&fm] { return fm.isVisible(); }, [&fm, folder] {
                        fm.FilePathEdit->setText(QString::fromStdString(folder.string() + "/"));
                        fm.ScanBtn->click();
                      });
                      when(fm, [] { return !tw::openSourceDialogs().empty(); }, [&fm] {
                        tw::openSourceDialogs().back()->closeButton()->click();
                        when(fm, [&fm] { return tw::openSourceDialogs().empty() && fm.ScanBtn->isEnabled(); },
                             [&fm] { fm.CloseBtn->click(); });
                      });
                    },
                    nothing, 1, ""},
        TwainEnding{"APdfFolderThatCannotBeMade",
                    [](ScanNowTwainWindowTest& fx, const fs::path& folder) {
                      scanning::TNetScanFm& fm = fx.window->netScanFm();
                      when(fm, [&fm] { return fm.isVisible(); }, [&fm, folder] {
                        std::ofstream(folder / "plain-file") << "x";
                        ScopedEnv tmp("TMPDIR", (folder / "plain-file").string());
                        fm.FilePathEdit->setText(QString::fromStdString(folder.string() + "/"));
                        fm.FileFmtComboBox->setCurrentIndex(2);  // PDF
                        fm.ScanBtn->click();
                        fm.CloseBtn->click();
                      });
                    },
                    [](const fs::path& folder) {
                      return std::vector<std::string>{"Can't open file :  : " +
                                                      fs::canonical(folder / "plain-file").string() +
                                                      "\n\nNot a directory"};
                    },
                    1, ""},
        TwainEnding{"TheIdleUnlockThenClose",
                    [](ScanNowTwainWindowTest& fx, const fs::path&) {
                      waitOutTheIdleUnlock(fx, [&fx] { fx.window->netScanFm().CloseBtn->click(); });
                    },
                    nothing, 1, ""},
        TwainEnding{"TheIdleUnlockThenAnotherGroup",
                    [](ScanNowTwainWindowTest& fx, const fs::path& folder) {
                      waitOutTheIdleUnlock(fx, [&fx, folder] { scanAGroupAndClose(fx, folder); });
                    },
                    nothing, 2, ""},
        TwainEnding{"AnotherComputerTookItAfterTheIdleUnlock",
                    [](ScanNowTwainWindowTest& fx, const fs::path& folder) {
                      waitOutTheIdleUnlock(fx, [&fx, folder] {
                        ASSERT_EQ(fx.world.take("LAB-PC", sim::Ipv4{192, 168, 1, 20}, 1, 1, 1200), "");
                        scanning::TNetScanFm& fm = fx.window->netScanFm();
                        when(fm, [&fx] { return fx.holderInTheList() == "LAB-PC"; }, [&fm, folder] {
                          fm.FilePathEdit->setText(QString::fromStdString(folder.string() + "/"));
                          fm.ScanBtn->click();
                        });
                      });
                    },
                    [](const fs::path&) { return std::vector<std::string>{"This scanner was used by someone !"}; },
                    1, "LAB-PC"}),
    [](const ::testing::TestParamInfo<TwainEnding>& row) { return row.param.name; });

}  // namespace
