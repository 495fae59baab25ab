#include "app/ScanNow.h"

#include "app/Dialogs.h"
#include "core/DriverInterface.h"
#include "core/MessageTable.h"
#include "core/NetInfo.h"
#include "core/ScopeExit.h"

namespace app {

bool IsTwainSystem(std::uint32_t flags) { return (flags & (core::kWin50 | core::kWin40)) != 0; }

namespace {

void unlockIfHeldHere(const std::optional<DeviceData>& row, const std::string& computerName) {
  if (row && row->owner == computerName)
    core::UnlockDevice(row->bus, row->port, core::kLockAuto, 0);
}

// The end of a Scan Now that locked the device. The list may have changed while the windows were
// open: the row is looked up again. The scanning window's idle timer may have given the lock back
// already; a road that ended in an exception is given back whatever the window holds.
void giveBack(const ScanNowCalls& calls, const DeviceData& copy, bool twain,
              const std::optional<TwainRoadResult>& twainResult) noexcept {
  try {
    const bool windowDone = twainResult && twainResult->sourceFound && !twainResult->stillLocked;
    if (twain && windowDone) return;
    unlockIfHeldHere(calls.findRowAgain(copy), calls.computerName);
    if (twain) calls.clearWindowLock();
  } catch (...) {
    // Nothing more can be done from here: the driver ends the lock when its time is up.
  }
}

}  // namespace

void ScanNow(const DeviceData& row, const ScanNowCalls& calls) {
  if (ScanNowBusy) return;
  ScanNowBusy = true;
  const core::ScopeExit done([&] {
    ScanNowBusy = false;
    if (calls.hourglass) calls.hourglass(false);
  });
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
  DeviceData copy = row;
  std::optional<TwainRoadResult> twainResult;  // none: the road did not end by itself
  // The lock goes back on every way out from here, an exception out of a window's loop included.
  const core::ScopeExit release([&] { giveBack(calls, copy, twain, twainResult); });
  copy = calls.freshCopy();
  if (!calls.waitTwoSeconds()) return;

  if (!twain) {
    calls.runWia(info.ScannerDeviceId);
  } else {
    twainResult = calls.runTwain(copy, sourceName);
    if (!twainResult->sourceFound) calls.message(kNoScanSource, kMbOk);
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
