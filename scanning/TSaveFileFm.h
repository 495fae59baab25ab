#pragma once
// The small "please wait" window shown while a group or a single picture is saved.
#include <QWidget>

class QLabel;
class QProgressBar;
class QTimer;

namespace scanning {

class TSaveFileFm : public QWidget {
  Q_OBJECT
 public:
  explicit TSaveFileFm(QWidget* parent = nullptr);

  QProgressBar* ProgressBar1 = nullptr;  // below the visible area; nothing starts it
  QLabel* Label3 = nullptr;              // hidden: the bar's position
  QTimer* Timer1 = nullptr;              // 200 ms, off

  // Shown over the window that saves (centred on it) and painted at once.
  void ShowOver(QWidget* owner);

 private:
  void Timer1Timer();
};

}  // namespace scanning
