#include "platform/ConfigManager.h"

#include <atomic>

#include "platform/Registry.h"

namespace platform {
namespace {

// "USB\Vid_04f9&Pid_0A2B\SERIAL" -> the key below HKEY_LOCAL_MACHINE.
std::optional<std::string> instanceKey(std::string_view instanceId) {
  constexpr std::string_view prefix = "USB\\";
  if (instanceId.substr(0, prefix.size()) != prefix) return std::nullopt;
  return std::string(kUsbEnumKey) + "\\" + std::string(instanceId.substr(prefix.size()));
}

std::string text(const RegKey& key, const char* name) {
  const auto v = key.value(name);
  return v && (v->type == RegType::String || v->type == RegType::ExpandString) ? v->text : "";
}

class RegistryConfigManager final : public ConfigManager {
 public:
  std::optional<DevNode> locateDevNode(std::string_view instanceId) override {
    const auto path = instanceKey(instanceId);
    if (!path) return std::nullopt;
    const auto key = registry().openKey(RegRoot::LocalMachine, *path, kKeyRead);
    if (!key) return std::nullopt;
    return DevNode{std::string(instanceId)};
  }

  bool requestEject(const DevNode& node, std::uint32_t& vetoType, std::string& vetoName) override {
    const auto path = instanceKey(node.instanceId);
    if (!path) return false;
    auto key = registry().openKey(RegRoot::LocalMachine, *path, kKeyRead);
    if (!key) return false;
    if (text(*key, "Busy") == "1") {
      vetoType = kVetoOutstandingOpen;
      vetoName = node.instanceId;
      return false;
    }
    vetoType = kVetoTypeUnknown;
    return true;
  }
};

RegistryConfigManager defaultManager;
std::atomic<ConfigManager*> installed{nullptr};

}  // namespace

ConfigManager& configManager() {
  ConfigManager* m = installed.load();
  return m ? *m : defaultManager;
}

void setConfigManager(ConfigManager* manager) { installed.store(manager); }

}  // namespace platform
