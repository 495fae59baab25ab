#pragma once
// What the simulated network holds: computers, device servers and their shared USB devices.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/Address.h"
#include "platform/SimScanner.h"
#include "sim/DriverRecords.h"

namespace sim {

// The image acquisition side of a device's scanner function: what the simulated device does when
// the computer that holds it scans through the device manager.
struct WiaScanner {
  bool feeder = false;         // a document feeder, else a flat bed
  std::uint32_t sheets = 3;    // in the feeder whenever its dialog opens
  // A feeder without a paper sensor: its status says "ready" even once it is empty, so only the
  // next page's transfer finds out (paper empty).
  bool feederAlwaysReady = false;
  bool bmp = true, jpeg = true;  // the formats offered
  std::uint32_t dpi = 300;
  std::uint32_t width = 850, height = 1100;  // a page's pixels
  bool cancelDialog = false;   // the user closes the device's dialog
  bool offline = false;        // held by another computer, as far as the device is concerned
  std::uint32_t failingPage = 0;  // 1-based, counted from the dialog; 0: none fails
};

// How plug and play enumerates a device on the computer it is linked to.
struct PlugAndPlayShape {
  // "printer", "scanner", "storage", "composite", "dot4" (a 1284.4 printer with a scanner function)
  // or "vendor" (a class nothing knows); empty: chosen by the device's type.
  std::string kind;
  // A composite device's interfaces in order: "printer", "fax" (a second printer interface),
  // "scanner", "storage", "hid", "audio", "dot4" (1284.4 behind the interface), "vendor".
  std::vector<std::string> interfaces;
  // The still-image device of its scanner function; unset texts come from the device's names.
  std::optional<std::string> scannerName, twainSource;
  std::uint32_t stillImageType = 1;  // 1 scanner, 2 camera, 3 video
  std::string scannerService = "usbscan";
  WiaScanner wia;
};

struct Device {
  std::uint8_t port = 1;
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  std::string type = "UNKNOWN";
  std::string manufacturer, product, serial;
  std::vector<SubItemRecord> subItems;
  // Who holds it: empty when free.
  std::string holder;
  std::int8_t lockType = 0;
  std::int8_t lockCount = 0;
  // When the hold ends (clock milliseconds); none while it lasts until released.
  std::optional<std::int64_t> holdEndsMs;
  // A storage device in use by a program of its holder: the system vetoes its eject.
  bool busy = false;
  PlugAndPlayShape plugAndPlay;
  // Numbers the device's instances and class entries on every computer; set by the world.
  std::uint32_t pnpIndex = 0;
};

struct Server {
  Ipv4 ip{};
  Mac mac{};
  std::string name;
  std::int8_t status = 1;
  std::int8_t storageMode = 1;
  std::vector<Device> devices;
};

// One network adapter of a simulated computer, as its system lists it.
struct Adapter {
  std::uint32_t type = 6;  // Ethernet
  Mac mac{};
  Ipv4 ip{};
  Ipv4 mask{255, 255, 255, 0};
  Ipv4 gateway{};
};

// A port of a computer's spooler, as its port listing gives it. A port of the standard TCP/IP
// monitor keeps what it was configured with (protocol 1 raw, 2 LPR; 0 for other ports).
struct PrinterPort {
  std::string name, description, monitor;
  std::uint32_t protocol = 0;
  std::string address{};  // host name or IPv4 address of the printer
  std::uint32_t portNumber = 0;
  std::string lprQueue{};
};

struct PrintJob {
  std::uint32_t id = 0;
  std::string document;
  bool printing = false;     // the print engine has begun it
  std::int64_t startedMs = 0;  // when it began, while printing
};

// A device on a server, as a queue names the one it prints to.
struct DeviceRef {
  Ipv4 server{};
  std::uint8_t port = 0;
};

// The rights an open may ask of a queue, at most.
inline constexpr std::uint32_t kGrantFull = 0xF000C;
inline constexpr std::uint32_t kGrantAdminister = 0xC;
inline constexpr std::uint32_t kGrantUse = 0x8;
inline constexpr std::uint32_t kGrantNone = 0;

struct PrinterQueue {
  std::string name, port, driver;
  std::uint32_t attributes = 0;  // 0x400: work offline
  std::uint32_t status = 0;      // 0x1: paused
  std::uint32_t grants = kGrantFull;
  std::optional<DeviceRef> device;
  std::vector<PrintJob> jobs;  // in queue order
};

// Values to write below a key of the computer's registry when the simulated host starts: of the
// current-user hive, or of the machine hive (what the program's installer wrote).
struct RegistrySeed {
  std::string key;
  std::vector<std::pair<std::string, std::string>> values;  // text values, in writing order
  bool machine = false;
};

// The firewall of a computer's current profile.
struct FirewallPortEntry {
  std::int32_t port = 0;
  std::int32_t protocol = 17;
  std::string name;
  bool enabled = true;
};
struct FirewallAppEntry {
  std::string path, name;
  bool enabled = true;
};
struct FirewallProfile {
  std::vector<FirewallPortEntry> ports;        // globally open ports, in the order added
  std::vector<FirewallAppEntry> applications;  // authorised applications, in the order added
};

// How a computer's datagram traffic is disturbed, and the ports in use on it.
struct UdpSwitches {
  bool dropInbound = false;               // its firewall drops what arrives
  bool failSend = false;                  // every send fails
  std::vector<std::uint16_t> takenPorts;  // held by another program: a bind there fails
  std::vector<std::uint16_t> boundPorts;  // of the sockets bound on it now
};

struct Host {
  std::string name;
  Ipv4 ip{};
  std::vector<Ipv4> attached;                    // servers whose bus this host has, in attach order
  std::deque<std::vector<std::uint8_t>> events;  // waiting for a read
  std::uint64_t droppedEvents = 0;
  std::string windowsVersion = "6.1";
  std::vector<Adapter> adapters;  // the first carries the host's address
  std::vector<PrinterPort> ports;  // only the first of a name counts
  std::vector<PrinterQueue> queues;
  // The program's user may administer the spooler: add and delete ports and printers.
  bool spoolerAdmin = true;
  std::uint32_t nextJobId = 1;
  std::vector<RegistrySeed> registry;
  std::vector<platform::SimScanner> scanners;  // its network scanners' TWAIN sources
  bool sane = false;                           // it lists the SANE devices of this machine too
  // Devices installed on this computer before the start: plug and play has their keys already,
  // and keeps them when a link goes.
  std::vector<DeviceRef> installed;
  FirewallProfile firewall;
  UdpSwitches udp;
};

// What the simulated version server answers the version query with: the reply document built
// from the version and the sites, or an HTTP error status, or a body served as it stands.
struct VersionSite {
  std::string name, firmware;
};
struct VersionReply {
  int status = 200;
  std::optional<std::string> body;  // served instead of the built document
  std::string major, minor, date;
  std::vector<VersionSite> sites;
};

// A world as a scenario describes it. Hold times are relative to the moment the world starts.
struct WorldSetup {
  std::vector<Host> hosts;
  std::vector<Server> servers;
  std::int64_t serverListNotValidMs = 0;
  Version driverVersion{1, 0, 0};
  Version busVersion{1, 0, 0};
  std::int64_t printMs = 3000;  // how long the print engine takes over a job
  std::optional<VersionReply> versionReply;  // none: the version server answers 404
};

// Host names name folders, so they are kept to a safe set of letters.
bool isValidHostName(const std::string& name);

}  // namespace sim
