#include "app/DeviceRows.h"

#include <algorithm>
#include <cctype>
#include <strings.h>

#include "app/MainSettings.h"
#include "app/ServerList.h"

namespace app {
namespace {

constexpr const char* kKnownTypes[] = {"MFP", "PRINTER", "MASS STORAGE", "SCANNER", "UNKNOWN"};
constexpr const char* kUsbDevice = "USB Device";

bool sameDevice(const DeviceData& row, const ServerData& s, const DeviceData& fresh) {
  return row.serverName == s.name && row.serverIp == s.ip && row.port == fresh.port &&
         row.identity == fresh.identity;
}

int compareText(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str());
}

}  // namespace

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

int PictureForType(const std::string& type) {
  const std::string t = UpperCase(type);
  if (t == "MFP") return kPictureMfp;
  if (t == "PRINTER") return kPicturePrinter;
  if (t == "MASS STORAGE") return kPictureStorage;
  if (t == "SCANNER") return kPictureScanner;
  return kPictureOther;
}

bool IsRegisteredScanner(const DeviceContext& ctx, const std::string& vid, const std::string& pid) {
  const std::string id = "Vid_" + vid + "&Pid_" + pid;
  return std::any_of(ctx.registeredScanners.begin(), ctx.registeredScanners.end(),
                     [&](const std::string& s) { return compareText(s, id) == 0; });
}

void SetDeviceStatusText(DeviceData& d, const DeviceContext& ctx) {
  const bool scanner = UpperCase(d.type) == "SCANNER";
  const bool bound = scanner ? IsRegisteredScanner(ctx, d.vid, d.pid) : d.printerIndex != -1;
  const std::string inUse = std::string(kInUseBy) + " (" + d.owner + ")";
  if (d.lockCount == 0) {
    d.status = bound ? kAvailableForUse : kWaitingToConnect;
  } else if (!bound || d.owner != ctx.computerName || d.lockType == 2) {
    d.status = inUse;
  } else {
    d.status = kAvailableForUse;
  }
}

StatusLook LookOfStatus(const DeviceData& d, const std::string& computerName) {
  constexpr std::uint32_t kBlue = 0x0000FF, kGreen = 0x007E00, kRed = 0xFF0000;
  if (d.status == kWaitingToConnect) return {kBlue, kNoOverlay};
  if (d.status == kAvailableForUse) return {kBlue, kOverlayAvailable};
  if (d.status.find(kInUseBy) != std::string::npos)
    return d.owner == computerName ? StatusLook{kGreen, kOverlayHeldHere}
                                   : StatusLook{kRed, kOverlayHeldElsewhere};
  return {kBlue, kNoOverlay};
}

bool DeviceRowBefore(const DeviceData& a, const DeviceData& b) {
  const bool aUnknown = a.type.find("UNKNOWN") != std::string::npos;
  const bool bUnknown = b.type.find("UNKNOWN") != std::string::npos;
  if (aUnknown != bUnknown) return bUnknown;
  for (auto field : {&DeviceData::type, &DeviceData::manufacturer, &DeviceData::product,
                     &DeviceData::port}) {
    if (const int c = compareText(a.*field, b.*field)) return c < 0;
  }
  return false;
}

DeviceData DeviceRows::makeRecord(const ServerData& s, const ListedDevice& item,
                                  const DeviceContext& ctx) const {
  DeviceData d;
  d.bus = s.bus;
  d.serverName = s.name;
  d.serverIp = s.ip;
  d.serverMac = s.mac;
  d.port = item.port;
  d.vid = item.vid;
  d.pid = item.pid;
  d.lockType = item.lockType;
  d.lockCount = item.lockCount;
  d.owner = item.owner;
  d.manufacturer = item.manufacturer;
  d.product = item.product;
  d.serial = item.serial;
  d.identity = d.vid + " - " + d.pid + " - " + d.serial;
  if (ctx.findAutoConnectEntry) {
    d.printerIndex = ctx.findAutoConnectEntry(s.mac, d.identity, d.printerName, true);
    d.faxIndex = ctx.findAutoConnectEntry(s.mac, d.identity, d.faxName, false);
  }
  d.type = item.type;
  const std::string upper = UpperCase(d.type);
  if (std::none_of(std::begin(kKnownTypes), std::end(kKnownTypes),
                   [&](const char* t) { return upper == t; }))
    d.type = "UNKNOWN";
  if (UpperCase(d.type) == "UNKNOWN" && IsRegisteredScanner(ctx, d.vid, d.pid)) d.type = "Scanner";
  d.displayName = d.manufacturer.empty() && d.product.empty()
                      ? kUsbDevice
                      : d.manufacturer + " - " + d.product;
  SetDeviceStatusText(d, ctx);
  if (UpperCase(d.type) == "MASS STORAGE") d.printerIndex = s.storageMode;
  return d;
}

std::string DeviceRows::takeNameSlot() {
  for (int k = 0; k < kNameSlots; ++k) {
    if (slots_.test(static_cast<std::size_t>(k))) continue;
    slots_.set(static_cast<std::size_t>(k));
    return std::string(kUsbDevice) + " " + std::to_string(k + 1);
  }
  return kUsbDevice;
}

void DeviceRows::freeNameSlot(const DeviceData& d) {
  if (!d.manufacturer.empty() || !d.product.empty()) return;
  const std::string prefix = std::string(kUsbDevice) + " ";
  if (d.displayName.compare(0, prefix.size(), prefix) != 0) return;
  const auto n = ParseInteger(d.displayName.substr(prefix.size()));
  if (n && *n > 0 && *n <= kNameSlots) slots_.reset(static_cast<std::size_t>(*n - 1));
}

void DeviceRows::erase(std::size_t index) {
  const bool wasLast = rows_.size() <= 1;
  std::unique_ptr<DeviceData> data = std::move(rows_[index].data);
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
  freeNameSlot(*data);
  if (onDeleted) onDeleted(*data, wasLast);
}

void DeviceRows::Merge(const ServerData& s, const std::vector<ListedDevice>& devices,
                       const DeviceContext& ctx, const AddedHook& added) {
  std::vector<DeviceData> fresh;
  fresh.reserve(devices.size());
  for (const auto& item : devices) fresh.push_back(makeRecord(s, item, ctx));

  for (std::size_t i = 0; i < rows_.size();) {
    DeviceData& row = *rows_[i].data;
    if (row.serverName != s.name || row.serverIp != s.ip) {
      ++i;
      continue;
    }
    auto match = std::find_if(fresh.begin(), fresh.end(),
                              [&](const DeviceData& f) { return sameDevice(row, s, f); });
    if (match == fresh.end()) {
      erase(i);  // the next row moves into place i and is examined too
      continue;
    }
    const std::string keepName = row.displayName;
    const std::string keepServer[3] = {row.serverName, row.serverIp, row.serverMac};
    row = *match;
    row.bus = s.bus;
    row.displayName = keepName;
    row.serverName = keepServer[0];
    row.serverIp = keepServer[1];
    row.serverMac = keepServer[2];
    rows_[i].picture = PictureForType(row.type);
    ++i;
  }

  for (const auto& f : fresh) {
    const bool present = std::any_of(rows_.begin(), rows_.end(), [&](const DeviceRow& r) {
      return sameDevice(*r.data, s, f);
    });
    if (present) continue;
    auto d = std::make_unique<DeviceData>(f);
    if (d->manufacturer.empty() && d->product.empty()) d->displayName = takeNameSlot();
    rows_.push_back({std::move(d), PictureForType(f.type)});
    if (added) added(*rows_.back().data);
  }
  sortRows();
}

void DeviceRows::sortRows() {
  std::stable_sort(rows_.begin(), rows_.end(), [](const DeviceRow& a, const DeviceRow& b) {
    return DeviceRowBefore(*a.data, *b.data);
  });
}

void DeviceRows::RemoveServerRows(const std::string& serverName, const std::string& serverIp) {
  for (std::size_t i = 0; i < rows_.size();) {
    if (rows_[i].data->serverName == serverName && rows_[i].data->serverIp == serverIp)
      erase(i);
    else
      ++i;
  }
}

void DeviceRows::RemoveRow(const DeviceData* row) {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].data.get() == row) {
      erase(i);
      return;
    }
}

void DeviceRows::Clear() {
  while (!rows_.empty()) erase(rows_.size() - 1);
}

DeviceData* DeviceRows::FindDeviceRow(const std::string& serverName, const std::string& serverIp,
                                      const std::string& identity) {
  if (serverName.empty() || serverIp.empty() || identity.empty()) return nullptr;
  for (auto& r : rows_)
    if (r.data->serverName == serverName && r.data->serverIp == serverIp &&
        r.data->identity == identity)
      return r.data.get();
  return nullptr;
}

DeviceData* DeviceRows::FindHeldRow(const std::string& serverIp, const std::string& port,
                                    const std::string& owner) {
  for (auto& r : rows_)
    if (r.data->serverIp == serverIp && r.data->port == port && r.data->owner == owner)
      return r.data.get();
  return nullptr;
}

void DeviceRows::SetPicture(const DeviceData* row, int picture) {
  for (DeviceRow& r : rows_)
    if (r.data.get() == row) r.picture = picture;
}

}  // namespace app
