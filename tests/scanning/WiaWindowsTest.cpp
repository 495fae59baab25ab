// The WIA road's windows driven as a user would, offscreen, over a simulated three-sheet feeder:
// the settings window's checks and names, the save window's pages and preview, "< Back", and the
// close box during a transfer. The group is left in build/test-output/scanning/wia/.
#include <gtest/gtest.h>

#include <QApplication>
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

#include "app/Dialogs.h"
#include "core/MessageTable.h"
#include "platform/Clock.h"
#include "scanning/WiaRoad.h"
#include "sim/InProcessWia.h"
#include "sim/PlugAndPlay.h"
#include "sim/Scenario.h"
#include "sim/World.h"
#include "support/WindowSteps.h"

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

std::string run(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    std::array<char, 256> buf{};
    while (std::fgets(buf.data(), buf.size(), p)) out += buf.data();
    ::pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

fs::path testOutput(const std::string& area) {
  const fs::path dir = fs::path(TARVEX_BIN_DIR) / ".." / "test-output" / area;
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
    EXPECT_EQ(run("identify -format '%m %wx%h %x' '" + (folder / name).string() + "'"), "JPEG 1000x1200 300")
        << name;
  EXPECT_FALSE(fs::exists(folder / "Picture_003.jpg"));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(WiaWindowsTest, BackFromTheSaveWindowOpensTheDeviceAgain) {
  start(R"({"source": "flatbed"})");
  const fs::path folder = testOutput("scanning/wia-back");
  fs::remove_all(folder);
  fs::create_directories(folder);
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
  const fs::path folder = testOutput("scanning/wia-names");
  fs::remove_all(folder);
  fs::create_directories(folder);
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
    fm.FilePathEdit->setText(QString::fromStdString(folder.string() + "/"));
    fm.NextBtn->click();
  });
  result = fm.exec();
  EXPECT_EQ(result, kWiaNext);
  EXPECT_EQ(boxes.shown, (std::vector<std::string>{core::LoadMessage("SNo_PFile_Name"),
                                                   core::LoadMessage("SNo_PFile_Path")}));
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
  const fs::path folder = testOutput("scanning/wia-close");
  fs::remove_all(folder);
  fs::create_directories(folder);
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

}  // namespace
