#include "sim/World.h"

#include <algorithm>
#include <cctype>

namespace sim {
namespace {

using platform::Handle;
using platform::ReadStatus;
using Bytes = std::vector<std::uint8_t>;

ControlResult failed() { return {}; }

ControlResult succeeded() { return {true, 0, {}}; }

// A reply the caller's out size must hold whole.
ControlResult replyWith(Bytes bytes, std::uint32_t outSize) {
  if (bytes.size() > outSize) return failed();
  const auto returned = static_cast<std::uint32_t>(bytes.size());
  return {true, returned, std::move(bytes)};
}

ControlResult fromError(const std::string& error) { return error.empty() ? succeeded() : failed(); }

Ipv4 ipAt(std::span<const std::uint8_t> input, std::size_t at) {
  return {input[at], input[at + 1], input[at + 2], input[at + 3]};
}

std::uint32_t u32At(std::span<const std::uint8_t> input, std::size_t at) {
  return static_cast<std::uint32_t>(input[at]) | static_cast<std::uint32_t>(input[at + 1]) << 8 |
         static_cast<std::uint32_t>(input[at + 2]) << 16 |
         static_cast<std::uint32_t>(input[at + 3]) << 24;
}

Bytes cut(Bytes bytes, std::uint32_t maxBytes) {
  if (bytes.size() > maxBytes) bytes.resize(maxBytes);
  return bytes;
}

void clearHold(Device& d) {
  d.holder.clear();
  d.lockType = 0;
  d.lockCount = 0;
  d.holdEndsMs.reset();
}

std::string portText(std::uint8_t port) { return "port " + std::to_string(port); }

}  // namespace

bool isValidHostName(const std::string& name) {
  if (name.empty() || name.size() > 63 || name.front() == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
  });
}

World::World(WorldSetup setup, platform::Clock& clock, WorldOptions options)
    : clock_(clock),
      options_(options),
      hosts_(std::move(setup.hosts)),
      servers_(std::move(setup.servers)),
      driverVersion_(setup.driverVersion),
      busVersion_(setup.busVersion),
      nextHandle_(options.firstHandle),
      printMs_(setup.printMs),
      spooler_([this](const DeviceRef& d) -> const Device* { return findDevice(d.server, d.port); },
               [this](const std::string& host, const PrinterQueue& queue, const PrintJob& job,
                      const char* what) { logJob(host, queue, job, what); }) {
  const std::int64_t now = clock_.nowMs();
  for (Server& s : servers_)
    for (Device& d : s.devices)
      if (d.holdEndsMs) *d.holdEndsMs += now;
  serverListValidAtMs_ = now + setup.serverListNotValidMs;
  versionReply_ = std::move(setup.versionReply);
  serverListAnnounced_ = setup.serverListNotValidMs <= 0;
  for (Server& s : servers_) numberDevices(s);
  for (const Host& h : hosts_)  // installed before the start
    for (const DeviceRef& ref : h.installed)
      if (const Device* d = findDevice(ref.server, ref.port)) announcePlugAndPlay(h.name, ref.server, *d, true);
  for (const Server& s : servers_) syncPlugAndPlay(s.ip);  // linked from the start
}

void World::numberDevices(Server& server) {
  for (Device& d : server.devices) d.pnpIndex = nextPnpIndex_++;
}

// ---------------------------------------------------------------- driver requests

std::optional<std::vector<platform::InterfaceSlot>> World::listInterfaces(
    std::string_view host, std::string_view classGuid) {
  std::lock_guard lock(mutex_);
  advanceTime();
  std::vector<platform::InterfaceSlot> slots;
  const Host* h = findHost(host);
  if (!h) return slots;
  if (equalNoCase(classGuid, kMasterBusClass)) {
    slots.push_back({platform::InterfaceStatus::Ok, controlPath()});
  } else if (equalNoCase(classGuid, kTcpBusClass)) {
    for (const Ipv4& ip : h->attached) slots.push_back({platform::InterfaceStatus::Ok, busPath(ip)});
  }
  return slots;
}

Handle World::open(std::string_view host, std::string_view path) {
  std::lock_guard lock(mutex_);
  advanceTime();
  const Host* h = findHost(host);
  if (!h) return platform::kInvalidHandle;
  OpenHandle opened{h->name, DeviceKind::Control, {}, std::string(path)};
  if (!equalNoCase(path, controlPath())) {
    const auto bus = std::find_if(h->attached.begin(), h->attached.end(),
                                  [&](const Ipv4& ip) { return equalNoCase(path, busPath(ip)); });
    if (bus == h->attached.end()) return platform::kInvalidHandle;
    opened.kind = DeviceKind::Bus;
    opened.server = *bus;
    opened.path = busPath(*bus);
  } else {
    opened.path = controlPath();
  }
  const Handle handle = nextHandle_;
  nextHandle_ += 4;
  handles_.emplace(handle, std::move(opened));
  return handle;
}

void World::close(std::string_view host, Handle handle) {
  std::lock_guard lock(mutex_);
  if (!findHandle(host, handle)) return;
  // Closing a handle cancels its outstanding read, as closing a file does.
  abortReads(host, handle);
  reads_.erase(handle);
  handles_.erase(handle);
}

ControlResult World::control(std::string_view host, Handle handle, std::uint32_t code,
                             std::span<const std::uint8_t> input, std::uint32_t outSize) {
  std::lock_guard lock(mutex_);
  advanceTime();
  LogEntry entry;
  entry.host = std::string(host);
  entry.what = code == code::kCancelRead ? "cancel" : "control";
  entry.code = code;
  entry.request.assign(input.begin(), input.end());

  ControlResult result;
  Host* h = findHost(host);
  const OpenHandle* opened = findHandle(host, handle);
  deferLog_ = true;
  if (h && opened) {
    entry.device = opened->path;
    if (!takeFault(FaultKind::Fail, code, host)) {
      result = dispatch({*h, *opened, code, input, outSize});
      if (result.ok && takeFault(FaultKind::Oversize, code, host))
        result.returned = std::max(result.returned, outSize) + 1;
    }
  }
  deferLog_ = false;
  if (!h || !opened) result.error = platform::kErrorDeviceGone;
  entry.result = result.ok ? "ok" : "failed";
  entry.returned = result.returned;
  entry.reply = result.reply;
  addLog(std::move(entry));
  // What the request set off is logged after it.
  std::vector<LogEntry> effects = std::move(deferredLog_);
  deferredLog_.clear();
  for (LogEntry& e : effects) addLog(std::move(e));
  return result;
}

ReadOutcome World::beginRead(std::string_view host, Handle handle, std::uint32_t maxBytes) {
  std::lock_guard lock(mutex_);
  advanceTime();
  LogEntry entry;
  entry.host = std::string(host);
  entry.what = "read";
  ReadOutcome outcome;
  Host* h = findHost(host);
  const OpenHandle* opened = findHandle(host, handle);
  if (opened) entry.device = opened->path;
  if (h && opened && opened->kind == DeviceKind::Control && !reads_.contains(handle)) {
    if (!h->events.empty()) {
      outcome = {ReadStatus::Completed, cut(std::move(h->events.front()), maxBytes)};
      h->events.pop_front();
    } else {
      reads_[handle] = Read{ReadState::Pending, h->name, maxBytes, nextReadOrder_++, {}};
      outcome.status = ReadStatus::Pending;
    }
  }
  if (!h || !opened) outcome.error = platform::kErrorDeviceGone;
  entry.result = outcome.status == ReadStatus::Completed ? "completed"
                 : outcome.status == ReadStatus::Pending ? "pending"
                                                         : "failed";
  entry.reply = outcome.bytes;
  entry.returned = static_cast<std::uint32_t>(outcome.bytes.size());
  addLog(std::move(entry));
  return outcome;
}

ReadOutcome World::waitRead(std::string_view host, Handle handle, std::uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  advanceTime();
  auto done = [&] {
    auto it = reads_.find(handle);
    return it == reads_.end() || it->second.state == ReadState::Done;
  };
  if (timeoutMs == platform::kWaitForever) {
    readDone_.wait(lock, done);
  } else if (timeoutMs > 0) {  // a look without waiting must not cost the daemon's loop a wait
    readDone_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
  }
  auto it = reads_.find(handle);
  if (it == reads_.end() || it->second.host != host) {
    ReadOutcome none;
    if (!findHandle(host, handle)) none.error = platform::kErrorDeviceGone;
    return none;
  }
  if (it->second.state == ReadState::Pending) return {ReadStatus::Pending, {}};
  ReadOutcome outcome = std::move(it->second.outcome);
  reads_.erase(it);
  return outcome;
}

void World::abandonRead(Handle handle) {
  std::lock_guard lock(mutex_);
  reads_.erase(handle);
  readDone_.notify_all();
}

void World::tick() {
  std::lock_guard lock(mutex_);
  advanceTime();
}

std::int64_t World::nowMs() { return clock_.nowMs(); }

std::optional<std::int64_t> World::nextDeadlineMs() {
  std::lock_guard lock(mutex_);
  std::optional<std::int64_t> next;
  auto consider = [&](std::int64_t at) {
    if (!next || at < *next) next = at;
  };
  for (const Server& s : servers_)
    for (const Device& d : s.devices)
      if (d.holdEndsMs) consider(*d.holdEndsMs);
  if (!serverListAnnounced_) consider(serverListValidAtMs_);
  if (const auto printed = spooler_.nextJobEndMs(hosts_, printMs_)) consider(*printed);
  return next;
}

namespace {

// A computer the world does not know has no spooler to answer.
platform::simwire::SpoolerReply noSpooler() {
  platform::simwire::SpoolerReply reply;
  reply.error = platform::kErrorNoSpooler;
  return reply;
}

}  // namespace

platform::simwire::SpoolerReply World::spooler(const platform::simwire::SpoolerRequest& request) {
  std::lock_guard lock(mutex_);
  advanceTime();
  Host* h = findHost(request.host);
  if (!h) return noSpooler();
  return spooler_.call(*h, request);
}

std::optional<platform::simwire::SpoolerReply> World::changeWait(
    const platform::simwire::SpoolerRequest& request, bool timeUp) {
  std::lock_guard lock(mutex_);
  advanceTime();
  Host* h = findHost(request.host);
  if (!h) return noSpooler();
  const platform::simwire::SpoolerReply check = spooler_.call(*h, request);
  if (check.ok && check.changes == 0 && !timeUp) return std::nullopt;
  return spooler_.answerWait(*h, request);
}

// ---------------------------------------------------------------- requests by code

ControlResult World::dispatch(const Request& r) {
  const bool onControl = r.handle.kind == DeviceKind::Control;
  if (onControl != isControlDeviceCode(r.code)) return failed();
  if (!onControl && !findServer(r.handle.server)) return failed();
  switch (r.code) {
    case code::kGetServerList: return serverList(r);
    case code::kAttachServer: return attach(r);
    case code::kCancelRead: return cancelRead(r);
    case code::kGetDriverVersion: return replyWith(encodeVersion(driverVersion_), r.outSize);
    case code::kGetServerAddress: return replyWith(encodeBusAddress(r.handle.server), r.outSize);
    case code::kGetDeviceList: return deviceList(r);
    case code::kLinkDevice: return link(r);
    case code::kUnlinkDevice: return unlink(r);
    case code::kGetBusVersion: return replyWith(encodeVersion(busVersion_), r.outSize);
    case code::kLockDevice: return lock(r);
    case code::kUnlockDevice: return unlock(r);
    case code::kRequestToUse: return requestToUse(r);
    default: return failed();
  }
}

ControlResult World::serverList(const Request& r) {
  if (clock_.nowMs() < serverListValidAtMs_) return replyWith(encodeServerList(false, {}), r.outSize);
  std::vector<ServerRecord> records;
  for (const Server& s : servers_)
    records.push_back({s.ip, s.status, s.mac, s.storageMode, s.name});
  const int extra = takeFault(FaultKind::Truncate, r.code, r.host.name) ? 1 : 0;
  return replyWith(encodeServerList(true, records, extra), r.outSize);
}

ControlResult World::attach(const Request& r) {
  if (r.input.size() < 4) return failed();
  const Ipv4 ip = ipAt(r.input, 0);
  if (!findServer(ip)) return failed();
  if (std::find(r.host.attached.begin(), r.host.attached.end(), ip) == r.host.attached.end())
    r.host.attached.push_back(ip);
  // The new bus reports its server's devices.
  deliver(r.host, encodeDeviceListChanged(ip));
  return succeeded();
}

ControlResult World::cancelRead(const Request& r) {
  abortReads(r.host.name, std::nullopt);
  return succeeded();
}

ControlResult World::deviceList(const Request& r) {
  const Server* s = findServer(r.handle.server);
  std::vector<DeviceRecord> records;
  for (const Device& d : s->devices)
    records.push_back({d.port, d.vid, d.pid, d.lockType, d.lockCount, d.type, d.holder,
                       d.manufacturer, d.product, d.serial, d.subItems});
  const int extra = takeFault(FaultKind::Truncate, r.code, r.host.name) ? 1 : 0;
  return replyWith(encodeDeviceList(records, extra), r.outSize);
}

ControlResult World::link(const Request& r) {
  if (r.input.empty()) return failed();
  return fromError(linkAs(r.host.name, r.handle.server, r.input[0]));
}

ControlResult World::unlink(const Request& r) {
  if (r.input.empty()) return failed();
  Device* d = findDevice(r.handle.server, r.input[0]);
  if (!d) return failed();
  if (d->holder.empty()) return succeeded();
  if (d->holder != r.host.name) return failed();
  clearHold(*d);
  deviceListChanged(r.handle.server);
  return succeeded();
}

ControlResult World::lock(const Request& r) {
  if (r.input.size() < 6) return failed();
  return fromError(lockAs(r.host.name, r.handle.server, r.input[0],
                          static_cast<std::int8_t>(r.input[5]), u32At(r.input, 1)));
}

ControlResult World::unlock(const Request& r) {
  if (r.input.size() < 6) return failed();
  Device* d = findDevice(r.handle.server, r.input[0]);
  if (!d || d->holder != r.host.name) return failed();
  const std::uint32_t seconds = u32At(r.input, 1);
  if (seconds == 0) {
    clearHold(*d);
    deviceListChanged(r.handle.server);
  } else {
    d->holdEndsMs = clock_.nowMs() + std::int64_t{seconds} * 1000;
  }
  return succeeded();
}

ControlResult World::requestToUse(const Request& r) {
  if (r.input.size() < 6) return failed();
  return fromError(askAs(r.host, r.handle.server, r.input[0], r.input[1]));
}

// ---------------------------------------------------------------- hold rules

std::string World::linkAs(const std::string& host, const Ipv4& server, std::uint8_t port) {
  Device* d = findDevice(server, port);
  if (!d) return "no device on " + portText(port) + " of " + formatIpv4(server);
  if (d->holder == host) return {};
  if (!d->holder.empty() && d->lockType == 2)
    return "the device is held by " + d->holder + " under lock type 2";
  // A plain link is an automatic-class use until a lock says otherwise: it lasts until released.
  d->holder = host;
  d->lockType = 1;
  d->lockCount = 1;
  d->holdEndsMs.reset();
  deviceListChanged(server);
  return {};
}

std::string World::lockAs(const std::string& host, const Ipv4& server, std::uint8_t port,
                          std::int8_t lockType, std::uint32_t seconds) {
  if (lockType != 1 && lockType != 2) return "lock type must be 1 or 2";
  Device* d = findDevice(server, port);
  if (!d) return "no device on " + portText(port) + " of " + formatIpv4(server);
  bool changed = true;
  if (d->holder == host) {
    changed = d->lockType != lockType;
    d->lockCount = static_cast<std::int8_t>(std::min(127, d->lockCount + 1));
  } else if (!d->holder.empty() && d->lockType == 2) {
    return "the device is held by " + d->holder + " under lock type 2";
  } else {
    d->holder = host;
    d->lockCount = 1;
  }
  d->lockType = lockType;
  d->holdEndsMs = clock_.nowMs() + std::int64_t{seconds} * 1000;
  if (changed) deviceListChanged(server);
  return {};
}

std::string World::askAs(const Host& asker, const Ipv4& server, std::uint8_t port,
                         std::uint8_t kind) {
  const Device* d = findDevice(server, port);
  if (!d) return "no device on " + portText(port) + " of " + formatIpv4(server);
  if (d->holder.empty()) return "the device is free";
  if (d->holder == asker.name) return asker.name + " holds the device itself";
  Host* holder = findHost(d->holder);
  if (!holder) return "the holder " + d->holder + " is not on this network";
  deliver(*holder, encodeRequestToUse(kind, port, server, asker.ip, asker.name));
  return {};
}

// ---------------------------------------------------------------- world changes

std::string World::addServer(Server server) {
  std::lock_guard lock(mutex_);
  advanceTime();
  if (findServer(server.ip)) return "a server with address " + formatIpv4(server.ip) + " exists";
  numberDevices(server);
  servers_.push_back(std::move(server));
  syncPlugAndPlay(servers_.back().ip);
  serverListChanged();
  return {};
}

std::string World::removeServer(const Ipv4& ip) {
  std::lock_guard lock(mutex_);
  advanceTime();
  const auto it = std::find_if(servers_.begin(), servers_.end(),
                               [&](const Server& s) { return s.ip == ip; });
  if (it == servers_.end()) return "no server with address " + formatIpv4(ip);
  servers_.erase(it);
  syncPlugAndPlay(ip);
  dropBuses(ip);
  serverListChanged();
  return {};
}

std::string World::addDevice(const Ipv4& ip, Device device) {
  std::lock_guard lock(mutex_);
  advanceTime();
  Server* s = findServer(ip);
  if (!s) return "no server with address " + formatIpv4(ip);
  if (findDevice(ip, device.port)) return formatIpv4(ip) + " already has a device on " + portText(device.port);
  if (!device.holder.empty() && !findHost(device.holder))
    return "the holder " + device.holder + " is not a host of this world";
  if (device.holdEndsMs) *device.holdEndsMs += clock_.nowMs();
  device.pnpIndex = nextPnpIndex_++;
  s->devices.push_back(std::move(device));
  deviceListChanged(ip);
  return {};
}

std::string World::removeDevice(const Ipv4& ip, std::uint8_t port) {
  std::lock_guard lock(mutex_);
  advanceTime();
  Server* s = findServer(ip);
  if (!s) return "no server with address " + formatIpv4(ip);
  const auto it = std::find_if(s->devices.begin(), s->devices.end(),
                               [&](const Device& d) { return d.port == port; });
  if (it == s->devices.end()) return "no device on " + portText(port) + " of " + formatIpv4(ip);
  s->devices.erase(it);
  deviceListChanged(ip);
  return {};
}

std::string World::take(std::string_view host, const Ipv4& server, std::uint8_t port,
                        std::int8_t lockType, std::uint32_t seconds) {
  std::lock_guard lock(mutex_);
  advanceTime();
  const Host* h = findHost(host);
  if (!h) return "no host named " + std::string(host);
  if (lockType != 1 && lockType != 2) return "lock type must be 1 or 2";
  if (std::string error = linkAs(h->name, server, port); !error.empty()) return error;
  return lockAs(h->name, server, port, lockType, seconds);
}

std::string World::release(const Ipv4& server, std::uint8_t port) {
  std::lock_guard lock(mutex_);
  advanceTime();
  Device* d = findDevice(server, port);
  if (!d) return "no device on " + portText(port) + " of " + formatIpv4(server);
  if (d->holder.empty()) return {};
  clearHold(*d);
  deviceListChanged(server);
  return {};
}

std::string World::ask(std::string_view host, const Ipv4& server, std::uint8_t port) {
  std::lock_guard lock(mutex_);
  advanceTime();
  const Host* h = findHost(host);
  if (!h) return "no host named " + std::string(host);
  return askAs(*h, server, port, 1);
}

std::string World::setHostIp(std::string_view host, const Ipv4& ip) {
  std::lock_guard lock(mutex_);
  advanceTime();
  Host* h = findHost(host);
  if (!h) return "no host named " + std::string(host);
  h->ip = ip;
  if (!h->adapters.empty()) h->adapters.front().ip = ip;
  if (options_.hostChanged) options_.hostChanged(*h);
  deliver(*h, encodeCodeOnlyEvent(kUpdateIp));
  return {};
}

template <typename Change>
std::string World::changeSpooler(std::string_view host, Change change) {
  std::lock_guard lock(mutex_);
  advanceTime();
  Host* h = findHost(host);
  if (!h) return "no host named " + std::string(host);
  return change(*h);
}

std::string World::printJob(std::string_view host, std::string_view queue, std::string document) {
  return changeSpooler(host, [&](Host& h) { return spooler_.addJob(h, queue, std::move(document)); });
}

std::string World::removeQueue(std::string_view host, std::string_view queue) {
  return changeSpooler(host, [&](Host& h) { return spooler_.removeQueue(h, queue); });
}

std::string World::setQueueAccess(std::string_view host, std::string_view queue,
                                  std::uint32_t grants) {
  return changeSpooler(host, [&](Host& h) { return spooler_.setGrants(h, queue, grants); });
}

std::string World::injectFault(Fault fault) {
  std::lock_guard lock(mutex_);
  const auto codes = knownCodes();
  if (std::find(codes.begin(), codes.end(), fault.code) == codes.end())
    return formatCode(fault.code) + " is not a control code of the driver";
  if (fault.kind == FaultKind::Truncate && fault.code != code::kGetServerList &&
      fault.code != code::kGetDeviceList)
    return "only the server list (0x222000) and the device list (0x222044) can be truncated";
  if (!fault.host.empty() && !findHost(fault.host)) return "no host named " + fault.host;
  faults_.push_back(std::move(fault));
  return {};
}

WorldState World::state() {
  std::lock_guard lock(mutex_);
  advanceTime();
  WorldState s;
  s.nowMs = clock_.nowMs();
  s.serverListValidInMs = std::max<std::int64_t>(0, serverListValidAtMs_ - s.nowMs);
  s.servers = servers_;
  for (const Host& h : hosts_) {
    const auto pending = std::count_if(reads_.begin(), reads_.end(), [&](const auto& r) {
      return r.second.host == h.name && r.second.state == ReadState::Pending;
    });
    s.hosts.push_back({h, static_cast<int>(pending)});
  }
  s.faults = faults_;
  s.nextLogSeq = nextSeq_;
  return s;
}

std::vector<LogEntry> World::log(std::uint64_t fromSeq, std::size_t maxEntries) {
  std::lock_guard lock(mutex_);
  auto it = std::lower_bound(log_.begin(), log_.end(), fromSeq,
                             [](const LogEntry& e, std::uint64_t seq) { return e.seq < seq; });
  std::vector<LogEntry> out;
  for (; it != log_.end() && out.size() < maxEntries; ++it) out.push_back(*it);
  return out;
}

// ---------------------------------------------------------------- internals

void World::advanceTime() {
  const std::int64_t now = clock_.nowMs();
  for (Server& s : servers_) {
    bool changed = false;
    for (Device& d : s.devices) {
      if (d.holdEndsMs && *d.holdEndsMs <= now) {
        clearHold(d);
        changed = true;
      }
    }
    if (changed) deviceListChanged(s.ip);
  }
  if (!serverListAnnounced_ && now >= serverListValidAtMs_) {
    serverListAnnounced_ = true;
    serverListChanged();
  }
  spooler_.runEngine(hosts_, now, printMs_);
}

Host* World::findHost(std::string_view name) {
  const auto it = std::find_if(hosts_.begin(), hosts_.end(),
                               [&](const Host& h) { return h.name == name; });
  return it == hosts_.end() ? nullptr : &*it;
}

Server* World::findServer(const Ipv4& ip) {
  const auto it = std::find_if(servers_.begin(), servers_.end(),
                               [&](const Server& s) { return s.ip == ip; });
  return it == servers_.end() ? nullptr : &*it;
}

Device* World::findDevice(const Ipv4& server, std::uint8_t port) {
  Server* s = findServer(server);
  if (!s) return nullptr;
  const auto it = std::find_if(s->devices.begin(), s->devices.end(),
                               [&](const Device& d) { return d.port == port; });
  return it == s->devices.end() ? nullptr : &*it;
}

const World::OpenHandle* World::findHandle(std::string_view host, Handle handle) const {
  const auto it = handles_.find(handle);
  return it == handles_.end() || it->second.host != host ? nullptr : &it->second;
}

std::optional<Fault> World::takeFault(FaultKind kind, std::uint32_t c, std::string_view host) {
  const auto it = std::find_if(faults_.begin(), faults_.end(), [&](const Fault& f) {
    return f.kind == kind && f.code == c && (f.host.empty() || f.host == host);
  });
  if (it == faults_.end()) return std::nullopt;
  Fault fault = *it;
  faults_.erase(it);
  return fault;
}

void World::deliver(Host& host, Bytes event) {
  auto oldest = reads_.end();
  for (auto it = reads_.begin(); it != reads_.end(); ++it) {
    if (it->second.host != host.name || it->second.state != ReadState::Pending) continue;
    if (oldest == reads_.end() || it->second.order < oldest->second.order) oldest = it;
  }
  if (oldest != reads_.end()) {
    Read& read = oldest->second;
    finishRead(oldest->first, read, {ReadStatus::Completed, cut(std::move(event), read.maxBytes)});
    return;
  }
  host.events.push_back(std::move(event));
  while (host.events.size() > options_.eventQueueLimit) {
    host.events.pop_front();
    ++host.droppedEvents;
  }
}

void World::deviceListChanged(const Ipv4& server) {
  syncPlugAndPlay(server);
  for (Host& h : hosts_)
    if (std::find(h.attached.begin(), h.attached.end(), server) != h.attached.end())
      deliver(h, encodeDeviceListChanged(server));
}

// A linked device is plugged into the computer that holds it, as far as plug and play knows; one
// installed there before keeps its keys when it goes.
void World::syncPlugAndPlay(const Ipv4& server) {
  if (!options_.plugAndPlay) return;
  const Server* s = findServer(server);
  for (auto it = plugged_.begin(); it != plugged_.end();) {
    const Device* d = nullptr;
    if (s && it->first.first == server)
      for (const Device& candidate : s->devices)
        if (candidate.port == it->first.second) d = &candidate;
    const bool gone = it->first.first == server && (!d || d->holder != it->second.first);
    if (!gone) {
      ++it;
      continue;
    }
    const auto& [host, device] = it->second;
    if (!installedOn(host, server, device.port)) announcePlugAndPlay(host, server, device, false);
    it = plugged_.erase(it);
  }
  if (!s) return;
  for (const Device& d : s->devices) {
    if (d.holder.empty()) continue;
    auto [it, added] = plugged_.try_emplace({server, d.port}, d.holder, d);
    if (added || it->second.second.busy != d.busy) {
      it->second.second = d;
      announcePlugAndPlay(d.holder, server, d, true);
    }
  }
}

void World::announcePlugAndPlay(const std::string& host, const Ipv4& server, const Device& device,
                                bool present) {
  if (!options_.plugAndPlay) return;
  PlugAndPlayChange change{host, server, device, {}, present};
  if (const Host* h = findHost(host))
    for (const PrinterQueue& q : h->queues)
      if (q.device && q.device->server == server && q.device->port == device.port)
        change.queues.push_back(q);
  options_.plugAndPlay(change);
}

bool World::installedOn(const std::string& host, const Ipv4& server, std::uint8_t port) const {
  const auto h = std::find_if(hosts_.begin(), hosts_.end(),
                              [&](const Host& candidate) { return candidate.name == host; });
  return h != hosts_.end() &&
         std::any_of(h->installed.begin(), h->installed.end(),
                     [&](const DeviceRef& r) { return r.server == server && r.port == port; });
}

std::string World::setBusy(const Ipv4& server, std::uint8_t port, bool busy) {
  std::lock_guard lock(mutex_);
  advanceTime();
  Server* s = findServer(server);
  if (!s) return "no server " + formatIpv4(server);
  for (Device& d : s->devices) {
    if (d.port != port) continue;
    d.busy = busy;
    syncPlugAndPlay(server);
    return {};
  }
  return "no device on port " + std::to_string(port);
}

void World::serverListChanged() {
  for (Host& h : hosts_) deliver(h, encodeCodeOnlyEvent(kUpdateBusList));
}

void World::finishRead(Handle handle, Read& read, ReadOutcome outcome) {
  LogEntry entry;
  entry.host = read.host;
  const auto opened = handles_.find(handle);
  if (opened != handles_.end()) entry.device = opened->second.path;
  entry.what = "read-done";
  entry.result = outcome.status == ReadStatus::Completed ? "completed" : "aborted";
  entry.reply = outcome.bytes;
  entry.returned = static_cast<std::uint32_t>(outcome.bytes.size());
  addLog(std::move(entry));
  read.state = ReadState::Done;
  read.outcome = std::move(outcome);
  readDone_.notify_all();
}

void World::abortReads(std::string_view host, std::optional<Handle> only) {
  for (auto& [handle, read] : reads_) {
    if (read.host != host || read.state != ReadState::Pending) continue;
    if (only && *only != handle) continue;
    finishRead(handle, read, {ReadStatus::Aborted, {}});
  }
}

void World::dropBuses(const Ipv4& server) {
  for (Host& h : hosts_) std::erase(h.attached, server);
  std::erase_if(handles_, [&](const auto& entry) {
    return entry.second.kind == DeviceKind::Bus && entry.second.server == server;
  });
}

void World::addLog(LogEntry entry) {
  if (deferLog_) {
    deferredLog_.push_back(std::move(entry));
    return;
  }
  entry.seq = nextSeq_++;
  entry.atMs = clock_.nowMs();
  log_.push_back(std::move(entry));
  while (log_.size() > options_.logLimit) log_.pop_front();
}

void World::logJob(const std::string& host, const PrinterQueue& queue, const PrintJob& job,
                   const char* what) {
  LogEntry entry;
  entry.host = host;
  entry.device = queue.name;
  entry.what = "job";
  entry.result = what;
  entry.jobId = job.id;
  entry.document = job.document;
  addLog(std::move(entry));
}

std::string World::controlPath() {
  return "\\\\?\\ROOT#TARVEX_MASTERBUS#0000#" + std::string(kMasterBusClass);
}

std::string World::busPath(const Ipv4& server) {
  return "\\\\?\\TARVEX#TCPBUS#" + formatIpv4(server) + "#" + std::string(kTcpBusClass);
}

}  // namespace sim
