#include "app/TEjectDeviceDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Eject.h"

namespace app {

std::function<bool(const std::string&)> TEjectDeviceDlg::answer;

TEjectDeviceDlg::TEjectDeviceDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("TEjectDeviceDlg");
  setWindowTitle("Network USB Utility");
  auto* picture = new QLabel(this);
  picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
  label_ = new QLabel(this);
  label_->setWordWrap(true);
  label_->setMinimumWidth(320);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* disconnect = buttons->addButton("Disconnect", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancel", QDialogButtonBox::RejectRole);  // Escape chooses it too
  disconnect->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addWidget(picture, 0, Qt::AlignTop);
  row->addWidget(label_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
}

void TEjectDeviceDlg::showEvent(QShowEvent* event) {
  label_->setText(QString::fromStdString(EjectDialogText(DeviceName)));
  QDialog::showEvent(event);
}

bool TEjectDeviceDlg::ShowModal() {
  if (answer) return answer(DeviceName);
  if (const char* v = std::getenv("TARVEX_DIALOG_ANSWERS"); v && std::strcmp(v, "default") == 0) {
    std::fprintf(stderr, "tarvex: dialog: %s\n", EjectDialogText(DeviceName).c_str());
    return true;
  }
  return exec() == QDialog::Accepted;
}

}  // namespace app
