#include "platform/MessageBoxes.h"

#include <QMessageBox>
#include <QString>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {
namespace {

bool answerByDefault() {
  const char* v = std::getenv("TARVEX_DIALOG_ANSWERS");
  return v && std::strcmp(v, "default") == 0;
}

int defaultAnswer(unsigned style) {
  switch (style & 0xF) {
    case kMbOkCancel: return kIdOk;
    case kMbYesNo: return kIdYes;
    default: return kIdOk;
  }
}

QMessageBox* makeBox(const std::string& text, const std::string& caption, unsigned style) {
  auto* box = new QMessageBox(style & kMbIconExclamation ? QMessageBox::Warning
                                                         : QMessageBox::NoIcon,
                              QString::fromStdString(caption), QString::fromStdString(text));
  switch (style & 0xF) {
    case kMbOkCancel: box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case kMbYesNo: box->setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box->setStandardButtons(QMessageBox::Ok); break;
  }
  if (style & kMbTopMost) box->setWindowFlag(Qt::WindowStaysOnTopHint);
  return box;
}

class QtMessageBoxes final : public MessageBoxes {
 public:
  int show(const std::string& text, const std::string& caption, unsigned style) override {
    if (answerByDefault()) return logged(text, caption, style);
    std::unique_ptr<QMessageBox> box(makeBox(text, caption, style));
    switch (box->exec()) {
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
