#include "app/DeviceSettings.h"

#include <algorithm>

#include "app/MainSettings.h"
#include "app/ServerList.h"
#include "platform/Registry.h"

namespace app {
namespace {

using platform::RegRoot;

std::string autoConnectKey(const std::string& root) { return root + "\\Auto-Connect"; }
std::string scannerKey(const std::string& root) { return root + "\\ScannerId"; }

std::optional<platform::RegKey> openUserKey(const std::string& path, bool create) {
  return platform::registry().openKey(RegRoot::CurrentUser, path, platform::kKeyAllAccess, create);
}

std::string text(const platform::RegKey& key, const char* name) {
  const auto v = key.value(name);
  if (!v || (v->type != platform::RegType::String && v->type != platform::RegType::ExpandString))
    return {};
  return v->text;
}

// The twenty-two values, in their stored order.
struct Field {
  const char* name;
  std::string AutoConnectInfo::*text = nullptr;
  bool AutoConnectInfo::*flag = nullptr;
  int AutoConnectInfo::*number = nullptr;
};

const Field kFields[] = {
    {"ServerName", &AutoConnectInfo::serverName},
    {"ServerIP", &AutoConnectInfo::serverIp},
    {"ServerMAC", &AutoConnectInfo::serverMac},
    {"DeviceVid", &AutoConnectInfo::deviceVid},
    {"DevicePid", &AutoConnectInfo::devicePid},
    {"DeviceSNo", &AutoConnectInfo::deviceSno},
    {"DeviceType", &AutoConnectInfo::deviceType},
    {"DeviceManufacturer", &AutoConnectInfo::deviceManufacturer},
    {"DeviceProduct", &AutoConnectInfo::deviceProduct},
    {"PrinterEnable", nullptr, &AutoConnectInfo::printerEnable},
    {"PrinterName", &AutoConnectInfo::printerName},
    {"PrinterPort", &AutoConnectInfo::printerPort},
    {"Reserve4", nullptr, &AutoConnectInfo::reserve4},
    {"Reserve5", &AutoConnectInfo::reserve5},
    {"Reserve6", &AutoConnectInfo::reserve6},
    {"ScanIndex", nullptr, nullptr, &AutoConnectInfo::scanIndex},
    {"Reserve7", &AutoConnectInfo::reserve7},
    {"ScanNameTwain", &AutoConnectInfo::scanNameTwain},
    {"Reserve8", nullptr, &AutoConnectInfo::reserve8},
    {"Reserve1", &AutoConnectInfo::reserve1},
    {"Reserve2", &AutoConnectInfo::reserve2},
    {"Reserve3", &AutoConnectInfo::reserve3},
};

int readScanIndex(const std::string& stored) {
  const auto v = ParseInteger(stored);
  return v && *v >= 1 && *v <= 2 ? static_cast<int>(*v) : 0;
}

void readAll(const platform::RegKey& key, AutoConnectInfo& r) {
  for (const Field& f : kFields) {
    const std::string stored = text(key, f.name);
    if (f.text) r.*f.text = stored;
    else if (f.flag) r.*f.flag = ReadStoredSwitch(stored);
    else r.*f.number = readScanIndex(stored);
  }
}

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

}  // namespace

std::string DeviceKeyName(const AutoConnectInfo& r) {
  return "IP_" + r.serverIp + "&MAC_" + r.serverMac + "&Vid_" + r.deviceVid + "&Pid_" +
         r.devicePid + "&SNo_" + r.deviceSno;
}

bool ReadDeviceSetting(const std::string& root, AutoConnectInfo& r) {
  const auto key = openUserKey(autoConnectKey(root) + "\\" + DeviceKeyName(r), false);
  if (!key) return false;
  readAll(*key, r);
  return true;
}

bool WriteDeviceSetting(const std::string& root, const AutoConnectInfo& r) {
  if (!openUserKey(autoConnectKey(root), true)) return false;
  auto key = openUserKey(autoConnectKey(root) + "\\" + DeviceKeyName(r), true);
  if (!key) return false;
  bool ok = true;
  for (const Field& f : kFields) {
    const std::string value = f.text   ? r.*f.text
                              : f.flag ? std::string(r.*f.flag ? "1" : "0")
                                       : std::to_string(r.*f.number);
    ok = key->setString(f.name, value) && ok;
  }
  return ok;
}

std::vector<std::string> ListAutoConnectKeys(const std::string& root) {
  const auto key = openUserKey(autoConnectKey(root), true);
  return key ? key->subKeyNames() : std::vector<std::string>{};
}

bool ReadDeviceSettingFromKey(const std::string& root, const std::string& keyName,
                              AutoConnectInfo& r) {
  const auto key = openUserKey(autoConnectKey(root) + "\\" + keyName, true);
  if (!key) return false;
  readAll(*key, r);
  return true;
}

bool ReadDeviceSettingAt(const std::string& root, int index, AutoConnectInfo& r) {
  const auto names = ListAutoConnectKeys(root);
  if (index < 0 || index >= static_cast<int>(names.size())) return false;
  return ReadDeviceSettingFromKey(root, names[static_cast<std::size_t>(index)], r);
}

void LoadAutoConnectLists(const std::string& root, AutoLinkList& printers, AutoLinkList& faxes) {
  const auto names = ListAutoConnectKeys(root);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    // Server keys, and devices stored without a vendor id, are not bindings.
    if (contains(name, "&Vid_&Pid_") || !contains(name, "&Vid") || !contains(name, "&Pid_"))
      continue;
    AutoConnectInfo r;
    if (!ReadDeviceSettingFromKey(root, name, r)) break;
    if (name != DeviceKeyName(r)) continue;
    if (r.printerName.empty() && r.reserve5.empty()) continue;
    auto entry = [&](const std::string& queue, const std::string& port, const char* kind,
                     const char* state, bool used) {
      auto e = std::make_unique<AutoLinkPrinter>();
      *e = {r.serverIp, r.serverMac, r.deviceVid, r.devicePid, r.deviceSno, queue, port, kind,
            state, used ? "Used" : ""};
      return e;
    };
    if (!r.printerName.empty() && r.printerEnable)
      printers.push_back(entry(r.printerName, r.printerPort, "Printer", "Empty", true));
    if (!r.reserve5.empty() && r.reserve4)
      faxes.push_back(entry(r.reserve5, r.reserve6, "Fax", "", r.printerEnable));
  }
}

std::vector<std::string> LoadScannerIds(const std::string& root) {
  std::vector<std::string> ids;
  const auto key = openUserKey(scannerKey(root), true);
  if (!key) return ids;
  for (const auto& v : key->values()) ids.push_back(v.name);
  return ids;
}

void DropMalformedScannerIds(std::vector<std::string>& ids) {
  ids.erase(std::remove_if(ids.begin(), ids.end(),
                           [](const std::string& id) {
                             return !contains(id, "Vid_") || !contains(id, "&Pid_");
                           }),
            ids.end());
}

bool RegisterScannerId(const std::string& root, const std::string& vid, const std::string& pid,
                       const std::string& identity) {
  auto key = openUserKey(scannerKey(root), true);
  return key && key->setString("Vid_" + vid + "&Pid_" + pid, identity);
}

bool UnregisterScannerId(const std::string& root, const std::string& vid, const std::string& pid) {
  auto key = openUserKey(scannerKey(root), true);
  if (!key) return false;
  key->deleteValue("Vid_" + vid + "&Pid_" + pid);
  return true;
}

}  // namespace app
