#include "app/TAboutBox.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/NoticeSlots.h"
#include "app/Shell.h"
#include "app/TMainFm.h"

namespace app {
namespace {

int stepDelay = 20;
constexpr int kLabelWidth = 217;
constexpr int kLabelHeight = 68;
int deviceNoticesSlidingIn = 0;  // PopupBusy holds while any is above zero

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
  setAttribute(Qt::WA_ShowWithoutActivating);  // the keyboard stays where the user works
  setFixedSize(NoticeSlots::kNoticeWidth, NoticeSlots::kNoticeHeight);
  panel1_ = new QWidget(this);
  panel1_->setGeometry(0, 0, width(), height());
  panel1_->setAutoFillBackground(true);
  panel1_->setStyleSheet("background-color: #FFF0CC; border: 1px solid navy;");
  labelCaption_ = new QLabel(kProductName, panel1_);
  labelCaption_->setGeometry(8, 2, 200, 18);
  labelCaption_->setStyleSheet("border: none; font-weight: bold; color: navy;");
  labelVersion_ = new QLabel(panel1_);
  labelVersion_->setGeometry(12, 24, kLabelWidth, kLabelHeight);
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
}

// The screen's area less its panels, as it is now: a panel that came after the start counts.
void TAboutBox::readWorkArea() {
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  noticeSlots().setWorkArea(work.left(), work.top(), work.left() + work.width(),
                            work.top() + work.height());
}

TAboutBox::~TAboutBox() {
  noticeSlots().release(slot_);
  holdPopupBusy(false);
}

void TAboutBox::ShowAbout(const std::string& version) {
  stepDelay = 20;
  clickAddress_.clear();
  labelVersion_->setText(QString::fromStdString("Version : " + version + kCopyright));
  fitText();
  readWorkArea();
  targetLine_ = noticeSlots().workBottom();
  SlideIn();
}

void TAboutBox::ShowNewVersion(const std::string& version, const std::string& address) {
  stepDelay = 20;
  clickAddress_ = address;
  labelVersion_->setText(
      QString::fromStdString(std::string(kProductName) + " " + version + " is\nnow avaiable !"));
  labelVersion_->setWordWrap(false);  // it breaks where its text does, nowhere else
  labelVersion_->move(labelVersion_->x() + 12, labelVersion_->y() + 16);
  fitText();
  readWorkArea();
  targetLine_ = noticeSlots().workBottom();
  SlideIn();
}

bool TAboutBox::ShowDeviceFound(const std::string& displayName) {
  stepDelay = 10;
  clickAddress_.clear();
  labelVersion_->setText(QString::fromStdString("Found\n\n" + displayName));
  fitText();
  readWorkArea();
  slot_ = noticeSlots().take(height());
  if (slot_ < 0) {
    close();
    return false;
  }
  targetLine_ = noticeSlots().targetLine(slot_);
  SlideIn();
  holdPopupBusy(true);  // the tray ignores the mouse until the notice stands
  return true;
}

void TAboutBox::holdPopupBusy(bool hold) {
  if (hold == holdsPopupBusy_) return;
  holdsPopupBusy_ = hold;
  deviceNoticesSlidingIn += hold ? 1 : -1;
  PopupBusy = deviceNoticesSlidingIn > 0;
}

// The notice stands at its resting place from the first step, inside the work area, and only its
// panel moves: it rises two pixels a step from the notice's bottom edge, the part above it cut
// away, so that no window manager's placement of a moving window changes where it ends. A timer
// drives the steps so that the window keeps working meanwhile.
void TAboutBox::SlideIn() {
  // Runs without a person at the screen say what they show, as they do for message boxes.
  if (const char* v = std::getenv("TARVEX_DIALOG_ANSWERS"); v && std::string(v) == "default")
    std::fprintf(stderr, "tarvex: notice: %s\n", labelVersion_->text().toStdString().c_str());
  const NoticeRect rest = noticeSlots().restRect(slot_, height(), width());
  move(rest.left, rest.top);
  imageClose_->setEnabled(false);
  showPanel(2);
  show();
  slidingIn_ = true;
  slideTimer_.start(stepDelay);
}

// The panel's top part, `visible` pixels of it, at the notice's bottom edge; nothing above it.
void TAboutBox::showPanel(int visible) {
  visible_ = std::clamp(visible, 0, height());
  panel1_->setGeometry(0, height() - visible_, width(), visible_);
  if (visible_ >= height()) clearMask();
  else setMask(QRegion(0, height() - visible_, width(), std::max(visible_, 1)));
}

void TAboutBox::slideStep(bool in) {
  slideTimer_.setInterval(stepDelay);
  if (in) {
    if (visible_ < height()) {
      showPanel(visible_ + 2);
      return;
    }
    slideTimer_.stop();
    imageClose_->setEnabled(true);
    timerClose_.start();
    holdPopupBusy(false);
    return;
  }
  if (visible_ > 0) {
    showPanel(visible_ - 2);
    return;
  }
  slideTimer_.stop();
  close();
}

// The message is shown whole: a wrapping label keeps inside the notice and grows down as its text
// needs; one that breaks only at its own line ends is as wide as its longest line. The notice
// grows with it (fonts here are larger than the ones its size was made for).
void TAboutBox::fitText() {
  constexpr int kMargin = 6;
  int w = NoticeSlots::kNoticeWidth;
  const int labelWidth = std::min(kLabelWidth, w - labelVersion_->x() - kMargin);
  if (labelVersion_->wordWrap()) {
    labelVersion_->resize(labelWidth, std::max(kLabelHeight, labelVersion_->heightForWidth(labelWidth)));
  } else {
    const QSize needed = labelVersion_->sizeHint();
    labelVersion_->resize(std::max(labelWidth, needed.width()), std::max(kLabelHeight, needed.height()));
    w = std::max(w, labelVersion_->x() + labelVersion_->width() + kMargin);
  }
  const int h = std::max(NoticeSlots::kNoticeHeight,
                         labelVersion_->y() + labelVersion_->height() + kMargin);
  setFixedSize(w, h);
  panel1_->setGeometry(0, 0, w, h);
  imageClose_->move(w - 20, imageClose_->y());
}

void TAboutBox::StandAtRest() {
  if (!slidingIn_ || !slideTimer_.isActive()) return;
  showPanel(height());
  slideStep(true);
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
  if (!clickAddress_.empty()) OpenWebAddress(clickAddress_);
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
  holdPopupBusy(false);
  QWidget::closeEvent(event);
}

}  // namespace app
