#pragma once
// The dialog shown when a storage device to be disconnected is busy: "Disconnect" (the default)
// stops it hard, "Cancel" keeps it connected.
#include <QDialog>
#include <functional>
#include <string>

#include "app/Eject.h"

class QLabel;
class QPushButton;

namespace app {

class TEjectDeviceDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TEjectDeviceDlg(QWidget* parent = nullptr);
  std::string DeviceName;
  EjectTrouble Trouble = EjectTrouble::Busy;
  // Shows the dialog modally; true for "Disconnect" (mrOk), false for "Cancel".
  bool ShowModal();
  // Tests (and runs without a person, TARVEX_DIALOG_ANSWERS=default) answer here instead.
  static std::function<bool(const std::string& deviceName)> answer;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* label_;
  QPushButton* disconnect_;
};

}  // namespace app
