#include "app/TAboutBox.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>

#include "app/NoticeSlots.h"
#include "app/TMainFm.h"

namespace app {
namespace {

int stepDelay = 20;

const char* kCopyright =
    "\n\nCopyright (C) 2026 Tarvex.\n\nAll rights reserved.";

QPixmap closeButton(bool highlighted = false) {
  QPixmap pm(16, 16);
  pm.fill(highlighted ? QColor(255, 220, 150) : QColor(Qt::transparent));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0, 0, 128), 2));
  p.drawLine(4, 4, 12, 12);
  p.drawLine(12, 4, 4, 12);
  return pm;
}

}  // namespace

int TAboutBox::stepDelayMs() { return stepDelay; }

TAboutBox::TAboutBox(QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint) {
  setAttribute(Qt::WA_DeleteOnClose);  // a closed notice is freed
  setFixedSize(NoticeSlots::kNoticeWidth, NoticeSlots::kNoticeHeight);
  panel1_ = new QWidget(this);
  panel1_->setGeometry(0, 0, width(), height());
  panel1_->setAutoFillBackground(true);
  panel1_->setStyleSheet("background-color: #FFF0CC; border: 1px solid navy;");
  labelCaption_ = new QLabel(kProductName, panel1_);
  labelCaption_->setGeometry(8, 2, 200, 18);
  labelCaption_->setStyleSheet("border: none; font-weight: bold; color: navy;");
  labelVersion_ = new QLabel(panel1_);
  labelVersion_->setGeometry(12, 24, 217, 68);
  labelVersion_->setWordWrap(true);
  labelVersion_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  labelVersion_->setStyleSheet("border: none;");
  imageClose_ = new QLabel(panel1_);
  imageClose_->setGeometry(width() - 20, 3, 16, 16);
  imageClose_->setPixmap(closeButton());
  imageClose_->setStyleSheet("border: none;");
  imageClose_->setMouseTracking(true);
  imageClose_->installEventFilter(this);

  timerClose_.setInterval(10000);
  timerClose_.setSingleShot(true);
  connect(&timerClose_, &QTimer::timeout, this, &TAboutBox::Timer_CloseTimer);
  connect(&slideTimer_, &QTimer::timeout, this, [this] { slideStep(slidingIn_); });

  NoticeSlots& table = noticeSlots();
  if (!table.ready()) {
    const QRect work = QGuiApplication::primaryScreen()
                           ? QGuiApplication::primaryScreen()->availableGeometry()
                           : QRect(0, 0, 1024, 768);
    table.setWorkArea(work.left(), work.top(), work.left() + work.width(),
                      work.top() + work.height());
  }
}

TAboutBox::~TAboutBox() { noticeSlots().release(slot_); }

void TAboutBox::ShowAbout(const std::string& version) {
  stepDelay = 20;
  clickAddress_.clear();
  labelVersion_->setText(QString::fromStdString("Version : " + version + kCopyright));
  targetLine_ = noticeSlots().workBottom();
  SlideIn();
}

void TAboutBox::ShowNewVersion(const std::string& version, const std::string& address) {
  stepDelay = 20;
  clickAddress_ = address;
  labelVersion_->setText(
      QString::fromStdString(std::string(kProductName) + " " + version + " is\nnow avaiable !"));
  labelVersion_->move(labelVersion_->x() + 12, labelVersion_->y() + 16);
  targetLine_ = noticeSlots().workBottom();
  SlideIn();
}

bool TAboutBox::ShowDeviceFound(const std::string& displayName) {
  stepDelay = 10;
  clickAddress_.clear();
  labelVersion_->setText(QString::fromStdString("Found\n\n" + displayName));
  slot_ = noticeSlots().take();
  if (slot_ < 0) {
    close();
    return false;
  }
  targetLine_ = noticeSlots().targetLine(slot_);
  SlideIn();
  return true;
}

// The notice starts just below its resting place and rises two pixels a step; a timer drives the
// steps so that the window keeps working meanwhile.
void TAboutBox::SlideIn() {
  move(noticeSlots().noticeLeft(), targetLine_);
  imageClose_->setEnabled(false);
  show();
  panel1_->setFixedHeight(0);
  slidingIn_ = true;
  slideTimer_.start(stepDelay);
}

void TAboutBox::slideStep(bool in) {
  slideTimer_.setInterval(stepDelay);
  if (in) {
    if (y() > targetLine_ - height()) {
      panel1_->setFixedHeight(panel1_->height() + 2);
      move(x(), y() - 2);
      return;
    }
    slideTimer_.stop();
    imageClose_->setEnabled(true);
    timerClose_.start();
    return;
  }
  if (y() < targetLine_) {
    panel1_->setFixedHeight(std::max(0, panel1_->height() - 2));
    move(x(), y() + 2);
    return;
  }
  slideTimer_.stop();
  close();
}

void TAboutBox::Timer_CloseTimer() {
  timerClose_.stop();
  imageClose_->setEnabled(false);
  slidingIn_ = false;
  slideTimer_.start(stepDelay);
}

void TAboutBox::mousePressEvent(QMouseEvent* event) {
  if (imageClose_->isEnabled() && imageClose_->geometry().contains(event->position().toPoint()))
    Image_CloseClick();
  else
    FormClick();
}

void TAboutBox::FormClick() {
  if (!clickAddress_.empty()) QDesktopServices::openUrl(QUrl(QString::fromStdString(clickAddress_)));
}

void TAboutBox::Image_CloseClick() { close(); }

void TAboutBox::Image_CloseMouseMove(bool inside) {
  if (inside == highlighted_) return;
  highlighted_ = inside;
  imageClose_->setPixmap(closeButton(inside));
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == imageClose_) {
    if (event->type() == QEvent::MouseMove) {
      const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
      Image_CloseMouseMove(p.x() > 4 && p.x() < imageClose_->width() - 3 && p.y() > 4 &&
                           p.y() < imageClose_->height() - 3);
    } else if (event->type() == QEvent::Leave) {
      Image_CloseMouseMove(false);
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TAboutBox::closeEvent(QCloseEvent* event) {
  timerClose_.stop();
  slideTimer_.stop();
  noticeSlots().release(slot_);
  slot_ = -1;
  QWidget::closeEvent(event);
}

}  // namespace app
