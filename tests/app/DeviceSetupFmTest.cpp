// The set-up wizard's pages as a person sees them, each drawn to a picture, and a binding made by
// clicks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest/QTest>

#include "app/Dialogs.h"
#include "app/TDeviceSetupFm.h"
#include "core/NetInfo.h"

namespace {

using namespace app;

class DeviceSetupFm : public ::testing::Test {
 protected:
  // One application for every test of the program (a second one is not allowed).
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
  AutoLinkList printers, faxes;
  std::vector<AFPrinterSection> sections = {{{"Vid", "04F9"}, {"Model1", "Brother"}}};
  std::vector<std::string> told, events;
  QString dir = QString(TARVEX_BIN_DIR) + "/../test-output/windows";

  WizardServices services() {
    WizardServices s;
    s.ask = [this](const std::string& text, unsigned) {
      told.push_back(text);
      return kIdOk;
    };
    s.linkAndLock = [](const DeviceData&) { return true; };
    s.listPrinters = [] {
      return std::vector<printing::PrinterRow>{{"Brother HL-L2350DW series", "USB001", "0"},
                                               {"Office Laser", "IP_10.0.0.50", "3"},
                                               {"Serial Printer", "COM1:", "7"}};
    };
    s.twainSources = [] { return std::vector<std::string>{"Brother Scanner", "Velmora Network Scanner"}; };
    s.startWatcher = [this](std::size_t i) { events.push_back("start " + std::to_string(i)); };
    return s;
  }
  std::unique_ptr<TDeviceSetupFm> wizard(std::uint32_t flags, const std::string& type) {
    auto w = std::make_unique<TDeviceSetupFm>(flags, services());
    DeviceSetup& s = w->setup();
    s.device.vid = "04F9";
    s.device.type = type;
    s.device.displayName = "Brother - HL-L2350DW series";
    s.printers = &printers;
    s.faxes = &faxes;
    s.sections = &sections;
    return w;
  }
  void save(QWidget& w, const char* file) {
    QDir().mkpath(dir);
    QApplication::processEvents();
    EXPECT_TRUE(w.grab().save(dir + "/" + file)) << file;
  }
};

TEST_F(DeviceSetupFm, ThePrinterRoadBindsTheClickedQueue) {
  auto w = wizard(core::kWin6x | core::kWin5xOr6x, "PRINTER");
  w->ShowInstallPage();
  w->show();
  save(*w, "TDeviceSetupFm-Install.png");
  EXPECT_TRUE(w->findChild<QPushButton*>("CancelBtn")->isVisible());
  w->RBtn_Install1().setChecked(true);
  QTest::mouseClick(&w->NextBtn(), Qt::LeftButton);
  save(*w, "TDeviceSetupFm-CDROM.png");
  EXPECT_FALSE(w->findChild<QPushButton*>("CancelBtn")->isVisible()) << "the step layout";
  QTest::mouseClick(&w->NextBtn(), Qt::LeftButton);
  save(*w, "TDeviceSetupFm-Connect.png");
  QTest::mouseClick(&w->NextBtn(), Qt::LeftButton);
  EXPECT_EQ(w->NextBtn().text(), "OK");
  QTreeWidget& list = w->PrinterListView();
  ASSERT_EQ(list.topLevelItemCount(), 3);
  EXPECT_EQ(list.topLevelItem(1)->text(2), "3") << "disabled rows last";
  const QRect first = list.visualItemRect(list.topLevelItem(0));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, first.center());
  EXPECT_EQ(list.topLevelItem(0)->checkState(0), Qt::Checked);
  save(*w, "TDeviceSetupFm-AutoPrint.png");
  QTest::mouseClick(&w->NextBtn(), Qt::LeftButton);
  EXPECT_EQ(w->result(), QDialog::Accepted);
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0]->queueName, "Brother HL-L2350DW series");
  EXPECT_EQ(events, (std::vector<std::string>{"start 0"}));
}

// Next pressed again while the connect page's pause runs (a double click, a second Return) is not
// a second link, and the wizard goes on to the connect page once.
TEST_F(DeviceSetupFm, NextDuringTheConnectPauseIsIgnored) {
  int links = 0;
  WizardServices s = services();
  s.linkAndLock = [&](const DeviceData&) { return ++links > 0; };
  TDeviceSetupFm* shown = nullptr;
  bool pressedAgain = false;
  s.settle = [&] {
    if (pressedAgain) return;
    pressedAgain = true;
    QTest::mouseClick(&shown->NextBtn(), Qt::LeftButton);
  };
  TDeviceSetupFm w(core::kWin6x | core::kWin5xOr6x, std::move(s));
  shown = &w;
  DeviceSetup& setup = w.setup();
  setup.device.vid = "04F9";
  setup.device.type = "PRINTER";
  setup.printers = &printers;
  setup.faxes = &faxes;
  setup.sections = &sections;
  w.ShowInstallPage();
  w.show();
  QTest::mouseClick(&w.NextBtn(), Qt::LeftButton);
  EXPECT_EQ(links, 1);
  EXPECT_EQ(setup.page, WizardPage::Connect);
  QTest::mouseClick(&w.NextBtn(), Qt::LeftButton);
  EXPECT_EQ(setup.page, WizardPage::AutoPrint) << "Next works again after the pause";
}

TEST_F(DeviceSetupFm, TheTroubleshootingPageAndTheOlderScannerPages) {
  auto w = wizard(core::kWin6x | core::kWin5xOr6x, "MFP");
  w->setup().scannerName = "Brother - HL-L2350DW series";
  ASSERT_TRUE(w->ShowTroubleshootPage());
  w->show();
  w->TroubleRBtnClick(2);
  EXPECT_EQ(w->NextBtn().text(), "Close");
  save(*w, "TDeviceSetupFm-Trouble.png");
  w->TroubleRBtnClick(3);
  EXPECT_EQ(w->ScanListView1().topLevelItem(0)->checkState(0), Qt::Checked);
  save(*w, "TDeviceSetupFm-TroubleScanner.png");

  auto old = wizard(core::kWin5xOr6x | core::kWin50, "SCANNER");
  old->ShowInstallPage();
  old->show();
  QTest::mouseClick(&old->NextBtn(), Qt::LeftButton);  // "No": the scanner connect page
  save(*old, "TDeviceSetupFm-ConnectScanner.png");
  auto older = wizard(core::kWin5xOr6x | core::kWin50, "MFP");
  older->ShowInstallPage();
  older->show();
  older->RBtn_Install1().setChecked(true);
  QTest::mouseClick(&older->NextBtn(), Qt::LeftButton);
  QTest::mouseClick(&older->NextBtn(), Qt::LeftButton);
  QTest::mouseClick(&older->NextBtn(), Qt::LeftButton);  // "Yes" on old Windows: the scanner setting
  EXPECT_EQ(older->setup().page, WizardPage::AutoScan);
  save(*older, "TDeviceSetupFm-AutoScan.png");
}

}  // namespace
