#pragma once
// A notice that slides up at the corner of the work area, rests ten seconds and slides down: the
// about notice, the new-version notice and the device-found notice.
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <string>

namespace app {

class TAboutBox : public QWidget {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
  ~TAboutBox() override;

  void ShowAbout(const std::string& version);
  void ShowNewVersion(const std::string& version, const std::string& address);
  // False when every slot is taken (the notice is then not shown and closes itself).
  bool ShowDeviceFound(const std::string& displayName);

  int slot() const { return slot_; }
  int targetLine() const { return targetLine_; }
  const std::string& clickAddress() const { return clickAddress_; }
  QString message() const { return labelVersion_->text(); }
  // Ends the slide-in at once: the notice stands at its resting place (pictures of it).
  void StandAtRest();
  // Milliseconds per slide step; shared by every notice.
  static int stepDelayMs();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SlideIn();
  void showPanel(int visible);
  static void readWorkArea();
  void holdPopupBusy(bool hold);
  void fitText();
  void slideStep(bool in);
  void Timer_CloseTimer();
  void FormClick();
  void Image_CloseClick();
  void Image_CloseMouseMove(bool inside);

  QWidget* panel1_;
  QLabel* labelCaption_;
  QLabel* labelVersion_;
  QLabel* imageClose_;
  QTimer timerClose_;
  QTimer slideTimer_;
  bool slidingIn_ = false;
  int targetLine_ = 0;
  int visible_ = 0;  // pixels of the panel shown
  int slot_ = -1;
  std::string clickAddress_;
  bool highlighted_ = false;
  bool holdsPopupBusy_ = false;
};

}  // namespace app
