#pragma once
// The device rows of the main window: one per shared USB device of every attached server, merged
// from each server's device list, worded, pictured and sorted. Plain data; the list view draws it.
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DeviceData.h"

namespace app {

struct ServerData;

// One device as a server's device list reports it.
struct ListedDevice {
  std::string port;  // decimal text of the signed port byte
  std::string vid, pid;  // four upper-case hexadecimal digits
  int lockType = 0;
  int lockCount = 0;
  std::string type, owner, manufacturer, product, serial;
};

using core::DeviceData;

inline constexpr const char* kWaitingToConnect = " - Waiting to Connect";
inline constexpr const char* kAvailableForUse = " - Available for Use";
inline constexpr const char* kInUseBy = " - In Use By";

// Pictures of the rows and their overlays.
enum Picture { kPictureMfp = 0, kPicturePrinter, kPictureStorage, kPictureScanner, kPictureOther };
enum Overlay { kNoOverlay = -1, kOverlayHeldHere = 0, kOverlayHeldElsewhere = 1, kOverlayAvailable = 2 };

struct DeviceRow {
  std::unique_ptr<DeviceData> data;
  int picture = kPictureOther;
};

// What a refresh needs to know about the world around the rows.
struct DeviceContext {
  std::string computerName;
  std::vector<std::string> registeredScanners;  // "Vid_xxxx&Pid_xxxx"
  // The auto-connect lookup: (server MAC, identity, printer list?) -> index and name, -1 = none.
  std::function<int(const std::string& mac, const std::string& identity, std::string& name,
                    bool printerList)>
      findAutoConnectEntry;
};

std::string UpperCase(std::string text);
int PictureForType(const std::string& type);
bool IsRegisteredScanner(const DeviceContext& ctx, const std::string& vid, const std::string& pid);
void SetDeviceStatusText(DeviceData& d, const DeviceContext& ctx);
// The colour (RGB) and overlay a row's status is drawn with.
struct StatusLook {
  std::uint32_t rgb;
  int overlay;
};
StatusLook LookOfStatus(const DeviceData& d, const std::string& computerName);
// The list's order: types containing "UNKNOWN" last, then type, maker, product, port, ignoring case.
bool DeviceRowBefore(const DeviceData& a, const DeviceData& b);

class DeviceRows {
 public:
  static constexpr int kNameSlots = 64;

  // Called with each row's display name as it is added (the device-found notice).
  using AddedHook = std::function<void(const DeviceData&)>;

  // Merges one server's device list: rows of devices still listed are rewritten in place (their
  // display name and server fields stay), rows of devices gone are deleted, new devices get rows
  // at the end; then the rows are sorted. A row is the same device only when its port and its
  // identity both match: another device on the same port replaces the row.
  void Merge(const ServerData& server, const std::vector<ListedDevice>& devices,
             const DeviceContext& ctx, const AddedHook& added);
  void RemoveServerRows(const std::string& serverName, const std::string& serverIp);
  void RemoveRow(const DeviceData* row);
  // The picture of a row whose type a binding changed.
  void SetPicture(const DeviceData* row, int picture);
  void Clear();

  const std::vector<DeviceRow>& rows() const { return rows_; }
  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  DeviceData* FindDeviceRow(const std::string& serverName, const std::string& serverIp,
                            const std::string& identity);
  DeviceData* FindHeldRow(const std::string& serverIp, const std::string& port,
                          const std::string& owner);
  // Row deletions are reported here (the window forgets its hover row, updates the notice).
  std::function<void(const DeviceData&, bool wasLast)> onDeleted;

 private:
  DeviceData makeRecord(const ServerData& s, const ListedDevice& item, const DeviceContext& ctx) const;
  void erase(std::size_t index);
  std::string takeNameSlot();
  void freeNameSlot(const DeviceData& d);
  void sortRows();

  std::vector<DeviceRow> rows_;
  std::bitset<kNameSlots> slots_;
};

}  // namespace app
