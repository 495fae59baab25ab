#include "app/Eject.h"

#include <cstdio>
#include <stdexcept>

#include "platform/ConfigManager.h"
#include "platform/Registry.h"

namespace app {
namespace {

// "0x" + four hexadecimal digits; a text that is not hexadecimal ends the caller's handling.
std::uint32_t hexId(const std::string& text) {
  std::size_t used = 0;
  const unsigned long v = std::stoul(text, &used, 16);
  if (used != text.size() || v > 0xFFFF) throw std::invalid_argument("not a hexadecimal id");
  return static_cast<std::uint32_t>(v);
}

}  // namespace

int EjectStorage(std::uint32_t vid, std::uint32_t pid, const std::string& serial) {
  // Without the records nothing says whether the device is present or busy.
  if (platform::registry().fault()) return kEjectUnreadable;
  char ids[32];
  std::snprintf(ids, sizeof ids, "Vid_%04x&Pid_%04X", vid, pid);
  const auto key = platform::registry().openKey(
      platform::RegRoot::LocalMachine, std::string(platform::kUsbEnumKey) + "\\" + ids,
      platform::kKeyRead);
  if (!key) return kEjectNoRecord;
  for (const std::string& name : key->subKeyNames()) {
    // A device without a serial number ("0") is the first instance listed.
    if (serial != "0" && name != serial) continue;
    const auto node = platform::configManager().locateDevNode("USB\\" + std::string(ids) + "\\" + name);
    if (!node) return kEjectNotPresent;
    std::uint32_t veto = platform::kVetoTypeUnknown;
    std::string vetoName;
    platform::configManager().requestEject(*node, veto, vetoName);
    return veto != platform::kVetoTypeUnknown ? kEjectVetoed : kEjected;
  }
  return kEjectNoInstance;
}

bool EjectBeforeDisconnect(const DeviceData& d, const AskToDisconnect& askUser) {
  if (UpperCase(d.type) != "MASS STORAGE") return true;
  const int r = EjectStorage(hexId(d.vid), hexId(d.pid), d.serial);
  if (r == kEjected || r == kEjectNotPresent) return true;
  return askUser(d.displayName,
                 r == kEjectUnreadable ? EjectTrouble::RecordsUnreadable : EjectTrouble::Busy);
}

std::string EjectDialogText(const std::string& deviceName, EjectTrouble trouble) {
  if (trouble == EjectTrouble::RecordsUnreadable)
    return "The device " + deviceName +
           " cannot be ejected safely: this computer's device records cannot be read, so whether "
           "it is in use is not known. Please click \"Cancel\" to keep it connected, or click "
           "\"Disconnect\" to hard stop the device.";
  return "The device " + deviceName +
         " is busy, please click \"Cancel\" to continue, or click \"Disconnect\" to hard stop the "
         "device.";
}

}  // namespace app
