#include "scanning/TNetScanFm.h"  // the scanning windows it owns
#include "scanning/WiaRoad.h"
#include "app/TMainFm.h"
#include "app/TDeviceSetupFm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <cstdlib>

#include "app/BindingCommands.h"
#include "app/DeviceListView.h"
#include "app/Dialogs.h"
#include "app/NoticeSlots.h"
#include "app/TAboutBox.h"
#include "app/TEjectDeviceDlg.h"
#include "app/VersionCheckRules.h"
#include "app/VersionReply.h"
#include "app/WindowPlace.h"
#include "app/Icons.h"
#include "app/MainWindowPrintHost.h"
#include "app/ProcessExit.h"
#include "platform/PrintSpooler.h"
#include "printing/PrinterQueueState.h"
#include "core/DriverInterface.h"
#include "core/Firewall.h"
#include "core/MessageTable.h"
#include "core/NetInfo.h"
#include "core/SettingsStore.h"
#include "core/UdpSelfTest.h"
#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "platform/NestedLoop.h"
#include "platform/Thread.h"
#include "platform/Registry.h"
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

// Every screen less its panels: where a window can be reached.
std::vector<Rect> availableAreas() {
  std::vector<Rect> areas;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect a = screen->availableGeometry();
    areas.push_back({a.x(), a.y(), a.width(), a.height()});
  }
  return areas;
}

}  // namespace

TMainFm::TMainFm(std::vector<std::string> args, QWidget* parent)
    : QMainWindow(parent), args_(std::move(args)) {
  platform::NestedLoop::setEnding(false);  // a run's own end is still to come
  setObjectName("TMainFm");
  resize(kDesignWidth, kDesignHeight);
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  noticePanel_ = new QLabel(central);
  noticePanel_->setObjectName("NoticePanel");
  noticePanel_->setFixedHeight(81);
  noticePanel_->setAlignment(Qt::AlignCenter);
  noticePanel_->setStyleSheet("background: white; color: navy; font-weight: bold;");
  noticePanel_->setText(
      "No USB device is detected.\nPlease plug in one of the below USB devices.\n"
      "(Printer, MFP, Scanner, Storage Devices)");
  noticePanel_->hide();
  layout->addWidget(noticePanel_);
  listView_ = new DeviceListView(rows_, computerName_, central);
  layout->addWidget(listView_);
  setCentralWidget(central);
  rows_.onDeleted = [this](const DeviceData& d, bool wasLast) { deviceRowDeleted(d, wasLast); };

  timerRequest_.setInterval(10000);
  connect(&timerRequest_, &QTimer::timeout, this, &TMainFm::Timer_RequestTimer);
  replayTimer_.setInterval(200);
  connect(&replayTimer_, &QTimer::timeout, this, &TMainFm::replayDeviceListEvents);

  timerMiniWindow_.setInterval(500);
  connect(&timerMiniWindow_, &QTimer::timeout, this, &TMainFm::Timer_MiniWindowTimer);
  timerMBusUpdate_.setInterval(500);
  connect(&timerMBusUpdate_, &QTimer::timeout, this, &TMainFm::Timer_MBusUpdateTimer);

  // Queued, as the hand-over's: the show may open a box, whose loop must not run inside the
  // tray's own event handling.
  connect(
      &tray_, &QSystemTrayIcon::activated, this,
      [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) TrayIconMessage(0x201);  // left button
      },
      Qt::QueuedConnection);
  timerNotifyVer_.setInterval(2000);
  connect(&timerNotifyVer_, &QTimer::timeout, this, &TMainFm::Timer_NotifyVerTimer);

  buildTrayMenu();
  buildDeviceMenu();
  ejectDlg_ = new TEjectDeviceDlg(this);
  optionFm_ = std::make_unique<TOptionFm>(*this);
}

TMainFm::~TMainFm() {
  if (!closed_) FormCloseQuery();
}

void TMainFm::PumpMessages() { platform::NestedLoop::processEvents(); }

void TMainFm::buildTrayMenu() {
  popupMenu_ = new QMenu(this);
  popupMenu_->setObjectName("PopupMenu");
  upmItem_ = popupMenu_->addSeparator();
  optionsMItem_ = popupMenu_->addAction("Advanced Options", this, &TMainFm::OptionsMItemClick);
  openMItem_ = popupMenu_->addAction("Open", this, &TMainFm::OpenMItemClick);
  aboutMItem_ = popupMenu_->addAction("About", this, &TMainFm::AboutMItemClick);
  popupMenu_->addSeparator();
  exitMItem_ = popupMenu_->addAction("Exit", this, &TMainFm::ExitMItemClick);
  connect(popupMenu_, &QMenu::aboutToShow, this, &TMainFm::PopupMenuPopup);
  tray_.setContextMenu(popupMenu_);
}

void TMainFm::LoadSettings() {
  openMItem_->setText(QString("Open ") + kProductName);
  aboutMItem_->setText(QString("About ") + kProductName);
  caption_ = std::string(kApplicationTitle) + " " + kProductName;
  setWindowTitle(QString::fromStdString(caption_));
  computerName_ = core::GetLocalComputerName();

  core::ReadSetting(platform::RegRoot::LocalMachine, kSettingsKey, core::kProductVersion,
                    productVersion_);
  const auto dot = productVersion_.find('.');
  productMajor_ = productVersion_.substr(0, dot);
  productMinor_ = dot == std::string::npos ? "" : productVersion_.substr(dot + 1);

  const QRect work = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
  const auto settings = userSettings();
  const WindowPlacement p = LoadWindowPlacement(settings, width(), height(),
                                                {work.x(), work.y(), work.width(), work.height()},
                                                availableAreas());
  resize(p.width, p.height);
  MoveFrameTo(*this, p.left, p.top);
  savedTop_ = p.savedTop;
  savedLeft_ = p.left;
  if (p.state == 1) setWindowState(Qt::WindowMinimized);
  if (p.state == 2) setWindowState(Qt::WindowMaximized);
  notify_ = LoadNotifySettings(settings);
}

bool TMainFm::FormCreate() {
  LoadSettings();
  ReportUnreadableSettings();

  masterBus_ = platform::kInvalidHandle;
  core::OpenControlDevice(masterBus_);
  if (masterBus_ == platform::kInvalidHandle) {
    messageBoxes().show(std::string(kProductName) + " setup is incomplete!\n\nPlease reinstall again.",
                        kProductName, kMbOk);
    return false;
  }

  // The firewall lets the program and its port through; what it answers is not looked at.
  core::FirewallAddApp(QCoreApplication::applicationFilePath().toStdString(), kProductName);
  core::FirewallOpenUdpPort(core::kFirewallUdpPort, core::FirewallPortEntryName(kProductName));
  RunUdpSelfTest();

  servers_ = nullptr;
  refreshMutex_ = std::make_unique<RefreshMutex>("RefreshServerList_NUC");
  servers_ = std::make_unique<ServerList>(
      *refreshMutex_,
      ServerListHooks{&TMainFm::PumpMessages, [this] { return closing_ || exitRequested_; },
                      [this](const std::string& name, const std::string& ip) {
                        rows_.RemoveServerRows(name, ip);
                        listView_->reload();
                      },
                      [this] {
                        rows_.Clear();
                        listView_->reload();
                      }});
  servers_->setControl(masterBus_);
  servers_->setGateways(core::CountActiveAdapters());

  UpdateNetworkState();

  if (HasMiniSwitch(args_)) {
    // Shown (its showing's steps run) but kept off the screen: a window manager would move a
    // window parked below the screen back into sight.
    timerMiniWindow_.start();
    parking_ = Parking::Parked;
    setAttribute(Qt::WA_DontShowOnScreen);
  }
  tray_.show();

  LoadAutoConnectLists(kSettingsKey, printers_, faxes_);
  core::GetWindowsVersion(core::WindowsVersionFlags);
  OpenRunUdpSockets();
  printHost_ = std::make_unique<MainWindowPrintHost>(*this);
  watchers_ = std::make_unique<printing::PrintWatchers>(*printHost_, core::WindowsVersionFlags);
  createDeviceSetup();

  std::string shortVersion;
  core::GetDriverVersion(masterBus_, driverVersion_, shortVersion);
  reader_.StartReadThread(
      masterBus_,
      [this](const std::uint8_t* record, std::int32_t count) { OnDriverEvent(record, count); },
      [this](platform::Handle failed) { return RecoverDriver(failed); });
  scannerIds_ = LoadScannerIds(kSettingsKey);
  DropMalformedScannerIds(scannerIds_);
  if (notify_.newVersion) {
    timerNotifyVer_.setInterval(2000);
    timerNotifyVer_.start();
  }
  return true;
}

void TMainFm::setNotifyTimerActive(bool on) {
  if (on && !closing_) timerNotifyVer_.start();
  else timerNotifyVer_.stop();
}

void TMainFm::Timer_NotifyVerTimer() {
  if (closing_ || shuttingDown_ || exitRequested_ || versionChecking_) return;
  try {
    const std::time_t now = platform::clock().wallTime();
    const NotifyTick tick = DecideNotifyTick(timerNotifyVer_.interval() == 2000, IsAnyPopupShown(),
                                             notify_.lastDate, now, notify_.checkDays,
                                             core::GetLocalIpList());
    if (tick.wait) return;
    if (tick.switchToMinute) timerNotifyVer_.setInterval(60000);
    if (tick.storeLastDate) {
      notify_.lastDate = tick.lastDate;
      userSettings().write(core::kNotifyLastDate, std::to_string(notify_.lastDate));
    }
    if (!tick.check) return;
    std::string major, minor;
    std::vector<std::string> names, urls;
    versionChecking_ = true;
    // A failed automatic check says nothing: it is simply tried again a minute later.
    const bool read = optionFm_->CheckVersion(major, minor, nullptr, &names, &urls, /*quiet=*/true);
    versionChecking_ = false;
    if (!read || closing_ || !IsNewerVersion(major, minor, productVersion_)) return;
    const std::time_t found = platform::clock().wallTime();
    notify_.lastDate = PackDosDateTime(found);
    userSettings().write(core::kNotifyLastDate, std::to_string(notify_.lastDate));
    if (optionFm_->isVisible()) optionFm_->ShowNextNotifyDate(found);
    (new TAboutBox)->ShowNewVersion("v" + major + "." + minor, GlobalSiteUrl(names, urls));
  } catch (...) {
    versionChecking_ = false;  // a timer ends quietly
  }
}

// A settings file that cannot be opened is left as it is; the run goes on with defaults.
void TMainFm::ReportUnreadableSettings() {
  const auto& fault = platform::registry().fault();
  if (!fault) return;
  messageBoxes().show(UnreadableSettingsText(kProductName, fault->file, fault->reason),
                      kProductName, kMbOk | kMbIconExclamation);
}

// Broadcasts on the servers' port must leave and come back through the local firewall.
void TMainFm::RunUdpSelfTest() {
  core::NetInit();
  if (core::OpenUdpSockets(false)) {
    if (!core::UdpSelfTest(&TMainFm::PumpMessages))
      messageBoxes().show("Firewall\n\nTCP Out Port : 80; 2005\n\nUDP Out Port : " +
                              core::IntToString(core::kUdpSelfTestPort),
                          kProductName, kMbOk);
  } else if (!core::IsUdpPortInUse(core::kUdpSelfTestPort)) {
    core::GetLocalIpList();
  }
  core::CloseUdpSockets();
}

// The run's sockets, kept until the shutdown; on any port when another program holds 9303.
void TMainFm::OpenRunUdpSockets() {
  core::NetInit();
  if (!core::OpenUdpSockets(false) && core::IsUdpPortInUse(core::kUdpSelfTestPort)) {
    core::NetInit();
    core::OpenUdpSockets(true);
  }
}

void TMainFm::UpdateNetworkState() { setTrayState(false); }

// After a failed event read (the reader's back-off has passed). A driver that went away (its
// host restarted, say) is opened again once it is back, and the servers are refreshed as after a
// server-list event, so that their rows come back; meanwhile the network shows as not ready.
platform::Handle TMainFm::RecoverDriver(platform::Handle failed) {
  if (closing_ || exitRequested_ || !servers_) return failed;
  if (failed != platform::kInvalidHandle && !core::ControlDeviceGone(failed)) return failed;
  if (!driverGone_) {
    driverGone_ = true;
    setTrayState(noticeShown_);
  }
  platform::Handle reopened = platform::kInvalidHandle;
  core::OpenControlDevice(reopened);
  if (reopened == platform::kInvalidHandle) return platform::kInvalidHandle;
  if (masterBus_ != platform::kInvalidHandle) platform::deviceIo().Close(masterBus_);
  masterBus_ = reopened;
  driverGone_ = false;
  servers_->setControl(masterBus_);
  servers_->CloseServerBuses();  // they belong to the driver that went away
  std::string shortVersion;
  core::GetDriverVersion(masterBus_, driverVersion_, shortVersion);
  lastServerRefreshMs_ = platform::clock().nowMs();
  servers_->RefreshServerList();
  setTrayState(noticeShown_);
  return masterBus_;
}

// The tip says whether the network is ready; the icon asks for attention while it is not, or while
// the list is empty.
void TMainFm::setTrayState(bool attention) {
  const bool ready = !driverGone_ && core::GetLocalIpList();
  std::string tip = ready ? caption_ : core::LoadMessage("SNetwork_NotReady");
  if (tip.size() > kTipRoom) tip.resize(kTipRoom);
  tray_.setToolTip(QString::fromStdString(tip));
  const QIcon icon = trayIcon(attention || !ready ? 1 : 0);
  tray_.setIcon(icon);
  QApplication::setWindowIcon(icon);
}

void TMainFm::UpdateNoticeAndTray(bool show) {
  if (noticeShown_ == show) return;
  if (show) noticePanel_->setFixedWidth(width() - 16);
  noticeShown_ = show;
  noticePanel_->setVisible(show);
  setTrayState(show);
}

int TMainFm::FindAutoConnectEntry(const std::string& mac, const std::string& identity,
                                  std::string& name, bool printerList) const {
  const AutoLinkList& list = printerList ? printers_ : faxes_;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const AutoLinkPrinter& e = *list[i];
    if (e.serverMac == mac && e.vid + " - " + e.pid + " - " + e.serial == identity) {
      name = e.queueName;
      return static_cast<int>(i);
    }
  }
  name.clear();
  return -1;
}

DeviceContext TMainFm::deviceContext() const {
  DeviceContext ctx;
  ctx.computerName = computerName_;
  ctx.registeredScanners = scannerIds_;
  ctx.findAutoConnectEntry = [this](const std::string& mac, const std::string& identity,
                                    std::string& name, bool printerList) {
    return FindAutoConnectEntry(mac, identity, name, printerList);
  };
  return ctx;
}

void TMainFm::RefreshDeviceList(ServerList::ServerPtr s) {
  if (!s || s->bus == platform::kInvalidHandle) return;
  try {
    // The request goes out before the lock is waited for. A failed one leaves the rows as they
    // are: the driver's answer is unknown, not empty. The server is held here (by value): the
    // wait lets messages run, which may drop it from the list.
    const auto items = core::GetDeviceList(s->bus);
    if (!items) return;
    RefreshMutexWait wait(*refreshMutex_, &TMainFm::PumpMessages, [this] { return closing_; });
    std::vector<ListedDevice> devices;
    for (const auto& i : *items)
      devices.push_back({i.port, i.vid, i.pid, i.lockType, i.lockCount, i.type, i.owner,
                         i.manufacturer, i.product, i.serial});
    rows_.Merge(*s, devices, deviceContext(), [this](const DeviceData& d) {
      listView_->reload();
      if (notify_.deviceDetect) (new TAboutBox)->ShowDeviceFound(d.displayName);
      UpdateNoticeAndTray(false);
    });
    listView_->reload();
  } catch (...) {
    // A refresh ends quietly; the lock is given back on the way out.
  }
}

void TMainFm::deviceRowDeleted(const DeviceData& d, bool wasLast) {
  UpdateNoticeAndTray(wasLast);
  if (hoverRow_ == &d) hoverRow_ = nullptr;
}

void TMainFm::OnDriverEvent(const std::uint8_t* record, std::int32_t count) {
  if (closing_) return;
  try {
    const core::DriverEvent e = core::ParseDriverEvent({record, core::kEventBytes}, count);
    switch (e.code) {
      case core::UPDATE_DEVICE_LIST:
        onUpdateDeviceList(e.serverIp);
        break;
      case core::UPDATE_BUS_LIST:
        lastServerRefreshMs_ = platform::clock().nowMs();
        servers_->RefreshServerList();
        break;
      case core::UPDATE_IP:
        setTrayState(noticeShown_);
        servers_->setGateways(core::CountActiveAdapters());
        servers_->RefreshServerList();
        break;
      case core::OP_UBUS_REQUEST_TO_USE_DEVICE: {
        if (e.kind != 1) break;
        const DeviceData* row = rows_.FindHeldRow(e.serverIp, e.port, computerName_);
        if (!row) break;
        pendingRequestText_ =
            "Please release the " + row->displayName + ".\nDisconnect utility for other user.";
        timerRequest_.start(500);
        break;
      }
      default:
        break;  // audio data, and records that are no event
    }
  } catch (...) {
  }
}

// One server's device list changed. An event that cannot be served now is kept and served as
// soon as the lock is free and the server attached, so that no row stays stale.
void TMainFm::onUpdateDeviceList(const std::string& ip) {
  pendingDeviceLists_.emplace(ip, platform::clock().nowMs());
  replayDeviceListEvents();
}

void TMainFm::replayDeviceListEvents() {
  constexpr long long kGiveUpMs = 15000;  // longer than the slowest attach
  for (auto it = pendingDeviceLists_.begin(); it != pendingDeviceLists_.end();) {
    if (closing_ || DriverCallBusy || !refreshMutex_->tryLock()) break;
    ServerList::ServerPtr target;
    for (const auto& s : servers_->servers()) {
      if (s->ip == it->first && s->bus != platform::kInvalidHandle && s->enabled) {
        target = s;
        break;
      }
    }
    // An unknown, disabled or detached server is left alone, unless an attach is under way.
    const bool waitForAttach =
        !target && servers_->busy() && platform::clock().nowMs() - it->second < kGiveUpMs;
    if (!waitForAttach) it = pendingDeviceLists_.erase(it);
    if (target) RefreshDeviceList(target);
    refreshMutex_->release();
    if (waitForAttach) ++it;
  }
  if (pendingDeviceLists_.empty()) replayTimer_.stop();
  else if (!replayTimer_.isActive()) replayTimer_.start();
}

void TMainFm::Timer_RequestTimer() {
  if (closing_ || timerRequest_.interval() != 500) return;
  timerRequest_.stop();
  messageBoxes().showModeless(pendingRequestText_, kProductName, kMbWarnTopMost);
}

void TMainFm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormShow();
}

void TMainFm::FormShow() {
  if (parking_ == Parking::Hidden) parking_ = Parking::None;
  if (masterBus_ == platform::kInvalidHandle) return;
  ReadAFPrinterIni();
  timerMBusUpdate_.start();
}

// Read again only when the file changed; a refused file is reported once, and the table read
// before stays in use.
void TMainFm::ReadAFPrinterIni() {
  const std::string path = QCoreApplication::applicationDirPath().toStdString() + "/AFPrinter.ini";
  const auto result = afPrinterIni_.Refresh(path);
  const std::string refusal =
      AFPrinterIniRefusalText(path, result, afPrinterIni_.lastSize(), afPrinterIni_.maxBytes());
  if (!refusal.empty()) messageBoxes().show(refusal, kProductName, kMbOk | kMbIconExclamation);
}

void TMainFm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  noticePanel_->setFixedWidth(width() - 16);
}

void TMainFm::Timer_MiniWindowTimer() {
  if (parking_ == Parking::Parked) hideParkedWindow();
}

// The hidden start's window leaves its parking: hidden, it waits for its first real showing. Its
// system window, made for a window never to be seen, would take a place as its client area's;
// made afresh at that showing, it takes the stored place as a plain start's does, as its frame's.
void TMainFm::hideParkedWindow() {
  timerMiniWindow_.stop();
  parking_ = Parking::Hidden;
  hide();
  setAttribute(Qt::WA_DontShowOnScreen, false);
  destroy();
  MoveFrameTo(*this, savedLeft_, savedTop_);
}

void TMainFm::Timer_MBusUpdateTimer() {
  if (closing_ || !servers_) return;
  try {
    if (!FirstRefreshDue(lastServerRefreshMs_, platform::clock().nowMs())) return;
    timerMBusUpdate_.stop();
    servers_->RefreshServerList();
    UpdateNoticeAndTray(rows_.empty());
    StartPrinterThreads();
  } catch (...) {
    // A timer ends quietly.
  }
}

void TMainFm::TrayIconMessage(unsigned lParam) {
  if (closing_) return;  // the shutdown hid the window; messages it lets run do not bring it back
  if (PopupBusy) return;  // a device-found notice is sliding in
  if (lParam == 0x77 || lParam == 0x201) {
    showInItsState();
    activateWindow();
  }
}

void TMainFm::OpenMItemClick() {
  if (!closing_ && (!isVisible() || parking_ == Parking::Parked)) showInItsState();
}

// Shown as it was left: a maximised window stays maximised (and is stored so), a minimised one
// comes back to the state it had before.
void TMainFm::showInItsState() {
  if (parking_ == Parking::Parked) hideParkedWindow();  // asked for before the hidden start hid it
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
}

void TMainFm::ExitMItemClick() { requestShutdown(); }

void TMainFm::EndSession() {
  sessionEnding_ = true;
  requestShutdown();
}

int TMainFm::MessageLoop() {
  if (closed_) return 0;
  inMessageLoop_ = true;
  const int code = QApplication::exec();
  inMessageLoop_ = false;
  return code;
}

// Any loop but the message loop belongs to a wait, a box or a dialog on the stack.
// Loops of other folders' windows (the scanning windows', a menu's) count by Qt's loop level.
bool TMainFm::nested() const {
  return platform::NestedLoop::depth() > 0 ||
         QThread::currentThread()->loopLevel() > (inMessageLoop_ ? 1 : 0);
}

void TMainFm::requestShutdown() {
  exitRequested_ = true;  // the waits on the stack give up at their next try
  platform::NestedLoop::setEnding(true);  // and what called them goes no further
  optionFm_->CancelVersionCheck();  // a query does not hold the end back
  if (nested()) {
    // The session's end waits for no one: what the user has open is closed as its close box
    // would, until the stack has unwound. A shutdown already running keeps its own questions.
    if (sessionEnding_ && !shuttingDown_) closeTopWindowForSessionEnd();
    QTimer::singleShot(50, this, &TMainFm::requestShutdown);
    return;
  }
  exitRequested_ = false;
  // Not quit(): that asks the windows to close, and this one only hides to the tray.
  if (FormCloseQuery()) {
    if (inMessageLoop_) QCoreApplication::exit(0);
  } else if (!shuttingDown_ && !closed_) {
    platform::NestedLoop::setEnding(false);  // the user kept a device: the program runs on
  }
}

// A menu or a modal window on top: a window's close refuses when it must (a group being saved),
// and a message box answers as its Escape key would (Cancel, No, or its one button).
void TMainFm::closeTopWindowForSessionEnd() {
  if (QWidget* popup = QApplication::activePopupWidget()) {
    popup->close();
    return;
  }
  if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
}

void TMainFm::hideToTray() {
  tray_.show();
  hide();
}

void TMainFm::closeEvent(QCloseEvent* event) {
  // The close box hides the window to the tray; "Exit" and the end of the session end the
  // program. Without a tray nothing could bring the window back, and "Exit" could not be
  // reached: the close box then is "Exit".
  event->ignore();
  if (closed_) return;
  const bool tray = TrayAvailable ? TrayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
  if (tray) hideToTray();
  else ExitMItemClick();
}

void TMainFm::StopThreads() {
  reader_.StopReadThread();
  if (!watchers_) return;
  watchers_->StopAll(printing::WatchKind::Printer);
  watchers_->StopAll(printing::WatchKind::Fax);
}

namespace {

std::vector<printing::PrintWatchEntry> watchEntries(const AutoLinkList& list,
                                                    printing::WatchKind kind) {
  std::vector<printing::PrintWatchEntry> entries;
  for (const auto& e : list) entries.push_back(WatchEntryOf(*e, kind));
  return entries;
}

}  // namespace

void TMainFm::StartPrinterThreads() {
  if (!watchers_ || closing_) return;
  // The stops inside let window messages run: a restart asked for meanwhile runs after this one.
  if (startingWatchers_) {
    restartWatchers_ = true;
    return;
  }
  startingWatchers_ = true;
  do {
    restartWatchers_ = false;
    watchers_->StartAll(printing::WatchKind::Printer,
                        watchEntries(printers_, printing::WatchKind::Printer));
    if (closing_ || !watchers_) break;
    watchers_->StartAll(printing::WatchKind::Fax, watchEntries(faxes_, printing::WatchKind::Fax));
  } while (restartWatchers_ && !closing_ && watchers_);
  startingWatchers_ = false;
}

void TMainFm::setBoundQueueState(const DeviceData& c, bool offline) {
  const std::string type = UpperCase(c.type);
  if ((type != "PRINTER" && type != "MFP") || printers_.empty()) return;
  std::string queue;
  if (FindAutoConnectEntry(c.serverMac, c.identity, queue, true) < 0) return;
  auto& spooler = platform::printSpooler();
  const auto opened = spooler.OpenPrinter(queue, platform::kPrinterAllAccess);
  if (opened.handle == platform::kInvalidHandle) return;  // passed over silently
  printing::SetPrinterState(opened.handle, offline, /*paused=*/false);
  spooler.ClosePrinter(opened.handle);
}

WindowPlacement TMainFm::currentPlacement() const {
  WindowPlacement p;
  p.width = width();
  p.height = height();
  // A window parked by a hidden start was never seen there.
  p.top = parking_ == Parking::None ? y() : kMiniHiddenTop;
  p.left = parking_ == Parking::None ? x() : savedLeft_;
  p.state = isMaximized() ? 2 : isMinimized() ? 1 : 0;
  return p;
}

bool TMainFm::FormCloseQuery() {
  if (shuttingDown_ || closed_) return false;
  shuttingDown_ = true;
  // Closing is set only once the user agreed: until then events and watchers are still served.
  if (!EjectAllStorage()) {
    shuttingDown_ = false;  // the user kept a busy storage device: the program keeps running
    return false;
  }
  devicesReleased_ = true;
  closing_ = true;
  // The user sees the program end at once: the window and the tray icon go before the threads
  // are stopped and waited for.
  hide();
  tray_.hide();
  releaseRunState();
  return true;
}

void TMainFm::EndAtProcessExit() {
  if (closed_) return;
  sessionEnding_ = true;
  exitRequested_ = true;
  closing_ = true;  // the workers' hand-overs find nothing to do now
  const bool stopped = platform::StopAllThreads(ExitPath::kWorkerWaitMs);
  if (!devicesReleased_) {
    devicesReleased_ = true;
    EjectAllStorage();
  }
  if (stopped) {
    releaseRunState();
    return;
  }
  // A worker waits for a hand-over that runs below on this stack and never ends: what it uses
  // stays as it is.
  (void)watchers_.release();
  (void)printHost_.release();
  closed_ = true;
}

void TMainFm::releaseRunState() {
  timerMBusUpdate_.stop();
  StopThreads();
  watchers_.reset();  // waits for every watcher: they call this window
  printHost_.reset();
  printers_.clear();
  faxes_.clear();
  afPrinterIni_ = AFPrinterIniFile();
  replayTimer_.stop();
  timerRequest_.stop();
  if (servers_) servers_->CloseServerBuses();
  rows_.onDeleted = nullptr;
  rows_.Clear();
  servers_.reset();
  if (masterBus_ != platform::kInvalidHandle) platform::deviceIo().Close(masterBus_);
  masterBus_ = platform::kInvalidHandle;
  core::CloseUdpSockets();
  core::NetCleanup();
  refreshMutex_.reset();
  closed_ = true;
  SaveWindowPlacement(userSettings(), currentPlacement(), isMinimized(), availableAreas());
}

}  // namespace app
