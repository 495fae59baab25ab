#pragma once
// What Windows made of a linked USB device: its USB classes, its printer and fax queues with their
// ports, and the still-image device that stands for its scanner. Everything is read from the
// machine's hive, read-only; nothing here writes or needs administrator rights. A key or value that
// cannot be read counts as empty, so the walks simply find nothing.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {

struct DeviceDriverInfo {
  std::string PrinterQueue;
  std::string PrinterPort;
  std::string FaxQueue;
  std::string FaxPort;
  std::string ScannerName;      // the still-image device's "FriendlyName"
  std::string TwainSource;      // its TWAIN data source
  std::string ScannerDeviceId;  // its "DeviceID", by which WIA opens it
};

// The device class bits FindDeviceQueues and ClassifyUsbDevice report.
using UsbClassBits = std::uint32_t;
inline constexpr UsbClassBits ClassAudio = 0x1;
inline constexpr UsbClassBits ClassHid = 0x2;
inline constexpr UsbClassBits ClassPrinter = 0x4;
inline constexpr UsbClassBits ClassMassStorage = 0x8;
inline constexpr UsbClassBits ClassHub = 0x10;
inline constexpr UsbClassBits ClassScanner = 0x20;
inline constexpr UsbClassBits ClassCamera = 0x40;
inline constexpr UsbClassBits ClassVideo = 0x80;
inline constexpr UsbClassBits ClassComposite = 0x400;
inline constexpr UsbClassBits ClassPrinter1284 = 0x800;
inline constexpr UsbClassBits ClassSecondPrinter = 0x4000;
inline constexpr UsbClassBits ClassUnknown = 0x10000000;

// Where plug and play and the spooler keep what the walks read, below HKEY_LOCAL_MACHINE.
inline constexpr std::string_view kEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\";
inline constexpr std::string_view kPrintersKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr std::string_view kClassKey = "SYSTEM\\CurrentControlSet\\Control\\Class\\";

// --- Typed readers. Each opens the machine key for queries, reads one value and closes it again;
// the value's stored type is ignored, its bytes are taken as they are. A key path may end in "\".
// A value larger than the reader's fixed room reads as missing, as the system call refuses it.
void ReadRegDword(std::string_view keyPath, std::string_view valueName, std::uint32_t& value);
void ReadRegString(std::string_view keyPath, std::string_view valueName, std::string& text);
void ReadRegMultiString(std::string_view keyPath, std::string_view valueName,
                        std::vector<std::string>& list);
// The name of subkey `index` (from 0); empty for a negative index, a key that does not open or no
// such subkey.
std::string EnumRegSubKeys(std::string_view keyPath, int index);

// How the readers take a value's bytes (a DWORD in 4 bytes, a text in 256, a multi-string in 1024).
bool DecodeRegDword(std::string_view bytes, std::uint32_t& value);
bool DecodeRegString(std::string_view bytes, std::string& text);
bool DecodeRegMultiString(std::string_view bytes, std::vector<std::string>& list);

// --- Walks and look-ups.
// The instance key of a device (interface -1: the device itself, by the name `match`, or the first
// one for match "0") or of interface 0..9 of a composite device (the last instance whose name
// contains `match`, the composite's "ParentIdPrefix"). Full path ending in "\", or empty.
std::string FindUsbInstanceKey(std::string_view vid, std::string_view pid, int interface,
                               std::string_view match);
// An instance key below Enum\DOT4\<name>\ or Enum\DOT4USB\<name>\: the first for match "0", else
// the last whose name contains match. Full path ending in "\", or empty.
std::string FindDot4Child(std::string_view name, std::string_view match);
std::string FindDot4UsbChild(std::string_view name, std::string_view match);
// Adds the class bits of one instance key; false (bits untouched) when it has no compatible ids.
bool ClassifyUsbDevice(std::string_view instanceKey, UsbClassBits& bits);
// The printer queue of the child instance of `enumerator` ("USBPRINT", "DOT4PRT") whose name
// contains `match`, and the fax queue of the same device by its driver's name. All four outputs
// are emptied first; true when a printer queue was found.
bool FindPrinterByInstance(std::string_view enumerator, std::string_view match,
                           std::string& printerQueue, std::string& faxQueue,
                           std::string& printerPort, std::string& faxPort);
// The still-image device type (1 scanner, 2 camera, 3 video) of a device class entry, 0 when it is
// none. For a scanner the given outputs are filled.
std::uint32_t FindScannerByInstance(std::string_view driverKey, std::string* name = nullptr,
                                    std::string* twainSource = nullptr,
                                    std::string* deviceId = nullptr);
// The class bits of a device, 0 when it has no instance key; fills `queues` when given. vid and pid
// are four hexadecimal digits; bySerial picks the instance named `serial`, else the first one.
UsbClassBits FindDeviceQueues(std::string_view vid, std::string_view pid, std::string_view serial,
                              bool bySerial, DeviceDriverInfo* queues);

}  // namespace core
