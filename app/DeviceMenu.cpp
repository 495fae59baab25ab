#include "app/DeviceMenu.h"

#include "core/DriverInterface.h"
#include "core/MessageTable.h"
#include "core/NetInfo.h"

namespace app {

bool ScanSetUpIn(bool printerEnable, const std::string& printerName, int scanIndex,
                 const std::string& scanNameTwain, std::uint32_t flags) {
  if (!printerEnable || printerName.empty() || scanIndex != 1) return false;
  const bool olderRoad = flags & (core::kWin50 | core::kWin40);
  return !olderRoad || !scanNameTwain.empty();
}

DeviceMenuItems PrepareDeviceMenu(const DeviceData& d, const std::string& computerName,
                                  const std::function<bool()>& storedScanSetUp) {
  DeviceMenuItems m;
  if (!d.owner.empty() && d.owner != computerName && d.lockType == 2) {
    m.requestUse = true;  // another computer took it by hand
    return m;
  }
  const std::string type = UpperCase(d.type);
  if (type == "MFP" || type == "PRINTER") {
    m.printManage = true;
    m.printManageCaption = d.printerIndex == -1 ? "Manage Device" : "TroubleShoot";
    m.scanNow = storedScanSetUp && storedScanSetUp();
  } else if (type == "SCANNER") {
    m.scanManage = true;
    m.scanManageCaption = "TroubleShoot";
    m.scanNow = true;
  } else if (type == "UNKNOWN") {
    m.scanManage = true;
    m.scanManageCaption = "Manage Device";
  }
  if (d.owner == computerName) m.disconnect = true;
  else m.connect = true;
  return m;
}

LinkResult ConnectDevice(const DeviceData& c) {
  if (c.bus == platform::kInvalidHandle) return LinkResult::NoBus;
  const bool storage = UpperCase(c.type) == "MASS STORAGE";
  if (storage && c.printerIndex == 0) return LinkResult::StorageInServerMode;
  if (!core::LinkDevice(c.bus, c.port)) return LinkResult::LinkFailed;
  const std::uint32_t seconds = storage ? core::kLockSecondsStorage : core::kLockSecondsUser;
  if (!core::LockDevice(c.bus, c.port, core::kLockUser, seconds)) return LinkResult::LockFailed;
  return LinkResult::Done;
}

LinkResult DisconnectDevice(const DeviceData& c) {
  if (c.bus == platform::kInvalidHandle) return LinkResult::NoBus;
  core::UnlockDevice(c.bus, c.port, core::kLockUser, 0);
  if (!core::UnlinkDevice(c.bus, c.port)) return LinkResult::UnlinkFailed;
  return LinkResult::Done;
}

LinkResult RequestDeviceUse(const DeviceData& c) {
  if (c.bus == platform::kInvalidHandle) return LinkResult::NoBus;
  core::RequestUse(c.bus, c.port, 1, "");
  return LinkResult::Done;
}

std::string LinkResultMessage(LinkResult r) {
  switch (r) {
    case LinkResult::StorageInServerMode: return core::LoadMessage("SFail_Storage_Link");
    case LinkResult::LinkFailed: return core::LoadMessage("SFail_Link");
    case LinkResult::LockFailed: return core::LoadMessage("SFail_Link") + "!";
    case LinkResult::UnlinkFailed: return core::LoadMessage("SFail_Unlink");
    default: return {};
  }
}

}  // namespace app
