#pragma once
// The sources' own window in a Qt program: a small dialog with the source's name, "Scan" and
// "Close", owned by the window the application named as its parent. installQtTwain() also wakes
// the application's message queue from Qt's event loop.
#include <QDialog>
#include <cstdint>
#include <functional>

#include "platform/TwainManager.h"

class QLabel;
class QPushButton;

namespace platform::twain {

class TwainSourceDialog : public QDialog {
  Q_OBJECT
 public:
  TwainSourceDialog(const SourceWindowInfo& info, std::function<void(SourceWindowChoice)> answer,
                    QWidget* parent = nullptr);
  QPushButton* scanButton() const { return scan_; }
  QPushButton* closeButton() const { return close_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  std::function<void(SourceWindowChoice)> answer_;
  QPushButton* scan_;
  QPushButton* close_;
};

// The dialogs shown now (tests answer them), newest last.
std::vector<TwainSourceDialog*> openSourceDialogs();

// Once per program, after the QApplication exists; harmless when called again.
void installQtTwain();

// The handle that stands for a Qt window as the parent of a source's window
// (TW_USERINTERFACE.hParent): the source's dialog is then that window's own, stacked above it and
// open to the user while it is modal. Made on first use, dropped with the window.
std::uint32_t parentHandleFor(QWidget* window);

}  // namespace platform::twain
