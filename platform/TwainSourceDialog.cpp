#include "platform/TwainSourceDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <map>

#include "platform/AppMessages.h"

namespace platform::twain {
namespace {

class QtSourceWindows final : public SourceWindows {
 public:
  int open(const SourceWindowInfo& info, std::function<void(SourceWindowChoice)> answer) override {
    auto* dialog = new TwainSourceDialog(info, std::move(answer));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const int id = next_++;
    dialogs_[id] = dialog;
    QObject::connect(dialog, &QObject::destroyed, [this, id] { dialogs_.erase(id); });
    dialog->show();
    return id;
  }
  void close(int window) override {
    auto it = dialogs_.find(window);
    if (it == dialogs_.end()) return;
    TwainSourceDialog* dialog = it->second;
    dialogs_.erase(it);
    dialog->hide();
    dialog->deleteLater();
  }
  std::vector<TwainSourceDialog*> shown() const {
    std::vector<TwainSourceDialog*> out;
    for (const auto& [id, d] : dialogs_) out.push_back(d);
    return out;
  }

 private:
  std::map<int, TwainSourceDialog*> dialogs_;
  int next_ = 1;
};

QtSourceWindows& qtWindows() {
  static QtSourceWindows windows;
  return windows;
}

}  // namespace

TwainSourceDialog::TwainSourceDialog(const SourceWindowInfo& info,
                                     std::function<void(SourceWindowChoice)> answer,
                                     QWidget* parent)
    : QDialog(parent), answer_(std::move(answer)) {
  setWindowTitle(QString::fromStdString(info.productName));
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(QString::fromStdString(info.productName), this);
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  layout->addWidget(name);
  if (!info.manufacturer.empty())
    layout->addWidget(new QLabel(QString::fromStdString(info.manufacturer), this));
  layout->addWidget(new QLabel(tr("Place the pages on the scanner, then press Scan."), this));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  scan_ = new QPushButton(tr("Scan"), this);
  close_ = new QPushButton(tr("Close"), this);
  scan_->setDefault(true);
  buttons->addWidget(scan_);
  buttons->addWidget(close_);
  layout->addLayout(buttons);
  connect(scan_, &QPushButton::clicked, this, [this] {
    if (answer_) answer_(SourceWindowChoice::Scan);
  });
  connect(close_, &QPushButton::clicked, this, [this] {
    if (answer_) answer_(SourceWindowChoice::Close);
  });
}

// The window's close box asks the application to close the source, as Close does; the source
// takes the window down when it is disabled.
void TwainSourceDialog::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (answer_) answer_(SourceWindowChoice::Close);
}

void TwainSourceDialog::reject() {
  if (answer_) answer_(SourceWindowChoice::Close);
}

std::vector<TwainSourceDialog*> openSourceDialogs() { return qtWindows().shown(); }

void installQtTwain() {
  if (!qApp) return;
  setSourceWindows(&qtWindows());
  setMessageWakeHook([] {
    QMetaObject::invokeMethod(qApp, [] { processMessages(); }, Qt::QueuedConnection);
  });
}

}  // namespace platform::twain
