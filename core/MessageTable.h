#pragma once
// The user-facing messages that several windows share, by their names.
#include <string>
#include <string_view>

namespace core {

// The product's name: the caption of its message boxes and windows.
inline constexpr const char* kProductName = "Velmora Network USB Utility";

struct Message {
  const char* name;
  const char* group;  // "Reconst_nexo" (the utility's own) or "Reconst" (shared)
  int id;
  const char* text;
};

// The text of a message by name; an empty text for a name the table does not hold.
std::string LoadMessage(std::string_view name);
// The entry itself, or nullptr.
const Message* FindMessage(std::string_view name);

}  // namespace core
