#include "sim/PlugAndPlay.h"

#include <cstdio>

#include "platform/ConfigManager.h"
#include "platform/SimEnvironment.h"

namespace sim {

std::string usbEnumKey(const Device& d) {
  char tail[32];
  std::snprintf(tail, sizeof tail, "Vid_%04x&Pid_%04X", d.vid, d.pid);
  return std::string(platform::kUsbEnumKey) + "\\" + tail;
}

std::string usbInstanceName(const Device& d) {
  return d.serial.empty() ? "6&1A2B3C4D&0&" + std::to_string(d.port) : d.serial;
}

void recordPlugAndPlay(platform::Registry& registry, const Device& d, bool present) {
  const std::string key = usbEnumKey(d) + "\\" + usbInstanceName(d);
  if (!present) {
    registry.deleteKeyTree(platform::RegRoot::LocalMachine, key);
    return;
  }
  auto instance =
      registry.openKey(platform::RegRoot::LocalMachine, key, platform::kKeyAllAccess, true);
  if (!instance) return;
  instance->setString("DeviceDesc", d.product);
  instance->setString("Mfg", d.manufacturer);
  instance->setString("Busy", d.busy ? "1" : "0");
}

void recordPlugAndPlay(const std::string& host, const Device& d, bool present) {
  if (!platform::sim::ensureHostDir(host)) return;
  if (auto registry = platform::Registry::open(platform::sim::registryFile(host), true))
    recordPlugAndPlay(*registry, d, present);
}

}  // namespace sim
