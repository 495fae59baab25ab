#include "platform/SystemInfo.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/SimEnvironment.h"

namespace platform {
namespace {

using nlohmann::json;

std::optional<std::array<std::uint8_t, 8>> parseMac(const std::string& text) {
  std::array<std::uint8_t, 8> out{};
  unsigned b[6];
  char tail = 0;
  if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &b[0], &b[1], &b[2], &b[3], &b[4],
                  &b[5], &tail) != 6)
    return std::nullopt;
  for (int i = 0; i < 6; ++i) out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(b[i]);
  return out;
}

std::string text(const json& obj, const char* key, const std::string& fallback) {
  auto it = obj.find(key);
  return it != obj.end() && it->is_string() ? it->get<std::string>() : fallback;
}

std::uint32_t number(const json& obj, const char* key, std::uint32_t fallback) {
  auto it = obj.find(key);
  return it != obj.end() && it->is_number_unsigned() ? it->get<std::uint32_t>() : fallback;
}

// The simulated host writes one file per computer; it is read again on every query, so a change
// of address made while the program runs is seen at once.
class SimSystemInfo final : public SystemInfo {
 public:
  std::optional<std::string> computerName() override {
    return text(load(), "computerName", sim::thisHostName());
  }

  std::optional<OsVersion> osVersion() override {
    const json doc = load();
    OsVersion v{6, 1};  // what the simulated computers run unless told otherwise
    unsigned major = 0, minor = 0;
    if (std::sscanf(text(doc, "windowsVersion", "").c_str(), "%u.%u", &major, &minor) == 2)
      v = {major, minor};
    return v;
  }

  std::optional<std::vector<AdapterInfo>> adapters() override {
    const json doc = load();
    std::vector<AdapterInfo> out;
    if (!doc.contains("adapters") || !doc["adapters"].is_array()) return out;
    for (const json& a : doc["adapters"]) {
      if (!a.is_object()) continue;
      AdapterInfo info;
      info.type = number(a, "type", kIfTypeEthernet);
      if (auto mac = parseMac(text(a, "mac", ""))) info.address = *mac;
      info.ip = text(a, "ip", "0.0.0.0");
      info.mask = text(a, "mask", "0.0.0.0");
      info.gateway = text(a, "gateway", "0.0.0.0");
      out.push_back(std::move(info));
    }
    return out;
  }

  std::optional<std::vector<InterfaceRow>> interfaces() override {
    auto list = adapters();
    std::vector<InterfaceRow> rows;
    for (const AdapterInfo& a : *list) rows.push_back({a.type, a.address, a.addressLength});
    return rows;
  }

  std::optional<std::vector<std::uint16_t>> udpLocalPorts() override {
    // The simulated computer's own table, when the simulated host gives one.
    const json doc = load();
    if (auto it = doc.find("udpPorts"); it != doc.end() && it->is_array()) {
      std::vector<std::uint16_t> simulated;
      for (const json& p : *it)
        if (p.is_number_unsigned() && p.get<std::uint64_t>() <= 0xFFFF)
          simulated.push_back(p.get<std::uint16_t>());
      return simulated;
    }
    std::vector<std::uint16_t> ports;
    bool any = false;
    for (const char* file : {"/proc/net/udp", "/proc/net/udp6"}) {
      std::ifstream in(file);
      if (!in) continue;
      any = true;
      std::string line;
      std::getline(in, line);  // header
      while (std::getline(in, line)) {
        // "  sl  local_address rem_address ...": local_address is ADDR:PORT in hexadecimal.
        std::istringstream fields(line);
        std::string slot, local;
        fields >> slot >> local;
        const auto colon = local.rfind(':');
        if (colon == std::string::npos) continue;
        unsigned port = 0;
        if (std::sscanf(local.c_str() + colon + 1, "%x", &port) == 1)
          ports.push_back(static_cast<std::uint16_t>(port));
      }
    }
    if (!any) return std::nullopt;
    return ports;
  }

  std::optional<std::string> resolveHost(std::string_view name) override {
    const json doc = load();
    if (name != text(doc, "computerName", sim::thisHostName())) return std::nullopt;
    // A computer without a configured adapter resolves its own name to the loopback address.
    return text(doc, "hostAddress", "127.0.0.1");
  }

 private:
  static json load() {
    std::ifstream in(sim::simDir() + "/hosts/" + sim::thisHostName() + "/system.json");
    if (!in) return json::object();
    json doc = json::parse(in, nullptr, /*allow_exceptions=*/false);
    return doc.is_object() ? doc : json::object();
  }
};

SimSystemInfo defaultInfo;
std::atomic<SystemInfo*> installed{nullptr};

}  // namespace

SystemInfo& systemInfo() {
  SystemInfo* s = installed.load(std::memory_order_acquire);
  return s ? *s : defaultInfo;
}

void setSystemInfo(SystemInfo* info) { installed.store(info, std::memory_order_release); }

}  // namespace platform
