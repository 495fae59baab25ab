// The options dialog against a version server of the test's own on loopback, offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <QPushButton>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include "app/Dialogs.h"
#include "app/Shell.h"
#include "app/TAboutBox.h"
#include "app/TOptionFm.h"
#include "app/VersionCheckRules.h"
#include "app/VersionQuery.h"
#include "core/SettingsStore.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/SystemInfo.h"
#include "sim/Scenario.h"
#include "sim/VersionServer.h"
#include "sim/World.h"
#include "support/ReplyServer.h"
#include "support/TempRegistry.h"

namespace {

int argc = 1;
char programName[] = "test_gui";
char* argv[] = {programName, nullptr};

struct Boxes : app::MessageBoxes {
  std::vector<std::pair<std::string, unsigned>> shown;
  int show(const std::string& text, const std::string&, unsigned style) override {
    shown.emplace_back(text, style);
    return app::kIdOk;
  }
  void showModeless(const std::string& text, const std::string&, unsigned style) override {
    shown.emplace_back(text, style);
  }
};

struct Opened : app::Shell {
  std::vector<std::string> addresses;
  bool works = true;
  bool openUrl(const std::string& a) override {
    addresses.push_back(a);
    return works;
  }
};

struct Host : app::OptionHost {
  app::NotifySettings notify;
  std::string product = "2.1.7";
  bool timer = true;
  std::vector<bool> timerChanges;
  app::NotifySettings& optionNotify() override { return notify; }
  std::string optionProductVersion() const override { return product; }
  bool notifyTimerActive() const override { return timer; }
  void setNotifyTimerActive(bool on) override {
    timer = on;
    timerChanges.push_back(on);
  }
};

struct Ready : platform::SystemInfo {
  std::optional<std::string> computerName() override { return "OFFICE-PC"; }
  std::optional<platform::OsVersion> osVersion() override { return platform::OsVersion{6, 1}; }
  std::optional<std::vector<platform::AdapterInfo>> adapters() override { return std::nullopt; }
  std::optional<std::vector<platform::InterfaceRow>> interfaces() override { return std::nullopt; }
  std::optional<std::vector<std::uint16_t>> udpLocalPorts() override { return std::nullopt; }
  std::optional<std::string> resolveHost(std::string_view) override { return "192.168.1.10"; }
};

const std::string kSites =
    "<Global><Firmware>http://global.example/fw.zip</Firmware></Global>"
    "<Asia><Firmware>http://asia.example/fw.zip</Firmware></Asia>"
    "<Europe><Firmware>http://eu.example/fw.zip</Firmware></Europe>";

std::string outputDir() {
  const std::string dir = std::string(TARVEX_BIN_DIR) + "/../test-output/windows";
  std::filesystem::create_directories(dir);
  return dir;
}

class OptionFmTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
  void SetUp() override {
    configDir = std::filesystem::temp_directory_path() / ("tarvex-config-" + std::to_string(::getpid()));
    ::setenv("XDG_CONFIG_HOME", configDir.c_str(), 1);
    ::setenv("TARVEX_VERSION_SERVER", server.host().c_str(), 1);
    platform::setClock(&clock);
    platform::setSystemInfo(&ready);
    app::setMessageBoxes(&boxes);
    app::setShell(&opened);
    form = std::make_unique<app::TOptionFm>(host);
  }
  void TearDown() override {
    form.reset();
    app::setShell(nullptr);
    app::setMessageBoxes(nullptr);
    platform::setSystemInfo(nullptr);
    platform::setClock(nullptr);
    ::unsetenv("TARVEX_VERSION_SERVER");
    ::unsetenv("XDG_CONFIG_HOME");
    std::error_code ec;
    std::filesystem::remove_all(configDir, ec);
  }
  template <typename T>
  T* child(const char* name) {
    return form->findChild<T*>(name);
  }
  std::string setting(const char* name) {
    std::string v;
    core::ReadSetting(platform::RegRoot::CurrentUser, core::kSettingsKey, name, v);
    return v;
  }
  void open() {
    form->show();
    QCoreApplication::processEvents();
  }

  std::filesystem::path configDir;
  test::ReplyServer server;
  platform::ManualClock clock{0, 1'790'000'000};
  Ready ready;
  Boxes boxes;
  Opened opened;
  Host host;
  test::TempRegistry registry;
  std::unique_ptr<app::TOptionFm> form;
};

TEST_F(OptionFmTest, ANewerVersionFillsThePanelAndStoresTheCheck) {
  server.answer(200, test::versionDocument("2", "05", "2026-07-10", kSites));
  open();
  EXPECT_EQ(form->windowTitle(), "Advance Options");
  EXPECT_EQ(child<QCheckBox>("CheckBox_AutoRun")->text(),
            "Run Velmora Network USB Utility when Windows starts");
  EXPECT_FALSE(child<QFrame>("Panel_Check")->isVisible());
  EXPECT_EQ(form->height(), form->compactHeight());
  form->grab().save(QString::fromStdString(outputDir() + "/options.png"));

  form->Btn_CheckNowClick();
  ASSERT_EQ(server.requests().size(), 1u);
  // The request and nothing more: no headers of the client library's own.
  EXPECT_EQ(server.requests()[0], "GET /router/firmware/query.asp?model=QRVA_A1_Default HTTP/1.1\r\n"
                                  "Host: " + server.host() + "\r\n"
                                  "Accept: text/html, */*\r\n"
                                  "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n");

  EXPECT_TRUE(child<QFrame>("Panel_Check")->isVisible());
  EXPECT_FALSE(child<QLabel>("Label_LatestVer")->isVisible());
  EXPECT_EQ(form->height(), form->designedHeight());
  EXPECT_EQ(child<QLabel>("Label_LV")->text(), "2.5");
  EXPECT_EQ(child<QLabel>("Label_LVDate")->text(), "2026/07/10");
  auto* sites = child<QComboBox>("ComboBox_Site");
  auto* urls = child<QComboBox>("ComboBox_URL");
  ASSERT_EQ(sites->count(), 3);
  EXPECT_EQ(sites->itemText(1), "Asia");
  EXPECT_EQ(urls->currentText(), "http://global.example/fw.zip");
  sites->setCurrentIndex(1);
  EXPECT_EQ(urls->currentIndex(), 1);
  form->Btn_DownloadClick();
  EXPECT_EQ(opened.addresses, std::vector<std::string>{"http://asia.example/fw.zip"});

  EXPECT_EQ(host.notify.lastDate, app::PackDosDateTime(clock.wallTime()));
  EXPECT_EQ(setting("Notify Last Date"), std::to_string(host.notify.lastDate));
  EXPECT_FALSE(child<QLabel>("Label_NextDate")->text().isEmpty());
  EXPECT_EQ(host.timerChanges, (std::vector<bool>{false, true}));  // stopped for the check only
  EXPECT_TRUE(boxes.shown.empty());
  form->grab().save(QString::fromStdString(outputDir() + "/options-check.png"));

  // The next showing starts compact again.
  form->hide();
  open();
  EXPECT_FALSE(child<QFrame>("Panel_Check")->isVisible());
}

TEST_F(OptionFmTest, TheSameOrAnOlderVersionSaysItIsTheLatest) {
  host.product = "2.6";
  host.timer = false;
  server.answer(200, test::versionDocument("2", "5", "2026-07-10", kSites));
  open();
  form->Btn_CheckNowClick();
  EXPECT_TRUE(child<QLabel>("Label_LatestVer")->isVisible());
  EXPECT_FALSE(child<QFrame>("Panel_Check")->isVisible());
  EXPECT_EQ(host.notify.lastDate, 0u);
  EXPECT_EQ(setting("Notify Last Date"), "");
  EXPECT_FALSE(host.timer);  // a timer that was off stays off
}

TEST_F(OptionFmTest, FailuresSayConnectionFailedAndChangeNothing) {
  struct Case {
    int status;
    std::string body;
  };
  const Case cases[] = {
      {404, ""},
      {200, ""},
      {200, "<Firmware><Default><FW_Version><Major>2"},
      {200, "<Firmware><Default><FW_Version><Major>two</Major><Minor>1</Minor></FW_Version></Default></Firmware>"},
      {200, std::string(70 * 1024, 'x')},
  };
  open();
  for (const Case& c : cases) {
    boxes.shown.clear();
    server.answer(c.status, c.body);
    form->Btn_CheckNowClick();
    ASSERT_EQ(boxes.shown.size(), 1u) << c.status << " " << c.body.substr(0, 40);
    EXPECT_EQ(boxes.shown[0].first, "Connection failed, please try again.");
    EXPECT_EQ(boxes.shown[0].second, 0x40030u);
    EXPECT_FALSE(child<QFrame>("Panel_Check")->isVisible());
    EXPECT_EQ(host.notify.lastDate, 0u);
  }
  // A reply without Minor ends silently.
  boxes.shown.clear();
  server.answer(200, "<F><Default><FW_Version><Major>9</Major></FW_Version></Default></F>");
  form->Btn_CheckNowClick();
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_FALSE(child<QLabel>("Label_LatestVer")->isVisible());
  // A download the desktop refuses.
  opened.works = false;
  form->Btn_DownloadClick();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].first, "Connection failed, please try again.");
}

// A server that sends one byte now and then does not keep the check open: one limit counts from
// the request.
TEST_F(OptionFmTest, ATricklingServerEndsTheCheckWithinItsLimit) {
  server.answer(200, test::versionDocument("9", "1", "2026-07-10", kSites));
  server.trickle(100);
  form->queryLimits.totalMs = 500;
  open();
  QElapsedTimer took;
  took.start();
  form->Btn_CheckNowClick();
  EXPECT_LT(took.elapsed(), 2000);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].first, "Connection failed, please try again.");
  EXPECT_FALSE(child<QFrame>("Panel_Check")->isVisible());
  EXPECT_EQ(host.timerChanges, (std::vector<bool>{false, true}));
  EXPECT_EQ(child<QPushButton>("Btn_CheckNow")->cursor().shape(), Qt::ArrowCursor);
}

// Interim answers without end: the check gives up once their heads pass their limit, long before
// the server would send its real answer.
TEST_F(OptionFmTest, AFloodOfInterimAnswersEndsTheCheck) {
  server.answer(200, test::versionDocument("9", "1", "2026-07-10", kSites));
  server.floodInterim(32 * 1024 * 1024);
  open();
  QElapsedTimer took;
  took.start();
  form->Btn_CheckNowClick();
  EXPECT_LT(took.elapsed(), 5000);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].first, "Connection failed, please try again.");
  EXPECT_FALSE(child<QFrame>("Panel_Check")->isVisible());
  EXPECT_FALSE(server.answeredAfterFlood());
  EXPECT_FALSE(form->versionCheckRunning());
}

// The limit counts the whole exchange on the program's clock: a reply that keeps coming ends
// once 20 s have passed on it, here stepped one second a byte.
TEST_F(OptionFmTest, TheLimitEndsAReplyThatKeepsComing) {
  server.answer(200, test::versionDocument("9", "1", "2026-07-10", kSites));
  server.trickle(1, [&] { clock.advanceMs(1000); });
  open();
  form->Btn_CheckNowClick();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].first, "Connection failed, please try again.");
  EXPECT_FALSE(child<QFrame>("Panel_Check")->isVisible());
  EXPECT_GE(server.trickled(), 20u);
  EXPECT_LE(server.trickled(), 22u) << "ended at the limit, not at the end of the reply";
}

// A server that goes silent after its head is ended by the limit's timer alone (the program's
// clock stands still here): never before the limit, and not a coarse timer's 5% after it.
TEST_F(OptionFmTest, ASilentServerIsLeftAtTheLimitNotBeforeIt) {
  server.answer(200, test::versionDocument("9", "1", "2026-07-10", kSites));
  server.trickle(60'000);
  for (const int limitMs : {120, 240, 360}) {
    SCOPED_TRACE(limitMs);
    app::VersionQuery query;
    QElapsedTimer took;
    took.start();
    const app::HttpOutcome out = query.Fetch(server.host(), {limitMs});
    const qint64 elapsed = took.elapsed();
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.error, "no reply within " + std::to_string(limitMs) + " ms");
    EXPECT_GE(elapsed, limitMs);
    EXPECT_LT(elapsed, limitMs * 3 / 2);
  }
}

// "Check now" while the automatic check waits for the server: the user's check waits with it and
// shows its answer; the server is asked once.
TEST_F(OptionFmTest, CheckNowDuringTheAutomaticCheckTakesItsAnswer) {
  server.answer(200, test::versionDocument("9", "1", "2026-07-10", kSites));
  server.trickle(1);
  open();
  bool asked = false;
  QTimer::singleShot(20, form.get(), [&] {
    EXPECT_TRUE(form->versionCheckRunning());
    form->Btn_CheckNowClick();
    asked = true;
  });
  std::string major, minor;
  std::vector<std::string> names, urls;
  EXPECT_TRUE(form->CheckVersion(major, minor, nullptr, &names, &urls, /*quiet=*/true));
  EXPECT_TRUE(asked);
  EXPECT_EQ(major + "." + minor, "9.1");
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_TRUE(child<QFrame>("Panel_Check")->isVisible());
  EXPECT_EQ(child<QLabel>("Label_LV")->text(), "9.1");
  EXPECT_EQ(child<QComboBox>("ComboBox_Site")->count(), 3);
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(OptionFmTest, ACancelledCheckEndsAtOnceAndSaysNothing) {
  server.answer(200, test::versionDocument("9", "1", "2026-07-10", kSites));
  server.trickle(100);
  open();
  QTimer::singleShot(200, form.get(), [&] {
    EXPECT_TRUE(form->versionCheckRunning());
    form->CancelVersionCheck();
  });
  QElapsedTimer took;
  took.start();
  std::string major, minor;
  EXPECT_FALSE(form->CheckVersion(major, minor, nullptr, nullptr, nullptr));
  EXPECT_LT(took.elapsed(), 1500);
  EXPECT_FALSE(form->versionCheckRunning());
  EXPECT_TRUE(boxes.shown.empty());
}

// An address with white space around it, as a pretty-printed reply has it, is opened.
TEST_F(OptionFmTest, APrettyPrintedAddressIsOpened) {
  server.answer(200, test::versionDocument("9", "1", "2026-07-10",
                                           "<Global>\n  <Firmware>\n    http://global.example/fw.zip\n  </Firmware>\n</Global>"
                                           "<Asia><Firmware> http://asia.example/ </Firmware></Asia>"));
  open();
  form->Btn_CheckNowClick();
  ASSERT_TRUE(child<QFrame>("Panel_Check")->isVisible());
  form->Btn_DownloadClick();
  child<QComboBox>("ComboBox_Site")->setCurrentIndex(1);
  form->Btn_DownloadClick();
  EXPECT_EQ(opened.addresses, (std::vector<std::string>{"http://global.example/fw.zip", "http://asia.example/"}));
  EXPECT_TRUE(boxes.shown.empty());
}

// "Check Now" on the demo: its simulated host's version server names a newer version than the
// one the demo's installer wrote, and the panel shows it with its download sites.
TEST_F(OptionFmTest, CheckNowOnTheDemoShowsTheNewerVersion) {
  const auto demo = sim::loadScenarioFile(TARVEX_SOURCE_DIR "/sim/scenarios/demo.json");
  ASSERT_TRUE(demo.setup) << demo.error;
  for (const sim::RegistrySeed& seed : demo.setup->hosts.at(0).registry)
    for (const auto& [name, value] : seed.values)
      if (seed.machine && name == "Product Version") host.product = value;
  ASSERT_EQ(host.product, "2.1.7");
  sim::World world{*demo.setup, clock};
  sim::VersionServer versionServer(world);
  std::string error;
  ASSERT_TRUE(versionServer.start(error)) << error;
  ::setenv("TARVEX_VERSION_SERVER", ("127.0.0.1:" + std::to_string(versionServer.port())).c_str(), 1);
  open();
  form->Btn_CheckNowClick();
  EXPECT_TRUE(boxes.shown.empty());
  ASSERT_TRUE(child<QFrame>("Panel_Check")->isVisible());
  EXPECT_EQ(child<QLabel>("Label_LV")->text(), "2.5");
  EXPECT_EQ(child<QComboBox>("ComboBox_Site")->currentText(), "Global");
  form->Btn_DownloadClick();
  ASSERT_EQ(opened.addresses.size(), 1u);
  EXPECT_TRUE(app::IsWebAddress(opened.addresses[0])) << opened.addresses[0];
  form->grab().save(QString::fromStdString(outputDir() + "/options-demo-check.png"));
}

// Addresses come over plain HTTP: only web addresses are handed to the desktop.
TEST_F(OptionFmTest, OnlyWebAddressesAreOpened) {
  for (const char* web : {"http://global.example/fw.zip", "https://g.example", "HTTP://G.EXAMPLE/x?y=1"})
    EXPECT_TRUE(app::IsWebAddress(web)) << web;
  for (const char* other : {"file:///etc/passwd", "FILE:///etc/passwd", "javascript:alert(1)", "ftp://h/x",
                            "smb://h/share", "/etc/passwd", "--help", "http://", "http:///etc/passwd",
                            " http://g.example", "http://g.example/a b", ""})
    EXPECT_FALSE(app::IsWebAddress(other)) << other;

  server.answer(200, test::versionDocument("9", "1", "2026-07-10",
                                           "<Global><Firmware>file:///etc/passwd</Firmware></Global>"));
  open();
  form->Btn_CheckNowClick();
  ASSERT_TRUE(child<QFrame>("Panel_Check")->isVisible());
  form->Btn_DownloadClick();
  EXPECT_TRUE(opened.addresses.empty());
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].first, "Connection failed, please try again.");

  // The new-version notice's click.
  for (const char* address : {"file:///etc/passwd", "http://global.example/fw"}) {
    auto* notice = new app::TAboutBox;
    notice->ShowNewVersion("v9.1", address);
    QTest::mouseClick(notice, Qt::LeftButton, {}, QPoint(10, notice->height() / 2));
    notice->close();
  }
  EXPECT_EQ(opened.addresses, std::vector<std::string>{"http://global.example/fw"});
}

TEST_F(OptionFmTest, CheckDaysOutsideTheRangeBringTheLastValueBack) {
  open();
  auto* days = child<QLineEdit>("Edit_CheckDays");
  EXPECT_EQ(days->maxLength(), 3);
  for (const char* bad : {"59", "366", "abc", ""}) {
    boxes.shown.clear();
    days->setText(bad);
    form->Edit_CheckDaysExit();
    ASSERT_EQ(boxes.shown.size(), 1u) << bad;
    EXPECT_EQ(boxes.shown[0].first, "Please input the 60 - 365 integer.");
    EXPECT_EQ(days->text(), "60") << bad;
  }
  boxes.shown.clear();
  days->setText("365");
  form->Edit_CheckDaysExit();
  days->setText("400");
  form->Edit_CheckDaysExit();
  EXPECT_EQ(days->text(), "365");
  EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(OptionFmTest, OkStoresTheBoxesAndTheAutostartEntryCancelStoresNothing) {
  open();
  child<QCheckBox>("CheckBox_AutoRun")->setChecked(true);
  child<QCheckBox>("CheckBox_NotifyNewDevice")->setChecked(false);
  child<QLineEdit>("Edit_CheckDays")->setText("90");
  form->OKBtnClick();
  EXPECT_EQ(setting("AutoRun Check"), "1");
  EXPECT_EQ(setting("Notify Device Detect"), "0");
  EXPECT_EQ(setting("Notify New Version"), "1");
  EXPECT_EQ(setting("Notify Check Days"), "90");
  EXPECT_FALSE(host.notify.deviceDetect);
  EXPECT_EQ(host.notify.checkDays, 90);
  const std::string entry = platform::autostartFile();
  EXPECT_EQ(entry, (configDir / "autostart" / "tarvex.desktop").string());
  std::ifstream in(entry);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("\nExec=\"" + QCoreApplication::applicationFilePath().toStdString() + "\" -mini\n"),
            std::string::npos)
      << text;

  child<QCheckBox>("CheckBox_AutoRun")->setChecked(false);
  form->OKBtnClick();
  EXPECT_EQ(setting("AutoRun Check"), "0");
  EXPECT_FALSE(std::filesystem::exists(entry));

  // Cancel: nothing is stored.
  form->hide();
  open();
  child<QLineEdit>("Edit_CheckDays")->setText("120");
  child<QCheckBox>("CheckBox_NotifyNewVersion")->setChecked(false);
  form->findChild<QPushButton*>("CancelBtn")->click();
  EXPECT_EQ(setting("Notify Check Days"), "90");
  EXPECT_TRUE(host.notify.newVersion);
}

TEST_F(OptionFmTest, WithoutANetworkTheCheckButtonIsOff) {
  struct Down : Ready {
    std::optional<std::string> resolveHost(std::string_view) override { return "127.0.0.1"; }
  } down;
  platform::setSystemInfo(&down);
  open();
  EXPECT_FALSE(form->findChild<QPushButton*>("Btn_CheckNow")->isEnabled());
  platform::setSystemInfo(&ready);
}

}  // namespace
