// The main window's device menu: opened by a click (300 ms later), a right click or a resting
// pointer, with the items the row allows, and the Connect, Disconnect and Request To Use commands.
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>

#include "app/DeviceListView.h"
#include "app/DeviceMenu.h"
#include "app/Dialogs.h"
#include "app/Eject.h"
#include "app/Icons.h"
#include "app/TEjectDeviceDlg.h"
#include "app/TMainFm.h"
#include "core/DriverInterface.h"
#include "core/NetInfo.h"

namespace app {

void TMainFm::buildDeviceMenu() {
  deviceMenu_ = new QMenu(this);
  deviceMenu_->setObjectName("PopupMenu_ForDevice");
  printManageDevMItem_ =
      deviceMenu_->addAction("Manage Device", this, &TMainFm::PrintManageDevMItemClick);
  scanManageDevMItem_ = deviceMenu_->addAction("Manage Device", this, &TMainFm::ScanManageDevMItemClick);
  deviceMenu_->addSeparator();
  scanNowMItem_ = deviceMenu_->addAction("Scan Now", this, &TMainFm::ScanNowMItemClick);
  deviceMenu_->addSeparator();
  connectMItem_ = deviceMenu_->addAction("Connect", this, &TMainFm::ConnectMItemClick);
  disconnectMItem_ = deviceMenu_->addAction("Disconnect", this, &TMainFm::DisconnectMItemClick);
  requestUseMItem_ = deviceMenu_->addAction("Request To Use", this, &TMainFm::RequestUseMItemClick);
  connectMItem_->setIcon(menuPicture(0));
  disconnectMItem_->setIcon(menuPicture(1));
  requestUseMItem_->setIcon(menuPicture(4));
  connect(deviceMenu_, &QMenu::aboutToShow, this, [this] {
    setCursor(Qt::PointingHandCursor);
    activateWindow();
  });
  connect(deviceMenu_, &QMenu::aboutToHide, this, [this] {
    unsetCursor();
    timerPopupEnter_.stop();  // the hover close ends with the menu
  });

  timerClick_.setInterval(300);
  timerClick_.setSingleShot(true);
  connect(&timerClick_, &QTimer::timeout, this, &TMainFm::Timer_ClickTimer);
  timerMouseEnter_.setInterval(1000);
  timerMouseEnter_.setSingleShot(true);
  connect(&timerMouseEnter_, &QTimer::timeout, this, &TMainFm::Timer_MouseEnterTimer);
  timerPopupEnter_.setInterval(1000);
  connect(&timerPopupEnter_, &QTimer::timeout, this, &TMainFm::Timer_PopupEnterTimer);
  listView_->viewport()->installEventFilter(this);
  listView_->viewport()->setMouseTracking(true);
}

DeviceData* TMainFm::selectedDevice() const {
  const QModelIndex current = listView_->currentIndex();
  if (!current.isValid()) return nullptr;
  return const_cast<DeviceData*>(listView_->model().device(current.row()));
}

void TMainFm::selectRow(const DeviceData* row) {
  menuTarget_.reset();
  const int at = listView_->model().rowOf(row);
  if (at >= 0) listView_->setCurrentIndex(listView_->model().index(at));
}

bool TMainFm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == listView_->viewport()) {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
      ListViewMouseDown(static_cast<QMouseEvent*>(event));
    else if (event->type() == QEvent::MouseMove)
      ListViewMouseMove(static_cast<QMouseEvent*>(event));
    else if (event->type() == QEvent::MouseButtonRelease &&
             static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      timerMouseEnter_.stop();
      // The click: the menu opens 300 ms later unless a double click came; the release that ends
      // a double click starts nothing.
      if (doubleClicked_) doubleClicked_ = false;
      else timerClick_.start();
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainFm::ListViewMouseDown(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
  clickPoint_.reset();
  doubleClicked_ = false;
  // The whole width of a row counts: the row is looked up in the picture column.
  const QModelIndex index = listView_->indexAt(QPoint(48, event->position().toPoint().y()));
  if (!index.isValid()) return;
  listView_->setCurrentIndex(index);
  if (!selectedDevice()) return;
  clickPoint_ = event->globalPosition().toPoint();
  if (event->type() == QEvent::MouseButtonDblClick) {
    doubleClicked_ = event->button() == Qt::LeftButton;
    timerClick_.stop();
    timerMouseEnter_.stop();
    // The default action, once the mouse event is done with.
    if (doubleClicked_) QTimer::singleShot(0, this, &TMainFm::DeviceItemAction);
    return;
  }
  if (event->button() == Qt::RightButton) {
    timerMouseEnter_.stop();
    PrepareDeviceMenu();
    popDeviceMenu(*clickPoint_);
  }
}

void TMainFm::Timer_ClickTimer() {
  timerClick_.stop();
  // Wherever the click was, on any monitor.
  if (!clickPoint_) return;
  PrepareDeviceMenu();
  popDeviceMenu(*clickPoint_);
}

void TMainFm::ListViewMouseMove(QMouseEvent* event) {
  listView_->viewport()->unsetCursor();
  const QModelIndex index = listView_->indexAt(QPoint(48, event->position().toPoint().y()));
  if (!index.isValid()) return;
  listView_->viewport()->setCursor(Qt::PointingHandCursor);
  const QPoint global = event->globalPosition().toPoint();
  if (global == hoverPoint_) return;
  hoverPoint_ = global;
  timerMouseEnter_.stop();
  hoverRow_ = listView_->model().device(index.row());
  timerMouseEnter_.start();
}

void TMainFm::Timer_MouseEnterTimer() {
  timerMouseEnter_.stop();
  if (!hoverRow_ || QCursor::pos() != hoverPoint_) return;
  timerPopupEnter_.start();
  selectRow(hoverRow_);
  PrepareDeviceMenu();
  popDeviceMenu(hoverPoint_);
}

void TMainFm::Timer_PopupEnterTimer() {
  // The menu's own place on the screen decides, whichever way it opened.
  if (!deviceMenu_->isVisible()) {
    timerPopupEnter_.stop();
    return;
  }
  if (!deviceMenu_->geometry().contains(QCursor::pos())) {
    timerPopupEnter_.stop();
    deviceMenu_->close();
  }
}

void TMainFm::popDeviceMenu(const QPoint& at) {
  if (selectedDevice()) deviceMenu_->popup(at);
}

void TMainFm::PrepareDeviceMenu() {
  DeviceData* d = selectedDevice();
  for (QAction* a : {printManageDevMItem_, scanManageDevMItem_, scanNowMItem_, connectMItem_,
                     disconnectMItem_, requestUseMItem_})
    a->setVisible(false);
  menuTarget_.reset();
  if (!d) return;
  menuTarget_ = MenuTarget{d->serverName, d->serverIp, d->port, d->identity};
  const DeviceMenuItems items = app::PrepareDeviceMenu(*d, computerName_, [&] {
    AutoConnectInfo r;
    r.serverIp = d->serverIp;
    r.serverMac = d->serverMac;
    r.deviceVid = d->vid;
    r.devicePid = d->pid;
    r.deviceSno = d->serial;
    return ReadDeviceSetting(kSettingsKey, r) &&
           ScanSetUpIn(r.printerEnable, r.printerName, r.scanIndex, r.scanNameTwain,
                       core::WindowsVersionFlags);
  });
  printManageDevMItem_->setText(QString::fromStdString(items.printManageCaption));
  scanManageDevMItem_->setText(QString::fromStdString(items.scanManageCaption));
  printManageDevMItem_->setVisible(items.printManage);
  scanManageDevMItem_->setVisible(items.scanManage);
  scanNowMItem_->setVisible(items.scanNow);
  connectMItem_->setVisible(items.connect);
  disconnectMItem_->setVisible(items.disconnect);
  requestUseMItem_->setVisible(items.requestUse);
  if (UpperCase(d->type) != "MASS STORAGE") {
    d->printerIndex = FindAutoConnectEntry(d->serverMac, d->identity, d->printerName, true);
    d->faxIndex = FindAutoConnectEntry(d->serverMac, d->identity, d->faxName, false);
  }
}

namespace {

// The flag is down again before any message is shown, on every way out.
struct DriverCall {
  DriverCall() { DriverCallBusy = true; }
  ~DriverCall() { DriverCallBusy = false; }
};

void showResult(LinkResult r) {
  const std::string text = LinkResultMessage(r);
  if (!text.empty()) messageBoxes().show(text, kProductName, kMbOk);
}

}  // namespace

DeviceData* TMainFm::commandTarget() {
  if (!menuTarget_) return selectedDevice();
  const MenuTarget t = *menuTarget_;
  menuTarget_.reset();
  for (const auto& r : rows_.rows()) {
    DeviceData& d = *r.data;
    if (d.serverName == t.serverName && d.serverIp == t.serverIp && d.port == t.port &&
        d.identity == t.identity)
      return &d;
  }
  messageBoxes().show(kDeviceGoneText, kProductName, kMbWarnTopMost);
  return nullptr;
}

void TMainFm::ConnectMItemClick() {
  try {
    const DeviceData* row = commandTarget();
    if (!row) return;
    const DeviceData c = *row;  // the row itself changes only with the driver's next list
    LinkResult r;
    {
      DriverCall busy;
      r = ConnectDevice(c);
      if (r == LinkResult::Done) setBoundQueueState(c, /*offline=*/false);
    }
    showResult(r);
  } catch (...) {
  }
}

bool TMainFm::askToDisconnectBusy(const std::string& displayName, EjectTrouble trouble) {
  ejectDlg_->DeviceName = displayName;
  ejectDlg_->Trouble = trouble;
  return ejectDlg_->ShowModal();
}

void TMainFm::DisconnectMItemClick() {
  try {
    const DeviceData* row = commandTarget();
    if (!row) return;
    const DeviceData c = *row;
    if (c.bus == platform::kInvalidHandle) return;
    if (!EjectBeforeDisconnect(c, [this](const std::string& n, EjectTrouble t) { return askToDisconnectBusy(n, t); }))
      return;
    LinkResult r;
    {
      DriverCall busy;
      r = DisconnectDevice(c);
      if (r == LinkResult::Done) setBoundQueueState(c, /*offline=*/true);
    }
    showResult(r);
  } catch (...) {
  }
}

void TMainFm::RequestUseMItemClick() {
  try {
    if (const DeviceData* row = commandTarget()) RequestDeviceUse(*row);
  } catch (...) {
  }
}

bool TMainFm::EjectAllStorage() {
  bool cancelled = false;
  DriverCall busy;
  // A copy: the walk must not follow rows that change under it.
  std::vector<DeviceData> held;
  for (const auto& r : rows_.rows())
    if (r.data->bus != platform::kInvalidHandle && r.data->owner == computerName_)
      held.push_back(*r.data);
  for (const DeviceData& d : held) {
    try {
      if (!EjectBeforeDisconnect(d, [this](const std::string& n, EjectTrouble t) { return askToDisconnectBusy(n, t); })) {
        cancelled = true;
        continue;
      }
    } catch (...) {
      continue;  // ids that are not hexadecimal: left connected, the shutdown goes on
    }
    core::UnlinkDevice(d.bus, d.port);
  }
  return !cancelled;
}

}  // namespace app
