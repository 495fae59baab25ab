// The WIA road's windows driven as a user would, offscreen, over a simulated three-sheet feeder:
// the settings window's checks and names, the save window's pages and preview, "< Back", and the
// close box during a transfer. The group is left in build/test-output/scanning/wia/.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <cstdlib>

#include "app/Dialogs.h"
#include "core/MessageTable.h"
#include "platform/Clock.h"
#include "scanning/PictureFolder.h"
#include "scanning/WiaRoad.h"
#include "sim/InProcessWia.h"
#include "sim/PlugAndPlay.h"
#include "sim/Scenario.h"
#include "sim/World.h"
#include "support/WindowSteps.h"
#include "support/CommandOutput.h"

namespace {

using namespace scanning;
namespace wia = platform::wia;
namespace fs = std::filesystem;

int argc = 1;
char programName[] = "test_scanning_wia_gui";
char* argv[] = {programName, nullptr};

struct RecordedBoxes : app::MessageBoxes {
  std::vector<std::string> shown;
  int answer = app::kIdYes;
  std::function<void()> onShow;  // what the user does while the box is up
  int show(const std::string& text, const std::string&, unsigned) override {
    shown.push_back(text);
    if (onShow) onShow();
    return answer;
  }
  void showModeless(const std::string& text, const std::string&, unsigned) override { shown.push_back(text); }
};

fs::path testOutput(const std::string& area) {
  const fs::path dir = fs::path(TARVEX_BIN_DIR) / ".." / "test-output" / area;
  fs::create_directories(dir);
  return dir;
}
// The same folder emptied first, for a test that looks at what it writes there.
fs::path emptyOutputFolder(const std::string& area) {
  const fs::path dir = testOutput(area);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

void render(QWidget& w, const std::string& name) {
  w.grab().save(QString::fromStdString((testOutput("windows") / name).string()));
}

// Runs `step` once the modal window `w` is up (polled from the event loop).
void whenShown(QWidget& w, std::function<void()> step) {
  test::when(w, [&w] { return w.isVisible(); }, std::move(step));
}

// Waits in the event loop until `done` holds (bounded).
void waitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 2000 && !done(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

void pressEscape(QWidget& w) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&w, &press);
}

class WiaWindowsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
  void SetUp() override { app::setMessageBoxes(&boxes); }
  void TearDown() override {
    app::setMessageBoxes(nullptr);
    wia::setWiaDevMgrMaker({});
    StopRequested = false;
  }
  void start(const std::string& shape) {
    const std::string text = R"({"hosts": [{"name": "PC", "ip": "10.0.0.2"}],
      "servers": [{"ip": "10.0.0.20", "mac": "00:11:22:33:44:55", "name": "S", "devices": [
        {"port": 2, "vid": "04A9", "pid": "1913", "type": "SCANNER", "manufacturer": "Canon",
         "product": "DR-C225", "serial": "S2", "plugAndPlay": {"scanner": {"wia": )" +
                             shape + "}}}]}]}";
    auto setup = sim::parseScenario(text);
    ASSERT_TRUE(setup.setup) << setup.error;
    world = std::make_unique<sim::World>(std::move(*setup.setup), clock);
    deviceId = sim::stillImageDeviceId(world->state().servers[0].devices[0]);
    ASSERT_EQ(world->take("PC", sim::Ipv4{10, 0, 0, 20}, 2, 1, 1200), "");
    wia::setWiaDevMgrMaker([this] { return sim::makeInProcessWia(*world, "PC"); });
    road = std::make_unique<WiaRoad>();
    road->SaveFm->Timer->setInterval(0);
  }
  // The settings window answered with `folder` and Next.
  void fillSettings(const fs::path& folder, int format = 0) {
    whenShown(*road->SetFm, [this, folder, format] {
      road->SetFm->FilePathEdit->setText(QString::fromStdString(folder.string() + "/"));
      road->SetFm->FileFmtComboBox->setCurrentIndex(format);
      render(*road->SetFm, "TNetWIASetFm.png");
      road->SetFm->NextBtn->click();
    });
  }

  RecordedBoxes boxes;
  platform::ManualClock clock;
  std::unique_ptr<sim::World> world;
  std::string deviceId;
  std::unique_ptr<WiaRoad> road;
};

// The feeder still says ready after its third sheet: the fourth transfer fails with paper empty
// and the window shows the last page again.
TEST_F(WiaWindowsTest, ThreeSheetFeederSavesItsGroupAsJpeg) {
  start(R"({"source": "feeder", "sheets": 3, "feederStatus": "ready", "formats": ["bmp", "jpeg"],
            "dpi": 300, "width": 1000, "height": 1200})");
  const fs::path folder = testOutput("scanning/wia");
  for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
  fillSettings(folder);
  whenShown(*road->SaveFm, [this] {
    waitFor([this] { return road->SaveFm->CancelBtn->text() == "Close"; });
    render(*road->SaveFm, "TNetWIASaveFm.png");
    EXPECT_TRUE(road->SaveFm->BackBtn->isEnabled());
    EXPECT_EQ(road->SaveFm->Edit_FileName->text(), "Picture_002.jpg");
    EXPECT_EQ(road->SaveFm->PercentLabel->text(), "100% complete");
    EXPECT_EQ(road->SaveFm->SaveProgressBar->value(), 3);
    // 1000 x 1200 pixels decoded at an eighth: the box keeps its width.
    EXPECT_EQ(road->SaveFm->ScanImage->width(), 145);
    EXPECT_EQ(road->SaveFm->ScanImage->height(), 174);
    EXPECT_EQ(road->SaveFm->Preview().width(), 125);
    road->SaveFm->CancelBtn->click();
  });
  RunWiaRoad(deviceId, *road);
  for (const char* name : {"Picture.jpg", "Picture_001.jpg", "Picture_002.jpg"})
    EXPECT_EQ(test::commandOutput("identify -format '%m %wx%h %x' '" + (folder / name).string() + "'"), "JPEG 1000x1200 300")
        << name;
  EXPECT_FALSE(fs::exists(folder / "Picture_003.jpg"));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(WiaWindowsTest, BackFromTheSaveWindowOpensTheDeviceAgain) {
  start(R"({"source": "flatbed"})");
  const fs::path folder = emptyOutputFolder("scanning/wia-back");
  int saves = 0;
  std::function<void()> answer = [&] {
    fillSettings(folder, /*BMP*/ 1);
    whenShown(*road->SaveFm, [&] {
      waitFor([&] { return road->SaveFm->CancelBtn->text() == "Close"; });
      if (++saves == 1) {
        answer();  // the next round's windows
        road->SaveFm->BackBtn->click();
      } else {
        road->SaveFm->CancelBtn->click();
      }
    });
  };
  answer();
  RunWiaRoad(deviceId, *road);
  EXPECT_EQ(saves, 2);
  // The second group did not collide with the first.
  EXPECT_TRUE(fs::exists(folder / "Picture.bmp"));
  EXPECT_TRUE(fs::exists(folder / "Picture 001.bmp"));
}

TEST_F(WiaWindowsTest, SettingsChecksKeepTheWindowOpen) {
  TNetWIASetFm fm;
  const fs::path folder = emptyOutputFolder("scanning/wia-names");
  for (const char* f : {"Picture.jpg", "Picture 001.bmp"}) std::ofstream(folder / f) << "x";
  int result = -1;
  whenShown(fm, [&] {
    EXPECT_EQ(fm.FileNameEdit->text(), "Picture");
    EXPECT_EQ(fm.FileNameEdit->maxLength(), 64);
    fm.FileNameEdit->clear();
    fm.NextBtn->click();
    fm.FileNameEdit->setText("Picture");
    fm.FilePathEdit->clear();
    fm.NextBtn->click();
    // A name that names another folder is refused; a folder typed without its separator is
    // that folder.
    fm.FilePathEdit->setText(QString::fromStdString(folder.string()));
    fm.FileNameEdit->setText("../Picture");
    fm.NextBtn->click();
    fm.FileNameEdit->setText("Picture");
    fm.NextBtn->click();
  });
  result = fm.exec();
  EXPECT_EQ(result, kWiaNext);
  EXPECT_EQ(boxes.shown, (std::vector<std::string>{core::LoadMessage("SNo_PFile_Name"),
                                                   core::LoadMessage("SNo_PFile_Path"),
                                                   NameLeavesFolderText("../Picture")}));
  EXPECT_EQ(Wia().save.folder, folder.string() + "/");
  EXPECT_EQ(Wia().save.groupName, "Picture 002");
  EXPECT_EQ(Wia().save.extension, ".jpg");

  whenShown(fm, [&] { fm.BackBtn->click(); });
  EXPECT_EQ(fm.exec(), kWiaBack);

  fm.ChooseFolder = [](const std::string&) { return std::string("/chosen/place"); };
  fm.BrowseBtnClick();
  EXPECT_EQ(fm.FilePathEdit->text(), "/chosen/place/");
  fm.ChooseFolder = [](const std::string&) { return std::string(); };
  fm.BrowseBtnClick();
  EXPECT_EQ(fm.FilePathEdit->text(), "/chosen/place/");
}

// The close box during a transfer cancels it; the window goes once the device has stopped.
TEST_F(WiaWindowsTest, CloseBoxDuringATransferCancelsIt) {
  start(R"({"source": "feeder", "sheets": 3, "formats": ["bmp"]})");
  const fs::path folder = emptyOutputFolder("scanning/wia-close");
  fillSettings(folder);
  bool closed = false;
  // The first progress of the first page: the user closes the window.
  QObject::connect(road->SaveFm->ScanProgressBar, &QProgressBar::valueChanged, road->SaveFm.get(),
                   [&](int v) {
                     if (v > 0 && !closed) {
                       closed = true;
                       road->SaveFm->close();
                       EXPECT_TRUE(road->SaveFm->isVisible());  // still transferring
                     }
                   });
  RunWiaRoad(deviceId, *road);
  EXPECT_TRUE(closed);
  EXPECT_FALSE(road->SaveFm->isVisible());
  EXPECT_EQ(boxes.shown, std::vector<std::string>{kWiaScanCanceled});
  EXPECT_TRUE(fs::is_empty(folder));
}

// Escape during a transfer is Cancel: the window stays over the running loop until the device
// has stopped. Once the transfer is over, and before it has begun, it closes the window.
TEST_F(WiaWindowsTest, EscapeCancelsATransferAndClosesOtherwise) {
  start(R"({"source": "feeder", "sheets": 3, "formats": ["bmp"]})");
  const fs::path folder = emptyOutputFolder("scanning/wia-escape");
  fillSettings(folder);
  bool pressed = false, stayed = false;
  QObject::connect(road->SaveFm->ScanProgressBar, &QProgressBar::valueChanged, road->SaveFm.get(),
                   [&](int v) {
                     if (v > 0 && !pressed) {
                       pressed = true;
                       pressEscape(*road->SaveFm);
                       stayed = road->SaveFm->isVisible() && StopRequested;
                     }
                   });
  whenShown(*road->SaveFm, [this] {
    test::when(*road->SaveFm, [this] { return road->SaveFm->CancelBtn->text() == "Close"; },
               [this] { pressEscape(*road->SaveFm); });
  });
  RunWiaRoad(deviceId, *road);
  EXPECT_TRUE(pressed);
  EXPECT_TRUE(stayed);
  EXPECT_FALSE(road->SaveFm->isVisible());
  EXPECT_EQ(boxes.shown, std::vector<std::string>{kWiaScanCanceled});
  EXPECT_TRUE(fs::is_empty(folder));

  // Before the transfer has begun: the window closes and the transfer never starts.
  boxes.shown.clear();
  road->SaveFm->Timer->setInterval(60000);
  fillSettings(folder);
  whenShown(*road->SaveFm, [this] { pressEscape(*road->SaveFm); });
  RunWiaRoad(deviceId, *road);
  EXPECT_FALSE(road->SaveFm->isVisible());
  EXPECT_FALSE(road->SaveFm->Timer->isActive());
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_TRUE(fs::is_empty(folder));
}

// A folder that is not there: the save window says which file and why, and "< Back" is offered.
TEST_F(WiaWindowsTest, AMissingFolderIsToldAndBackIsOffered) {
  start(R"({"source": "flatbed"})");
  const fs::path missing = testOutput("scanning") / "wia-missing-folder";
  fs::remove_all(missing);
  fillSettings(missing);
  whenShown(*road->SaveFm, [this] {
    test::when(*road->SaveFm, [this] { return road->SaveFm->CancelBtn->text() == "Close"; }, [this] {
      render(*road->SaveFm, "TNetWIASaveFm-missing-folder.png");
      EXPECT_TRUE(road->SaveFm->BackBtn->isEnabled());
      road->SaveFm->CancelBtn->click();
    });
  });
  RunWiaRoad(deviceId, *road);
  EXPECT_EQ(boxes.shown, std::vector<std::string>{core::LoadMessage("SFile_Save_Err") + " : " +
                                                  missing.string() + "/Picture.jpg\n\nNo such file or directory"});
  EXPECT_FALSE(fs::exists(missing));
}

// A folder whose name is not UTF-8, chosen with Browse, receives the pages, and the save window
// opens that folder; the folder named by the text it shows as (its replacement characters) gets
// nothing.
TEST_F(WiaWindowsTest, ABrowsedFolderNotNamedInUtf8ReceivesThePages) {
  start(R"({"source": "flatbed", "formats": ["jpeg"], "dpi": 200})");
  const fs::path parent = emptyOutputFolder("scanning/wia-encoding");
  const std::string chosen = parent.string() + "/sc\xff";
  const std::string lookAlike = parent.string() + "/sc\uFFFD";
  fs::create_directories(chosen);
  fs::create_directories(lookAlike);
  std::vector<std::string> starts;
  std::string opened;
  road->SaveFm->OpenInShell = [&](const std::string& path) { opened = path; };
  whenShown(*road->SetFm, [&] {
    road->SetFm->ChooseFolder = [&](const std::string& start) {
      starts.push_back(start);
      return chosen;
    };
    road->SetFm->BrowseBtn->click();
    road->SetFm->BrowseBtn->click();  // opens where the first one ended
    road->SetFm->NextBtn->click();
  });
  whenShown(*road->SaveFm, [&] {
    test::when(*road->SaveFm, [this] { return road->SaveFm->CancelBtn->text() == "Close"; }, [&] {
      road->SaveFm->Edit_LocationClick();
      road->SaveFm->CancelBtn->click();
    });
  });
  RunWiaRoad(deviceId, *road);
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
  EXPECT_EQ(test::commandOutput("identify -format '%m %x' '" + chosen + "/Picture.jpg'"), "JPEG 200");
  EXPECT_TRUE(fs::is_empty(lookAlike));
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1], chosen + "/");
  EXPECT_EQ(opened, chosen + "/");
}

// Folder + name + extension may take 250 characters, not one more.
TEST_F(WiaWindowsTest, FullNamesUpTo250CharactersAreAccepted) {
  TNetWIASetFm fm;
  for (const std::size_t length : {249u, 250u, 251u}) {
    SCOPED_TRACE(length);
    boxes.shown.clear();
    fm.setResult(0);
    const std::string folder = "/" + std::string(length - std::string("//Picture.jpg").size(), 'f') + "/";
    fm.FilePathEdit->setText(QString::fromStdString(folder));
    fm.NextBtnClick();
    const std::string full = folder + "Picture.jpg";
    ASSERT_EQ(full.size(), length);
    if (length <= 250) {
      EXPECT_EQ(fm.result(), kWiaNext);
      EXPECT_TRUE(boxes.shown.empty());
      EXPECT_EQ(Wia().save.folder + Wia().save.groupName + Wia().save.extension, full);
    } else {
      EXPECT_EQ(fm.result(), 0);
      EXPECT_EQ(boxes.shown, std::vector<std::string>{core::LoadMessage("SFile_Save_Err") + "\n\n" + full});
    }
  }
}

TEST(DefaultFolder, TheFirstFolderThatCanBeWritten) {
  const FolderChoices all{"/p", "/prog", "/h"};
  struct Case {
    FolderChoices choices;
    std::vector<std::string> writable;
    std::string chosen;
  };
  const std::vector<Case> cases = {
      {all, {"/p", "/prog", "/h"}, "/p/"},
      {all, {"/prog", "/h"}, "/prog/"},
      {{"", "/prog", "/h"}, {"/prog", "/h"}, "/prog/"},
      {all, {"/h"}, "/h/"},
      {all, {}, "/h/"},
      {{"/p/", "/prog", "/h/"}, {"/p/"}, "/p/"},
  };
  for (const Case& c : cases) {
    const auto writable = [&c](const std::string& f) {
      return std::find(c.writable.begin(), c.writable.end(), f) != c.writable.end();
    };
    EXPECT_EQ(ChooseDefaultFolder(c.choices, writable), c.chosen);
  }
  const fs::path here = testOutput("scanning/default-folder");
  std::ofstream(here / "file") << "x";
  EXPECT_TRUE(IsWritableFolder(here.string()));
  EXPECT_FALSE(IsWritableFolder((here / "file").string()));
  EXPECT_FALSE(IsWritableFolder((here / "missing").string()));
}

// A fresh account has no pictures folder: the settings window offers the program's folder, and
// the pictures folder once it is there.
TEST_F(WiaWindowsTest, TheDefaultFolderExists) {
  const fs::path home = fs::weakly_canonical(testOutput("scanning")) / "fresh-home";
  fs::remove_all(home);
  fs::create_directories(home / ".config");
  const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
  const std::string keptConfig = oldConfig ? oldConfig : "";
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  TNetWIASetFm fm;
  fm.FormShow();
  const std::string program = QCoreApplication::applicationDirPath().toStdString() + "/";
  EXPECT_EQ(fm.DefaultFolder, program);
  EXPECT_EQ(fm.FilePathEdit->text().toStdString(), program);
  fs::create_directories(home / "Pictures");
  fm.FormShow();
  EXPECT_EQ(fm.DefaultFolder, (home / "Pictures").string() + "/");
  ::setenv("HOME", oldHome.c_str(), 1);
  if (oldConfig) ::setenv("XDG_CONFIG_HOME", keptConfig.c_str(), 1);
  else ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
