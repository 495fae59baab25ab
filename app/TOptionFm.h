#pragma once
// The options dialog "Advance Options": the start with the session, the two notifications, the
// days between version checks, when the next check is due, and the check on demand with its
// result panel.
#include <QDialog>
#include <ctime>
#include <string>
#include <vector>

#include "app/MainSettings.h"
#include "app/VersionQuery.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace app {

// What the dialog reads and changes of the main window.
class OptionHost {
 public:
  virtual ~OptionHost() = default;
  virtual NotifySettings& optionNotify() = 0;
  virtual std::string optionProductVersion() const = 0;
  virtual bool notifyTimerActive() const = 0;
  virtual void setNotifyTimerActive(bool on) = 0;
};

class TOptionFm : public QDialog {
  Q_OBJECT
 public:
  explicit TOptionFm(OptionHost& host, QWidget* parent = nullptr);

  // The version query: true when a reply came and was read. `quiet` leaves out the message box
  // (the automatic check). Sites are given only when both lists are.
  bool CheckVersion(std::string& major, std::string& minor, std::string* date,
                    std::vector<std::string>* siteNames, std::vector<std::string>* siteUrls,
                    bool quiet = false);
  void ShowNextNotifyDate(std::time_t lastCheck);
  // Ends a running query at once, with no message (the program is ending).
  void CancelVersionCheck() { query_.Cancel(); }
  bool versionCheckRunning() const { return query_.running(); }
  VersionQueryLimits queryLimits;

  void FormShow();
  void OKBtnClick();
  void Edit_CheckDaysExit();
  void Btn_CheckNowClick();
  void Btn_DownloadClick();
  void ComboBox_SiteChange(int index);

  int designedHeight() const { return designedHeight_; }
  int compactHeight() const;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showPanel(bool shown);

  OptionHost& host_;
  VersionQuery query_;
  QCheckBox* autoRun_;
  QCheckBox* notifyNewDevice_;
  QCheckBox* notifyNewVersion_;
  QLineEdit* checkDays_;
  QLabel* nextDate_;
  QPushButton* checkNow_;
  QLabel* latestVer_;
  QFrame* panelCheck_;
  QLabel* lv_;
  QLabel* lvDate_;
  QComboBox* site_;
  QComboBox* url_;
  QPlainTextEdit* xmlMemo_;
  int designedHeight_ = 0;
  std::string lastGoodDays_;
  bool checking_ = false;
};

}  // namespace app
