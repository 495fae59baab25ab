#pragma once
// Which items the device menu offers for a row, and the three link commands behind them.
#include <functional>
#include <string>

#include "app/DeviceRows.h"

namespace app {

struct DeviceMenuItems {
  bool printManage = false;  // PrintManageDevMItem
  bool scanManage = false;   // ScanManageDevMItem
  std::string printManageCaption = "Manage Device";
  std::string scanManageCaption = "Manage Device";
  bool scanNow = false;
  bool connect = false;
  bool disconnect = false;
  bool requestUse = false;
};

// `storedScanSetUp` says whether the device's stored binding has a bound printer whose scanner is
// set up (it is read only for printers and MFPs).
DeviceMenuItems PrepareDeviceMenu(const DeviceData& d, const std::string& computerName,
                                  const std::function<bool()>& storedScanSetUp);
// The stored binding's part of that: a bound printer with its scanner set up, and on the older
// Windows versions a TWAIN source named.
bool ScanSetUpIn(bool printerEnable, const std::string& printerName, int scanIndex,
                 const std::string& scanNameTwain, std::uint32_t windowsVersionFlags);

// The outcome of a link command, for the window to show.
enum class LinkResult { Done, NoBus, StorageInServerMode, LinkFailed, LockFailed, UnlinkFailed,
                        KeptByUser };

// Connect: link, then lock as a user's connection (three days for storage, an hour for others).
LinkResult ConnectDevice(const DeviceData& c);
// Disconnect: (the caller has ejected storage first) unlock with 0 seconds, then unlink.
LinkResult DisconnectDevice(const DeviceData& c);
// Request To Use: ask the holder, kind 1, no address.
LinkResult RequestDeviceUse(const DeviceData& c);
// The message a result shows, empty for none.
std::string LinkResultMessage(LinkResult r);

}  // namespace app
