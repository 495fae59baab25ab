// The device menu's binding commands: the set-up wizard on a copy of the row, then the binding,
// the scanner choice and the registered scanners stored, and the device released again.
#include <QAction>
#include <cstring>

#include "app/BindingCommands.h"
#include "app/DeviceListView.h"
#include "app/Dialogs.h"
#include "app/TDeviceSetupFm.h"
#include "app/TMainFm.h"
#include "core/DriverInterface.h"
#include "core/MessageTable.h"
#include "core/NetInfo.h"
#include "platform/Clock.h"
#include "printing/PrinterPorts.h"
#include "printing/PrinterQueueState.h"
#include "scanning/TNetScanFm.h"
#include "platform/NestedLoop.h"

namespace app {
namespace {

namespace tw = platform::twain;

constexpr std::uint32_t kUserLockSeconds = 3600;
constexpr int kSettleRounds = 10;
constexpr std::uint32_t kSettleMs = 200;

// WIA systems: neither Windows 5.0 nor 4.0.
bool wiaSystem() { return (core::WindowsVersionFlags & (core::kWin50 | core::kWin40)) == 0; }

// The product names of the TWAIN sources, in the order the source manager gives them, through the
// scanning window's component: the program's only one, whose manager must stay open.
std::vector<std::string> twainSourceNames(scanning::TNetScanFm& scanFm) {
  std::vector<std::string> names;
  if (!scanFm.StartTwain()) return names;
  for (const tw::TW_IDENTITY& id : scanning::ListDataSources(scanFm.ZELTwain))
    names.push_back(tw::str32(id.ProductName));
  return names;
}

// The menu item is off while its command runs, on every way out.
struct ItemOff {
  explicit ItemOff(QAction* item) : item_(item) { item_->setEnabled(false); }
  ~ItemOff() { item_->setEnabled(true); }
  QAction* item_;
};

}  // namespace

void TMainFm::createDeviceSetup() {
  WizardServices s;
  s.ask = [](const std::string& text, unsigned style) { return messageBoxes().show(text, kProductName, style); };
  s.linkAndLock = [](const DeviceData& d) {
    return core::LinkDevice(d.bus, d.port) && core::LockDevice(d.bus, d.port, 2, kUserLockSeconds);
  };
  s.settle = [] {
    for (int i = 0; i < kSettleRounds && platform::NestedLoop::processEvents(); ++i)
      platform::clock().sleepMs(kSettleMs);
  };
  s.listPrinters = [] { return printing::ListPrinters(); };
  s.twainSources = [this] { return twainSourceNames(netScanFm()); };
  s.autoConnectPort = [](const std::string& port) { return printing::IsAutoConnectPort(port); };
  s.stopWatcher = [this](std::size_t i) {
    if (watchers_) watchers_->StopOne(printing::WatchKind::Printer, i);
  };
  s.startWatcher = [this](std::size_t i) { StartPrinterWatcher(i); };
  deviceSetupFm_ = std::make_unique<TDeviceSetupFm>(core::WindowsVersionFlags, std::move(s));
  DeviceSetup& w = deviceSetupFm_->setup();
  w.printers = &printers_;
  w.faxes = &faxes_;
  w.sections = &afPrinterIni_.table();
}

void TMainFm::StartPrinterWatcher(std::size_t i) {
  if (!watchers_ || closing_ || i >= printers_.size()) return;
  watchers_->StartOne(printing::WatchKind::Printer, i, WatchEntryOf(*printers_[i], printing::WatchKind::Printer));
}

void TMainFm::PrintManageDevMItemClick() {
  try {
    const DeviceData* row = commandTarget();
    if (!row || row->bus == platform::kInvalidHandle) return;
    const DeviceData c = *row;
    ItemOff off(printManageDevMItem_);
    DeviceSetup& w = deviceSetupFm_->setup();
    w.device = c;
    w.printerMode = true;
    w.previousCount = static_cast<std::int32_t>(printers_.size());
    std::string queue;
    w.currentIndex = FindAutoConnectEntry(c.serverMac, c.identity, queue, true);
    w.bound = false;
    w.replacedIndex = -1;
    w.scanSupport = 0;
    w.scannerName.clear();
    bool troubleshooting = false;
    AutoConnectInfo stored = DeviceRecordKey(c);
    if (ReadDeviceSetting(kSettingsKey, stored)) {
      w.scanSupport = stored.scanIndex;
      w.scannerName = stored.scanNameTwain;
      troubleshooting = !stored.printerName.empty() && stored.printerEnable;
    }
    if (wiaSystem()) w.scannerName = c.displayName;
    const AutoLinkListSnapshot asStored(printers_);
    const bool shown = troubleshooting ? deviceSetupFm_->ShowTroubleshootPage()
                                       : (deviceSetupFm_->ShowInstallPage(), true);
    const bool ok = shown && deviceSetupFm_->ShowModal(this);
    // The install road closes with OK right after it moved the watchers, so a run that ends
    // otherwise has moved none: only the list is put back.
    if (!ok) asStored.Restore(printers_);

    if (ok && w.currentIndex > -1) {
      const auto replaced = StorePrinterBinding(
          kSettingsKey, c, printers_, w.currentIndex, w.bound, w.replacedIndex,
          [this](std::size_t i) {
            if (watchers_) watchers_->RemoveEntry(printing::WatchKind::Printer, i);
          });
      if (replaced) {
        const std::string identity = replaced->deviceVid + " - " + replaced->devicePid + " - " + replaced->deviceSno;
        if (DeviceData* other = rows_.FindDeviceRow(replaced->serverName, replaced->serverIp, identity)) {
          other->printerIndex = FindAutoConnectEntry(other->serverMac, other->identity, other->printerName, true);
          SetDeviceStatusText(*other, deviceContext());
        }
      }
      // The troubleshooting page moves no watcher: the device's follows its binding once stored,
      // when the binding names another queue than the watcher has.
      const int mine = FindAutoConnectEntry(c.serverMac, c.identity, queue, true);
      if (troubleshooting && mine > -1) {
        const auto i = static_cast<std::size_t>(mine);
        const printing::TPrintThread* t = watchers_ ? watchers_->watcher(printing::WatchKind::Printer, i) : nullptr;
        const bool running = t && !t->finished();
        if (WatcherMustFollow(running ? &t->entry() : nullptr, *printers_[i])) StartPrinterWatcher(i);
      }
    }
    StoreScannerChoice(kSettingsKey, c, w.scanSupport, w.scannerName, false);
    afterBinding(c, troubleshooting);
  } catch (...) {
  }
}

void TMainFm::ScanManageDevMItemClick() {
  try {
    const DeviceData* row = commandTarget();
    if (!row || row->bus == platform::kInvalidHandle) return;
    DeviceData c = *row;
    ItemOff off(scanManageDevMItem_);
    DeviceSetup& w = deviceSetupFm_->setup();
    w.device = c;
    w.scanSupport = 0;
    w.scannerName.clear();
    bool troubleshooting = false;
    AutoConnectInfo stored = DeviceRecordKey(c);
    if (ReadDeviceSetting(kSettingsKey, stored)) {
      w.scanSupport = stored.scanIndex;
      w.scannerName = stored.scanNameTwain;
      troubleshooting = stored.scanIndex == 1;
    }
    if (wiaSystem()) w.scannerName = c.displayName;
    const bool shown = troubleshooting ? deviceSetupFm_->ShowTroubleshootPage()
                                       : (deviceSetupFm_->ShowInstallPage(), true);
    if (shown && deviceSetupFm_->ShowModal(this)) {
      const std::string id = "Vid_" + c.vid + "&Pid_" + c.pid;
      if (!troubleshooting) {
        if (DeviceData* r = rows_.FindDeviceRow(c.serverName, c.serverIp, c.identity)) {
          r->type = c.type = "Scanner";
          rows_.SetPicture(r, kPictureScanner);
        }
        RegisterScannerId(kSettingsKey, c.vid, c.pid, c.identity);
        scannerIds_.push_back(id);
      } else if (w.scanSupport == 0) {
        if (DeviceData* r = rows_.FindDeviceRow(c.serverName, c.serverIp, c.identity)) {
          r->type = c.type = "UNKNOWN";
          rows_.SetPicture(r, kPictureOther);
        }
        UnregisterScannerId(kSettingsKey, c.vid, c.pid);
        std::erase(scannerIds_, id);
      }
      StoreScannerChoice(kSettingsKey, c, w.scanSupport, w.scannerName, true);
    }
    afterBinding(c, troubleshooting);
  } catch (...) {
  }
}

void TMainFm::afterBinding(const DeviceData& c, bool troubleshooting) {
  DeviceData* row = rows_.FindDeviceRow(c.serverName, c.serverIp, c.identity);
  if (!row) {
    listView_->reload();
    return;
  }
  row->printerIndex = FindAutoConnectEntry(row->serverMac, row->identity, row->printerName, true);
  SetDeviceStatusText(*row, deviceContext());
  listView_->reload();
  if (troubleshooting && wiaSystem()) return;
  if (row->owner != computerName_) return;
  const DeviceData held = *row;
  core::UnlockDevice(held.bus, held.port, 2, 0);
  if (!core::UnlinkDevice(held.bus, held.port))
    messageBoxes().show(core::LoadMessage("SFail_Unlink"), kProductName, kMbOk);
}

}  // namespace app
