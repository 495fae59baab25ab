#include "app/TOptionFm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Dialogs.h"
#include "app/Shell.h"
#include "app/TMainFm.h"
#include "app/VersionCheckRules.h"
#include "app/VersionQuery.h"
#include "app/VersionReply.h"
#include "app/WindowPlace.h"
#include "core/SettingsStore.h"
#include "core/NetInfo.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"

namespace app {
namespace {

constexpr const char* kConnectionFailed = "Connection failed, please try again.";

void store(const char* name, const std::string& value) {
  core::WriteSetting(platform::RegRoot::CurrentUser, core::kSettingsKey, name, value, true, false);
}

QLabel* label(const char* name, const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  return l;
}

}  // namespace

TOptionFm::TOptionFm(OptionHost& host, QWidget* parent) : QDialog(parent), host_(host) {
  setObjectName("TOptionFm");
  setWindowTitle("Advance Options");
  setModal(true);
  setFixedWidth(400);
  auto* layout = new QVBoxLayout(this);
  auto* title = label("Label_Title", "Advance Options", this);
  title->setStyleSheet("font-weight: bold; font-size: 14px; color: navy;");
  layout->addWidget(title);

  autoRun_ = new QCheckBox(QString("Run ") + kProductName + " when Windows starts", this);
  autoRun_->setObjectName("CheckBox_AutoRun");
  notifyNewDevice_ = new QCheckBox("Notify me if there are any new USB devices detected", this);
  notifyNewDevice_->setObjectName("CheckBox_NotifyNewDevice");
  notifyNewVersion_ = new QCheckBox("Notify me if there is a new version released", this);
  notifyNewVersion_->setObjectName("CheckBox_NotifyNewVersion");
  layout->addWidget(autoRun_);
  layout->addWidget(notifyNewDevice_);
  layout->addWidget(notifyNewVersion_);

  auto* days = new QHBoxLayout;
  days->addWidget(label("Label_CheckDays", "Check for updates every : ", this));
  checkDays_ = new QLineEdit("60", this);
  checkDays_->setObjectName("Edit_CheckDays");
  checkDays_->setMaxLength(3);
  checkDays_->setFixedWidth(40);
  checkDays_->installEventFilter(this);
  days->addWidget(checkDays_);
  days->addWidget(label("Label_CheckDays1", "days (60 - 365 days)", this));
  days->addStretch();
  layout->addLayout(days);

  auto* next = new QHBoxLayout;
  next->addWidget(label("Label_LastDay0", "Next Notification : ", this));
  nextDate_ = label("Label_NextDate", "", this);
  next->addWidget(nextDate_);
  next->addStretch();
  layout->addLayout(next);

  checkNow_ = new QPushButton("Check for a new version now...", this);
  checkNow_->setObjectName("Btn_CheckNow");
  layout->addWidget(checkNow_, 0, Qt::AlignLeft);
  latestVer_ = label("Label_LatestVer", "This version is the latest version.", this);
  latestVer_->hide();
  layout->addWidget(latestVer_);

  panelCheck_ = new QFrame(this);
  panelCheck_->setObjectName("Panel_Check");
  panelCheck_->setFrameShape(QFrame::StyledPanel);
  auto* grid = new QGridLayout(panelCheck_);
  auto* checkTitle = label("LabelChecklv", "Check latest version", panelCheck_);
  checkTitle->setStyleSheet("font-weight: bold;");
  grid->addWidget(checkTitle, 0, 0, 1, 3);
  grid->addWidget(label("Label_LV0", "Latest Version : ", panelCheck_), 1, 0);
  lv_ = label("Label_LV", "", panelCheck_);
  grid->addWidget(lv_, 1, 1, 1, 2);
  grid->addWidget(label("Label_LVDate0", "Latest Version Date : ", panelCheck_), 2, 0);
  lvDate_ = label("Label_LVDate", "", panelCheck_);
  grid->addWidget(lvDate_, 2, 1, 1, 2);
  grid->addWidget(label("Label_Site0", "Available Download Site : ", panelCheck_), 3, 0);
  site_ = new QComboBox(panelCheck_);
  site_->setObjectName("ComboBox_Site");
  grid->addWidget(site_, 3, 1);
  auto* download = new QPushButton("Download", panelCheck_);
  download->setObjectName("Btn_Download");
  grid->addWidget(download, 3, 2);
  url_ = new QComboBox(panelCheck_);
  url_->setObjectName("ComboBox_URL");
  url_->hide();
  layout->addWidget(panelCheck_);

  xmlMemo_ = new QPlainTextEdit(this);
  xmlMemo_->setObjectName("XMLMemo");
  xmlMemo_->setReadOnly(true);
  xmlMemo_->hide();

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKBtn");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("CancelBtn");
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  connect(ok, &QPushButton::clicked, this, [this] {
    OKBtnClick();
    done(kIdOk);
  });
  connect(cancel, &QPushButton::clicked, this, [this] { done(kIdCancel); });
  connect(checkNow_, &QPushButton::clicked, this, &TOptionFm::Btn_CheckNowClick);
  connect(download, &QPushButton::clicked, this, &TOptionFm::Btn_DownloadClick);
  connect(site_, &QComboBox::currentIndexChanged, this, &TOptionFm::ComboBox_SiteChange);

  // The designed height holds the check panel.
  designedHeight_ = sizeHint().height();
  showPanel(false);
}

int TOptionFm::compactHeight() const {
  return designedHeight_ - panelCheck_->sizeHint().height() + 20;
}

void TOptionFm::showPanel(bool shown) {
  panelCheck_->setVisible(shown);
  setFixedHeight(shown ? designedHeight_ : compactHeight());
  if (isVisible()) KeepOnScreen(*this);  // grown at the screen's bottom, it moves up
}

void TOptionFm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

bool TOptionFm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == checkDays_ && event->type() == QEvent::FocusOut) Edit_CheckDaysExit();
  return QDialog::eventFilter(watched, event);
}

void TOptionFm::FormShow() {
  std::string autoRun;
  core::ReadSetting(platform::RegRoot::CurrentUser, core::kSettingsKey, core::kAutoRunCheck, autoRun);
  autoRun_->setChecked(autoRun != "0");
  latestVer_->hide();
  showPanel(false);
  const NotifySettings& n = host_.optionNotify();
  notifyNewDevice_->setChecked(n.deviceDetect);
  notifyNewVersion_->setChecked(n.newVersion);
  lastGoodDays_ = std::to_string(n.checkDays);
  checkDays_->setText(QString::fromStdString(lastGoodDays_));
  nextDate_->clear();
  if (n.lastDate > 0)
    if (const auto last = UnpackDosDateTime(n.lastDate)) ShowNextNotifyDate(*last);
  checkNow_->setEnabled(core::GetLocalIpList());
}

void TOptionFm::ShowNextNotifyDate(std::time_t lastCheck) {
  nextDate_->setText(
      QString::fromStdString(FormatNextNotifyDate(lastCheck, host_.optionNotify().checkDays)));
}

// A value out of range brings the message and the last accepted value back.
void TOptionFm::Edit_CheckDaysExit() {
  const std::string text = checkDays_->text().toStdString();
  if (ParseCheckDays(text)) {
    lastGoodDays_ = text;
    return;
  }
  messageBoxes().show("Please input the 60 - 365 integer.", kProductName, kMbOk);
  checkDays_->setText(QString::fromStdString(lastGoodDays_));  // also clears its undo history
}

void TOptionFm::OKBtnClick() {
  Edit_CheckDaysExit();  // Enter may press OK while the edit still has the focus
  const bool autoRun = autoRun_->isChecked();
  store(core::kAutoRunCheck, autoRun ? "1" : "0");
  platform::setAutostart(autoRun, QCoreApplication::applicationFilePath().toStdString());
  NotifySettings& n = host_.optionNotify();
  n.deviceDetect = notifyNewDevice_->isChecked();
  n.newVersion = notifyNewVersion_->isChecked();
  store(core::kNotifyDeviceDetect, n.deviceDetect ? "1" : "0");
  store(core::kNotifyNewVersion, n.newVersion ? "1" : "0");
  const std::string days = checkDays_->text().toStdString();
  store(core::kNotifyCheckDays, days);
  if (const auto d = ParseCheckDays(days)) n.checkDays = *d;
}

bool TOptionFm::CheckVersion(std::string& major, std::string& minor, std::string* date,
                             std::vector<std::string>* siteNames,
                             std::vector<std::string>* siteUrls, bool quiet) {
  const auto fail = [&] {
    if (!quiet) messageBoxes().show(kConnectionFailed, kProductName, kMbWarnTopMost);
    checkNow_->unsetCursor();
    return false;
  };
  const HttpOutcome fetched = query_.Fetch(VersionServerHost(), queryLimits);
  if (fetched.cancelled) {
    checkNow_->unsetCursor();
    return false;
  }
  if (!fetched.ok) return fail();
  xmlMemo_->setPlainText(QString::fromUtf8(fetched.body));
  const VersionReplyResult reply = ReadVersionReply(fetched.body);
  if (reply.status != VersionReplyStatus::Read) return fail();
  major = reply.info.major;
  minor = reply.info.minor;
  if (date) *date = reply.info.date;
  if (siteNames && siteUrls) {
    *siteNames = reply.info.siteNames;
    *siteUrls = reply.info.siteUrls;
  }
  return true;
}

void TOptionFm::Btn_CheckNowClick() {
  if (checking_) return;
  checking_ = true;
  checkNow_->setCursor(Qt::WaitCursor);
  const bool timerWasOn = host_.notifyTimerActive();
  host_.setNotifyTimerActive(false);
  std::string major, minor, date;
  std::vector<std::string> names, urls;
  if (CheckVersion(major, minor, &date, &names, &urls) && !major.empty() && !minor.empty()) {
    if (IsNewerVersion(major, minor, host_.optionProductVersion())) {
      const std::time_t now = platform::clock().wallTime();
      NotifySettings& n = host_.optionNotify();
      n.lastDate = PackDosDateTime(now);
      store(core::kNotifyLastDate, std::to_string(n.lastDate));
      ShowNextNotifyDate(now);
      lv_->setText(QString::fromStdString(major + "." + minor));
      lvDate_->setText(QString::fromStdString(DateWithSlashes(date)));
      site_->blockSignals(true);
      site_->clear();
      url_->clear();
      for (const auto& name : names) site_->addItem(QString::fromStdString(name));
      for (const auto& url : urls) url_->addItem(QString::fromStdString(url));
      site_->setCurrentIndex(names.empty() ? -1 : 0);
      url_->setCurrentIndex(urls.empty() ? -1 : 0);
      site_->blockSignals(false);
      latestVer_->hide();
      showPanel(true);
    } else {
      latestVer_->show();
      showPanel(false);
    }
  }
  // A timer that was off stays off: "Notify New Version" switched it off.
  if (timerWasOn) host_.setNotifyTimerActive(true);
  checkNow_->unsetCursor();
  checking_ = false;
}

void TOptionFm::Btn_DownloadClick() {
  if (!OpenWebAddress(url_->currentText().toStdString()))
    messageBoxes().show(kConnectionFailed, kProductName, kMbWarnTopMost);
}

void TOptionFm::ComboBox_SiteChange(int index) { url_->setCurrentIndex(index); }

}  // namespace app
