#pragma once
// Safe eject of shared storage before it is disconnected.
#include <cstdint>
#include <functional>
#include <string>

#include "app/DeviceRows.h"

namespace app {

inline constexpr int kEjected = 0;        // ejected, no veto
inline constexpr int kEjectNoRecord = -1;  // the system never saw this device here
inline constexpr int kEjectNotPresent = -2;
inline constexpr int kEjectVetoed = -3;    // the device is busy
inline constexpr int kEjectNoInstance = -4;  // no instance matches the serial: not known to be safe

int EjectStorage(std::uint32_t vid, std::uint32_t pid, const std::string& serial);

// The eject step the disconnect flows share: true when the caller goes on to disconnect `d`.
// `askUser` shows the busy-device dialog for a display name and answers whether to disconnect
// anyway (false: Cancel, the device stays connected).
bool EjectBeforeDisconnect(const DeviceData& d,
                           const std::function<bool(const std::string& displayName)>& askUser);

// The busy-device dialog's message.
std::string EjectDialogText(const std::string& deviceName);

}  // namespace app
