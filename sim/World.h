#pragma once
// The simulated host's core: the virtual USB bus driver as every simulated computer sees it (its
// control device, one bus device per attached server, control requests, event reads), the device
// servers and the holds on their devices. Thread-safe; the daemon and the in-process device I/O run
// this same code. Time comes from the Clock it is given.
#include <functional>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "platform/Handle.h"
#include "platform/SimWire.h"
#include "sim/Spooler.h"
#include "sim/WorldModel.h"

namespace sim {

struct ControlResult {
  bool ok = false;
  std::uint32_t returned = 0;       // what the driver claims; may exceed the out size under a fault
  std::vector<std::uint8_t> reply;  // the bytes written over the buffer, never more than the out size
  std::uint32_t error = 0;          // kErrorDeviceGone when the handle names nothing
};

struct ReadOutcome {
  platform::ReadStatus status = platform::ReadStatus::Failed;
  std::vector<std::uint8_t> bytes;
  std::uint32_t error = 0;  // kErrorDeviceGone when the handle names nothing
};

struct LogEntry {
  std::uint64_t seq = 0;
  std::int64_t atMs = 0;
  std::string host;
  std::string device;  // device path, empty when the handle was unknown
  std::string what;    // "control", "cancel", "read", "read-done", "job" (device: the queue)
  std::optional<std::uint32_t> code;
  std::vector<std::uint8_t> request;
  std::string result;  // "ok", "failed", "pending", "completed", "aborted"; for a job what happened
  std::uint32_t returned = 0;
  std::vector<std::uint8_t> reply;
  std::uint32_t jobId = 0;  // a job's
  std::string document;
};

enum class FaultKind { Fail, Oversize, Truncate };

struct Fault {
  FaultKind kind = FaultKind::Fail;
  std::uint32_t code = 0;
  std::string host;  // empty: any host
};

// A device comes to a computer (it links it, or it was installed there before the start) or leaves
// it, or its busy flag changes while there: what plug and play records.
struct PlugAndPlayChange {
  std::string host;
  Ipv4 server{};
  Device device;
  std::vector<PrinterQueue> queues;  // the computer's queues that print to the device
  bool present = false;
};

struct WorldOptions {
  platform::Handle firstHandle = 0x100;
  std::size_t eventQueueLimit = 64;
  std::size_t logLimit = 4096;
  // Called (with the world locked) when a computer's own description changed, e.g. its address.
  std::function<void(const Host&)> hostChanged;
  // Called (with the world locked) for every plug-and-play change.
  std::function<void(const PlugAndPlayChange&)> plugAndPlay;
};

struct HostState {
  Host host;
  int pendingReads = 0;
};

struct WorldState {
  std::int64_t nowMs = 0;
  std::int64_t serverListValidInMs = 0;  // 0 once the server list is valid
  std::vector<Server> servers;
  std::vector<HostState> hosts;
  std::vector<Fault> faults;
  std::uint64_t nextLogSeq = 0;
};

class World {
 public:
  World(WorldSetup setup, platform::Clock& clock, WorldOptions options = {});
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // --- The driver as one computer (`host`) reaches it.
  std::optional<std::vector<platform::InterfaceSlot>> listInterfaces(std::string_view host,
                                                                     std::string_view classGuid);
  platform::Handle open(std::string_view host, std::string_view path);
  void close(std::string_view host, platform::Handle handle);
  ControlResult control(std::string_view host, platform::Handle handle, std::uint32_t code,
                        std::span<const std::uint8_t> input, std::uint32_t outSize);
  // Starts an event read on a control-device handle: Completed at once when an event waits,
  // else Pending; Failed for a wrong handle or a read already outstanding.
  ReadOutcome beginRead(std::string_view host, platform::Handle handle, std::uint32_t maxBytes);
  // The end of the outstanding read: Pending while it waits (up to timeoutMs of real time, since it
  // waits for another thread's request), Completed or Aborted once, Failed when none is outstanding.
  ReadOutcome waitRead(std::string_view host, platform::Handle handle, std::uint32_t timeoutMs);
  // Drops an outstanding read without completing it (its reader went away).
  void abandonRead(platform::Handle handle);
  // Ends holds whose time ran out, opens the server list when its time came and moves the print
  // engine on.
  void tick();
  // The time of the world's clock, and the next time at which tick() has something to do (a hold
  // ends, the server list opens, a job finishes printing); nullopt when nothing is due.
  std::int64_t nowMs();
  std::optional<std::int64_t> nextDeadlineMs();

  // --- The print spooler as one computer reaches it.
  platform::simwire::SpoolerReply spooler(const platform::simwire::SpoolerRequest& request);
  // A WaitChange as the daemon holds it: its answer once the notification fired, the check
  // failed or `timeUp`; nullopt while it is still to wait.
  std::optional<platform::simwire::SpoolerReply> changeWait(
      const platform::simwire::SpoolerRequest& request, bool timeUp);

  // --- The still-image devices one computer's image acquisition service reaches.
  platform::simwire::WiaReply wia(const platform::simwire::WiaRequest& request);
  // --- The scanners of one computer: what they are, and whether it holds a scanner's device.
  platform::simwire::ScannerReply scanners(const platform::simwire::ScannerRequest& request);

  // --- Changes of the world (the control command). Each returns an error text, empty on success.
  std::string addServer(Server server);
  std::string removeServer(const Ipv4& server);
  // A hold the device comes with ends holdEndsMs from now.
  std::string addDevice(const Ipv4& server, Device device);
  std::string removeDevice(const Ipv4& server, std::uint8_t port);
  // Another computer links and locks a device, under the same rules as a driver request.
  std::string take(std::string_view host, const Ipv4& server, std::uint8_t port,
                   std::int8_t lockType, std::uint32_t seconds);
  // Frees a device whoever holds it.
  std::string release(const Ipv4& server, std::uint8_t port);
  // Another computer asks the holder for a device.
  std::string ask(std::string_view host, const Ipv4& server, std::uint8_t port);
  std::string setHostIp(std::string_view host, const Ipv4& ip);
  // A job for a queue of `host`, as a user of that computer prints.
  std::string printJob(std::string_view host, std::string_view queue, std::string document);
  std::string removeQueue(std::string_view host, std::string_view queue);
  // The rights an open may ask of the queue, at most (kGrantFull, ...).
  std::string setQueueAccess(std::string_view host, std::string_view queue, std::uint32_t grants);
  std::string setBusy(const Ipv4& server, std::uint8_t port, bool busy);
  std::string injectFault(Fault fault);

  // --- The network as one computer reaches it: datagram sockets and the firewall's profile.
  platform::UdpAnswer udp(std::string_view host, const platform::UdpCall& call);
  platform::FirewallAnswer firewall(std::string_view host, const platform::FirewallCall& call);
  // Switches of the network (the control command). Each returns an error text, empty on success.
  std::string setUdpDrop(std::string_view host, bool on);
  std::string setUdpFailSend(std::string_view host, bool on);
  std::string setUdpPortTaken(std::string_view host, std::uint16_t port, bool taken);
  // A datagram from outside arrives at every socket of `host` bound to `port`.
  std::string foreignDatagram(std::string_view host, std::uint16_t port,
                              std::vector<std::uint8_t> bytes, const Ipv4& from);
  // The next call of `step` by `host` answers `hr`.
  std::string failFirewallStep(std::string_view host, platform::FirewallStep step, platform::HResult hr);
  struct FirewallView {
    FirewallProfile profile;
    std::vector<std::pair<platform::FirewallStep, platform::HResult>> faults;
  };
  std::optional<FirewallView> firewallOf(std::string_view host);
  // What the version server answers, and the log line of each query it got.
  std::optional<VersionReply> versionReply();
  void logHttp(std::string request, std::string result, std::uint32_t status);

  WorldState state();
  // Log entries with seq >= fromSeq, oldest first, at most maxEntries.
  std::vector<LogEntry> log(std::uint64_t fromSeq, std::size_t maxEntries);

  // Device paths of the control device (the same on every computer) and of a server's bus.
  static std::string controlPath();
  static std::string busPath(const Ipv4& server);

 private:
  enum class DeviceKind { Control, Bus };
  struct OpenHandle {
    std::string host;
    DeviceKind kind = DeviceKind::Control;
    Ipv4 server{};
    std::string path;
  };
  enum class ReadState { Pending, Done };
  struct Read {
    ReadState state = ReadState::Pending;
    std::string host;
    std::uint32_t maxBytes = 0;
    std::uint64_t order = 0;
    ReadOutcome outcome;
  };
  struct Request {
    Host& host;
    const OpenHandle& handle;
    std::uint32_t code;
    std::span<const std::uint8_t> input;
    std::uint32_t outSize;
  };

  // All below run with mutex_ held.
  void advanceTime();
  Host* findHost(std::string_view name);
  Server* findServer(const Ipv4& ip);
  Device* findDevice(const Ipv4& server, std::uint8_t port);
  const OpenHandle* findHandle(std::string_view host, platform::Handle handle) const;
  std::optional<Fault> takeFault(FaultKind kind, std::uint32_t code, std::string_view host);
  void deliver(Host& host, std::vector<std::uint8_t> event);
  void deviceListChanged(const Ipv4& server);
  void syncPlugAndPlay(const Ipv4& server);
  void announcePlugAndPlay(const std::string& host, const Ipv4& server, const Device& device,
                           bool present);
  bool installedOn(const std::string& host, const Ipv4& server, std::uint8_t port) const;
  void numberDevices(Server& server);
  void serverListChanged();
  void finishRead(platform::Handle handle, Read& read, ReadOutcome outcome);
  void abortReads(std::string_view host, std::optional<platform::Handle> only);
  void dropBuses(const Ipv4& server);
  void addLog(LogEntry entry);
  void logJob(const std::string& host, const PrinterQueue& queue, const PrintJob& job,
              const char* what);
  template <typename Change>
  std::string changeSpooler(std::string_view host, Change change);

  ControlResult dispatch(const Request& request);
  ControlResult serverList(const Request& request);
  ControlResult attach(const Request& request);
  ControlResult cancelRead(const Request& request);
  ControlResult deviceList(const Request& request);
  ControlResult link(const Request& request);
  ControlResult unlink(const Request& request);
  ControlResult lock(const Request& request);
  ControlResult unlock(const Request& request);
  ControlResult requestToUse(const Request& request);

  // The hold rules, shared by driver requests and the control command.
  std::string linkAs(const std::string& host, const Ipv4& server, std::uint8_t port);
  std::string lockAs(const std::string& host, const Ipv4& server, std::uint8_t port,
                     std::int8_t lockType, std::uint32_t seconds);
  std::string askAs(const Host& asker, const Ipv4& server, std::uint8_t port, std::uint8_t kind);
  void freeDevice(const Ipv4& server, Device& device);


  // The network's part (WorldNetwork.cpp).
  struct UdpDatagram {
    std::vector<std::uint8_t> bytes;
    platform::UdpAddress from;
  };
  struct UdpSocketState {
    std::string host;
    bool broadcast = false;
    bool bound = false;
    platform::UdpAddress local;
    std::deque<UdpDatagram> queue;
  };
  struct FirewallFault {
    std::string host;
    platform::FirewallStep step;
    platform::HResult hr;
  };
  platform::UdpAnswer udpBind(Host& host, UdpSocketState& socket, const platform::UdpAddress& local);
  platform::UdpAnswer udpSend(Host& host, UdpSocketState& socket, const platform::UdpCall& call);
  int deliverDatagram(const platform::UdpAddress& from, const platform::UdpAddress& to,
                      const std::vector<std::uint8_t>& bytes, const Host* sender);
  void udpPortsChanged(Host& host);
  std::map<platform::UdpSocket, UdpSocketState> udpSockets_;
  platform::UdpSocket nextUdpSocket_ = 1;
  std::vector<FirewallFault> firewallFaults_;
  std::optional<VersionReply> versionReply_;

  std::mutex mutex_;
  std::condition_variable readDone_;
  platform::Clock& clock_;
  WorldOptions options_;
  // The linked devices plug and play has recorded, with the computer that has them.
  std::map<std::pair<Ipv4, std::uint8_t>, std::pair<std::string, Device>> plugged_;
  std::uint32_t nextPnpIndex_ = 0;
  // What each still-image device went through since its dialog last opened.
  struct WiaSession {
    std::uint32_t sheetsLeft = 0;
    std::uint32_t pagesTaken = 0;
  };
  std::map<std::string, WiaSession> wiaSessions_;
  std::vector<Host> hosts_;
  std::vector<Server> servers_;
  Version driverVersion_, busVersion_;
  std::int64_t serverListValidAtMs_ = 0;
  bool serverListAnnounced_ = true;
  std::map<platform::Handle, OpenHandle> handles_;
  std::map<platform::Handle, Read> reads_;
  platform::Handle nextHandle_;
  std::uint64_t nextReadOrder_ = 0;
  std::vector<Fault> faults_;
  std::deque<LogEntry> log_;
  std::vector<LogEntry> deferredLog_;
  bool deferLog_ = false;
  std::uint64_t nextSeq_ = 1;
  std::int64_t printMs_ = 3000;
  Spooler spooler_;
};

}  // namespace sim
