#pragma once
// The device set-up wizard: seven pages switched by code, which bind a shared device to a printer
// or fax queue and choose its scanner. The decisions are DeviceSetup's; this shows them.
#include <QDialog>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <functional>

#include "app/DeviceSetup.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTreeWidget;
class QWidget;

namespace app {

class TDeviceSetupFm : public QDialog {
  Q_OBJECT
 public:
  TDeviceSetupFm(std::uint32_t windowsVersionFlags, WizardServices services, QWidget* parent = nullptr);

  DeviceSetup& setup() { return setup_; }
  void ShowInstallPage();
  bool ShowTroubleshootPage();
  // Shows the wizard modally beside `beside` (at its top, right of it when the screen has room,
  // else left of it, and inside the screen); true when it closed with OK.
  bool ShowModal(const QWidget* beside);
  // Tests answer the modal show here: they drive the shown wizard and return its result.
  static inline std::function<bool(TDeviceSetupFm&)> answer;

  void NextBtnClick();
  void OKBtnClick();
  void TroubleRBtnClick(int option);
  // The widgets the pages are made of, by the names the tests look for.
  QTreeWidget& PrinterListView() { return *printerListView_; }
  QTreeWidget& PrinterListView1() { return *printerListView1_; }
  QTreeWidget& ScanListView1() { return *scanListView1_; }
  QRadioButton& RBtn_Install1() { return *rBtnInstall1_; }
  QPushButton& NextBtn() { return *nextBtn_; }

 private:
  QWidget* makeInstallPage();
  QWidget* makeConnectPage();
  QWidget* makeConnectScannerPage();
  QWidget* makeAutoScanPage();
  QWidget* makeAutoPrintPage();
  QWidget* makeCdRomPage();
  QWidget* makeTroublePage();
  QTreeWidget* makePrinterList(const char* name);
  QTreeWidget* makeScanList(const char* name);
  // Widgets from the core, and back.
  void sync();
  void collect();
  void fillPrinterView(QTreeWidget& view);
  void fillScanView(QTreeWidget& view);
  void readPrinterView(const QTreeWidget& view);
  void readScanView(const QTreeWidget& view);
  void finish();

  DeviceSetup setup_;
  bool old_;
  bool filling_ = false;
  QLabel* labelTitle_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QPushButton* nextBtn_ = nullptr;
  QPushButton* cancelBtn_ = nullptr;
  QPushButton* okBtn_ = nullptr;
  QRadioButton *rBtnInstall1_ = nullptr, *rBtnInstall2_ = nullptr;
  QLabel *labelInstall_ = nullptr, *labelInstallNote_ = nullptr, *labelCdRomNote_ = nullptr;
  QLabel *labelPrinter_ = nullptr, *labelScanner_ = nullptr, *labelMfpScan_ = nullptr;
  QLabel *labelConfirm_ = nullptr, *memoScannerConfirm1_ = nullptr, *memoScannerConfirm2_ = nullptr;
  QCheckBox* checkBoxSupportScan_ = nullptr;
  QTreeWidget *printerListView_ = nullptr, *printerListView1_ = nullptr;
  QTreeWidget *scanListView_ = nullptr, *scanListView1_ = nullptr, *scanListView2_ = nullptr,
              *scanListView3_ = nullptr;
  QRadioButton *rBtnTrouble_[3] = {nullptr, nullptr, nullptr};
  QWidget* panelTrouble_[3] = {nullptr, nullptr, nullptr};
  QLabel* memoTrouble1_ = nullptr;
};

}  // namespace app
