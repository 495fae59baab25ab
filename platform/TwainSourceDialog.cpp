#include "platform/TwainSourceDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QPointer>
#include <QVBoxLayout>
#include <map>

#include "platform/AppMessages.h"

namespace platform::twain {
namespace {

// The Qt windows that stand as parents of sources' windows, by their handles.
std::map<std::uint32_t, QPointer<QWidget>>& parentWidgets() {
  static std::map<std::uint32_t, QPointer<QWidget>> widgets;
  return widgets;
}

QWidget* widgetOf(std::uint32_t handle) {
  const auto it = parentWidgets().find(handle);
  return it == parentWidgets().end() ? nullptr : it->second.data();
}

class QtSourceWindows final : public SourceWindows {
 public:
  // A dialog without an owner would sit behind a stay-on-top window and, while a modal window
  // runs, take no input at all: it belongs to the window the application named.
  int open(const SourceWindowInfo& info, std::function<void(SourceWindowChoice)> answer) override {
    QWidget* owner = widgetOf(info.parent);
    auto* dialog = new TwainSourceDialog(info, std::move(answer), owner);
    if (owner && owner->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
      dialog->setWindowFlag(Qt::WindowStaysOnTopHint);
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

std::uint32_t parentHandleFor(QWidget* window) {
  for (const auto& [handle, widget] : parentWidgets())
    if (widget == window) return handle;
  // Notifications are posted to the parent, so it is a window of the message queue.
  const std::uint32_t handle = createMessageWindow({});
  parentWidgets()[handle] = window;
  QObject::connect(window, &QObject::destroyed, [handle] {
    parentWidgets().erase(handle);
    destroyMessageWindow(handle);
  });
  return handle;
}

void installQtTwain() {
  if (!qApp) return;
  setSourceWindows(&qtWindows());
  setMessageWakeHook([] {
    QMetaObject::invokeMethod(qApp, [] { processMessages(); }, Qt::QueuedConnection);
  });
}

}  // namespace platform::twain
