#include "sim/PlugAndPlay.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/ConfigManager.h"
#include "platform/SimEnvironment.h"

namespace sim {
namespace {

using platform::RegRoot;
using platform::RegType;
using platform::RegValue;

constexpr std::string_view kControlSet = "SYSTEM\\CurrentControlSet";
constexpr const char* kEnum = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr const char* kPrinters = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
constexpr const char* kClass = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
constexpr const char* kImageClass = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
constexpr const char* kPrinterClass = "{4D36E979-E325-11CE-BFC1-08002BE10318}";

RegValue text(std::string name, std::string value) {
  RegValue v;
  v.name = std::move(name);
  v.text = std::move(value);
  return v;
}

RegValue dword(std::string name, std::uint32_t value) {
  RegValue v;
  v.name = std::move(name);
  v.type = RegType::DWord;
  v.dword = value;
  return v;
}

RegValue multi(std::string name, std::vector<std::string> items) {
  RegValue v;
  v.name = std::move(name);
  v.type = RegType::MultiString;
  v.multi = std::move(items);
  return v;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::uint32_t fnv1a(const std::string& s) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

std::string hex8(std::uint32_t v) {
  char out[9];
  std::snprintf(out, sizeof out, "%08x", v);
  return out;
}

// "Vid_xxxx&Pid_XXXX", the device's part of its USB names.
std::string vidPid(const Device& d) {
  char out[32];
  std::snprintf(out, sizeof out, "Vid_%04x&Pid_%04X", d.vid, d.pid);
  return out;
}

std::string classInstance(const char* cls, std::uint32_t n) {
  char out[16];
  std::snprintf(out, sizeof out, "\\%04u", n % 10000);
  return cls + std::string(out);
}

// The compatible ids a USB interface of a class reports, the most specific first.
std::vector<std::string> compatibleIds(const char* cls, const char* sub, const char* prot) {
  const std::string c = std::string("USB\\Class_") + cls;
  const std::string s = c + "&SubClass_" + sub;
  return {s + "&Prot_" + prot, s, c};
}

bool isFax(const PrinterQueue& q) { return upper(q.name).find("FAX") != std::string::npos; }

// One key to write, and whether it goes with the device (an instance key or a class entry) or
// stays (a key below one that goes, or one another device shares).
struct KeyWrite {
  std::string path;
  std::vector<RegValue> values;
  bool goesWithDevice = true;
};

// Everything plug and play writes for one device on one computer. Names and numbers follow from
// the device alone, so the removal finds exactly what the link wrote.
class Plan {
 public:
  explicit Plan(const PlugAndPlayChange& change) : d_(change.device) {
    for (const PrinterQueue& q : change.queues) {
      if (isFax(q) && !faxQueue_) faxQueue_ = &q;
      if (!isFax(q) && !printerQueue_) printerQueue_ = &q;
    }
    build();
  }
  const std::vector<KeyWrite>& keys() const { return keys_; }
  // Queue name -> the child instance its plug-and-play record names.
  const std::vector<std::pair<std::string, std::string>>& pnpData() const { return pnpData_; }

 private:
  std::string vidPid() const { return sim::vidPid(d_); }
  std::vector<std::string> hardwareIds(const std::string& enumerator,
                                       const std::string& suffix) const {
    return {enumerator + "\\" + vidPid() + "&Rev_0100" + suffix, enumerator + "\\" + vidPid() + suffix};
  }
  // A parent's prefix for its children's instance names ("7&1a2b3c4d&0"), unique per device.
  std::string prefix(char level, const std::string& salt) const {
    return std::string(1, level) + "&" + hex8(fnv1a(std::to_string(d_.pnpIndex) + "/" + salt)) + "&0";
  }
  // The printer enumerators' hardware key: the model's name and a checksum of it.
  std::string modelKey() const {
    std::string model;
    for (char c : d_.manufacturer + d_.product)
      if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') model += c;
    if (model.empty()) model = "USB_Printer";
    model.resize(std::min<std::size_t>(model.size(), 20));
    return model + hex8(fnv1a(d_.manufacturer + d_.product)).substr(4);
  }
  std::string scannerName() const {
    if (shape_.scannerName) return *shape_.scannerName;
    std::string name = d_.manufacturer;
    if (!name.empty() && !d_.product.empty()) name += " ";
    return name + d_.product;
  }

  void add(std::string path, std::vector<RegValue> values, bool goesWithDevice = true) {
    keys_.push_back({std::move(path), std::move(values), goesWithDevice});
  }

  void build() {
    shape_ = effectiveShape(d_);
    const std::string device = usbEnumKey(d_) + "\\" + usbInstanceName(d_);
    std::vector<RegValue> common = {text("DeviceDesc", d_.product), text("Mfg", d_.manufacturer),
                                    text("Busy", d_.busy ? "1" : "0"),
                                    multi("HardwareID", hardwareIds("USB", ""))};
    if (shape_.kind == "composite") {
      const std::string parentPrefix = prefix('6', "composite");
      common.push_back(multi("CompatibleIDs", {"USB\\DevClass_00&SubClass_00&Prot_00",
                                               "USB\\DevClass_00&SubClass_00", "USB\\DevClass_00",
                                               "USB\\COMPOSITE"}));
      common.push_back(text("Class", "USB"));
      common.push_back(text("Service", "usbccgp"));
      common.push_back(text("ParentIdPrefix", parentPrefix));
      add(device, std::move(common));
      for (std::size_t n = 0; n < shape_.interfaces.size(); ++n) {
        const std::string mi = "&MI_0" + std::to_string(n);
        char inst[24];
        std::snprintf(inst, sizeof inst, "&%04zu", n);
        function(kEnum + std::string("USB\\") + vidPid() + mi + "\\" + parentPrefix + inst,
                 shape_.interfaces[n], hardwareIds("USB", mi), "mi" + std::to_string(n), {});
      }
      return;
    }
    function(device, shape_.kind, hardwareIds("USB", ""), "device", std::move(common));
  }

  // One USB function at `key`: its class, its service and what the enumerators make of it.
  void function(const std::string& key, const std::string& kind, std::vector<std::string> ids,
                const std::string& salt, std::vector<RegValue> values) {
    if (values.empty()) values.push_back(multi("HardwareID", ids));
    if (kind == "printer" || kind == "fax") {
      const std::string childPrefix = prefix('7', salt);
      values.push_back(multi("CompatibleIDs", compatibleIds("07", "01", "02")));
      values.push_back(text("Class", "USB"));
      values.push_back(text("Service", "usbprint"));
      values.push_back(text("ParentIdPrefix", childPrefix));
      add(key, std::move(values));
      printerChild("USBPRINT", childPrefix + "&USB001", salt,
                   kind == "fax" ? faxQueue_ : printerQueue_);
    } else if (kind == "scanner") {
      values.push_back(multi("CompatibleIDs", compatibleIds("ff", "ff", "ff")));
      values.push_back(text("Class", "Image"));
      values.push_back(text("Service", shape_.scannerService));
      values.push_back(text("Driver", classInstance(kImageClass, d_.pnpIndex)));
      add(key, std::move(values));
      stillImageEntry();
    } else if (kind == "dot4") {
      dot4Function(key, std::move(ids), salt, std::move(values));
    } else {
      struct Plain {
        const char* kind;
        const char* cls;
        const char* sub;
        const char* prot;
        const char* deviceClass;
        const char* service;
      };
      static constexpr Plain kPlain[] = {
          {"storage", "08", "06", "50", "USB", "USBSTOR"},
          {"hid", "03", "00", "00", "HIDClass", "HidUsb"},
          {"audio", "01", "01", "00", "MEDIA", "usbaudio"},
      };
      const auto* p = std::find_if(std::begin(kPlain), std::end(kPlain),
                                   [&](const Plain& e) { return kind == e.kind; });
      if (p == std::end(kPlain)) {  // a vendor's own class
        values.push_back(multi("CompatibleIDs", compatibleIds("ff", "00", "00")));
        values.push_back(text("Class", "USBDevice"));
      } else {
        values.push_back(multi("CompatibleIDs", compatibleIds(p->cls, p->sub, p->prot)));
        values.push_back(text("Class", p->deviceClass));
        values.push_back(text("Service", p->service));
      }
      add(key, std::move(values));
    }
  }

  // A 1284.4 printer: the device itself under the 1284.4 service, or, behind an interface of a
  // composite device, the child the 1284.4-over-USB enumerator makes. Its functions (print, scan)
  // are children below DOT4.
  void dot4Function(const std::string& key, std::vector<std::string> ids, const std::string& salt,
                    std::vector<RegValue> values) {
    values.push_back(multi("CompatibleIDs", compatibleIds("07", "01", "03")));
    values.push_back(text("Class", "Dot4"));
    std::string parent = key;
    std::vector<std::string> parentIds = ids;
    if (shape_.kind == "composite") {
      const std::string childPrefix = prefix('7', salt);
      values.push_back(text("Service", "Dot4Usb"));
      values.push_back(text("ParentIdPrefix", childPrefix));
      add(key, std::move(values));
      const std::string name = ids.front().substr(4) + "&DOT4";
      parent = kEnum + std::string("DOT4USB\\") + name + "\\" + childPrefix + "&0";
      parentIds = {"DOT4USB\\" + name};
      values = {multi("HardwareID", parentIds), text("Class", "Dot4"), text("Service", "Dot4")};
    } else {
      values.push_back(text("Service", "Dot4"));
    }
    const std::string functionPrefix = prefix('8', salt);
    values.push_back(text("ParentIdPrefix", functionPrefix));
    add(parent, std::move(values));
    const std::string cut = parentIds.front().substr(parentIds.front().find('\\') + 1);
    for (const char* function : {"PRINT", "SCAN"})
      add(parent + "\\Device Parameters\\Functions\\" + function, {}, false);

    const std::string printPrefix = prefix('9', salt + "/print");
    add(kEnum + std::string("DOT4\\") + cut + "&PRINT\\" + functionPrefix + "&0",
        {multi("HardwareID", {"DOT4\\" + cut + "&PRINT"}), text("Class", "Dot4Print"),
         text("Service", "Dot4Prt"), text("ParentIdPrefix", printPrefix)});
    printerChild("DOT4PRT", printPrefix + "&0", salt + "/print", printerQueue_);
    add(kEnum + std::string("DOT4\\") + cut + "&SCAN\\" + functionPrefix + "&0",
        {multi("HardwareID", {"DOT4\\" + cut + "&SCAN"}), text("Class", "Image"),
         text("Service", "Dot4Scan"), text("Driver", classInstance(kImageClass, d_.pnpIndex))});
    stillImageEntry();
  }

  // The printer enumerator's child and the plug-and-play record of the queue that prints to it.
  void printerChild(const std::string& enumerator, const std::string& instance,
                    const std::string& salt, const PrinterQueue* queue) {
    const std::string id = enumerator + "\\" + modelKey() + "\\" + instance;
    add(kEnum + id, {text("Class", "Printer"),
                     text("Driver", classInstance(kPrinterClass, fnv1a(std::to_string(d_.pnpIndex) + salt)))});
    if (queue) pnpData_.emplace_back(queue->name, id);
  }

  void stillImageEntry() {
    const std::string id = classInstance(kImageClass, d_.pnpIndex);
    add(kClass + id, {text("SubClass", "StillImage"), dword("DeviceType", shape_.stillImageType),
                      text("FriendlyName", scannerName()), text("DeviceID", id),
                      text("Vendor", d_.manufacturer)});
    add(kClass + id + "\\DeviceData",
        {text("TwainDS", shape_.twainSource ? *shape_.twainSource : scannerName())}, false);
  }

  const Device& d_;
  PlugAndPlayShape shape_;
  const PrinterQueue* printerQueue_ = nullptr;
  const PrinterQueue* faxQueue_ = nullptr;
  std::vector<KeyWrite> keys_;
  std::vector<std::pair<std::string, std::string>> pnpData_;
};

void writeQueue(platform::Registry& registry, const PrinterQueue& q) {
  auto key = registry.openKey(RegRoot::LocalMachine, std::string(kPrinters) + "\\" + q.name,
                              platform::kKeyAllAccess, true);
  if (!key) return;
  key->setString("Name", q.name);
  key->setString("Port", q.port);
  key->setString("Printer Driver", q.driver);
}

void writeValues(platform::RegKey& key, const std::vector<RegValue>& values) {
  for (const RegValue& v : values) {
    switch (v.type) {
      case RegType::DWord: key.setDWord(v.name, v.dword); break;
      case RegType::MultiString: key.setMultiString(v.name, v.multi); break;
      case RegType::String:
      case RegType::ExpandString: key.setString(v.name, v.text); break;
    }
  }
}

void write(platform::Registry& registry, const PlugAndPlayChange& change, const Plan& plan) {
  for (const KeyWrite& k : plan.keys())
    if (auto key = registry.openKey(RegRoot::LocalMachine, k.path, platform::kKeyAllAccess, true))
      writeValues(*key, k.values);
  for (const PrinterQueue& q : change.queues) writeQueue(registry, q);
  for (const auto& [queue, id] : plan.pnpData())
    if (auto key = registry.openKey(RegRoot::LocalMachine,
                                    std::string(kPrinters) + "\\" + queue + "\\PnPData",
                                    platform::kKeyAllAccess, true))
      key->setString("DeviceInstanceId", id);
}

std::string parentOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }

void remove(platform::Registry& registry, const Plan& plan) {
  for (const KeyWrite& k : plan.keys()) {
    if (!k.goesWithDevice) continue;
    registry.deleteKeyTree(RegRoot::LocalMachine, k.path);
    // The model's and the enumerator's keys go with their last instance.
    for (std::string parent = parentOf(k.path); parent.size() > kControlSet.size();
         parent = parentOf(parent)) {
      auto p = registry.openKey(RegRoot::LocalMachine, parent, platform::kKeyRead);
      if (!p || !p->subKeyNames().empty() || !p->values().empty()) break;
      registry.deleteKeyTree(RegRoot::LocalMachine, parent);
    }
  }
  // Queues stay installed; their record of the device goes.
  auto printers = registry.openKey(RegRoot::LocalMachine, kPrinters, platform::kKeyRead);
  if (!printers) return;
  for (const std::string& queue : printers->subKeyNames()) {
    const std::string path = std::string(kPrinters) + "\\" + queue + "\\PnPData";
    auto data = registry.openKey(RegRoot::LocalMachine, path, platform::kKeyRead);
    const auto id = data ? data->value("DeviceInstanceId") : std::nullopt;
    if (!id) continue;
    const bool ours = std::any_of(plan.pnpData().begin(), plan.pnpData().end(),
                                  [&](const auto& entry) { return entry.second == id->text; });
    if (ours) registry.deleteKeyTree(RegRoot::LocalMachine, path);
  }
}

}  // namespace

std::string usbEnumKey(const Device& d) {
  return std::string(platform::kUsbEnumKey) + "\\" + vidPid(d);
}

std::string usbInstanceName(const Device& d) {
  return d.serial.empty() ? "6&1A2B3C4D&0&" + std::to_string(d.port) : d.serial;
}

PlugAndPlayShape effectiveShape(const Device& d) {
  PlugAndPlayShape shape = d.plugAndPlay;
  if (!shape.kind.empty()) return shape;
  const std::string type = upper(d.type);
  if (type == "PRINTER") {
    shape.kind = "printer";
  } else if (type == "MFP") {
    shape.kind = "composite";
    shape.interfaces = {"printer", "fax", "scanner"};
  } else if (type == "SCANNER") {
    shape.kind = "scanner";
  } else if (type == "MASS STORAGE") {
    shape.kind = "storage";
  } else {
    shape.kind = "vendor";
  }
  return shape;
}

std::string stillImageDeviceId(const Device& d) {
  const PlugAndPlayShape shape = effectiveShape(d);
  const bool scans =
      shape.kind == "scanner" || shape.kind == "dot4" ||
      std::any_of(shape.interfaces.begin(), shape.interfaces.end(),
                  [](const std::string& f) { return f == "scanner" || f == "dot4"; });
  return scans && shape.stillImageType == 1 ? classInstance(kImageClass, d.pnpIndex) : "";
}

void recordPlugAndPlay(platform::Registry& registry, const PlugAndPlayChange& change) {
  const Plan plan(change);
  if (change.present) write(registry, change, plan);
  else remove(registry, plan);
}

void recordPlugAndPlay(const PlugAndPlayChange& change) {
  if (!platform::sim::ensureHostDir(change.host)) return;
  if (auto registry = platform::Registry::open(platform::sim::registryFile(change.host), true))
    recordPlugAndPlay(*registry, change);
}

void resetPlugAndPlay(platform::Registry& registry, const Host& host) {
  for (const char* enumerator : {"USB", "USBPRINT", "DOT4", "DOT4USB", "DOT4PRT"})
    registry.deleteKeyTree(RegRoot::LocalMachine, kEnum + std::string(enumerator));
  for (const char* cls : {kImageClass, kPrinterClass})
    registry.deleteKeyTree(RegRoot::LocalMachine, kClass + std::string(cls));
  registry.deleteKeyTree(RegRoot::LocalMachine, kPrinters);
  for (const PrinterQueue& q : host.queues) writeQueue(registry, q);
}

}  // namespace sim
