#include "scanning/TNetScanFm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "platform/MessageBoxes.h"
#include "core/DriverInterface.h"
#include "core/MessageTable.h"
#include "platform/GlobalMemory.h"
#include "platform/UiDispatcher.h"
#include "scanning/NetScanRules.h"
#include "scanning/PdfGroup.h"
#include "scanning/TSaveFileFm.h"

namespace scanning {
namespace {

constexpr const char* kCaption = "Welcome to the Razo-Razezed Ireruro";
using core::kProductName;  // captions plain messages
constexpr int kIdleUnlockMs = 180000;
constexpr int kSavePollMs = 400;

bool fileExists(const std::string& file) {
  std::error_code ec;
  return std::filesystem::exists(file, ec);
}

std::string upperCase(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

std::string lowerCase(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string withSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

QLabel* infoText(QWidget* parent, bool link = false) {
  auto* l = new QLabel(parent);
  l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  if (link) {
    QFont f = l->font();
    f.setUnderline(true);
    l->setFont(f);
    l->setCursor(Qt::PointingHandCursor);
  }
  return l;
}

}  // namespace

TNetScanFm::TNetScanFm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(kCaption);
  setWindowFlag(Qt::WindowStaysOnTopHint);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(buildLeftPanel());
  layout->addWidget(buildRightPanel(), 1);
  resize(860, 600);

  TimeoutTimer = new QTimer(this);
  TimeoutTimer->setInterval(20000);  // as stored; FormCreate sets the real time
  connect(TimeoutTimer, &QTimer::timeout, this, &TNetScanFm::TimeoutTimerTimer);
  SaveFileTimer = new QTimer(this);
  SaveFileTimer->setInterval(kSavePollMs);
  connect(SaveFileTimer, &QTimer::timeout, this, &TNetScanFm::SaveFileTimerTimer);
  SaveFileFm = new TSaveFileFm(this);

  ZELTwain.setDestination(xfNative);
  ZELTwain.setProductname("Razo-Razezed Ireruro");
  ZELTwain.setManufacturer("TWAIN");
  ZELTwain.setProductFamily("DOZ AVU Davazi");
  ZELTwain.setLanguage(lgAmerican);
  ZELTwain.setCountry(ctUSA);
  ZELTwain.setShowUI(true);
  ZELTwain.setFileFormat(ffBMP);
  ZELTwain.setFilename("C:\\TWAIN.BMP");
  ZELTwain.setVersionInfo("Twain component");
  ZELTwain.setVersionMajor(1);
  ZELTwain.setVersionMinor(0);
  ZELTwain.OnScanReady = [this](TZELTWAIN*) { ZELTwainScanReady(); };
  ZELTwain.OnScanStart = [this](TZELTWAIN*) { ZELTwainScanStart(); };
  ZELTwain.OnScanCancel = [this](TZELTWAIN*) { ZELTwainScanCancel(); };
  ZELTwain.OnScanClose = [this](TZELTWAIN*) { ZELTwainScanClose(); };

  SaveDialogExecute = [this] {
    return QFileDialog::getSaveFileName(
               this, QString(), QString::fromStdString(FilePathEdit->text().toStdString()),
               "JPEG Image (*.jpg);;Bitmap Image (*.bmp);;Portable Document Format (*.pdf)")
        .toStdString();
  };
  OpenInShell = [](const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
  };
  LocationEdit->installEventFilter(this);
  InfoSText_FileName->installEventFilter(this);
  ChooseFolder = [this](const std::string& initial) {
    return QFileDialog::getExistingDirectory(this, "Select a destination folder",
                                             QString::fromStdString(initial))
        .toStdString();
  };
  FormCreate();
}

TNetScanFm::~TNetScanFm() {
  if (savingThread_) savingThread_->waitFor();
  closeSource();
}

QWidget* TNetScanFm::buildLeftPanel() {
  auto* panel = new QWidget(this);
  panel->setFixedWidth(300);
  auto* v = new QVBoxLayout(panel);
  SrcLabel = new QLabel(panel);
  SrcLabel->setStyleSheet("font-weight: bold;");
  v->addWidget(SrcLabel);

  auto* group = new QGroupBox("        Picture Name and Destination ", panel);
  auto* g = new QVBoxLayout(group);
  auto* hint = new QLabel("Select a name and destination for your pictures.", group);
  hint->setWordWrap(true);
  g->addWidget(hint);
  g->addWidget(new QLabel("1. Type a name for this group of pictures :", group));
  FileNameEdit = new QLineEdit("Picture", group);
  FileNameEdit->setMaxLength(64);
  g->addWidget(FileNameEdit);
  g->addWidget(new QLabel("2. Select a file format :", group));
  FileFmtComboBox = new QComboBox(group);
  FileFmtComboBox->addItems({"JPG (JPEG Image)", "BMP (Bitmap Image)", "PDF (Portable Document Format)"});
  FileFmtComboBox1 = new QComboBox(group);
  FileFmtComboBox1->addItems({"JPG", "BMP", "PDF"});
  FileFmtComboBox1->hide();
  connect(FileFmtComboBox, &QComboBox::currentIndexChanged, this, [this] { FileFmtComboBoxChange(); });
  g->addWidget(FileFmtComboBox);
  auto* place = new QLabel("3. Choose a place to save this group of pictures :", group);
  place->setWordWrap(true);
  g->addWidget(place);
  auto* pathRow = new QHBoxLayout;
  FilePathEdit = new QLineEdit(group);
  BrowseBtn = new QPushButton("Browse ...", group);
  connect(BrowseBtn, &QPushButton::clicked, this, [this] { BrowseBtnClick(); });
  pathRow->addWidget(FilePathEdit, 1);
  pathRow->addWidget(BrowseBtn);
  g->addLayout(pathRow);
  v->addWidget(group);

  auto* info = new QGroupBox("        Picture Information ", panel);
  auto* grid = new QGridLayout(info);
  PageLabel = new QLabel("No. 0 Page.", info);
  grid->addWidget(PageLabel, 0, 0, 1, 2);
  LocationEdit = new QLineEdit(info);
  LocationEdit->setReadOnly(true);
  QFont underlined = LocationEdit->font();
  underlined.setUnderline(true);
  LocationEdit->setFont(underlined);
  LocationEdit->setToolTip("To see your pictures on your computer, please click this location.");
  InfoSText_FileName = infoText(info, true);
  InfoSText_Pixel = infoText(info);
  InfoSText_CM = infoText(info);
  InfoSText_Res = infoText(info);
  InfoSText_Bits = infoText(info);
  InfoSText_FSize = infoText(info);
  const std::pair<const char*, QWidget*> rows[] = {
      {"Location :", LocationEdit},           {"Picture :", InfoSText_FileName},
      {"Width * Height :", InfoSText_Pixel},  {"Dimensions :", InfoSText_CM},
      {"Resolution :", InfoSText_Res},        {"Bit Depth :", InfoSText_Bits},
      {"File Size :", InfoSText_FSize}};
  int r = 1;
  for (const auto& [label, widget] : rows) {
    grid->addWidget(new QLabel(label, info), r, 0);
    grid->addWidget(widget, r++, 1);
  }
  v->addWidget(info);
  v->addStretch(1);

  auto* buttons = new QHBoxLayout;
  ScanBtn = new QPushButton("Scan", panel);
  CloseBtn = new QPushButton("Close", panel);
  connect(ScanBtn, &QPushButton::clicked, this, [this] { ScanBtnClick(); });
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);
  buttons->addStretch(1);
  buttons->addWidget(ScanBtn);
  buttons->addWidget(CloseBtn);
  v->addLayout(buttons);
  return panel;
}

QWidget* TNetScanFm::buildRightPanel() {
  auto* panel = new QWidget(this);
  auto* v = new QVBoxLayout(panel);
  auto* top = new QHBoxLayout;
  NoteSText = new QLabel(panel);
  NoteSText->setStyleSheet("color: red;");
  PBtn = new QPushButton("<", panel);
  PBtn->setToolTip("Previous Picture (<-)");
  NBtn = new QPushButton(">", panel);
  NBtn->setToolTip("Next Picture (->)");
  for (QPushButton* b : {PBtn, NBtn}) {
    b->setFixedWidth(28);
    b->setEnabled(false);
  }
  connect(PBtn, &QPushButton::clicked, this, [this] { PBtnClick(); });
  connect(NBtn, &QPushButton::clicked, this, [this] { NBtnClick(); });
  IndexLabel = new QLabel("0", panel);
  TotalLabel = new QLabel("0", panel);
  top->addWidget(NoteSText, 1);
  top->addWidget(PBtn);
  top->addWidget(IndexLabel);
  top->addWidget(new QLabel("of", panel));
  top->addWidget(TotalLabel);
  top->addWidget(NBtn);
  v->addLayout(top);

  MainPanel = new QScrollArea(panel);
  MainPanel->setAlignment(Qt::AlignCenter);
  MainPanel->setBackgroundRole(QPalette::Dark);
  ScanImage = new PreviewPicture;
  MainPanel->setWidget(ScanImage);
  v->addWidget(MainPanel, 1);

  auto* tools = new QHBoxLayout;
  tools->addWidget(new QLabel("Scale : ", panel));
  ScaleLabel = new QLabel(panel);
  ScaleLabel->setMinimumWidth(50);
  tools->addWidget(ScaleLabel);
  auto tool = [&](const char* text, void (TNetScanFm::*handler)()) {
    auto* b = new QToolButton(panel);
    b->setText(text);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(b, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
    tools->addWidget(b);
    return b;
  };
  ZInTBtn = tool("Zoom In (+)", &TNetScanFm::ZInTBtnClick);
  ZOutTBtn = tool("Zoom Out (-)", &TNetScanFm::ZOutTBtnClick);
  OPSizeTBtn = tool("Optimum Size", &TNetScanFm::OPSizeTBtnClick);
  ActualTBtn = tool("Actual Pixels", &TNetScanFm::ActualTBtnClick);
  SaveBtn = tool("Save this picture as ...", &TNetScanFm::SaveBtnClick);
  tools->addStretch(1);
  v->addLayout(tools);

  NoteLabel1 = new QLabel("Please wait while the wizard scans your pictures.", panel);
  NoteLabel21 = new QLabel(" ", panel);
  NoteLabel22 = new QLabel(" picture(s) were scanned.", panel);
  for (QLabel* l : {NoteLabel1, NoteLabel21, NoteLabel22}) l->hide();
  return panel;
}

// ---- life cycle ----

void TNetScanFm::FormCreate() {
  TwainPresent = false;
  Device = core::DeviceData{};
  Device.port = "-1";
  Locked = false;
  TimeoutTimer->setInterval(kIdleUnlockMs);
  TimeoutTimer->stop();
  if (TZELTWAIN::IsTwainDriverAvailable()) {
    TwainPresent = true;
    try {
      ZELTwain.InitTWAIN();
    } catch (const std::exception&) {
      TwainPresent = false;  // a manager that would not open: Scan Now tries again
    }
  }
  TemporaryBaseName =
      QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString() + "/" +
      FileNameEdit->text().toStdString();
}

void TNetScanFm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TNetScanFm::FormShow() {
  temporaryJpegs_ = false;
  lastPdf_.clear();
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (!pictures.isEmpty()) DefaultFolder = withSeparator(pictures.toStdString());
  if (FilePathEdit->text().isEmpty()) {
    FilePathEdit->setText(QString::fromStdString(DefaultFolder));
    FilePathEdit->setCursorPosition(static_cast<int>(FilePathEdit->text().size()));
  }
  ResetInfo();
}

void TNetScanFm::ResetInfo() {
  preview_ = QImage();
  ScanImage->clearPicture();
  ScanImage->resize(0, 0);
  for (QLabel* l : {ScaleLabel, NoteSText, InfoSText_FileName, InfoSText_Pixel, InfoSText_CM,
                    InfoSText_Res, InfoSText_Bits, InfoSText_FSize})
    l->clear();
  LocationEdit->clear();
  IndexLabel->setText("0");
  TotalLabel->setText("0");
  PageLabel->setText("No. 0 Page.");
}

// The window stays until its group is saved.
void TNetScanFm::closeEvent(QCloseEvent* event) {
  if (savingThread_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TNetScanFm::done(int result) {
  if (savingThread_) return;
  FormClose();
  QDialog::done(result);
}

void TNetScanFm::FormClose() {
  if (temporaryJpegs_) deleteTemporaryJpegs(pageCount_);
  temporaryJpegs_ = false;
  preview_ = QImage();
  ScanImage->clearPicture();
  closeSource();
  TimeoutTimer->stop();
}

void TNetScanFm::closeSource() {
  try {
    if (ZELTwain.IsDataSourceEnabled()) ZELTwain.DisableDataSource();
    if (ZELTwain.IsDataSourceOpen()) ZELTwain.CloseDataSource();
  } catch (const std::exception&) {
    // A source that will not go away quietly is left to the manager.
  }
}

void TNetScanFm::deleteTemporaryJpegs(int pages) {
  for (int n = 1; n <= std::max(1, pages); ++n)
    std::remove(PageFile(TemporaryBaseName, n, ".jpg").c_str());
}

void TNetScanFm::message(const std::string& text) {
  platform::messageBoxes().show(text, kProductName, platform::kMbOk);
}

int TNetScanFm::ask(const std::string& text) {
  return platform::messageBoxes().show(text, kCaption, platform::kMbYesNo);
}

void TNetScanFm::setControlsEnabled(bool enabled) {
  ScanBtn->setEnabled(enabled);
  CloseBtn->setEnabled(enabled);
  setEnabled(enabled);
}

// ---- scanning ----

std::string TNetScanFm::groupExtension() const {
  return lowerCase(FileFmtComboBox1->currentText().toStdString());
}

std::string TNetScanFm::groupBase() const {
  const auto dot = groupFile_.find_last_of('.');
  return dot == std::string::npos ? groupFile_ : groupFile_.substr(0, dot);
}

std::string TNetScanFm::pageFileOf(int n) const {
  const bool pdf = upperCase(groupExtension()) == "PDF";
  return PageFile(pdf ? TemporaryBaseName : groupBase(), n, ".bmp");
}

std::string TNetScanFm::previewFileOf(int n) const {
  const std::string ext = upperCase(groupExtension());
  if (ext == "BMP") return PageFile(groupBase(), n, ".bmp");
  if (ext == "JPG") return PageFile(groupBase(), n, ".jpg");
  return PageFile(TemporaryBaseName, n, ".jpg");
}

void TNetScanFm::ScanBtnClick() {
  if (FileNameEdit->text().isEmpty()) {
    message(core::LoadMessage("SNo_PFile_Name"));
    return;
  }
  if (FilePathEdit->text().isEmpty()) {
    message(core::LoadMessage("SNo_PFile_Path"));
    return;
  }
  const GroupName name = ChooseGroupFile(FilePathEdit->text().toStdString(),
                                         FileNameEdit->text().toStdString(), groupExtension(), fileExists);
  if (name.result == GroupNameResult::TooLong) {
    message(core::LoadMessage("SFile_Save_Err") + "\n\n" + name.file);
    return;
  }
  if (name.result == GroupNameResult::AllTaken &&
      ask(core::LoadMessage("SFile_Open_Exist")) != platform::kIdYes)
    return;
  groupFile_ = name.file;

  if (!Locked) {
    if (Device.owner.empty() || Device.owner != HostName ||
        !core::LockDevice(Device.bus, Device.port, 1, 1200)) {
      message(core::LoadMessage("STimeout"));
      reject();
      return;
    }
    Locked = true;
  }

  const int previousPages = pageCount_;
  TimeoutTimer->stop();
  PBtn->setEnabled(false);
  NBtn->setEnabled(false);
  setControlsEnabled(false);
  pageCount_ = 0;
  currentPage_ = 0;
  IndexLabel->setText("0");
  TotalLabel->setText("0");

  try {
    ZELTwain.Acquire(ScanImage);
  } catch (const std::exception& e) {
    message(e.what());
  }
  if (ZELTwain.IsDataSourceEnabled()) {
    NoteSText->setText(NoteLabel1->text());
    if (temporaryJpegs_) {
      deleteTemporaryJpegs(previousPages);
      temporaryJpegs_ = false;
      lastPdf_.clear();
    }
  } else if (pageCount_ == 0 && !savingThread_) {
    // Not enabled (or a source without its window that already scanned and closed).
    closeSource();
    ResetInfo();
    afterScanEnds();
  }
}

void TNetScanFm::afterScanEnds() {
  setControlsEnabled(true);
  TimeoutTimer->start();
}

// Before each page: above 600 dpi (600 itself at unusual depths) the source is asked for 600,
// 550, ... down to 100 until it takes one on both axes.
void TNetScanFm::ZELTwainScanStart() {
  using platform::twain::dpiFromFix32;
  using platform::twain::fix32FromDpi;
  ZELTwain.GetImageInfo(imageInfo_);
  const int dpi = dpiFromFix32(imageInfo_.XResolution);
  const int bits = imageInfo_.BitsPerPixel;
  const bool usual = bits == 1 || bits == 8 || bits == 24;
  if (!(usual ? dpi > 600 : dpi >= 600)) return;
  int target = 600, x = 0, y = 0;
  do {
    imageInfo_.XResolution = imageInfo_.YResolution = fix32FromDpi(target);
    ZELTwain.SetImageInfo(imageInfo_);
    ZELTwain.GetImageInfo(imageInfo_);
    x = dpiFromFix32(imageInfo_.XResolution);
    y = dpiFromFix32(imageInfo_.YResolution);
    if (x != target || x != y) target -= 50;
  } while ((x != target || x != y) && target >= 100);
  if (x == target && x == y) return;
  ZELTwain.SetCanel(true);
  platform::messageBoxes().show(core::LoadMessage("SNo_Resolution"), kCaption, 0x40 | platform::kMbTopMost);
  afterScanEnds();
}

void TNetScanFm::ZELTwainScanReady() {
  // The picture block is ours from here and is freed on every way out.
  platform::GlobalBlock dib(ZELTwain.GetBmpHandle());
  if (!dib.get()) {
    if (pageCount_ == 0) ResetInfo();
    return;
  }
  const int n = ++pageCount_;
  const std::string page = pageFileOf(n);
  const auto* bytes = static_cast<const std::uint8_t*>(platform::GlobalLock(dib.get()));
  const int written =
      bytes ? WriteDibToFile(bytes, platform::GlobalSize(dib.get()), page) : -3;
  if (bytes) platform::GlobalUnlock(dib.get());
  dib.reset();
  if (written != 0) {
    // The rest of the batch would fail the same way: it is cancelled, and the window comes back.
    pageCount_ = 0;
    ResetInfo();
    ZELTwain.SetCanel(true);
    message(core::LoadMessage("SFile_Open_Err") + " : " + page);
    unsetCursor();
    afterScanEnds();
    return;
  }

  if (!loadPreview(page))
    message(core::LoadMessage("SFile_Open_Err") + " : " + page + " !");
  IndexLabel->setText(QString::number(n));
  TotalLabel->setText(QString::number(n));
  const int dpi = platform::twain::dpiFromFix32(imageInfo_.XResolution);
  const int bits = imageInfo_.BitsPerPixel;
  previewDpi_ = dpi;
  FormatPictureInfo(bits, dpi);
  fitScale_ = 0;
  MainPanelResize();

  const std::string ext = upperCase(groupExtension());
  ShowPageInfo(n, ext == "BMP" ? page : ext == "JPG" ? PageFile(groupBase(), n, ".jpg") : groupFile_);
  setCursor(Qt::WaitCursor);
  repaint();

  if (ZELTwain.IsLastPage()) {
    SaveFileFm->ShowOver(this);
    savingThread_ = std::make_unique<TSaveScanningThread>(*this);
    savingThread_->PageCount = n;
    savingThread_->dpi = dpi;
    savingThread_->bits = bits;
    savingThread_->setPriority(platform::ThreadPriority::Higher);
    savingThread_->resume();
    SaveFileTimer->start();
  }
}

void TNetScanFm::ZELTwainScanCancel() {
  if (pageCount_ > 2) {
    PBtn->setEnabled(true);
    NBtn->setEnabled(true);
  }
  unsetCursor();
  afterScanEnds();
}

void TNetScanFm::ZELTwainScanClose() {
  unsetCursor();
  afterScanEnds();
}

void TNetScanFm::SaveFileTimerTimer() {
  QApplication::processEvents();
  platform::ui::serve();
  if (savingThread_ && savingThread_->finished()) {
    SaveFileFm->close();
    SaveFileTimer->stop();
    savingThread_->waitFor();
    savingThread_.reset();
    closeSource();
  } else {
    SaveFileFm->repaint();
  }
  repaint();
}

void TNetScanFm::TimeoutTimerTimer() {
  if (Locked && core::UnlockDevice(Device.bus, Device.port, 1, 0)) Locked = false;
  TimeoutTimer->stop();
}

// ---- the saving thread's calls ----

void TNetScanFm::ShowSaveError(const std::string& text) { message(text); }

void TNetScanFm::EnablePaging() {
  PBtn->setEnabled(true);
  NBtn->setEnabled(true);
}

void TNetScanFm::SetTemporaryJpegs(bool exist, const std::string& lastPdf) {
  temporaryJpegs_ = exist;
  lastPdf_ = lastPdf;
}

void TNetScanFm::SaveDone(int pageCount, bool saveFailed) {
  currentPage_ = 0;
  if (!saveFailed) ShowPage(0);
  NoteSText->setText(NoteLabel21->text() + QString::number(pageCount) + NoteLabel22->text());
  setControlsEnabled(true);
  unsetCursor();
  repaint();
  TimeoutTimer->start();
  activateWindow();
  raise();
}

// ---- preview ----

void TNetScanFm::NBtnClick() {
  if (pageCount_ <= 0) return;
  currentPage_ = currentPage_ + 1 < pageCount_ ? currentPage_ + 1 : 0;
  ShowPage(currentPage_);
}

void TNetScanFm::PBtnClick() {
  if (pageCount_ <= 0) return;
  currentPage_ = currentPage_ > 0 ? currentPage_ - 1 : pageCount_ - 1;
  ShowPage(currentPage_);
}

void TNetScanFm::ShowPage(int index) {
  IndexLabel->setText(QString::number(index + 1));
  const std::string ext = upperCase(groupExtension());
  const std::string file = previewFileOf(index + 1);
  if (!loadPreview(file))
    message(core::LoadMessage("SFile_Open_Err") + " : " + file + " .");
  const int dpi = ext == "BMP" ? ReadBmpResolution(file) : ReadJpegResolution(file);
  previewDpi_ = dpi;
  ShowPageInfo(index + 1, ext == "PDF" ? groupFile_ : file);
  FormatPictureInfo(previewBits_, dpi);
  fitScale_ = 0;
  scale_ = 0;
  MainPanelResize();
  repaint();
}

bool TNetScanFm::loadPreview(const std::string& file) {
  preview_ = LoadPictureImage(file, &previewBits_);
  ScanImage->setPicture(preview_);
  return !preview_.isNull();
}

void TNetScanFm::ShowPageInfo(int n, const std::string& file) {
  PageLabel->setText("No. " + QString::number(n) + " Page.");
  if (!file.empty()) {
    const QFileInfo info(QString::fromStdString(file));
    LocationEdit->setText(QString::fromStdString(withSeparator(info.absolutePath().toStdString())));
    InfoSText_FileName->setText(info.fileName());
  }
}

void TNetScanFm::FormatPictureInfo(int bits, int dpi) {
  const PictureInfo info = scanning::FormatPictureInfo(preview_.width(), preview_.height(), bits, dpi);
  InfoSText_Bits->setText(QString::fromStdString(info.bits));
  InfoSText_Pixel->setText(QString::fromStdString(info.pixels));
  InfoSText_FSize->setText(QString::fromStdString(info.fileSize));
  InfoSText_CM->setText(QString::fromStdString(info.dimensions));
  InfoSText_Res->setText(QString::fromStdString(info.resolution));
}

void TNetScanFm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  MainPanelResize();
}

void TNetScanFm::MainPanelResize() {
  if (preview_.isNull()) return;
  const QSize box = MainPanel->viewport()->size();
  const FitSize fit = FitPicture(box.width(), box.height(), preview_.width(), preview_.height());
  scale_ = fit.scale;
  if (fitScale_ == 0) fitScale_ = scale_;
  ScanImage->resize(fit.width, fit.height);
  ScaleLabel->setText(QString::number(scale_) + " %");
}

void TNetScanFm::applyScale(bool zoomIn) {
  if (preview_.isNull()) return;
  ScanImage->resize(static_cast<int>(preview_.width() * scale_ * 0.01),
                    static_cast<int>(preview_.height() * scale_ * 0.01));
  MainPanel->horizontalScrollBar()->setValue(0);
  MainPanel->verticalScrollBar()->setValue(0);
  ScaleLabel->setText(QString::number(scale_) + (zoomIn ? " % " : " %"));
}

void TNetScanFm::ZInTBtnClick() {
  scale_ = ZoomInScale(scale_);
  applyScale(true);
}

void TNetScanFm::ZOutTBtnClick() {
  scale_ = ZoomOutScale(scale_, fitScale_);
  applyScale(false);
}

void TNetScanFm::OPSizeTBtnClick() { MainPanelResize(); }

void TNetScanFm::ActualTBtnClick() {
  scale_ = 100;
  applyScale(false);
}

void TNetScanFm::FileFmtComboBoxChange() {
  FileFmtComboBox1->setCurrentIndex(FileFmtComboBox->currentIndex());
}

void TNetScanFm::BrowseBtnClick() {
  const std::string initial =
      FilePathEdit->text().isEmpty() ? DefaultFolder : FilePathEdit->text().toStdString();
  const std::string chosen = ChooseFolder(initial);
  if (chosen.empty()) return;
  FilePathEdit->setText(QString::fromStdString(withSeparator(chosen)));
  FilePathEdit->setCursorPosition(static_cast<int>(FilePathEdit->text().size()));
}

bool TNetScanFm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    if (watched == LocationEdit) LocationEditClick();
    if (watched == InfoSText_FileName) InfoSText_FileNameClick();
  }
  return QDialog::eventFilter(watched, event);
}

void TNetScanFm::LocationEditClick() {
  if (!LocationEdit->text().isEmpty()) OpenInShell(LocationEdit->text().toStdString());
}

void TNetScanFm::InfoSText_FileNameClick() {
  if (!InfoSText_FileName->text().isEmpty())
    OpenInShell(LocationEdit->text().toStdString() + InfoSText_FileName->text().toStdString());
}

// ---- Save As ----

void TNetScanFm::SaveBtnClick() { SavePictureAs(); }

void TNetScanFm::SavePictureAs() {
  const std::string file = SaveDialogExecute();
  if (file.empty()) return;
  if (fileExists(file) && ask(core::LoadMessage("SFile_Open_Exist")) != platform::kIdYes) return;
  SaveFileFm->ShowOver(this);
  if (!savePreviewAs(file, previewDpi_))
    message(core::LoadMessage("SFile_Save_Err") + " : " + file);
  SaveFileFm->close();
}

// Writes nothing for an extension other than the three offered, and says so.
bool TNetScanFm::savePreviewAs(const std::string& file, int dpi) {
  if (preview_.isNull()) return false;
  const std::string ext = upperCase(std::filesystem::path(file).extension().string());
  const PixelRows rows = RowsOf(preview_);
  if (ext == ".JPG" || ext == ".JPEG") return SaveJpegWithResolution(rows, file, dpi);
  if (ext == ".BMP") return SaveBmp(rows, file, dpi);
  if (ext == ".PDF") {
    const std::string jpeg = file + ".jpg";
    const bool ok = SaveJpegWithResolution(rows, jpeg, dpi) &&
                    SaveOnePagePdf(jpeg, preview_.width(), preview_.height(), dpi, file);
    std::remove(jpeg.c_str());
    return ok;
  }
  return false;
}

}  // namespace scanning
