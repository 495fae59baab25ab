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
inline constexpr int kEjectUnreadable = -5;  // this computer's device records cannot be read

// Why a storage device is not known to be safe to disconnect.
enum class EjectTrouble { Busy, RecordsUnreadable };

int EjectStorage(std::uint32_t vid, std::uint32_t pid, const std::string& serial);

// The eject step the disconnect flows share: true when the caller goes on to disconnect `d`.
// `askUser` shows the eject dialog for a display name and the trouble, and answers whether to
// disconnect anyway (false: Cancel, the device stays connected).
using AskToDisconnect = std::function<bool(const std::string& displayName, EjectTrouble trouble)>;
bool EjectBeforeDisconnect(const DeviceData& d, const AskToDisconnect& askUser);

// The eject dialog's message.
std::string EjectDialogText(const std::string& deviceName, EjectTrouble trouble = EjectTrouble::Busy);

}  // namespace app
