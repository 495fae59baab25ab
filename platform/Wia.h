#pragma once
// The image acquisition device manager as the scanning windows reach it: reference-counted
// interface objects (the device manager, a device's root item and its scan item, their property
// storage, the data transfer with its format enumerator, and the caller's data callback), result
// codes as 32-bit HRESULT values and identifiers with their published numbers.
#include <atomic>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform::wia {

// ---------------------------------------------------------------- result codes

using HResult = std::int32_t;
constexpr HResult hresult(std::uint32_t bits) { return static_cast<HResult>(bits); }
constexpr bool Succeeded(HResult hr) { return hr >= 0; }
constexpr bool Failed(HResult hr) { return hr < 0; }

inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_NOINTERFACE = hresult(0x80004002);
inline constexpr HResult E_POINTER = hresult(0x80004003);
inline constexpr HResult E_FAIL = hresult(0x80004005);
inline constexpr HResult E_INVALIDARG = hresult(0x80070057);
inline constexpr HResult STG_E_ACCESSDENIED = hresult(0x80030005);
inline constexpr HResult WIA_ERROR_GENERAL_ERROR = hresult(0x80210001);
inline constexpr HResult WIA_ERROR_PAPER_JAM = hresult(0x80210002);
inline constexpr HResult WIA_ERROR_PAPER_EMPTY = hresult(0x80210003);
inline constexpr HResult WIA_ERROR_PAPER_PROBLEM = hresult(0x80210004);
inline constexpr HResult WIA_ERROR_OFFLINE = hresult(0x80210005);
inline constexpr HResult WIA_ERROR_BUSY = hresult(0x80210006);
inline constexpr HResult WIA_ERROR_WARMING_UP = hresult(0x80210007);
inline constexpr HResult WIA_ERROR_USER_INTERVENTION = hresult(0x80210008);
inline constexpr HResult WIA_ERROR_ITEM_DELETED = hresult(0x80210009);
inline constexpr HResult WIA_ERROR_DEVICE_COMMUNICATION = hresult(0x8021000A);
inline constexpr HResult WIA_ERROR_INVALID_COMMAND = hresult(0x8021000B);
inline constexpr HResult WIA_ERROR_INCORRECT_HARDWARE_SETTING = hresult(0x8021000C);
inline constexpr HResult WIA_ERROR_DEVICE_LOCKED = hresult(0x8021000D);
inline constexpr HResult WIA_ERROR_EXCEPTION_IN_DRIVER = hresult(0x8021000E);
inline constexpr HResult WIA_ERROR_INVALID_DRIVER_RESPONSE = hresult(0x8021000F);
inline constexpr HResult WIA_S_NO_DEVICE_AVAILABLE = hresult(0x80210015);

// ---------------------------------------------------------------- identifiers

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0, data3 = 0;
  std::array<std::uint8_t, 8> data4{};
  friend bool operator==(const Guid&, const Guid&) = default;
};

inline constexpr Guid IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid CLSID_WiaDevMgr{0xA1F4E726, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
inline constexpr Guid IID_IWiaDevMgr{0x5EB2502A, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
inline constexpr Guid IID_IWiaItem{0x4DB1AD10, 0x3391, 0x11D2, {0x9A, 0x33, 0x00, 0xC0, 0x4F, 0xA3, 0x61, 0x45}};
inline constexpr Guid IID_IWiaPropertyStorage{0x98B5E8A0, 0x29CC, 0x491A, {0xAA, 0xC0, 0xE6, 0xDB, 0x4F, 0xDC, 0xCE, 0xB6}};
inline constexpr Guid IID_IWiaDataTransfer{0xA6CEF998, 0xA5B0, 0x11D2, {0xA0, 0x8F, 0x00, 0xC0, 0x4F, 0x72, 0xDC, 0x3C}};
inline constexpr Guid IID_IWiaDataCallback{0xA558A866, 0xA5B0, 0x11D2, {0xA0, 0x8F, 0x00, 0xC0, 0x4F, 0x72, 0xDC, 0x3C}};
inline constexpr Guid IID_IEnumWIA_FORMAT_INFO{0x81BEFC5B, 0x656D, 0x44F1, {0xB2, 0x4C, 0xD4, 0x1D, 0x51, 0xB4, 0xDC, 0x81}};

// Picture formats.
inline constexpr Guid WiaImgFmt_BMP{0xB96B3CAB, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr Guid WiaImgFmt_JPEG{0xB96B3CAE, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr Guid WiaImgFmt_GIF{0xB96B3CB0, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// ---------------------------------------------------------------- properties

inline constexpr std::uint32_t WIA_DPS_DOCUMENT_HANDLING_STATUS = 3087;
inline constexpr std::uint32_t WIA_DPS_DOCUMENT_HANDLING_SELECT = 3088;
inline constexpr std::uint32_t WIA_DPS_PAGES = 3096;
inline constexpr std::uint32_t WIA_IPA_FIRST = 4098;
inline constexpr std::uint32_t WIA_IPA_FORMAT = 4106;
inline constexpr std::uint32_t WIA_IPA_TYMED = 4108;
inline constexpr std::uint32_t WIA_IPS_XRES = 6147;
inline constexpr std::uint32_t WIA_IPS_YRES = 6148;

// Document handling: what is selected, and what is ready.
inline constexpr std::int32_t FEEDER = 0x1;
inline constexpr std::int32_t FLATBED = 0x2;
inline constexpr std::int32_t FEED_READY = 0x1;
inline constexpr std::int32_t FLAT_READY = 0x2;

inline constexpr std::int32_t TYMED_FILE = 2;

inline constexpr std::uint32_t PRSPEC_PROPID = 1;
inline constexpr std::uint16_t VT_EMPTY = 0;
inline constexpr std::uint16_t VT_I4 = 3;
inline constexpr std::uint16_t VT_CLSID = 72;

struct PropSpec {
  std::uint32_t ulKind = PRSPEC_PROPID;
  std::uint32_t propid = 0;
};

// A property's value: a 32-bit number (VT_I4) or an identifier (VT_CLSID); VT_EMPTY when absent.
struct PropVariant {
  std::uint16_t vt = VT_EMPTY;
  std::int32_t lVal = 0;
  Guid uuid{};
};

struct WiaFormatInfo {
  Guid guidFormatID{};
  std::int32_t lTymed = 0;
};

// Where a transfer goes: a file (TYMED_FILE) named by the caller.
struct StgMedium {
  std::int32_t tymed = TYMED_FILE;
  std::string fileName;
};

// Messages of the data callback.
inline constexpr std::int32_t IT_MSG_DATA_HEADER = 1;
inline constexpr std::int32_t IT_MSG_DATA = 2;
inline constexpr std::int32_t IT_MSG_STATUS = 3;
inline constexpr std::int32_t IT_MSG_TERMINATION = 4;
inline constexpr std::int32_t IT_STATUS_TRANSFER_FROM_DEVICE = 0x1;
inline constexpr std::int32_t IT_STATUS_TRANSFER_TO_CLIENT = 0x4;

// ---------------------------------------------------------------- interfaces

// Every object counts its references (atomically) and frees itself at the last Release.
class IUnknown {
 public:
  // The object as the interface `iid`, with one reference more; E_POINTER without `object`,
  // E_NOINTERFACE (and *object null) for an interface it does not have.
  virtual HResult QueryInterface(const Guid& iid, void** object) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

// Holds one reference; copies add one, the end releases it.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller owns.
  static ComPtr adopt(T* raw) {
    ComPtr p;
    p.raw_ = raw;
    return p;
  }
  ComPtr(const ComPtr& other) : raw_(other.raw_) {
    if (raw_) raw_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(raw_, other.raw_);
    return *this;
  }
  ~ComPtr() { reset(); }
  void reset() {
    if (T* r = std::exchange(raw_, nullptr)) r->Release();
  }
  T* get() const { return raw_; }
  T* operator->() const { return raw_; }
  explicit operator bool() const { return raw_ != nullptr; }
  // For an out parameter of QueryInterface: releases what is held first.
  void** put() {
    reset();
    return reinterpret_cast<void**>(&raw_);
  }

 private:
  T* raw_ = nullptr;
};

// The object as another of its interfaces.
template <typename To, typename From>
HResult queryInterface(const ComPtr<From>& from, const Guid& iid, ComPtr<To>& to) {
  if (!from) return E_POINTER;
  return from->QueryInterface(iid, to.put());
}

class IWiaPropertyStorage : public IUnknown {
 public:
  // S_OK when at least one was found, S_FALSE when none was (all VT_EMPTY).
  virtual HResult ReadMultiple(std::uint32_t count, const PropSpec* specs, PropVariant* values) = 0;
  // E_INVALIDARG for a property the item lacks or a value it does not take;
  // STG_E_ACCESSDENIED for one that is read-only. Nothing is written then.
  virtual HResult WriteMultiple(std::uint32_t count, const PropSpec* specs, const PropVariant* values,
                                std::uint32_t firstPropId) = 0;

 protected:
  ~IWiaPropertyStorage() = default;
};

class IEnumWIA_FORMAT_INFO : public IUnknown {
 public:
  // Up to `count` formats; S_FALSE when fewer were left (fetched says how many).
  virtual HResult Next(std::uint32_t count, WiaFormatInfo* formats, std::uint32_t* fetched) = 0;
  virtual HResult Skip(std::uint32_t count) = 0;
  virtual HResult Reset() = 0;
  virtual HResult GetCount(std::uint32_t* count) = 0;

 protected:
  ~IEnumWIA_FORMAT_INFO() = default;
};

// The caller's: told of a transfer's progress; S_FALSE ends the transfer.
class IWiaDataCallback : public IUnknown {
 public:
  virtual HResult BandedDataCallback(std::int32_t message, std::int32_t status,
                                     std::int32_t percentComplete, std::int32_t offset,
                                     std::int32_t length, std::int32_t reserved,
                                     std::int32_t reservedLength, std::uint8_t* buffer) = 0;

 protected:
  ~IWiaDataCallback() = default;
};

class IWiaDataTransfer : public IUnknown {
 public:
  // One page into medium->fileName, written by the device; S_FALSE when the callback ended it
  // (no file is left), a WIA error when the device failed (WIA_ERROR_PAPER_EMPTY: no sheet left).
  virtual HResult idtGetData(StgMedium* medium, IWiaDataCallback* callback) = 0;
  virtual HResult idtEnumWIA_FORMAT_INFO(ComPtr<IEnumWIA_FORMAT_INFO>& formats) = 0;

 protected:
  ~IWiaDataTransfer() = default;
};

class IWiaItem : public IUnknown {
 public:
  // The device's own dialog: S_OK with the item the user picked, S_FALSE when the dialog was
  // closed, WIA_ERROR_OFFLINE when the device is not there for this computer.
  virtual HResult DeviceDlg(std::intptr_t parentWindow, std::int32_t flags, std::int32_t intent,
                            std::vector<ComPtr<IWiaItem>>& items) = 0;

 protected:
  ~IWiaItem() = default;
};

class IWiaDevMgr : public IUnknown {
 public:
  // The root item of the still-image device `deviceId`; WIA_S_NO_DEVICE_AVAILABLE when this
  // computer has no such device.
  virtual HResult CreateDevice(const std::string& deviceId, ComPtr<IWiaItem>& root) = 0;

 protected:
  ~IWiaDevMgr() = default;
};

// The process-wide device manager (CLSID_WiaDevMgr). By default the client of the simulated host;
// tests install another maker.
HResult CreateWiaDevMgr(ComPtr<IWiaDevMgr>& manager);
void setWiaDevMgrMaker(std::function<ComPtr<IWiaDevMgr>()> maker);  // empty restores the default

// The base of our objects: the atomic count and the interfaces they answer to.
class RefCount {
 public:
  std::uint32_t add() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // The count left; the caller frees itself at 0.
  std::uint32_t drop() { return refs_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

 private:
  std::atomic<std::uint32_t> refs_{1};
};

}  // namespace platform::wia
