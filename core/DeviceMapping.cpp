#include "core/DeviceMapping.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

#include "core/TextCase.h"
#include "platform/Registry.h"

namespace core {
namespace {

constexpr std::size_t kDwordRoom = 4;
constexpr std::size_t kTextRoom = 256;
constexpr std::size_t kMultiRoom = 1024;
constexpr std::size_t kSubKeyNameRoom = 256;

constexpr int kInstancesPerKey = 20;
constexpr int kInterfaces = 10;
constexpr int kEnumeratorKeys = 100;
constexpr int kInstancesPerEnumeratorKey = 10;
constexpr int kPrinterQueues = 100;
constexpr int kFunctions = 10;

std::string str(std::string_view s) { return std::string(s); }

// Registry paths are written with a closing "\" where they are joined; the registry takes none.
std::string_view trimmed(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return path;
}

// A value's bytes as the system hands them out: texts in 8-bit characters with their end.
std::string rawBytes(const platform::RegValue& v) {
  switch (v.type) {
    case platform::RegType::DWord: {
      std::string out(4, '\0');
      for (std::size_t i = 0; i < 4; ++i) out[i] = static_cast<char>((v.dword >> (8 * i)) & 0xFF);
      return out;
    }
    case platform::RegType::MultiString: {
      std::string out;
      for (const std::string& item : v.multi) out += item + '\0';
      return out + '\0';
    }
    case platform::RegType::String:
    case platform::RegType::ExpandString:
      break;
  }
  return v.text + '\0';
}

std::optional<std::string> readRaw(std::string_view keyPath, std::string_view valueName) {
  const auto key = platform::registry().openKey(platform::RegRoot::LocalMachine, trimmed(keyPath),
                                                platform::kKeyQueryValue);
  if (!key) return std::nullopt;
  const auto value = key->value(valueName);
  if (!value) return std::nullopt;
  return rawBytes(*value);
}

std::string readString(std::string_view keyPath, std::string_view valueName) {
  std::string text;
  ReadRegString(keyPath, valueName, text);
  return text;
}

bool isScannerService(std::string_view service) {
  return EqualNoCase(service, "usbscan") || EqualNoCase(service, "StillCam") ||
         EqualNoCase(service, "Dot4Scan");
}

UsbClassBits stillImageBits(std::uint32_t type) {
  switch (type) {
    case 1: return ClassScanner;
    case 2: return ClassCamera;
    case 3: return ClassVideo;
    default: return 0;
  }
}

// The walk over the first instances of an enumerator key: the last whose name contains match (with
// `zeroTakesFirst`, match "0" takes the first). An empty match would take any instance of another
// device of the same model, so it takes none.
std::string lastContaining(const std::string& base, std::string_view match, bool zeroTakesFirst) {
  std::string taken;
  for (int index = 0; index < kInstancesPerKey; ++index) {
    const std::string name = EnumRegSubKeys(base, index);
    if (zeroTakesFirst && match == "0") return name.empty() ? std::string() : base + name + "\\";
    if (!name.empty() && !match.empty() && Contains(name, match)) taken = name;
  }
  return taken.empty() ? std::string() : base + taken + "\\";
}

struct CompatibleClass {
  std::string_view id;
  UsbClassBits bit;
};
constexpr std::array<CompatibleClass, 7> kCompatibleClasses{{
    {"USB\\COMPOSITE", ClassComposite},
    {"USB\\Class_07&SubClass_01&Prot_03", ClassPrinter1284},
    {"USB\\Class_07", ClassPrinter},  // a second one is ClassSecondPrinter
    {"USB\\Class_08", ClassMassStorage},
    {"USB\\Class_01", ClassAudio},
    {"USB\\Class_03", ClassHid},
    {"USB\\Class_09", ClassHub},
}};

// The first compatible id that names a known class sets its bit (which may be set already).
void classifyByCompatibleIds(const std::vector<std::string>& ids, UsbClassBits& bits) {
  for (const std::string& id : ids) {
    for (const CompatibleClass& c : kCompatibleClasses) {
      if (!EqualNoCase(id, c.id)) continue;
      if (c.bit == ClassPrinter && (bits & ClassPrinter)) bits |= ClassSecondPrinter;
      else bits |= c.bit;
      return;
    }
  }
}

// An "Image" class instance: a scanner service, or the still-image type of its class entry.
void classifyImage(std::string_view instanceKey, UsbClassBits& bits) {
  if (!EqualNoCase(readString(instanceKey, "Class"), "Image")) return;
  if (isScannerService(readString(instanceKey, "Service"))) {
    bits |= ClassScanner;
    return;
  }
  bits |= stillImageBits(FindScannerByInstance(readString(instanceKey, "Driver")));
}

void scannerInto(std::string_view driverKey, DeviceDriverInfo& queues) {
  FindScannerByInstance(driverKey, &queues.ScannerName, &queues.TwainSource,
                        &queues.ScannerDeviceId);
}

void printerInto(std::string_view enumerator, std::string_view match, DeviceDriverInfo& queues) {
  FindPrinterByInstance(enumerator, match, queues.PrinterQueue, queues.FaxQueue,
                        queues.PrinterPort, queues.FaxPort);
}

// A second printer interface: its queue is the fax, unless the first queue is the fax already.
// It decides even when it finds no queue: the fax then stays empty.
void secondPrinterInto(std::string_view match, DeviceDriverInfo& queues) {
  DeviceDriverInfo spare;
  FindPrinterByInstance("USBPRINT", match, spare.PrinterQueue, spare.FaxQueue, spare.PrinterPort,
                        spare.FaxPort);
  if (!Contains(UpperCase(queues.PrinterQueue), "FAX")) {
    queues.FaxQueue = spare.PrinterQueue;
    queues.FaxPort = spare.PrinterPort;
    return;
  }
  queues.FaxQueue = queues.PrinterQueue;
  queues.FaxPort = queues.PrinterPort;
  queues.PrinterQueue = spare.PrinterQueue;
  queues.PrinterPort = spare.PrinterPort;
}

struct Dot4Parent {
  std::string key;
  bool throughDot4Usb = false;
};

// The 1284.4 parent behind a composite device's interface: the interface itself when the 1284.4
// service drives it, else its child below DOT4USB.
std::optional<Dot4Parent> dot4ParentOf(const std::string& interfaceKey) {
  if (EqualNoCase(readString(interfaceKey, "Service"), "Dot4")) return Dot4Parent{interfaceKey, false};
  std::vector<std::string> ids;
  ReadRegMultiString(interfaceKey, "HardwareID", ids);
  const std::string prefix = readString(interfaceKey, "ParentIdPrefix");
  for (const std::string& id : ids) {
    if (id.size() < 4) continue;
    std::string child = FindDot4UsbChild(id.substr(4) + "&DOT4", prefix);
    if (!child.empty()) return Dot4Parent{std::move(child), true};
  }
  return std::nullopt;
}

// The interfaces of a composite device, their bits accumulating; each of the printer, second
// printer and scanner look-ups runs once, at the first interface that brings its bit.
void walkComposite(std::string_view vid, std::string_view pid, const std::string& deviceKey,
                   UsbClassBits& bits, DeviceDriverInfo* queues,
                   std::optional<Dot4Parent>& dot4Parent) {
  const std::string prefix = readString(deviceKey, "ParentIdPrefix");
  bool printerDone = false, secondDone = false, scannerDone = false;
  for (int n = 0; n < kInterfaces; ++n) {
    const std::string key = FindUsbInstanceKey(vid, pid, n, prefix);
    if (key.empty()) continue;
    ClassifyUsbDevice(key, bits);
    if ((bits & ClassPrinter) && !printerDone) {
      printerDone = true;
      if (queues) printerInto("USBPRINT", readString(key, "ParentIdPrefix"), *queues);
    }
    if ((bits & ClassSecondPrinter) && !secondDone) {
      secondDone = true;
      if (queues) secondPrinterInto(readString(key, "ParentIdPrefix"), *queues);
    }
    if ((bits & ClassScanner) && !scannerDone) {
      scannerDone = true;
      if (queues) scannerInto(readString(key, "Driver"), *queues);
    }
    if ((bits & ClassPrinter1284) && !dot4Parent) dot4Parent = dot4ParentOf(key);
  }
}

// The functions of a 1284.4 device, each a child below DOT4: a printer or a scanner.
void walkDot4Functions(const Dot4Parent& parent, UsbClassBits& bits, DeviceDriverInfo* queues) {
  std::vector<std::string> functions;
  for (int f = 0; f < kFunctions; ++f) {
    std::string name = EnumRegSubKeys(parent.key + "Device Parameters\\Functions\\", f);
    if (name.empty()) break;
    functions.push_back(std::move(name));
  }
  std::vector<std::string> ids;
  ReadRegMultiString(parent.key, "HardwareID", ids);
  const std::string prefix = readString(parent.key, "ParentIdPrefix");
  const std::size_t cut = parent.throughDot4Usb ? 8 : 4;  // "DOT4USB\" or "USB\"
  for (const std::string& id : ids) {
    if (id.size() < cut) continue;
    for (const std::string& function : functions) {
      const std::string child = FindDot4Child(id.substr(cut) + "&" + function, prefix);
      if (child.empty()) continue;
      const std::string cls = readString(child, "Class");
      if (EqualNoCase(cls, "Dot4Print")) {
        bits |= ClassPrinter;
        if (queues) printerInto("DOT4PRT", readString(child, "ParentIdPrefix"), *queues);
      } else if (EqualNoCase(cls, "Image")) {
        if (isScannerService(readString(child, "Service"))) bits |= ClassScanner;
        const std::string driver = readString(child, "Driver");
        bits |= stillImageBits(queues ? FindScannerByInstance(driver, &queues->ScannerName,
                                                              &queues->TwainSource,
                                                              &queues->ScannerDeviceId)
                                      : FindScannerByInstance(driver));
      }
    }
  }
}

// The words of a printer driver's name that a fax driver of the same device shares.
std::vector<std::string> driverWords(std::string_view driver) {
  std::vector<std::string> words;
  std::size_t start = 0;
  while (start <= driver.size()) {
    const std::size_t end = std::min(driver.find(' ', start), driver.size());
    std::string word(driver.substr(start, end - start));
    // An empty word (two spaces) would occur in every name.
    if (!word.empty() && !Contains(UpperCase(word), "SERIES")) words.push_back(std::move(word));
    start = end + 1;
  }
  return words;
}

}  // namespace

// ---------------------------------------------------------------- value bytes

bool DecodeRegDword(std::string_view bytes, std::uint32_t& value) {
  value = 0;
  if (bytes.size() > kDwordRoom) return false;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  return true;
}

bool DecodeRegString(std::string_view bytes, std::string& text) {
  text.clear();
  if (bytes.size() > kTextRoom) return false;
  text = str(bytes.substr(0, bytes.find('\0')));
  return true;
}

bool DecodeRegMultiString(std::string_view bytes, std::vector<std::string>& list) {
  list.clear();
  if (bytes.size() > kMultiRoom) return false;
  while (!bytes.empty()) {
    const std::size_t end = std::min(bytes.find('\0'), bytes.size());
    if (end == 0) break;  // two zeros: the list's end
    list.push_back(str(bytes.substr(0, end)));
    bytes.remove_prefix(std::min(end + 1, bytes.size()));
  }
  return true;
}

// ---------------------------------------------------------------- typed readers

void ReadRegDword(std::string_view keyPath, std::string_view valueName, std::uint32_t& value) {
  value = 0;
  if (const auto raw = readRaw(keyPath, valueName)) DecodeRegDword(*raw, value);
}

void ReadRegString(std::string_view keyPath, std::string_view valueName, std::string& text) {
  text.clear();
  if (const auto raw = readRaw(keyPath, valueName)) DecodeRegString(*raw, text);
}

void ReadRegMultiString(std::string_view keyPath, std::string_view valueName,
                        std::vector<std::string>& list) {
  list.clear();
  if (const auto raw = readRaw(keyPath, valueName)) DecodeRegMultiString(*raw, list);
}

std::string EnumRegSubKeys(std::string_view keyPath, int index) {
  if (index < 0) return {};
  const auto key = platform::registry().openKey(platform::RegRoot::LocalMachine, trimmed(keyPath),
                                                platform::kKeyRead);
  if (!key) return {};
  const auto names = key->subKeyNames();
  const auto at = static_cast<std::size_t>(index);
  if (at >= names.size() || names[at].size() >= kSubKeyNameRoom) return {};
  return names[at];
}

// ---------------------------------------------------------------- walks

std::string FindUsbInstanceKey(std::string_view vid, std::string_view pid, int interface,
                               std::string_view match) {
  if (interface < -1) return {};
  std::string base = str(kEnumKey) + "USB\\Vid_" + str(vid) + "&Pid_" + str(pid);
  if (interface >= 0) base += "&MI_0" + std::to_string(interface);
  base += "\\";
  if (interface >= 0) return lastContaining(base, match, false);
  for (int index = 0; index < kInstancesPerKey; ++index) {
    const std::string name = EnumRegSubKeys(base, index);
    if (match == "0") return name.empty() ? std::string() : base + name + "\\";
    if (!name.empty() && name == match) return base + name + "\\";
  }
  return {};
}

std::string FindDot4Child(std::string_view name, std::string_view match) {
  return lastContaining(str(kEnumKey) + "DOT4\\" + str(name) + "\\", match, true);
}

std::string FindDot4UsbChild(std::string_view name, std::string_view match) {
  return lastContaining(str(kEnumKey) + "DOT4USB\\" + str(name) + "\\", match, true);
}

bool ClassifyUsbDevice(std::string_view instanceKey, UsbClassBits& bits) {
  std::vector<std::string> ids;
  ReadRegMultiString(instanceKey, "CompatibleIDs", ids);
  if (ids.empty()) return false;
  // An id of a class already set (a second HID interface) adds nothing, so it counts as unknown.
  const UsbClassBits before = bits;
  classifyByCompatibleIds(ids, bits);
  if (bits == before) classifyImage(instanceKey, bits);
  if (bits == before) bits |= ClassUnknown;
  return true;
}

std::uint32_t FindScannerByInstance(std::string_view driverKey, std::string* name,
                                    std::string* twainSource, std::string* deviceId) {
  if (driverKey.empty()) return 0;
  const std::string key = str(kClassKey) + str(trimmed(driverKey));
  if (!EqualNoCase(readString(key, "SubClass"), "StillImage")) return 0;
  std::uint32_t type = 0;
  ReadRegDword(key, "DeviceType", type);
  if (type != 1) return type;
  if (name) ReadRegString(key, "FriendlyName", *name);
  if (twainSource) ReadRegString(key + "\\DeviceData", "TwainDS", *twainSource);
  if (deviceId) ReadRegString(key, "DeviceID", *deviceId);
  return type;
}

bool FindPrinterByInstance(std::string_view enumerator, std::string_view match,
                           std::string& printerQueue, std::string& faxQueue,
                           std::string& printerPort, std::string& faxPort) {
  if (match.empty()) return false;
  printerQueue.clear();
  faxQueue.clear();
  printerPort.clear();
  faxPort.clear();

  // The child instance the enumerator made for the device.
  const std::string enumBase = str(kEnumKey) + str(enumerator) + "\\";
  std::string instanceId;
  for (int i = 0; i < kEnumeratorKeys && instanceId.empty(); ++i) {
    const std::string hw = EnumRegSubKeys(enumBase, i);
    if (hw.empty()) break;
    for (int j = 0; j < kInstancesPerEnumeratorKey; ++j) {
      const std::string inst = EnumRegSubKeys(enumBase + hw + "\\", j);
      if (inst.empty()) break;
      if (!Contains(inst, match) || readString(enumBase + hw + "\\" + inst, "Driver").empty())
        continue;
      instanceId = str(enumerator) + "\\" + hw + "\\" + inst;
      break;
    }
  }
  if (instanceId.empty()) return false;

  // Its queue: the last whose plug-and-play record names the child.
  const std::string printers = str(kPrintersKey) + "\\";
  std::string printerDriver;
  for (int k = 0; k < kPrinterQueues; ++k) {
    const std::string queue = EnumRegSubKeys(printers, k);
    if (queue.empty()) break;
    if (!EqualNoCase(readString(printers + queue + "\\PnPData", "DeviceInstanceId"), instanceId))
      continue;
    printerQueue = queue;
    printerPort = readString(printers + queue, "Port");
    printerDriver = readString(printers + queue, "Printer Driver");
  }
  if (printerQueue.empty()) return false;

  // The fax queue whose driver's name shares the most words with the printer's, two at least.
  const std::vector<std::string> words = driverWords(printerDriver);
  std::size_t best = 0;
  for (int k = 0; k < kPrinterQueues; ++k) {
    const std::string queue = EnumRegSubKeys(printers, k);
    if (queue.empty()) break;
    const std::string driver = readString(printers + queue, "Printer Driver");
    const std::string port = readString(printers + queue, "Port");
    if (EqualNoCase(driver, printerDriver) || !Contains(UpperCase(driver), "FAX") || port.empty())
      continue;
    const auto shared = static_cast<std::size_t>(std::count_if(
        words.begin(), words.end(), [&](const std::string& w) { return Contains(driver, w); }));
    if (shared > 0 && shared > best) {
      best = shared;
      faxQueue = queue;
      faxPort = port;
    }
  }
  if (best == 1) {  // one common word, such as the maker's name, is not enough
    faxQueue.clear();
    faxPort.clear();
  }
  return true;
}

UsbClassBits FindDeviceQueues(std::string_view vid, std::string_view pid, std::string_view serial,
                              bool bySerial, DeviceDriverInfo* queues) {
  const std::string key = FindUsbInstanceKey(vid, pid, -1, bySerial ? serial : "0");
  if (key.empty()) return 0;
  UsbClassBits bits = 0;
  ClassifyUsbDevice(key, bits);

  std::optional<Dot4Parent> dot4Parent;
  if ((bits & ClassPrinter) && queues) {
    printerInto("USBPRINT", readString(key, "ParentIdPrefix"), *queues);
  } else if ((bits & ClassScanner) && queues) {
    scannerInto(readString(key, "Driver"), *queues);
  } else if (bits & ClassComposite) {
    walkComposite(vid, pid, key, bits, queues, dot4Parent);
  }

  if (bits & ClassPrinter1284) {
    if (!(bits & ClassComposite)) dot4Parent = Dot4Parent{key, false};
    if (dot4Parent) walkDot4Functions(*dot4Parent, bits, queues);
  }
  return bits;
}

}  // namespace core
