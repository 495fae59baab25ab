// The WIA road without widgets: device set-up, page loop and conversion over simulated scanners,
// the group name rule, the preview's size and decoder, and the result texts.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <string>
#include <vector>

#include "core/MessageTable.h"
#include "platform/Clock.h"
#include "scanning/FileClaims.h"
#include "scanning/PictureFiles.h"
#include "scanning/WiaAccess.h"
#include "scanning/WiaRules.h"
#include "scanning/WiaScanPages.h"
#include "sim/InProcessWia.h"
#include "sim/PlugAndPlay.h"
#include "sim/Scenario.h"
#include "sim/World.h"
#include "support/CommandOutput.h"
#include "scanning/ScanFixtures.h"

namespace {

using namespace scanning;
namespace wia = platform::wia;
namespace fs = std::filesystem;

std::vector<std::string> filesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// What the save window would show.
struct RecordingView : WiaSaveView {
  std::vector<std::string> log, messages;
  std::string picture, cancelLabel;
  std::vector<std::string> previews;
  int stopAtProgress = -1;  // the progress call that presses Cancel
  int progressCalls = 0;
  void Log(const std::string& l) override { log.push_back(l); }
  void Message(const std::string& t) override { messages.push_back(t); }
  void SetLocation(const std::string&) override {}
  void SetPicture(const std::string& n) override { picture = n; }
  std::function<void(int page)> duringTransfer;  // once a page, while the device transfers it
  void SetScanProgress(int, const std::string&) override {
    if (++progressCalls == stopAtProgress) {
      StopRequested = true;
    }
    const int page = static_cast<int>(previews.size());
    if (duringTransfer && page != transferring) duringTransfer(page);
    transferring = page;
  }
  int transferring = -1;
  void ShowPreview(const std::string& f, bool) override { previews.push_back(f); }
  void SetCancelLabel(const std::string& t) override { cancelLabel = t; }
  std::function<void()> beforeSaving;  // what happens between the transfers and the conversion
  void SetSaveProgress(int position, int) override {
    if (position == 0 && beforeSaving) beforeSaving();
  }
  void ProcessMessages() override {}
  std::string temporary;  // where the transfer makes its own folder
  std::string TemporaryFolder() override {
    return temporary.empty() ? WiaSaveView::TemporaryFolder() : temporary;
  }
  bool logged(const std::string& line) const {
    return std::find(log.begin(), log.end(), line) != log.end();
  }
};

// The windows answered by script; the save window runs the real page loop.
struct ScriptedWindows : WiaWindows {
  std::vector<int> settingsAnswers, saveAnswers;
  WiaSaveParams params;
  // The folder and name as the user typed them into the settings window, when set: its choice,
  // or its refusal (the user then cancels).
  std::optional<std::pair<std::string, std::string>> typed;
  RecordingView view;
  WiaScanOutcome outcome;
  std::vector<std::string> messages;
  int settingsShown = 0, saveShown = 0;
  int ShowSettings() override {
    const int r = settingsShown < static_cast<int>(settingsAnswers.size()) ? settingsAnswers[settingsShown] : kWiaNext;
    ++settingsShown;
    if (r == kWiaNext && typed) {
      const WiaGroupChoice choice = ChooseWiaGroup(typed->first, typed->second, params.extension.substr(1));
      if (!choice.refusal.empty()) {
        messages.push_back(choice.refusal);
        return kWiaCancel;
      }
      Wia().save = {choice.folder, choice.group.name, params.extension,
                    choice.group.result == WiaGroupResult::AllTaken};
    } else if (r == kWiaNext) {
      Wia().save = params;
    }
    return r;
  }
  int ShowSave() override {
    StopRequested = false;
    outcome = ScanWiaPages(view);
    const int r = saveShown < static_cast<int>(saveAnswers.size()) ? saveAnswers[saveShown] : kWiaCancel;
    ++saveShown;
    return r;
  }
  void Message(const std::string& t) override { messages.push_back(t); }
};

constexpr sim::Ipv4 kServer{10, 0, 0, 20};

class WiaRoadTest : public ::testing::Test {
 protected:
  // A scanner on port 2 linked to PC, its image acquisition side `wia` (a JSON object).
  void start(const std::string& wiaShape, bool linked = true) {
    const std::string text = R"({"hosts": [{"name": "PC", "ip": "10.0.0.2"}],
      "servers": [{"ip": "10.0.0.20", "mac": "00:11:22:33:44:55", "name": "S", "devices": [
        {"port": 2, "vid": "04A9", "pid": "1913", "type": "SCANNER", "manufacturer": "Canon",
         "product": "DR-C225", "serial": "S2", "plugAndPlay": {"scanner": {"wia": )" +
                             wiaShape + "}}}]}]}";
    auto setup = sim::parseScenario(text);
    ASSERT_TRUE(setup.setup) << setup.error;
    world = std::make_unique<sim::World>(std::move(*setup.setup), clock);
    deviceId = sim::stillImageDeviceId(world->state().servers[0].devices[0]);
    if (linked) {
      ASSERT_EQ(world->take("PC", kServer, 2, 1, 1200), "");
    }
    wia::setWiaDevMgrMaker([this] { return sim::makeInProcessWia(*world, "PC"); });
    folder = fs::path(TARVEX_BIN_DIR) / ".." / "test-output" / "scanning" / "wia-road" /
             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
    windows.params = {folder.string() + "/", "Scan", ".jpg"};
    useTemporary(folder.string() + ".tmp");
  }
  void TearDown() override {
    wia::setWiaDevMgrMaker({});
    StopRequested = false;
  }
  // The device's pages wait in a folder the transfer makes in `where`.
  void useTemporary(const std::string& where) {
    fs::remove_all(where);
    fs::create_directories(where);
    windows.view.temporary = where;
  }
  int setUpOnce() {
    WiaOpenDeviceManager();
    const int r = WiaSelectAndSetupDevice(deviceId, windows);
    WiaClose();
    return r;
  }

  platform::ManualClock clock;
  std::unique_ptr<sim::World> world;
  std::string deviceId;
  fs::path folder;
  ScriptedWindows windows;
};

TEST_F(WiaRoadTest, FeederGivesNumberedPagesUntilPaperRunsOut) {
  start(R"({"source": "feeder", "sheets": 3, "formats": ["bmp", "jpeg"], "dpi": 200})");
  EXPECT_EQ(setUpOnce(), -1);
  EXPECT_EQ(windows.outcome.pages, 3);
  EXPECT_EQ(filesIn(folder), (std::vector<std::string>{"Scan.jpg", "Scan_001.jpg", "Scan_002.jpg"}));
  EXPECT_EQ(windows.view.picture, "Scan_002.jpg");
  EXPECT_TRUE(windows.view.logged("idtGetData() Start !!! Source Select : FEEDER"));
  // The feeder reports itself empty after the third sheet, before a fourth transfer is asked for.
  EXPECT_TRUE(windows.view.logged("idtGetData() : break scan if(!(iStatus & FEED_READY))"));
  EXPECT_TRUE(windows.view.logged("idtGetData() Finish !!!3 pages"));
  EXPECT_TRUE(windows.view.messages.empty());
  EXPECT_TRUE(windows.outcome.backEnabled);
  for (const auto& name : filesIn(folder))
    EXPECT_EQ(test::commandOutput("identify -format '%m %x' '" + (folder / name).string() + "'"), "JPEG 200");
}

// A feeder without a paper sensor says ready after its last sheet: the next transfer fails with
// paper empty, which ends the loop at once with the pages kept and the last one shown again.
TEST_F(WiaRoadTest, FeederThatStaysReadyEndsAtThePaperEmptyTransfer) {
  struct Case {
    const char* shape;
    std::vector<std::string> files;
    std::string picture;
    std::vector<std::string> messages;
  };
  const std::vector<std::string> three{"Scan.jpg", "Scan_001.jpg", "Scan_002.jpg"};
  const std::vector<Case> cases = {
      {R"({"source": "feeder", "sheets": 3, "feederStatus": "ready", "dpi": 200})", three,
       "Scan_002.jpg", {}},
      // Delivered as BMP, converted after the loop like any other group.
      {R"({"source": "feeder", "sheets": 3, "feederStatus": "ready", "formats": ["bmp"], "dpi": 200})",
       three, "Scan_002.jpg", {}},
      // Empty from the start: told once, then the second try is a later page and ends the loop.
      {R"({"source": "feeder", "sheets": 0, "feederStatus": "ready"})", {}, "", {kWiaFeederEmpty}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shape);
    windows = ScriptedWindows{};
    start(c.shape);
    EXPECT_EQ(setUpOnce(), -1);
    EXPECT_EQ(filesIn(folder), c.files);
    EXPECT_EQ(windows.outcome.pages, static_cast<int>(c.files.size()));
    EXPECT_EQ(windows.view.picture, c.picture);
    EXPECT_EQ(windows.view.messages, c.messages);
    EXPECT_TRUE(windows.outcome.backEnabled);
    const auto& log = windows.view.log;
    const auto finish = std::find(log.begin(), log.end(),
                                  "idtGetData() Finish !!!" + std::to_string(c.files.size()) + " pages");
    ASSERT_NE(finish, log.begin());
    ASSERT_NE(finish, log.end());
    // The paper-empty page is the loop's last word: no status check follows it.
    EXPECT_EQ(*(finish - 1), "idtGetData() : other error. hResult : WIA_ERROR_PAPER_EMPTY");
    EXPECT_FALSE(windows.view.logged("idtGetData() : break scan if(!(iStatus & FEED_READY))"));
    for (const auto& name : c.files)
      EXPECT_EQ(test::commandOutput("identify -format '%m %x' '" + (folder / name).string() + "'"), "JPEG 200") << name;
  }
}

TEST_F(WiaRoadTest, BmpOnlyDeviceStillGivesJpegFilesWithTheResolution) {
  start(R"({"source": "feeder", "sheets": 2, "formats": ["bmp"], "dpi": 150})");
  EXPECT_EQ(setUpOnce(), -1);
  EXPECT_EQ(filesIn(folder), (std::vector<std::string>{"Scan.jpg", "Scan_001.jpg"}));
  for (const auto& name : filesIn(folder))
    EXPECT_EQ(test::commandOutput("identify -format '%m %x' '" + (folder / name).string() + "'"), "JPEG 150");
  EXPECT_TRUE(windows.view.logged("Save JPEG Finish !!!2 th page"));
}

// BMP chosen: written as BMP, also by a device that delivers only JPEG (converted afterwards).
TEST_F(WiaRoadTest, BmpChosenIsWrittenAsBmp) {
  for (const char* formats : {R"(["bmp", "jpeg"])", R"(["jpeg"])"}) {
    SCOPED_TRACE(formats);
    windows = ScriptedWindows{};
    start(std::string(R"({"source": "flatbed", "dpi": 150, "formats": )") + formats + "}");
    windows.params.extension = ".bmp";
    EXPECT_EQ(setUpOnce(), -1);
    EXPECT_EQ(windows.outcome.pages, 1);
    EXPECT_EQ(filesIn(folder), std::vector<std::string>{"Scan.bmp"});
    EXPECT_EQ(test::commandOutput("identify -units PixelsPerInch -format '%m %wx%h %[fx:round(resolution.x)]' '" +
                                  (folder / "Scan.bmp").string() + "'"),
              "BMP3 850x1100 150");
    EXPECT_EQ(windows.view.picture, "Scan.bmp");
    EXPECT_TRUE(windows.view.messages.empty());
    // The page is the user's: a later helper that wants its name (a TWAIN group's) goes beside it.
    const std::string page = (folder / "Scan.bmp").string();
    const std::string helper = WriteFileAt(page, false, [](const std::string&) { return true; });
    EXPECT_EQ(helper, (folder / "Scan-1.bmp").string());
    EXPECT_TRUE(RemoveOwnFile(helper));
  }
}

// The device's page keeps its colours in order and its top left where it was, written by the
// device as JPEG or as BMP, and converted from BMP by the program.
TEST_F(WiaRoadTest, PagesKeepColoursAndOrientation) {
  struct Case {
    const char* device;
    const char* extension;
    const char* decode;
    const char* after;
  } const cases[] = {{R"({"source": "flatbed", "formats": ["bmp", "jpeg"]})", ".jpg", "djpeg -ppm ", ""},
                     {R"({"source": "flatbed", "formats": ["bmp", "jpeg"]})", ".bmp", "convert ", " ppm:-"},
                     {R"({"source": "flatbed", "formats": ["bmp"]})", ".jpg", "djpeg -ppm ", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.device) + c.extension);
    start(c.device);
    windows.params.extension = c.extension;
    EXPECT_EQ(setUpOnce(), -1);
    const std::string file = (folder / (std::string("Scan") + c.extension)).string();
    const std::string command = c.decode + ("'" + file + "'") + c.after;
    const auto ppm = scantest::decodedBy(command);
    ASSERT_TRUE(ppm) << command;
    EXPECT_EQ(scantest::simPageFaults([&](double fx, double fy) { return ppm->at(fx, fy); }), "");
  }
}

TEST_F(WiaRoadTest, FlatbedGivesOnePage) {
  start(R"({"source": "flatbed"})");
  EXPECT_EQ(setUpOnce(), -1);
  EXPECT_EQ(windows.outcome.pages, 1);
  EXPECT_EQ(filesIn(folder), std::vector<std::string>{"Scan.jpg"});
  // The flat bed says it is ready again: the handling select ends the loop.
  EXPECT_TRUE(windows.view.logged("idtGetData() : SrcStatus : FEED_READY : 3"));
  EXPECT_TRUE(windows.view.logged("idtGetData() : break scan if(DocumentHandlingSelect & FLATBED)"));
  EXPECT_FALSE(windows.view.logged("idtGetData() : break scan if(!(iStatus & FEED_READY))"));
}

// The user's own files in the folder stay as they were: a later page that would land on one takes
// the next free name, whether it arrives as JPEG or as a BMP converted afterwards. Only the plain
// name's files are written over, and only when the user agreed to that.
TEST_F(WiaRoadTest, LaterPagesTakeTheNextFreeName) {
  struct Case {
    const char* formats;
    bool replaceFirst;
    std::vector<std::string> own;    // there before the scan
    std::vector<std::string> files;  // there after it
    std::string picture;
  };
  const std::vector<Case> cases = {
      {R"(["bmp", "jpeg"])", false, {"Scan_001.jpg", "Scan_002.bmp"},
       {"Scan.jpg", "Scan_001.jpg", "Scan_002.bmp", "Scan_003.jpg", "Scan_004.jpg"}, "Scan_004.jpg"},
      {R"(["bmp"])", false, {"Scan_001.jpg", "Scan_002.bmp"},
       {"Scan.jpg", "Scan_001.jpg", "Scan_002.bmp", "Scan_003.jpg", "Scan_004.jpg"}, "Scan_004.jpg"},
      {R"(["bmp"])", true, {"Scan.jpg", "Scan_001.jpg"},
       {"Scan.jpg", "Scan_001.jpg", "Scan_002.jpg", "Scan_003.jpg"}, "Scan_003.jpg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.formats) + (c.replaceFirst ? " replacing" : ""));
    windows = ScriptedWindows{};
    start(std::string(R"({"source": "feeder", "sheets": 3, "dpi": 200, "formats": )") + c.formats + "}");
    windows.params.replaceFirst = c.replaceFirst;
    for (const auto& name : c.own) std::ofstream(folder / name) << "the user's " << name;
    EXPECT_EQ(setUpOnce(), -1);
    EXPECT_EQ(windows.outcome.pages, 3);
    EXPECT_EQ(filesIn(folder), c.files);
    EXPECT_EQ(windows.view.picture, c.picture);
    EXPECT_TRUE(windows.view.messages.empty());
    for (const auto& name : c.own) {
      std::ifstream in(folder / name);
      const std::string text((std::istreambuf_iterator<char>(in)), {});
      if (c.replaceFirst && name == "Scan.jpg")
        EXPECT_EQ(test::commandOutput("identify -format '%m %x' '" + (folder / name).string() + "'"), "JPEG 200");
      else
        EXPECT_EQ(text, "the user's " + name);
    }
  }
}

// A folder that cannot be written: the user is told which file and why, nothing is left behind,
// and "< Back" leads to the settings again.
TEST_F(WiaRoadTest, AFolderThatCannotBeWrittenIsToldAndLeavesBack) {
  start(R"({"source": "feeder", "sheets": 2, "formats": ["bmp"]})");
  std::ofstream(folder / "plain-file") << "x";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {(folder / "missing").string() + "/", "No such file or directory"},
      {(folder / "plain-file").string() + "/", "Not a directory"},
  };
  for (const auto& [place, reason] : cases) {
    SCOPED_TRACE(place);
    windows.view = RecordingView{};
    windows.params.folder = place;
    EXPECT_EQ(setUpOnce(), -1);
    EXPECT_EQ(windows.outcome.pages, 0);
    EXPECT_TRUE(windows.outcome.backEnabled);
    EXPECT_EQ(windows.view.messages,
              std::vector<std::string>{core::LoadMessage("SFile_Save_Err") + " : " + place + "Scan.jpg\n\n" + reason});
    EXPECT_EQ(filesIn(folder), std::vector<std::string>{"plain-file"});
  }
}

TEST_F(WiaRoadTest, EmptyFeederAtTheStartSavesNothing) {
  start(R"({"source": "feeder", "sheets": 0})");
  EXPECT_EQ(setUpOnce(), -1);
  EXPECT_EQ(windows.outcome.pages, 0);
  EXPECT_EQ(windows.view.messages, std::vector<std::string>{kWiaFeederEmpty});
  EXPECT_TRUE(windows.view.logged("idtGetData() : break scan if(!(iStatus & FEED_READY))"));
  EXPECT_TRUE(filesIn(folder).empty());
}

TEST_F(WiaRoadTest, CancelDuringATransferEndsItWithoutBack) {
  start(R"({"source": "feeder", "sheets": 3})");
  windows.view.stopAtProgress = 1;  // Cancel pressed while the first page comes in
  EXPECT_EQ(setUpOnce(), -1);
  EXPECT_EQ(windows.view.messages, std::vector<std::string>{kWiaScanCanceled});
  EXPECT_EQ(windows.view.cancelLabel, "Canceled scan");
  EXPECT_FALSE(windows.outcome.backEnabled);
  EXPECT_EQ(windows.outcome.pages, 0);
  EXPECT_TRUE(filesIn(folder).empty());
}

// A page the device fails stops the loop as Cancel does: the error goes to the log, the status
// check still runs, the pages before it stay (and are converted), and "< Back" stays off.
TEST_F(WiaRoadTest, AFailingPageStopsTheLoopAndKeepsEarlierPages) {
  start(R"({"source": "feeder", "sheets": 3, "failingPage": 2, "formats": ["bmp"]})");
  EXPECT_EQ(setUpOnce(), -1);
  EXPECT_EQ(windows.outcome.pages, 1);
  EXPECT_TRUE(StopRequested);
  const auto& log = windows.view.log;
  const auto failed = std::find(log.begin(), log.end(), "idtGetData() : other error. hResult : WIA_ERROR_PAPER_JAM");
  ASSERT_NE(failed, log.end());
  ASSERT_NE(failed + 1, log.end());
  EXPECT_EQ((failed + 1)->rfind("idtGetData() : SrcStatus : ", 0), 0u) << *(failed + 1);
  EXPECT_TRUE(windows.view.logged("idtGetData() Finish !!!1 pages"));
  EXPECT_TRUE(windows.view.messages.empty()) << windows.view.messages.front();
  EXPECT_FALSE(windows.outcome.backEnabled);
  EXPECT_EQ(filesIn(folder), std::vector<std::string>{"Scan.jpg"});
}

TEST_F(WiaRoadTest, BackFromEitherWindowReturnsToTheDeviceDialog) {
  start(R"({"source": "flatbed"})");
  windows.settingsAnswers = {kWiaBack, kWiaNext, kWiaCancel};
  windows.saveAnswers = {kWiaBack};
  WiaOpenDeviceManager();
  EXPECT_EQ(WiaSelectAndSetupDevice(deviceId, windows), 1);  // back from the settings
  EXPECT_EQ(windows.saveShown, 0);
  EXPECT_FALSE(Wia().WiaRootItem);  // released for the next try
  EXPECT_EQ(WiaSelectAndSetupDevice(deviceId, windows), 1);  // back from the save window
  EXPECT_EQ(windows.saveShown, 1);
  EXPECT_EQ(WiaSelectAndSetupDevice(deviceId, windows), -1);  // cancelled
  WiaClose();
  EXPECT_FALSE(Wia().WiaDevMgr);
  EXPECT_EQ(windows.settingsShown, 3);
}

TEST_F(WiaRoadTest, RunWiaRoadRepeatsWhileTheUserGoesBack) {
  start(R"({"source": "flatbed"})");
  windows.settingsAnswers = {kWiaBack, kWiaCancel};
  RunWiaRoad(deviceId, windows);
  EXPECT_EQ(windows.settingsShown, 2);
  EXPECT_FALSE(Wia().WiaDevMgr);
}

// An exception out of either window still gives the device and the manager back.
TEST_F(WiaRoadTest, AnExceptionOutOfAWindowStillReleasesEverything) {
  struct Throwing : ScriptedWindows {
    bool inSave = false;
    int ShowSettings() override {
      if (!inSave) throw std::runtime_error("the settings window's loop");
      return ScriptedWindows::ShowSettings();
    }
    int ShowSave() override { throw std::runtime_error("the save window's loop"); }
  };
  start(R"({"source": "flatbed"})");
  for (const bool inSave : {false, true}) {
    SCOPED_TRACE(inSave ? "save window" : "settings window");
    Throwing throwing;
    throwing.inSave = inSave;
    throwing.params = windows.params;
    EXPECT_THROW(RunWiaRoad(deviceId, throwing), std::runtime_error);
    EXPECT_FALSE(Wia().WiaRootItem);
    EXPECT_FALSE(Wia().WiaScanItem);
    EXPECT_FALSE(Wia().WiaTransfer);
    EXPECT_FALSE(Wia().WiaDevMgr);
  }
}

TEST_F(WiaRoadTest, DeviceDialogRefusalsShowTheirMessages) {
  start(R"({"dialog": "cancel"})");
  EXPECT_EQ(setUpOnce(), -1);
  EXPECT_EQ(windows.messages, std::vector<std::string>{kWiaDialogCanceled});

  start(R"({"source": "flatbed"})", /*linked=*/false);
  ASSERT_EQ(world->take("PC", kServer, 2, 1, 1200), "");
  world = nullptr;  // no device manager at all: a silent failure
  wia::setWiaDevMgrMaker([] { return wia::ComPtr<wia::IWiaDevMgr>(); });
  windows.messages.clear();
  EXPECT_EQ(setUpOnce(), -1);
  EXPECT_TRUE(windows.messages.empty());

  start(R"({"offline": true})");
  windows.messages.clear();
  EXPECT_EQ(setUpOnce(), -1);
  EXPECT_EQ(windows.messages, std::vector<std::string>{core::LoadMessage("STimeout")});
  EXPECT_EQ(windows.settingsShown, 0);
}

// A BMP page whose JPEG cannot be made (changed meanwhile, so no longer the file the device
// delivered) stays where it is, and the user is told where.
TEST_F(WiaRoadTest, APageWhoseConversionFailsIsKeptAndNamed) {
  start(R"({"source": "feeder", "sheets": 2, "formats": ["bmp"]})");
  const std::string damaged = "BM damaged";
  windows.view.beforeSaving = [&] {
    ASSERT_EQ(windows.view.previews.size(), 2u);
    std::ofstream(windows.view.previews[1]) << damaged;
  };
  EXPECT_EQ(setUpOnce(), -1);
  EXPECT_EQ(filesIn(folder), std::vector<std::string>{"Scan.jpg"});
  ASSERT_EQ(windows.view.previews.size(), 2u);
  const std::string kept = windows.view.previews[1];
  EXPECT_EQ(scantest::readAll(kept), std::vector<std::uint8_t>(damaged.begin(), damaged.end()));
  EXPECT_EQ(windows.view.messages,
            std::vector<std::string>{core::LoadMessage("SFile_Save_Err") + " : " + (folder / "Scan_001.jpg").string() +
                                     "\n\nThe page is kept in this file:\n" + kept});
}

// What the device delivered in the transfer's own folder (below `temporary`) becomes a FIFO.
void deliveredBecomesFifo(const std::string& temporary, const std::string& name) {
  for (const auto& e : fs::recursive_directory_iterator(temporary))
    if (e.path().filename() == name) {
      fs::remove(e.path());
      ASSERT_EQ(::mkfifo(e.path().c_str(), 0600), 0);
      return;
    }
  FAIL() << "no " << name << " below " << temporary;
}

// The regular files left in the folders the transfers made below `temporary`.
std::string pagesLeftIn(const std::string& temporary) {
  std::string out;
  for (const auto& e : fs::recursive_directory_iterator(temporary))
    if (e.is_regular_file()) out += e.path().string() + "\n";
  return out;
}

// A full disk where the device writes its pages ends the transfer with a message, and the program
// goes on (libjpeg's own error handler would end it); a full disk where the page goes keeps the
// page where the device put it, and says where.
TEST_F(WiaRoadTest, AFullDiskIsToldAndTheProgramGoesOn) {
  for (const char* formats : {R"(["jpeg"])", R"(["bmp"])"}) {
    SCOPED_TRACE(formats);
    windows = ScriptedWindows{};
    start(std::string(R"({"source": "flatbed", "formats": )") + formats + "}");
    // A file system that a page does not fit in.
    const test::SmallTmpfs full(16 * 1024, folder.string() + ".full");
    if (!full.mounted()) GTEST_SKIP() << full.whyNot();
    windows.view.temporary = folder.string() + ".full";
    EXPECT_EQ(setUpOnce(), -1);
    EXPECT_EQ(windows.outcome.pages, 0);
    EXPECT_EQ(windows.view.messages,
              std::vector<std::string>{WriteFailureText(
                  core::LoadMessage("SFile_Save_Err"), (folder / "Scan.jpg").string(),
                  "The scanner did not deliver the page (hResult : WIA_ERROR_GENERAL_ERROR).")});
    EXPECT_TRUE(filesIn(folder).empty());
    EXPECT_EQ(pagesLeftIn(windows.view.temporary), "");
  }

  windows = ScriptedWindows{};
  start(R"({"source": "flatbed", "formats": ["jpeg"], "dpi": 200})");
  const test::SmallTmpfs full(16 * 1024, (folder / "full").string());
  ASSERT_TRUE(full.mounted()) << full.whyNot();
  windows.params.folder = (folder / "full").string() + "/";
  EXPECT_EQ(setUpOnce(), -1);
  EXPECT_EQ(windows.outcome.pages, 1);
  ASSERT_EQ(windows.view.previews.size(), 1u);
  const std::string kept = windows.view.previews[0];
  EXPECT_EQ(windows.view.messages,
            std::vector<std::string>{WriteFailureText(core::LoadMessage("SFile_Save_Err"),
                                                      (folder / "full" / "Scan.jpg").string(),
                                                      "No space left on device") +
                                     "\n\nThe page is kept in this file:\n" + kept});
  EXPECT_EQ(test::commandOutput("identify -format '%m %x' '" + kept + "'"), "JPEG 200");
  EXPECT_FALSE(IsOwnFile(kept));  // the user's now: nothing of this run writes over it
  EXPECT_TRUE(filesIn(folder / "full").empty());
}

// The names and folders that must never touch a user's file, as the settings window takes them
// and the page loop writes them. Each row puts the user's files down (before the scan, while the
// device transfers a page, or before the conversion), scans two sheets, and finds every one of them
// byte for byte as it was, and the pages where they belong. Where the user agreed to replace the
// plain name's file, that one file (not what it links to) may become a whole page, and nothing else.
TEST_F(WiaRoadTest, NoNameOrFolderTouchesAUsersFile) {
  using scantest::UserFiles;
  using scantest::filesLeftBehind;
  using Put = std::function<void(UserFiles&, const std::string& root)>;
  struct Row {
    const char* what;
    std::string folder;  // as typed, below the row's folder
    std::string name;
    const char* formats;
    Put before;
    std::function<void(UserFiles&, const std::string& root, int page)> during;
    std::vector<std::string> pages;  // below the row's folder; empty: the name is refused
    bool agreed = false;  // the user agreed to replace the plain name's file
    std::function<std::string(const std::string& root)> told = {};  // what the save window says
  };
  const Put victim = [](UserFiles& u, const std::string& r) { u.file(r + "/victim.txt", "the user's"); };
  // The empty file that holds the first page's name becomes a link while the device writes.
  const auto linkAtFirstName = [](UserFiles& u, const std::string& r, int page) {
    if (page != 0) return;
    fs::remove(r + "/Scan.jpg");
    u.link(r + "/Scan.jpg", r + "/victim.txt");
  };
  const auto notAFile = [](const std::string& r) {
    return WriteFailureText(core::LoadMessage("SFile_Save_Err"), r + "/Scan.jpg",
                            "The scanned page's file is not a regular file.");
  };
  const Row rows[] = {
      {"a folder typed without its separator is that folder", "Scans", "Scan", R"(["bmp", "jpeg"])",
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/ScansScan.jpg", "beside the folder");
         u.file(r + "/Scans/Scan.jpg", "in the folder");
       },
       {}, {"Scans/Scan 001.jpg", "Scans/Scan 001_001.jpg"}},
      {"a name with a slash names another folder", "", "sub/x", R"(["bmp"])",
       [](UserFiles& u, const std::string& r) { u.file(r + "/sub/x.jpg", "x.jpg"); }, {}, {}},
      {"a name that climbs out of the folder", "inner/", "../x", R"(["bmp"])",
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/inner/keep", "");
         u.file(r + "/x.jpg", "x.jpg");
       },
       {}, {}},
      {"the folder's parent as a name", "", "..", R"(["bmp"])", {}, {}, {}},
      {"dots in a name", "", "a.b", R"(["bmp", "jpeg"])",
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/a.jpg", "a.jpg");
         u.file(r + "/a.b", "a.b");
       },
       {}, {"a.b.jpg", "a.b_001.jpg"}},
      {"the conversion's helper name", "", "Scan", R"(["bmp"])",
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/Scan.jpg.part", "the user's part file");
         u.file(r + "/Scan_001.jpg.part", "another");
       },
       {}, {"Scan.jpg", "Scan_001.jpg"}},
      {"files made while the device transfers", "", "Scan", R"(["bmp"])", {},
       [](UserFiles& u, const std::string& r, int page) {
         if (page != 0) return;
         u.file(r + "/Scan.jpg", "made meanwhile");
         u.file(r + "/Scan_001.bmp", "made meanwhile too");
       },
       {"Scan-1.jpg", "Scan_002.jpg"}},
      {"a link put where the next page goes", "", "Scan", R"(["bmp", "jpeg"])",
       [](UserFiles& u, const std::string& r) { u.file(r + "/victim.txt", "the user's"); },
       [](UserFiles& u, const std::string& r, int page) {
         if (page == 0) u.link(r + "/Scan_001.jpg", r + "/victim.txt");
       },
       {"Scan.jpg", "Scan_002.jpg"}},
      {"a dangling link with the group's name", "", "Scan", R"(["bmp", "jpeg"])",
       [](UserFiles& u, const std::string& r) { u.link(r + "/Scan.jpg", r + "/nowhere.jpg"); },
       {}, {"Scan 001.jpg", "Scan 001_001.jpg"}},
      {"a folder that does not list", "locked/", "Scan", R"(["bmp"])",
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/locked/Scan.jpg", "hidden from a listing");
         ::chmod((r + "/locked").c_str(), 0300);
       },
       {}, {"locked/Scan 001.jpg", "locked/Scan 001_001.jpg"}},
      {"a link swapped in at the name the page holds", "", "Scan", R"(["bmp", "jpeg"])", victim,
       linkAtFirstName, {"Scan-1.jpg", "Scan_001.jpg"}},
      {"a link swapped in at the name a converted page holds", "", "Scan", R"(["bmp"])", victim,
       linkAtFirstName, {"Scan-1.jpg", "Scan_001.jpg"}},
      {"a FIFO in place of the page the device delivered", "", "Scan", R"(["bmp", "jpeg"])", {},
       [](UserFiles&, const std::string& r, int page) {
         if (page == 0) deliveredBecomesFifo(r + ".tmp", "page0.jpg");
       },
       {}, false, notAFile},
      {"agreed: a link at the plain name is replaced as a link", "scans/", "Scan", R"(["bmp", "jpeg"])",
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/victim.jpg", "outside the folder");
         fs::create_directories(r + "/scans");
         fs::create_symlink(r + "/victim.jpg", r + "/scans/Scan.jpg");
       },
       {}, {"scans/Scan.jpg", "scans/Scan_001.jpg"}, true},
      {"agreed: a hard link's other name keeps its contents", "scans/", "Scan", R"(["bmp", "jpeg"])",
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/other.jpg", "the other name's");
         fs::create_directories(r + "/scans");
         fs::create_hard_link(r + "/other.jpg", r + "/scans/Scan.jpg");
       },
       {}, {"scans/Scan.jpg", "scans/Scan_001.jpg"}, true},
      {"agreed: a BMP-only device replaces only the chosen format's file", "scans/", "Scan", R"(["bmp"])",
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/scans/Scan.bmp", "the user's bitmap");
         std::ofstream(r + "/scans/Scan.jpg") << "agreed to be replaced";
       },
       {}, {"scans/Scan.jpg", "scans/Scan_001.jpg"}, true},
      {"agreed: Cancel on the first page leaves the user's file", "scans/", "Scan", R"(["bmp", "jpeg"])",
       [](UserFiles& u, const std::string& r) { u.file(r + "/scans/Scan.jpg", "the user's"); },
       [](UserFiles&, const std::string&, int page) {
         if (page == 0) StopRequested = true;
       },
       {}, true, [](const std::string&) { return std::string(kWiaScanCanceled); }},
      {"agreed: Cancel on the first page leaves a page an earlier scan put there", "scans/", "Scan",
       R"(["bmp", "jpeg"])",
       [](UserFiles& u, const std::string& r) {
         const std::string page = r + "/scans/Scan.jpg";
         fs::create_directories(r + "/scans");
         ASSERT_EQ(ClaimFreeName(page).path, page);
         OwnFile f = OpenForWriting(page);
         ASSERT_TRUE(f);
         std::fputs("an earlier scan's page", f.get());
         ASSERT_TRUE(CloseOwnFile(std::move(f)));
         u.note(page);
       },
       [](UserFiles&, const std::string&, int page) {
         if (page == 0) StopRequested = true;
       },
       {}, true, [](const std::string&) { return std::string(kWiaScanCanceled); }},
  };
  int i = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    windows = ScriptedWindows{};
    start(std::string(R"({"source": "feeder", "sheets": 2, "dpi": 200, "formats": )") + row.formats + "}");
    const std::string root = (folder / ("row" + std::to_string(++i))).string();
    fs::create_directories(root);
    useTemporary(root + ".tmp");
    UserFiles user;
    if (row.before) row.before(user, root);
    if (row.agreed) windows.params = {root + "/" + row.folder, row.name, ".jpg", true};
    else windows.typed = std::make_pair(root + "/" + row.folder, row.name);
    windows.view.duringTransfer = [&](int page) {
      if (row.during) row.during(user, root, page);
    };
    EXPECT_EQ(setUpOnce(), -1);
    ::chmod((root + "/locked").c_str(), 0700);
    if (row.told) {
      EXPECT_EQ(windows.view.messages, std::vector<std::string>{row.told(root)});
    } else if (row.pages.empty()) {
      EXPECT_EQ(windows.messages, std::vector<std::string>{NameLeavesFolderText(row.name)});
      EXPECT_EQ(windows.saveShown, 0);
    } else {
      EXPECT_TRUE(windows.view.messages.empty()) << windows.view.messages.front();
      for (const std::string& page : row.pages)
        EXPECT_EQ(test::commandOutput("identify -format '%m %x' '" + root + "/" + page + "'"), "JPEG 200") << page;
    }
    EXPECT_EQ(user.changed(), "");
    EXPECT_EQ(filesLeftBehind(root, row.pages, user), "");
    EXPECT_EQ(pagesLeftIn(root + ".tmp"), "");
  }
}

TEST(WiaHResultText, KnownCodesByNameOthersByNumber) {
  const std::vector<std::pair<std::uint32_t, std::string>> cases = {
      {0x80210001, "hResult : WIA_ERROR_GENERAL_ERROR"},
      {0x80210003, "hResult : WIA_ERROR_PAPER_EMPTY"},
      {0x80210005, "hResult : WIA_ERROR_OFFLINE"},
      {0x8021000A, "hResult : WIA_ERROR_DEVICE_COMMUNICATION"},
      {0x8021000F, "hResult : WIA_ERROR_INVALID_DRIVER_RESPONSE"},
      {0x80210015, "hResult : WIA_S_NO_DEVICE_AVAILABLE"},
      // Others by their signed number, nothing after it but the separator.
      {0x80210010, "hResult : -2145320944 : "},
      {0x80004005, "hResult : -2147467259 : "},
      {0x80000000, "hResult : -2147483648 : "},
      {0x00000001, "hResult : 1 : "},
      {0x7FFFFFFF, "hResult : 2147483647 : "},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(WiaHResultToText(wia::hresult(code)), text);
}

TEST(WiaGroupNameRule, FirstFreeNameLooksAtAllThreeExtensions) {
  const auto in = [](std::vector<std::string> files) {
    return [files](const std::string& f) {
      return std::find(files.begin(), files.end(), f) != files.end();
    };
  };
  auto g = ChooseWiaGroupName("d/", "Picture", "jpg", in({"d/Picture.jpg", "d/Picture 001.bmp"}));
  EXPECT_EQ(g.result, WiaGroupResult::Free);
  EXPECT_EQ(g.name, "Picture 002");
  g = ChooseWiaGroupName("d/", "Picture", "jpg", in({"d/Picture.bmp"}));
  EXPECT_EQ(g.name, "Picture 001");
  g = ChooseWiaGroupName("d", "Picture", "JPG", in({}));  // a folder without its separator is kept
  EXPECT_EQ(g.fullName, "dPicture.jpg");
  g = ChooseWiaGroupName("d/", "P", "bmp", [](const std::string& f) { return f.find(" 1000.") == std::string::npos; });
  EXPECT_EQ(g.name, "P 1000");
  g = ChooseWiaGroupName("d/", "P", "bmp", [](const std::string&) { return true; });
  EXPECT_EQ(g.result, WiaGroupResult::AllTaken);
  EXPECT_EQ(g.name, "P");
  const std::string deep = "/" + std::string(190, 'f') + "/";
  g = ChooseWiaGroupName(deep, std::string(64, 'n'), "jpg", in({}));
  EXPECT_EQ(g.result, WiaGroupResult::TooLong);
  EXPECT_EQ(g.fullName, deep + std::string(64, 'n') + ".jpg");
}

TEST(WiaPreview, BoxFollowsThePictureProportions) {
  struct Case { int w, h, boxW, boxH; };
  for (const Case c : {Case{1000, 1200, 145, 174}, Case{2480, 3508, 141, 200},
                       Case{1100, 850, 145, 112}, Case{145, 200, 145, 200}}) {
    const PreviewBox b = FitPreviewBox(c.w, c.h);
    EXPECT_EQ(b.width, c.boxW) << c.w << "x" << c.h;
    EXPECT_EQ(b.height, c.boxH) << c.w << "x" << c.h;
  }
  EXPECT_EQ(WiaPageSuffix(0), "");
  EXPECT_EQ(WiaPageSuffix(1), "_001");
  EXPECT_EQ(WiaPageSuffix(12), "_012");
}

TEST(WiaPreview, JpegDecodedAtAnEighthAndBadBytesRefused) {
  const fs::path file = fs::path(TARVEX_BIN_DIR) / ".." / "test-output" / "scanning" / "preview.jpg";
  fs::create_directories(file.parent_path());
  fs::remove(file);  // the writers make their files anew, never over one that is there
  PixelRows rows{160, 96, 3, [](int y, std::uint8_t* out) {
                   for (int x = 0; x < 160 * 3; ++x) out[x] = static_cast<std::uint8_t>(x + y);
                 }};
  ASSERT_TRUE(SaveJpeg(rows, file.string(), kJpegQuality));
  std::ifstream in(file, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  const auto small = DecodeJpegScaled(bytes.data(), bytes.size(), 8);
  ASSERT_TRUE(small);
  EXPECT_EQ(small->width, 20);
  EXPECT_EQ(small->height, 12);
  EXPECT_EQ(small->rgb.size(), 20u * 12u * 3u);
  EXPECT_FALSE(DecodeJpegScaled(bytes.data(), 3, 8));
  EXPECT_FALSE(DecodeJpegScaled(bytes.data(), bytes.size(), 3));
  const std::vector<std::uint8_t> junk(100, 0xAB);
  EXPECT_FALSE(DecodeJpegScaled(junk.data(), junk.size(), 8));
  // A truncated stream still decodes (libjpeg fills the rest) or is refused: never an overrun.
  (void)DecodeJpegScaled(bytes.data(), bytes.size() / 2, 8);
}

}  // namespace
