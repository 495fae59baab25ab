#pragma once
// The scanner of a linked device driven through the image acquisition device manager: the device
// opened by its still-image id, the scan item picked in the device's own dialog, the transfer
// format and resolution settled, and the settings and save windows run in between. Everything
// here runs on the main thread; the windows are reached through `WiaWindows`.
#include <cstdint>
#include <string>

#include "platform/Wia.h"

namespace scanning {

// What the user chose in the settings window, read by the save window.
struct WiaSaveParams {
  std::string folder;     // with its closing separator: joined to the name as it is
  std::string groupName;
  std::string extension;  // ".jpg" or ".bmp"
  bool replaceFirst = false;  // the user agreed to replace the plain name's files
};

// The program's one set of device manager objects and transfer parameters.
struct WiaState {
  platform::wia::ComPtr<platform::wia::IWiaDevMgr> WiaDevMgr;
  platform::wia::ComPtr<platform::wia::IWiaItem> WiaRootItem;
  platform::wia::ComPtr<platform::wia::IWiaItem> WiaScanItem;
  platform::wia::ComPtr<platform::wia::IWiaDataTransfer> WiaTransfer;
  platform::wia::ComPtr<platform::wia::IEnumWIA_FORMAT_INFO> WiaFormatEnum;
  platform::wia::ComPtr<platform::wia::IWiaDataCallback> WiaCallback;

  std::int32_t WiaHandlingSelect = 0;  // 1 feeder, 2 flat bed, 0 unknown
  bool WiaBmpInUse = false;
  bool WiaJpegInUse = false;
  std::int32_t WiaXResolution = 0;
  std::int32_t WiaYResolution = 0;

  WiaSaveParams save;
};
WiaState& Wia();

// Modal results of the two windows.
inline constexpr int kWiaNext = 1;
inline constexpr int kWiaCancel = 2;
inline constexpr int kWiaBack = 4;

// The windows of the road and the user's messages.
class WiaWindows {
 public:
  virtual ~WiaWindows() = default;
  virtual int ShowSettings() = 0;  // fills Wia().save on kWiaNext
  virtual int ShowSave() = 0;
  virtual void Message(const std::string& text) = 0;
};

inline constexpr const char* kWiaDialogCanceled = "The user canceled the dialog box.";

void WiaOpenDeviceManager();
// 1 when the user went back from either window (call again), -1 otherwise. The items are released
// before it returns; the device manager stays.
int WiaSelectAndSetupDevice(const std::string& deviceId, WiaWindows& windows);
std::int32_t WiaGetDocumentHandlingStatus();  // 0 when unreadable
void WiaReleaseItems();
void WiaClose();

std::string WiaHResultToText(platform::wia::HResult hr);

}  // namespace scanning

namespace scanning {
// The road as Scan Now takes it: the manager opened, the device set up again while the user goes
// back, then everything closed.
void RunWiaRoad(const std::string& deviceId, WiaWindows& windows);
}  // namespace scanning
