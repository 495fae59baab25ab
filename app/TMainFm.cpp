#include "app/TMainFm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QVBoxLayout>
#include <cstdlib>

#include "app/Dialogs.h"
#include "app/Icons.h"
#include "core/DriverInterface.h"
#include "core/MessageTable.h"
#include "core/NetInfo.h"
#include "core/SettingsStore.h"
#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "platform/UiDispatcher.h"

namespace app {
namespace {

constexpr int kDesignWidth = 520;
constexpr int kDesignHeight = 460;
constexpr std::size_t kTipRoom = 127;

SettingsAccess userSettings() {
  return {[](std::string_view name) {
            std::string value;
            core::ReadSetting(platform::RegRoot::CurrentUser, kSettingsKey, std::string(name), value);
            return value;
          },
          [](std::string_view name, const std::string& value) {
            core::WriteSetting(platform::RegRoot::CurrentUser, kSettingsKey, std::string(name),
                               value, true, false);
          }};
}

}  // namespace

TMainFm::TMainFm(std::vector<std::string> args, QWidget* parent)
    : QMainWindow(parent), args_(std::move(args)) {
  setObjectName("TMainFm");
  resize(kDesignWidth, kDesignHeight);
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  noticePanel_ = new QLabel(central);
  noticePanel_->hide();
  layout->addWidget(noticePanel_);
  layout->addStretch();
  setCentralWidget(central);

  timerMiniWindow_.setInterval(500);
  connect(&timerMiniWindow_, &QTimer::timeout, this, &TMainFm::Timer_MiniWindowTimer);
  timerMBusUpdate_.setInterval(500);
  connect(&timerMBusUpdate_, &QTimer::timeout, this, &TMainFm::Timer_MBusUpdateTimer);

  connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::Trigger) TrayIconMessage(0x201);  // left button
  });
  buildTrayMenu();
}

TMainFm::~TMainFm() {
  if (!closed_) FormCloseQuery();
}

void TMainFm::PumpMessages() {
  QCoreApplication::processEvents();
  platform::ui::serve();
}

void TMainFm::buildTrayMenu() {
  popupMenu_ = new QMenu(this);
  popupMenu_->addSeparator();
  openMItem_ = popupMenu_->addAction("Open", this, &TMainFm::OpenMItemClick);
  popupMenu_->addSeparator();
  exitMItem_ = popupMenu_->addAction("Exit", this, &TMainFm::ExitMItemClick);
  tray_.setContextMenu(popupMenu_);
}

void TMainFm::LoadSettings() {
  openMItem_->setText(QString("Open ") + kProductName);
  caption_ = std::string(kApplicationTitle) + " " + kProductName;
  setWindowTitle(QString::fromStdString(caption_));
  computerName_ = core::GetLocalComputerName();

  core::ReadSetting(platform::RegRoot::LocalMachine, kSettingsKey, "Product Version",
                    productVersion_);
  const auto dot = productVersion_.find('.');
  productMajor_ = productVersion_.substr(0, dot);
  productMinor_ = dot == std::string::npos ? "" : productVersion_.substr(dot + 1);

  const QRect work = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
  const auto settings = userSettings();
  const WindowPlacement p = LoadWindowPlacement(settings, width(), height(),
                                                {work.x(), work.y(), work.width(), work.height()});
  resize(p.width, p.height);
  move(p.left, p.top);
  savedTop_ = p.savedTop;
  if (p.state == 1) setWindowState(Qt::WindowMinimized);
  if (p.state == 2) setWindowState(Qt::WindowMaximized);
  notify_ = LoadNotifySettings(settings);
}

bool TMainFm::FormCreate() {
  LoadSettings();

  masterBus_ = platform::kInvalidHandle;
  core::OpenControlDevice(masterBus_);
  if (masterBus_ == platform::kInvalidHandle) {
    messageBoxes().show(std::string(kProductName) + " setup is incomplete!\n\nPlease reinstall again.",
                        kProductName, kMbOk);
    return false;
  }

  servers_ = nullptr;
  refreshMutex_ = std::make_unique<RefreshMutex>("RefreshServerList_NUC");
  servers_ = std::make_unique<ServerList>(
      *refreshMutex_, ServerListHooks{&TMainFm::PumpMessages, [this] { return closing_; },
                                      nullptr, nullptr});
  servers_->setControl(masterBus_);
  servers_->setGateways(core::CountActiveAdapters());

  UpdateNetworkState();

  if (HasMiniSwitch(args_)) {
    timerMiniWindow_.start();
    move(x(), kMiniParkTop);
  }
  tray_.show();

  core::GetWindowsVersion(core::WindowsVersionFlags);

  std::string shortVersion;
  core::GetDriverVersion(masterBus_, driverVersion_, shortVersion);
  return true;
}

void TMainFm::UpdateNetworkState() {
  const bool ready = core::GetLocalIpList();
  std::string tip = ready ? caption_ : core::LoadMessage("SNetwork_NotReady");
  if (tip.size() > kTipRoom) tip.resize(kTipRoom);
  tray_.setToolTip(QString::fromStdString(tip));
  tray_.setIcon(trayIcon(ready ? 0 : 1));
  QApplication::setWindowIcon(trayIcon(ready ? 0 : 1));
}

void TMainFm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormShow();
}

void TMainFm::FormShow() {
  if (y() == kMiniHiddenTop) move(x(), savedTop_);
  if (masterBus_ != platform::kInvalidHandle) timerMBusUpdate_.start();
}

void TMainFm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  noticePanel_->setFixedWidth(width() - 16);
}

void TMainFm::Timer_MiniWindowTimer() {
  timerMiniWindow_.stop();
  move(x(), kMiniHiddenTop);
  hide();
}

void TMainFm::Timer_MBusUpdateTimer() {
  try {
    if (!FirstRefreshDue(lastServerRefreshMs_, platform::clock().nowMs())) return;
    timerMBusUpdate_.stop();
    servers_->RefreshServerList();
  } catch (...) {
    // A timer ends quietly.
  }
}

void TMainFm::TrayIconMessage(unsigned lParam) {
  if (lParam == 0x77 || lParam == 0x201) {
    showNormal();
    raise();
    activateWindow();
  }
}

void TMainFm::OpenMItemClick() {
  if (!isVisible()) {
    showNormal();
    raise();
  }
}

void TMainFm::ExitMItemClick() {
  if (FormCloseQuery()) QCoreApplication::exit(0);  // not quit(): that asks the windows, which hide to the tray
}

void TMainFm::EndSession() {
  sessionEnding_ = true;
  if (FormCloseQuery()) QCoreApplication::exit(0);  // not quit(): that asks the windows, which hide to the tray
}

void TMainFm::hideToTray() {
  tray_.show();
  hide();
}

void TMainFm::closeEvent(QCloseEvent* event) {
  // The close box only hides the window; "Exit" and the end of the session end the program.
  event->ignore();
  if (!closed_) hideToTray();
}

void TMainFm::StopThreads() {}

WindowPlacement TMainFm::currentPlacement() const {
  WindowPlacement p;
  p.width = width();
  p.height = height();
  p.top = y();
  p.left = x();
  p.state = isMaximized() ? 2 : isMinimized() ? 1 : 0;
  return p;
}

bool TMainFm::FormCloseQuery() {
  if (closing_ || closed_) return false;
  closing_ = true;
  StopThreads();
  if (servers_) servers_->CloseServerBuses();
  servers_.reset();
  if (masterBus_ != platform::kInvalidHandle) platform::deviceIo().Close(masterBus_);
  masterBus_ = platform::kInvalidHandle;
  tray_.hide();
  refreshMutex_.reset();
  closed_ = true;
  SaveWindowPlacement(userSettings(), currentPlacement(), isMinimized());
  return true;
}

}  // namespace app
