// Scan Now from the device menu or a double click: the device linked and locked for the scan, the
// TWAIN road in the scanning window on Windows 5.0 and 4.0, the WIA road on the others.
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <strings.h>
#include <thread>

#include "app/BindingCommands.h"
#include "app/DeviceListView.h"
#include "app/DeviceMenu.h"
#include "app/Dialogs.h"
#include "app/ScanNow.h"
#include "app/TMainFm.h"
#include "core/DeviceMapping.h"
#include "core/NetInfo.h"
#include "scanning/TNetScanFm.h"
#include "scanning/WiaRoad.h"
#include "platform/NestedLoop.h"

namespace app {

namespace tw = platform::twain;

scanning::TNetScanFm& TMainFm::netScanFm() {
  if (!netScanFm_) netScanFm_ = std::make_unique<scanning::TNetScanFm>();
  return *netScanFm_;
}

scanning::WiaRoad& TMainFm::wiaRoad() {
  if (!wiaRoad_) wiaRoad_ = std::make_unique<scanning::WiaRoad>();
  return *wiaRoad_;
}

bool TMainFm::storedScanSetUp(const DeviceData& d) const {
  AutoConnectInfo r = DeviceRecordKey(d);
  return ReadDeviceSetting(kSettingsKey, r) &&
         ScanSetUpIn(r.printerEnable, r.printerName, r.scanIndex, r.scanNameTwain,
                     core::WindowsVersionFlags);
}

void TMainFm::DeviceItemAction() {
  const DeviceData* d = selectedDevice();
  if (d && DeviceCanScan(*d, [&] { return storedScanSetUp(*d); })) ScanNowMItemClick();
}

void TMainFm::ScanNowMItemClick() {
  if (ScanNowBusy) return;
  try {
    const DeviceData* row = commandTarget();
    if (!row) return;
    const DeviceData target = *row;
    ScanNowCalls calls;
    calls.computerName = computerName_;
    calls.windowsVersionFlags = core::WindowsVersionFlags;
    calls.findDeviceQueues = [](const DeviceData& d, core::DeviceDriverInfo& info) {
      return core::FindDeviceQueues(d.vid, d.pid, d.serial, true, &info);
    };
    calls.storedSourceName = [](const DeviceData& d) {
      AutoConnectInfo r = DeviceRecordKey(d);
      return ReadDeviceSetting(kSettingsKey, r) ? r.scanNameTwain : std::string();
    };
    calls.message = [](const std::string& text, unsigned style) {
      messageBoxes().show(text, kProductName, style);
    };
    calls.twainPresent = [this] { return netScanFm().TwainPresent; };
    calls.findTwainDriver = [this] { return netScanFm().StartTwain(); };
    calls.hourglass = [this](bool busy) {
      if (busy) listView_->viewport()->setCursor(Qt::WaitCursor);
      else listView_->viewport()->unsetCursor();
    };
    calls.waitTwoSeconds = [this] {
      if (ScanNowSettle) ScanNowSettle();
      else
        for (int i = 0; i < 10 && platform::NestedLoop::processEvents(); ++i)
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
      return !platform::NestedLoop::ending();
    };
    calls.freshCopy = [this, target] {
      const DeviceData* now = selectedDevice();
      return now ? *now : target;
    };
    const auto findRow = [this](const DeviceData& c) -> std::optional<DeviceData> {
      for (const auto& r : rows_.rows())
        if (r.data->serverName == c.serverName && r.data->serverIp == c.serverIp &&
            r.data->identity == c.identity)
          return *r.data;
      return std::nullopt;
    };
    calls.findRowAgain = findRow;
    calls.runWia = [this](const std::string& deviceId) { scanning::RunWiaRoad(deviceId, wiaRoad()); };
    calls.runTwain = [this, findRow](const DeviceData& device, const std::string& sourceName) {
      scanning::TNetScanFm& fm = netScanFm();
      const std::vector<tw::TW_IDENTITY> sources = scanning::ListDataSources(fm.ZELTwain);
      const auto source = std::find_if(sources.begin(), sources.end(), [&](const tw::TW_IDENTITY& id) {
        return strcasecmp(tw::str32(id.ProductName).c_str(), sourceName.c_str()) == 0;
      });
      if (source == sources.end()) return TwainRoadResult{};
      fm.ZELTwain.SetDataSource(*source);
      fm.SrcLabel->setText(QString::fromStdString(sourceName));
      fm.Device = device;
      fm.DeviceNow = [findRow, device] { return findRow(device); };
      fm.HostName = computerName_;
      fm.Locked = true;
      fm.TimeoutTimer->start();
      platform::NestedLoop::exec(fm);
      return TwainRoadResult{true, fm.Locked};
    };
    calls.clearWindowLock = [this] { netScanFm().Locked = false; };
    ScanNow(target, calls);
  } catch (...) {
    ScanNowBusy = false;
  }
}

}  // namespace app
