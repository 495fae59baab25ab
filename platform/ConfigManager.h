#pragma once
// The configuration manager's part the program uses: finding a device node by its instance id and
// asking for its eject, which the system may veto while the device is in use.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::uint32_t kVetoTypeUnknown = 0;        // no veto
inline constexpr std::uint32_t kVetoOutstandingOpen = 6;    // a program has the device open

// Where plug and play keeps the USB devices it knows, below HKEY_LOCAL_MACHINE.
inline constexpr const char* kUsbEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\USB";

struct DevNode {
  std::string instanceId;  // "USB\Vid_04f9&Pid_0A2B\SERIAL"
};

class ConfigManager {
 public:
  virtual ~ConfigManager() = default;
  // The node of a present device; nullopt when no such device is present.
  virtual std::optional<DevNode> locateDevNode(std::string_view instanceId) = 0;
  // Asks for the eject; the veto type (0 = none) and the vetoing name come back.
  virtual bool requestEject(const DevNode& node, std::uint32_t& vetoType,
                            std::string& vetoName) = 0;
};

// The process-wide service. By default: this computer's plug-and-play records in its registry,
// which the simulated host keeps (a present device has its instance key; a busy one the value
// "Busy" = "1"); the keys go when the device is unlinked.
ConfigManager& configManager();
void setConfigManager(ConfigManager* manager);  // not owned; nullptr restores the default

}  // namespace platform
