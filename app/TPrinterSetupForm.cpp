#include "app/TPrinterSetupForm.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/Dialogs.h"
#include "app/TMainFm.h"

namespace app {

TPrinterSetupForm::TPrinterSetupForm(std::uint32_t flags, BoundQueues boundQueues, QWidget* parent)
    : QDialog(parent),
      setup_(flags,
             [](const std::string& text) { messageBoxes().show(text, kProductName, kMbOk); }),
      boundQueues_(std::move(boundQueues)) {
  setObjectName("TPrinterSetupForm");
  auto* label1 = new QLabel(
      "==================== Installed Printers List ====================", this);
  label1->setObjectName("Label1");
  list_ = new QTreeWidget(this);
  list_->setObjectName("PrinterListView");
  list_->setHeaderLabels({"Printer Name", "Port Name", "Port Type"});
  list_->setRootIsDecorated(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setMinimumSize(460, 220);
  list_->header()->setSectionsClickable(true);
  list_->header()->resizeSection(0, 220);
  list_->header()->resizeSection(1, 150);

  auto* staticText1 = new QLabel("Printer Port :", this);
  staticText1->setObjectName("StaticText1");
  portNameSText_ = new QLabel(QString::fromStdString(setup_.portText), this);
  portNameSText_->setObjectName("PortNameSText");
  queueNameSText_ = new QLabel(QString::fromStdString(setup_.queueText), this);
  queueNameSText_->setObjectName("QueueNameSText");

  auto* listPrinterBtn = new QPushButton("Refresh", this);
  listPrinterBtn->setObjectName("ListPrinterBtn");
  setPortBtn_ = new QPushButton("Set Port to Printer", this);
  setPortBtn_->setObjectName("SetPortBtn");
  addNewPrinterBtn_ = new QPushButton("Add New Printer", this);
  addNewPrinterBtn_->setObjectName("AddNewPrinterBtn");
  deleteJobsBtn_ = new QPushButton("Delete Jobs", this);
  deleteJobsBtn_->setObjectName("DeleteJobsBitBtn");
  deleteJobsBtn_->hide();
  auto* okBtn = new QPushButton("&Close", this);
  okBtn->setObjectName("OKBtn");

  auto* portRow = new QHBoxLayout;
  portRow->addWidget(staticText1);
  portRow->addWidget(portNameSText_);
  portRow->addWidget(queueNameSText_);
  portRow->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(listPrinterBtn);
  buttons->addWidget(setPortBtn_);
  buttons->addWidget(addNewPrinterBtn_);
  buttons->addWidget(deleteJobsBtn_);
  buttons->addStretch(1);
  buttons->addWidget(okBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label1);
  layout->addWidget(list_, 1);
  layout->addLayout(portRow);
  layout->addLayout(buttons);

  connect(listPrinterBtn, &QPushButton::clicked, this, [this] { ListPrinterBtnClick(); });
  connect(setPortBtn_, &QPushButton::clicked, this, [this] { SetPortBtnClick(); });
  connect(deleteJobsBtn_, &QPushButton::clicked, this, [this] { DeleteJobsBitBtnClick(); });
  connect(addNewPrinterBtn_, &QPushButton::clicked, this, [this] { AddNewPrinterBtnClick(); });
  connect(okBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (filling_) return;
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    setup_.Select(list_->selectedItems().isEmpty() || row < 0
                      ? std::nullopt
                      : std::optional<std::size_t>(static_cast<std::size_t>(row)));
    syncButtons();
  });
  connect(list_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
    setup_.SortBy(column);
    fillList();
  });
  syncButtons();
}

void TPrinterSetupForm::showEvent(QShowEvent* event) {
  setWindowTitle(QString::fromStdString(printing::PrinterSetup::Caption(kMakerText, kProductName)));
  addNewPrinterBtn_->setVisible(setup_.addNewPrinterShown());
  ListPrinterBtnClick();
  QDialog::showEvent(event);
}

void TPrinterSetupForm::ListPrinterBtnClick() {
  setup_.Refresh(boundQueues_ ? boundQueues_() : std::vector<std::string>{});
  fillList();
}

void TPrinterSetupForm::fillList() {
  filling_ = true;
  list_->clear();
  const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
  for (std::size_t i = 0; i < setup_.rows().size(); ++i) {
    const printing::PrinterRow& row = setup_.rows()[i];
    auto* item = new QTreeWidgetItem(list_, {QString::fromStdString(row.caption),
                                             QString::fromStdString(row.port),
                                             QString::fromStdString(row.type)});
    if (setup_.greyed(i))
      for (int c = 0; c < 3; ++c) item->setForeground(c, grey);
  }
  if (setup_.selected()) list_->setCurrentItem(list_->topLevelItem(static_cast<int>(*setup_.selected())));
  filling_ = false;
  syncButtons();
}

void TPrinterSetupForm::syncButtons() {
  setPortBtn_->setEnabled(setup_.setPortEnabled());
  deleteJobsBtn_->setEnabled(setup_.deleteJobsEnabled());
  list_->setEnabled(setup_.listEnabled());
}

void TPrinterSetupForm::SetPortBtnClick() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  setPortBtn_->setEnabled(false);
  setup_.SetPort();
  QApplication::restoreOverrideCursor();
  fillList();
}

void TPrinterSetupForm::DeleteJobsBitBtnClick() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  deleteJobsBtn_->setEnabled(false);
  setup_.DeleteJobs();
  QApplication::restoreOverrideCursor();
  syncButtons();
}

void TPrinterSetupForm::AddNewPrinterBtnClick() { setup_.AddNewPrinter(); }

}  // namespace app
