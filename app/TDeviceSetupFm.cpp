#include "app/TDeviceSetupFm.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/WindowPlace.h"
#include "platform/NestedLoop.h"

namespace app {
namespace {

QLabel* text(const QString& caption, QWidget* parent, const char* name) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->setWordWrap(true);
  return label;
}

QWidget* page(QWidget* parent, const char* name) {
  auto* w = new QWidget(parent);
  w->setObjectName(name);
  new QVBoxLayout(w);
  return w;
}

void add(QWidget* to, QWidget* what) { to->layout()->addWidget(what); }

}  // namespace

TDeviceSetupFm::TDeviceSetupFm(std::uint32_t flags, WizardServices services, QWidget* parent)
    : QDialog(parent), setup_(flags, std::move(services)), old_(IsOldWindows(flags)) {
  setObjectName("TDeviceSetupFm");
  setWindowTitle("Device Setup");
  setModal(true);
  labelTitle_ = text("", this, "Label_Title");
  QFont bold = labelTitle_->font();
  bold.setBold(true);
  bold.setPointSize(bold.pointSize() + 1);
  labelTitle_->setFont(bold);
  pages_ = new QStackedWidget(this);  // no tabs: the pages are switched by code
  pages_->setObjectName("PageControl");
  // In the order of WizardPage.
  pages_->addWidget(makeInstallPage());
  pages_->addWidget(makeConnectPage());
  pages_->addWidget(makeConnectScannerPage());
  pages_->addWidget(makeAutoScanPage());
  pages_->addWidget(makeAutoPrintPage());
  pages_->addWidget(makeCdRomPage());
  pages_->addWidget(makeTroublePage());

  nextBtn_ = new QPushButton("Next", this);
  nextBtn_->setObjectName("NextBtn");
  nextBtn_->setDefault(true);
  cancelBtn_ = new QPushButton("Cancel", this);
  cancelBtn_->setObjectName("CancelBtn");
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(nextBtn_);
  bottom->addWidget(cancelBtn_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(labelTitle_);
  layout->addWidget(pages_, 1);
  layout->addLayout(bottom);
  setMinimumSize(520, 400);

  connect(nextBtn_, &QPushButton::clicked, this, [this] { NextBtnClick(); });
  connect(cancelBtn_, &QPushButton::clicked, this, &QDialog::reject);
  if (!old_) {
    scanListView_->hide();
    labelMfpScan_->hide();
    scanListView3_->hide();
    scanListView1_->setMaximumHeight(36 * 3);
    scanListView1_->setFrameShape(QFrame::NoFrame);
    rBtnTrouble_[2]->setText("Remove the scanner.");
    panelTrouble_[2]->findChild<QLabel*>("Memo_Trouble3")
        ->setText("If you would like to remove the scanner, please choose it then press OK to finish.");
    panelTrouble_[2]->findChild<QLabel*>("Label_Trouble3")->hide();
  }
}

// ---------------------------------------------------------------- pages

QWidget* TDeviceSetupFm::makeInstallPage() {
  QWidget* p = page(this, "InstallTabSt");
  labelInstall_ = text("Do you want to install the printer software or MFP utility?", p, "Label_Install");
  rBtnInstall1_ = new QRadioButton("Yes", p);
  rBtnInstall1_->setObjectName("RBtn_Install1");
  rBtnInstall2_ = new QRadioButton("No", p);
  rBtnInstall2_->setObjectName("RBtn_Install2");
  labelInstallNote_ = text("", p, "Label_InstallNote");
  add(p, labelInstall_);
  add(p, rBtnInstall1_);
  add(p, rBtnInstall2_);
  add(p, labelInstallNote_);
  static_cast<QVBoxLayout*>(p->layout())->addStretch(1);
  return p;
}

QWidget* TDeviceSetupFm::makeConnectPage() {
  QWidget* p = page(this, "ConnectTabSt");
  add(p, text("The Network USB Utility has successfully connected : ", p, "Label_PrinterStatus"));
  labelPrinter_ = text("", p, "Label_Printer");
  QFont bold = labelPrinter_->font();
  bold.setBold(true);
  labelPrinter_->setFont(bold);
  add(p, labelPrinter_);
  labelConfirm_ = text("", p, "Memo_PrinterConfirm");
  add(p, labelConfirm_);
  checkBoxSupportScan_ = new QCheckBox("The device also support scan function.", p);
  checkBoxSupportScan_->setObjectName("CheckBox_SupportScan");
  add(p, checkBoxSupportScan_);
  labelMfpScan_ = text("Please choose the desired scanner from the below list.", p, "Label_MFPScan");
  add(p, labelMfpScan_);
  scanListView_ = makeScanList("ScanListView");
  add(p, scanListView_);
  static_cast<QVBoxLayout*>(p->layout())->addStretch(1);
  connect(checkBoxSupportScan_, &QCheckBox::toggled, this, [this](bool on) {
    if (filling_) return;
    setup_.supportScanChecked = on;
    scanListView_->setVisible(old_ && on && !setup_.installHint);
  });
  return p;
}

QWidget* TDeviceSetupFm::makeConnectScannerPage() {
  QWidget* p = page(this, "ConnectScannerTabSt");
  add(p, text("The Network USB Utility has successfully connected : ", p, "Label_ScannerStatus"));
  labelScanner_ = text("", p, "Label_Scanner");
  QFont bold = labelScanner_->font();
  bold.setBold(true);
  labelScanner_->setFont(bold);
  add(p, labelScanner_);
  memoScannerConfirm1_ = text(
      "If the scanner software installation process did not complete, please finish and then go "
      "back to this page. Press OK to end the system recognize scanner process.",
      p, "Memo_ScannerConfirm1");
  add(p, memoScannerConfirm1_);
  memoScannerConfirm2_ = text("", p, "Memo_ScannerConfirm2");
  add(p, memoScannerConfirm2_);
  scanListView3_ = makeScanList("ScanListView3");
  add(p, scanListView3_);
  static_cast<QVBoxLayout*>(p->layout())->addStretch(1);
  return p;
}

QWidget* TDeviceSetupFm::makeAutoScanPage() {
  QWidget* p = page(this, "AutoScanTabSt");
  add(p, text("Please choose the desired scanner from the below list.", p, "Label_MFPScan1"));
  scanListView2_ = makeScanList("ScanListView2");
  add(p, scanListView2_);
  return p;
}

QWidget* TDeviceSetupFm::makeAutoPrintPage() {
  QWidget* p = page(this, "AutoPrintTabSt");
  add(p, text("Please choose the desired Windows printer from the below list. When you press OK, "
              "the printer or MFP device will automatically do a connect operation. Then the printer "
              "or scanner jobs will be issued.",
              p, "Memo_AutoPrint"));
  printerListView_ = makePrinterList("PrinterListView");
  add(p, printerListView_);
  return p;
}

QWidget* TDeviceSetupFm::makeCdRomPage() {
  QWidget* p = page(this, "CDROMTabSt");
  labelCdRomNote_ = text("", p, "Label_CDROMNote1");
  add(p, labelCdRomNote_);
  add(p, text("Follow the installation process. A prompt will ask you to plug in the USB device into "
              "PC's USB port then return to this page. Press Next to continue.",
              p, "Memo_CDROMNote2"));
  static_cast<QVBoxLayout*>(p->layout())->addStretch(1);
  return p;
}

QWidget* TDeviceSetupFm::makeTroublePage() {
  QWidget* p = page(this, "TroubleTabSt");
  const char* captions[3] = {"You cannot issue the printer or scanner jobs.",
                             "You cannot auto connect  devices.", " Remove or recognize the scanner."};
  const char* names[3] = {"RBtn_Trouble1", "RBtn_Trouble2", "RBtn_Trouble3"};
  const char* panels[3] = {"Panel_Trouble1", "Panel_Trouble2", "Panel_Trouble3"};
  for (int i = 0; i < 3; ++i) {
    rBtnTrouble_[i] = new QRadioButton(captions[i], p);
    rBtnTrouble_[i]->setObjectName(names[i]);
    add(p, rBtnTrouble_[i]);
    connect(rBtnTrouble_[i], &QRadioButton::clicked, this, [this, i] { TroubleRBtnClick(i + 1); });
  }
  for (int i = 0; i < 3; ++i) {
    panelTrouble_[i] = page(p, panels[i]);
    add(p, panelTrouble_[i]);
  }
  memoTrouble1_ = text("", panelTrouble_[0], "Memo_Trouble1");
  add(panelTrouble_[0], memoTrouble1_);
  add(panelTrouble_[1], text("This is the Windows printer list. If the device is already enabled, it "
                             "has been auto-connected before. You do not need to configure it again.",
                             panelTrouble_[1], "Memo_Trouble21"));
  printerListView1_ = makePrinterList("PrinterListView1");
  add(panelTrouble_[1], printerListView1_);
  add(panelTrouble_[1], text("If you would like to change another desired Windows printer, please "
                             "choose it then press OK to finish.",
                             panelTrouble_[1], "Memo_Trouble22"));
  add(panelTrouble_[2], text("Scanner List : ", panelTrouble_[2], "Label_Trouble3"));
  scanListView1_ = makeScanList("ScanListView1");
  add(panelTrouble_[2], scanListView1_);
  add(panelTrouble_[2], text("If you would like to remove or recognize the scanner, please choose it "
                             "then press OK to finish.",
                             panelTrouble_[2], "Memo_Trouble3"));
  okBtn_ = new QPushButton("OK", p);
  okBtn_->setObjectName("OKBtn");
  static_cast<QVBoxLayout*>(p->layout())->addWidget(okBtn_, 0, Qt::AlignRight);
  static_cast<QVBoxLayout*>(p->layout())->addStretch(1);
  connect(okBtn_, &QPushButton::clicked, this, [this] { OKBtnClick(); });
  return p;
}

QTreeWidget* TDeviceSetupFm::makePrinterList(const char* name) {
  auto* view = new QTreeWidget(this);
  view->setObjectName(name);
  view->setHeaderLabels({"Printer Name", "Print Port", "Port Type"});
  view->setRootIsDecorated(false);
  view->header()->resizeSection(0, 230);
  view->header()->resizeSection(1, 130);
  connect(view, &QTreeWidget::itemClicked, this, [this, view](QTreeWidgetItem* item) {
    if (filling_) return;
    DeviceSetup::ToggleRow(setup_.printerRows, static_cast<std::size_t>(view->indexOfTopLevelItem(item)));
    fillPrinterView(*view);
  });
  return view;
}

QTreeWidget* TDeviceSetupFm::makeScanList(const char* name) {
  auto* view = new QTreeWidget(this);
  view->setObjectName(name);
  view->setHeaderLabels({"ScannerDriver"});
  view->setHeaderHidden(true);
  view->setRootIsDecorated(false);
  connect(view, &QTreeWidget::itemClicked, this, [this, view](QTreeWidgetItem* item) {
    if (filling_) return;
    const auto row = static_cast<std::size_t>(view->indexOfTopLevelItem(item));
    if (row >= setup_.scanRows.size()) return;
    const bool check = !setup_.scanRows[row].checked;
    for (ScanRow& r : setup_.scanRows) r.checked = false;
    setup_.scanRows[row].checked = check;
    fillScanView(*view);
  });
  return view;
}

// ---------------------------------------------------------------- the core and the widgets

void TDeviceSetupFm::fillPrinterView(QTreeWidget& view) {
  filling_ = true;
  view.clear();
  const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
  for (const WizardRow& r : setup_.printerRows) {
    auto* item = new QTreeWidgetItem(&view, {QString::fromStdString(r.caption),
                                             QString::fromStdString(r.port), QString::fromStdString(r.type)});
    item->setCheckState(0, r.state == kRowChecked ? Qt::Checked : Qt::Unchecked);
    const QString tip = QString::fromStdString(DeviceSetup::PrinterListViewInfoTip(r));
    for (int c = 0; c < 3; ++c) {
      item->setToolTip(c, tip);
      if (r.state == kRowDisabled) item->setForeground(c, grey);
    }
    if (r.state == kRowDisabled) item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    if (r.selected) view.setCurrentItem(item);
  }
  filling_ = false;
}

void TDeviceSetupFm::fillScanView(QTreeWidget& view) {
  filling_ = true;
  view.clear();
  for (const ScanRow& r : setup_.scanRows) {
    auto* item = new QTreeWidgetItem(&view, {QString::fromStdString(r.name)});
    item->setCheckState(0, r.checked ? Qt::Checked : Qt::Unchecked);
  }
  filling_ = false;
}

// The check boxes a user ticks directly in a list count as clicks on their rows.
void TDeviceSetupFm::readPrinterView(const QTreeWidget& view) {
  for (int i = 0; i < view.topLevelItemCount() && i < static_cast<int>(setup_.printerRows.size()); ++i) {
    WizardRow& r = setup_.printerRows[static_cast<std::size_t>(i)];
    if (r.state == kRowDisabled) continue;
    const bool checked = view.topLevelItem(i)->checkState(0) == Qt::Checked;
    if (checked != (r.state == kRowChecked)) DeviceSetup::ToggleRow(setup_.printerRows, static_cast<std::size_t>(i));
  }
}

void TDeviceSetupFm::readScanView(const QTreeWidget& view) {
  for (int i = 0; i < view.topLevelItemCount() && i < static_cast<int>(setup_.scanRows.size()); ++i)
    setup_.scanRows[static_cast<std::size_t>(i)].checked = view.topLevelItem(i)->checkState(0) == Qt::Checked;
}

void TDeviceSetupFm::collect() {
  setup_.installYes = rBtnInstall1_->isChecked();
  setup_.supportScanChecked = checkBoxSupportScan_->isChecked();
  switch (setup_.page) {
    case WizardPage::Connect: readScanView(*scanListView_); break;
    case WizardPage::ConnectScanner: readScanView(*scanListView3_); break;
    case WizardPage::AutoScan: readScanView(*scanListView2_); break;
    case WizardPage::AutoPrint: readPrinterView(*printerListView_); break;
    case WizardPage::Trouble:
      readPrinterView(*printerListView1_);
      readScanView(*scanListView1_);
      break;
    default: break;
  }
}

void TDeviceSetupFm::sync() {
  filling_ = true;
  // "&&" is the form's way of writing one "&" in a caption.
  labelTitle_->setText(QString::fromStdString(setup_.title).replace("&&", "&"));
  const ButtonLayout layout = setup_.layout;
  cancelBtn_->setVisible(layout == ButtonLayout::Install);
  nextBtn_->setText(layout == ButtonLayout::Finish ? "OK" : layout == ButtonLayout::Troubleshoot ? "Close" : "Next");
  switch (setup_.page) {
    case WizardPage::Install:
      labelInstall_->setText(QString::fromStdString(setup_.question));
      labelInstallNote_->setText(QString::fromStdString(setup_.note));
      (setup_.installYes ? rBtnInstall1_ : rBtnInstall2_)->setChecked(true);
      break;
    case WizardPage::CdRom: labelCdRomNote_->setText(QString::fromStdString(setup_.note)); break;
    case WizardPage::Connect:
      labelPrinter_->setText(QString::fromStdString(setup_.device.displayName));
      labelConfirm_->setText(QString::fromStdString(setup_.confirmText));
      labelConfirm_->setVisible(setup_.confirmVisible);
      checkBoxSupportScan_->setVisible(setup_.supportScanVisible);
      checkBoxSupportScan_->setChecked(setup_.supportScanChecked);
      labelMfpScan_->setVisible(setup_.mfpScanVisible);
      scanListView_->setVisible(setup_.scanListVisible);
      fillScanView(*scanListView_);
      break;
    case WizardPage::ConnectScanner:
      labelScanner_->setText(QString::fromStdString(setup_.device.displayName));
      memoScannerConfirm1_->setVisible(setup_.installHint);
      memoScannerConfirm2_->setVisible(!setup_.installHint);
      memoScannerConfirm2_->setText(QString::fromStdString(setup_.scannerConfirm2));
      scanListView3_->setVisible(old_ && !setup_.installHint);
      fillScanView(*scanListView3_);
      break;
    case WizardPage::AutoScan: fillScanView(*scanListView2_); break;
    case WizardPage::AutoPrint: fillPrinterView(*printerListView_); break;
    case WizardPage::Trouble: {
      for (int i = 0; i < 3; ++i) {
        const bool offered = i < static_cast<int>(setup_.troubleOptions.size()) && setup_.troubleOptions[static_cast<std::size_t>(i)];
        rBtnTrouble_[i]->setVisible(offered);
        panelTrouble_[i]->setVisible(setup_.troubleOption == i + 1);
      }
      rBtnTrouble_[0]->setText(QString::fromStdString(setup_.question));
      okBtn_->setVisible(setup_.okVisible);
      const std::string type = UpperCase(setup_.device.type);
      memoTrouble1_->setText(type == "UNKNOWN"   ? "Please make sure the USB device's driver is installed and try to connect it again."
                             : type == "SCANNER" ? "Please make sure the scanner software is installed and the scanner is connected."
                                                 : "Please make sure the printer software is installed and the printer is connected.");
      fillPrinterView(*printerListView1_);
      fillScanView(*scanListView1_);
      break;
    }
  }
  pages_->setCurrentIndex(static_cast<int>(setup_.page));
  filling_ = false;
}

void TDeviceSetupFm::finish() {
  if (setup_.closed == WizardClose::Ok) accept();
  else if (setup_.closed == WizardClose::Cancel) reject();
}

// ---------------------------------------------------------------- commands

void TDeviceSetupFm::ShowInstallPage() {
  setup_.ShowInstallPage();
  sync();
}

bool TDeviceSetupFm::ShowTroubleshootPage() {
  const bool shown = setup_.ShowTroubleshootPage();
  sync();
  return shown;
}

void TDeviceSetupFm::NextBtnClick() {
  if (nextBtn_->cursor().shape() == Qt::WaitCursor) return;
  collect();
  // The connect page's pause lets clicks and keys through: a second Next meanwhile would link the
  // device again from the page still shown.
  nextBtn_->setCursor(Qt::WaitCursor);
  setup_.NextBtnClick();
  nextBtn_->unsetCursor();
  sync();
  finish();
}

void TDeviceSetupFm::OKBtnClick() {
  collect();
  nextBtn_->setCursor(Qt::WaitCursor);
  setup_.OKBtnClick();
  nextBtn_->unsetCursor();
  sync();
}

void TDeviceSetupFm::TroubleRBtnClick(int option) {
  setup_.TroubleRBtnClick(option);
  sync();
}

bool TDeviceSetupFm::ShowModal(const QWidget* beside) {
  if (beside) MoveBeside(*this, *beside);
  if (answer) return answer(*this);
  return platform::NestedLoop::exec(*this) == QDialog::Accepted;
}

}  // namespace app
