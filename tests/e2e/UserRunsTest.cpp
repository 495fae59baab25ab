// The real programs on the demo, used as a person would: tarvex on a display of the test's own,
// its rows clicked, its menus and dialogs answered with keys and clicks through xdotool, other
// computers acting through tarvex-simctl; the simulated host's request log, the registry database
// and the written files say what happened. Pictures of the screen go to build/test-output/e2e/.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <map>
#include <random>

#include "app/DeviceListView.h"
#include "support/DemoRows.h"
#include "support/Process.h"
#include "support/ProgramFolder.h"
#include "support/XSession.h"

namespace {

namespace fs = std::filesystem;

const std::string kMainTitle = "^Tarvex Velmora Network USB Utility";
const std::string kOffice = "192.168.1.20";

using test::DemoRow;
using enum test::DemoRow;
using test::kRowNames;

constexpr int kLong = 30000;  // generous: the sanitizer build under load is slow to start

// A text field of a log line; empty when it is absent or not a text.
std::string text(const nlohmann::json& j, const char* key) {
  const auto it = j.find(key);
  return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

struct LogEntry {
  long long seq = 0;
  std::string host, what, code, request, result, device;
};

class UserRunTest : public ::testing::Test {
 protected:
  // Each test program has its own display and scratch folder: CTest runs them side by side.
  static void SetUpTestSuite() { startSession(); }
  static void startSession(int width = 2560, int height = 1440) {
    scratch = fs::temp_directory_path() / ("tarvex-x-" + std::to_string(std::random_device{}()));
    x = new test::XSession(scratch, width, height);
  }
  static void TearDownTestSuite() {
    delete x;
    x = nullptr;
    std::error_code ec;
    fs::remove_all(scratch, ec);
  }
  static fs::path outputRoot() { return fs::path(TARVEX_BIN_DIR) / ".." / "test-output" / "e2e"; }

  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    pictures = outputRoot() / info->name();
    fs::remove_all(pictures);
    fs::create_directories(pictures);
    ASSERT_TRUE(x->started()) << x->error();
    fs::create_directories(dir / "home" / ".config");
    env.insert(env.end(), {"HOME=" + (dir / "home").string(),
                           "XDG_CONFIG_HOME=" + (dir / "home" / ".config").string()});
    for (const auto& e : x->env()) env.push_back(e);
  }

  void TearDown() override {
    if (x->started()) x->picture(pictures / "end.png");
    if (HasFailure()) x->keepOutput(pictures);  // what the display's own programs said
    if (tarvex) {
      tarvex->signal(SIGTERM);
      // A run that failed may have left a dialog open, which holds the end back: it is killed.
      const int code = tarvex->wait(HasFailure() ? 3000 : kLong);
      if (!HasFailure()) {
        EXPECT_EQ(code, 0) << tarvex->output();
      }
    }
    if (simhost) {
      simhost->signal(SIGTERM);
      simhost->wait(kLong);
    }
  }

  static std::string bin(const char* name) { return test::programPath(name); }

  // Until the program has ended by itself, within the time: its exit code (-1: still running, or
  // killed by a signal).
  int waitForEnd(int ms) {
    const int code = tarvex->wait(ms);
    if (code != -1) tarvex.reset();  // nothing left for the end of the test to stop
    return code;
  }

  // The simulated host on the demo, then tarvex, its window up and every row of NUS-Office listed
  // (the program says so with its device-found notices, which it prints while it answers its
  // message boxes itself).
  void startDemo(const std::string& program = bin("tarvex")) {
    ASSERT_NO_FATAL_FAILURE(startDemoWindow(program));
    ASSERT_NO_FATAL_FAILURE(waitForAllRows());
  }
  void waitForAllRows() {
    ASSERT_TRUE(test::eventually([&] { return test::foundEveryDemoRow(tarvex->output()); }, kLong))
        << tarvex->output();
  }
  void startDemoWindow(const std::string& program = bin("tarvex")) {
    ASSERT_NO_FATAL_FAILURE(startDemoHost());
    startTarvex({program});
    const auto window = x->waitForWindow(kMainTitle, kLong);
    ASSERT_TRUE(window) << tarvex->output();
    mainWindow = *window;
  }
  void startDemoHost() {
    simhost = std::make_unique<test::Process>(
        std::vector<std::string>{bin("tarvex-simhost"), TARVEX_SOURCE_DIR "/sim/scenarios/demo.json"}, env,
        (dir / "simhost.out").string());
    ASSERT_TRUE(test::eventually([&] { return fs::exists(dir / "sim" / "simhost.sock"); }, kLong))
        << simhost->output();
  }
  // tarvex with its arguments; each start writes its own output file.
  void startTarvex(const std::vector<std::string>& argv) {
    tarvex = std::make_unique<test::Process>(
        argv, env, (dir / ("tarvex-" + std::to_string(++starts) + ".out")).string());
  }

  // Scan Now on the Canon scanner, the settings window answered with its defaults, the save
  // window closed once the page is in.
  void scanNowWithTheDefaults() {
    const std::string menu = openMenu(kCanonScanner);
    ASSERT_FALSE(menu.empty());
    ASSERT_TRUE(x->keys({"Up", "Up"}));  // TroubleShoot, Scan Now, Connect
    x->picture(pictures / "1-menu.png");
    ASSERT_TRUE(x->keys({"Return"}));

    const auto settings = x->waitForWindow("^Network Scanner", kLong);
    ASSERT_TRUE(settings) << tarvex->output();
    x->picture(pictures / "2-settings.png");
    ASSERT_TRUE(x->keys(*settings, {"Return"}));  // "Next >", the default button

    const auto save = x->waitForWindow("^Network Scanner", kLong, {*settings});
    ASSERT_TRUE(save) << tarvex->output();
    ASSERT_TRUE(test::eventually(
        [&] {
          for (const auto& e : log())
            if (e.what == "wia" && e.result == "status") return true;
          return false;
        },
        kLong))
        << "the page never came";
    x->picture(pictures / "3-saved.png");
    const auto g = x->geometry(*save);
    ASSERT_TRUE(g);
    // "Close" (the Cancel button once the transfer is over) sits in the bottom right corner. A
    // click that came while the window still wrapped up the group only asks it to stop; the
    // second one closes it.
    ASSERT_TRUE(x->click(*save, g->width - 52, g->height - 23));
    if (!x->waitGone(*save, 3000)) {
      ASSERT_TRUE(x->click(*save, g->width - 52, g->height - 23));
    }
    ASSERT_TRUE(x->waitGone(*save, kLong)) << "the save window stayed";
  }

  std::string simctl(const std::vector<std::string>& args) {
    std::vector<std::string> argv{bin("tarvex-simctl")};
    argv.insert(argv.end(), args.begin(), args.end());
    test::Process p(argv, env, (dir / "simctl.out").string());
    EXPECT_EQ(p.wait(kLong), 0) << p.output();
    return p.output();
  }

  // The request log so far; each call asks only for the entries that came since the last one.
  const std::vector<LogEntry>& log() {
    const long long from = logSeen.empty() ? 0 : logSeen.back().seq + 1;
    std::istringstream lines(simctl({"log", "--from", std::to_string(from)}));
    for (std::string line; std::getline(lines, line);) {
      const auto j = nlohmann::json::parse(line, nullptr, false);
      if (j.is_discarded()) continue;
      LogEntry e;
      e.seq = j.value("seq", 0LL);
      e.host = text(j, "host");
      e.what = text(j, "what");
      e.code = text(j, "code");
      e.request = text(j, "request");
      e.result = text(j, "result");
      e.device = text(j, "device");
      logSeen.push_back(e);
    }
    return logSeen;
  }
  long long lastSeq() {
    const auto entries = log();
    return entries.empty() ? 0 : entries.back().seq;
  }
  // The control requests of this run's computer with the code, after `fromSeq`: their bytes.
  std::vector<std::string> requests(const std::string& code, long long fromSeq = 0) {
    std::vector<std::string> out;
    for (const auto& e : log())
      if (e.seq > fromSeq && e.host == computer && e.what == "control" && e.code == code)
        out.push_back(e.request);
    return out;
  }
  bool waitForRequest(const std::string& code, const std::string& request, long long fromSeq = 0) {
    return test::eventually(
        [&] {
          const auto seen = requests(code, fromSeq);
          return std::find(seen.begin(), seen.end(), request) != seen.end();
        },
        kLong);
  }
  long long seqOf(const std::string& code, const std::string& request) {
    for (const auto& e : log())
      if (e.host == computer && e.what == "control" && e.code == code && e.request == request) return e.seq;
    return 0;
  }
  // OFFICE-PC read a device list after `fromSeq`: its rows follow the server's latest state.
  bool waitForDeviceList(long long fromSeq) {
    return test::eventually([&] { return !requests("0x222044", fromSeq).empty(); }, kLong);
  }

  // Whether the window shows the rows down to `row` from its top, each with its silver line at
  // its bottom. The found notices come while the list is filled, before the window has laid
  // itself out again: the notice of an empty list still stands above the rows then, and a click
  // goes to the row drawn under it.
  bool rowsDrawnFromTheTop(const test::XSession::Geometry& main, DemoRow row) {
    constexpr int kRowHeight = app::DeviceRowDelegate::kRowHeight;
    const int bottom = (static_cast<int>(row) + 1) * kRowHeight;
    const std::string silver(3, static_cast<char>(192));  // the delegate's line, RGB
    const std::string column = x->pixels(mainWindow, {main.width - 40, 0, 1, bottom + 1});
    if (column.size() != static_cast<std::size_t>(bottom + 1) * 3) return false;
    for (int k = 0; k <= static_cast<int>(row); ++k) {
      const std::size_t at = static_cast<std::size_t>((k + 1) * kRowHeight) * 3;
      if (column.compare(at, 3, silver) != 0) return false;
    }
    return true;
  }

  // A left click on the row opens its menu 300 ms later at the click point: the menu's window.
  std::string openMenu(DemoRow row) {
    const auto main = x->geometry(mainWindow);
    EXPECT_TRUE(main);
    if (!main) return {};
    const bool drawn = test::eventually([&] { return rowsDrawnFromTheTop(*main, row); }, kLong);
    EXPECT_TRUE(drawn) << "the rows are not drawn where the click goes";
    if (!drawn) return {};
    constexpr int kRowHeight = app::DeviceRowDelegate::kRowHeight;
    const int px = 200, py = static_cast<int>(row) * kRowHeight + kRowHeight / 2;
    const auto before = x->windows("");
    EXPECT_TRUE(x->click(mainWindow, px, py));
    // The menu opens at the click point; a window manager may put it a few pixels off.
    std::optional<std::string> menu;
    test::eventually(
        [&] {
          for (const auto& id : x->windows(""))
            if (std::find(before.begin(), before.end(), id) == before.end()) {
              const auto g = x->geometry(id, 1000);
              if (g && std::abs(g->x - (main->x + px)) <= 40 && std::abs(g->y - (main->y + py)) <= 40) {
                menu = id;
                return true;
              }
            }
          return false;
        },
        kLong);
    EXPECT_TRUE(menu) << "no menu for " << kRowNames[row];
    return menu.value_or("");
  }

  // Whether the window manager stacks both windows, `upper` above `lower`.
  bool stackedAbove(const std::string& upper, const std::string& lower) {
    const auto stack = x->stacking();
    const auto u = std::find(stack.begin(), stack.end(), upper), l = std::find(stack.begin(), stack.end(), lower);
    return u != stack.end() && l != stack.end() && u > l;
  }

  // Values of a key of OFFICE-PC's registry, as "name=data" lines in name order, read with the
  // sqlite3 tool.
  std::string storedValues(const std::string& key, const std::vector<std::string>& names) {
    std::string in;
    for (const auto& n : names) in += (in.empty() ? "'" : ", '") + n + "'";
    const std::string query =
        "WITH RECURSIVE path(id, full) AS (SELECT id, name FROM keys WHERE parent IS NULL "
        "UNION ALL SELECT k.id, path.full || '\\' || k.name FROM keys k JOIN path ON k.parent = path.id) "
        "SELECT v.name || '=' || v.data FROM vals v JOIN path ON path.id = v.key WHERE path.full = '" +
        key + "' AND v.name IN (" + in + ") ORDER BY v.name;";
    return tool({"/usr/bin/sqlite3", "-readonly", "-cmd", ".timeout 5000",
                 (dir / "sim" / "hosts" / "OFFICE-PC" / "registry.db").string(), query});
  }

  // What an outside tool says (standard output and error together).
  std::string tool(const std::vector<std::string>& argv) {
    test::Process p(argv, {}, (dir / "tool.out").string());
    EXPECT_TRUE(p.started()) << argv.front();
    p.wait(kLong);
    return p.output();
  }

  static test::XSession* x;
  static fs::path scratch;
  test::ProgramFolder programFolder{"tarvex-user-run-"};
  const fs::path dir = programFolder.path();
  fs::path pictures;
  std::vector<std::string> env = programFolder.env();
  std::unique_ptr<test::Process> simhost, tarvex;
  std::string mainWindow;
  std::string computer = "OFFICE-PC";  // the computer tarvex runs as
  int starts = 0;
  std::vector<LogEntry> logSeen;
};

test::XSession* UserRunTest::x = nullptr;
fs::path UserRunTest::scratch;

// Another computer takes and releases a different device while the menu is open; the rows are
// read again meanwhile, and Connect still links and locks the device the menu was opened on.
TEST_F(UserRunTest, ConnectFromAMenuOpenWhileAnotherComputerTakesAndReleasesADevice) {
  ASSERT_NO_FATAL_FAILURE(startDemo());
  const std::string menu = openMenu(kBrother);
  ASSERT_FALSE(menu.empty());
  x->picture(pictures / "1-menu.png");

  long long before = lastSeq();
  simctl({"take", "LAB-PC", kOffice, "5", "2", "3600"});
  ASSERT_TRUE(waitForDeviceList(before)) << "the take was not announced";
  x->picture(pictures / "2-taken.png");
  before = lastSeq();
  simctl({"release", kOffice, "5"});
  ASSERT_TRUE(waitForDeviceList(before)) << "the release was not announced";
  x->picture(pictures / "3-released.png");
  const auto open = x->windows("");
  ASSERT_NE(std::find(open.begin(), open.end(), menu), open.end()) << "the menu closed meanwhile";

  before = lastSeq();
  ASSERT_TRUE(x->keys({"Up", "Return"}));  // the last item: Connect
  ASSERT_TRUE(waitForRequest("0x222060", "01100e000002", before)) << "no lock of type 2 for 3600 s";
  EXPECT_EQ(requests("0x222048", before), std::vector<std::string>{"01"});
  EXPECT_EQ(requests("0x222060", before), std::vector<std::string>{"01100e000002"});
  ASSERT_TRUE(waitForDeviceList(seqOf("0x222060", "01100e000002")));
  x->picture(pictures / "4-connected.png");
  EXPECT_EQ(tarvex->output().find("message box"), std::string::npos) << tarvex->output();
}

// Scan Now in the menu of the bound scanner runs the WIA road: the settings window is answered
// with its defaults (the pictures folder), the save window closed once the page is in.
TEST_F(UserRunTest, ScanNowOnTheBoundScannerWritesTheGroupsJpegFiles) {
  const fs::path folder = pictures / "Pictures";
  fs::create_directories(folder);
  std::ofstream(dir / "home" / ".config" / "user-dirs.dirs")
      << "XDG_PICTURES_DIR=\"" << fs::absolute(folder).lexically_normal().string() << "\"\n";
  ASSERT_NO_FATAL_FAILURE(startDemo());

  ASSERT_NO_FATAL_FAILURE(scanNowWithTheDefaults());

  ASSERT_TRUE(waitForRequest("0x222064", "040000000001")) << "no unlock with 0 seconds";
  EXPECT_EQ(requests("0x222048"), std::vector<std::string>{"04"});
  EXPECT_EQ(requests("0x222060"), std::vector<std::string>{"04b004000001"});
  EXPECT_TRUE(requests("0x22204c").empty()) << "Scan Now never unlinks";

  const fs::path page = folder / "Picture.jpg";
  ASSERT_TRUE(fs::exists(page));
  EXPECT_EQ(tool({"/usr/bin/identify", "-format", "%m %w %h", page.string()}), "JPEG 850 1100");
  EXPECT_EQ(tool({"/usr/bin/djpeg", "-outfile", "/dev/null", page.string()}), "") << "djpeg refused it";
  EXPECT_EQ(tarvex->output().find("message box"), std::string::npos) << tarvex->output();
}

// A fresh account on OFFICE-PC has no pictures folder, under a window manager as on a desktop:
// Scan Now with the defaults saves the page in a folder that is there (the program's own, here a
// copy of it in a folder of the run's), tells nothing, and gives the scanner back.
// Runs with a window manager on a display of their own, so that the other runs keep a bare one.
class UserRunUnderWindowManagerTest : public UserRunTest {};

TEST_F(UserRunUnderWindowManagerTest, ScanNowWithoutAPicturesFolderSavesWhereItCan) {
  ASSERT_TRUE(x->startWindowManager()) << x->error();
  const fs::path program = dir / "program";
  fs::create_directories(program);
  fs::copy_file(bin("tarvex"), program / "tarvex");
  ASSERT_FALSE(fs::exists(dir / "home" / "Pictures"));
  ASSERT_NO_FATAL_FAILURE(startDemo((program / "tarvex").string()));

  ASSERT_NO_FATAL_FAILURE(scanNowWithTheDefaults());
  ASSERT_TRUE(waitForRequest("0x222064", "040000000001")) << "no unlock with 0 seconds";
  const fs::path page = program / "Picture.jpg";
  ASSERT_TRUE(fs::exists(page)) << tarvex->output();
  EXPECT_EQ(tool({"/usr/bin/identify", "-format", "%m %w %h", page.string()}), "JPEG 850 1100");
  EXPECT_FALSE(fs::exists(dir / "home" / "Pictures"));
  EXPECT_EQ(tarvex->output().find("message box"), std::string::npos) << tarvex->output();
}

// The demo's Kyocera printer has an installed queue that no binding names: the set-up wizard binds
// it, the device's registry record says so, and a job on the queue makes the new print watcher
// link the device, lock it for the job and unlock it when the queue is empty.
TEST_F(UserRunTest, BindsAnUnboundPrinterThroughTheWizardAndItsQueuePrintsThroughTheWatcher) {
  ASSERT_NO_FATAL_FAILURE(startDemo());
  const std::string menu = openMenu(kKyocera);
  ASSERT_FALSE(menu.empty());
  ASSERT_TRUE(x->keys({"Down", "Return"}));  // the first item: Manage Device

  const auto wizard = x->waitForWindow("^Device Setup", kLong);
  ASSERT_TRUE(wizard) << tarvex->output();
  const auto g = x->geometry(*wizard);
  ASSERT_TRUE(g);
  // Every page has its own title at the top: a new title means the next page is shown.
  const test::XSession::Geometry title{0, 0, g->width, 40};
  std::string shown = x->pixels(*wizard, title);
  x->picture(pictures / "1-install.png");
  ASSERT_TRUE(x->keys(*wizard, {"Return"}));  // "No" software to install: Next
  ASSERT_TRUE(x->waitForChange(*wizard, title, shown, kLong)) << "no connect page";
  x->picture(pictures / "2-connect.png");
  EXPECT_EQ(requests("0x222048"), std::vector<std::string>{"06"});
  EXPECT_EQ(requests("0x222060"), std::vector<std::string>{"06100e000002"});

  shown = x->pixels(*wizard, title);
  ASSERT_TRUE(x->keys(*wizard, {"Return"}));
  ASSERT_TRUE(x->waitForChange(*wizard, title, shown, kLong)) << "no printer list";
  // The list fills the page; its first row is the only queue no other device is bound to.
  ASSERT_TRUE(x->click(*wizard, g->width / 2, g->height / 2));
  ASSERT_TRUE(x->keys(*wizard, {"Home", "space"}));
  x->picture(pictures / "3-queue-checked.png");
  const long long beforeOk = lastSeq();
  ASSERT_TRUE(x->keys(*wizard, {"Return"}));  // OK
  ASSERT_TRUE(x->waitGone(*wizard, kLong)) << "the wizard stayed";
  EXPECT_EQ(tarvex->output().find("not be recommended"), std::string::npos)
      << "the maker list beside the program recommends the Kyocera queue for the Kyocera printer";
  // Bound, the device is given back for the watcher to take when a job comes.
  ASSERT_TRUE(waitForRequest("0x22204c", "06", beforeOk)) << "the device was not released";
  EXPECT_EQ(requests("0x222064", beforeOk), std::vector<std::string>{"060000000002"});

  const std::string key =
      "HKEY_CURRENT_USER\\Software\\Tarvex\\Velmora Network USB Utility\\Auto-Connect\\"
      "IP_192.168.1.20&MAC_00:1A:2B:3C:4D:5E&Vid_0482&Pid_0495&SNo_VCF9Z04417";
  EXPECT_EQ(storedValues(key, {"PrinterEnable", "PrinterName", "PrinterPort"}),
            "PrinterEnable=1\nPrinterName=Kyocera ECOSYS P2040dn\nPrinterPort=USB003\n");

  const long long beforeJob = lastSeq();
  simctl({"print", "OFFICE-PC", "Kyocera ECOSYS P2040dn", "report.pdf"});
  ASSERT_TRUE(waitForRequest("0x222064", "060000000001", beforeJob)) << "no unlock after the job";
  EXPECT_EQ(requests("0x222048", beforeJob), std::vector<std::string>{"06"});
  EXPECT_EQ(requests("0x222060", beforeJob), std::vector<std::string>{"06b004000001"});
  bool printed = false;
  for (const auto& e : log())
    printed = printed || (e.what == "job" && e.device == "Kyocera ECOSYS P2040dn" && e.result == "printed");
  EXPECT_TRUE(printed);
  x->picture(pictures / "4-printed.png");
}

// The same runs on a desktop as a newcomer has it: a window manager (openbox) that keeps a panel's
// room at the bottom of the screen, and no system tray.
class DesktopRunTest : public UserRunTest {
 protected:
  static constexpr int kPanel = 48;
  static void SetUpTestSuite() {
    UserRunTest::SetUpTestSuite();
    if (x->started() && !x->startWindowManager(kLong, kPanel)) windowManagerError = x->error();
  }
  void SetUp() override {
    UserRunTest::SetUp();
    ASSERT_TRUE(windowManagerError.empty()) << windowManagerError;
  }
  static inline std::string windowManagerError;
};

// The window manager shows each window's own caption, nothing added; the device-found notices of
// the start stand inside the screen less the panel, from their first step to their rest.
TEST_F(DesktopRunTest, CaptionsStandAsTheyAreAndNoticesStayAboveThePanel) {
  std::erase(env, std::string("TARVEX_DIALOG_ANSWERS=default"));  // message boxes on the screen
  const auto work = x->workArea();
  ASSERT_TRUE(work);
  ASSERT_LE(work->y + work->height, 1440 - kPanel) << "the panel's room is kept";
  ASSERT_NO_FATAL_FAILURE(startDemoWindow());
  EXPECT_EQ(x->windowName(mainWindow), "Tarvex Velmora Network USB Utility");

  std::map<std::string, int> notices;  // each notice, with the times its place was seen
  const bool all = test::eventually(
      [&] {
        for (const auto& id : x->windowsOfClass("tarvex")) {
          const auto g = x->geometryNow(id);
          if (!g || g->width != 240) continue;
          ++notices[id];
          EXPECT_TRUE(g->x >= work->x && g->y >= work->y && g->x + g->width <= work->x + work->width &&
                      g->y + g->height <= work->y + work->height)
              << "a notice at " << g->x << "," << g->y << " " << g->width << "x" << g->height;
        }
        return notices.size() >= kRowCount;
      },
      kLong);
  x->picture(pictures / "1-notices.png");
  EXPECT_TRUE(all) << notices.size() << " notices seen";

  // A link that fails says so in a box captioned with the product name.
  simctl({"fail-next", "0x222048"});
  ASSERT_FALSE(openMenu(kBrother).empty());
  ASSERT_TRUE(x->keys({"Up", "Return"}));  // the last item: Connect
  const auto box = x->waitForWindow("^Velmora Network USB Utility", kLong);
  ASSERT_TRUE(box) << tarvex->output();
  x->picture(pictures / "2-box.png");
  EXPECT_EQ(x->windowName(*box), "Velmora Network USB Utility");
  ASSERT_TRUE(x->keys(*box, {"Return"}));
  ASSERT_TRUE(x->waitGone(*box, kLong));

  ASSERT_FALSE(openMenu(kKyocera).empty());
  ASSERT_TRUE(x->keys({"Down", "Return"}));  // the first item: Manage Device
  const auto wizard = x->waitForWindow("^Device Setup", kLong);
  ASSERT_TRUE(wizard) << tarvex->output();
  x->picture(pictures / "3-wizard.png");
  EXPECT_EQ(x->windowName(*wizard), "Device Setup");
  ASSERT_TRUE(x->keys(*wizard, {"Escape"}));
  ASSERT_TRUE(x->waitGone(*wizard, kLong));
}

// With no tray to hide to, the close box ends the program as "Exit" does: the storage this
// computer connected is ejected and given back.
TEST_F(DesktopRunTest, WithoutATrayTheCloseBoxEndsTheProgramAndGivesTheStorageBack) {
  ASSERT_NO_FATAL_FAILURE(startDemo());
  ASSERT_FALSE(openMenu(kSanDisk).empty());
  ASSERT_TRUE(x->keys({"Down", "Return"}));  // its one item: Connect
  ASSERT_TRUE(waitForRequest("0x222060", "0380f4030002")) << "no lock of type 2 for 259200 s";
  const long long before = lastSeq();
  ASSERT_TRUE(x->keys(mainWindow, {"alt+F4"}));  // the window manager's close
  EXPECT_EQ(waitForEnd(10000), 0) << "the program went on without a window";
  const auto unlinks = requests("0x22204c", before);
  EXPECT_NE(std::find(unlinks.begin(), unlinks.end(), "03"), unlinks.end()) << "the storage was kept";
}

// The end of the session during Scan Now's two-second wait after its lock: the shutdown runs once
// the wait is over, and Scan Now goes no further. The scanner is given back (by Scan Now's unlock
// before the shutdown, or by the shutdown's unlink), and nothing reaches the host after that.
TEST_F(UserRunTest, TheEndOfTheSessionDuringScanNowsWaitIsTheLastThingTheScannerHears) {
  ASSERT_NO_FATAL_FAILURE(startDemo());
  ASSERT_FALSE(openMenu(kCanonScanner).empty());
  ASSERT_TRUE(x->keys({"Up", "Up", "Return"}));  // TroubleShoot, Scan Now, Connect
  ASSERT_TRUE(waitForRequest("0x222060", "04b004000001")) << "no lock";
  // Once the list is read again the row says the scanner is held here: the shutdown gives it back.
  ASSERT_TRUE(waitForDeviceList(seqOf("0x222060", "04b004000001")));
  tarvex->signal(SIGTERM);
  EXPECT_EQ(waitForEnd(kLong), 0) << tarvex->output();
  // The shutdown stops the event reader once the devices are given back.
  long long readerStopped = 0;
  for (const auto& e : log())
    if (!readerStopped && e.host == computer && e.what == "cancel" && e.code == "0x222018") readerStopped = e.seq;
  ASSERT_NE(readerStopped, 0) << "no shutdown";
  const long long unlink = seqOf("0x22204c", "04"), unlock = seqOf("0x222064", "040000000001");
  EXPECT_TRUE(unlink != 0 || (unlock != 0 && unlock < readerStopped)) << "the scanner was kept";
  const long long givenBack = unlink != 0 ? unlink : readerStopped;
  for (const auto& e : log())
    if (e.seq > givenBack && e.host == computer && (e.what == "control" || e.what == "wia"))
      ADD_FAILURE() << "after the scanner was given back: " << e.what << " " << e.code << " " << e.request;
}

// The end of the session while the wizard waits on its connect page: the program ends within
// seconds and gives back the printer the wizard connected.
TEST_F(DesktopRunTest, TheEndOfTheSessionEndsTheProgramUnderTheWizard) {
  ASSERT_NO_FATAL_FAILURE(startDemo());
  ASSERT_FALSE(openMenu(kKyocera).empty());
  ASSERT_TRUE(x->keys({"Down", "Return"}));  // Manage Device
  const auto wizard = x->waitForWindow("^Device Setup", kLong);
  ASSERT_TRUE(wizard) << tarvex->output();
  ASSERT_TRUE(x->keys(*wizard, {"Return"}));  // no software to install: the connect page
  ASSERT_TRUE(waitForRequest("0x222060", "06100e000002")) << "the wizard did not connect the printer";
  x->picture(pictures / "1-wizard.png");
  const long long before = lastSeq();
  tarvex->signal(SIGTERM);
  EXPECT_EQ(waitForEnd(10000), 0) << "the program went on under the wizard";
  const auto unlinks = requests("0x22204c", before);
  EXPECT_NE(std::find(unlinks.begin(), unlinks.end(), "06"), unlinks.end()) << "the printer was kept";
}

// A plain start, then three hidden starts each brought up by starting the program again: the
// window comes up where it was left every time, and the stored place does not move. The wizard
// opens beside the window, its frame's top at the window's frame's top.
TEST_F(DesktopRunTest, HiddenStartsBringTheWindowUpWhereItWasLeft) {
  ASSERT_NO_FATAL_FAILURE(startDemoHost());
  const std::string settings = "HKEY_CURRENT_USER\\Software\\Tarvex\\Velmora Network USB Utility";
  // Where the window's frame settles once the window manager has framed it.
  const auto settledFrame = [&](const std::string& window) {
    std::optional<test::XSession::Geometry> last, now;
    test::eventually(
        [&] {
          now = x->frameGeometry(window);
          const bool same = now && last && now->x == last->x && now->y == last->y;
          last = now;
          return same;
        },
        kLong);
    return now;
  };
  const auto bringUp = [&](bool hidden) -> std::optional<std::string> {
    const long long from = lastSeq();
    if (!hidden) {
      startTarvex({bin("tarvex")});
      return x->waitForWindow(kMainTitle, kLong);
    }
    startTarvex({bin("tarvex"), "-mini"});
    EXPECT_TRUE(waitForDeviceList(from)) << tarvex->output();
    EXPECT_TRUE(x->windows(kMainTitle).empty()) << "the hidden start shows its window";
    // A show asked for while a device-found notice slides in is ignored: started until it comes.
    for (int i = 0; i < 15; ++i) {
      test::Process second({bin("tarvex")}, env, (dir / "second.out").string());
      EXPECT_EQ(second.wait(kLong), 0) << second.output();
      if (auto window = x->waitForWindow(kMainTitle, 2000)) return window;
    }
    return std::nullopt;
  };

  std::optional<test::XSession::Geometry> first;
  std::string stored;
  for (int run = 0; run < 4; ++run) {
    SCOPED_TRACE(run == 0 ? "the plain start" : "hidden start " + std::to_string(run));
    const auto window = bringUp(run > 0);
    ASSERT_TRUE(window) << tarvex->output();
    const auto frame = settledFrame(*window);
    ASSERT_TRUE(frame);
    x->picture(pictures / (std::to_string(run) + "-up.png"));
    if (run == 0) first = frame;
    EXPECT_LE(std::abs(frame->x - first->x), 2) << "at " << frame->x << "," << frame->y;
    EXPECT_LE(std::abs(frame->y - first->y), 2) << "at " << frame->x << "," << frame->y;
    if (run == 3) {
      // The wizard beside it.
      mainWindow = *window;
      ASSERT_NO_FATAL_FAILURE(waitForAllRows());
      // The pointer may still rest over the row where an earlier run left it, and a window that
      // came up under it saw it enter but never move: it moves away first.
      ASSERT_TRUE(x->clickAt(1, 1));
      ASSERT_FALSE(openMenu(kKyocera).empty());
      ASSERT_TRUE(x->keys({"Down", "Return"}));  // Manage Device
      const auto wizard = x->waitForWindow("^Device Setup", kLong);
      ASSERT_TRUE(wizard) << tarvex->output();
      const auto beside = settledFrame(*wizard);
      ASSERT_TRUE(beside);
      x->picture(pictures / "4-wizard.png");
      EXPECT_LE(std::abs(beside->y - frame->y), 2) << "the wizard's frame at " << beside->y
                                                   << ", the window's at " << frame->y;
      EXPECT_LE(std::abs(beside->x - (frame->x + frame->width)), 2);
      ASSERT_TRUE(x->keys(*wizard, {"Escape"}));
      ASSERT_TRUE(x->waitGone(*wizard, kLong));
    }
    tarvex->signal(SIGTERM);
    ASSERT_EQ(waitForEnd(kLong), 0);
    const std::string place = storedValues(settings, {"MainForm Left", "MainForm Top"});
    if (run == 0) stored = place;
    EXPECT_EQ(place, stored);
  }
}

// SCAN-PC (Windows 5.0) scans through TWAIN under a window manager: Scan Now on the Canon, a PDF
// group "Invoice", Scan, the source's own window clicked with the mouse, Close. The source's
// window belongs to the scanning window and stacks above it; the user's Documents/Picture.jpg is
// left as it was.
TEST_F(UserRunTest, ScanNowThroughTwainWritesAPdfGroupAndLeavesTheUsersFilesAlone) {
  ASSERT_TRUE(x->startWindowManager()) << x->error();
  computer = "SCAN-PC";
  std::replace(env.begin(), env.end(), std::string("TARVEX_HOST=OFFICE-PC"), std::string("TARVEX_HOST=SCAN-PC"));
  const fs::path picturesDir = fs::absolute(pictures / "Pictures").lexically_normal();
  const fs::path documents = fs::absolute(pictures / "Documents").lexically_normal();
  fs::create_directories(picturesDir);
  fs::create_directories(documents);
  std::ofstream(dir / "home" / ".config" / "user-dirs.dirs")
      << "XDG_PICTURES_DIR=\"" << picturesDir.string() << "\"\nXDG_DOCUMENTS_DIR=\"" << documents.string() << "\"\n";
  const std::string mine = "the user's own picture, not a scanned page";
  std::ofstream(documents / "Picture.jpg", std::ios::binary) << mine;
  ASSERT_NO_FATAL_FAILURE(startDemo());

  const std::string menu = openMenu(kCanonScanner);
  ASSERT_FALSE(menu.empty());
  ASSERT_TRUE(x->keys({"Up", "Up", "Return"}));  // TroubleShoot, Scan Now, Connect
  const auto scanWindow = x->waitForWindow("^Welcome to the Razo-Razezed Ireruro", kLong);
  ASSERT_TRUE(scanWindow) << tarvex->output();
  const auto g = x->geometry(*scanWindow);
  ASSERT_TRUE(g);
  // The name field has the keyboard; the format box follows it.
  ASSERT_TRUE(x->keys(*scanWindow, {"ctrl+a"}));
  x->xdotool({"type", "--delay", "60", "Invoice"});
  ASSERT_TRUE(x->keys({"Tab", "Down", "Down"}));  // JPG, BMP, PDF
  x->picture(pictures / "1-invoice-pdf.png");
  // "Scan" and "Close" sit at the bottom of the left panel, which has a fixed width.
  ASSERT_TRUE(x->click(*scanWindow, 175, g->height - 32));

  const auto source = x->waitForWindow("^Canon CanoScan LiDE 400", kLong);
  ASSERT_TRUE(source) << "the source's window did not open: " << tarvex->output();
  x->picture(pictures / "2-source.png");
  EXPECT_EQ(x->transientFor(*source), *scanWindow) << "the source's window is not the scanning window's";
  EXPECT_TRUE(stackedAbove(*source, *scanWindow)) << "the source's window is below the scanning window";
  const auto s = x->geometry(*source);
  ASSERT_TRUE(s);
  ASSERT_TRUE(x->click(*source, s->width - 139, s->height - 23));  // its "Scan", left of "Close"

  const fs::path pdf = picturesDir / "Invoice.pdf";
  ASSERT_TRUE(test::eventually(
      [&] { return fs::exists(pdf) && tool({"/usr/bin/qpdf", "--check", pdf.string()}).find("No syntax or stream encoding errors") != std::string::npos; },
      kLong))
      << "no Invoice.pdf: " << tarvex->output();
  EXPECT_TRUE(x->waitGone(*source, kLong));
  // Once saved, the window previews the first page: its preview box is no longer empty.
  x->picture(pictures / "3-saved.png");
  ASSERT_TRUE(test::eventually([&] { return tool({"/usr/bin/pdfinfo", pdf.string()}).find("Pages:           3") != std::string::npos; }, kLong));

  const long long beforeClose = lastSeq();
  bool closed = false;
  for (int i = 0; i < 20 && !closed; ++i) {  // Close is enabled again once the save is done
    ASSERT_TRUE(x->click(*scanWindow, 261, g->height - 32));
    closed = x->waitGone(*scanWindow, 1000);
  }
  ASSERT_TRUE(closed) << "the scanning window stayed";
  x->picture(pictures / "4-closed.png");
  ASSERT_TRUE(waitForRequest("0x222064", "040000000001", beforeClose)) << "no unlock with 0 seconds";
  EXPECT_EQ(requests("0x222060"), std::vector<std::string>{"04b004000001"});
  EXPECT_TRUE(requests("0x22204c").empty()) << "Scan Now never unlinks";

  std::ifstream in(documents / "Picture.jpg", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), mine);
  EXPECT_EQ(std::distance(fs::directory_iterator(documents), fs::directory_iterator()), 1);
  EXPECT_EQ(tarvex->output().find("message box"), std::string::npos) << tarvex->output();
}

// SCAN-PC scans through TWAIN under a window manager, its message boxes on the screen: Scan with
// the name cleared is refused in a box that belongs to the stay-on-top scanning window and stands
// above it, a click on its OK answers it, and the scanning window takes the next click.
TEST_F(UserRunTest, TheScanningWindowsBoxOpensAboveItAndTakesAClick) {
  ASSERT_TRUE(x->startWindowManager()) << x->error();
  computer = "SCAN-PC";
  std::replace(env.begin(), env.end(), std::string("TARVEX_HOST=OFFICE-PC"), std::string("TARVEX_HOST=SCAN-PC"));
  std::erase(env, std::string("TARVEX_DIALOG_ANSWERS=default"));  // message boxes on the screen
  ASSERT_NO_FATAL_FAILURE(startDemoWindow());
  // The rows are in once every device-found notice has come.
  ASSERT_TRUE(test::eventually(
      [&] {
        int notices = 0;
        for (const auto& id : x->windowsOfClass("tarvex")) {
          const auto g = x->geometryNow(id);
          notices += g && g->width == 240;
        }
        return notices >= kRowCount;
      },
      kLong));

  ASSERT_FALSE(openMenu(kCanonScanner).empty());
  ASSERT_TRUE(x->keys({"Up", "Up", "Return"}));  // TroubleShoot, Scan Now, Connect
  const auto scanWindow = x->waitForWindow("^Welcome to the Razo-Razezed Ireruro", kLong);
  ASSERT_TRUE(scanWindow) << tarvex->output();
  const auto g = x->geometry(*scanWindow);
  ASSERT_TRUE(g);
  ASSERT_TRUE(x->keys(*scanWindow, {"ctrl+a", "BackSpace"}));  // the name field has the keyboard
  ASSERT_TRUE(x->click(*scanWindow, 175, g->height - 32));    // Scan

  const auto box = x->waitForWindow("^Velmora Network USB Utility$", kLong);
  ASSERT_TRUE(box) << tarvex->output();
  x->picture(pictures / "1-box-above-the-scanning-window.png");
  EXPECT_EQ(x->transientFor(*box), *scanWindow) << "the box is not the scanning window's";
  EXPECT_TRUE(stackedAbove(*box, *scanWindow)) << "the box is below the scanning window";
  const auto b = x->geometry(*box);
  ASSERT_TRUE(b);
  // Its one button, OK, sits in the bottom right corner.
  ASSERT_TRUE(x->click(*box, b->width - 52, b->height - 27));
  ASSERT_TRUE(x->waitGone(*box, kLong)) << "the click did not answer the box";

  const long long beforeClose = lastSeq();
  ASSERT_TRUE(x->click(*scanWindow, 261, g->height - 32));  // Close
  ASSERT_TRUE(x->waitGone(*scanWindow, kLong)) << "the scanning window took no click";
  x->picture(pictures / "2-closed.png");
  ASSERT_TRUE(waitForRequest("0x222064", "040000000001", beforeClose)) << "no unlock with 0 seconds";
}

// Message boxes on the screen, answered by a person or by the end of the session, while the
// program starts or shows its window: it ends with status 0 whichever way, never of a signal.
// tarvex runs from a folder of its own, beside the printer maker list it reads at each showing.
class UserRunBoxTest : public UserRunTest {
 protected:
  void SetUp() override {
    UserRunTest::SetUp();
    std::erase(env, std::string("TARVEX_DIALOG_ANSWERS=default"));
    fs::create_directories(dir / "program");
    fs::copy_file(bin("tarvex"), program);
    fs::copy_file(bin("AFPrinter.ini"), dir / "program" / "AFPrinter.ini");
  }
  // The list can no longer be read: at the next showing a box says so.
  void refuseTheMakerList() {
    fs::remove(dir / "program" / "AFPrinter.ini");
    fs::create_directory(dir / "program" / "AFPrinter.ini");
  }
  std::optional<std::string> waitForBox() { return x->waitForWindow("^Velmora Network USB Utility$", kLong); }
  // "-mini": the window hides itself, the servers' rows are read.
  void startHidden() {
    ASSERT_NO_FATAL_FAILURE(startDemoHost());
    startTarvex({program, "-mini"});
    ASSERT_TRUE(waitForDeviceList(0)) << tarvex->output();
    ASSERT_TRUE(test::eventually([&] { return x->windows(kMainTitle).empty(); }, kLong)) << "the window stayed";
  }
  // Second starts hand the show over to the first and end, until the first shows the box that
  // refuses the list (a show asked for while a device-found notice slides in is ignored).
  std::optional<std::string> startAgainUntilTheBox() {
    for (int i = 0; i < 15; ++i) {
      test::Process second({program}, env, (dir / "second.out").string());
      EXPECT_EQ(second.wait(kLong), 0) << second.output();
      if (auto box = x->waitForWindow("^Velmora Network USB Utility$", 2000)) return box;
    }
    return std::nullopt;
  }
  const std::string program = (dir / "program" / "tarvex").string();
};

TEST_F(UserRunBoxTest, ASecondStartsShowRefusedAndAnsweredWithOkRunsOnAndEndsWithZero) {
  ASSERT_NO_FATAL_FAILURE(startHidden());
  refuseTheMakerList();
  const auto box = startAgainUntilTheBox();
  ASSERT_TRUE(box) << tarvex->output();
  x->picture(pictures / "1-refused.png");
  ASSERT_TRUE(x->keys(*box, {"Return"}));
  ASSERT_TRUE(x->waitGone(*box, kLong));
  ASSERT_TRUE(x->waitForWindow(kMainTitle, kLong)) << "the window did not come: " << tarvex->output();
  x->picture(pictures / "2-shown.png");
  tarvex->signal(SIGTERM);
  EXPECT_EQ(waitForEnd(kLong), 0) << tarvex->output();
}

TEST_F(UserRunBoxTest, ASecondStartsShowRefusedAndTheSessionEndingUnderTheBoxEndsWithZero) {
  ASSERT_NO_FATAL_FAILURE(startHidden());
  refuseTheMakerList();
  ASSERT_TRUE(startAgainUntilTheBox()) << tarvex->output();
  tarvex->signal(SIGTERM);
  EXPECT_EQ(waitForEnd(kLong), 0) << tarvex->output();
}

// A hidden start whose settings file cannot be read opens its box before its window exists; a
// second start meanwhile hands over and ends, and the window comes up once the box is answered.
TEST_F(UserRunBoxTest, ASecondStartDuringTheFirstsStartUpBoxBringsTheWindowUpOnceItIsAnswered) {
  ASSERT_NO_FATAL_FAILURE(startDemoHost());
  // The host wrote the computer's registry at its start; the program finds no database there.
  const fs::path db = dir / "sim" / "hosts" / "OFFICE-PC" / "registry.db";
  std::ofstream(dir / "garbage.db", std::ios::binary) << std::string(4096, 'x');
  fs::rename(dir / "garbage.db", db);
  startTarvex({program, "-mini"});
  const auto box = waitForBox();
  ASSERT_TRUE(box) << tarvex->output();
  x->picture(pictures / "1-unreadable.png");
  test::Process second({program}, env, (dir / "second.out").string());
  EXPECT_EQ(second.wait(kLong), 0) << second.output();
  ASSERT_TRUE(x->keys(*box, {"Return"}));
  ASSERT_TRUE(x->waitGone(*box, kLong));
  ASSERT_TRUE(x->waitForWindow(kMainTitle, kLong)) << "the window did not come: " << tarvex->output();
  x->picture(pictures / "2-shown.png");
}

// The box of the first showing is open before the program's loop runs.
TEST_F(UserRunBoxTest, TheSessionEndingUnderTheFirstShowingsBoxEndsTheProgramWithinThreeSeconds) {
  refuseTheMakerList();
  ASSERT_NO_FATAL_FAILURE(startDemoHost());
  startTarvex({program});
  ASSERT_TRUE(waitForBox()) << tarvex->output();
  x->picture(pictures / "1-refused.png");
  const auto sent = std::chrono::steady_clock::now();
  tarvex->signal(SIGTERM);
  EXPECT_EQ(waitForEnd(3000), 0) << tarvex->output();
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(3));
}

// A desktop of 1280 x 900 with a window manager and a system tray along its top edge.
class TrayUserRunTest : public UserRunTest {
 protected:
  static void SetUpTestSuite() {
    startSession(1280, 900);
    if (!x->started()) return;
    if (!x->startWindowManager(kLong) || !x->startTray(kLong)) setupError = x->error();
  }
  void SetUp() override {
    UserRunTest::SetUp();
    ASSERT_TRUE(setupError.empty()) << setupError;
  }
  // Clicks tarvex's tray icon until `shown` holds (a click while a notice slides in is ignored).
  template <typename Shown>
  bool clickTheIconUntil(int button, Shown shown) {
    const auto icon = x->trayIcon("Tarvex", "tarvex", kLong);
    EXPECT_TRUE(icon) << "no tray icon";
    if (!icon) return false;
    for (int i = 0; i < 10; ++i) {
      x->clickAt(icon->first, icon->second, button);
      if (test::eventually(shown, 2000)) return true;
      x->keys({"Escape"});
    }
    return false;
  }
  // The window with its frame lies wholly inside the work area.
  void expectInside(const std::string& window, const test::XSession::Geometry& work, const char* when) {
    const auto g = x->frameGeometry(window);
    ASSERT_TRUE(g);
    EXPECT_TRUE(g->x >= work.x && g->y >= work.y && g->x + g->width <= work.x + work.width &&
                g->y + g->height <= work.y + work.height)
        << when << ": the window at " << g->x << "," << g->y << " " << g->width << "x" << g->height
        << ", the work area " << work.x << "," << work.y << " " << work.width << "x" << work.height;
  }
  static inline std::string setupError;
};

// A hidden start, then a click on the tray icon: the window comes up inside the screen; Exit and
// a plain start bring it up inside the screen again.
TEST_F(TrayUserRunTest, AHiddenStartsWindowComesUpInsideTheScreenAndSoDoesTheNextStarts) {
  std::optional<test::XSession::Geometry> work;
  ASSERT_TRUE(test::eventually([&] { return (work = x->workArea()) && work->y >= 24; }, kLong))
      << "the tray's room is not kept";
  ASSERT_NO_FATAL_FAILURE(startDemoHost());
  startTarvex({bin("tarvex"), "-mini"});
  ASSERT_NO_FATAL_FAILURE(waitForAllRows());
  ASSERT_TRUE(x->windows(kMainTitle).empty()) << "the hidden start shows its window";

  std::optional<std::string> window;
  ASSERT_TRUE(clickTheIconUntil(1, [&] { return (window = x->waitForWindow(kMainTitle, 0)).has_value(); }));
  x->picture(pictures / "1-from-the-tray.png");
  ASSERT_NO_FATAL_FAILURE(expectInside(*window, *work, "from the tray"));
  const auto seen = x->frameGeometry(*window);
  ASSERT_TRUE(seen);

  const auto before = x->windowsOfClass("tarvex");
  ASSERT_TRUE(clickTheIconUntil(3, [&] {
    for (const auto& id : x->windowsOfClass("tarvex"))
      if (std::find(before.begin(), before.end(), id) == before.end()) return true;
    return false;  // the tray menu has opened
  }));
  ASSERT_TRUE(x->keys({"Up", "Return"}));  // its last item: Exit
  ASSERT_EQ(waitForEnd(kLong), 0) << tarvex->output();

  startTarvex({bin("tarvex")});
  window = x->waitForWindow(kMainTitle, kLong);
  ASSERT_TRUE(window) << tarvex->output();
  ASSERT_TRUE(test::eventually([&] { return x->frameGeometry(*window).has_value(); }, kLong));
  x->picture(pictures / "2-next-start.png");
  ASSERT_NO_FATAL_FAILURE(expectInside(*window, *work, "at the next start"));
  const auto again = x->frameGeometry(*window);
  ASSERT_TRUE(again);
  EXPECT_EQ(std::pair(again->x, again->y), std::pair(seen->x, seen->y)) << "not where it was last seen";
}

}  // namespace
