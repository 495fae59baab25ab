#pragma once
// The main window: owner of the run's shared state (the control device, the refresh lock, the
// server list, the tray icon) and of its life from start-up to shutdown.
#include <QMainWindow>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/DeviceRows.h"
#include "app/DeviceSettings.h"
#include "app/Dialogs.h"
#include "app/Eject.h"
#include "app/MainSettings.h"
#include "app/RefreshMutex.h"
#include "app/ServerList.h"
#include "app/TOptionFm.h"
#include "core/ReadThread.h"
#include "printing/PrintWatchers.h"
#include "platform/Handle.h"

class QMenu;
class QAction;
class QLabel;

namespace scanning {
class TNetScanFm;
class WiaRoad;
}  // namespace scanning

namespace app {

class DeviceListView;
class MainWindowPrintHost;
class TDeviceSetupFm;
class TEjectDeviceDlg;

// Process-wide flags: set while a connect, disconnect, eject or server disable talks to the driver
// (device-list events wait meanwhile), and while a device-found notice opens (the tray icon ignores
// the mouse meanwhile).
inline bool DriverCallBusy = false;
inline bool PopupBusy = false;

inline constexpr const char* kApplicationTitle = "Tarvex";
inline constexpr const char* kMakerText = "Tarvex";
// A menu command whose device left the list while the menu was open.
inline constexpr const char* kDeviceGoneText = "This device is no longer in the list.";

class TMainFm : public QMainWindow, public OptionHost {
  Q_OBJECT
 public:
  explicit TMainFm(std::vector<std::string> args, QWidget* parent = nullptr);
  ~TMainFm() override;

  // The start-up. False when the program must end at once (no control device).
  bool FormCreate();
  // The shutdown; false when it was refused (already closing, or the user kept a device).
  bool FormCloseQuery();
  // The tray icon's callback: lParam 0x77 (a second start) or a left click shows the window.
  void TrayIconMessage(unsigned lParam);
  // The end of the user's session: shut down without waiting for the print watchers, and without
  // waiting for the user either (the windows and boxes open then are closed).
  void EndSession();
  // The process is ending from inside a library (the display went away): the shutdown's steps
  // that need no display, at once. The workers are stopped and waited for, what this computer
  // holds is given back (a busy storage device is kept: nobody can be asked).
  void EndAtProcessExit();
  // The program's message loop, until "Exit" or the end of the session. Until it runs, every loop
  // is a box's or a dialog's of the start-up: an end asked for inside one waits for this loop.
  int MessageLoop();
  // Whether the desktop has a system tray to hide the window to; tests replace it.
  static inline std::function<bool()> TrayAvailable;

  // A driver event, handed over by the reader thread on the UI thread.
  void OnDriverEvent(const std::uint8_t* record, std::int32_t count);
  void RefreshDeviceList(ServerList::ServerPtr s);
  void UpdateNoticeAndTray(bool show);
  int FindAutoConnectEntry(const std::string& mac, const std::string& identity, std::string& name,
                           bool printerList) const;
  DeviceRows& rows() { return rows_; }
  DeviceListView& listView() { return *listView_; }
  bool noticeShown() const { return noticeShown_; }
  const std::string& pendingRequestText() const { return pendingRequestText_; }
  AutoLinkList& printers() { return printers_; }
  AutoLinkList& faxes() { return faxes_; }
  const std::vector<std::string>& scannerIds() const { return scannerIds_; }
  const std::vector<AFPrinterSection>& afPrinterSections() const { return afPrinterIni_.table(); }

  // The device menu and its three link commands, on the selected row.
  DeviceData* selectedDevice() const;
  void selectRow(const DeviceData* row);
  void PrepareDeviceMenu();
  void ConnectMItemClick();
  void DisconnectMItemClick();
  void RequestUseMItemClick();
  // The binding commands: the set-up wizard on the device, then its outcome stored.
  void PrintManageDevMItemClick();
  void ScanManageDevMItemClick();
  TDeviceSetupFm& deviceSetup() { return *deviceSetupFm_; }
  const printing::PrintWatchers* watchers() const { return watchers_.get(); }
  // Scan Now on the menu's device, and the double click's default action.
  void ScanNowMItemClick();
  void DeviceItemAction();
  // The scanning windows of both roads, made at the first scan and reused.
  scanning::TNetScanFm& netScanFm();
  scanning::WiaRoad& wiaRoad();
  // Scan Now's wait for the device to settle after its lock; tests replace it.
  std::function<void()> ScanNowSettle;
  QMenu& deviceMenu() { return *deviceMenu_; }
  // Ejects and disconnects what this computer holds; false when the user kept a busy device.
  bool EjectAllStorage();
  // The tray menu, rebuilt on every opening, and its server commands (by the server's caption).
  void PopupMenuPopup();
  void ServerEnableClick(const std::string& caption);
  void ServerDisableClick(const std::string& caption);
  void ServerConfigClick(const std::string& caption);
  QMenu& trayMenu() { return *popupMenu_; }
  // The options dialog, placed beside the window and shown modally (brought forward when shown).
  void OptionsMItemClick();
  TOptionFm& optionForm() { return *optionFm_; }
  // The automatic version check: first 2 s after the start, then every minute.
  void Timer_NotifyVerTimer();
  QTimer& notifyVerTimer() { return timerNotifyVer_; }

  // What the options dialog reads and changes here.
  NotifySettings& optionNotify() override { return notify_; }
  std::string optionProductVersion() const override { return productVersion_; }
  bool notifyTimerActive() const override { return timerNotifyVer_.isActive(); }
  void setNotifyTimerActive(bool on) override;

  bool closing() const { return closing_; }
  bool sessionEnding() const { return sessionEnding_; }
  platform::Handle masterBus() const { return masterBus_; }
  ServerList& serverList() { return *servers_; }
  const std::string& computerName() const { return computerName_; }
  const std::string& driverVersion() const { return driverVersion_; }
  const std::string& productVersion() const { return productVersion_; }
  const NotifySettings& notify() const { return notify_; }
  QSystemTrayIcon& tray() { return tray_; }
  const std::string& caption() const { return caption_; }
  // Messages pumped inside the long waits of the refreshes.
  static void PumpMessages();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void LoadSettings();
  void FormShow();
  void Timer_MiniWindowTimer();
  void hideParkedWindow();
  void Timer_MBusUpdateTimer();
  void UpdateNetworkState();
  platform::Handle RecoverDriver(platform::Handle failed);
  void RunUdpSelfTest();
  void OpenRunUdpSockets();
  void buildTrayMenu();
  void OpenMItemClick();
  void ExitMItemClick();
  void hideToTray();
  void showInItsState();
  void StopThreads();
  // The shutdown's steps once the devices are given back: the workers, lists, handles and
  // sockets; the window's place stored.
  void releaseRunState();
  // Runs the shutdown once no wait or dialog of the window is on the stack: a shutdown asked for
  // from inside one (the messages they let run) would free what they still use.
  void requestShutdown();
  bool nested() const;
  void closeTopWindowForSessionEnd();
  // The print watchers of both lists: (re)started after each showing's first refresh.
  void StartPrinterThreads();
  // Sets the bound printer queue of a device online (Connect) or offline (Disconnect).
  void setBoundQueueState(const DeviceData& c, bool offline);
  void Timer_RequestTimer();
  void onUpdateDeviceList(const std::string& ip);
  void replayDeviceListEvents();
  void deviceRowDeleted(const DeviceData& d, bool wasLast);
  void setTrayState(bool attention);
  DeviceContext deviceContext() const;
  void ReadAFPrinterIni();
  void ReportUnreadableSettings();
  void buildDeviceMenu();
  bool eventFilter(QObject* watched, QEvent* event) override;
  void ListViewMouseDown(QMouseEvent* event);
  void ListViewMouseMove(QMouseEvent* event);
  void Timer_ClickTimer();
  void Timer_MouseEnterTimer();
  void Timer_PopupEnterTimer();
  void popDeviceMenu(const QPoint& at);
  void AboutMItemClick();
  bool askToDisconnectBusy(const std::string& displayName, EjectTrouble trouble);
  ServerList::ServerPtr serverByCaption(const std::string& caption) const;
  WindowPlacement currentPlacement() const;

  std::vector<std::string> args_;
  bool sessionEnding_ = false;
  bool closing_ = false;
  bool exitRequested_ = false;  // "Exit" or the session's end waits for the stack to unwind
  bool shuttingDown_ = false;   // a shutdown is running (a second one is refused)
  bool closed_ = false;
  bool devicesReleased_ = false;  // the shutdown gave back what this computer held
  bool inMessageLoop_ = false;
  bool driverGone_ = false;  // the control device went away and is not back yet
  bool startingWatchers_ = false;  // the watchers are being (re)started
  bool restartWatchers_ = false;   // and are to be started once more after that
  // A hidden start parks the window until its timer hides it, and then until its first showing;
  // it then comes up at the place it had before.
  enum class Parking { None, Parked, Hidden };
  Parking parking_ = Parking::None;
  int savedTop_ = 0, savedLeft_ = 0;
  NotifySettings notify_;
  std::string computerName_;
  std::string productVersion_, productMajor_, productMinor_;
  std::string driverVersion_;
  std::string caption_;
  platform::Handle masterBus_ = platform::kInvalidHandle;
  std::unique_ptr<RefreshMutex> refreshMutex_;
  std::unique_ptr<ServerList> servers_;
  std::optional<long long> lastServerRefreshMs_;

  DeviceRows rows_;
  DeviceListView* listView_ = nullptr;
  bool noticeShown_ = false;
  core::EventReader reader_;
  std::unique_ptr<MainWindowPrintHost> printHost_;
  std::unique_ptr<printing::PrintWatchers> watchers_;
  AutoLinkList printers_, faxes_;
  std::vector<std::string> scannerIds_;
  AFPrinterIniFile afPrinterIni_;
  std::string pendingRequestText_;
  // Device-list events that could not be served at once (the lock was taken, a connect was
  // talking to the driver, the server was still being attached), by server IPv4, with the time
  // they came; served as soon as they can be.
  std::map<std::string, long long> pendingDeviceLists_;
  QTimer replayTimer_;
  QTimer timerRequest_;

  TEjectDeviceDlg* ejectDlg_ = nullptr;
  std::unique_ptr<TDeviceSetupFm> deviceSetupFm_;
  void createDeviceSetup();
  // The printer-list watcher of entry i, started on its queue (the one it had stopped first).
  void StartPrinterWatcher(std::size_t i);
  // After a binding: the row's entry and status again, and the device released when held here.
  void afterBinding(const DeviceData& c, bool troubleshooting);
  QMenu* deviceMenu_ = nullptr;
  QAction *printManageDevMItem_ = nullptr, *scanManageDevMItem_ = nullptr, *scanNowMItem_ = nullptr,
          *connectMItem_ = nullptr, *disconnectMItem_ = nullptr, *requestUseMItem_ = nullptr;
  QAction* upmItem_ = nullptr;
  QAction* aboutMItem_ = nullptr;
  QAction* optionsMItem_ = nullptr;
  std::optional<QPoint> clickPoint_;
  bool doubleClicked_ = false;  // the release that ends a double click opens no menu
  // The device the open menu was prepared for: its commands act on it, or say it has gone.
  struct MenuTarget {
    std::string serverName, serverIp, port, identity;
  };
  std::optional<MenuTarget> menuTarget_;
  // The menu's device if it is still listed; else (it has gone) the user is told and null returned.
  // Without a menu target, the selected row.
  DeviceData* commandTarget();
  QPoint hoverPoint_;
  const DeviceData* hoverRow_ = nullptr;
  QTimer timerClick_, timerMouseEnter_, timerPopupEnter_;

  QSystemTrayIcon tray_;
  QMenu* popupMenu_ = nullptr;
  // Tray entries taken out by a rebuild, freed once no command runs (their parent frees the rest).
  std::vector<QPointer<QObject>> retiredTrayEntries_;
  int trayCommands_ = 0;  // server commands of the tray menu on the stack
  void freeRetiredTrayEntries();
  void runTrayCommand(const std::function<void()>& command);
  QAction* openMItem_ = nullptr;
  QAction* exitMItem_ = nullptr;
  QLabel* noticePanel_ = nullptr;
  std::unique_ptr<scanning::TNetScanFm> netScanFm_;
  std::unique_ptr<scanning::WiaRoad> wiaRoad_;
  bool storedScanSetUp(const DeviceData& d) const;
  QTimer timerMiniWindow_;
  QTimer timerMBusUpdate_;
  QTimer timerNotifyVer_;
  bool versionChecking_ = false;
  std::unique_ptr<TOptionFm> optionFm_;
};

}  // namespace app
