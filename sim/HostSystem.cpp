#include "sim/HostSystem.h"

#include <iostream>
#include <nlohmann/json.hpp>

#include "platform/Registry.h"
#include "platform/SimEnvironment.h"
#include "platform/WholeFile.h"
#include "sim/Address.h"

namespace sim {

std::string systemDocument(const Host& host) {
  nlohmann::json adapters = nlohmann::json::array();
  for (const Adapter& a : host.adapters)
    adapters.push_back({{"type", a.type},
                        {"mac", formatMac(a.mac)},
                        {"ip", formatIpv4(a.ip)},
                        {"mask", formatIpv4(a.mask)},
                        {"gateway", formatIpv4(a.gateway)}});
  // A computer with no adapter resolves its own name to the loopback address.
  const std::string address = host.adapters.empty() ? "127.0.0.1" : formatIpv4(host.ip);
  // The UDP ports in use there: held by other programs, and bound by sockets of the network.
  nlohmann::json udpPorts = nlohmann::json::array();
  for (std::uint16_t p : host.udp.takenPorts) udpPorts.push_back(p);
  for (std::uint16_t p : host.udp.boundPorts) udpPorts.push_back(p);
  nlohmann::json doc = {{"computerName", host.name},
                        {"windowsVersion", host.windowsVersion},
                        {"hostAddress", address},
                        {"adapters", adapters},
                        {"udpPorts", udpPorts}};
  return doc.dump(2) + "\n";
}

bool writeSystemFile(const Host& host) {
  if (!platform::sim::ensureHostDir(host.name)) return false;
  const std::string file = platform::sim::simDir() + "/hosts/" + host.name + "/system.json";
  std::string why;
  if (platform::WriteFileWhole(file, systemDocument(host), &why)) return true;
  std::cerr << "tarvex-simhost: " << why << "\n";
  return false;
}

bool writeRegistrySeeds(const Host& host) {
  if (host.registry.empty()) return true;
  if (!platform::sim::ensureHostDir(host.name)) return false;
  // As the installer and the program would write it: the machine hive needs an administrator.
  const auto registry = platform::Registry::open(platform::sim::registryFile(host.name), true);
  return registry && writeRegistrySeeds(*registry, host);
}

bool writeRegistrySeeds(platform::Registry& registry, const Host& host) {
  for (const RegistrySeed& seed : host.registry) {
    auto key = registry.openKey(seed.machine ? platform::RegRoot::LocalMachine : platform::RegRoot::CurrentUser,
                                seed.key, platform::kKeyAllAccess, true);
    if (!key) return false;
    for (const auto& [name, text] : seed.values)
      if (!key->setString(name, text)) return false;
  }
  return true;
}

}  // namespace sim
