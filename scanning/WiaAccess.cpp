#include "scanning/WiaAccess.h"

#include <array>

#include "core/MessageTable.h"
#include "core/ScopeExit.h"

namespace scanning {

namespace wia = platform::wia;
using wia::ComPtr;
using wia::HResult;

WiaState& Wia() {
  static WiaState state;
  return state;
}

namespace {

ComPtr<wia::IWiaPropertyStorage> storageOf(const ComPtr<wia::IWiaItem>& item) {
  ComPtr<wia::IWiaPropertyStorage> storage;
  if (wia::Failed(wia::queryInterface(item, wia::IID_IWiaPropertyStorage, storage))) return {};
  return storage;
}

// One property's value; VT_EMPTY when it cannot be read.
wia::PropVariant readProperty(const ComPtr<wia::IWiaPropertyStorage>& storage, std::uint32_t id) {
  wia::PropVariant value;
  if (!storage) return value;
  const wia::PropSpec spec{wia::PRSPEC_PROPID, id};
  if (storage->ReadMultiple(1, &spec, &value) != wia::S_OK) return {};
  return value;
}

std::int32_t readNumber(const ComPtr<wia::IWiaPropertyStorage>& storage, std::uint32_t id) {
  const wia::PropVariant v = readProperty(storage, id);
  return v.vt == wia::VT_I4 ? v.lVal : 0;
}

// The transfer medium and format on the scan item.
void writeFormat(const ComPtr<wia::IWiaPropertyStorage>& storage, const wia::Guid& format) {
  if (!storage) return;
  const std::array<wia::PropSpec, 2> specs{wia::PropSpec{wia::PRSPEC_PROPID, wia::WIA_IPA_TYMED},
                                           wia::PropSpec{wia::PRSPEC_PROPID, wia::WIA_IPA_FORMAT}};
  std::array<wia::PropVariant, 2> values{};
  values[0].vt = wia::VT_I4;
  values[0].lVal = wia::TYMED_FILE;
  values[1].vt = wia::VT_CLSID;
  values[1].uuid = format;
  storage->WriteMultiple(2, specs.data(), values.data(), wia::WIA_IPA_FIRST);
}

// Whether the JPEG format is among those the item offers; false on a failed walk.
bool walkFormats(wia::IEnumWIA_FORMAT_INFO& formats, bool& jpegOffered) {
  for (;;) {
    wia::WiaFormatInfo info;
    std::uint32_t fetched = 0;
    const HResult hr = formats.Next(1, &info, &fetched);
    if (hr == wia::S_FALSE && fetched == 0) return true;
    if (hr != wia::S_OK || fetched != 1) return false;
    if (info.guidFormatID == wia::WiaImgFmt_JPEG) jpegOffered = true;
  }
}

}  // namespace

void WiaOpenDeviceManager() {
  // COM needs no set-up here; the manager's maker stands for CoCreateInstance.
  if (wia::Failed(wia::CreateWiaDevMgr(Wia().WiaDevMgr))) {
    Wia().WiaDevMgr.reset();
    WiaReleaseItems();
  }
}

int WiaSelectAndSetupDevice(const std::string& deviceId, WiaWindows& windows) {
  WiaState& s = Wia();
  // Every way out gives the device back, an exception out of a window's loop included.
  const core::ScopeExit released([] { WiaReleaseItems(); });
  if (!s.WiaDevMgr || s.WiaDevMgr->CreateDevice(deviceId, s.WiaRootItem) != wia::S_OK || !s.WiaRootItem)
    return -1;

  std::vector<ComPtr<wia::IWiaItem>> picked;
  const HResult dialog = s.WiaRootItem->DeviceDlg(0, 0, 0, picked);
  if (dialog != wia::S_OK || picked.empty() || !picked.front()) {
    if (dialog == wia::WIA_ERROR_OFFLINE) windows.Message(core::LoadMessage("STimeout"));
    else if (dialog == wia::S_FALSE) windows.Message(kWiaDialogCanceled);
    return -1;
  }
  s.WiaScanItem = picked.front();

  s.save = {};
  const int settings = windows.ShowSettings();
  if (settings == kWiaBack) return 1;
  if (settings != kWiaNext) return -1;

  s.WiaHandlingSelect = 0;
  s.WiaBmpInUse = s.WiaJpegInUse = false;
  HResult hr = wia::queryInterface(s.WiaScanItem, wia::IID_IWiaDataTransfer, s.WiaTransfer);
  if (wia::Succeeded(hr) && s.WiaTransfer) hr = s.WiaTransfer->idtEnumWIA_FORMAT_INFO(s.WiaFormatEnum);
  if (wia::Failed(hr) || !s.WiaTransfer || !s.WiaFormatEnum) {
    if (hr == wia::WIA_ERROR_OFFLINE) windows.Message(core::LoadMessage("STimeout"));
    return -1;
  }
  std::uint32_t count = 0;
  if (wia::Failed(s.WiaFormatEnum->GetCount(&count)) || count == 0) return -1;
  if (!walkFormats(*s.WiaFormatEnum.get(), s.WiaJpegInUse)) return -1;

  const auto root = storageOf(s.WiaRootItem);
  readNumber(root, wia::WIA_DPS_PAGES);
  s.WiaHandlingSelect = readNumber(root, wia::WIA_DPS_DOCUMENT_HANDLING_SELECT);

  const auto item = storageOf(s.WiaScanItem);
  if (s.save.extension == ".jpg" && s.WiaJpegInUse) writeFormat(item, wia::WiaImgFmt_JPEG);
  else writeFormat(item, wia::WiaImgFmt_BMP);
  s.WiaJpegInUse = false;

  readNumber(item, wia::WIA_IPA_TYMED);
  const wia::PropVariant format = readProperty(item, wia::WIA_IPA_FORMAT);
  if (format.vt == wia::VT_CLSID) {
    if (format.uuid == wia::WiaImgFmt_BMP) s.WiaBmpInUse = true;
    else if (format.uuid == wia::WiaImgFmt_JPEG) s.WiaJpegInUse = true;
  }
  s.WiaXResolution = readNumber(item, wia::WIA_IPS_XRES);
  s.WiaYResolution = readNumber(item, wia::WIA_IPS_YRES);
  if (!s.WiaBmpInUse && !s.WiaJpegInUse) return -1;

  return windows.ShowSave() == kWiaBack ? 1 : -1;
}

std::int32_t WiaGetDocumentHandlingStatus() {
  const wia::PropVariant v =
      readProperty(storageOf(Wia().WiaRootItem), wia::WIA_DPS_DOCUMENT_HANDLING_STATUS);
  return v.vt == wia::VT_I4 ? v.lVal : 0;
}

void WiaReleaseItems() {
  WiaState& s = Wia();
  s.WiaFormatEnum.reset();
  s.WiaCallback.reset();
  s.WiaTransfer.reset();
  s.WiaScanItem.reset();
  s.WiaRootItem.reset();
}

void WiaClose() {
  WiaReleaseItems();
  Wia().WiaDevMgr.reset();
}

std::string WiaHResultToText(HResult hr) {
  static constexpr std::array<const char*, 15> kErrors = {
      "WIA_ERROR_GENERAL_ERROR",        "WIA_ERROR_PAPER_JAM",
      "WIA_ERROR_PAPER_EMPTY",          "WIA_ERROR_PAPER_PROBLEM",
      "WIA_ERROR_OFFLINE",              "WIA_ERROR_BUSY",
      "WIA_ERROR_WARMING_UP",           "WIA_ERROR_USER_INTERVENTION",
      "WIA_ERROR_ITEM_DELETED",         "WIA_ERROR_DEVICE_COMMUNICATION",
      "WIA_ERROR_INVALID_COMMAND",      "WIA_ERROR_INCORRECT_HARDWARE_SETTING",
      "WIA_ERROR_DEVICE_LOCKED",        "WIA_ERROR_EXCEPTION_IN_DRIVER",
      "WIA_ERROR_INVALID_DRIVER_RESPONSE"};
  const auto bits = static_cast<std::uint32_t>(hr);
  if (bits >= 0x80210001u && bits <= 0x8021000Fu)
    return std::string("hResult : ") + kErrors[bits - 0x80210001u];
  if (hr == wia::WIA_S_NO_DEVICE_AVAILABLE) return "hResult : WIA_S_NO_DEVICE_AVAILABLE";
  return "hResult : " + std::to_string(hr) + " : ";
}

}  // namespace scanning

namespace scanning {
void RunWiaRoad(const std::string& deviceId, WiaWindows& windows) {
  WiaOpenDeviceManager();
  const core::ScopeExit closed([] { WiaClose(); });
  while (WiaSelectAndSetupDevice(deviceId, windows) == 1) {
  }
}
}  // namespace scanning
