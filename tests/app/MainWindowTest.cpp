// The main window on the simulated host run in process, offscreen: rows follow the driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QPixmap>
#include <QTimer>

#include "app/DeviceListView.h"
#include "app/Dialogs.h"
#include "app/TAboutBox.h"
#include "platform/NestedLoop.h"
#include "core/SettingsStore.h"
#include "app/TMainFm.h"
#include "core/DriverInterface.h"
#include "platform/Clock.h"
#include "platform/SystemInfo.h"
#include "platform/UiDispatcher.h"
#include "app/TDeviceSetupFm.h"
#include "app/TEjectDeviceDlg.h"
#include "sim/Address.h"
#include "sim/HostSystem.h"
#include "core/Firewall.h"
#include "sim/InProcessDeviceIo.h"
#include "sim/InProcessNetwork.h"
#include "sim/PlugAndPlay.h"
#include "sim/Scenario.h"
#include "sim/World.h"
#include "app/TAboutBox.h"
#include "app/VersionCheckRules.h"
#include "core/SettingsStore.h"
#include "support/OfficeComputer.h"
#include "support/PumpUntil.h"
#include "support/WindowSteps.h"
#include "support/ReplyServer.h"
#include "support/TempRegistry.h"

namespace {

int argc = 1;
char programName[] = "test_gui";
char* argv[] = {programName, nullptr};

const char* kScenario = R"({
  "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10"}, {"name": "LAB-PC", "ip": "192.168.1.12"}],
  "servers": [
    {"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS-Office", "status": 1,
     "devices": [
       {"port": 1, "vid": "04F9", "pid": "0042", "type": "PRINTER", "manufacturer": "Brother",
        "product": "HL-L2350DW", "serial": "E1"},
       {"port": 2, "vid": "03F0", "pid": "5311", "type": "MFP", "manufacturer": "HP",
        "product": "OfficeJet", "serial": "C2", "holder": {"host": "LAB-PC", "lockType": 2}},
       {"port": 3, "vid": "1A86", "pid": "7523", "type": "UNKNOWN", "serial": "U3"},
       {"port": 4, "vid": "0781", "pid": "5581", "type": "MASS STORAGE", "manufacturer": "SanDisk",
        "product": "Ultra", "serial": "ST1"}
     ]}
  ]
})";

// The office computer, with the UDP ports the firewall self-test sees in use.
struct Computer : test::OfficeComputer {
  std::optional<std::vector<std::uint16_t>> udpLocalPorts() override { return udpPorts; }
  std::vector<std::uint16_t> udpPorts;
};

using test::RecordedBoxes;

QString picturePath(const char* name) {
  const QString dir = QString(TARVEX_BIN_DIR) + "/../test-output/windows";
  QDir().mkpath(dir);
  return dir + "/" + name + ".png";
}

sim::WorldSetup scenario() { return *sim::parseScenario(kScenario).setup; }

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) new QApplication(argc, argv);
    platform::ui::markUiThread();
    // The automatic version check asks a port where nobody listens, unless a test says otherwise.
    ::setenv("TARVEX_VERSION_SERVER", "127.0.0.1:1", 1);
  }
  void SetUp() override {
    platform::setClock(&clock);
    platform::setDeviceIo(&office);
    platform::setSystemInfo(&computer);
    platform::setUdpNetwork(udp.get());
    platform::setFirewall(firewall.get());
    core::setFirewallOutput([](const std::string&) {});
    app::setMessageBoxes(&boxes);
    // Device-found notices only where a test looks at them: they slide on real timers.
    core::WriteSetting(platform::RegRoot::CurrentUser, core::kSettingsKey, core::kNotifyDeviceDetect,
                       deviceNotices ? "1" : "0", true, false);
    window = std::make_unique<app::TMainFm>(args);
    ASSERT_TRUE(window->FormCreate());
    window->serverList().RefreshServerList();
  }
  void TearDown() override {
    window.reset();  // shuts down: the reader is stopped before the world goes
    app::TEjectDeviceDlg::answer = nullptr;
    app::setMessageBoxes(nullptr);
    core::setFirewallOutput({});
    platform::setFirewall(nullptr);
    platform::setUdpNetwork(nullptr);
    platform::setSystemInfo(nullptr);
    platform::setDeviceIo(nullptr);
    platform::setClock(nullptr);
  }
  // Runs the UI thread's events (and the reader's hand-overs) until the condition holds.
  template <typename Done>
  bool until(Done done, int ms = 10000) {
    return test::pumpUntil(done, ms);
  }
  const app::DeviceData* row(const std::string& port) {
    for (const auto& r : window->rows().rows())
      if (r.data->port == port) return r.data.get();
    return nullptr;
  }
  // Connects the rows' devices through the menu; true once this computer holds them all.
  bool connectHere(std::initializer_list<const char*> ports) {
    for (const char* port : ports) {
      window->selectRow(row(port));
      window->ConnectMItemClick();
    }
    return until([&] {
      for (const char* port : ports)
        if (row(port)->owner != "OFFICE-PC") return false;
      return true;
    });
  }
  int deviceListRequests() {
    int n = 0;
    for (const auto& e : world.log(0, 4096))
      if (e.code == core::IOCTL_TCPBUS_GET_DEVICE_LIST) ++n;
    return n;
  }

  bool deviceNotices = false;
  std::vector<std::string> args;  // the program's command line
  platform::ManualClock clock;
  sim::World world{scenario(), clock, test::plugAndPlayFor("OFFICE-PC")};
  sim::InProcessDeviceIo office{world, "OFFICE-PC"};
  std::unique_ptr<platform::UdpNetwork> udp = sim::makeInProcessUdpNetwork(world, "OFFICE-PC");
  std::unique_ptr<platform::Firewall> firewall = sim::makeInProcessFirewall(world, "OFFICE-PC");
  Computer computer;
  RecordedBoxes boxes;
  test::TempRegistry registry;
  std::unique_ptr<app::TMainFm> window;
};

TEST_F(MainWindowTest, TheAttachBringsTheRowsWithTheirStatuses) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; })) << window->rows().size();
  EXPECT_GE(deviceListRequests(), 1);
  EXPECT_EQ(row("1")->displayName, "Brother - HL-L2350DW");
  EXPECT_EQ(row("1")->status, " - Waiting to Connect");
  EXPECT_EQ(row("2")->status, " - In Use By (LAB-PC)");
  EXPECT_EQ(row("3")->displayName, "USB Device 1");
  EXPECT_EQ(window->rows().rows().front().data->port, "4");
  EXPECT_EQ(window->rows().rows().back().data->port, "3");  // unknown types last
  EXPECT_FALSE(window->noticeShown());
  // A picture of the window for a person to look at.
  window->resize(520, 360);
  window->show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(window->grab().save(picturePath("TMainFm")));
}

std::vector<std::uint16_t> boundPorts(sim::World& world) {
  for (const auto& h : world.state().hosts)
    if (h.host.name == "OFFICE-PC") return h.host.udp.boundPorts;
  return {};
}

TEST_F(MainWindowTest, TheStartUpOpensTheFirewallTestsTheBroadcastAndKeepsTheRunsSockets) {
  const auto view = world.firewallOf("OFFICE-PC");
  ASSERT_EQ(view->profile.applications.size(), 1u);
  EXPECT_EQ(view->profile.applications[0].path, QCoreApplication::applicationFilePath().toStdString());
  EXPECT_EQ(view->profile.applications[0].name, "Velmora Network USB Utility");
  ASSERT_EQ(view->profile.ports.size(), 1u);
  EXPECT_EQ(view->profile.ports[0].name, "Velmora Network USB Utility UDP Port");
  int broadcasts = 0;
  for (const auto& e : world.log(0, 4096))
    broadcasts += e.what == "udp" && e.device == "192.168.1.10:9303 -> 255.255.255.255:9303";
  EXPECT_EQ(broadcasts, 1);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(boundPorts(world), std::vector<std::uint16_t>{9303});  // the second set stays open
  window.reset();
  EXPECT_TRUE(boundPorts(world).empty());  // until the shutdown
}

TEST_F(MainWindowTest, ADroppedBroadcastBringsTheFirewallMessageAndAPortTakenElsewhereAnotherPort) {
  window.reset();
  ASSERT_EQ(world.setUdpDrop("OFFICE-PC", true), "");
  window = std::make_unique<app::TMainFm>(std::vector<std::string>{});
  ASSERT_TRUE(window->FormCreate());
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0], "Firewall\n\nTCP Out Port : 80; 2005\n\nUDP Out Port : 9303");

  window.reset();
  boxes.shown.clear();
  ASSERT_EQ(world.setUdpPortTaken("OFFICE-PC", 9303, true), "");
  computer.udpPorts = {9303};
  window = std::make_unique<app::TMainFm>(std::vector<std::string>{});
  ASSERT_TRUE(window->FormCreate());
  EXPECT_TRUE(boxes.shown.empty());  // no test ran, so no message
  EXPECT_EQ(boundPorts(world), std::vector<std::uint16_t>{49152});
}

TEST_F(MainWindowTest, TheFirstTickChecksForANewVersionAndShowsTheNotice) {
  test::ReplyServer server;
  server.answer(200, test::versionDocument("9", "05", "2026-11-02",
                                           "<Global><Firmware>http://global.example/fw</Firmware></Global>"));
  ::setenv("TARVEX_VERSION_SERVER", server.host().c_str(), 1);
  EXPECT_TRUE(window->notifyVerTimer().isActive());
  EXPECT_EQ(window->notifyVerTimer().interval(), 2000);
  window->Timer_NotifyVerTimer();
  ::setenv("TARVEX_VERSION_SERVER", "127.0.0.1:1", 1);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(window->notifyVerTimer().interval(), 60000);
  const std::uint32_t stamp = app::PackDosDateTime(clock.wallTime());
  EXPECT_EQ(window->notify().lastDate, stamp);
  std::string stored;
  core::ReadSetting(platform::RegRoot::CurrentUser, core::kSettingsKey, "Notify Last Date", stored);
  EXPECT_EQ(stored, std::to_string(stamp));
  const app::TAboutBox* notice = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<app::TAboutBox*>(w); box && box->message().contains("v9.5")) notice = box;
  ASSERT_TRUE(notice);
  EXPECT_EQ(notice->message(), "Velmora Network USB Utility v9.5 is\nnow avaiable !");
  EXPECT_EQ(notice->clickAddress(), "http://global.example/fw");
  // Checked a moment ago: the next tick asks nobody.
  window->Timer_NotifyVerTimer();
  EXPECT_EQ(server.requests().size(), 1u);
}

// What the installer wrote (here: the simulated host, from the scenario) is the version the About
// notice shows and the version check compares with.
TEST_F(MainWindowTest, TheInstalledVersionShowsInAboutAndDecidesTheVersionCheck) {
  const auto installed = sim::parseScenario(R"({"hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10",
      "program": {"directory": "C:\\Program Files\\Tarvex", "version": "9.5"}}]})");
  ASSERT_TRUE(installed.setup) << installed.error;
  window.reset();
  ASSERT_TRUE(sim::writeRegistrySeeds(registry.get(), installed.setup->hosts[0]));
  window = std::make_unique<app::TMainFm>(std::vector<std::string>{});
  ASSERT_TRUE(window->FormCreate());
  EXPECT_EQ(window->productVersion(), "9.5");

  for (QAction* a : window->trayMenu().actions())
    if (a->text() == "About Velmora Network USB Utility") a->trigger();
  app::TAboutBox* about = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<app::TAboutBox*>(w); box && box->message().startsWith("Version :"))
      about = box;
  ASSERT_TRUE(about);
  EXPECT_TRUE(about->message().startsWith("Version : 9.5")) << about->message().toStdString();
  about->StandAtRest();
  QCoreApplication::processEvents();
  EXPECT_TRUE(about->grab().save(picturePath("TAboutBox-about-installed")));
  about->close();

  // 9.05 reads as 9.5: not newer than what is installed, so no notice. A notice an earlier test
  // left sliding (a real display keeps it up longer) is put away first.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<app::TAboutBox*>(w)) w->hide();
  test::ReplyServer server;
  server.answer(200, test::versionDocument("9", "05", "2026-11-02",
                                           "<Global><Firmware>http://global.example/fw</Firmware></Global>"));
  ::setenv("TARVEX_VERSION_SERVER", server.host().c_str(), 1);
  window->Timer_NotifyVerTimer();
  ::setenv("TARVEX_VERSION_SERVER", "127.0.0.1:1", 1);
  ASSERT_EQ(server.requests().size(), 1u);
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<app::TAboutBox*>(w)) {
      EXPECT_FALSE(box->isVisible() && box->message().contains("v9.5")) << box->message().toStdString();
    }
}

TEST_F(MainWindowTest, RowsFollowTheWorld) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  sim::Device scanner;
  scanner.port = 5;
  scanner.vid = 0x04A9;
  scanner.pid = 0x1912;
  scanner.type = "SCANNER";
  scanner.manufacturer = "Canon";
  scanner.product = "LiDE";
  ASSERT_EQ(world.addDevice({192, 168, 1, 20}, scanner), "");
  ASSERT_TRUE(until([&] { return row("5") != nullptr; }));
  world.removeDevice({192, 168, 1, 20}, 1);
  ASSERT_TRUE(until([&] { return row("1") == nullptr; }));
  world.release({192, 168, 1, 20}, 2);
  ASSERT_TRUE(until([&] { return row("2")->status == " - Waiting to Connect"; }));
}

TEST_F(MainWindowTest, AnEventHeldBackWhileAConnectTalksToTheDriverIsServedAfterIt) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  const int before = deviceListRequests();
  app::DriverCallBusy = true;
  world.release({192, 168, 1, 20}, 2);
  until([&] { return false; }, 300);
  EXPECT_EQ(deviceListRequests(), before);
  EXPECT_EQ(row("2")->owner, "LAB-PC");  // not yet
  app::DriverCallBusy = false;
  ASSERT_TRUE(until([&] { return row("2")->owner.empty(); }));
}

TEST_F(MainWindowTest, ARequestToUseShowsOneBoxWithTheLatestText) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  const platform::Handle bus = window->serverList().servers().front()->bus;
  ASSERT_TRUE(core::LinkDevice(bus, "1"));
  ASSERT_TRUE(core::LockDevice(bus, "1", core::kLockUser, 3600));
  ASSERT_TRUE(core::LinkDevice(bus, "3"));
  ASSERT_TRUE(core::LockDevice(bus, "3", core::kLockUser, 3600));
  ASSERT_TRUE(until([&] { return row("1")->owner == "OFFICE-PC" && row("3")->owner == "OFFICE-PC"; }));
  EXPECT_EQ(row("1")->status, " - In Use By (OFFICE-PC)");

  world.ask("LAB-PC", {192, 168, 1, 20}, 1);
  world.ask("LAB-PC", {192, 168, 1, 20}, 3);
  ASSERT_TRUE(until([&] { return !boxes.shown.empty(); }));
  until([&] { return false; }, 700);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0], "Please release the USB Device 1.\nDisconnect utility for other user.");
  world.ask("LAB-PC", {192, 168, 1, 20}, 2);  // not held here: nothing
  until([&] { return false; }, 700);
  EXPECT_EQ(boxes.shown.size(), 1u);
}

}  // namespace

namespace {

std::vector<std::string> menuTexts(QMenu& menu) {
  std::vector<std::string> out;
  for (QAction* a : menu.actions()) {
    std::string t = a->isSeparator() ? "-" : a->text().toStdString();
    if (a->isCheckable() && a->isChecked()) t += " [x]";
    out.push_back(t);
  }
  return out;
}

TEST_F(MainWindowTest, TheTrayMenuHasAnEntryPerServer) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  window->PopupMenuPopup();
  EXPECT_EQ(menuTexts(window->trayMenu()),
            (std::vector<std::string>{"NUS-Office - 192.168.1.20 [x]", "-", "Advanced Options",
                                      "Open Velmora Network USB Utility",
                                      "About Velmora Network USB Utility", "-", "Exit"}));
  QMenu* sub = window->trayMenu().actions().front()->menu();
  ASSERT_TRUE(sub);
  EXPECT_EQ(menuTexts(*sub),
            (std::vector<std::string>{"Enable [x]", "Disable", "-", "Configuration..."}));

  window->ServerDisableClick("NUS-Office - 192.168.1.20");
  EXPECT_TRUE(window->rows().empty());
  EXPECT_TRUE(window->noticeShown());
  window->resize(520, 360);
  window->show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(window->grab().save(picturePath("TMainFm-no-device")));
  window->trayMenu().popup({10, 10});
  QCoreApplication::processEvents();
  EXPECT_TRUE(window->trayMenu().grab().save(picturePath("PopupMenu")));
  window->trayMenu().close();
  auto key = platform::registry().openKey(
      platform::RegRoot::CurrentUser,
      "Software\\Tarvex\\Velmora Network USB Utility\\Auto-Connect\\IP_192.168.1.20&MAC_00:1A:2B:3C:4D:5E",
      platform::kKeyRead);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->value("ServerEnable")->text, "0");
  window->PopupMenuPopup();  // rebuilt: the old entry is gone, the new one unchecked
  EXPECT_EQ(menuTexts(window->trayMenu()).front(), "NUS-Office - 192.168.1.20");
  EXPECT_EQ(menuTexts(*window->trayMenu().actions().front()->menu()).at(1), "Disable [x]");

  window->ServerEnableClick("NUS-Office - 192.168.1.20");
  EXPECT_EQ(window->rows().size(), 4u);
  EXPECT_EQ(key->value("ServerEnable")->text, "1");
}

TEST_F(MainWindowTest, ConnectAndDisconnectThroughTheMenu) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  window->selectRow(row("1"));
  window->PrepareDeviceMenu();
  window->ConnectMItemClick();
  ASSERT_TRUE(until([&] { return row("1")->owner == "OFFICE-PC"; }));
  EXPECT_EQ(row("1")->status, " - In Use By (OFFICE-PC)");
  EXPECT_TRUE(boxes.shown.empty());
  window->selectRow(row("1"));
  window->DisconnectMItemClick();
  ASSERT_TRUE(until([&] { return row("1")->owner.empty(); }));

  window->selectRow(row("2"));  // held by another computer by hand
  window->PrepareDeviceMenu();
  std::vector<std::string> visible;
  for (QAction* a : window->deviceMenu().actions())
    if (a->isVisible() && !a->isSeparator()) visible.push_back(a->text().toStdString());
  EXPECT_EQ(visible, (std::vector<std::string>{"Request To Use"}));
}

TEST_F(MainWindowTest, TheGatewaysServerIsEnabled) {
  ASSERT_EQ(window->serverList().servers().size(), 1u);
  EXPECT_TRUE(window->serverList().servers().front()->enabled);
}

}  // namespace

namespace {

std::vector<std::string> requestsOf(sim::World& world, std::uint32_t code) {
  std::vector<std::string> out;
  for (const auto& e : world.log(0, 4096))
    if (e.code == code && e.what == "control") out.push_back(sim::toHex(e.request));
  return out;
}

TEST_F(MainWindowTest, ABusyStorageDeviceAsksAndCancelSendsNothing) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  window->selectRow(row("4"));
  window->ConnectMItemClick();
  ASSERT_TRUE(until([&] { return row("4")->owner == "OFFICE-PC"; }));
  EXPECT_EQ(requestsOf(world, core::IOCTL_TCPBUS_LOCK_DEVICE).back(), "0480f4030002");
  ASSERT_EQ(world.setBusy({192, 168, 1, 20}, 4, true), "");

  std::vector<std::string> asked;
  app::TEjectDeviceDlg::answer = [&](const std::string& name) {
    asked.push_back(name);
    return false;  // Cancel
  };
  window->selectRow(row("4"));
  window->DisconnectMItemClick();
  EXPECT_EQ(asked, (std::vector<std::string>{"SanDisk - Ultra"}));
  EXPECT_TRUE(requestsOf(world, core::IOCTL_TCPBUS_UNLOCK_DEVICE).empty());
  EXPECT_TRUE(requestsOf(world, core::IOCTL_TCPBUS_UNLINK_DEVICE).empty());

  // At the end the busy device is kept again: the shutdown is refused, the program runs on.
  EXPECT_FALSE(window->FormCloseQuery());
  EXPECT_FALSE(window->closing());
  app::TEjectDeviceDlg::answer = [&](const std::string&) { return true; };  // Disconnect
  EXPECT_TRUE(window->FormCloseQuery());
  EXPECT_EQ(requestsOf(world, core::IOCTL_TCPBUS_UNLINK_DEVICE), (std::vector<std::string>{"04"}));
}

TEST_F(MainWindowTest, ExitEjectsHeldStorageAndDisconnectsEverythingHeldHere) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  ASSERT_TRUE(connectHere({"1", "4"}));
  int asked = 0;
  app::TEjectDeviceDlg::answer = [&](const std::string&) { return ++asked, false; };
  EXPECT_TRUE(window->FormCloseQuery());
  EXPECT_EQ(asked, 0);  // not busy: ejected without asking
  auto unlinks = requestsOf(world, core::IOCTL_TCPBUS_UNLINK_DEVICE);
  std::sort(unlinks.begin(), unlinks.end());
  EXPECT_EQ(unlinks, (std::vector<std::string>{"01", "04"}));
  EXPECT_TRUE(requestsOf(world, core::IOCTL_TCPBUS_UNLOCK_DEVICE).empty());
}

}  // namespace

#include <QTest>

namespace {

TEST_F(MainWindowTest, AClickOpensTheMenuAfter300MsWhereTheClickWas) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  window->resize(520, 360);
  window->show();
  QCoreApplication::processEvents();
  QWidget* viewport = window->listView().viewport();
  // The third row: the printer on port 1 (storage and the MFP sort first).
  const QPoint at(200, 2 * app::DeviceRowDelegate::kRowHeight + 10);
  QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
  EXPECT_FALSE(window->deviceMenu().isVisible());
  ASSERT_TRUE(until([&] { return window->deviceMenu().isVisible(); }, 2000));
  EXPECT_EQ(window->selectedDevice()->port, "1");
  EXPECT_LT((window->deviceMenu().pos() - viewport->mapToGlobal(at)).manhattanLength(), 3);
  std::vector<std::string> visible;
  for (QAction* a : window->deviceMenu().actions())
    if (a->isVisible() && !a->isSeparator()) visible.push_back(a->text().toStdString());
  EXPECT_EQ(visible, (std::vector<std::string>{"Manage Device", "Connect"}));
  window->deviceMenu().close();
}

}  // namespace

#include <thread>

#include "app/MainWindowPrintHost.h"

namespace {

TEST_F(MainWindowTest, PrintWatchersReachTheWindowOnItsOwnThread) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  app::MainWindowPrintHost host(*window);
  std::optional<printing::ServerView> server;
  std::optional<printing::DeviceRowView> device, missing;
  printing::ServerAndRow both, noServer;
  std::string hostName;
  std::atomic<bool> done{false};
  std::thread watcher([&] {
    server = host.findServer("00:1A:2B:3C:4D:5E");
    device = host.findDeviceRow("00:1A:2B:3C:4D:5E", "04F9", "0042", "E1");
    missing = host.findDeviceRow("00:1A:2B:3C:4D:5E", "04F9", "0042", "OTHER");
    both = host.findServerAndRow("00:1A:2B:3C:4D:5E", "04F9", "0042", "E1");
    noServer = host.findServerAndRow("00:1A:2B:3C:4D:FF", "04F9", "0042", "E1");
    hostName = host.thisHostName();
    host.refreshDeviceList("00:1A:2B:3C:4D:5E");
    host.showAutoLinkRefused();
    done = true;
  });
  ASSERT_TRUE(until([&] { return done.load(); }));
  watcher.join();
  ASSERT_TRUE(server);
  EXPECT_EQ(server->ip, "192.168.1.20");
  EXPECT_EQ(server->bus, window->serverList().servers().front()->bus);
  ASSERT_TRUE(device);
  EXPECT_EQ(device->port, "1");
  EXPECT_EQ(device->holder, "");
  EXPECT_FALSE(missing);
  ASSERT_TRUE(both.server && both.row) << "server and row in one visit";
  EXPECT_EQ(both.server->bus, server->bus);
  EXPECT_EQ(both.row->port, "1");
  EXPECT_FALSE(noServer.server || noServer.row);
  EXPECT_EQ(hostName, "OFFICE-PC");
  EXPECT_EQ(boxes.shown,
            (std::vector<std::string>{"The port of auto-connect can not be a LPR / Raw TCP / SMB port."}));
}

}  // namespace

namespace {

// The end of the session during the automatic check: the check is cancelled, not waited for.
TEST_F(MainWindowTest, TheEndOfTheSessionCancelsARunningVersionCheck) {
  test::ReplyServer server;
  server.answer(200, test::versionDocument("9", "1", "2026-11-02", ""));
  server.trickle(100);  // some seconds for the whole reply
  ::setenv("TARVEX_VERSION_SERVER", server.host().c_str(), 1);
  QTimer::singleShot(300, window.get(), [&] { window->EndSession(); });
  QElapsedTimer took;
  took.start();
  window->Timer_NotifyVerTimer();
  ::setenv("TARVEX_VERSION_SERVER", "127.0.0.1:1", 1);
  EXPECT_EQ(server.requests().size(), 1u);
  EXPECT_LT(took.elapsed(), 1500);
  ASSERT_TRUE(until([&] { return window->closing(); }, 1000));
  EXPECT_LT(took.elapsed(), 2000);
  EXPECT_EQ(std::count(boxes.shown.begin(), boxes.shown.end(), "Connection failed, please try again."), 0);
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });  // the loop the shutdown asked to leave
  QCoreApplication::exec();
}

TEST_F(MainWindowTest, AShutdownAskedForInsideAWaitRunsOnlyOnceTheWaitIsOver) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  auto inside = std::make_optional<platform::NestedLoop>();  // as inside an attach that lets the messages run
  window->EndSession();
  until([&] { return false; }, 200);
  EXPECT_FALSE(window->closing());
  EXPECT_EQ(window->serverList().servers().size(), 1u);  // nothing was freed under the wait
  inside.reset();
  ASSERT_TRUE(until([&] { return window->closing(); }));
  EXPECT_TRUE(window->sessionEnding());
  // The shutdown asked the application to leave its loop, which no loop was running to take:
  // one run of the loop takes it, so later windows' own loops in this process run as usual.
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

}  // namespace

namespace {

// Without a tray to hide to, the close box is "Exit": what this computer holds is released (the
// storage ejected) and the program ends. With one, it only hides the window.
TEST_F(MainWindowTest, WithoutATrayTheCloseBoxEndsTheProgramAsExitDoes) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  ASSERT_TRUE(connectHere({"1", "4"}));
  window->show();
  app::TMainFm::TrayAvailable = [] { return true; };
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->closing());

  window->show();
  app::TMainFm::TrayAvailable = [] { return false; };
  window->close();
  app::TMainFm::TrayAvailable = nullptr;
  EXPECT_TRUE(window->closing());
  EXPECT_FALSE(window->isVisible());
  auto unlinks = requestsOf(world, core::IOCTL_TCPBUS_UNLINK_DEVICE);
  std::sort(unlinks.begin(), unlinks.end());
  EXPECT_EQ(unlinks, (std::vector<std::string>{"01", "04"}));
  // The shutdown asked the application to leave its loop: one run of the loop takes it.
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

// The end of the session comes while a window of the program waits for the user: it is closed as
// its close box would, and the program ends at once, releasing what it holds as "Exit" does.
class SessionEndTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
    window->selectRow(row("1"));
    window->ConnectMItemClick();
    ASSERT_TRUE(until([&] { return row("1")->owner == "OFFICE-PC"; }));
  }
  // Opens the modal window inside the program's loop and ends the session 100 ms later; the
  // loop's exit code: 0 when the program ended, 1 when it was still running 5 s later.
  int endSessionWhile(const std::function<void()>& open) {
    QTimer::singleShot(0, window.get(), [&] {
      QTimer::singleShot(100, window.get(), [&] { window->EndSession(); });
      open();
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    limit.start(5000);
    QApplication::setQuitOnLastWindowClosed(false);  // as the program runs: it lives in the tray
    const int code = window->MessageLoop();
    QApplication::setQuitOnLastWindowClosed(true);
    return code;
  }
  void expectEndedAndReleased(int code) {
    EXPECT_EQ(code, 0) << "the program was still running";
    EXPECT_TRUE(window->closing());
    const auto unlinks = requestsOf(world, core::IOCTL_TCPBUS_UNLINK_DEVICE);
    EXPECT_NE(std::find(unlinks.begin(), unlinks.end(), "01"), unlinks.end()) << "the printer was kept";
  }
};

TEST_F(SessionEndTest, AMessageBoxIsAnsweredAsItsEscapeKeyWould) {
  app::setMessageBoxes(nullptr);  // the real box, waiting for a click
  int answer = 0;
  const int code = endSessionWhile([&] {
    answer = app::messageBoxes().show("This driver is not be recommended. Do you want to continue?",
                                      app::kProductName, app::kMbOkCancel | app::kMbWarnTopMost);
  });
  expectEndedAndReleased(code);
  EXPECT_EQ(answer, app::kIdCancel);
}

// The first showing's box is open before the message loop runs (a refusal of the printer maker
// list): the end of the session closes it, and the program ends as soon as its loop starts.
TEST_F(SessionEndTest, AnEndWhileABoxOfTheStartIsOpenEndsTheProgramOnceItsLoopRuns) {
  app::setMessageBoxes(nullptr);  // the real box, waiting for a click
  QTimer::singleShot(100, window.get(), [&] { window->EndSession(); });
  const int answer = app::messageBoxes().show("The printer maker list cannot be read.",
                                              app::kProductName, app::kMbOk | app::kMbIconExclamation);
  EXPECT_EQ(answer, app::kIdOk);
  EXPECT_FALSE(window->closing()) << "the shutdown ran under the box";
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  limit.start(5000);
  QApplication::setQuitOnLastWindowClosed(false);
  const int code = window->MessageLoop();
  QApplication::setQuitOnLastWindowClosed(true);
  expectEndedAndReleased(code);
}

TEST_F(SessionEndTest, TheOptionsDialogIsClosed) {
  expectEndedAndReleased(endSessionWhile([&] { window->OptionsMItemClick(); }));
}

TEST_F(SessionEndTest, TheWizardIsClosed) {
  window->selectRow(row("1"));
  expectEndedAndReleased(endSessionWhile([&] { window->PrintManageDevMItemClick(); }));
}

// The options dialog and the set-up wizard open beside the main window and wholly inside the
// screen's available area, also where neither side has room for them.
TEST_F(MainWindowTest, TheDialogsOpenBesideTheWindowAndInsideTheScreen) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  const QRect work = window->screen()->availableGeometry();
  window->resize(520, 360);
  window->show();
  window->move(work.left() + 100, work.top() + 40);
  QCoreApplication::processEvents();
  QRect options;
  QTimer::singleShot(0, window.get(), [&] {
    options = window->optionForm().frameGeometry();
    window->optionForm().reject();
  });
  window->OptionsMItemClick();
  EXPECT_TRUE(work.contains(options)) << options.x() << "," << options.y() << " " << options.width();
  EXPECT_EQ(options.top(), window->frameGeometry().top());

  window->selectRow(row("1"));
  QRect wizard;
  app::TDeviceSetupFm::answer = [&](app::TDeviceSetupFm& w) {
    wizard = w.frameGeometry();
    return false;
  };
  window->PrintManageDevMItemClick();
  app::TDeviceSetupFm::answer = nullptr;
  EXPECT_TRUE(work.contains(wizard)) << wizard.x() << "," << wizard.y() << " " << wizard.width();
}

// "-mini": the window is shown (its showing's steps run) but kept off the screen, then hidden;
// the tray shows it at the place it was given, whenever the click comes.
class HiddenStartTest : public MainWindowTest {
 protected:
  void SetUp() override {
    args = {"-mini"};
    MainWindowTest::SetUp();
    placed = window->pos();
    window->show();
  }
  bool onTheScreen() const { return window->isVisible() && !window->testAttribute(Qt::WA_DontShowOnScreen); }
  QPoint placed;
};

TEST_F(HiddenStartTest, TheWindowStaysOffTheScreenUntilTheTrayShowsItWhereItWasPlaced) {
  EXPECT_FALSE(onTheScreen());
  ASSERT_TRUE(until([&] { return !window->isVisible(); }, 2000)) << "the hidden start's timer";
  window->TrayIconMessage(0x201);
  EXPECT_TRUE(onTheScreen());
  EXPECT_EQ(window->pos(), placed);
}

TEST_F(HiddenStartTest, AClickBeforeTheWindowIsHiddenShowsItForGood) {
  window->TrayIconMessage(0x201);
  EXPECT_TRUE(onTheScreen());
  until([&] { return false; }, 800);  // past the hidden start's 500 ms
  EXPECT_TRUE(onTheScreen());
  EXPECT_EQ(window->pos(), placed);
}

class MainWindowClicksTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
    window->resize(520, 360);
    window->show();
    QCoreApplication::processEvents();
  }
  void TearDown() override {
    window->deviceMenu().close();
    MainWindowTest::TearDown();
  }
  QWidget* viewport() { return window->listView().viewport(); }
  // The third row: the printer on port 1 (storage and the MFP sort first).
  QPoint printerRow() const { return {200, 2 * app::DeviceRowDelegate::kRowHeight + 10}; }
  QAction* menuItem(const char* text) {
    for (QAction* a : window->deviceMenu().actions())
      if (a->text() == text) return a;
    return nullptr;
  }
};

// Another computer's take changes the list while the click waits and while the menu is open: the
// row stays selected, the menu opens and Connect links and locks the printer.
TEST_F(MainWindowClicksTest, ARefreshKeepsTheSelectedRowAndItsMenuWorks) {
  QTest::mouseClick(viewport(), Qt::LeftButton, {}, printerRow());
  const int before = deviceListRequests();
  ASSERT_EQ(world.take("LAB-PC", {192, 168, 1, 20}, 4, 2, 3600), "");
  ASSERT_TRUE(until([&] { return row("4")->owner == "LAB-PC"; }));
  EXPECT_GT(deviceListRequests(), before);
  ASSERT_TRUE(until([&] { return window->deviceMenu().isVisible(); }, 2000));
  ASSERT_TRUE(window->selectedDevice());
  EXPECT_EQ(window->selectedDevice()->port, "1");

  ASSERT_EQ(world.release({192, 168, 1, 20}, 4), "");  // the storage sorts before the printer
  ASSERT_TRUE(until([&] { return row("4")->owner.empty(); }));
  ASSERT_TRUE(window->selectedDevice());
  EXPECT_EQ(window->selectedDevice()->port, "1");
  menuItem("Connect")->trigger();
  ASSERT_TRUE(until([&] { return row("1")->owner == "OFFICE-PC"; }));
  EXPECT_EQ(requestsOf(world, core::IOCTL_TCPBUS_LINK_DEVICE), (std::vector<std::string>{"01"}));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MainWindowClicksTest, ACommandOnARowThatHasGoneTellsTheUser) {
  QTest::mouseClick(viewport(), Qt::RightButton, {}, printerRow());
  ASSERT_TRUE(window->deviceMenu().isVisible());
  EXPECT_TRUE(window->deviceMenu().grab().save(picturePath("PopupMenu_ForDevice")));
  world.removeDevice({192, 168, 1, 20}, 1);
  ASSERT_TRUE(until([&] { return row("1") == nullptr; }));
  menuItem("Connect")->trigger();
  EXPECT_EQ(boxes.shown, (std::vector<std::string>{app::kDeviceGoneText}));
  EXPECT_TRUE(requestsOf(world, core::IOCTL_TCPBUS_LINK_DEVICE).empty());
}

TEST_F(MainWindowClicksTest, ADoubleClickOpensNoMenu) {
  QTest::mouseDClick(viewport(), Qt::LeftButton, {}, printerRow());
  QTest::mouseRelease(viewport(), Qt::LeftButton, {}, printerRow());
  until([&] { return window->deviceMenu().isVisible(); }, 600);
  EXPECT_FALSE(window->deviceMenu().isVisible());
  EXPECT_EQ(window->selectedDevice()->port, "1");
}

TEST_F(MainWindowClicksTest, ShowingFromTheTrayKeepsTheWindowMaximised) {
  window->showMaximized();
  QCoreApplication::processEvents();
  for (unsigned lParam : {0x77u, 0x201u}) {
    window->hide();
    window->TrayIconMessage(lParam);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMaximized()) << lParam;
  }
  window->showMinimized();
  window->TrayIconMessage(0x77);
  EXPECT_FALSE(window->isMinimized());
  EXPECT_TRUE(window->isMaximized());
}

}  // namespace

namespace {

// "Enable" on a server whose attach fails: the attach lets messages run for a while, and the tray
// menu is opened again meanwhile (rebuilt, its old entries let go). The menu that carried the
// command must outlive the command.
TEST_F(MainWindowTest, TheTrayMenuRebuiltWhileEnableAttachesIsNotFreedUnderIt) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  sim::Server lab;
  lab.ip = {192, 168, 1, 21};
  lab.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x6F};
  lab.name = "NUS-Lab";
  ASSERT_EQ(world.addServer(lab), "");
  ASSERT_TRUE(until([&] { return window->serverList().servers().size() == 2; }));
  ASSERT_EQ(world.injectFault({sim::FaultKind::Fail, core::IOCTL_MASTERBUS_ATTACH_SERVER, ""}), "");

  window->PopupMenuPopup();
  QMenu* sub = nullptr;
  for (QAction* a : window->trayMenu().actions())
    if (a->text().startsWith("NUS-Lab")) sub = a->menu();
  ASSERT_TRUE(sub);
  QAction* enable = sub->actions().front();
  ASSERT_EQ(enable->text(), "Enable");
  int rebuilt = 0;
  // Inside the attach's waits: the tray menu opens again, and what it let go is freed.
  QTimer rebuild;
  QObject::connect(&rebuild, &QTimer::timeout, [&] {
    if (rebuilt++ > 0) return;
    window->PopupMenuPopup();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  });
  rebuild.start(0);
  sub->popup(QPoint(100, 100));
  sub->setActiveAction(enable);
  QTest::keyClick(sub, Qt::Key_Return);
  rebuild.stop();
  EXPECT_GE(rebuilt, 1);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  window->PopupMenuPopup();  // opened once more after the command: the old entries go now
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(window->trayMenu().actions().size(), 7u);  // one server entry and the six fixed items
}

}  // namespace

namespace {

// While a device-found notice slides in, the tray icon takes no mouse; once it is gone, it does.
class DeviceNoticeTest : public MainWindowTest {
 protected:
  void SetUp() override {
    deviceNotices = true;
    MainWindowTest::SetUp();
  }
  static void closeNotices() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* notice = qobject_cast<app::TAboutBox*>(w)) notice->close();
  }
};

TEST_F(DeviceNoticeTest, TheTrayIgnoresTheMouseWhileADeviceFoundNoticeSlidesIn) {
  ASSERT_TRUE(until([&] { return window->rows().size() == 4; }));
  EXPECT_TRUE(app::PopupBusy);  // the first rows' notices
  closeNotices();
  EXPECT_FALSE(app::PopupBusy);
  window->hide();
  sim::Device scanner;
  scanner.port = 5;
  scanner.vid = 0x04A9;
  scanner.pid = 0x1912;
  scanner.type = "SCANNER";
  scanner.manufacturer = "Canon";
  scanner.product = "LiDE";
  ASSERT_EQ(world.addDevice({192, 168, 1, 20}, scanner), "");
  ASSERT_TRUE(until([&] { return row("5") != nullptr; }));
  EXPECT_TRUE(app::PopupBusy);
  window->TrayIconMessage(0x201);
  EXPECT_FALSE(window->isVisible());
  closeNotices();
  EXPECT_FALSE(app::PopupBusy);
  window->TrayIconMessage(0x201);
  EXPECT_TRUE(window->isVisible());
}

}  // namespace
