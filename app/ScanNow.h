#pragma once
// Scan Now without its windows: the scanner function checked through the device mapping, the
// device linked (unless held here) and locked for the scan, the road chosen by the Windows
// version, and the lock given back afterwards. The device is never unlinked.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/DeviceRows.h"
#include "core/DeviceMapping.h"

namespace app {

// True while a Scan Now runs; a second one is dropped meanwhile.
inline bool ScanNowBusy = false;

inline constexpr const char* kNoScanFunction = "The printer does not support scan function !!!";
inline constexpr const char* kNoScanSource =
    "Can not find scan driver ! \n\nPlease check device status or contact system manager !";

// Whether this Windows version scans through TWAIN (5.0 and 4.0) rather than WIA.
bool IsTwainSystem(std::uint32_t windowsVersionFlags);

// What the TWAIN road did.
struct TwainRoadResult {
  bool sourceFound = false;
  bool stillLocked = false;  // the scanning window still holds the lock
};

// The windows and services Scan Now reaches; the main window fills them.
struct ScanNowCalls {
  std::string computerName;
  std::uint32_t windowsVersionFlags = 0;
  std::function<core::UsbClassBits(const DeviceData&, core::DeviceDriverInfo&)> findDeviceQueues;
  std::function<std::string(const DeviceData&)> storedSourceName;  // "ScanNameTwain", "" for none
  std::function<void(const std::string& text, unsigned style)> message;
  // TWAIN: whether the scanning window knows a driver is there, and the search for one (which
  // marks it present and starts TWAIN when it finds one).
  std::function<bool()> twainPresent;
  std::function<bool()> findTwainDriver;
  std::function<void(bool busy)> hourglass;
  // False when the program's end was asked for meanwhile: Scan Now goes no further.
  std::function<bool()> waitTwoSeconds;
  std::function<DeviceData()> freshCopy;  // the selected row now
  std::function<std::optional<DeviceData>(const DeviceData&)> findRowAgain;
  std::function<void(const std::string& scannerDeviceId)> runWia;
  std::function<TwainRoadResult(const DeviceData& device, const std::string& sourceName)> runTwain;
  std::function<void()> clearWindowLock;  // the scanning window no longer holds the lock
};

void ScanNow(const DeviceData& row, const ScanNowCalls& calls);

}  // namespace app

namespace app {
// The double click's test: a scanner, or a printer or MFP whose stored binding has its scanner set
// up (`storedScanSetUp`, read only for those).
bool DeviceCanScan(const DeviceData& d, const std::function<bool()>& storedScanSetUp);
}  // namespace app
