#include "core/SettingsStore.h"

namespace core {
namespace {

bool isText(const platform::RegValue& v) {
  return v.type == platform::RegType::String || v.type == platform::RegType::ExpandString;
}

}  // namespace

void WriteSetting(platform::RegRoot root, const std::string& keyPath, const std::string& valueName,
                  const std::string& data, bool canCreate, bool expandable) {
  auto& reg = platform::registry();
  if (auto key = reg.openKey(root, keyPath, platform::kKeyAllAccess, canCreate)) {
    key->setString(valueName, data, expandable);
    return;
  }
  // No full access (the machine's hive for a user): an existing key may still take a write.
  if (auto key = reg.openKey(root, keyPath, platform::kKeyWrite, false))
    key->setString(valueName, data, expandable);
}

void ReadSetting(platform::RegRoot root, const std::string& keyPath, const std::string& valueName,
                 std::string& value) {
  auto& reg = platform::registry();
  if (auto key = reg.openKey(root, keyPath, platform::kKeyAllAccess, false)) {
    const auto v = key->value(valueName);
    if (!v) value.clear();
    else if (isText(*v)) value = v->text;
    return;  // another type leaves the value as it was
  }
  if (auto key = reg.openKey(root, keyPath, platform::kKeyQueryValue, false)) {
    const auto v = key->value(valueName);
    // The fixed room: the text and its end must fit, and what is read stops at the first zero.
    if (!v || !isText(*v) || v->text.size() + 1 > kReadOnlyValueRoom) return;
    value = v->text.substr(0, v->text.find('\0'));
  }
}

}  // namespace core
