#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QSpacerItem>
#include <QString>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/NestedLoop.h"

namespace platform {
namespace {

bool answerByDefault() {
  const char* v = std::getenv("TARVEX_DIALOG_ANSWERS");
  return v && std::strcmp(v, "default") == 0;
}

// What a box's Escape key answers: Cancel, No, or its one button.
int escapeAnswer(unsigned style) {
  switch (style & 0xF) {
    case kMbOkCancel: return kIdCancel;
    case kMbYesNo: return kIdNo;
    default: return kIdOk;
  }
}

int defaultAnswer(unsigned style) {
  switch (style & 0xF) {
    case kMbOkCancel: return kIdOk;
    case kMbYesNo: return kIdYes;
    default: return kIdOk;
  }
}

// A window manager cuts a caption that does not fit its title bar, so the box is made wide enough
// for the caption (in a bold title font) beside the bar's icon and three buttons.
constexpr int kTitleBarRoom = 120;

void fitCaption(QMessageBox& box) {
  QFont title = box.font();
  title.setBold(true);
  const int needed = QFontMetrics(title).horizontalAdvance(box.windowTitle()) + kTitleBarRoom;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(needed, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

// The window a box is asked from: the modal one, else the active one (none when the program has
// no window up, as for the tray's boxes).
QWidget* askingWindow() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

bool staysOnTop(const QWidget* w) {
  for (; w; w = w->parentWidget())
    if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) return true;
  return false;
}

// A box belongs to the window it was asked from, so that a window manager stacks it above that
// window (a top-most one too) and the window's user sees it; the window stays blocked meanwhile.
QMessageBox* makeBox(const std::string& text, const std::string& caption, unsigned style) {
  QWidget* owner = askingWindow();
  auto* box = new QMessageBox(style & kMbIconExclamation ? QMessageBox::Warning
                                                         : QMessageBox::NoIcon,
                              QString::fromStdString(caption), QString::fromStdString(text),
                              QMessageBox::NoButton, owner);
  switch (style & 0xF) {
    case kMbOkCancel: box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case kMbYesNo: box->setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box->setStandardButtons(QMessageBox::Ok); break;
  }
  if ((style & kMbTopMost) || staysOnTop(owner)) box->setWindowFlag(Qt::WindowStaysOnTopHint);
  fitCaption(*box);
  return box;
}

class QtMessageBoxes final : public MessageBoxes {
 public:
  int show(const std::string& text, const std::string& caption, unsigned style) override {
    if (answerByDefault()) return logged(text, caption, style);
    // Without a display nobody sees the box: it answers as its Escape key would.
    if (NestedLoop::windowsForbidden()) return escapeAnswer(style);
    // The owner deletes its children: a window that goes while the box is up takes the box along.
    const QPointer<QMessageBox> box(makeBox(text, caption, style));
    const int answer = NestedLoop::exec(*box);
    if (box) delete box.data();
    switch (answer) {
      case QMessageBox::Cancel: return kIdCancel;
      case QMessageBox::Yes: return kIdYes;
      case QMessageBox::No: return kIdNo;
      default: return kIdOk;
    }
  }

  void showModeless(const std::string& text, const std::string& caption,
                    unsigned style) override {
    if (answerByDefault()) {
      logged(text, caption, style);
      return;
    }
    if (NestedLoop::windowsForbidden()) return;
    QMessageBox* box = makeBox(text, caption, style);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
  }

 private:
  static int logged(const std::string& text, const std::string& caption, unsigned style) {
    std::fprintf(stderr, "tarvex: message box [%s] (0x%X): %s\n", caption.c_str(), style,
                 text.c_str());
    return defaultAnswer(style);
  }
};

QtMessageBoxes qtBoxes;
std::atomic<MessageBoxes*> installed{nullptr};

}  // namespace

QMessageBox* MakeMessageBox(const std::string& text, const std::string& caption, unsigned style) {
  return makeBox(text, caption, style);
}

MessageBoxes& messageBoxes() {
  MessageBoxes* b = installed.load();
  return b ? *b : qtBoxes;
}

void setMessageBoxes(MessageBoxes* boxes) { installed.store(boxes); }

}  // namespace platform
