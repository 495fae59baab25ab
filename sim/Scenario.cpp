#include <cstdio>
#include "sim/Scenario.h"

#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "sim/ScenarioNetwork.h"
#include "sim/Spooler.h"

namespace sim {
namespace {

using nlohmann::json;

struct Fault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& where, const std::string& what) {
  throw Fault(where + ": " + what);
}

// Keys each object may carry; later additions to the format go here.
const std::initializer_list<std::string_view> kTopKeys = {
    "hosts", "servers", "serverListNotValidMs", "driverVersion", "busVersion", "printMs",
    "versionReply"};
const std::initializer_list<std::string_view> kHostKeys = {
    "name", "ip", "windowsVersion", "adapters", "ports", "queues", "deviceSettings", "installed",
    "spoolerAdmin", "scanners", "sane", "firewall", "program"};
const std::initializer_list<std::string_view> kProgramKeys = {"directory", "version"};
const std::initializer_list<std::string_view> kPortKeys = {"name", "description", "monitor"};
const std::initializer_list<std::string_view> kQueueKeys = {"name",   "port",   "driver", "offline",
                                                            "paused", "access", "device"};
const std::initializer_list<std::string_view> kQueueDeviceKeys = {"server", "port"};
const std::initializer_list<std::string_view> kAdapterKeys = {"type", "mac", "ip", "mask",
                                                              "gateway"};
const std::initializer_list<std::string_view> kServerKeys = {"ip",     "mac",         "name",
                                                             "status", "storageMode", "devices"};
const std::initializer_list<std::string_view> kDeviceKeys = {
    "port", "vid", "pid", "type", "manufacturer", "product", "serial", "subItems", "holder", "busy",
    "plugAndPlay"};
const std::initializer_list<std::string_view> kPlugAndPlayKeys = {"kind", "interfaces", "scanner"};
const std::initializer_list<std::string_view> kStillImageKeys = {"name", "twainSource", "deviceType",
                                                                 "service", "wia"};
const std::initializer_list<std::string_view> kWiaKeys = {
    "source", "sheets", "feederStatus", "formats", "dpi", "width", "height", "dialog", "offline",
    "failingPage"};
const std::initializer_list<std::string_view> kPlugAndPlayKinds = {
    "printer", "scanner", "storage", "composite", "dot4", "vendor"};
const std::initializer_list<std::string_view> kInterfaceKinds = {
    "printer", "fax", "scanner", "storage", "hid", "audio", "dot4", "vendor"};
const std::initializer_list<std::string_view> kHolderKeys = {"host", "lockType", "lockCount",
                                                             "seconds"};
const std::initializer_list<std::string_view> kSubItemKeys = {"a", "b"};
const std::initializer_list<std::string_view> kScannerKeys = {
    "product", "manufacturer", "family", "device", "pages", "resolutions", "endXferCounts",
    "failingPage", "user"};
const std::initializer_list<std::string_view> kScannerPageKeys = {"width", "height",
                                                                  "bitsPerPixel", "dpi"};

void requireObject(const json& j, const std::string& where,
                   std::initializer_list<std::string_view> keys) {
  if (!j.is_object()) fail(where, "expected an object");
  for (const auto& [key, value] : j.items()) {
    if (std::find(keys.begin(), keys.end(), key) == keys.end())
      fail(where, "unknown key \"" + key + "\"");
  }
}

const json& member(const json& j, const std::string& where, const char* key) {
  if (!j.contains(key)) fail(where, std::string("missing \"") + key + "\"");
  return j.at(key);
}

std::string at(const std::string& where, const char* key) { return where + "." + key; }

std::int64_t integer(const json& j, const std::string& where, std::int64_t lo, std::int64_t hi) {
  const std::string range = "expected an integer from " + std::to_string(lo) + " to " + std::to_string(hi);
  if (!j.is_number_integer()) fail(where, range);
  if (j.is_number_unsigned() && j.get<std::uint64_t>() > static_cast<std::uint64_t>(hi))
    fail(where, range);
  const auto v = j.get<std::int64_t>();
  if (v < lo || v > hi) fail(where, range);
  return v;
}

std::int64_t optionalInteger(const json& j, const std::string& where, const char* key,
                             std::int64_t lo, std::int64_t hi, std::int64_t fallback) {
  return j.contains(key) ? integer(j.at(key), at(where, key), lo, hi) : fallback;
}

std::string text(const json& j, const std::string& where, std::size_t maxBytes) {
  if (!j.is_string()) fail(where, "expected a text");
  std::string s = j.get<std::string>();
  if (s.size() > maxBytes) fail(where, "longer than " + std::to_string(maxBytes) + " bytes");
  return s;
}

std::string optionalText(const json& j, const std::string& where, const char* key,
                         std::string fallback) {
  return j.contains(key) ? text(j.at(key), at(where, key), kMaxFieldBytes) : fallback;
}

Ipv4 ipv4(const json& j, const std::string& where) {
  const auto ip = parseIpv4(text(j, where, 15));
  if (!ip) fail(where, "expected a dotted IPv4 address such as \"192.168.1.20\"");
  return *ip;
}

std::uint16_t usbId(const json& j, const std::string& where) {
  if (j.is_number_integer()) return static_cast<std::uint16_t>(integer(j, where, 0, 0xFFFF));
  const std::string s = j.is_string() ? j.get<std::string>() : std::string();
  const auto bytes = fromHex(s);
  if (!j.is_string() || s.size() != 4 || !bytes) fail(where, "expected 4 hexadecimal digits");
  return static_cast<std::uint16_t>((*bytes)[0] << 8 | (*bytes)[1]);
}

std::vector<std::uint8_t> hexBytes(const json& j, const std::string& where) {
  const auto bytes = fromHex(text(j, where, 2 * kMaxFieldBytes));
  if (!bytes) fail(where, "expected an even number of hexadecimal digits");
  return *bytes;
}

Version version(const json& j, const std::string& where) {
  const std::string s = text(j, where, 32);
  int parts[3] = {};
  char tail = 0;
  if (std::sscanf(s.c_str(), "%d.%d.%d%c", &parts[0], &parts[1], &parts[2], &tail) != 3)
    fail(where, "expected a version such as \"2.1.7\"");
  for (int p : parts)
    if (p < -128 || p > 127) fail(where, "each version part must be from -128 to 127");
  return {static_cast<std::int8_t>(parts[0]), static_cast<std::int8_t>(parts[1]),
          static_cast<std::int8_t>(parts[2])};
}

const json& array(const json& j, const std::string& where) {
  if (!j.is_array()) fail(where, "expected a list");
  return j;
}

std::string indexed(const std::string& where, std::size_t i) {
  return where + "[" + std::to_string(i) + "]";
}

bool optionalFlag(const json& j, const std::string& where, const char* key) {
  if (!j.contains(key)) return false;
  if (!j.at(key).is_boolean()) fail(at(where, key), "expected true or false");
  return j.at(key).get<bool>();
}

// Calls read(item, place) for every item of an optional list.
template <typename Read>
void eachItem(const json& j, const std::string& where, const char* key, Read read) {
  if (!j.contains(key)) return;
  const std::string list = at(where, key);
  const json& items = array(j.at(key), list);
  for (std::size_t i = 0; i < items.size(); ++i) read(items[i], indexed(list, i));
}

PrinterPort readPort(const json& j, const std::string& where) {
  requireObject(j, where, kPortKeys);
  PrinterPort port;
  port.name = text(member(j, where, "name"), at(where, "name"), kMaxFieldBytes);
  if (port.name.empty()) fail(at(where, "name"), "a port needs a name");
  port.description = optionalText(j, where, "description", "");
  port.monitor = optionalText(j, where, "monitor", "");
  return port;
}

std::uint32_t grants(const json& j, const std::string& where) {
  const auto level = parseAccessLevel(text(j, where, 16));
  if (!level) fail(where, "expected \"full\", \"administer\", \"use\" or \"none\"");
  return *level;
}

// The values of a device's binding record, in the order the program writes them, and what a
// value the scenario leaves out is written as.
struct SettingValue {
  const char* name;
  const char* fallback;
  bool required;  // the five that make the key's name
};
constexpr SettingValue kDeviceSettingValues[] = {
    {"ServerName", "", false},         {"ServerIP", "", true},
    {"ServerMAC", "", true},           {"DeviceVid", "", true},
    {"DevicePid", "", true},           {"DeviceSNo", "", true},
    {"DeviceType", "", false},         {"DeviceManufacturer", "", false},
    {"DeviceProduct", "", false},      {"PrinterEnable", "0", false},
    {"PrinterName", "", false},        {"PrinterPort", "", false},
    {"Reserve4", "0", false},          {"Reserve5", "", false},
    {"Reserve6", "", false},           {"ScanIndex", "0", false},
    {"Reserve7", "", false},           {"ScanNameTwain", "", false},
    {"Reserve8", "0", false},          {"Reserve1", "", false},
    {"Reserve2", "", false},           {"Reserve3", "", false},
};
constexpr const char* kSettingsKey = "Software\\Tarvex\\Velmora Network USB Utility";
constexpr const char* kAutoConnectKey = "Software\\Tarvex\\Velmora Network USB Utility\\Auto-Connect";
constexpr std::size_t kMaxSettingBytes = 255;

RegistrySeed readDeviceSetting(const json& j, const std::string& where) {
  if (!j.is_object()) fail(where, "expected an object");
  for (const auto& [key, value] : j.items()) {
    const auto known = std::find_if(std::begin(kDeviceSettingValues), std::end(kDeviceSettingValues),
                                    [&](const SettingValue& v) { return key == v.name; });
    if (known == std::end(kDeviceSettingValues)) fail(where, "unknown key \"" + key + "\"");
  }
  RegistrySeed seed;
  std::map<std::string, std::string> byName;
  for (const SettingValue& v : kDeviceSettingValues) {
    if (v.required && !j.contains(v.name)) fail(where, std::string("missing \"") + v.name + "\"");
    std::string value = j.contains(v.name) ? text(j.at(v.name), at(where, v.name), kMaxSettingBytes)
                                           : std::string(v.fallback);
    byName[v.name] = value;
    seed.values.emplace_back(v.name, std::move(value));
  }
  seed.key = std::string(kAutoConnectKey) + "\\IP_" + byName["ServerIP"] + "&MAC_" +
             byName["ServerMAC"] + "&Vid_" + byName["DeviceVid"] + "&Pid_" + byName["DevicePid"] +
             "&SNo_" + byName["DeviceSNo"];
  return seed;
}

// What the program's installer writes in the machine hive: its folder and its version.
RegistrySeed readProgram(const json& j, const std::string& where) {
  requireObject(j, where, kProgramKeys);
  RegistrySeed seed;
  seed.key = kSettingsKey;
  seed.machine = true;
  if (j.contains("directory"))
    seed.values.emplace_back("Install Directory", text(j.at("directory"), at(where, "directory"), kMaxSettingBytes));
  if (j.contains("version"))
    seed.values.emplace_back("Product Version", text(j.at("version"), at(where, "version"), kMaxSettingBytes));
  return seed;
}

DeviceRef readDeviceRef(const json& j, const std::string& w) {
  requireObject(j, w, kQueueDeviceKeys);
  return DeviceRef{ipv4(member(j, w, "server"), at(w, "server")),
                   static_cast<std::uint8_t>(integer(member(j, w, "port"), at(w, "port"), 1, 127))};
}

PrinterQueue readQueue(const json& j, const std::string& where) {
  requireObject(j, where, kQueueKeys);
  PrinterQueue q;
  q.name = text(member(j, where, "name"), at(where, "name"), kMaxFieldBytes);
  if (q.name.empty()) fail(at(where, "name"), "a queue needs a name");
  q.port = text(member(j, where, "port"), at(where, "port"), kMaxFieldBytes);
  q.driver = optionalText(j, where, "driver", q.name);
  if (optionalFlag(j, where, "offline")) q.attributes |= 0x400;
  if (optionalFlag(j, where, "paused")) q.status |= 0x1;
  if (j.contains("access")) q.grants = grants(j.at("access"), at(where, "access"));
  if (j.contains("device")) q.device = readDeviceRef(j.at("device"), at(where, "device"));
  return q;
}

std::string oneOf(const json& j, const std::string& where,
                  std::initializer_list<std::string_view> allowed) {
  std::string value = text(j, where, 32);
  if (std::find(allowed.begin(), allowed.end(), value) != allowed.end()) return value;
  std::string list;
  for (std::string_view a : allowed) list += (list.empty() ? "\"" : ", \"") + std::string(a) + "\"";
  fail(where, "expected one of " + list);
}

WiaScanner readWia(const json& j, const std::string& where) {
  requireObject(j, where, kWiaKeys);
  WiaScanner w;
  if (j.contains("source")) w.feeder = oneOf(j.at("source"), at(where, "source"), {"flatbed", "feeder"}) == "feeder";
  w.sheets = static_cast<std::uint32_t>(optionalInteger(j, where, "sheets", 0, 1000, 3));
  if (j.contains("feederStatus"))
    w.feederAlwaysReady =
        oneOf(j.at("feederStatus"), at(where, "feederStatus"), {"sheets", "ready"}) == "ready";
  if (j.contains("formats")) {
    const std::string list = at(where, "formats");
    const json& items = array(j.at("formats"), list);
    w.bmp = w.jpeg = false;
    for (std::size_t i = 0; i < items.size(); ++i)
      (oneOf(items[i], indexed(list, i), {"bmp", "jpeg"}) == "bmp" ? w.bmp : w.jpeg) = true;
    if (!w.bmp && !w.jpeg) fail(list, "a device offers one format at least");
  }
  w.dpi = static_cast<std::uint32_t>(optionalInteger(j, where, "dpi", 50, 1200, 300));
  w.width = static_cast<std::uint32_t>(optionalInteger(j, where, "width", 1, 10000, 850));
  w.height = static_cast<std::uint32_t>(optionalInteger(j, where, "height", 1, 14000, 1100));
  if (j.contains("dialog")) w.cancelDialog = oneOf(j.at("dialog"), at(where, "dialog"), {"scan", "cancel"}) == "cancel";
  w.offline = optionalFlag(j, where, "offline");
  w.failingPage = static_cast<std::uint32_t>(optionalInteger(j, where, "failingPage", 0, 1000, 0));
  return w;
}

PlugAndPlayShape readPlugAndPlay(const json& j, const std::string& where) {
  requireObject(j, where, kPlugAndPlayKeys);
  PlugAndPlayShape shape;
  if (j.contains("kind")) shape.kind = oneOf(j.at("kind"), at(where, "kind"), kPlugAndPlayKinds);
  if (j.contains("interfaces")) {
    const std::string list = at(where, "interfaces");
    if (shape.kind != "composite") fail(list, "only a composite device has interfaces");
    const json& items = array(j.at("interfaces"), list);
    if (items.empty() || items.size() > 10) fail(list, "expected 1 to 10 interfaces");
    int scanners = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      shape.interfaces.push_back(oneOf(items[i], indexed(list, i), kInterfaceKinds));
      if (shape.interfaces.back() == "scanner" || shape.interfaces.back() == "dot4") ++scanners;
      if (scanners > 1) fail(indexed(list, i), "a device has one scanner function at most");
    }
  } else if (shape.kind == "composite") {
    fail(where, "a composite device needs \"interfaces\"");
  }
  if (j.contains("scanner")) {
    const std::string w = at(where, "scanner");
    const json& s = j.at("scanner");
    requireObject(s, w, kStillImageKeys);
    if (s.contains("name")) shape.scannerName = text(s.at("name"), at(w, "name"), 255);
    if (s.contains("twainSource")) shape.twainSource = text(s.at("twainSource"), at(w, "twainSource"), 255);
    shape.stillImageType = static_cast<std::uint32_t>(optionalInteger(s, w, "deviceType", 1, 3, 1));
    shape.scannerService = s.contains("service") ? text(s.at("service"), at(w, "service"), 64)
                                                 : shape.scannerService;
    if (s.contains("wia")) shape.wia = readWia(s.at("wia"), at(w, "wia"));
  }
  return shape;
}

void readHolder(const json& j, const std::string& where, Device& d) {
  requireObject(j, where, kHolderKeys);
  d.holder = text(member(j, where, "host"), at(where, "host"), 63);
  if (!isValidHostName(d.holder)) fail(at(where, "host"), "not a valid host name");
  d.lockType = static_cast<std::int8_t>(integer(member(j, where, "lockType"), at(where, "lockType"), 1, 2));
  d.lockCount = static_cast<std::int8_t>(optionalInteger(j, where, "lockCount", 1, 127, 1));
  if (j.contains("seconds"))
    d.holdEndsMs = integer(j.at("seconds"), at(where, "seconds"), 0, 0xFFFFFFFF) * 1000;
}

Device readDevice(const json& j, const std::string& where) {
  requireObject(j, where, kDeviceKeys);
  Device d;
  d.port = static_cast<std::uint8_t>(integer(member(j, where, "port"), at(where, "port"), 1, 127));
  d.vid = usbId(member(j, where, "vid"), at(where, "vid"));
  d.pid = usbId(member(j, where, "pid"), at(where, "pid"));
  d.type = optionalText(j, where, "type", "UNKNOWN");
  d.manufacturer = optionalText(j, where, "manufacturer", "");
  d.product = optionalText(j, where, "product", "");
  d.serial = optionalText(j, where, "serial", "");
  if (j.contains("subItems")) {
    const std::string list = at(where, "subItems");
    const json& items = array(j.at("subItems"), list);
    if (items.size() > kMaxFieldBytes) fail(list, "more than 127 sub-items");
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::string w = indexed(list, i);
      requireObject(items[i], w, kSubItemKeys);
      SubItemRecord sub;
      if (items[i].contains("a")) sub.first = hexBytes(items[i].at("a"), at(w, "a"));
      if (items[i].contains("b")) sub.second = hexBytes(items[i].at("b"), at(w, "b"));
      d.subItems.push_back(std::move(sub));
    }
  }
  if (j.contains("holder")) readHolder(j.at("holder"), at(where, "holder"), d);
  if (j.contains("busy")) {
    if (!j.at("busy").is_boolean()) fail(at(where, "busy"), "expected true or false");
    d.busy = j.at("busy").get<bool>();
  }
  if (j.contains("plugAndPlay")) d.plugAndPlay = readPlugAndPlay(j.at("plugAndPlay"), at(where, "plugAndPlay"));
  return d;
}

Server readServer(const json& j, const std::string& where) {
  requireObject(j, where, kServerKeys);
  Server s;
  s.ip = ipv4(member(j, where, "ip"), at(where, "ip"));
  const auto mac = parseMac(text(member(j, where, "mac"), at(where, "mac"), 17));
  if (!mac) fail(at(where, "mac"), "expected six hexadecimal bytes such as \"00:1A:2B:3C:4D:5E\"");
  s.mac = *mac;
  s.name = text(member(j, where, "name"), at(where, "name"), kMaxFieldBytes);
  s.status = static_cast<std::int8_t>(optionalInteger(j, where, "status", -128, 127, 1));
  s.storageMode = static_cast<std::int8_t>(optionalInteger(j, where, "storageMode", -128, 127, 1));
  if (j.contains("devices")) {
    const std::string list = at(where, "devices");
    const json& devices = array(j.at("devices"), list);
    std::set<int> ports;
    for (std::size_t i = 0; i < devices.size(); ++i) {
      Device d = readDevice(devices[i], indexed(list, i));
      if (!ports.insert(d.port).second)
        fail(indexed(list, i) + ".port", "port " + std::to_string(d.port) + " is used twice");
      s.devices.push_back(std::move(d));
    }
  }
  return s;
}

// A computer that names no adapter has one Ethernet adapter on its own address, without a gateway.
Adapter defaultAdapter(const Ipv4& ip) {
  Adapter a;
  a.mac = {0x02, 0x00, ip[0], ip[1], ip[2], ip[3]};
  a.ip = ip;
  return a;
}

Adapter readAdapter(const json& j, const std::string& where) {
  requireObject(j, where, kAdapterKeys);
  Adapter a;
  a.type = static_cast<std::uint32_t>(optionalInteger(j, where, "type", 1, 300, 6));
  const auto mac = parseMac(text(member(j, where, "mac"), at(where, "mac"), 17));
  if (!mac) fail(at(where, "mac"), "expected six hexadecimal bytes such as \"00:1A:2B:3C:4D:5E\"");
  a.mac = *mac;
  a.ip = ipv4(member(j, where, "ip"), at(where, "ip"));
  if (j.contains("mask")) a.mask = ipv4(j.at("mask"), at(where, "mask"));
  if (j.contains("gateway")) a.gateway = ipv4(j.at("gateway"), at(where, "gateway"));
  return a;
}

// A network scanner's TWAIN source. Its names fill 32-character fields of the source's identity.
constexpr std::size_t kMaxSourceName = 32;

platform::SimScannerPage readScannerPage(const json& j, const std::string& where) {
  requireObject(j, where, kScannerPageKeys);
  platform::SimScannerPage p;
  p.width = static_cast<std::uint32_t>(optionalInteger(j, where, "width", 1, 20000, 850));
  p.height = static_cast<std::uint32_t>(optionalInteger(j, where, "height", 1, 20000, 1100));
  p.bitsPerPixel = static_cast<std::uint32_t>(optionalInteger(j, where, "bitsPerPixel", 1, 24, 24));
  if (p.bitsPerPixel != 1 && p.bitsPerPixel != 8 && p.bitsPerPixel != 24)
    fail(at(where, "bitsPerPixel"), "expected 1, 8 or 24");
  p.dpi = static_cast<std::uint32_t>(optionalInteger(j, where, "dpi", 50, 2400, 300));
  return p;
}

platform::SimScanner readScanner(const json& j, const std::string& where) {
  requireObject(j, where, kScannerKeys);
  platform::SimScanner s;
  s.product = text(member(j, where, "product"), at(where, "product"), kMaxSourceName);
  if (s.product.empty()) fail(at(where, "product"), "a scanner needs a product name");
  s.manufacturer = j.contains("manufacturer")
                       ? text(j.at("manufacturer"), at(where, "manufacturer"), kMaxSourceName)
                       : std::string();
  s.family = j.contains("family") ? text(j.at("family"), at(where, "family"), kMaxSourceName)
                                  : std::string();
  const DeviceRef device = readDeviceRef(member(j, where, "device"), at(where, "device"));
  s.server = formatIpv4(device.server);
  s.port = device.port;
  eachItem(j, where, "pages", [&](const json& item, const std::string& pw) {
    s.pages.push_back(readScannerPage(item, pw));
  });
  if (!j.contains("pages")) s.pages.push_back({});
  if (s.pages.empty()) fail(at(where, "pages"), "a scanner needs at least one page");
  eachItem(j, where, "resolutions", [&](const json& item, const std::string& rw) {
    s.resolutions.push_back(static_cast<std::uint32_t>(integer(item, rw, 50, 2400)));
  });
  eachItem(j, where, "endXferCounts", [&](const json& item, const std::string& cw) {
    s.endXferCounts.push_back(static_cast<std::uint32_t>(integer(item, cw, 0, 0xFFFF)));
  });
  s.failingPage = static_cast<std::uint32_t>(optionalInteger(
      j, where, "failingPage", 0, static_cast<std::int64_t>(s.pages.size()), 0));
  if (j.contains("user")) {
    const std::string user = text(j.at("user"), at(where, "user"), 16);
    if (user == "person") s.user = platform::SimScannerUser::Person;
    else if (user == "scan") s.user = platform::SimScannerUser::Scan;
    else if (user == "close") s.user = platform::SimScannerUser::Close;
    else fail(at(where, "user"), "expected \"person\", \"scan\" or \"close\"");
  }
  return s;
}

// Every scanner belongs to a device the scenario's servers share.
void checkScannerDevices(const WorldSetup& setup) {
  for (std::size_t h = 0; h < setup.hosts.size(); ++h) {
    for (std::size_t i = 0; i < setup.hosts[h].scanners.size(); ++i) {
      const platform::SimScanner& s = setup.hosts[h].scanners[i];
      const bool found = std::any_of(setup.servers.begin(), setup.servers.end(), [&](const Server& server) {
        return formatIpv4(server.ip) == s.server &&
               std::any_of(server.devices.begin(), server.devices.end(),
                           [&](const Device& d) { return d.port == s.port; });
      });
      if (!found)
        fail(indexed(indexed("hosts", h) + ".scanners", i) + ".device",
             "no server shares a device " + s.server + " port " + std::to_string(s.port));
    }
  }
}

Host readHost(const json& j, const std::string& where) {
  requireObject(j, where, kHostKeys);
  Host h;
  h.name = text(member(j, where, "name"), at(where, "name"), 63);
  if (!isValidHostName(h.name))
    fail(at(where, "name"), "a host name is 1 to 63 letters, digits, '-', '_' or '.', not starting with '.'");
  h.ip = ipv4(member(j, where, "ip"), at(where, "ip"));
  h.windowsVersion = optionalText(j, where, "windowsVersion", "6.1");
  unsigned major = 0, minor = 0;
  char tail = 0;
  if (std::sscanf(h.windowsVersion.c_str(), "%u.%u%c", &major, &minor, &tail) != 2)
    fail(at(where, "windowsVersion"), "expected a version such as \"6.1\"");
  if (j.contains("adapters")) {
    const std::string list = at(where, "adapters");
    const json& adapters = array(j.at("adapters"), list);
    for (std::size_t i = 0; i < adapters.size(); ++i)
      h.adapters.push_back(readAdapter(adapters[i], indexed(list, i)));
  } else {
    h.adapters.push_back(defaultAdapter(h.ip));
  }
  eachItem(j, where, "ports", [&](const json& item, const std::string& w) {
    h.ports.push_back(readPort(item, w));
  });
  if (j.contains("spoolerAdmin")) h.spoolerAdmin = optionalFlag(j, where, "spoolerAdmin");
  eachItem(j, where, "queues", [&](const json& item, const std::string& w) {
    PrinterQueue q = readQueue(item, w);
    for (const PrinterQueue& other : h.queues)
      if (equalNoCase(other.name, q.name)) fail(at(w, "name"), "queue \"" + q.name + "\" is named twice");
    h.queues.push_back(std::move(q));
  });
  eachItem(j, where, "deviceSettings", [&](const json& item, const std::string& w) {
    h.registry.push_back(readDeviceSetting(item, w));
  });
  eachItem(j, where, "installed", [&](const json& item, const std::string& w) {
    h.installed.push_back(readDeviceRef(item, w));
  });
  eachItem(j, where, "scanners", [&](const json& item, const std::string& w) {
    h.scanners.push_back(readScanner(item, w));
  });
  if (j.contains("program")) h.registry.push_back(readProgram(j.at("program"), at(where, "program")));
  h.sane = optionalFlag(j, where, "sane");
  if (j.contains("firewall"))
    if (std::string e = readFirewallProfile(j.at("firewall"), at(where, "firewall"), h.firewall); !e.empty())
      throw Fault(e);
  return h;
}

WorldSetup readScenario(const json& j) {
  requireObject(j, "scenario", kTopKeys);
  WorldSetup setup;
  const json& hosts = array(member(j, "scenario", "hosts"), "hosts");
  if (hosts.empty()) fail("hosts", "at least one host is needed");
  std::set<std::string> names;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    Host h = readHost(hosts[i], indexed("hosts", i));
    if (!names.insert(h.name).second) fail(indexed("hosts", i) + ".name", "host " + h.name + " is named twice");
    setup.hosts.push_back(std::move(h));
  }
  if (j.contains("servers")) {
    const json& servers = array(j.at("servers"), "servers");
    std::set<Ipv4> ips;
    for (std::size_t i = 0; i < servers.size(); ++i) {
      const std::string w = indexed("servers", i);
      Server s = readServer(servers[i], w);
      if (!ips.insert(s.ip).second) fail(w + ".ip", formatIpv4(s.ip) + " is used twice");
      for (std::size_t k = 0; k < s.devices.size(); ++k) {
        const std::string& holder = s.devices[k].holder;
        if (!holder.empty() && !names.contains(holder))
          fail(w + ".devices" + "[" + std::to_string(k) + "].holder.host",
               "\"" + holder + "\" is not one of the hosts");
      }
      setup.servers.push_back(std::move(s));
    }
  }
  for (std::size_t i = 0; i < setup.hosts.size(); ++i) {
    for (std::size_t k = 0; k < setup.hosts[i].installed.size(); ++k) {
      const DeviceRef& ref = setup.hosts[i].installed[k];
      const bool known = std::any_of(setup.servers.begin(), setup.servers.end(), [&](const Server& s) {
        return s.ip == ref.server && std::any_of(s.devices.begin(), s.devices.end(),
                                                 [&](const Device& d) { return d.port == ref.port; });
      });
      if (!known)
        fail(indexed(indexed("hosts", i) + ".installed", k),
             "no device on port " + std::to_string(ref.port) + " of " + formatIpv4(ref.server));
    }
  }
  setup.serverListNotValidMs = optionalInteger(j, "scenario", "serverListNotValidMs", 0,
                                               24LL * 3600 * 1000, 0);
  if (j.contains("driverVersion")) setup.driverVersion = version(j.at("driverVersion"), "driverVersion");
  if (j.contains("busVersion")) setup.busVersion = version(j.at("busVersion"), "busVersion");
  setup.printMs = optionalInteger(j, "scenario", "printMs", 0, 24LL * 3600 * 1000, 3000);
  checkScannerDevices(setup);
  if (j.contains("versionReply")) {
    VersionReply reply;
    if (std::string e = readVersionReply(j.at("versionReply"), "versionReply", reply); !e.empty())
      throw Fault(e);
    setup.versionReply = std::move(reply);
  }
  return setup;
}

// Refuses an object that names a key twice, which the reader would otherwise settle silently by
// keeping the last; the fault names the object as the reader names places ("hosts[0]").
class DuplicateKeyCheck {
 public:
  bool operator()(int, json::parse_event_t event, const json& parsed) {
    switch (event) {
      case json::parse_event_t::object_start:
      case json::parse_event_t::array_start:
        open_->push_back({childPlace(), event == json::parse_event_t::object_start, {}, {}, 0});
        break;
      case json::parse_event_t::key: {
        Container& object = open_->back();
        object.key = parsed.get<std::string>();
        if (!object.keys.insert(object.key).second)
          fail(object.place, "duplicate key \"" + object.key + "\"");
        break;
      }
      case json::parse_event_t::object_end:
      case json::parse_event_t::array_end:
        open_->pop_back();
        elementDone();
        break;
      case json::parse_event_t::value: elementDone(); break;
    }
    return true;
  }

 private:
  struct Container {
    std::string place;
    bool object;
    std::set<std::string> keys;
    std::string key;       // the member being read
    std::size_t index = 0;  // the element being read
  };

  std::string childPlace() const {
    if (open_->empty()) return "scenario";
    const Container& parent = open_->back();
    if (!parent.object) return parent.place + "[" + std::to_string(parent.index) + "]";
    return open_->size() == 1 ? parent.key : parent.place + "." + parent.key;
  }
  void elementDone() {
    if (!open_->empty() && !open_->back().object) ++open_->back().index;
  }

  // The parser copies its callback, so the copies share one stack.
  std::shared_ptr<std::vector<Container>> open_ = std::make_shared<std::vector<Container>>();
};

template <typename Result, typename Read>
Result guarded(Read read) {
  try {
    return {read(), {}};
  } catch (const Fault& f) {
    return {std::nullopt, f.what()};
  } catch (const json::exception& e) {
    return {std::nullopt, e.what()};
  }
}

}  // namespace

ScenarioResult parseScenario(std::string_view jsonText) {
  json j;
  try {
    j = json::parse(jsonText, DuplicateKeyCheck{});
  } catch (const json::parse_error& e) {
    return {std::nullopt, std::string("not valid JSON: ") + e.what()};
  } catch (const Fault& f) {
    return {std::nullopt, f.what()};
  }
  return guarded<ScenarioResult>([&] { return readScenario(j); });
}

ScenarioResult loadScenarioFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {std::nullopt, "cannot be read"};
  std::ostringstream text;
  text << in.rdbuf();
  return parseScenario(text.str());
}

ServerResult parseServerObject(const json& object, const std::string& where) {
  return guarded<ServerResult>([&] { return readServer(object, where); });
}

DeviceResult parseDeviceObject(const json& object, const std::string& where) {
  return guarded<DeviceResult>([&] { return readDevice(object, where); });
}

}  // namespace sim
