#include "scanning/TNetWIASaveFm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <fcntl.h>

#include "core/MessageTable.h"
#include "core/ScopeExit.h"
#include "platform/MessageBoxes.h"
#include "scanning/FileClaims.h"
#include "scanning/FileNames.h"
#include "scanning/PictureImage.h"
#include "scanning/WiaAccess.h"
#include "scanning/WiaRules.h"

namespace scanning {
namespace {

using core::kProductName;

QImage imageOf(const DecodedPicture& p) {
  QImage image(p.rgb.data(), p.width, p.height, p.width * 3, QImage::Format_RGB888);
  return image.copy();  // detached from the decoder's buffer
}

}  // namespace

TNetWIASaveFm::TNetWIASaveFm(QWidget* parent) : QDialog(parent) {
  setObjectName("NetWIASaveFm");
  setWindowTitle("Network Scanner");
  OpenInShell = [](const std::string& path) {
    QDesktopServices::openUrl(LocalFileUrl(path));
  };

  auto* top = new QVBoxLayout(this);
  auto* header = new QWidget(this);
  header->setAutoFillBackground(true);
  QPalette pal = header->palette();
  pal.setColor(QPalette::Window, Qt::white);
  header->setPalette(pal);
  auto* headerLayout = new QVBoxLayout(header);
  auto* title = new QLabel("        Scanning Picture ", header);
  QFont f = title->font();
  f.setBold(true);
  f.setPointSize(11);
  title->setFont(f);
  headerLayout->addWidget(title);
  headerLayout->addWidget(new QLabel("Please wait while the wizard scans your pictures.", header));
  top->addWidget(header);

  auto* body = new QHBoxLayout;
  body->setContentsMargins(16, 8, 16, 8);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Location :", this), 0, 0);
  Edit_Location = new QLineEdit(this);
  Edit_Location->setReadOnly(true);
  grid->addWidget(Edit_Location, 0, 1);
  grid->addWidget(new QLabel("Picture :", this), 1, 0);
  Edit_FileName = new QLineEdit(this);
  Edit_FileName->setReadOnly(true);
  grid->addWidget(Edit_FileName, 1, 1);
  grid->addWidget(new QLabel("Picture scan progress :", this), 2, 0, 1, 2);
  ScanProgressBar = new QProgressBar(this);
  ScanProgressBar->setRange(0, 100);
  ScanProgressBar->setTextVisible(false);
  PercentLabel = new QLabel("0%", this);
  grid->addWidget(ScanProgressBar, 3, 0, 1, 2);
  grid->addWidget(PercentLabel, 4, 0, 1, 2);
  grid->addWidget(new QLabel("Picture save progress :", this), 5, 0, 1, 2);
  SaveProgressBar = new QProgressBar(this);
  SaveProgressBar->setRange(0, 1);
  SaveProgressBar->setTextVisible(false);
  grid->addWidget(SaveProgressBar, 6, 0, 1, 2);
  CancelLabel = new QLabel("Canceling scan", this);
  CancelLabel->hide();
  grid->addWidget(CancelLabel, 7, 0, 1, 2);
  grid->setRowStretch(8, 1);
  body->addLayout(grid, 1);
  auto* previewHolder = new QWidget(this);
  previewHolder->setFixedSize(kPreviewWidth + 2, kPreviewHeight + 2);
  ScanImage = new QLabel(previewHolder);
  ScanImage->setObjectName("ScanImage");
  ScanImage->setFrameShape(QFrame::Box);
  ScanImage->setScaledContents(true);
  ScanImage->setGeometry(1, 1, kPreviewWidth, kPreviewHeight);
  body->addWidget(previewHolder, 0, Qt::AlignTop);
  top->addLayout(body, 1);

  auto* buttons = new QHBoxLayout;
  BackBtn = new QPushButton("< Back", this);
  CancelBtn = new QPushButton("Cancel", this);
  buttons->addStretch(1);
  buttons->addWidget(BackBtn);
  buttons->addSpacing(12);
  buttons->addWidget(CancelBtn);
  top->addLayout(buttons);

  // The diagnostics log, kept out of sight.
  LogList = new QListWidget(this);
  LogList->setObjectName("LogList");
  LogList->hide();
  Timer = new QTimer(this);
  Timer->setInterval(1000);
  Timer->setSingleShot(true);
  setFixedSize(534, 360);

  connect(Timer, &QTimer::timeout, this, [this] { TimerTimer(); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  connect(BackBtn, &QPushButton::clicked, this, [this] { done(kWiaBack); });
  for (QObject* o : {static_cast<QObject*>(Edit_Location), static_cast<QObject*>(Edit_FileName),
                     static_cast<QObject*>(ScanImage)})
    o->installEventFilter(this);
}

void TNetWIASaveFm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TNetWIASaveFm::FormShow() {
  Edit_Location->clear();
  Edit_FileName->clear();
  ScanProgressBar->setValue(0);
  SaveProgressBar->setRange(0, 1);
  SaveProgressBar->setValue(0);
  PercentLabel->setText("0%");
  preview_ = QImage();
  ScanImage->clear();
  ScanImage->setGeometry(1, 1, kPreviewWidth, kPreviewHeight);
  BackBtn->setEnabled(false);
  CancelBtn->setText("Cancel");
  CancelLabel->setText("Canceling scan");
  CancelLabel->hide();
  StopRequested = false;
  closeWhenDone_ = false;
  outcome_ = {};
  LogList->clear();
  Timer->start();
}

void TNetWIASaveFm::TimerTimer() {
  Timer->stop();
  ScanPages();
}

void TNetWIASaveFm::ScanPages() {
  {
    transferring_ = true;
    const core::ScopeExit ended([this] { transferring_ = false; });
    outcome_ = ScanWiaPages(*this);
  }
  CancelBtn->setText("Close");
  BackBtn->setEnabled(outcome_.backEnabled);
  if (closeWhenDone_) done(kWiaCancel);
}

void TNetWIASaveFm::CancelBtnClick() {
  if (CancelBtn->text() == "Close") {
    done(kWiaCancel);
    return;
  }
  requestStop();
}

void TNetWIASaveFm::requestStop() {
  CancelLabel->show();
  StopRequested = true;
}

void TNetWIASaveFm::closeEvent(QCloseEvent* event) {
  // Closing during a transfer cancels it; the window goes once the device has stopped.
  if (transferring_) {
    event->ignore();
    closeWhenDone_ = true;
    requestStop();
    return;
  }
  QDialog::closeEvent(event);
}

// The page loop runs inside this window's modal loop: hiding the window under it would leave the
// loop running behind a usable main window, so during a transfer this only asks it to stop.
void TNetWIASaveFm::reject() {
  if (transferring_) {
    requestStop();
    return;
  }
  Timer->stop();  // a transfer that has not begun never will
  QDialog::reject();
}

bool TNetWIASaveFm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    if (watched == Edit_Location) Edit_LocationClick();
    else if (watched == Edit_FileName) Edit_FileNameClick();
    else if (watched == ScanImage) ScanImageClick();
  }
  return QDialog::eventFilter(watched, event);
}

void TNetWIASaveFm::Edit_LocationClick() { OpenInShell(PathBytes(Edit_Location->text())); }

void TNetWIASaveFm::Edit_FileNameClick() {
  if (Edit_FileName->text().isEmpty()) return;
  OpenInShell(PathBytes(Edit_Location->text() + Edit_FileName->text()));
}

void TNetWIASaveFm::ScanImageClick() {
  if (!preview_.isNull()) Edit_FileNameClick();
}

void TNetWIASaveFm::Log(const std::string& line) { LogList->addItem(QString::fromStdString(line)); }

void TNetWIASaveFm::Message(const std::string& text) {
  platform::messageBoxes().show(text, kProductName, platform::kMbOk);
}

void TNetWIASaveFm::SetLocation(const std::string& folder) {
  Edit_Location->setText(PathText(folder));
  Edit_Location->setCursorPosition(static_cast<int>(Edit_Location->text().size()));
}

void TNetWIASaveFm::SetPicture(const std::string& name) {
  Edit_FileName->setText(PathText(name));
}

void TNetWIASaveFm::SetScanProgress(int percent, const std::string& label) {
  ScanProgressBar->setValue(percent);
  PercentLabel->setText(QString::fromStdString(label));
}

void TNetWIASaveFm::ShowPreview(const std::string& file, bool jpeg) {
  QImage image;
  if (jpeg) {
    if (const auto bytes = ReadRegularFile(file, O_NOFOLLOW))
      if (const auto decoded = DecodeJpegScaled(bytes->data(), bytes->size(), 8)) image = imageOf(*decoded);
  } else {
    image = LoadPictureImage(file);  // no reader limit on a large page
  }
  preview_ = image;
  const PreviewBox box = image.isNull() ? PreviewBox{kPreviewWidth, kPreviewHeight}
                                        : FitPreviewBox(image.width(), image.height());
  ScanImage->setGeometry(1, 1, box.width, box.height);
  if (image.isNull()) ScanImage->clear();
  else ScanImage->setPixmap(QPixmap::fromImage(image));
}

void TNetWIASaveFm::SetCancelLabel(const std::string& text) {
  CancelLabel->setText(QString::fromStdString(text));
  CancelLabel->show();
}

void TNetWIASaveFm::SetSaveProgress(int position, int maximum) {
  SaveProgressBar->setRange(0, maximum);
  SaveProgressBar->setValue(position);
}

void TNetWIASaveFm::ProcessMessages() { QApplication::processEvents(); }

std::string TNetWIASaveFm::TemporaryFolder() { return PathBytes(QDir::tempPath()); }

}  // namespace scanning
