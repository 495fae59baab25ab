#include "scanning/TNetScanFm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/MessageBoxes.h"
#include "core/DriverInterface.h"
#include "core/MessageTable.h"
#include "core/ScopeExit.h"
#include "platform/GlobalMemory.h"
#include "platform/TwainSourceDialog.h"
#include "platform/UiDispatcher.h"
#include "scanning/FileClaims.h"
#include "scanning/FileNames.h"
#include "scanning/NetScanRules.h"
#include "scanning/PdfGroup.h"
#include "scanning/PictureFolder.h"
#include "scanning/TSaveFileFm.h"

namespace scanning {
namespace {

constexpr const char* kCaption = "Welcome to the Razo-Razezed Ireruro";
using core::kProductName;  // captions plain messages
constexpr int kIdleUnlockMs = 180000;
constexpr int kSavePollMs = 400;

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
  leftPanel_ = buildLeftPanel();
  rightPanel_ = buildRightPanel();
  layout->addWidget(leftPanel_);
  layout->addWidget(rightPanel_, 1);
  resize(860, 600);
  buildSaveDialog();

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
  // The source's own window is this window's, above it and open to the user while it is modal.
  ZELTwain.setParentWindow(platform::twain::parentHandleFor(this));

  SaveDialogExecute = [this] {
    SaveDialog->setDirectory(FilePathEdit->text());
    if (SaveDialog->exec() != QDialog::Accepted || SaveDialog->selectedFiles().isEmpty()) return std::string();
    return PathBytes(SaveDialog->selectedFiles().front());
  };
  OpenInShell = [](const std::string& path) {
    QDesktopServices::openUrl(LocalFileUrl(path));
  };
  LocationEdit->installEventFilter(this);
  InfoSText_FileName->installEventFilter(this);
  ChooseFolder = [this](const std::string& initial) {
    return PathBytes(QFileDialog::getExistingDirectory(this, "Select a destination folder",
                                                       PathText(initial)));
  };
  FormCreate();
}

TNetScanFm::~TNetScanFm() {
  if (savingThread_) savingThread_->waitFor();
  closeSource();
  removeTemporaryFolder();
}

// A name typed without an extension gets the chosen filter's ("jpg" at first); the window asks
// its own question before a file is replaced, so the dialog asks none.
void TNetScanFm::buildSaveDialog() {
  SaveDialog = new QFileDialog(this);
  SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog->setNameFilters(
      {"JPEG Image (*.jpg)", "Bitmap Image (*.bmp)", "Portable Document Format (*.pdf)"});
  SaveDialog->setDefaultSuffix("jpg");
  SaveDialog->setOption(QFileDialog::DontConfirmOverwrite);
  connect(SaveDialog, &QFileDialog::filterSelected, SaveDialog, [this](const QString& filter) {
    const qsizetype star = filter.lastIndexOf("*.");
    if (star >= 0) SaveDialog->setDefaultSuffix(filter.mid(star + 2).chopped(1));
  });
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
  StartTwain();
}

bool TNetScanFm::StartTwain() {
  if (TwainPresent) return true;
  if (!TZELTWAIN::IsTwainDriverAvailable()) return false;
  TwainPresent = true;
  try {
    ZELTwain.InitTWAIN();
  } catch (const std::exception&) {
    TwainPresent = false;  // a manager that would not open: the next caller tries again
  }
  return TwainPresent;
}

void TNetScanFm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TNetScanFm::FormShow() {
  temporaryJpegs_ = false;
  lastPdf_.clear();
  resetPaging();  // the last group's pages went with the last close
  DefaultFolder = DefaultPictureFolder();
  if (FilePathEdit->text().isEmpty()) {
    FilePathEdit->setText(PathText(DefaultFolder));
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

// Escape or the close box while the source's own window is up close that window, as its Close
// does, and give this window back; otherwise they close this window.
void TNetScanFm::reject() {
  if (sourceWindowUp()) {
    closeSource();
    ZELTwainScanClose();
    return;
  }
  QDialog::reject();
}

bool TNetScanFm::sourceWindowUp() const {
  return ZELTwain.ShowUI() && ZELTwain.IsDataSourceEnabled() && !savingThread_;
}

void TNetScanFm::done(int result) {
  if (savingThread_) return;
  FormClose();
  QDialog::done(result);
}

void TNetScanFm::FormClose() {
  removeTemporaryFolder();
  preview_ = QImage();
  ScanImage->clearPicture();
  closeSource();
  TimeoutTimer->stop();
}

// A PDF group's pages wait in a folder of this window's own, under a base that none of the
// folder's files has (the previous group's pages stay for its preview until this one starts).
bool TNetScanFm::makeTemporaryBase() {
  std::error_code ec;
  if (temporaryFolder_.empty() || !std::filesystem::is_directory(temporaryFolder_, ec)) {
    temporaryFolder_ = MakeOwnFolder(PathBytes(QDir::tempPath()), "tarvex-scan-");
    if (temporaryFolder_.empty()) return false;
  }
  const std::string folder = temporaryFolder_ + "/";
  const GroupName base = ChooseGroupFile(folder, "Picture", "bmp", {}, PathTaken);
  if (base.result != GroupNameResult::Free) return false;
  temporaryBase_ = base.file.substr(0, base.file.size() - 4);
  return true;
}

// The folder goes with this run's files in it; pages still waiting there move out first.
void TNetScanFm::removeTemporaryFolder() {
  keepPendingPages();
  if (temporaryJpegs_) deleteTemporaryJpegs(temporaryBase_, pageCount_);
  temporaryJpegs_ = false;
  if (temporaryFolder_.empty()) return;
  RemoveOwnFolder(temporaryFolder_);
  temporaryFolder_.clear();
  temporaryBase_.clear();
}

// A PDF group's pages that no saving took (a transfer failed, or the source's window was closed
// during the batch) would go with the window's own folder: they move to the group's folder, under
// free names, and the user hears where. The other groups' pages are in their folder already.
void TNetScanFm::keepPendingPages() {
  const std::vector<std::string> kept = keptPages();
  if (groupKind() == "PDF" && !kept.empty()) message(KeptPagesText(core::LoadMessage("SFile_Save_Err") + " : " + groupFile_, kept));
}

// The pages no saving took, as the user's from here, where they now are.
std::vector<std::string> TNetScanFm::keptPages() {
  if (!pagesPending_) return {};
  pagesPending_ = false;
  std::vector<std::string> kept = KeepPagesBeside(pageFiles_, groupBase());
  pageFiles_.clear();
  pictureFiles_ = kept;  // paging shows them where they are now
  return kept;
}

void TNetScanFm::closeSource() {
  try {
    if (ZELTwain.IsDataSourceEnabled()) ZELTwain.DisableDataSource();
    if (ZELTwain.IsDataSourceOpen()) ZELTwain.CloseDataSource();
  } catch (const std::exception&) {
    // A source that will not go away quietly is left to the manager.
  }
}

void TNetScanFm::deleteTemporaryJpegs(const std::string& base, int pages) {
  if (base.empty()) return;
  for (int n = 1; n <= std::max(1, pages); ++n) RemoveOwnFile(PageFile(base, n, ".jpg"));
}

void TNetScanFm::message(const std::string& text) {
  platform::messageBoxes().show(text, kProductName, platform::kMbOk);
}

int TNetScanFm::ask(const std::string& text) {
  return platform::messageBoxes().show(text, kCaption, platform::kMbYesNo);
}

// The window's content, not the window: a disabled window takes no keys, and Escape must still
// reach it while the source's window is up.
void TNetScanFm::setControlsEnabled(bool enabled) {
  ScanBtn->setEnabled(enabled);
  CloseBtn->setEnabled(enabled);
  leftPanel_->setEnabled(enabled);
  rightPanel_->setEnabled(enabled);
}

// ---- scanning ----

std::string TNetScanFm::chosenExtension() const {
  return lowerCase(FileFmtComboBox1->currentText().toStdString());
}

std::string TNetScanFm::groupKind() const {
  const auto dot = groupFile_.find_last_of('.');
  return dot == std::string::npos ? std::string() : upperCase(groupFile_.substr(dot + 1));
}

std::string TNetScanFm::groupBase() const {
  const auto dot = groupFile_.find_last_of('.');
  return dot == std::string::npos ? groupFile_ : groupFile_.substr(0, dot);
}

std::string TNetScanFm::pageFileOf(int n) const {
  return PageFile(groupKind() == "PDF" ? temporaryBase_ : groupBase(), n, ".bmp");
}

std::string TNetScanFm::previewFileOf(int n) const {
  if (n >= 1 && static_cast<std::size_t>(n) <= pictureFiles_.size())
    return pictureFiles_[static_cast<std::size_t>(n - 1)];  // as saved, free names included
  const std::string kind = groupKind();
  if (kind == "BMP") return PageFile(groupBase(), n, ".bmp");
  if (kind == "JPG") return PageFile(groupBase(), n, ".jpg");
  return PageFile(temporaryBase_, n, ".jpg");
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
  // A folder typed without its closing separator is that folder; a name never leaves it.
  const std::string folder = WithSeparator(PathBytes(FilePathEdit->text()));
  const std::string typed = PathBytes(FileNameEdit->text());
  if (!NameStaysInFolder(typed)) {
    message(NameLeavesFolderText(typed));
    return;
  }
  const GroupName name = ChooseGroupFile(folder, typed, chosenExtension(), FileNamesIn(folder), PathTaken);
  if (name.result == GroupNameResult::TooLong) {
    message(core::LoadMessage("SFile_Save_Err") + "\n\n" + name.file);
    return;
  }
  if (name.result == GroupNameResult::AllTaken &&
      ask(core::LoadMessage("SFile_Open_Exist")) != platform::kIdYes)
    return;
  keepPendingPages();  // the previous group's, before its name is gone
  groupFile_ = name.file;
  replaceAgreed_ = name.result == GroupNameResult::AllTaken;

  if (!Locked && !relock()) {
    message(core::LoadMessage("STimeout"));
    reject();
    return;
  }
  // The device is this window's from here: every way out that leaves no scan under way gives the
  // open window back with its idle timer running, so the lock never outlives it.
  const core::ScopeExit comeBack([this] {
    if (isVisible() && !ZELTwain.IsDataSourceEnabled() && !savingThread_) afterScanEnds();
  });

  const int previousPages = pageCount_;
  const std::string previousBase = temporaryBase_;
  errno = 0;
  if (groupKind() == "PDF" && !makeTemporaryBase()) {
    const int why = errno ? errno : EEXIST;
    message(WriteFailureText(core::LoadMessage("SFile_Open_Err"), PathBytes(QDir::tempPath()),
                             ErrnoText(why)));
    ResetInfo();  // the group file is the new one now: the last group's pages are not paged
    resetPaging();
    return;
  }
  TimeoutTimer->stop();
  setControlsEnabled(false);
  resetPaging();
  pageFiles_.clear();
  pageResolutions_.clear();
  pictureFiles_.clear();

  try {
    ZELTwain.Acquire(ScanImage);
  } catch (const std::exception& e) {
    message(e.what());
  }
  if (ZELTwain.IsDataSourceEnabled()) {
    NoteSText->setText(NoteLabel1->text());
    if (temporaryJpegs_) {
      deleteTemporaryJpegs(previousBase, previousPages);
      temporaryJpegs_ = false;
      lastPdf_.clear();
    }
  } else if (pageCount_ == 0 && !savingThread_) {
    // Not enabled (or a source without its window that already scanned and closed).
    closeSource();
    ResetInfo();
  }
}

// Another computer's hold is the only one that refuses the scan: the row is read as the device
// list shows it now, since the copy taken before the window opened may predate this computer's
// own hold, and after the idle unlock the device is nobody's until it is locked again.
bool TNetScanFm::relock() {
  if (DeviceNow)
    if (const std::optional<core::DeviceData> now = DeviceNow()) Device = *now;
  const bool heldElsewhere = !Device.owner.empty() && Device.owner != HostName;
  if (heldElsewhere || !core::LockDevice(Device.bus, Device.port, 1, 1200)) return false;
  Locked = true;
  return true;
}

// The one road back to a usable window: its controls, and the idle timer that gives the lock back.
void TNetScanFm::afterScanEnds() {
  setControlsEnabled(true);
  TimeoutTimer->start();
}

void TNetScanFm::resetPaging() {
  pageCount_ = 0;
  currentPage_ = 0;
  PBtn->setEnabled(false);
  NBtn->setEnabled(false);
  IndexLabel->setText("0");
  TotalLabel->setText("0");
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
  const std::string wanted = pageFileOf(n);
  const auto* bytes = static_cast<const std::uint8_t*>(platform::GlobalLock(dib.get()));
  // A BMP group's page is its picture: the user's agreement to replace covers it. Any other page
  // is a helper and takes a free name when its own was taken while the source's window was open.
  int written = bytes ? -4 : -3;
  const std::string page =
      !bytes ? std::string()
             : WriteFileAt(wanted, replaceAgreed_ && groupKind() == "BMP", [&](const std::string& file) {
                 written = WriteDibToFile(bytes, platform::GlobalSize(dib.get()), file);
                 return written == 0;
               });
  if (written == 0 && page.empty()) written = -4;
  const std::string why = written == -4 ? ErrnoText(errno) : "The scanner's picture is damaged.";
  if (bytes) platform::GlobalUnlock(dib.get());
  dib.reset();
  if (written != 0) {
    // The rest of the batch would fail the same way: it is cancelled, and the window comes back.
    pageCount_ = 0;
    ResetInfo();
    ZELTwain.SetCanel(true);
    message(KeptPagesText(WriteFailureText(core::LoadMessage("SFile_Open_Err"), wanted, why), keptPages()));
    unsetCursor();
    afterScanEnds();
    return;
  }
  pageFiles_.push_back(page);
  pageResolutions_.push_back(platform::twain::dpiFromFix32(imageInfo_.XResolution));
  pagesPending_ = true;

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

  const std::string kind = groupKind();
  ShowPageInfo(n, kind == "BMP" ? page : kind == "JPG" ? PageFile(groupBase(), n, ".jpg") : groupFile_);
  setCursor(Qt::WaitCursor);
  repaint();

  if (ZELTwain.IsLastPage()) {
    pagesPending_ = false;  // the saving thread has them now
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
  keepPendingPages();
  if (pageCount_ > 2) {
    PBtn->setEnabled(true);
    NBtn->setEnabled(true);
  }
  unsetCursor();
  afterScanEnds();
}

void TNetScanFm::ZELTwainScanClose() {
  keepPendingPages();
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
  if (exist && !lastPdf.empty()) groupFile_ = lastPdf;  // a free name if the group's was taken
}

std::vector<std::string> TNetScanFm::PageFiles() { return pageFiles_; }

std::vector<int> TNetScanFm::PageResolutions() { return pageResolutions_; }

bool TNetScanFm::ReplaceAgreed() { return replaceAgreed_; }

void TNetScanFm::SetPictureFiles(const std::vector<std::string>& files) { pictureFiles_ = files; }

void TNetScanFm::SaveDone(int pageCount, bool saveFailed) {
  currentPage_ = 0;
  if (!saveFailed) ShowPage(0);
  NoteSText->setText(NoteLabel21->text() + QString::number(pageCount) + NoteLabel22->text());
  afterScanEnds();
  unsetCursor();
  repaint();
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
  const std::string ext = groupKind();
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
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(file, ec);
    if (ec) path = file;
    LocationEdit->setText(PathText(WithSeparator(path.parent_path().string())));
    InfoSText_FileName->setText(PathText(path.filename().string()));
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
      FilePathEdit->text().isEmpty() ? DefaultFolder : PathBytes(FilePathEdit->text());
  const std::string chosen = ChooseFolder(initial);
  if (chosen.empty()) return;
  FilePathEdit->setText(PathText(WithSeparator(chosen)));
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
  if (!LocationEdit->text().isEmpty()) OpenInShell(PathBytes(LocationEdit->text()));
}

void TNetScanFm::InfoSText_FileNameClick() {
  if (!InfoSText_FileName->text().isEmpty())
    OpenInShell(PathBytes(LocationEdit->text()) + PathBytes(InfoSText_FileName->text()));
}

// ---- Save As ----

void TNetScanFm::SaveBtnClick() { SavePictureAs(); }

void TNetScanFm::SavePictureAs() {
  const std::string file = SaveDialogExecute();
  if (file.empty()) return;
  const bool taken = PathTaken(file);
  if (taken && ask(core::LoadMessage("SFile_Open_Exist")) != platform::kIdYes) return;
  SaveFileFm->ShowOver(this);
  if (!savePreviewAs(file, previewDpi_, taken))
    message(core::LoadMessage("SFile_Save_Err") + " : " + file);
  SaveFileFm->close();
}

// Writes nothing for an extension other than the three offered, and says so. The file is written
// whole before it takes the place of one the user agreed to replace; a file that appeared since
// the question is never written over.
bool TNetScanFm::savePreviewAs(const std::string& file, int dpi, bool replaceAgreed) {
  if (preview_.isNull()) return false;
  const std::string ext = upperCase(std::filesystem::path(file).extension().string());
  const PixelRows rows = RowsOf(preview_);
  std::function<bool(const std::string&)> write;
  if (ext == ".JPG" || ext == ".JPEG")
    write = [&](const std::string& to) { return SaveJpegWithResolution(rows, to, dpi); };
  else if (ext == ".BMP")
    write = [&](const std::string& to) { return SaveBmp(rows, to, dpi); };
  else if (ext == ".PDF")
    write = [&](const std::string& to) { return savePdfPage(rows, to, dpi); };
  else
    return false;
  const std::string written = WriteFileAt(file, replaceAgreed, write);
  if (written.empty()) return false;
  if (written == file) {
    KeepForUser(file);  // the user's from here, as a group's saved pictures are
    return true;
  }
  RemoveOwnFile(written);  // the name was taken after the question: nothing is put beside it
  return false;
}

// The page's JPEG is a helper, gone once the document holds it. The document's writer reads it
// again by name, so it waits in a folder of its own that only this user may enter, never beside
// the user's files (where a FIFO or a link could take its name meanwhile).
bool TNetScanFm::savePdfPage(const PixelRows& rows, const std::string& file, int dpi) {
  const std::string folder = MakeOwnFolder(PathBytes(QDir::tempPath()), "tarvex-save-");
  if (folder.empty()) return false;
  const Claim helper = ClaimFreeName(folder + "/page.jpg");
  const bool ok = !helper.path.empty() && SaveJpegWithResolution(rows, helper.path, dpi) &&
                  SaveOnePagePdf(helper.path, preview_.width(), preview_.height(), dpi, file);
  RemoveOwnFolder(folder);
  return ok;
}

}  // namespace scanning
