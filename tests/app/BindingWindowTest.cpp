// The binding commands on the main window, with the simulated host in process: the wizard driven
// as a user would, the record in the registry, the watchers and the device afterwards.
#include <gtest/gtest.h>

#include <atomic>

#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>

#include "app/BindingCommands.h"
#include "app/Dialogs.h"
#include "app/ServerList.h"
#include "app/TDeviceSetupFm.h"
#include "app/TMainFm.h"
#include "core/DriverInterface.h"
#include "platform/Clock.h"
#include "platform/SystemInfo.h"
#include "platform/UiDispatcher.h"
#include "sim/InProcessDeviceIo.h"
#include "sim/DriverRecords.h"
#include "sim/InProcessPrintSpooler.h"
#include "sim/Scenario.h"
#include "sim/World.h"
#include "support/ForwardingSpooler.h"
#include "support/OfficeComputer.h"
#include "support/TempRegistry.h"
#include "support/PumpUntil.h"

namespace {

int argc = 1;
char programName[] = "test_gui";
char* argv[] = {programName, nullptr};

const char* kScenario = R"({
  "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10",
             "ports": [{"name": "USB001", "description": "Virtual printer port for USB", "monitor": "USB Monitor"},
                       {"name": "USB002", "description": "Virtual printer port for USB", "monitor": "USB Monitor"}],
             "queues": [{"name": "Brother Laser", "port": "USB001", "device": {"server": "192.168.1.20", "port": 1}},
                        {"name": "Spare Queue", "port": "USB002"}]},
            {"name": "LAB-PC", "ip": "192.168.1.12"}],
  "servers": [
    {"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS-Office", "status": 1,
     "devices": [
       {"port": 1, "vid": "04F9", "pid": "0042", "type": "PRINTER", "manufacturer": "Brother",
        "product": "HL-L2350DW", "serial": "E1"}]}]
})";

struct Boxes : app::MessageBoxes {
  std::vector<std::string> shown;
  int show(const std::string& text, const std::string&, unsigned) override {
    shown.push_back(text);
    return app::kIdOk;
  }
  void showModeless(const std::string& text, const std::string&, unsigned) override { shown.push_back(text); }
};

// Clicks the row of a list by its caption.
void clickRow(QTreeWidget& list, const QString& caption) {
  for (int i = 0; i < list.topLevelItemCount(); ++i)
    if (list.topLevelItem(i)->text(0) == caption) {
      emit list.itemClicked(list.topLevelItem(i), 0);
      return;
    }
  ADD_FAILURE() << "no row " << caption.toStdString();
}

// On the troubleshooting page: the printer choice moved to `queue`, OK, then Next; true when the
// wizard closed with OK.
bool MovePrinterTo(app::TDeviceSetupFm& w, const QString& queue) {
  w.TroubleRBtnClick(2);
  clickRow(w.PrinterListView1(), queue);
  w.OKBtnClick();
  w.NextBtnClick();
  return w.setup().closed == app::WizardClose::Ok;
}

// A computer whose Windows version a test chooses.
struct Computer : test::OfficeComputer {
  platform::OsVersion version{6, 1};
  std::optional<platform::OsVersion> osVersion() override { return version; }
};

class WindowOn : public ::testing::Test {
 protected:
  explicit WindowOn(const char* scenario) : world{*sim::parseScenario(scenario).setup, clock} {}
  static void SetUpTestSuite() {
    if (!QApplication::instance()) new QApplication(argc, argv);
    platform::ui::markUiThread();
  }
  void SetUp() override {
    platform::setClock(&clock);
    platform::setDeviceIo(&office);
    platform::setSystemInfo(&computer);
    platform::setPrintSpooler(spooler.get());
    app::setMessageBoxes(&boxes);
    startWindow();
  }
  // The main window, made anew (on the Windows version the computer has now), its row selected.
  void startWindow() {
    window.reset();
    window = std::make_unique<app::TMainFm>(std::vector<std::string>{});
    ASSERT_TRUE(window->FormCreate());
    window->serverList().RefreshServerList();
    ASSERT_TRUE(until([&] { return window->rows().size() == 1; }));
    window->selectRow(window->rows().rows()[0].data.get());
  }
  void TearDown() override {
    window.reset();
    app::TDeviceSetupFm::answer = nullptr;
    app::setMessageBoxes(nullptr);
    platform::setPrintSpooler(nullptr);
    platform::setSystemInfo(nullptr);
    platform::setDeviceIo(nullptr);
    platform::setClock(nullptr);
  }
  template <typename Done>
  bool until(Done done, int ms = 10000) {
    return test::pumpUntil(done, ms);
  }
  app::AutoConnectInfo record() {
    app::AutoConnectInfo r = app::DeviceRecordKey(*window->rows().rows()[0].data);
    EXPECT_TRUE(app::ReadDeviceSetting(app::kSettingsKey, r));
    return r;
  }
  std::string holder() { return world.state().servers[0].devices[0].holder; }
  // The install road, "No", to the auto-print page, where `queue` is clicked.
  static bool bindThroughInstallRoad(app::TDeviceSetupFm& w, const QString& queue) {
    w.NextBtnClick();
    w.NextBtnClick();
    clickRow(w.PrinterListView(), queue);
    w.NextBtnClick();
    return w.setup().closed == app::WizardClose::Ok;
  }

  platform::ManualClock clock;
  sim::World world;
  sim::InProcessDeviceIo office{world, "OFFICE-PC"};
  std::unique_ptr<platform::PrintSpooler> spooler = sim::makeInProcessPrintSpooler(world, "OFFICE-PC");
  Computer computer;
  Boxes boxes;
  test::TempRegistry registry;
  std::unique_ptr<app::TMainFm> window;
};

class BindingWindow : public WindowOn {
 protected:
  BindingWindow() : WindowOn(kScenario) {}
};

TEST_F(BindingWindow, APrinterBoundThroughTheWizardIsStoredWatchedAndReleased) {
  app::TDeviceSetupFm::answer = [](app::TDeviceSetupFm& w) { return bindThroughInstallRoad(w, "Brother Laser"); };
  window->PrintManageDevMItemClick();
  const app::AutoConnectInfo r = record();
  EXPECT_TRUE(r.printerEnable);
  EXPECT_EQ(r.printerName, "Brother Laser");
  EXPECT_EQ(r.printerPort, "USB001");
  EXPECT_EQ(r.scanNameTwain, "Brother - HL-L2350DW") << "a WIA system stores the display name";
  ASSERT_EQ(window->printers().size(), 1u);
  EXPECT_EQ(window->rows().rows()[0].data->printerIndex, 0);
  ASSERT_NE(window->watchers()->watcher(printing::WatchKind::Printer, 0), nullptr);
  EXPECT_EQ(window->watchers()->watcher(printing::WatchKind::Printer, 0)->entry().queueName, "Brother Laser");
  // The release runs through the driver's events: slow builds need more than the usual wait.
  EXPECT_TRUE(until([&] { return holder().empty(); }, 30000))
      << "the wizard's own connection is given back";
  EXPECT_EQ(boxes.shown, (std::vector<std::string>{
                             "This driver is not be recommended. Do you want to continue?"}))
      << "no \"AFPrinter.ini\" section: the user is always asked";

  // Troubleshooting with the watcher running: another queue, and the watcher follows it.
  app::TDeviceSetupFm::answer = [](app::TDeviceSetupFm& w) {
    EXPECT_EQ(w.setup().page, app::WizardPage::Trouble);
    return MovePrinterTo(w, "Spare Queue");
  };
  window->PrintManageDevMItemClick();
  EXPECT_EQ(record().printerName, "Spare Queue");
  ASSERT_NE(window->watchers()->watcher(printing::WatchKind::Printer, 0), nullptr);
  EXPECT_EQ(window->watchers()->watcher(printing::WatchKind::Printer, 0)->entry().queueName, "Spare Queue");

  // Unchecked on the same road: the binding goes, its watcher first.
  app::TDeviceSetupFm::answer = [](app::TDeviceSetupFm& w) {
    w.TroubleRBtnClick(2);
    clickRow(w.PrinterListView1(), "Spare Queue");
    w.OKBtnClick();
    w.NextBtnClick();
    return true;
  };
  window->PrintManageDevMItemClick();
  EXPECT_FALSE(record().printerEnable);
  EXPECT_TRUE(window->printers().empty());
  EXPECT_EQ(window->watchers()->running(printing::WatchKind::Printer), 0u);
}

// The troubleshooting page moves no watcher itself: what runs after the wizard is what it
// stored, or, when nothing was stored, what was stored before.
TEST_F(BindingWindow, WhatTheTroubleshootingPageRunsIsWhatIsStored) {
  app::TDeviceSetupFm::answer = [](app::TDeviceSetupFm& w) { return bindThroughInstallRoad(w, "Brother Laser"); };
  window->PrintManageDevMItemClick();
  ASSERT_EQ(record().printerName, "Brother Laser");
  const auto watched = [&] {
    const printing::TPrintThread* t = window->watchers()->watcher(printing::WatchKind::Printer, 0);
    return t ? t->entry().queueName : std::string("none");
  };

  // Another queue, OK, OK again (no change now), Close.
  app::TDeviceSetupFm::answer = [](app::TDeviceSetupFm& w) {
    w.TroubleRBtnClick(2);
    clickRow(w.PrinterListView1(), "Spare Queue");
    w.OKBtnClick();
    w.OKBtnClick();
    w.NextBtnClick();
    return w.setup().closed == app::WizardClose::Ok;
  };
  window->PrintManageDevMItemClick();
  EXPECT_EQ(record().printerName, "Spare Queue");
  EXPECT_EQ(watched(), "Spare Queue");

  // A choice made with OK, then the wizard closed by its close box: nothing stored, nothing moved.
  app::TDeviceSetupFm::answer = [](app::TDeviceSetupFm& w) {
    w.TroubleRBtnClick(2);
    clickRow(w.PrinterListView1(), "Brother Laser");
    w.OKBtnClick();
    return false;
  };
  window->PrintManageDevMItemClick();
  EXPECT_EQ(record().printerName, "Spare Queue");
  EXPECT_EQ(watched(), "Spare Queue");
  ASSERT_EQ(window->printers().size(), 1u);
  EXPECT_EQ(window->printers()[0]->queueName, "Spare Queue") << "the next start of the watchers reads this";
}

// Counts the watchers that began to watch a queue: each asks for its change notification once.
struct CountingSpooler final : test::ForwardingSpooler {
  using ForwardingSpooler::ForwardingSpooler;
  std::atomic<int> watches{0};
  platform::Handle FindFirstPrinterChangeNotification(platform::Handle h, std::uint32_t f) override {
    ++watches;
    return ForwardingSpooler::FindFirstPrinterChangeNotification(h, f);
  }
};

// A troubleshooting run that ends on the queue the watcher already watches leaves that watcher
// running; one that ends on another queue moves it.
class CountedWatchers : public BindingWindow {
 protected:
  void SetUp() override {
    platform::setPrintSpooler(&counting);
    BindingWindow::SetUp();
    platform::setPrintSpooler(&counting);
  }
  CountingSpooler counting{*spooler};
};

TEST_F(CountedWatchers, TroubleshootingRestartsNoWatcherWhoseQueueStays) {
  app::TDeviceSetupFm::answer = [](app::TDeviceSetupFm& w) { return bindThroughInstallRoad(w, "Brother Laser"); };
  window->PrintManageDevMItemClick();
  ASSERT_TRUE(until([&] { return counting.watches == 1; }));
  const printing::TPrintThread* first = window->watchers()->watcher(printing::WatchKind::Printer, 0);

  // Away and back again, then the scanner option too: the queue is what it was.
  app::TDeviceSetupFm::answer = [](app::TDeviceSetupFm& w) {
    w.TroubleRBtnClick(2);
    clickRow(w.PrinterListView1(), "Spare Queue");
    w.OKBtnClick();
    clickRow(w.PrinterListView1(), "Brother Laser");
    w.OKBtnClick();
    w.TroubleRBtnClick(3);
    w.OKBtnClick();
    w.NextBtnClick();
    return w.setup().closed == app::WizardClose::Ok;
  };
  window->PrintManageDevMItemClick();
  EXPECT_EQ(record().printerName, "Brother Laser");
  EXPECT_FALSE(until([&] { return counting.watches > 1; }, 300)) << "the watcher was restarted";
  EXPECT_EQ(window->watchers()->watcher(printing::WatchKind::Printer, 0), first);

  // Another queue: the watcher follows it.
  app::TDeviceSetupFm::answer = [](app::TDeviceSetupFm& w) { return MovePrinterTo(w, "Spare Queue"); };
  window->PrintManageDevMItemClick();
  EXPECT_TRUE(until([&] { return counting.watches == 2; }));
  EXPECT_EQ(window->watchers()->watcher(printing::WatchKind::Printer, 0)->entry().queueName, "Spare Queue");
}

TEST_F(BindingWindow, CancelStoresNoBindingButTheScannerValues) {
  app::AutoConnectInfo seed = app::DeviceRecordKey(*window->rows().rows()[0].data);
  seed.reserve4 = true;
  seed.reserve5 = "Office Fax";
  ASSERT_TRUE(app::WriteDeviceSetting(app::kSettingsKey, seed));
  app::TDeviceSetupFm::answer = [](app::TDeviceSetupFm&) { return false; };
  window->PrintManageDevMItemClick();
  const app::AutoConnectInfo r = record();
  EXPECT_FALSE(r.printerEnable);
  EXPECT_EQ(r.scanNameTwain, "Brother - HL-L2350DW");
  EXPECT_EQ(r.reserve5, "Office Fax");
  EXPECT_TRUE(window->printers().empty());
}

// The scanner command on a device the system does not know as a scanner yet.
const char* kScannerScenario = R"({
  "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10"}, {"name": "LAB-PC", "ip": "192.168.1.12"}],
  "servers": [
    {"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS-Office", "status": 1,
     "devices": [
       {"port": 1, "vid": "04A9", "pid": "1912", "type": "UNKNOWN", "manufacturer": "Canon",
        "product": "LiDE 300", "serial": "C7"}]}]
})";

class ScannerBindingWindow : public WindowOn {
 protected:
  ScannerBindingWindow() : WindowOn(kScannerScenario) {}
  const app::DeviceRow& theRow() { return window->rows().rows()[0]; }
  // The wizard's connection, seen by the window as its driver reports it.
  bool heldHere() {
    return until([&] { return !window->rows().empty() && theRow().data->owner == "OFFICE-PC"; });
  }
  // The install road with "No": the device is connected, then OK.
  std::function<bool(app::TDeviceSetupFm&)> firstSetUp() {
    return [this](app::TDeviceSetupFm& w) {
      w.NextBtnClick();
      EXPECT_EQ(w.setup().page, app::WizardPage::ConnectScanner);
      EXPECT_TRUE(heldHere());
      w.NextBtnClick();
      return w.setup().closed == app::WizardClose::Ok;
    };
  }
  // The troubleshooting page's third option with no scanner checked: scanning off.
  static bool switchOff(app::TDeviceSetupFm& w) {
    EXPECT_EQ(w.setup().page, app::WizardPage::Trouble);
    w.TroubleRBtnClick(3);
    for (int i = 0; i < w.ScanListView1().topLevelItemCount(); ++i)
      w.ScanListView1().topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    w.OKBtnClick();
    w.NextBtnClick();
    return w.setup().closed == app::WizardClose::Ok;
  }
  std::vector<std::uint32_t> releaseCalls(std::uint64_t fromSeq) {
    std::vector<std::uint32_t> codes;
    for (const auto& e : world.log(fromSeq, 4096))
      if (e.code && (*e.code == sim::code::kUnlockDevice || *e.code == sim::code::kUnlinkDevice))
        codes.push_back(*e.code);
    return codes;
  }
  std::uint64_t nextSeq() {
    const auto all = world.log(0, 1 << 20);
    return all.empty() ? 0 : all.back().seq + 1;
  }
};

TEST_F(ScannerBindingWindow, AFirstSetUpMakesAScannerAndSwitchingItOffUndoesIt) {
  app::TDeviceSetupFm::answer = firstSetUp();
  window->ScanManageDevMItemClick();
  EXPECT_EQ(theRow().data->type, "Scanner");
  EXPECT_EQ(theRow().picture, app::kPictureScanner);
  EXPECT_EQ(window->scannerIds(), std::vector<std::string>{"Vid_04A9&Pid_1912"});
  EXPECT_EQ(app::LoadScannerIds(app::kSettingsKey), std::vector<std::string>{"Vid_04A9&Pid_1912"});
  app::AutoConnectInfo r = record();
  EXPECT_EQ(r.scanIndex, 1);
  EXPECT_EQ(r.scanNameTwain, "Canon - LiDE 300") << "a WIA system stores the display name";
  EXPECT_TRUE(r.printerName.empty());
  EXPECT_TRUE(until([&] { return holder().empty(); }, 30000)) << "the set-up's connection is given back";
  EXPECT_TRUE(boxes.shown.empty());

  app::TDeviceSetupFm::answer = switchOff;
  window->ScanManageDevMItemClick();
  EXPECT_EQ(theRow().data->type, "UNKNOWN");
  EXPECT_EQ(theRow().picture, app::kPictureOther);
  EXPECT_TRUE(window->scannerIds().empty());
  EXPECT_TRUE(app::LoadScannerIds(app::kSettingsKey).empty());
  EXPECT_EQ(record().scanIndex, 0);
}

TEST_F(ScannerBindingWindow, AFailedReleaseSaysSoAndTheChoiceIsStoredAnyway) {
  ASSERT_EQ(world.injectFault({sim::FaultKind::Fail, sim::code::kUnlinkDevice, "OFFICE-PC"}), "");
  app::TDeviceSetupFm::answer = firstSetUp();
  window->ScanManageDevMItemClick();
  EXPECT_EQ(boxes.shown, std::vector<std::string>{"Disconnect device failed !"});
  EXPECT_EQ(record().scanIndex, 1);
}

TEST_F(ScannerBindingWindow, AfterATroubleshootingRunAWiaSystemKeepsTheDeviceAnOlderOneReleasesIt) {
  app::TDeviceSetupFm::answer = firstSetUp();
  window->ScanManageDevMItemClick();
  ASSERT_TRUE(until([&] { return holder().empty(); }, 30000));
  const platform::Handle bus = window->serverList().servers().front()->bus;
  ASSERT_TRUE(core::LinkDevice(bus, "1"));
  ASSERT_TRUE(core::LockDevice(bus, "1", 2, 3600));
  ASSERT_TRUE(heldHere());

  // Windows 7: no unlock, no unlink, whatever the wizard's result.
  for (const bool ok : {false, true}) {
    const std::uint64_t from = nextSeq();
    app::TDeviceSetupFm::answer = [ok](app::TDeviceSetupFm& w) {
      EXPECT_EQ(w.setup().page, app::WizardPage::Trouble);
      return ok;
    };
    window->ScanManageDevMItemClick();
    EXPECT_TRUE(releaseCalls(from).empty()) << ok;
    EXPECT_EQ(holder(), "OFFICE-PC") << ok;
  }

  // Windows 2000: the troubleshooting page connects the device itself, and every run that finds
  // it held here releases it.
  core::UnlockDevice(bus, "1", 2, 0);
  ASSERT_TRUE(core::UnlinkDevice(bus, "1"));
  ASSERT_TRUE(until([&] { return holder().empty(); }, 30000));
  computer.version = {5, 0};
  startWindow();
  for (const bool ok : {false, true}) {
    const std::uint64_t from = nextSeq();
    app::TDeviceSetupFm::answer = [this, ok](app::TDeviceSetupFm& w) {
      EXPECT_EQ(w.setup().page, app::WizardPage::Trouble);
      EXPECT_TRUE(heldHere());
      return ok;
    };
    window->ScanManageDevMItemClick();
    EXPECT_EQ(releaseCalls(from), (std::vector<std::uint32_t>{sim::code::kUnlockDevice, sim::code::kUnlinkDevice}))
        << ok;
    EXPECT_TRUE(until([&] { return holder().empty(); }, 30000)) << ok;
  }
  computer.version = {6, 1};
}

}  // namespace
