// The scanning window driven as a user would, offscreen, over a simulated source: a group of
// three pages saved as BMP, JPEG and PDF and read back by outside tools; preview, Save As, the
// idle unlock and the re-lock.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <cstdlib>
#include <optional>
#include <set>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ScanFixtures.h"
#include "app/Dialogs.h"
#include "core/DriverInterface.h"
#include "platform/SimScannerSources.h"
#include "platform/TwainSourceDialog.h"
#include "platform/UiDispatcher.h"
#include "scanning/ScriptedSource.h"
#include "scanning/FileClaims.h"
#include "scanning/FileNames.h"
#include "scanning/PictureFolder.h"
#include "scanning/TNetScanFm.h"
#include "support/FakeDeviceIo.h"

using namespace scantest;
namespace tw = platform::twain;

namespace {

int argc = 1;
char programName[] = "test_scanning_window";
char* argv[] = {programName, nullptr};

struct RecordedBoxes : app::MessageBoxes {
  std::vector<std::string> shown;
  int answer = app::kIdYes;
  int show(const std::string& text, const std::string&, unsigned) override {
    shown.push_back(text);
    return answer;
  }
  void showModeless(const std::string& text, const std::string&, unsigned) override {
    shown.push_back(text);
  }
};

enum Format { kJpg = 0, kBmp = 1, kPdf = 2 };

// An environment variable set for a while and put back afterwards.
struct Env {
  const char* name;
  std::optional<std::string> old;
  Env(const char* n, const std::string& value) : name(n) {
    if (const char* v = std::getenv(n)) old = v;
    ::setenv(n, value.c_str(), 1);
  }
  ~Env() { old ? (void)::setenv(name, old->c_str(), 1) : (void)::unsetenv(name); }
};

scanning::test::Script threePages() {
  scanning::test::Script s;
  s.name = "Velmora NetScan 3000";
  s.pages = std::vector<tw::PageDescription>(3, tw::PageDescription{850, 1100, 24, 300, 300});
  return s;
}

class ScanWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The file dialogs keep their history in the user's settings: here in a folder of the run's.
    static ScratchDir settings;
    ::setenv("XDG_CONFIG_HOME", settings.path().c_str(), 1);
    if (!QApplication::instance()) new QApplication(argc, argv);
    platform::ui::markUiThread();
  }
  void SetUp() override {
    ::setenv("TARVEX_SIM_DIR", sim.path().c_str(), 1);
    ::setenv("TARVEX_HOST", "SCAN-PC", 1);
    app::setMessageBoxes(&boxes);
    platform::setDeviceIo(&driver);
  }
  // The sources are made when the manager opens: a test changes `script` before this.
  void openWindow(bool modal = false) {
    blocksBefore = platform::GlobalBlockCount();
    tw::setSourceProviders({[this] {
      std::vector<std::unique_ptr<tw::Source>> out;
      if (simScanner) {
        out.push_back(tw::makeSimScannerSource(*simScanner, 0, "SCAN-PC", [](const auto&) {
          platform::simwire::ScannerReply held;
          held.ok = held.held = true;
          return std::optional(held);
        }));
      } else {
        out.push_back(std::make_unique<scanning::test::ScriptedSource>(script, seen));
      }
      return out;
    }});
    window = std::make_unique<scanning::TNetScanFm>();
    // What Scan Now does before it shows the window.
    if (!window->TwainPresent) {
      window->TwainPresent = true;
      window->ZELTwain.InitTWAIN();
    }
    tw::TW_IDENTITY id{};
    ASSERT_EQ(window->ZELTwain.CallDataSourceManager(nullptr, tw::DG_CONTROL, tw::DAT_IDENTITY,
                                                     tw::MSG_GETFIRST, &id),
              tw::TWRC_SUCCESS);
    window->ZELTwain.SetDataSource(id);
    window->SrcLabel->setText("Velmora NetScan 3000");
    window->Device.bus = 7;
    window->Device.port = "2";
    window->Device.owner = "SCAN-PC";
    window->HostName = "SCAN-PC";
    window->Locked = true;
    window->TimeoutTimer->start();
    window->FilePathEdit->setText(QString::fromStdString(work.path() + "/"));
    window->FileNameEdit->setText("group");
    if (modal) window->setWindowModality(Qt::ApplicationModal);  // as Scan Now shows it
    window->show();
  }
  void TearDown() override {
    window.reset();
    // Written now, while the folder is there: Qt would write what is left only after it went.
    QSettings(QSettings::UserScope, "QtProject").sync();
    EXPECT_EQ(platform::GlobalBlockCount(), blocksBefore) << "a picture block was not freed";
    tw::setSourceProviders({});
    platform::setDeviceIo(nullptr);
    app::setMessageBoxes(nullptr);
  }

  template <typename Done>
  bool until(Done done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      platform::ui::serve();
      if (window->Saving()) window->SaveFileTimerTimer();  // the 400 ms poll, stepped
    }
    return done();
  }

  // A simulated scanner with `pages` pages of width x height pixels at dpi, in colour.
  void useSimScanner(int pages, std::uint32_t width, std::uint32_t height, std::uint32_t dpi) {
    simScanner.emplace();
    simScanner->product = "Velmora NetScan 3000";
    simScanner->pages.assign(static_cast<std::size_t>(pages), platform::SimScannerPage{width, height, 24, dpi});
  }

  // The preview's picture and the preview as the screen shows it.
  std::string previewFaults() {
    const QImage& picture = window->Preview();
    const QImage shown = window->ScanImage->grab().toImage();
    auto of = [](const QImage& image) {
      return [&image](double fx, double fy) {
        const QColor c = image.pixelColor(static_cast<int>(fx * image.width()), static_cast<int>(fy * image.height()));
        return std::array<int, 3>{c.red(), c.green(), c.blue()};
      };
    };
    return simPageFaults(of(picture)) + simPageFaults(of(shown));
  }
  static std::string fileFaults(const std::string& command) {
    const auto ppm = decodedBy(command);
    if (!ppm) return "not decoded by: " + command;
    return simPageFaults([&](double fx, double fy) { return ppm->at(fx, fy); });
  }

  // The user picks the format, presses Scan, then Scan in the source's own window.
  void scanGroup(Format format) {
    window->FileFmtComboBox->setCurrentIndex(format);
    window->ScanBtn->click();
    ASSERT_TRUE(window->ZELTwain.IsDataSourceEnabled());
    const auto dialogs = tw::openSourceDialogs();
    ASSERT_FALSE(dialogs.empty());
    dialogs.back()->scanButton()->click();
    ASSERT_TRUE(until([&] {
      return !window->Saving() && window->NoteSText->text().contains("picture(s) were scanned.");
    }));
    EXPECT_TRUE(window->ScanBtn->isEnabled());
    EXPECT_EQ(window->NoteSText->text(), " 3 picture(s) were scanned.");
  }

  void render(const std::string& name) {
    QCoreApplication::processEvents();
    window->grab().save(QString::fromStdString(testOutput("windows") + "/" + name));
  }

  ScratchDir sim, work;
  RecordedBoxes boxes;
  test::FakeDeviceIo driver;
  scanning::test::Script script = threePages();
  std::optional<platform::SimScanner> simScanner;  // a simulated network scanner instead
  std::shared_ptr<scanning::test::Seen> seen = std::make_shared<scanning::test::Seen>();
  std::unique_ptr<scanning::TNetScanFm> window;
  std::size_t blocksBefore = 0;
};

// Each format keeps the pages' colours in order and their top left where it was, as outside
// readers see the files and as the preview shows them.
TEST_F(ScanWindowTest, ThreePagesSavedAsBmpJpegAndPdf) {
  useSimScanner(3, 850, 1100, 300);
  openWindow();
  for (const char* tool : {"identify", "convert", "djpeg", "qpdf", "pdfimages", "pdftoppm"})
    if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
  const std::string out = testOutput("scanning");

  scanGroup(kBmp);
  EXPECT_EQ(window->GroupFileName(), work.file("group.bmp"));
  std::string text;
  for (const char* page : {"group.bmp", "group_2.bmp", "group_3.bmp"}) {
    ASSERT_EQ(run("identify -units PixelsPerInch -format "
                  "'%w %h %[fx:round(resolution.x)]x%[fx:round(resolution.y)]' " + work.file(page),
                  &text), 0);
    EXPECT_EQ(text, "850 1100 300x300") << page;
  }
  EXPECT_EQ(window->InfoSText_Res->text(), "300 dpi");  // page 1 shown, its resolution read back
  EXPECT_EQ(fileFaults("convert " + work.file("group_2.bmp") + " ppm:-"), "");
  EXPECT_EQ(previewFaults(), "");
  std::filesystem::copy_file(work.file("group.bmp"), out + "/group.bmp",
                             std::filesystem::copy_options::overwrite_existing);
  render("TNetScanFm.png");

  scanGroup(kJpg);
  EXPECT_EQ(window->GroupFileName(), work.file("group1.jpg"));  // group.bmp is taken
  ASSERT_EQ(run("identify -format '%w %h %x %y %U' " + work.file("group1.jpg"), &text), 0);
  EXPECT_EQ(text, "850 1100 300 300 PixelsPerInch");
  EXPECT_EQ(fileFaults("djpeg -ppm " + work.file("group1_3.jpg")), "");
  EXPECT_EQ(previewFaults(), "");
  EXPECT_FALSE(exists(work.file("group1.bmp")));
  std::filesystem::copy_file(work.file("group1.jpg"), out + "/group.jpg",
                             std::filesystem::copy_options::overwrite_existing);

  scanGroup(kPdf);
  const std::string pdf = work.file("group2.pdf");
  EXPECT_EQ(window->GroupFileName(), pdf);
  EXPECT_EQ(run("qpdf --check " + pdf, &text), 0) << text;
  ASSERT_EQ(run("pdfimages -list " + pdf, &text), 0);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 3) << text;
  EXPECT_NE(text.find("850  1100  rgb"), std::string::npos) << text;
  for (int page = 1; page <= 3; ++page)
    EXPECT_EQ(fileFaults("pdftoppm -r 40 -singlefile -f " + std::to_string(page) + " -l " +
                         std::to_string(page) + " " + pdf), "") << page;
  EXPECT_EQ(previewFaults(), "");
  std::filesystem::copy_file(pdf, out + "/group.pdf", std::filesystem::copy_options::overwrite_existing);
  EXPECT_TRUE(window->TemporaryJpegsExist());
  const std::string temporary = window->TemporaryFolder();
  ASSERT_FALSE(temporary.empty());
  EXPECT_TRUE(exists(temporary + "/Picture_3.jpg"));  // kept for the preview
  EXPECT_FALSE(exists(temporary + "/Picture.bmp"));
  EXPECT_EQ(window->LocationEdit->text().toStdString(), work.path() + "/");
  EXPECT_EQ(window->InfoSText_FileName->text(), "group2.pdf");
  render("TNetScanFm-pdf.png");

  // Closing the window removes the temporary pages and their folder.
  window->CloseBtn->click();
  EXPECT_FALSE(exists(temporary));
  EXPECT_TRUE(window->TemporaryFolder().empty());
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
}

// An A4 colour page at 600 dpi (35 M pixels) is written and read back as its BMP group, previews
// whole and at full size, and saves again as JPEG and as PDF, whose page is A4.
TEST_F(ScanWindowTest, AnA4ColourPageAt600DpiPreviewsAndSavesAgain) {
  for (const char* tool : {"djpeg", "pdfinfo", "pdftoppm"})
    if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
  useSimScanner(1, 4961, 7016, 600);
  openWindow();
  window->FileFmtComboBox->setCurrentIndex(kBmp);
  window->ScanBtn->click();
  tw::openSourceDialogs().back()->scanButton()->click();
  // A few seconds of work on a busy machine; the limit only guards against a hang.
  ASSERT_TRUE(until([&] { return !window->Saving() && window->ScanBtn->isEnabled(); }, 240000));
  EXPECT_EQ(window->InfoSText_Pixel->text(), "4961 x 7016 pixels");
  EXPECT_EQ(window->InfoSText_Res->text(), "600 dpi");
  EXPECT_EQ(previewFaults(), "");
  window->ActualTBtn->click();  // the whole page at full size, drawn where it shows
  render("TNetScanFm-600dpi-actual.png");
  window->OPSizeTBtn->click();
  render("TNetScanFm-600dpi.png");

  std::string target, text;
  window->SaveDialogExecute = [&] { return target; };
  target = work.file("copy.jpg");
  window->SaveBtn->click();
  EXPECT_EQ(fileFaults("djpeg -scale 1/8 -ppm " + target), "");
  target = work.file("copy.pdf");
  window->SaveBtn->click();
  EXPECT_EQ(fileFaults("pdftoppm -r 20 -singlefile " + target), "");
  ASSERT_EQ(run("pdfinfo " + target, &text), 0);
  EXPECT_NE(text.find("595.32 x 841.92 pts (A4)"), std::string::npos) << text;
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
}

TEST_F(ScanWindowTest, PagingZoomAndPictureTexts) {
  script.pages[1] = tw::PageDescription{400, 300, 8, 300, 300};
  openWindow();
  scanGroup(kJpg);
  EXPECT_TRUE(window->NBtn->isEnabled());
  EXPECT_EQ(window->PageLabel->text(), "No. 1 Page.");
  EXPECT_EQ(window->InfoSText_Pixel->text(), "850 x 1100 pixels");
  window->NBtn->click();
  EXPECT_EQ(window->IndexLabel->text(), "2");
  EXPECT_EQ(window->InfoSText_Pixel->text(), "400 x 300 pixels");
  EXPECT_EQ(window->InfoSText_Bits->text(), "8 bit(s)");
  EXPECT_EQ(window->InfoSText_Res->text(), "300 dpi");
  EXPECT_EQ(window->InfoSText_CM->text(), "3.3 x 2.5 cm");
  window->NBtn->click();
  window->NBtn->click();
  EXPECT_EQ(window->IndexLabel->text(), "1");
  window->PBtn->click();
  EXPECT_EQ(window->IndexLabel->text(), "3");

  const int fit = window->FitScale();
  ASSERT_LT(fit, 100);
  window->ZInTBtn->click();
  EXPECT_EQ(window->Scale(), fit + (10 - fit % 10));
  EXPECT_EQ(window->ScaleLabel->text(), QString::number(window->Scale()) + " % ");
  window->ActualTBtn->click();
  EXPECT_EQ(window->Scale(), 100);
  EXPECT_EQ(window->ScanImage->width(), 850);
  for (int i = 0; i < 30; ++i) window->ZOutTBtn->click();
  EXPECT_EQ(window->Scale(), fit);
}

// Save As writes the shown picture in the format of its extension, and nothing for any other.
TEST_F(ScanWindowTest, SaveAsTheShownPicture) {
  openWindow();
  if (!haveTool("identify")) GTEST_SKIP() << "identify missing";
  scanGroup(kBmp);
  std::string target;
  window->SaveDialogExecute = [&] { return target; };
  std::string text;

  target = work.file("copy.jpg");
  window->SaveBtn->click();
  ASSERT_EQ(run("identify -format '%m %w %h %x' " + target, &text), 0);
  EXPECT_EQ(text, "JPEG 850 1100 300");

  target = work.file("copy.bmp");
  window->SaveBtn->click();
  ASSERT_EQ(run("identify -units PixelsPerInch -format '%m %w %[fx:round(resolution.x)]' " + target, &text), 0);
  EXPECT_EQ(text.substr(text.find(' ')), " 850 300");
  EXPECT_EQ(text.substr(0, 3), "BMP");

  target = work.file("copy.pdf");
  window->SaveBtn->click();
  EXPECT_EQ(run("qpdf --check " + target), 0);
  EXPECT_FALSE(exists(target + ".jpg"));

  target = work.file("copy.png");
  window->SaveBtn->click();
  EXPECT_FALSE(exists(target));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0], "Can't save file :  : " + target);

  // Onto an existing file only when the user says yes.
  boxes.shown.clear();
  boxes.answer = app::kIdNo;
  target = work.file("copy.bmp");
  std::filesystem::remove(target);
  writeAll(target, {1, 2, 3});
  window->SaveBtn->click();
  EXPECT_EQ(readAll(target).size(), 3u);
  EXPECT_EQ(boxes.shown, std::vector<std::string>{"File existed already ! Overwirte?"});
}

TEST_F(ScanWindowTest, ScanRefusedWithoutNameOrFolderOrWithTooLongAName) {
  openWindow();
  window->FileNameEdit->clear();
  window->ScanBtn->click();
  window->FileNameEdit->setText("group");
  window->FilePathEdit->clear();
  window->ScanBtn->click();
  window->FilePathEdit->setText(QString::fromStdString(work.path() + "/"));
  window->FileNameEdit->setText(QString(64, 'n'));
  const std::string longFolder = work.path() + "/" + std::string(250 - work.path().size() - 64 - 4, 'f') + "/";
  window->FilePathEdit->setText(QString::fromStdString(longFolder));
  window->ScanBtn->click();
  ASSERT_EQ(boxes.shown.size(), 3u);
  EXPECT_EQ(boxes.shown[0], "Please input a name for this group of pictures !");
  EXPECT_EQ(boxes.shown[1], "Please choose a place to save this group of pictures !");
  EXPECT_EQ(boxes.shown[2], "Can't save file : \n\n" + longFolder + std::string(64, 'n') + ".jpg");
  EXPECT_FALSE(window->ZELTwain.IsDataSourceEnabled());
  EXPECT_EQ(seen->opens, 0);
}

// A page that cannot be written is reported with why; its picture block is freed all the same.
// The folder the window offers by itself is one that can be written.
TEST_F(ScanWindowTest, PageFileThatCannotBeWritten) {
  openWindow();
  EXPECT_TRUE(scanning::IsWritableFolder(window->DefaultFolder)) << window->DefaultFolder;
  const std::string folder = work.path() + "/gone/";
  window->FilePathEdit->setText(QString::fromStdString(folder));
  window->FileFmtComboBox->setCurrentIndex(kBmp);
  window->ScanBtn->click();
  tw::openSourceDialogs().back()->scanButton()->click();
  ASSERT_TRUE(until([&] { return window->ScanBtn->isEnabled(); }));
  EXPECT_EQ(boxes.shown, std::vector<std::string>{"Can't open file :  : " + folder +
                                                  "group.bmp\n\nNo such file or directory"});
  EXPECT_FALSE(window->Saving());
  EXPECT_FALSE(window->ZELTwain.IsDataSourceOpen());
  EXPECT_EQ(seen->transferredAt.size(), 1u);  // the batch stopped after the first page
}

// A source above 600 dpi is set to 600; one that takes no resolution from 600 down to 100 scans
// nothing and the window says so.
TEST_F(ScanWindowTest, ResolutionNegotiatedBeforeEachPage) {
  script.pages = {tw::PageDescription{80, 60, 24, 1200, 1200}};
  script.accepted = {1200, 400};
  openWindow();
  window->ScanBtn->click();
  tw::openSourceDialogs().back()->scanButton()->click();
  ASSERT_TRUE(until([&] { return !window->Saving() && window->ScanBtn->isEnabled(); }));
  EXPECT_EQ(seen->transferredAt, std::vector<int>{400});
  EXPECT_EQ(window->InfoSText_Res->text(), "400 dpi");
  EXPECT_TRUE(boxes.shown.empty());
}

// The window's own rule before each page: above 600 dpi (600 itself at depths other than 1, 8 and
// 24 bits) it asks for 600, 550, ... until the source takes one on both axes.
TEST_F(ScanWindowTest, ResolutionRuleByDepth) {
  struct Case {
    const char* name;
    int reported, bits;
    std::set<int> accepted;
    int scannedAt;
    std::vector<int> asked;
  };
  const Case cases[] = {
      {"1200 at 24 bits is set to 600", 1200, 24, {}, 600, {600, 600}},
      {"600 at 16 bits is asked again", 600, 16, {}, 600, {600, 600}},
      {"600 at 8 bits stands", 600, 8, {}, 600, {}},
      {"600 at 1 bit stands", 600, 1, {}, 600, {}},
      {"a 300-only source gets 600 down to 300", 1200, 24, {300},
       300, {600, 600, 550, 550, 500, 500, 450, 450, 400, 400, 350, 350, 300, 300}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    seen = std::make_shared<scanning::test::Seen>();
    script.pages = {tw::PageDescription{80, 60, c.bits, c.reported, c.reported}};
    script.accepted = c.accepted;
    openWindow();
    window->FileFmtComboBox->setCurrentIndex(kBmp);
    window->ScanBtn->click();
    tw::openSourceDialogs().back()->scanButton()->click();
    ASSERT_TRUE(until([&] { return !window->Saving() && window->ScanBtn->isEnabled(); }));
    EXPECT_EQ(seen->resolutionsAsked, c.asked);
    EXPECT_EQ(seen->transferredAt, std::vector<int>{c.scannedAt});
    EXPECT_EQ(window->InfoSText_Res->text().toStdString(), std::to_string(c.scannedAt) + " dpi");
    EXPECT_TRUE(boxes.shown.empty());
    window.reset();
  }
}

TEST_F(ScanWindowTest, NoResolutionTakenRefusesTheScan) {
  script.pages = {tw::PageDescription{80, 60, 24, 1200, 1200}};
  script.accepted = {1200};
  openWindow();
  window->ScanBtn->click();
  tw::openSourceDialogs().back()->scanButton()->click();
  ASSERT_TRUE(until([&] { return window->ScanBtn->isEnabled(); }));
  EXPECT_TRUE(seen->transferredAt.empty());
  EXPECT_EQ(boxes.shown, std::vector<std::string>{
                             "Sorry, this resolution can not be supported by this application."});
  EXPECT_TRUE(window->TimeoutTimer->isActive());
}

TEST_F(ScanWindowTest, BrowseAndTheLocationLinks) {
  openWindow();
  std::string asked;
  window->ChooseFolder = [&](const std::string& initial) {
    asked = initial;
    return std::string("/home/u/Scans");
  };
  window->BrowseBtn->click();
  EXPECT_EQ(asked, work.path() + "/");
  EXPECT_EQ(window->FilePathEdit->text(), "/home/u/Scans/");
  window->ChooseFolder = [](const std::string&) { return std::string(); };  // Cancel
  window->BrowseBtn->click();
  EXPECT_EQ(window->FilePathEdit->text(), "/home/u/Scans/");

  std::vector<std::string> opened;
  window->OpenInShell = [&](const std::string& path) { opened.push_back(path); };
  window->LocationEdit->setText("/home/u/Scans/");
  window->InfoSText_FileName->setText("group.jpg");
  window->LocationEditClick();
  window->InfoSText_FileNameClick();
  EXPECT_EQ(opened, (std::vector<std::string>{"/home/u/Scans/", "/home/u/Scans/group.jpg"}));
}

// A transfer that fails on page 3: two BMP pages stay, no saving runs, paging stays off.
TEST_F(ScanWindowTest, FailedTransferMidBatchKeepsThePagesBefore) {
  script.failingPage = 2;
  openWindow();
  window->FileFmtComboBox->setCurrentIndex(kJpg);
  window->ScanBtn->click();
  tw::openSourceDialogs().back()->scanButton()->click();
  ASSERT_TRUE(until([&] { return window->ScanBtn->isEnabled(); }));
  EXPECT_FALSE(window->Saving());
  EXPECT_EQ(window->PageCount(), 2);
  EXPECT_TRUE(exists(work.file("group.bmp")));
  EXPECT_TRUE(exists(work.file("group_2.bmp")));
  EXPECT_FALSE(exists(work.file("group.jpg")));
  EXPECT_FALSE(window->NBtn->isEnabled());
  EXPECT_TRUE(window->TimeoutTimer->isActive());
}

// The idle timer gives the lock back; the next Scan takes it again, or closes when it cannot.
TEST_F(ScanWindowTest, IdleUnlockAndRelock) {
  openWindow();
  EXPECT_EQ(window->TimeoutTimer->interval(), 180000);
  driver.reply(core::IOCTL_TCPBUS_UNLOCK_DEVICE, {true});
  window->TimeoutTimerTimer();
  EXPECT_FALSE(window->Locked);
  EXPECT_FALSE(window->TimeoutTimer->isActive());
  ASSERT_EQ(driver.requests.size(), 1u);
  EXPECT_EQ(driver.requests[0].handle, 7);

  driver.reply(core::IOCTL_TCPBUS_LOCK_DEVICE, {true});
  window->ScanBtn->click();
  EXPECT_TRUE(window->Locked);
  EXPECT_TRUE(window->ZELTwain.IsDataSourceEnabled());
  EXPECT_EQ(driver.requests.back().code, core::IOCTL_TCPBUS_LOCK_DEVICE);
  tw::openSourceDialogs().back()->closeButton()->click();
  ASSERT_TRUE(until([&] { return window->ScanBtn->isEnabled(); }));

  // Someone else took the scanner meanwhile: the window says so and closes.
  window->TimeoutTimerTimer();
  window->Device.owner = "OTHER-PC";
  window->ScanBtn->click();
  EXPECT_EQ(boxes.shown, std::vector<std::string>{"This scanner was used by someone !"});
  EXPECT_FALSE(window->isVisible());
}

// Scan Now shows the window modally. The source's own window is the scanning window's: above it,
// and it takes a real click and Escape; Escape in the scanning window closes the source's window
// first, then the scanning window.
TEST_F(ScanWindowTest, TheSourcesWindowBelongsToTheModalScanningWindow) {
  openWindow(true);
  window->FileFmtComboBox->setCurrentIndex(kBmp);
  window->ScanBtn->click();
  ASSERT_EQ(tw::openSourceDialogs().size(), 1u);
  tw::TwainSourceDialog* dialog = tw::openSourceDialogs().back();
  QCoreApplication::processEvents();
  EXPECT_EQ(dialog->parentWidget(), window.get());
  ASSERT_NE(dialog->windowHandle(), nullptr);
  EXPECT_EQ(dialog->windowHandle()->transientParent(), window->windowHandle());
  EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(dialog->isEnabled());
  EXPECT_FALSE(window->ScanBtn->isEnabled());

  QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);
  ASSERT_TRUE(until([&] { return window->ScanBtn->isEnabled(); }, 3000)) << "Escape was not taken";
  EXPECT_FALSE(window->ZELTwain.IsDataSourceOpen());

  window->ScanBtn->click();
  QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
  ASSERT_TRUE(until([&] { return window->ScanBtn->isEnabled(); }, 3000));
  EXPECT_TRUE(tw::openSourceDialogs().empty());
  EXPECT_TRUE(window->isVisible());

  window->ScanBtn->click();
  dialog = tw::openSourceDialogs().back();
  QCoreApplication::processEvents();
  const QPoint scan = dialog->scanButton()->mapTo(dialog, dialog->scanButton()->rect().center());
  QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {}, scan);
  ASSERT_TRUE(until([&] { return !window->Saving() && window->PageCount() == 3; }, 5000))
      << "the click was not taken";
  EXPECT_TRUE(exists(work.file("group_3.bmp")));

  QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
}

// A PDF group's pages wait in a folder of the window's own, so the user's Documents/Picture.*
// stay as they were; a JPG group whose later page would land on a file takes the next name.
TEST_F(ScanWindowTest, NoPageLandsOnAFileThatWasThere) {
  ScratchDir home;
  Env homeEnv("HOME", home.path());
  std::filesystem::create_directories(home.file("Documents"));
  const std::vector<std::string> mine = {home.file("Documents/Picture.bmp"),
                                         home.file("Documents/Picture.jpg"),
                                         home.file("Documents/Picture_2.jpg"),
                                         home.file("Documents/Picture_2.bmp"), work.file("group_2.jpg")};
  for (std::size_t i = 0; i < mine.size(); ++i) writeAll(mine[i], {'m', 'i', 'n', 'e', std::uint8_t(i)});

  openWindow();
  scanGroup(kPdf);
  EXPECT_EQ(window->GroupFileName(), work.file("group.pdf"));
  scanGroup(kJpg);
  EXPECT_EQ(window->GroupFileName(), work.file("group1.jpg"));
  EXPECT_TRUE(exists(work.file("group1_3.jpg")));
  window->CloseBtn->click();
  for (std::size_t i = 0; i < mine.size(); ++i)
    EXPECT_EQ(readAll(mine[i]), (std::vector<std::uint8_t>{'m', 'i', 'n', 'e', std::uint8_t(i)})) << mine[i];
}

// Paging shows the group as it was scanned, whatever the format box says now.
TEST_F(ScanWindowTest, PagingFollowsTheScannedGroupNotTheFormatBox) {
  openWindow();
  scanGroup(kJpg);
  window->FileFmtComboBox->setCurrentIndex(kPdf);
  window->NBtn->click();
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
  EXPECT_EQ(window->InfoSText_FileName->text(), "group_2.jpg");
  EXPECT_EQ(window->InfoSText_Res->text(), "300 dpi");
}

// The save dialog adds "jpg" to a bare name (the chosen filter's extension once another is
// picked) and asks nothing itself: before a file is replaced only the window asks.
TEST_F(ScanWindowTest, SaveDialogAddsTheExtensionAndLeavesTheQuestionToTheWindow) {
  openWindow();
  if (!haveTool("identify")) GTEST_SKIP() << "identify missing";
  scanGroup(kBmp);
  QFileDialog* dialog = window->SaveDialog;
  std::vector<QString> dialogQuestions;
  std::function<void()> user;  // what the user does once the dialog is up
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
        dialogQuestions.push_back(box->text());
        box->done(QMessageBox::No);
      }
    if (dialog->isVisible() && user) std::exchange(user, nullptr)();
  });
  poll.start();
  auto saveAs = [&](const QString& typed, bool pickBmp = false) {
    user = [&, typed, pickBmp] {
      if (pickBmp) QTest::keyClick(dialog->findChild<QComboBox*>("fileTypeCombo"), Qt::Key_Down);
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(typed);
      static_cast<QDialog*>(dialog)->accept();  // as the dialog's own Save button does
    };
    window->SaveBtn->click();
  };
  std::string text;

  saveAs("scan1");
  ASSERT_EQ(run("identify -format '%m %w' " + work.file("scan1.jpg"), &text), 0);
  EXPECT_EQ(text, "JPEG 850");

  writeAll(work.file("copy.jpg"), {1, 2, 3});
  boxes.answer = app::kIdNo;
  saveAs("copy");
  EXPECT_TRUE(dialogQuestions.empty()) << dialogQuestions.front().toStdString();
  EXPECT_EQ(boxes.shown, std::vector<std::string>{"File existed already ! Overwirte?"});
  EXPECT_EQ(readAll(work.file("copy.jpg")).size(), 3u);

  saveAs("scan2", true);
  ASSERT_EQ(run("identify -format '%m' " + work.file("scan2.bmp"), &text), 0);
  EXPECT_EQ(text.substr(0, 3), "BMP");
}


// The names and folders that must never touch a user's file. Each row puts the user's files down
// (before the scan, or while the source's window is open), scans three pages, and finds every one
// of them byte for byte as it was, and the pages where they belong.
TEST_F(ScanWindowTest, NoNameOrFolderTouchesAUsersFile) {
  struct Row {
    const char* what;
    std::string folder;  // as typed, below the row's folder
    std::string name;
    Format format;
    std::function<void(UserFiles&, const std::string& root)> before;
    std::function<void(UserFiles&, const std::string& root, int page)> during;
    std::vector<std::string> pages;  // below the row's folder; empty: the name is refused
    std::vector<std::string> messages = {};  // after the scan, each with "{root}" for the row's folder
  };
  // Before page 2 transfers, page 1's file (still to be saved) is replaced by a FIFO.
  const auto firstPageBecomesAFifo = [](UserFiles& u, const std::string& r, int page) {
    if (page != 1) return;
    std::filesystem::remove(r + "/group.bmp");
    u.fifo(r + "/group.bmp");
  };
  const Row rows[] = {
      {"a folder typed without its separator is that folder", "Scans", "group", kJpg,
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/Scansgroup.jpg", "beside the folder");
         u.file(r + "/Scans/group.jpg", "in the folder");
       },
       {}, {"Scans/group1.jpg", "Scans/group1_2.jpg", "Scans/group1_3.jpg"}},
      {"a name with a slash names another folder", "", "sub/x", kJpg,
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/sub/x.jpg", "x.jpg");
         u.file(r + "/sub/x.bmp", "x.bmp");
       },
       {}, {}},
      {"a name that climbs out of the folder", "inner/", "../x", kBmp,
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/inner/keep", "");
         u.file(r + "/x.bmp", "x.bmp");
       },
       {}, {}},
      {"the folder's parent as a name", "", "..", kJpg, {}, {}, {}},
      {"the folder itself as a name", "", ".", kPdf, {}, {}, {}},
      {"dots in a name", "", "a.b", kBmp,
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/a.bmp", "a.bmp");
         u.file(r + "/a.b", "a.b");
       },
       {}, {"a.b.bmp", "a.b_2.bmp", "a.b_3.bmp"}},
      {"files made while the source's window is open", "", "group", kJpg, {},
       [](UserFiles& u, const std::string& r, int page) {
         if (page != 1) return;
         u.file(r + "/group_2.bmp", "made meanwhile");
         u.file(r + "/group.jpg", "made meanwhile too");
       },
       {"group-1.jpg", "group_2.jpg", "group_3.jpg"}},
      {"a link put where the next page goes", "", "group", kBmp,
       [](UserFiles& u, const std::string& r) { u.file(r + "/victim.txt", "the user's"); },
       [](UserFiles& u, const std::string& r, int page) {
         if (page == 1) u.link(r + "/group_2.bmp", r + "/victim.txt");
       },
       {"group.bmp", "group_2-1.bmp", "group_3.bmp"}},
      {"a dangling link with the group's name", "", "group", kJpg,
       [](UserFiles& u, const std::string& r) { u.link(r + "/group.jpg", r + "/nowhere.jpg"); },
       {}, {"group1.jpg", "group1_2.jpg", "group1_3.jpg"}},
      {"a folder that does not list", "locked", "group", kJpg,
       [](UserFiles& u, const std::string& r) {
         u.file(r + "/locked/group.jpg", "hidden from a listing");
         ::chmod((r + "/locked").c_str(), 0300);
       },
       {}, {"locked/group1.jpg", "locked/group1_2.jpg", "locked/group1_3.jpg"}},
      {"the group's document made while the source's window is open", "", "group", kPdf, {},
       [](UserFiles& u, const std::string& r, int page) {
         if (page == 2) u.file(r + "/group.pdf", "the user's document");
       },
       {"group-1.pdf"}},
      // A page put out of reach before the saving: the others are saved, nothing waits on it.
      {"a FIFO in place of a JPG group's first page", "", "group", kJpg, {}, firstPageBecomesAFifo,
       {"group_2.jpg", "group_3.jpg"}, {"Can't save file :  : {root}/group.jpg"}},
      {"a FIFO in place of a BMP group's first page", "", "group", kBmp, {}, firstPageBecomesAFifo,
       {"group_2.bmp", "group_3.bmp"}, {"Can't save file :  : {root}/group.bmp"}},
      {"a link swapped in for a JPG group's first page", "", "group", kJpg,
       [](UserFiles& u, const std::string& r) { u.file(r + "/victim.bmp", "the user's"); },
       [](UserFiles& u, const std::string& r, int page) {
         if (page != 1) return;
         std::filesystem::remove(r + "/group.bmp");
         u.link(r + "/group.bmp", r + "/victim.bmp");
       },
       {"group_2.jpg", "group_3.jpg"}, {"Can't save file :  : {root}/group.jpg"}},
  };
  int i = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string root = work.file("row" + std::to_string(++i));
    std::filesystem::create_directories(root);
    UserFiles user;
    if (row.before) row.before(user, root);
    script.pages.assign(3, tw::PageDescription{80, 60, 24, 300, 300});
    script.beforeTransfer = [&](int page) {
      if (row.during) row.during(user, root, page);
    };
    boxes.shown.clear();
    openWindow();
    window->FilePathEdit->setText(QString::fromStdString(root + "/" + row.folder));
    window->FileNameEdit->setText(QString::fromStdString(row.name));
    window->FileFmtComboBox->setCurrentIndex(row.format);
    window->ScanBtn->click();
    if (row.pages.empty()) {
      EXPECT_EQ(boxes.shown, std::vector<std::string>{scanning::NameLeavesFolderText(row.name)});
      EXPECT_FALSE(window->ZELTwain.IsDataSourceEnabled());
    } else {
      ASSERT_FALSE(tw::openSourceDialogs().empty());
      tw::openSourceDialogs().back()->scanButton()->click();
      ASSERT_TRUE(until([&] { return !window->Saving() && window->ScanBtn->isEnabled(); }, 5000));
      std::vector<std::string> messages;
      for (std::string m : row.messages) messages.push_back(m.replace(m.find("{root}"), 6, root));
      EXPECT_EQ(boxes.shown, messages);
      for (const std::string& page : row.pages) EXPECT_TRUE(exists(root + "/" + page)) << page;
      if (row.format == kPdf) {
        EXPECT_EQ(run("qpdf --check " + root + "/" + row.pages[0]), 0);
      }
      window->CloseBtn->click();
    }
    ::chmod((root + "/locked").c_str(), 0700);
    EXPECT_EQ(user.changed(), "");
    EXPECT_EQ(filesLeftBehind(root, row.pages, user), "");
    window.reset();
  }
}

// A group's pages and a picture saved with Save As are the user's once saved: a later group of the
// same window whose user agreed to replace the plain name's files puts its own helpers beside them,
// and leaves them as they were.
TEST_F(ScanWindowTest, AnEarlierGroupsPagesOutlastALaterGroupAgreedToReplace) {
  openWindow();
  scanGroup(kBmp);
  window->SaveDialogExecute = [&] { return work.file("other.bmp"); };
  window->SaveBtn->click();
  UserFiles user;
  for (const char* file : {"group.bmp", "group_2.bmp", "group_3.bmp", "other.bmp"}) user.note(work.file(file));
  for (const std::string name : {"group", "other"}) {
    SCOPED_TRACE(name);
    for (int k = 1; k <= 1000; ++k) writeAll(work.file(name + std::to_string(k) + ".jpg"), {'u'});
    boxes.shown.clear();
    window->FileNameEdit->setText(QString::fromStdString(name));
    window->FileFmtComboBox->setCurrentIndex(kJpg);
    window->ScanBtn->click();
    ASSERT_FALSE(tw::openSourceDialogs().empty());
    tw::openSourceDialogs().back()->scanButton()->click();
    ASSERT_TRUE(until([&] { return !window->Saving() && window->ScanBtn->isEnabled(); }, 5000));
    EXPECT_EQ(boxes.shown, std::vector<std::string>{"File existed already ! Overwirte?"});
    EXPECT_EQ(user.changed(), "");
    for (const std::string& page : {name + ".jpg", name + "_2.jpg", name + "_3.jpg"})
      EXPECT_EQ(run("identify -format '%m' " + work.file(page) + " > /dev/null"), 0) << page;
  }
}

// Save As writes its picture whole, and its helper file never takes a user's name: "copy.pdf"
// leaves the user's "copy.pdf.jpg" alone, and a file the user agreed to replace is replaced only
// by a whole new one, whatever "<name>.part" holds. A link answered "yes" is replaced as a link.
TEST_F(ScanWindowTest, SaveAsLeavesTheUsersHelperNamesAlone) {
  openWindow();
  scanGroup(kBmp);
  std::string target;
  window->SaveDialogExecute = [&] { return target; };
  UserFiles user;
  user.file(work.file("copy.pdf.jpg"), "the user's picture");
  user.file(work.file("copy.jpg.part"), "the user's part file");
  user.file(work.file("victim.txt"), "the user's text");
  writeAll(work.file("copy.jpg"), {'o', 'l', 'd'});
  std::filesystem::create_symlink(work.file("victim.txt"), work.file("linked.bmp"));

  target = work.file("copy.pdf");
  window->SaveBtn->click();
  EXPECT_EQ(run("qpdf --check " + target), 0);
  boxes.answer = app::kIdYes;
  target = work.file("copy.jpg");
  window->SaveBtn->click();
  EXPECT_EQ(run("djpeg -pnm " + target + " > /dev/null"), 0);
  target = work.file("linked.bmp");
  window->SaveBtn->click();
  EXPECT_FALSE(std::filesystem::is_symlink(target));
  EXPECT_EQ(fileState(target).substr(0, 2), "BM");
  EXPECT_EQ(boxes.shown, std::vector<std::string>(2, "File existed already ! Overwirte?"));
  EXPECT_EQ(user.changed(), "");
  for (const auto& e : std::filesystem::directory_iterator(work.path()))
    EXPECT_EQ(e.path().string().find(".part-"), std::string::npos) << e.path();
}

// Save As PDF: the document's writer reads its picture again by name, so that picture never waits
// in the user's folder (where a FIFO or a link could take its name meanwhile); the only file made
// there is the document.
TEST_F(ScanWindowTest, SaveAsPdfKeepsItsPictureOutOfTheUsersFolder) {
  openWindow();
  scanGroup(kBmp);
  const std::string folder = work.file("pdf");
  std::filesystem::create_directories(folder);
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, folder.c_str(), IN_CREATE), 0);
  window->SaveDialogExecute = [&] { return folder + "/copy.pdf"; };
  window->SaveBtn->click();
  std::vector<std::string> made;
  alignas(inotify_event) char buffer[4096];
  for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;)
    for (const char* p = buffer; p < buffer + n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(p);
      made.emplace_back(event->name);
      p += sizeof(inotify_event) + event->len;
    }
  ::close(watch);
  EXPECT_EQ(made, std::vector<std::string>{"copy.pdf"});
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
  EXPECT_EQ(run("qpdf --check " + folder + "/copy.pdf"), 0);
}

// A PDF group whose third transfer fails: the two pages scanned leave the window's own folder
// (which goes with the window) for the group's, under the group's page names, and the user is told
// where; a user's file with such a name stays.
TEST_F(ScanWindowTest, AFailedPdfBatchKeepsItsPagesInTheGroupsFolder) {
  script.failingPage = 2;
  UserFiles user;
  user.file(work.file("group_2.bmp"), "the user's");
  openWindow();
  window->FileFmtComboBox->setCurrentIndex(kPdf);
  window->ScanBtn->click();
  tw::openSourceDialogs().back()->scanButton()->click();
  ASSERT_TRUE(until([&] { return window->ScanBtn->isEnabled(); }));
  EXPECT_FALSE(window->Saving());
  EXPECT_FALSE(exists(work.file("group.pdf")));
  const std::vector<std::string> kept = {work.file("group.bmp"), work.file("group_2-1.bmp")};
  EXPECT_EQ(boxes.shown, std::vector<std::string>{"Can't save file :  : " + work.file("group.pdf") +
                                                  "\n\nThe pages are kept in these files:\n" + kept[0] +
                                                  "\n" + kept[1]});
  window->CloseBtn->click();
  for (const std::string& page : kept) {
    std::string size;
    EXPECT_EQ(run("identify -format '%w %h' " + page, &size), 0) << page;
    EXPECT_EQ(size, "850 1100") << page;
  }
  EXPECT_EQ(user.changed(), "");
}

// Under LC_ALL=de_DE.UTF-8 (the process's locale as Qt takes it) a PDF group is a sound file
// whose pages measure the paper: 850 x 1100 pixels at 300 dpi are 204 x 264 points.
TEST_F(ScanWindowTest, APdfGroupUnderADecimalCommaLocale) {
  for (const char* tool : {"qpdf", "pdfinfo"})
    if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
  CommaLocale comma;
  if (!comma.ok()) GTEST_SKIP() << "no locale with a decimal comma";
  openWindow();
  scanGroup(kPdf);
  const std::string pdf = work.file("group.pdf");
  std::string text;
  EXPECT_EQ(run("qpdf --check " + pdf + " 2>&1", &text), 0) << text;
  EXPECT_EQ(text.find("WARNING"), std::string::npos) << text;
  ASSERT_EQ(run("pdfinfo -f 1 -l 3 " + pdf, &text), 0);
  for (int page = 1; page <= 3; ++page)
    EXPECT_NE(text.find("Page    " + std::to_string(page) + " size:  204 x 264 pts"), std::string::npos) << text;
  std::filesystem::copy_file(pdf, testOutput("scanning") + "/group-decimal-comma.pdf",
                             std::filesystem::copy_options::overwrite_existing);
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
}

}  // namespace

namespace {

// After the idle unlock a PDF group locks the device again. When its pages' folder cannot be made
// the user is told why, and the window comes back with the idle timer that gives the lock back.
TEST_F(ScanWindowTest, APdfFolderThatCannotBeMadeLeavesTheIdleTimerRunning) {
  openWindow();
  driver.reply(core::IOCTL_TCPBUS_UNLOCK_DEVICE, {true});
  driver.reply(core::IOCTL_TCPBUS_LOCK_DEVICE, {true});
  window->TimeoutTimerTimer();
  ASSERT_FALSE(window->Locked);
  const std::string notAFolder = work.file("plain-file");
  writeAll(notAFolder, {'x'});
  {
    Env tmp("TMPDIR", notAFolder);
    window->FileFmtComboBox->setCurrentIndex(kPdf);
    window->ScanBtn->click();
  }
  EXPECT_EQ(boxes.shown, std::vector<std::string>{"Can't open file :  : " + notAFolder + "\n\nNot a directory"});
  EXPECT_EQ(driver.requests.back().code, core::IOCTL_TCPBUS_LOCK_DEVICE);
  EXPECT_TRUE(window->Locked);
  EXPECT_TRUE(window->TimeoutTimer->isActive()) << "a lock without its idle timer";
  EXPECT_TRUE(window->ScanBtn->isEnabled());
  EXPECT_FALSE(window->ZELTwain.IsDataSourceEnabled());

  window->TimeoutTimerTimer();
  EXPECT_FALSE(window->Locked);
  EXPECT_EQ(driver.requests.back().code, core::IOCTL_TCPBUS_UNLOCK_DEVICE);
}

// A window opened again has nothing to page: the last group's pages went with its close.
TEST_F(ScanWindowTest, AReopenedWindowHasNothingToPage) {
  openWindow();
  scanGroup(kPdf);
  ASSERT_TRUE(window->NBtn->isEnabled());
  window->CloseBtn->click();
  window->show();
  EXPECT_FALSE(window->NBtn->isEnabled());
  EXPECT_FALSE(window->PBtn->isEnabled());
  EXPECT_EQ(window->PageCount(), 0);
  EXPECT_EQ(window->IndexLabel->text(), "0");
  EXPECT_EQ(window->TotalLabel->text(), "0");
  window->NBtnClick();
  window->PBtnClick();
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
  render("TNetScanFm-reopened.png");
}

// Paging reports each page's own depth, 32 and 4 bits included.
TEST_F(ScanWindowTest, PagingShowsEachPagesOwnDepth) {
  script.pages = {tw::PageDescription{120, 90, 32, 300, 300}, tw::PageDescription{120, 90, 4, 300, 300},
                  tw::PageDescription{120, 90, 1, 300, 300}};
  openWindow();
  scanGroup(kBmp);
  if (haveTool("file")) {
    std::string text;
    for (const auto& [page, depth] : {std::pair{"group.bmp", " x 32"}, {"group_2.bmp", " x 4"}, {"group_3.bmp", " x 1"}}) {
      ASSERT_EQ(run("file -b " + work.file(page), &text), 0);
      EXPECT_NE(text.find(std::string("120 x 90") + depth), std::string::npos) << page << ": " << text;
    }
  }
  for (const char* bits : {"32 bit(s)", "4 bit(s)", "1 bit(s)", "32 bit(s)"}) {
    EXPECT_EQ(window->InfoSText_Bits->text().toStdString(), bits) << window->IndexLabel->text().toStdString();
    window->NBtn->click();
  }
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
}

// After the idle unlock the next Scan locks the device again unless another computer holds it
// now. The copy Scan Now took before the window opened may predate this computer's own hold; the
// row as the device list shows it now is what counts, when there is one.
TEST_F(ScanWindowTest, AfterTheIdleUnlockOnlyAnotherComputersHoldRefusesTheScan) {
  struct Case {
    const char* name;
    std::string copyOwner;
    std::optional<std::optional<std::string>> ownerNow;  // unset: no device list to ask
    bool scans;
  };
  const Case cases[] = {
      {"the copy predates this computer's hold", "", std::nullopt, true},
      {"nobody holds it after the unlock", "SCAN-PC", std::optional<std::string>(""), true},
      {"the list shows this computer", "", std::optional<std::string>("SCAN-PC"), true},
      {"the row left the list: the copy stands", "SCAN-PC", std::optional<std::string>(), true},
      {"another computer holds it now", "SCAN-PC", std::optional<std::string>("OTHER-PC"), false},
      {"the copy names another computer", "OTHER-PC", std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.shown.clear();
    driver.requests.clear();
    openWindow();
    driver.reply(core::IOCTL_TCPBUS_UNLOCK_DEVICE, {true});
    driver.reply(core::IOCTL_TCPBUS_LOCK_DEVICE, {true});
    window->TimeoutTimerTimer();
    window->Device.owner = c.copyOwner;
    if (c.ownerNow) {
      window->DeviceNow = [&c, this]() -> std::optional<core::DeviceData> {
        if (!*c.ownerNow) return std::nullopt;
        core::DeviceData now = window->Device;
        now.owner = **c.ownerNow;
        return now;
      };
    }
    window->FileFmtComboBox->setCurrentIndex(kBmp);
    window->ScanBtn->click();
    EXPECT_EQ(window->Locked, c.scans);
    EXPECT_EQ(window->isVisible(), c.scans);
    EXPECT_EQ(window->ZELTwain.IsDataSourceEnabled(), c.scans);
    EXPECT_EQ(driver.requests.back().code,
              c.scans ? core::IOCTL_TCPBUS_LOCK_DEVICE : core::IOCTL_TCPBUS_UNLOCK_DEVICE);
    EXPECT_EQ(boxes.shown, c.scans ? std::vector<std::string>{}
                                   : std::vector<std::string>{"This scanner was used by someone !"});
    if (c.scans) tw::openSourceDialogs().back()->closeButton()->click();
    window.reset();
  }
}

// The scanning window stays on top; its boxes belong to it while it is modal, so they open above
// it, and a click answers them.
TEST_F(ScanWindowTest, ItsMessageBoxesOpenAboveTheModalWindow) {
  app::setMessageBoxes(nullptr);  // Qt's boxes, as the program shows them
  openWindow(true);
  window->activateWindow();
  std::vector<std::string> texts;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (!box || !box->isVisible()) continue;
      texts.push_back(box->text().toStdString());
      EXPECT_EQ(box->parentWidget(), window.get()) << texts.back();
      EXPECT_EQ(box->windowHandle()->transientParent(), window->windowHandle());
      EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << texts.back();
      QAbstractButton* answer = box->button(QMessageBox::No) ? box->button(QMessageBox::No) : box->button(QMessageBox::Ok);
      QTest::mouseClick(answer, Qt::LeftButton);
    }
  });
  poll.start(5);
  window->FileNameEdit->clear();
  window->ScanBtn->click();
  window->FileNameEdit->setText("group");
  scanGroup(kBmp);
  const std::string copy = work.file("copy.bmp");
  writeAll(copy, {1, 2, 3});
  window->SaveDialogExecute = [&] { return copy; };
  window->SaveBtn->click();
  EXPECT_EQ(texts, (std::vector<std::string>{"Please input a name for this group of pictures !",
                                             "File existed already ! Overwirte?"}));
  EXPECT_EQ(readAll(copy).size(), 3u) << "No was clicked";
}

// A group whose folder takes no more files (full, or mounted read-only): no page the user scanned
// is lost. Every file the message names holds its page after Close and after the window is gone;
// pages no folder takes stay where they were, and their folder with them.
TEST_F(ScanWindowTest, PagesAFolderCannotTakeAreKeptWhereTheMessageSays) {
  if (!haveTool("identify")) GTEST_SKIP() << "identify missing";
  struct Case {
    const char* what;
    enum { kFull, kReadOnly, kSized } kind;
    std::size_t bytes;
    Format format;
    std::string failure;  // the message before its list of files; "{mnt}" for the folder
    std::size_t kept;
  };
  // A page of 200 x 100 pixels at 24 bits takes 15 blocks of 4 KiB: 128k holds two.
  const Case cases[] = {
      {"a PDF group into a full folder", Case::kFull, 64 * 1024, kPdf,
       "Can't save file :  : {mnt}/group.pdf\n\nNo space left on device", 3},
      {"a PDF group into a read-only folder", Case::kReadOnly, 64 * 1024, kPdf,
       "Can't save file :  : {mnt}/group.pdf\n\nRead-only file system", 3},
      {"a JPG group whose third page finds the folder full", Case::kSized, 128 * 1024, kJpg,
       "Can't open file :  : {mnt}/group_3.bmp\n\nNo space left on device", 2},
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir temporary;
    Env tmpdir("TMPDIR", temporary.path());
    const std::string mnt = work.file("mnt" + std::to_string(++i));
    const test::SmallTmpfs mount(c.bytes, mnt);
    if (!mount.mounted()) GTEST_SKIP() << mount.whyNot();
    if (c.kind == Case::kFull) mount.fill();
    if (c.kind == Case::kReadOnly) {
      ASSERT_TRUE(mount.remountReadOnly());
    }
    script.pages.assign(3, tw::PageDescription{200, 100, 24, 300, 300});
    boxes.shown.clear();
    openWindow();
    window->FilePathEdit->setText(QString::fromStdString(mnt + "/"));
    window->FileFmtComboBox->setCurrentIndex(c.format);
    window->ScanBtn->click();
    tw::openSourceDialogs().back()->scanButton()->click();
    ASSERT_TRUE(until([&] { return !window->Saving() && window->ScanBtn->isEnabled(); }, 5000));
    ASSERT_EQ(boxes.shown.size(), 1u);
    std::string failure = c.failure;
    failure.replace(failure.find("{mnt}"), 5, mnt);
    const std::string list = "\n\nThe pages are kept in these files:\n";
    const std::size_t at = boxes.shown[0].find(list);
    ASSERT_NE(at, std::string::npos) << boxes.shown[0];
    EXPECT_EQ(boxes.shown[0].substr(0, at), failure);
    std::vector<std::string> kept;
    std::istringstream lines(boxes.shown[0].substr(at + list.size()));
    for (std::string line; std::getline(lines, line);) kept.push_back(line);
    EXPECT_EQ(kept.size(), c.kept) << boxes.shown[0];
    auto pagesHeld = [&](const char* when) {
      for (const std::string& file : kept) {
        std::string size;
        EXPECT_EQ(run("identify -format '%w %h' '" + file + "'", &size), 0) << when << ": " << file;
        EXPECT_EQ(size, "200 100") << when << ": " << file;
      }
    };
    window->CloseBtn->click();
    pagesHeld("after Close");
    window.reset();
    pagesHeld("after the window is gone");
  }
}

// A batch of mixed resolutions: each PDF page measures its own paper, and paging shows each
// page's own resolution. 850 x 1100 pixels are 204 x 264 points at 300 dpi.
TEST_F(ScanWindowTest, EachPdfPageMeasuresItsOwnPaper) {
  if (!haveTool("pdfinfo")) GTEST_SKIP() << "pdfinfo missing";
  script.pages = {tw::PageDescription{850, 1100, 24, 300, 300}, tw::PageDescription{850, 1100, 24, 203, 203}};
  openWindow();
  window->FileFmtComboBox->setCurrentIndex(kPdf);
  window->ScanBtn->click();
  tw::openSourceDialogs().back()->scanButton()->click();
  ASSERT_TRUE(until([&] { return !window->Saving() && window->ScanBtn->isEnabled(); }));
  std::string text;
  ASSERT_EQ(run("pdfinfo -f 1 -l 2 " + work.file("group.pdf"), &text), 0);
  EXPECT_NE(text.find("Page    1 size:  204 x 264 pts"), std::string::npos) << text;
  EXPECT_NE(text.find("Page    2 size:  301.48 x 390.15 pts"), std::string::npos) << text;
  EXPECT_EQ(window->InfoSText_Res->text(), "300 dpi");
  window->NBtn->click();
  EXPECT_EQ(window->InfoSText_Res->text(), "203 dpi");
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
}

// Save As with names at the file system's limit of 255 bytes: the helper files (the part file of
// a replaced picture, a document's page JPEG) fit too, and none is left behind.
TEST_F(ScanWindowTest, SaveAsNamesAtTheLengthLimit) {
  for (const char* tool : {"identify", "qpdf"})
    if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
  script.pages.assign(3, tw::PageDescription{80, 60, 24, 300, 300});
  openWindow();
  scanGroup(kBmp);
  const struct {
    const char* what;
    std::string name;
    bool existing;  // answered Yes
    std::string check;
  } cases[] = {
      {"an existing 255-byte JPEG", std::string(251, 'j') + ".jpg", true, "identify"},
      {"a new 252-byte PDF", std::string(248, 'p') + ".pdf", false, "qpdf --check"},
      {"an existing 255-byte PDF", std::string(251, 'p') + ".pdf", true, "qpdf --check"},
      {"a new 255-byte BMP", std::string(251, 'b') + ".bmp", false, "identify"},
  };
  boxes.answer = app::kIdYes;
  int i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = work.file("long" + std::to_string(++i));
    std::filesystem::create_directories(folder);
    const std::string target = folder + "/" + c.name;
    if (c.existing) writeAll(target, {'o', 'l', 'd'});
    boxes.shown.clear();
    window->SaveDialogExecute = [&] { return target; };
    window->SaveBtn->click();
    EXPECT_EQ(boxes.shown, c.existing ? std::vector<std::string>{"File existed already ! Overwirte?"}
                                      : std::vector<std::string>{});
    EXPECT_EQ(run(c.check + " " + target + " > /dev/null"), 0);
    EXPECT_EQ(filesLeftBehind(folder, {c.name}, UserFiles()), "");
  }
}

// Every path comes back from Qt's text as the very bytes it was, whatever its encoding; the
// names that are UTF-8 read as they are.
TEST_F(ScanWindowTest, EveryPathComesBackAsItsBytes) {
  const struct {
    std::string bytes;
    QString text;  // as the window shows it; empty: not checked
  } paths[] = {
      {"/home/u/Scans/", "/home/u/Scans/"},
      {"/home/u/\xc3\x9c" "ber/", QString::fromUtf8("/home/u/\xc3\x9c" "ber/")},
      {"/tmp/sc\xff/", QString("/tmp/sc") + QChar(0xDCFF) + "/"},
      {"/tmp/\xc3\xa9\xff/x.jpg", {}},  // a valid letter beside an invalid byte
      {"/tmp/\xc3", {}},                   // a letter cut short
      {"/a/\xed\xb3\xbf/b", {}},         // the escape's own code as UTF-8 bytes
      {"", ""},
      {"relative/\x80name", {}},
  };
  for (const auto& p : paths) {
    SCOPED_TRACE(p.bytes);
    const QString text = scanning::PathText(p.bytes);
    EXPECT_EQ(scanning::PathBytes(text), p.bytes);
    if (!p.text.isNull()) {
      EXPECT_EQ(text, p.text);
    }
    QLineEdit field;  // as the path field holds it
    field.setText(text);
    EXPECT_EQ(scanning::PathBytes(field.text()), p.bytes);
    if (p.bytes.starts_with('/')) {  // the URL the file manager is asked to open
      const QUrl url = scanning::LocalFileUrl(p.bytes);
      EXPECT_EQ(url.scheme(), "file");
      EXPECT_EQ(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString(), p.bytes);
    }
  }
}

// A folder whose name is not UTF-8, chosen with Browse, receives the pages, not the folder whose
// name looks the same on screen; its location opens as those bytes.
TEST_F(ScanWindowTest, AFolderNamedInAnotherEncodingReceivesThePages) {
  const std::string chosen = work.file("sc\xff"), lookAlike = work.file("sc\xef\xbf\xbd");
  std::filesystem::create_directories(chosen);
  std::filesystem::create_directories(lookAlike);
  script.pages.assign(3, tw::PageDescription{80, 60, 24, 300, 300});
  openWindow();
  window->ChooseFolder = [&](const std::string&) { return chosen; };
  window->BrowseBtn->click();
  scanGroup(kJpg);
  for (const char* page : {"group.jpg", "group_2.jpg", "group_3.jpg"})
    EXPECT_TRUE(exists(chosen + "/" + page)) << page;
  EXPECT_TRUE(std::filesystem::is_empty(lookAlike));
  std::vector<std::string> opened;
  window->OpenInShell = [&](const std::string& path) { opened.push_back(path); };
  window->LocationEditClick();
  window->InfoSText_FileNameClick();
  EXPECT_EQ(opened, (std::vector<std::string>{chosen + "/", chosen + "/group.jpg"}));
  std::string asked;
  window->ChooseFolder = [&](const std::string& initial) {
    asked = initial;
    return std::string();
  };
  window->BrowseBtn->click();
  EXPECT_EQ(asked, chosen + "/");
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
}

}  // namespace
