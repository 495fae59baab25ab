#include "sim/SimCtlArgs.h"

#include <charconv>
#include <map>
#include <stdexcept>

namespace sim {
namespace {

using nlohmann::json;

struct BadWords : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One command's positional words (by name) and the options it takes (option -> JSON key).
struct Shape {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;
};

// Words that are numbers in the request.
bool isNumberKey(const std::string& key) {
  return key == "port" || key == "lockType" || key == "seconds" || key == "status" ||
         key == "storageMode" || key == "from";
}

const std::map<std::string, Shape>& shapes() {
  static const std::map<std::string, Shape> table = {
      {"state", {}},
      {"log", {{}, {{"--from", "from"}}}},
      {"add-server", {{"ip", "mac", "name"}, {{"--status", "status"}, {"--storage-mode", "storageMode"}}}},
      {"remove-server", {{"ip"}, {}}},
      {"add-device",
       {{"server", "port", "vid", "pid", "type"},
        {{"--manufacturer", "manufacturer"}, {"--product", "product"}, {"--serial", "serial"}}}},
      {"remove-device", {{"server", "port"}, {}}},
      {"take", {{"host", "server", "port", "lockType", "seconds"}, {}}},
      {"release", {{"server", "port"}, {}}},
      {"ask", {{"host", "server", "port"}, {}}},
      {"fail-next", {{"code"}, {{"--host", "host"}}}},
      {"oversize-next", {{"code"}, {{"--host", "host"}}}},
      {"truncate-next", {{"code"}, {{"--host", "host"}}}},
      {"set-ip", {{"host", "ip"}, {}}},
      {"print", {{"host", "queue", "document"}, {}}},
      {"queues", {{}, {{"--host", "host"}}}},
      {"ports", {{}, {{"--host", "host"}}}},
      {"remove-queue", {{"host", "queue"}, {}}},
      {"queue-access", {{"host", "queue", "access"}, {}}},
      {"busy", {{"server", "port", "state"}, {}}},
      {"firewall", {{"host"}, {}}},
      {"firewall-fail", {{"host", "step"}, {{"--code", "code"}}}},
      {"udp-drop", {{"host", "state"}, {}}},
      {"udp-fail-send", {{"host", "state"}, {}}},
      {"udp-port", {{"host", "port", "state"}, {}}},
      {"udp-datagram", {{"host", "data"}, {{"--from", "source"}, {"--port", "port"}}}},
  };
  return table;
}

json value(const std::string& key, const std::string& word) {
  if (!isNumberKey(key)) return word;
  long long n = 0;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), n);
  if (word.empty() || ec != std::errc() || end != word.data() + word.size())
    throw BadWords(key + " must be a number, not \"" + word + "\"");
  return n;
}

// add-server and add-device send their object in the scenario's form.
json shaped(const std::string& cmd, json flat) {
  if (cmd == "add-server") {
    json server = flat;
    server.erase("cmd");
    return {{"cmd", cmd}, {"server", server}};
  }
  if (cmd == "add-device") {
    json device = flat;
    device.erase("cmd");
    device.erase("server");
    return {{"cmd", cmd}, {"server", flat["server"]}, {"device", device}};
  }
  return flat;
}

}  // namespace

const char* ctlUsage() {
  return "usage: tarvex-simctl [--dir DIR] COMMAND ...\n"
         "Reads and changes the running simulated host (in DIR, else $TARVEX_SIM_DIR).\n"
         "  state                                   the world as JSON\n"
         "  log [--from SEQ]                        the request log, one JSON object a line\n"
         "  add-server IP MAC NAME [--status N] [--storage-mode N]\n"
         "  remove-server IP\n"
         "  add-device SERVER PORT VID PID TYPE [--manufacturer T] [--product T] [--serial T]\n"
         "  remove-device SERVER PORT\n"
         "  take HOST SERVER PORT LOCKTYPE SECONDS  HOST links and locks the device\n"
         "  release SERVER PORT                     frees the device, whoever holds it\n"
         "  ask HOST SERVER PORT                    HOST asks the holder for the device\n"
         "  fail-next CODE [--host H]               the next request of CODE fails\n"
         "  oversize-next CODE [--host H]           its next reply claims more bytes than fit\n"
         "  truncate-next CODE [--host H]           its next list promises one item more\n"
         "  set-ip HOST IP                          HOST's address changes\n"
         "  print HOST QUEUE DOCUMENT               a user of HOST prints DOCUMENT on QUEUE\n"
         "  queues [--host H]                       the print queues and their jobs, as JSON\n"
         "  ports [--host H]                        the printer ports with their monitors, as JSON\n"
         "  remove-queue HOST QUEUE                 the queue vanishes\n"
         "  queue-access HOST QUEUE LEVEL           the most an open may ask: full, administer,\n"
         "                                          use or none (refused with error 5)\n"
         "  busy SERVER PORT on|off                 a storage device in use: its eject is vetoed\n"
         "  firewall HOST                           HOST's firewall profile: open ports, programs\n"
         "  firewall-fail HOST STEP [--code HR]     the next firewall STEP of HOST fails (0x80004005)\n"
         "  udp-drop HOST on|off                    HOST's firewall drops arriving datagrams\n"
         "  udp-fail-send HOST on|off               every datagram HOST sends fails\n"
         "  udp-port HOST PORT taken|free           another program of HOST holds the UDP port\n"
         "  udp-datagram HOST DATA [--from IP] [--port N]  a datagram from outside reaches HOST\n"
         "                                          (port 9303; DATA as text, or hex:...)\n"
         "CODE is a control code such as 0x222000. Exit status 0 on success, 1 on failure.\n";
}

CtlArgs parseCtlArgs(const std::vector<std::string>& words) {
  CtlArgs out;
  std::size_t i = 0;
  for (; i < words.size() && words[i].starts_with("-"); ++i) {
    if (words[i] == "--help" || words[i] == "-h") {
      out.help = true;
      return out;
    }
    if (words[i] == "--dir" && i + 1 < words.size()) {
      out.dir = words[++i];
    } else {
      out.error = "unknown option " + words[i];
      return out;
    }
  }
  if (i == words.size()) {
    out.error = "no command given";
    return out;
  }
  const std::string cmd = words[i++];
  const auto shape = shapes().find(cmd);
  if (shape == shapes().end()) {
    out.error = "unknown command " + cmd;
    return out;
  }
  try {
    json flat = {{"cmd", cmd}};
    std::size_t next = 0;
    for (; i < words.size(); ++i) {
      const std::string& w = words[i];
      if (w == "--help") {
        out.help = true;
        return out;
      }
      if (const auto opt = shape->second.options.find(w); opt != shape->second.options.end()) {
        if (i + 1 == words.size()) throw BadWords(w + " needs a value");
        flat[opt->second] = value(opt->second, words[++i]);
      } else if (next < shape->second.positional.size()) {
        const std::string& key = shape->second.positional[next++];
        flat[key] = value(key, w);
      } else {
        throw BadWords("too many arguments for " + cmd + " (at \"" + w + "\")");
      }
    }
    if (next < shape->second.positional.size())
      throw BadWords(cmd + " needs " + shape->second.positional[next]);
    out.request = shaped(cmd, std::move(flat));
  } catch (const BadWords& e) {
    out.error = e.what();
  }
  return out;
}

}  // namespace sim
