// Scan Now from the device menu or a double click: the device linked and locked for the scan, the
// TWAIN road in the scanning window on Windows 5.0 and 4.0, the WIA road on the others.
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>
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
    calls.findTwainDriver = [this] {
      if (scanning::TZELTWAIN::IsTwainDriverAvailable()) {
        netScanFm().TwainPresent = true;
        netScanFm().ZELTwain.InitTWAIN();
      }
      return netScanFm().TwainPresent;
    };
    calls.hourglass = [this](bool busy) {
      if (busy) listView_->viewport()->setCursor(Qt::WaitCursor);
      else listView_->viewport()->unsetCursor();
    };
    calls.waitTwoSeconds = [this] {
      if (ScanNowSettle) return ScanNowSettle();
      for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
    };
    calls.freshCopy = [this, target] {
      const DeviceData* now = selectedDevice();
      return now ? *now : target;
    };
    calls.findRowAgain = [this](const DeviceData& c) -> std::optional<DeviceData> {
      for (const auto& r : rows_.rows())
        if (r.data->serverName == c.serverName && r.data->serverIp == c.serverIp &&
            r.data->identity == c.identity)
          return *r.data;
      return std::nullopt;
    };
    calls.runWia = [this](const std::string& deviceId) { scanning::RunWiaRoad(deviceId, wiaRoad()); };
    calls.runTwain = [this](const DeviceData& device, const std::string& sourceName) {
      scanning::TNetScanFm& fm = netScanFm();
      tw::TW_IDENTITY id{};
      std::uint16_t rc = fm.ZELTwain.CallDataSourceManager(nullptr, tw::DG_CONTROL, tw::DAT_IDENTITY,
                                                           tw::MSG_GETFIRST, &id);
      bool found = false;
      while (rc == tw::TWRC_SUCCESS) {
        const std::string product = tw::str32(id.ProductName);
        if (strcasecmp(product.c_str(), sourceName.c_str()) == 0) {
          found = true;
          break;
        }
        rc = fm.ZELTwain.CallDataSourceManager(nullptr, tw::DG_CONTROL, tw::DAT_IDENTITY,
                                               tw::MSG_GETNEXT, &id);
      }
      if (!found) return TwainRoadResult{};
      fm.ZELTwain.SetDataSource(id);
      fm.SrcLabel->setText(QString::fromStdString(sourceName));
      fm.Device = device;
      fm.HostName = computerName_;
      fm.Locked = true;
      fm.TimeoutTimer->start();
      fm.exec();
      return TwainRoadResult{true, fm.Locked};
    };
    calls.clearWindowLock = [this] { netScanFm().Locked = false; };
    ScanNow(target, calls);
  } catch (...) {
    ScanNowBusy = false;
  }
}

}  // namespace app
