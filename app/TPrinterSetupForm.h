#pragma once
// The printer set-up dialog: the installed printers with their ports, and the port tools. The
// program creates it at start; no command of the program opens it.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "printing/PrinterSetup.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace app {

class TPrinterSetupForm : public QDialog {
  Q_OBJECT
 public:
  // The queues bound in the printer auto-connect list, asked on every refresh.
  using BoundQueues = std::function<std::vector<std::string>()>;
  TPrinterSetupForm(std::uint32_t windowsVersionFlags, BoundQueues boundQueues,
                    QWidget* parent = nullptr);

  void ListPrinterBtnClick();
  void SetPortBtnClick();
  void DeleteJobsBitBtnClick();
  void AddNewPrinterBtnClick();
  printing::PrinterSetup& setup() { return setup_; }
  QTreeWidget& PrinterListView() { return *list_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void fillList();
  void syncButtons();

  printing::PrinterSetup setup_;
  BoundQueues boundQueues_;
  QTreeWidget* list_ = nullptr;
  QPushButton* setPortBtn_ = nullptr;
  QPushButton* deleteJobsBtn_ = nullptr;
  QPushButton* addNewPrinterBtn_ = nullptr;
  QLabel* portNameSText_ = nullptr;
  QLabel* queueNameSText_ = nullptr;
  bool filling_ = false;
};

}  // namespace app
