#pragma once
// What the printer and scanner binding commands store once the set-up wizard has closed: the
// device's record, the entry of another device that gave up its queue, and the scanner choice.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/DeviceRows.h"
#include "app/DeviceSettings.h"
#include "printing/PrintWatcherHost.h"

namespace app {

// The record of the device a row shows, keyed by its server and its ids.
AutoConnectInfo DeviceRecordKey(const DeviceData& d);

// Stores the binding the wizard made: the device's record (its stored values kept, so a fax
// binding survives) with "PrinterEnable" `on` and the queue and port of entry `chosen`; the
// device that bound the same queue before (entry `replaced`) gets "PrinterEnable" "0" and loses
// its entry; without `on` the chosen entry leaves the list too. `removing` is called with an
// entry's index just before it leaves the list (its watcher goes first). Returns the record of
// the replaced device, when there was one.
std::optional<AutoConnectInfo> StorePrinterBinding(const std::string& root, const DeviceData& copy,
                                                   AutoLinkList& printers, std::int32_t chosen,
                                                   bool on, std::int32_t replaced,
                                                   const std::function<void(std::size_t)>& removing);

// The printer list as stored, kept while the wizard runs: a run that ends without OK puts back
// what the wizard changed in it, so that no watcher later starts on a binding never stored.
class AutoLinkListSnapshot {
 public:
  explicit AutoLinkListSnapshot(const AutoLinkList& list);
  void Restore(AutoLinkList& list) const;

 private:
  std::vector<AutoLinkPrinter> entries_;
};

// What the watcher of an auto-connect entry watches.
printing::PrintWatchEntry WatchEntryOf(const AutoLinkPrinter& entry, printing::WatchKind kind);

// After the troubleshooting page, which restarts no watcher: the entry's watcher is started only
// when none runs (`running` null) or the one running watches another queue or device than the
// entry now names. A watcher on the same queue is left alone.
bool WatcherMustFollow(const printing::PrintWatchEntry* running, const AutoLinkPrinter& entry);

// Writes the scanner choice into the device's record. Without a record: nothing, or a new record
// holding only the device's keys when `createIfMissing`.
void StoreScannerChoice(const std::string& root, const DeviceData& copy, std::int32_t scanSupport,
                        const std::string& scannerName, bool createIfMissing);

}  // namespace app
