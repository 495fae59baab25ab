#pragma once
// The program's settings: text values under one key of the current user's registry (and, read
// only, the same key of the machine's). Both functions fail silently; a caller sees an empty text
// and applies its default.
#include <cstddef>
#include <string>

#include "platform/Registry.h"

namespace core {

// The two hives by the names the callers know them by.
inline constexpr platform::RegRoot HKEY_CURRENT_USER = platform::RegRoot::CurrentUser;
inline constexpr platform::RegRoot HKEY_LOCAL_MACHINE = platform::RegRoot::LocalMachine;

inline constexpr const char* kSettingsKey = "Software\\Tarvex\\Velmora Network USB Utility";

// Values of the current user's settings key.
inline constexpr const char* kMainFormWidth = "MainForm Width";
inline constexpr const char* kMainFormHeight = "MainForm Height";
inline constexpr const char* kMainFormTop = "MainForm Top";
inline constexpr const char* kMainFormLeft = "MainForm Left";
inline constexpr const char* kMainFormWindowState = "MainForm WindowState";
inline constexpr const char* kNotifyDeviceDetect = "Notify Device Detect";
inline constexpr const char* kNotifyNewVersion = "Notify New Version";
inline constexpr const char* kNotifyCheckDays = "Notify Check Days";
inline constexpr const char* kNotifyLastDate = "Notify Last Date";
inline constexpr const char* kAutoRunCheck = "AutoRun Check";
// The machine's settings key, written by the installer.
inline constexpr const char* kProductVersion = "Product Version";

// The room of the read-only way: a text of 256 bytes or more (with its end) does not fit.
inline constexpr std::size_t kReadOnlyValueRoom = 256;

void WriteSetting(platform::RegRoot root, const std::string& keyPath, const std::string& valueName,
                  const std::string& data, bool canCreate, bool expandable);
// `value` is the caller's, preset to the empty text; it changes only when a text was read.
void ReadSetting(platform::RegRoot root, const std::string& keyPath, const std::string& valueName,
                 std::string& value);

}  // namespace core
