#include "app/ScanNow.h"

#include "app/Dialogs.h"
#include "core/DriverInterface.h"
#include "core/MessageTable.h"
#include "core/NetInfo.h"

namespace app {

bool IsTwainSystem(std::uint32_t flags) { return (flags & (core::kWin50 | core::kWin40)) != 0; }

namespace {

// Clears the guard and the cursor on every way out.
struct ScanNowRun {
  explicit ScanNowRun(const ScanNowCalls& c) : calls(c) { ScanNowBusy = true; }
  ~ScanNowRun() {
    ScanNowBusy = false;
    if (calls.hourglass) calls.hourglass(false);
  }
  const ScanNowCalls& calls;
};

void unlockIfHeldHere(const std::optional<DeviceData>& row, const std::string& computerName) {
  if (row && row->owner == computerName)
    core::UnlockDevice(row->bus, row->port, core::kLockAuto, 0);
}

}  // namespace

void ScanNow(const DeviceData& row, const ScanNowCalls& calls) {
  if (ScanNowBusy) return;
  ScanNowRun run(calls);
  if (row.bus == platform::kInvalidHandle) return;

  core::DeviceDriverInfo info;
  const core::UsbClassBits bits = calls.findDeviceQueues(row, info);
  if (bits == 0 || !(bits & core::ClassScanner)) {
    calls.message(kNoScanFunction, kMbWarnTopMost);
    return;
  }
  const std::string sourceName = calls.storedSourceName(row);
  const bool twain = IsTwainSystem(calls.windowsVersionFlags);
  if (twain && !calls.twainPresent() && !calls.findTwainDriver()) {
    calls.message(core::LoadMessage("SNo_TWAIN_Driver"), kMbOk);
    return;
  }

  calls.hourglass(true);
  if (row.owner != calls.computerName && !core::LinkDevice(row.bus, row.port)) {
    calls.message(core::LoadMessage("SFail_Link"), kMbOk);
    return;
  }
  if (!core::LockDevice(row.bus, row.port, core::kLockAuto, core::kLockSecondsAuto)) {
    calls.message(core::LoadMessage("SFail_Link") + "!", kMbOk);
    return;
  }
  const DeviceData copy = calls.freshCopy();
  calls.waitTwoSeconds();

  TwainRoadResult twainResult;
  if (!twain) {
    calls.runWia(info.ScannerDeviceId);
  } else {
    twainResult = calls.runTwain(copy, sourceName);
    if (!twainResult.sourceFound) calls.message(kNoScanSource, kMbOk);
  }

  // The list may have changed while the windows were open: the row is looked up again.
  const std::optional<DeviceData> now = calls.findRowAgain(copy);
  if (!twain) {
    unlockIfHeldHere(now, calls.computerName);
  } else if (twainResult.stillLocked || !twainResult.sourceFound) {
    unlockIfHeldHere(now, calls.computerName);
    calls.clearWindowLock();
  }
}

}  // namespace app

namespace app {
bool DeviceCanScan(const DeviceData& d, const std::function<bool()>& storedScanSetUp) {
  const std::string type = UpperCase(d.type);
  if (type == "SCANNER") return true;
  return (type == "MFP" || type == "PRINTER") && storedScanSetUp && storedScanSetUp();
}
}  // namespace app
