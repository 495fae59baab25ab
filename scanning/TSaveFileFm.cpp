#include "scanning/TSaveFileFm.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>

namespace scanning {

TSaveFileFm::TSaveFileFm(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint) {
  setWindowTitle("Save to File...");
  setFixedSize(287, 71);
  setCursor(Qt::WaitCursor);

  auto* title = new QLabel("!!!  Saving Picture  !!!", this);
  title->setGeometry(24, 10, 239, 24);
  title->setAlignment(Qt::AlignCenter);
  title->setFrameStyle(QFrame::Panel | QFrame::Raised);
  title->setStyleSheet("color: navy; font-weight: bold;");

  auto* wait = new QLabel("Please wait a moment !", this);
  wait->setGeometry(24, 42, 239, 20);
  wait->setAlignment(Qt::AlignCenter);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setGeometry(8, 80, 271, 16);
  Label3 = new QLabel(this);
  Label3->hide();

  Timer1 = new QTimer(this);
  Timer1->setInterval(200);
  connect(Timer1, &QTimer::timeout, this, &TSaveFileFm::Timer1Timer);
}

void TSaveFileFm::ShowOver(QWidget* owner) {
  const QRect area = owner ? owner->frameGeometry()
                           : (screen() ? screen()->availableGeometry() : QRect(0, 0, 800, 600));
  move(area.center() - rect().center());
  show();
  repaint();
}

void TSaveFileFm::Timer1Timer() {
  QApplication::processEvents();
  int v = ProgressBar1->value() + 1;
  if (v > ProgressBar1->maximum()) v = ProgressBar1->minimum();
  ProgressBar1->setValue(v);
  Label3->setText(QString::number(v));
}

}  // namespace scanning
