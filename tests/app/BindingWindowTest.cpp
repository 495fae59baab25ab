// The binding commands on the main window, with the simulated host in process: the wizard driven
// as a user would, the record in the registry, the watchers and the device afterwards.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>

#include "app/BindingCommands.h"
#include "app/Dialogs.h"
#include "app/ServerList.h"
#include "app/TDeviceSetupFm.h"
#include "app/TMainFm.h"
#include "platform/Clock.h"
#include "platform/SystemInfo.h"
#include "platform/UiDispatcher.h"
#include "sim/InProcessDeviceIo.h"
#include "sim/InProcessPrintSpooler.h"
#include "sim/Scenario.h"
#include "sim/World.h"
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

class BindingWindow : public ::testing::Test {
 protected:
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
  sim::World world{*sim::parseScenario(kScenario).setup, clock};
  sim::InProcessDeviceIo office{world, "OFFICE-PC"};
  std::unique_ptr<platform::PrintSpooler> spooler = sim::makeInProcessPrintSpooler(world, "OFFICE-PC");
  test::OfficeComputer computer;
  Boxes boxes;
  test::TempRegistry registry;
  std::unique_ptr<app::TMainFm> window;
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
    w.TroubleRBtnClick(2);
    clickRow(w.PrinterListView1(), "Spare Queue");
    w.OKBtnClick();
    w.NextBtnClick();
    return w.setup().closed == app::WizardClose::Ok;
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

}  // namespace
