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
#include "platform/NestedLoop.h"

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
  disconnect_ = buttons->addButton("Disconnect", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancel", QDialogButtonBox::RejectRole);  // Escape chooses it too
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addWidget(picture, 0, Qt::AlignTop);
  row->addWidget(label_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
}

// The text is set, and the dialog sized to it, before it shows: a word-wrapped message needs the
// height its lines take at the dialog's width.
void TEjectDeviceDlg::showEvent(QShowEvent* event) {
  const QString text = QString::fromStdString(EjectDialogText(DeviceName, Trouble));
  if (label_->text() != text) {
    label_->setText(text);
    layout()->activate();
    setMinimumHeight(layout()->heightForWidth(width()) > 0 ? layout()->heightForWidth(width())
                                                            : sizeHint().height());
    adjustSize();
  }
  // The dialog is kept for reuse: a button given the focus last time (Cancel, clicked) would be
  // the default now. Enter means "Disconnect" every time it opens.
  disconnect_->setDefault(true);
  disconnect_->setFocus();
  QDialog::showEvent(event);
}

bool TEjectDeviceDlg::ShowModal() {
  if (answer) return answer(DeviceName);
  if (const char* v = std::getenv("TARVEX_DIALOG_ANSWERS"); v && std::strcmp(v, "default") == 0) {
    std::fprintf(stderr, "tarvex: dialog: %s\n", EjectDialogText(DeviceName, Trouble).c_str());
    return true;
  }
  return platform::NestedLoop::exec(*this) == QDialog::Accepted;
}

}  // namespace app
