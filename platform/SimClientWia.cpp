#include "platform/SimClientWia.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/SimEnvironment.h"

namespace platform {
namespace {

using namespace wia;
using simwire::WiaOp;
using simwire::WiaReply;
using simwire::WiaRequest;

// How many bands a page's data is handed over in.
constexpr std::size_t kBands = 4;

// The reference count and the interfaces an object answers to: its own and IUnknown, and what
// queryOther adds.
template <typename Interface, const Guid& kIid>
class Object : public Interface {
 public:
  HResult QueryInterface(const Guid& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == kIid) {
      this->AddRef();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    return queryOther(iid, object);
  }
  std::uint32_t AddRef() override { return refs_.add(); }
  std::uint32_t Release() override {
    const std::uint32_t left = refs_.drop();
    if (left == 0) delete this;
    return left;
  }

 protected:
  Object() = default;
  virtual ~Object() = default;
  virtual HResult queryOther(const Guid&, void**) { return E_NOINTERFACE; }

 private:
  RefCount refs_;
};

// A new object handed out with its one reference.
template <typename Interface, typename T, typename... Args>
HResult handOut(void** object, Args&&... args) {
  *object = static_cast<Interface*>(new T(std::forward<Args>(args)...));
  return S_OK;
}

// The device as the simulated host described it, and the way to ask it more.
struct Device {
  std::string host, id;
  WiaTransport transport;
  WiaReply description;

  WiaReply ask(WiaOp op, std::uint32_t format = 0, std::uint32_t dpi = 0,
               std::string path = {}) const {
    WiaRequest r{host, op, id, format, dpi, std::move(path)};
    std::optional<WiaReply> reply = transport(r);
    if (reply) return std::move(*reply);
    WiaReply failed;
    failed.hr = E_FAIL;  // the service could not be reached
    return failed;
  }
  std::vector<Guid> formats() const {
    std::vector<Guid> out;
    if (description.formats & simwire::kWiaFormatBmp) out.push_back(WiaImgFmt_BMP);
    if (description.formats & simwire::kWiaFormatJpeg) out.push_back(WiaImgFmt_JPEG);
    return out;
  }
};

// An item's own settings: the root item's document handling, the scan item's transfer.
struct ItemState {
  std::shared_ptr<const Device> device;
  bool root = true;
  std::int32_t pages = 0;
  std::int32_t tymed = TYMED_FILE;
  Guid format = WiaImgFmt_BMP;
  std::int32_t xres = 0, yres = 0;
};

PropVariant number(std::int32_t v) { return {VT_I4, v, {}}; }

class PropertyStorage final : public Object<IWiaPropertyStorage, IID_IWiaPropertyStorage> {
 public:
  explicit PropertyStorage(std::shared_ptr<ItemState> item) : item_(std::move(item)) {}

  HResult ReadMultiple(std::uint32_t count, const PropSpec* specs, PropVariant* values) override {
    if (count > 0 && (!specs || !values)) return E_POINTER;
    bool found = false;
    for (std::uint32_t i = 0; i < count; ++i) {
      values[i] = {};
      if (specs[i].ulKind != PRSPEC_PROPID) continue;
      const HResult hr = read(specs[i].propid, values[i]);
      if (Failed(hr)) return hr;
      found = found || values[i].vt != VT_EMPTY;
    }
    return found ? S_OK : S_FALSE;
  }

  HResult WriteMultiple(std::uint32_t count, const PropSpec* specs, const PropVariant* values,
                        std::uint32_t) override {
    if (count > 0 && (!specs || !values)) return E_POINTER;
    for (std::uint32_t i = 0; i < count; ++i)  // all or nothing
      if (const HResult hr = check(specs[i], values[i]); Failed(hr)) return hr;
    for (std::uint32_t i = 0; i < count; ++i) apply(specs[i].propid, values[i]);
    return S_OK;
  }

 private:
  HResult read(std::uint32_t id, PropVariant& value) const {
    const WiaReply& d = item_->device->description;
    if (item_->root) {
      switch (id) {
        case WIA_DPS_PAGES: value = number(item_->pages); break;
        case WIA_DPS_DOCUMENT_HANDLING_SELECT: value = number(d.select); break;
        case WIA_DPS_DOCUMENT_HANDLING_STATUS: {
          const WiaReply now = item_->device->ask(WiaOp::Status);
          if (Failed(now.hr)) return now.hr;
          value = number(now.status);
          break;
        }
        default: break;
      }
      return S_OK;
    }
    switch (id) {
      case WIA_IPA_TYMED: value = number(item_->tymed); break;
      case WIA_IPA_FORMAT: value = {VT_CLSID, 0, item_->format}; break;
      case WIA_IPS_XRES: value = number(item_->xres); break;
      case WIA_IPS_YRES: value = number(item_->yres); break;
      default: break;
    }
    return S_OK;
  }

  HResult check(const PropSpec& spec, const PropVariant& v) const {
    if (spec.ulKind != PRSPEC_PROPID) return E_INVALIDARG;
    const WiaReply& d = item_->device->description;
    const bool isNumber = v.vt == VT_I4;
    if (item_->root) {
      switch (spec.propid) {
        case WIA_DPS_PAGES: return isNumber && v.lVal >= 0 ? S_OK : E_INVALIDARG;
        case WIA_DPS_DOCUMENT_HANDLING_SELECT: return isNumber && v.lVal == d.select ? S_OK : E_INVALIDARG;
        case WIA_DPS_DOCUMENT_HANDLING_STATUS: return STG_E_ACCESSDENIED;
        default: return E_INVALIDARG;
      }
    }
    switch (spec.propid) {
      case WIA_IPA_TYMED: return isNumber && v.lVal == TYMED_FILE ? S_OK : E_INVALIDARG;
      case WIA_IPA_FORMAT: {
        const auto offered = item_->device->formats();
        return v.vt == VT_CLSID && std::find(offered.begin(), offered.end(), v.uuid) != offered.end()
                   ? S_OK
                   : E_INVALIDARG;
      }
      case WIA_IPS_XRES:
      case WIA_IPS_YRES:
        return isNumber && v.lVal == static_cast<std::int32_t>(d.dpi) ? S_OK : E_INVALIDARG;
      default: return E_INVALIDARG;
    }
  }

  void apply(std::uint32_t id, const PropVariant& v) {
    switch (id) {
      case WIA_DPS_PAGES: item_->pages = v.lVal; break;
      case WIA_IPA_TYMED: item_->tymed = v.lVal; break;
      case WIA_IPA_FORMAT: item_->format = v.uuid; break;
      case WIA_IPS_XRES: item_->xres = v.lVal; break;
      case WIA_IPS_YRES: item_->yres = v.lVal; break;
      default: break;
    }
  }

  std::shared_ptr<ItemState> item_;
};

class FormatEnum final : public Object<IEnumWIA_FORMAT_INFO, IID_IEnumWIA_FORMAT_INFO> {
 public:
  explicit FormatEnum(std::vector<Guid> formats) : formats_(std::move(formats)) {}

  HResult Next(std::uint32_t count, WiaFormatInfo* out, std::uint32_t* fetched) override {
    if (!out || (!fetched && count != 1)) return E_POINTER;
    std::uint32_t n = 0;
    for (; n < count && next_ < formats_.size(); ++n, ++next_) out[n] = {formats_[next_], TYMED_FILE};
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HResult Skip(std::uint32_t count) override {
    const std::size_t left = formats_.size() - next_;
    next_ += std::min<std::size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HResult Reset() override {
    next_ = 0;
    return S_OK;
  }
  HResult GetCount(std::uint32_t* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<std::uint32_t>(formats_.size());
    return S_OK;
  }

 private:
  std::vector<Guid> formats_;
  std::size_t next_ = 0;
};

class DataTransfer final : public Object<IWiaDataTransfer, IID_IWiaDataTransfer> {
 public:
  explicit DataTransfer(std::shared_ptr<ItemState> item) : item_(std::move(item)) {}

  HResult idtGetData(StgMedium* medium, IWiaDataCallback* callback) override {
    if (!medium) return E_POINTER;
    if (medium->tymed != TYMED_FILE || item_->tymed != TYMED_FILE || medium->fileName.empty())
      return E_INVALIDARG;
    const std::uint32_t format =
        item_->format == WiaImgFmt_JPEG ? simwire::kWiaFormatJpeg : simwire::kWiaFormatBmp;
    const WiaReply done = item_->device->ask(WiaOp::Acquire, format,
                                             static_cast<std::uint32_t>(item_->xres), medium->fileName);
    if (Failed(done.hr)) return done.hr;
    ComPtr<IWiaDataCallback> held;
    if (callback) {
      callback->AddRef();
      held = ComPtr<IWiaDataCallback>::adopt(callback);
    }
    const HResult hr = held ? handOver(medium->fileName, *held.get()) : S_OK;
    if (hr == S_FALSE) std::remove(medium->fileName.c_str());  // a cancelled page leaves nothing
    return hr;
  }

  HResult idtEnumWIA_FORMAT_INFO(ComPtr<IEnumWIA_FORMAT_INFO>& formats) override {
    formats = ComPtr<IEnumWIA_FORMAT_INFO>::adopt(new FormatEnum(item_->device->formats()));
    return S_OK;
  }

 private:
  // The page's bytes in bands, each after a status with the progress so far.
  static HResult handOver(const std::string& file, IWiaDataCallback& callback) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    if (!in.good() && !in.eof()) return E_FAIL;
    const std::size_t band = std::max<std::size_t>(1, (bytes.size() + kBands - 1) / kBands);
    if (callback.BandedDataCallback(IT_MSG_STATUS, IT_STATUS_TRANSFER_FROM_DEVICE, 0, 0, 0, 0, 0,
                                    nullptr) == S_FALSE)
      return S_FALSE;
    for (std::size_t offset = 0; offset < bytes.size(); offset += band) {
      const std::size_t length = std::min(band, bytes.size() - offset);
      const auto percent = static_cast<std::int32_t>((offset + length) * 100 / bytes.size());
      if (callback.BandedDataCallback(IT_MSG_DATA, IT_STATUS_TRANSFER_TO_CLIENT, percent,
                                      static_cast<std::int32_t>(offset),
                                      static_cast<std::int32_t>(length), 0, 0,
                                      bytes.data() + offset) == S_FALSE ||
          callback.BandedDataCallback(IT_MSG_STATUS, IT_STATUS_TRANSFER_TO_CLIENT, percent, 0, 0, 0,
                                      0, nullptr) == S_FALSE)
        return S_FALSE;
    }
    callback.BandedDataCallback(IT_MSG_TERMINATION, 0, 100, 0, 0, 0, 0, nullptr);
    return S_OK;
  }

  std::shared_ptr<ItemState> item_;
};

class Item final : public Object<IWiaItem, IID_IWiaItem> {
 public:
  explicit Item(std::shared_ptr<ItemState> state) : state_(std::move(state)) {}

  HResult DeviceDlg(std::intptr_t, std::int32_t, std::int32_t,
                    std::vector<ComPtr<IWiaItem>>& items) override {
    items.clear();
    if (!state_->root) return E_INVALIDARG;
    const WiaReply answer = state_->device->ask(WiaOp::Dialog);
    if (answer.hr != S_OK) return answer.hr;
    auto scan = std::make_shared<ItemState>();
    scan->device = state_->device;
    scan->root = false;
    scan->xres = scan->yres = static_cast<std::int32_t>(state_->device->description.dpi);
    // The item starts in a format the device has.
    if (const auto offered = state_->device->formats(); !offered.empty()) scan->format = offered.front();
    items.push_back(ComPtr<IWiaItem>::adopt(new Item(std::move(scan))));
    return S_OK;
  }

 private:
  HResult queryOther(const Guid& iid, void** object) override {
    if (iid == IID_IWiaPropertyStorage)
      return handOut<IWiaPropertyStorage, PropertyStorage>(object, state_);
    if (iid == IID_IWiaDataTransfer && !state_->root)
      return handOut<IWiaDataTransfer, DataTransfer>(object, state_);
    return E_NOINTERFACE;
  }

  std::shared_ptr<ItemState> state_;
};

class DevMgr final : public Object<IWiaDevMgr, IID_IWiaDevMgr> {
 public:
  DevMgr(std::string host, WiaTransport transport)
      : host_(std::move(host)), transport_(std::move(transport)) {}

  HResult CreateDevice(const std::string& deviceId, ComPtr<IWiaItem>& root) override {
    root.reset();
    auto device = std::make_shared<Device>(Device{host_, deviceId, transport_, {}});
    device->description = device->ask(WiaOp::Describe);
    if (Failed(device->description.hr)) return device->description.hr;
    auto state = std::make_shared<ItemState>();
    state->device = std::move(device);
    state->pages = state->device->description.pages;
    root = ComPtr<IWiaItem>::adopt(new Item(std::move(state)));
    return S_OK;
  }

 private:
  std::string host_;
  WiaTransport transport_;
};

}  // namespace

ComPtr<IWiaDevMgr> makeWiaOverCalls(std::string host, WiaTransport transport) {
  return ComPtr<IWiaDevMgr>::adopt(new DevMgr(std::move(host), std::move(transport)));
}

ComPtr<IWiaDevMgr> makeSimClientWia() {
  struct Connection {
    std::mutex mutex;
    simwire::Channel channel;
  };
  auto connection = std::make_shared<Connection>();
  return makeWiaOverCalls(std::string(), [connection](WiaRequest r) -> std::optional<WiaReply> {
    r.host = sim::thisHostName();  // looked up on every call, as the device I/O does
    std::lock_guard lock(connection->mutex);
    auto reply = connection->channel.exchange(r);
    if (!reply) return std::nullopt;
    if (auto* answer = std::get_if<WiaReply>(&*reply)) return std::move(*answer);
    return std::nullopt;
  });
}

}  // namespace platform
