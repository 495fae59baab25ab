#include "sim/WorldCommands.h"

#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "sim/Scenario.h"

namespace sim {
namespace {

using nlohmann::json;
using ojson = nlohmann::ordered_json;

struct BadArgument : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Log pages stay well inside one wire frame.
constexpr std::size_t kLogPageBytes = 256 * 1024;

const json& arg(const json& cmd, const char* key) {
  if (!cmd.contains(key)) throw BadArgument(std::string("missing \"") + key + "\"");
  return cmd.at(key);
}

std::string textArg(const json& cmd, const char* key) {
  const json& v = arg(cmd, key);
  if (!v.is_string()) throw BadArgument(std::string("\"") + key + "\" must be a text");
  return v.get<std::string>();
}

std::int64_t intArg(const json& cmd, const char* key, std::int64_t lo, std::int64_t hi) {
  const json& v = arg(cmd, key);
  if (!v.is_number_integer() || v.get<std::int64_t>() < lo || v.get<std::int64_t>() > hi ||
      (v.is_number_unsigned() && v.get<std::uint64_t>() > static_cast<std::uint64_t>(hi)))
    throw BadArgument(std::string("\"") + key + "\" must be an integer from " +
                      std::to_string(lo) + " to " + std::to_string(hi));
  return v.get<std::int64_t>();
}

Ipv4 ipArg(const json& cmd, const char* key) {
  const auto ip = parseIpv4(textArg(cmd, key));
  if (!ip) throw BadArgument(std::string("\"") + key + "\" must be a dotted IPv4 address");
  return *ip;
}

std::uint8_t portArg(const json& cmd) { return static_cast<std::uint8_t>(intArg(cmd, "port", 0, 255)); }

std::string usbIdText(std::uint16_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", id);
  return text;
}

const char* faultName(FaultKind kind) {
  switch (kind) {
    case FaultKind::Fail: return "fail";
    case FaultKind::Oversize: return "oversize";
    case FaultKind::Truncate: return "truncate";
  }
  return "?";
}

ojson deviceToJson(const Device& d, std::int64_t nowMs) {
  ojson subItems = ojson::array();
  for (const SubItemRecord& s : d.subItems)
    subItems.push_back({{"a", toHex(s.first)}, {"b", toHex(s.second)}});
  ojson out = {{"port", d.port},
              {"vid", usbIdText(d.vid)},
              {"pid", usbIdText(d.pid)},
              {"type", d.type},
              {"manufacturer", d.manufacturer},
              {"product", d.product},
              {"serial", d.serial},
              {"subItems", subItems},
              {"holder", d.holder},
              {"lockType", d.lockType},
              {"lockCount", d.lockCount},
              {"remainingSeconds", nullptr}};
  if (d.holdEndsMs) out["remainingSeconds"] = (*d.holdEndsMs - nowMs + 999) / 1000;
  return out;
}

ojson serverToJson(const Server& s, std::int64_t nowMs) {
  ojson devices = ojson::array();
  for (const Device& d : s.devices) devices.push_back(deviceToJson(d, nowMs));
  return {{"ip", formatIpv4(s.ip)}, {"mac", formatMac(s.mac)}, {"name", s.name},
          {"status", s.status},     {"storageMode", s.storageMode}, {"devices", devices}};
}

// The monitor of a queue's port (of the first port of a pool), empty when no such port is there.
std::string monitorOf(const Host& h, const PrinterQueue& q) {
  const std::vector<std::string> ports = pooledPorts(q.port);
  const PrinterPort* port = ports.empty() ? nullptr : findPort(h, ports.front());
  return port ? port->monitor : std::string();
}

ojson queueToJson(const Host& h, const PrinterQueue& q) {
  ojson jobs = ojson::array();
  for (const PrintJob& j : q.jobs)
    jobs.push_back({{"id", j.id}, {"document", j.document}, {"printing", j.printing}});
  ojson device = nullptr;
  if (q.device) device = formatIpv4(q.device->server) + ":" + std::to_string(q.device->port);
  return {{"name", q.name},
          {"port", q.port},
          {"monitor", monitorOf(h, q)},
          {"driver", q.driver},
          {"offline", (q.attributes & 0x400) != 0},
          {"paused", (q.status & 0x1) != 0},
          {"access", accessLevelName(q.grants)},
          {"device", device},
          {"jobs", jobs}};
}

ojson queuesToJson(const Host& h) {
  ojson queues = ojson::array();
  for (const PrinterQueue& q : h.queues) queues.push_back(queueToJson(h, q));
  return queues;
}

ojson portsToJson(const Host& h) {
  ojson ports = ojson::array();
  for (const PrinterPort& p : h.ports) {
    ojson port = {{"name", p.name}, {"description", p.description}, {"monitor", p.monitor}};
    if (p.protocol != 0) {
      port["protocol"] = p.protocol == 2 ? "lpr" : "raw";
      port["address"] = p.address;
      port["portNumber"] = p.portNumber;
      if (p.protocol == 2) port["queue"] = p.lprQueue;
    }
    ports.push_back(std::move(port));
  }
  return ports;
}

ojson hostToJson(const HostState& h) {
  ojson attached = ojson::array();
  for (const Ipv4& ip : h.host.attached) attached.push_back(formatIpv4(ip));
  ojson events = ojson::array();
  for (const auto& e : h.host.events) events.push_back(toHex(e));
  return {{"name", h.host.name},
          {"ip", formatIpv4(h.host.ip)},
          {"attached", attached},
          {"queuedEvents", events},
          {"droppedEvents", h.host.droppedEvents},
          {"pendingReads", h.pendingReads},
          {"ports", portsToJson(h.host)},
          {"queues", queuesToJson(h.host)}};
}

std::string check(const std::string& error) {
  if (!error.empty()) throw BadArgument(error);
  return {};
}

std::string logPage(World& world, const json& cmd) {
  const std::uint64_t from =
      cmd.contains("from") ? static_cast<std::uint64_t>(intArg(cmd, "from", 0, INT64_MAX)) : 0;
  ojson entries = ojson::array();
  std::uint64_t next = from;
  std::size_t bytes = 0;
  for (const LogEntry& e : world.log(from, 512)) {
    ojson entry = logEntryToJson(e);
    const std::size_t size = entry.dump().size();
    if (bytes > 0 && bytes + size > kLogPageBytes) break;
    bytes += size;
    entries.push_back(std::move(entry));
    next = e.seq + 1;
  }
  return ojson{{"entries", entries}, {"next", next}}.dump();
}

std::string addServer(World& world, const json& cmd) {
  ServerResult r = parseServerObject(arg(cmd, "server"), "server");
  if (!r.server) throw BadArgument(r.error);
  return check(world.addServer(std::move(*r.server)));
}

std::string addDevice(World& world, const json& cmd) {
  DeviceResult r = parseDeviceObject(arg(cmd, "device"), "device");
  if (!r.device) throw BadArgument(r.error);
  return check(world.addDevice(ipArg(cmd, "server"), std::move(*r.device)));
}

std::string fault(World& world, const json& cmd, FaultKind kind) {
  const auto c = parseCode(textArg(cmd, "code"));
  if (!c) throw BadArgument("\"code\" must be a control code such as \"0x222000\"");
  const std::string host = cmd.contains("host") ? textArg(cmd, "host") : std::string();
  return check(world.injectFault({kind, *c, host}));
}

// The queues of one host, or of every host, by host name.
std::string queuesPage(World& world, const json& cmd) {
  const std::string only = cmd.contains("host") ? textArg(cmd, "host") : std::string();
  ojson out = ojson::object();
  for (const HostState& h : world.state().hosts)
    if (only.empty() || h.host.name == only) out[h.host.name] = queuesToJson(h.host);
  if (!only.empty() && out.empty()) throw BadArgument("no host named " + only);
  return out.dump();
}

// The ports of one host, or of every host, by host name.
std::string portsPage(World& world, const json& cmd) {
  const std::string only = cmd.contains("host") ? textArg(cmd, "host") : std::string();
  ojson out = ojson::object();
  for (const HostState& h : world.state().hosts)
    if (only.empty() || h.host.name == only) out[h.host.name] = portsToJson(h.host);
  if (!only.empty() && out.empty()) throw BadArgument("no host named " + only);
  return out.dump();
}

std::string queueAccess(World& world, const json& cmd) {
  const auto grants = parseAccessLevel(textArg(cmd, "access"));
  if (!grants) throw BadArgument("\"access\" must be full, administer, use or none");
  return check(world.setQueueAccess(textArg(cmd, "host"), textArg(cmd, "queue"), *grants));
}

std::string hrText(platform::HResult hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

bool onOff(const json& cmd, const char* on, const char* off) {
  const std::string state = textArg(cmd, "state");
  if (state != on && state != off)
    throw BadArgument(std::string("\"state\" must be ") + on + " or " + off);
  return state == on;
}

std::string firewallPage(World& world, const json& cmd) {
  const std::string host = textArg(cmd, "host");
  const auto view = world.firewallOf(host);
  if (!view) throw BadArgument("no host named " + host);
  ojson ports = ojson::array();
  for (const FirewallPortEntry& p : view->profile.ports)
    ports.push_back({{"port", p.port}, {"protocol", p.protocol}, {"name", p.name}, {"enabled", p.enabled}});
  ojson apps = ojson::array();
  for (const FirewallAppEntry& a : view->profile.applications)
    apps.push_back({{"path", a.path}, {"name", a.name}, {"enabled", a.enabled}});
  ojson faults = ojson::array();
  for (const auto& [step, hr] : view->faults)
    faults.push_back({{"step", platform::firewallStepName(step)}, {"code", hrText(hr)}});
  return ojson{{"host", host}, {"ports", ports}, {"applications", apps}, {"faults", faults}}.dump();
}

std::string firewallFail(World& world, const json& cmd) {
  const auto step = platform::parseFirewallStep(textArg(cmd, "step"));
  if (!step) throw BadArgument("\"step\" must be one of the firewall's steps, such as create-manager or add-port");
  platform::HResult hr = platform::kEFail;
  if (cmd.contains("code")) {
    const auto code = parseCode(textArg(cmd, "code"));
    if (!code) throw BadArgument("\"code\" must be a hexadecimal result such as 0x80004005");
    hr = static_cast<platform::HResult>(*code);
  }
  return check(world.failFirewallStep(textArg(cmd, "host"), *step, hr));
}

std::string udpDatagram(World& world, const json& cmd) {
  const std::string data = textArg(cmd, "data");
  std::vector<std::uint8_t> bytes(data.begin(), data.end());
  if (data.starts_with("hex:")) {
    const auto decoded = fromHex(std::string_view(data).substr(4));
    if (!decoded) throw BadArgument("after \"hex:\" an even number of hexadecimal digits must follow");
    bytes = *decoded;
  }
  const Ipv4 from = cmd.contains("source") ? ipArg(cmd, "source") : Ipv4{192, 0, 2, 99};
  const auto port = cmd.contains("port") ? static_cast<std::uint16_t>(intArg(cmd, "port", 1, 65535))
                                         : std::uint16_t{9303};
  return check(world.foreignDatagram(textArg(cmd, "host"), port, std::move(bytes), from));
}

using Handler = std::function<std::string(World&, const json&)>;

const std::map<std::string, Handler, std::less<>>& handlers() {
  static const std::map<std::string, Handler, std::less<>> table = {
      {"state", [](World& w, const json&) { return stateToJson(w.state()).dump(); }},
      {"log", logPage},
      {"add-server", addServer},
      {"remove-server", [](World& w, const json& c) { return check(w.removeServer(ipArg(c, "ip"))); }},
      {"add-device", addDevice},
      {"remove-device",
       [](World& w, const json& c) { return check(w.removeDevice(ipArg(c, "server"), portArg(c))); }},
      {"take",
       [](World& w, const json& c) {
         return check(w.take(textArg(c, "host"), ipArg(c, "server"), portArg(c),
                             static_cast<std::int8_t>(intArg(c, "lockType", 1, 2)),
                             static_cast<std::uint32_t>(intArg(c, "seconds", 0, 0xFFFFFFFF))));
       }},
      {"release",
       [](World& w, const json& c) { return check(w.release(ipArg(c, "server"), portArg(c))); }},
      {"ask",
       [](World& w, const json& c) {
         return check(w.ask(textArg(c, "host"), ipArg(c, "server"), portArg(c)));
       }},
      {"set-ip",
       [](World& w, const json& c) { return check(w.setHostIp(textArg(c, "host"), ipArg(c, "ip"))); }},
      {"busy",
       [](World& w, const json& c) {
         const std::string state = textArg(c, "state");
         if (state != "on" && state != "off") throw BadArgument("\"state\" must be on or off");
         return check(w.setBusy(ipArg(c, "server"), portArg(c), state == "on"));
       }},
      {"fail-next", [](World& w, const json& c) { return fault(w, c, FaultKind::Fail); }},
      {"oversize-next", [](World& w, const json& c) { return fault(w, c, FaultKind::Oversize); }},
      {"truncate-next", [](World& w, const json& c) { return fault(w, c, FaultKind::Truncate); }},
      {"queues", queuesPage},
      {"ports", portsPage},
      {"print",
       [](World& w, const json& c) {
         return check(w.printJob(textArg(c, "host"), textArg(c, "queue"), textArg(c, "document")));
       }},
      {"remove-queue",
       [](World& w, const json& c) { return check(w.removeQueue(textArg(c, "host"), textArg(c, "queue"))); }},
      {"queue-access", queueAccess},
      {"firewall", firewallPage},
      {"firewall-fail", firewallFail},
      {"udp-drop",
       [](World& w, const json& c) { return check(w.setUdpDrop(textArg(c, "host"), onOff(c, "on", "off"))); }},
      {"udp-fail-send",
       [](World& w, const json& c) {
         return check(w.setUdpFailSend(textArg(c, "host"), onOff(c, "on", "off")));
       }},
      {"udp-port",
       [](World& w, const json& c) {
         return check(w.setUdpPortTaken(textArg(c, "host"),
                                        static_cast<std::uint16_t>(intArg(c, "port", 1, 65535)),
                                        onOff(c, "taken", "free")));
       }},
      {"udp-datagram", udpDatagram},
  };
  return table;
}

}  // namespace

CommandResult runCommand(World& world, std::string_view jsonText) {
  try {
    const json cmd = json::parse(jsonText);
    if (!cmd.is_object()) return {false, "a command is a JSON object"};
    const std::string name = textArg(cmd, "cmd");
    const auto it = handlers().find(name);
    if (it == handlers().end()) return {false, "unknown command \"" + name + "\""};
    return {true, it->second(world, cmd)};
  } catch (const BadArgument& e) {
    return {false, e.what()};
  } catch (const json::exception& e) {
    return {false, std::string("bad command: ") + e.what()};
  }
}

ojson stateToJson(const WorldState& s) {
  ojson servers = ojson::array();
  for (const Server& server : s.servers) servers.push_back(serverToJson(server, s.nowMs));
  ojson hosts = ojson::array();
  for (const HostState& h : s.hosts) hosts.push_back(hostToJson(h));
  ojson faults = ojson::array();
  for (const Fault& f : s.faults)
    faults.push_back({{"kind", faultName(f.kind)}, {"code", formatCode(f.code)}, {"host", f.host}});
  return {{"serverListValidInSeconds", (s.serverListValidInMs + 999) / 1000},
          {"servers", servers},
          {"hosts", hosts},
          {"faults", faults}};
}

ojson logEntryToJson(const LogEntry& e) {
  ojson out = {{"seq", e.seq},           {"timeMs", e.atMs},         {"host", e.host},
              {"device", e.device},     {"what", e.what},           {"code", nullptr},
              {"request", toHex(e.request)}, {"result", e.result}, {"returned", e.returned},
              {"reply", toHex(e.reply)}};
  if (e.code) out["code"] = formatCode(*e.code);
  if (e.what == "job") {
    out["job"] = e.jobId;
    out["document"] = e.document;
  }
  if (e.what == "wia" && !e.document.empty()) out["file"] = e.document;
  return out;
}

}  // namespace sim
