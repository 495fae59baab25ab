#pragma once
// The program's settings: text values under one key of the current user's registry (and, read
// only, the same key of the machine's). Both functions fail silently; a caller sees an empty text
// and applies its default.
#include <string>

#include "platform/Registry.h"

namespace core {

inline constexpr const char* kSettingsKey = "Software\\Tarvex\\Velmora Network USB Utility";
// The room of the read-only way: a text of 256 bytes or more (with its end) does not fit.
inline constexpr std::size_t kReadOnlyValueRoom = 256;

void WriteSetting(platform::RegRoot root, const std::string& keyPath, const std::string& valueName,
                  const std::string& data, bool canCreate, bool expandable);
// `value` is the caller's, preset to the empty text; it changes only when a text was read.
void ReadSetting(platform::RegRoot root, const std::string& keyPath, const std::string& valueName,
                 std::string& value);

}  // namespace core
