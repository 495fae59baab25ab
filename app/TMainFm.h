#pragma once
// The main window: owner of the run's shared state (the control device, the refresh lock, the
// server list, the tray icon) and of its life from start-up to shutdown.
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/MainSettings.h"
#include "app/RefreshMutex.h"
#include "app/ServerList.h"
#include "platform/Handle.h"

class QMenu;
class QAction;
class QLabel;

namespace app {

inline constexpr const char* kApplicationTitle = "Tarvex";
inline constexpr const char* kProductName = "Velmora Network USB Utility";
inline constexpr const char* kMakerText = "Tarvex";

class TMainFm : public QMainWindow {
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
  // The end of the user's session: shut down without waiting for the print watchers.
  void EndSession();

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
  void Timer_MBusUpdateTimer();
  void UpdateNetworkState();
  void buildTrayMenu();
  void OpenMItemClick();
  void ExitMItemClick();
  void hideToTray();
  void StopThreads();
  WindowPlacement currentPlacement() const;

  std::vector<std::string> args_;
  bool sessionEnding_ = false;
  bool closing_ = false;
  bool closed_ = false;
  int savedTop_ = 0;
  NotifySettings notify_;
  std::string computerName_;
  std::string productVersion_, productMajor_, productMinor_;
  std::string driverVersion_;
  std::string caption_;
  platform::Handle masterBus_ = platform::kInvalidHandle;
  std::unique_ptr<RefreshMutex> refreshMutex_;
  std::unique_ptr<ServerList> servers_;
  std::optional<long long> lastServerRefreshMs_;

  QSystemTrayIcon tray_;
  QMenu* popupMenu_ = nullptr;
  QAction* openMItem_ = nullptr;
  QAction* exitMItem_ = nullptr;
  QLabel* noticePanel_ = nullptr;
  QTimer timerMiniWindow_;
  QTimer timerMBusUpdate_;
};

}  // namespace app
