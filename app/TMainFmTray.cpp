// The tray menu: one sub-menu per known server (Enable, Disable, Configuration...), rebuilt on
// every opening, then the fixed items.
#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include "app/DeviceListView.h"
#include "app/Eject.h"
#include "app/TAboutBox.h"
#include "app/TMainFm.h"
#include "app/WindowPlace.h"
#include "core/DriverInterface.h"
#include "platform/NestedLoop.h"

namespace app {

ServerList::ServerPtr TMainFm::serverByCaption(const std::string& caption) const {
  return servers_ ? servers_->findByCaption(caption) : nullptr;
}

// A server command may let messages run (an attach, a dialog), and the tray menu may be opened
// and rebuilt meanwhile: the entries it takes out are freed only once no command and no wait is
// on the stack, so that the menu and action that carry a running command outlive it.
void TMainFm::freeRetiredTrayEntries() {
  if (trayCommands_ > 0 || platform::NestedLoop::depth() > 0) return;
  for (auto& entry : retiredTrayEntries_) delete entry.data();
  retiredTrayEntries_.clear();
}

void TMainFm::runTrayCommand(const std::function<void()>& command) {
  ++trayCommands_;
  struct Done {
    int& n;
    ~Done() { --n; }
  } done{trayCommands_};
  command();
}

void TMainFm::PopupMenuPopup() {
  if (PopupBusy) {
    // A device-found notice is sliding in: the menu that the tray opens itself goes again.
    QTimer::singleShot(0, popupMenu_, &QMenu::close);
    return;
  }
  activateWindow();
  freeRetiredTrayEntries();
  // The server entries stand before the separator that ends their block.
  for (QAction* a : popupMenu_->actions()) {
    if (a == upmItem_) break;
    popupMenu_->removeAction(a);
    if (QMenu* sub = a->menu<QMenu*>()) retiredTrayEntries_.emplace_back(sub);  // owns its action
    else retiredTrayEntries_.emplace_back(a);
  }
  if (!servers_) return;
  RefreshMutexWait wait(*refreshMutex_, &TMainFm::PumpMessages, [this] { return closing_; });
  for (const auto& s : servers_->servers()) {
    const QString caption = QString::fromStdString(s->caption);
    auto* sub = new QMenu(caption, popupMenu_);
    QAction* enable = sub->addAction("Enable");
    enable->setCheckable(true);
    enable->setChecked(s->enabled);
    QAction* disable = sub->addAction("Disable");
    disable->setCheckable(true);
    disable->setChecked(!s->enabled);
    sub->addSeparator();
    QAction* config = sub->addAction("Configuration...");
    const std::string key = s->caption;
    connect(enable, &QAction::triggered, this,
            [this, key] { runTrayCommand([&] { ServerEnableClick(key); }); });
    connect(disable, &QAction::triggered, this,
            [this, key] { runTrayCommand([&] { ServerDisableClick(key); }); });
    connect(config, &QAction::triggered, this,
            [this, key] { runTrayCommand([&] { ServerConfigClick(key); }); });
    QAction* entry = sub->menuAction();
    entry->setCheckable(true);
    entry->setChecked(s->enabled);
    popupMenu_->insertAction(upmItem_, entry);
  }
}

void TMainFm::ServerEnableClick(const std::string& caption) {
  try {
    RefreshMutexWait wait(*refreshMutex_, &TMainFm::PumpMessages, [this] { return closing_; });
    const auto s = serverByCaption(caption);
    if (!s) return;
    if (s->bus == platform::kInvalidHandle && !servers_->attachListed(s)) {
      servers_->remove(s);  // it comes back with the next server-list refresh
      return;
    }
    RefreshDeviceList(s);
    s->enabled = true;
    WriteServerSetting(kSettingsKey, {s->name, s->ip, s->mac, true, {}, {}, {}});
  } catch (...) {
  }
}

void TMainFm::ServerDisableClick(const std::string& caption) {
  try {
    RefreshMutexWait wait(*refreshMutex_, &TMainFm::PumpMessages, [this] { return closing_; });
    const auto s = serverByCaption(caption);
    if (!s) return;
    bool keep = false;
    {
      DriverCallBusy = true;
      struct Clear {
        ~Clear() { DriverCallBusy = false; }
      } clear;
      // Copies: the eject dialog lets messages run, which may change or delete rows.
      std::vector<DeviceData> ofServer;
      for (const auto& r : rows_.rows())
        if (r.data->serverName == s->name && r.data->serverIp == s->ip) ofServer.push_back(*r.data);
      for (const DeviceData& d : ofServer) {
        if (d.bus != platform::kInvalidHandle && d.owner == computerName_) {
          const bool go = EjectBeforeDisconnect(
              d, [this](const std::string& n, EjectTrouble t) { return askToDisconnectBusy(n, t); });
          if (!go) {
            keep = true;
            continue;  // this one stays connected, and its row stays
          }
          core::UnlinkDevice(d.bus, d.port);
        }
        for (const auto& r : rows_.rows())
          if (r.data->serverName == d.serverName && r.data->serverIp == d.serverIp &&
              r.data->port == d.port && r.data->identity == d.identity) {
            rows_.RemoveRow(r.data.get());
            break;
          }
      }
      listView_->reload();
    }
    if (keep) {
      RefreshDeviceList(s);
      return;
    }
    s->enabled = false;
    WriteServerSetting(kSettingsKey, {s->name, s->ip, s->mac, false, {}, {}, {}});
  } catch (...) {
  }
}

void TMainFm::ServerConfigClick(const std::string& caption) {
  std::string ip;
  {
    RefreshMutexWait wait(*refreshMutex_, &TMainFm::PumpMessages, [this] { return closing_; });
    if (const auto s = serverByCaption(caption)) ip = s->ip;
  }
  if (ip.empty()) return;
  QDesktopServices::openUrl(QUrl(QString::fromStdString("http://" + ip + "/")));
}

void TMainFm::OptionsMItemClick() {
  OpenMItemClick();
  if (optionFm_->isVisible()) {
    optionFm_->raise();
    optionFm_->activateWindow();
    return;
  }
  MoveBeside(*optionFm_, *this);
  platform::NestedLoop::exec(*optionFm_);
}

void TMainFm::AboutMItemClick() { (new TAboutBox)->ShowAbout(productVersion_); }

}  // namespace app
