// Every window, dialog and notice of the program rendered for a person to look at, with the
// check that no text of theirs is cut.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <memory>

#include "app/Dialogs.h"
#include "app/Eject.h"
#include "app/TAboutBox.h"
#include "app/TEjectDeviceDlg.h"
#include "app/TMainFm.h"
#include "core/MessageTable.h"

namespace {

int argc = 1;
char programName[] = "test_gui";
char* argv[] = {programName, nullptr};

QString outputDir() {
  const QString dir = QString(TARVEX_BIN_DIR) + "/../test-output/windows";
  QDir().mkpath(dir);
  return dir;
}

// A label shows its whole text when the height its text needs at its width fits.
void expectLabelsWhole(QWidget& w, const char* what) {
  for (QLabel* label : w.findChildren<QLabel*>()) {
    if (label->text().isEmpty() || !label->isVisible()) continue;
    const int needed = label->wordWrap() ? label->heightForWidth(label->width())
                                         : label->sizeHint().height();
    EXPECT_LE(needed, label->height()) << what << ": " << label->text().toStdString();
    if (!label->wordWrap()) {
      EXPECT_LE(label->sizeHint().width(), label->width())
          << what << ": " << label->text().toStdString();
    }
    // Inside its window, too.
    const QRect inWindow(label->mapTo(&w, QPoint(0, 0)), label->size());
    EXPECT_TRUE(w.rect().contains(inWindow)) << what << ": " << label->text().toStdString();
  }
}

class WindowPicturesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
  void save(QWidget& w, const char* name) {
    QApplication::processEvents();
    EXPECT_TRUE(w.grab().save(outputDir() + "/" + name + ".png")) << name;
  }
};

TEST_F(WindowPicturesTest, TheEjectDialogShowsItsWholeMessage) {
  for (const auto& [trouble, name] :
       {std::pair{app::EjectTrouble::Busy, "TEjectDeviceDlg"},
        std::pair{app::EjectTrouble::RecordsUnreadable, "TEjectDeviceDlg-records-unreadable"}}) {
    app::TEjectDeviceDlg dlg;
    dlg.DeviceName = "SanDisk - Ultra USB 3.0 Flash Drive of the office";
    dlg.Trouble = trouble;
    dlg.show();
    QApplication::processEvents();
    expectLabelsWhole(dlg, name);
    save(dlg, name);
    dlg.hide();
  }
}

TEST_F(WindowPicturesTest, TheNoticesShowTheirWholeTexts) {
  struct Case {
    const char* name;
    std::function<void(app::TAboutBox&)> show;
  } cases[] = {
      {"TAboutBox-about", [](app::TAboutBox& n) { n.ShowAbout("2.4.1"); }},
      {"TAboutBox-new-version",
       [](app::TAboutBox& n) { n.ShowNewVersion("v2.5", "http://example.invalid/"); }},
      {"TAboutBox-device-found",
       [](app::TAboutBox& n) { n.ShowDeviceFound("Brother - HL-L2350DW series"); }},
      {"TAboutBox-device-found-long",
       [](app::TAboutBox& n) {
         n.ShowDeviceFound("Hewlett-Packard Development Company of the West Coast L.P. - "
                           "LaserJet Enterprise Flow MFP M634z Multifunction Printer");
       }},
  };
  for (const auto& c : cases) {
    auto* notice = new app::TAboutBox;
    c.show(*notice);
    notice->StandAtRest();
    QApplication::processEvents();
    expectLabelsWhole(*notice, c.name);
    save(*notice, c.name);
    notice->close();
  }
}

// The lines a label shows its text on.
int shownLines(const QLabel& label) {
  const int h = label.wordWrap() ? label.heightForWidth(label.width()) : label.sizeHint().height();
  const int line = QFontMetrics(label.font()).lineSpacing();
  return (h + line / 2) / line;
}

// The new-version notice breaks its text only after " is", whatever the version, and stands
// inside the work area.
TEST_F(WindowPicturesTest, TheNewVersionNoticeBreaksOnlyWhereItsTextDoes) {
  const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
  for (const char* version : {"v2.5", "v12.34", "v2147483647.2147483647"}) {
    auto* notice = new app::TAboutBox;
    notice->ShowNewVersion(version, "http://example.invalid/");
    notice->StandAtRest();
    QApplication::processEvents();
    QLabel* message = nullptr;
    for (QLabel* l : notice->findChildren<QLabel*>())
      if (l->text().endsWith("now avaiable !")) message = l;
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text().toStdString(),
              std::string("Velmora Network USB Utility ") + version + " is\nnow avaiable !");
    EXPECT_EQ(shownLines(*message), 2) << version;
    expectLabelsWhole(*notice, version);
    EXPECT_TRUE(work.contains(notice->geometry())) << version;
    if (std::string(version) == "v12.34") save(*notice, "TAboutBox-new-version-long");
    notice->close();
  }
}

// From its first step to its last, a notice's window stands where it rests, inside the work area:
// only its panel slides.
TEST_F(WindowPicturesTest, ANoticeStandsInsideTheWorkAreaWhileItSlides) {
  const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
  auto* notice = new app::TAboutBox;
  ASSERT_TRUE(notice->ShowDeviceFound("Brother - HL-L2350DW series"));
  const QRect first = notice->geometry();
  EXPECT_TRUE(work.contains(first)) << first.y() << " + " << first.height() << " below " << work.bottom();
  notice->StandAtRest();
  EXPECT_EQ(notice->geometry(), first);
  EXPECT_EQ(first.bottom() + 1, notice->targetLine());
  notice->close();
}

TEST_F(WindowPicturesTest, MessageBoxesAndMenus) {
  const struct {
    const char* name;
    std::string text;
    unsigned style;
  } boxes[] = {
      {"MessageBox-link-failed", core::LoadMessage("SFail_Link"), app::kMbOk},
      {"MessageBox-request", "Please release the Brother - HL-L2350DW.\nDisconnect utility for other user.",
       app::kMbWarnTopMost},
      {"MessageBox-device-gone", app::kDeviceGoneText, app::kMbWarnTopMost},
      {"MessageBox-settings-unreadable",
       app::UnreadableSettingsText(app::kProductName,
                                   "/tmp/tarvex-sim-1000/hosts/OFFICE-PC/registry.db",
                                   "file is not a database"),
       app::kMbOk | app::kMbIconExclamation},
      {"MessageBox-printer-list-refused",
       app::AFPrinterIniRefusalText("/opt/tarvex/bin/AFPrinter.ini",
                                    app::AFPrinterIniFile::Result::TooLarge, 104857600,
                                    app::AFPrinterIniFile::kMaxBytes),
       app::kMbOk | app::kMbIconExclamation},
  };
  for (const auto& b : boxes) {
    std::unique_ptr<QMessageBox> box(app::MakeMessageBox(b.text, app::kProductName, b.style));
    box->show();
    QApplication::processEvents();
    expectLabelsWhole(*box, b.name);
    // Its caption fits a title bar with an icon and three buttons of some 25 pixels each.
    QFont title = box->font();
    title.setBold(true);
    EXPECT_GE(box->width(), QFontMetrics(title).horizontalAdvance(app::kProductName) + 100) << b.name;
    save(*box, b.name);
  }
}

}  // namespace
