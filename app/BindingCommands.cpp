#include "app/BindingCommands.h"

#include <algorithm>

namespace app {
namespace {

void removeEntry(AutoLinkList& list, const AutoLinkPrinter* entry,
                 const std::function<void(std::size_t)>& removing) {
  const auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.get() == entry; });
  if (it == list.end()) return;
  if (removing) removing(static_cast<std::size_t>(it - list.begin()));
  list.erase(it);
}

AutoLinkPrinter* at(AutoLinkList& list, std::int32_t index) {
  return index >= 0 && static_cast<std::size_t>(index) < list.size() ? list[static_cast<std::size_t>(index)].get()
                                                                     : nullptr;
}

}  // namespace

AutoConnectInfo DeviceRecordKey(const DeviceData& d) {
  AutoConnectInfo r;
  r.serverIp = d.serverIp;
  r.serverMac = d.serverMac;
  r.deviceVid = d.vid;
  r.devicePid = d.pid;
  r.deviceSno = d.serial;
  return r;
}

std::optional<AutoConnectInfo> StorePrinterBinding(const std::string& root, const DeviceData& copy,
                                                   AutoLinkList& printers, std::int32_t chosen,
                                                   bool on, std::int32_t replaced,
                                                   const std::function<void(std::size_t)>& removing) {
  AutoLinkPrinter* mine = at(printers, chosen);
  if (!mine) return std::nullopt;
  AutoConnectInfo r = DeviceRecordKey(copy);
  ReadDeviceSetting(root, r);  // what the command does not set stays as stored
  r.serverName = copy.serverName;
  r.deviceType = copy.type;
  r.deviceManufacturer = copy.manufacturer;
  r.deviceProduct = copy.product;
  r.printerEnable = on;
  r.printerName = mine->queueName;
  r.printerPort = mine->port;
  WriteDeviceSetting(root, r);

  std::optional<AutoConnectInfo> replacedRecord;
  // Entries are removed by what they are, not by index: one removal shifts the others.
  if (AutoLinkPrinter* other = at(printers, replaced); other && other != mine) {
    AutoConnectInfo o;
    o.serverIp = other->serverIp;
    o.serverMac = other->serverMac;
    o.deviceVid = other->vid;
    o.devicePid = other->pid;
    o.deviceSno = other->serial;
    if (ReadDeviceSetting(root, o)) {
      o.printerEnable = false;
      WriteDeviceSetting(root, o);
      replacedRecord = o;
    }
    removeEntry(printers, other, removing);
  }
  if (!on) removeEntry(printers, mine, removing);
  return replacedRecord;
}

AutoLinkListSnapshot::AutoLinkListSnapshot(const AutoLinkList& list) {
  for (const auto& e : list) entries_.push_back(*e);
}

void AutoLinkListSnapshot::Restore(AutoLinkList& list) const {
  list.resize(std::min(list.size(), entries_.size()));  // entries the wizard added go
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (i < list.size()) *list[i] = entries_[i];
    else list.push_back(std::make_unique<AutoLinkPrinter>(entries_[i]));
  }
}

printing::PrintWatchEntry WatchEntryOf(const AutoLinkPrinter& e, printing::WatchKind kind) {
  return {e.queueName, e.serverMac, e.vid, e.pid, e.serial, kind};
}

bool WatcherMustFollow(const printing::PrintWatchEntry* running, const AutoLinkPrinter& entry) {
  if (!running) return true;
  const printing::PrintWatchEntry now = WatchEntryOf(entry, running->kind);
  return running->queueName != now.queueName || running->serverMac != now.serverMac ||
         running->vid != now.vid || running->pid != now.pid || running->serial != now.serial;
}

void StoreScannerChoice(const std::string& root, const DeviceData& copy, std::int32_t scanSupport,
                        const std::string& scannerName, bool createIfMissing) {
  AutoConnectInfo r = DeviceRecordKey(copy);
  if (!ReadDeviceSetting(root, r) && !createIfMissing) return;
  r.scanIndex = scanSupport;
  r.scanNameTwain = scannerName;
  WriteDeviceSetting(root, r);
}

}  // namespace app
