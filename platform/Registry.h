#pragma once
// The registry of one (simulated) computer, kept in one SQLite database file that several
// processes open at once: the program writes its settings, the simulated host its plug-and-play
// keys. Two root hives. Key names compare without regard to letter case and keep the case they were
// created with; subkeys list in case-insensitive order, values in the order they were first
// written. Every write is one transaction, so a process killed mid-write leaves the file whole.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class RegRoot { CurrentUser, LocalMachine };

// Value types with the numbers Windows gives them.
enum class RegType : std::uint32_t { String = 1, ExpandString = 2, DWord = 4, MultiString = 7 };

// Access masks of an open, with their published values.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

struct RegValue {
  std::string name;
  RegType type = RegType::String;
  std::string text;                // String and ExpandString
  std::uint32_t dword = 0;         // DWord
  std::vector<std::string> multi;  // MultiString
};

class Registry;

// An open key. Movable, closes itself. Every operation fails (false / nullopt / empty) when the
// key was opened without the access it needs, or when the key was deleted meanwhile.
class RegKey {
 public:
  RegKey(RegKey&&) noexcept;
  RegKey& operator=(RegKey&&) noexcept;
  ~RegKey();

  const std::string& path() const;  // as stored, with its own letter case

  std::optional<RegValue> value(std::string_view name) const;  // needs kKeyQueryValue
  bool hasValue(std::string_view name) const;
  std::vector<RegValue> values() const;  // in written order; needs kKeyQueryValue

  bool setString(std::string_view name, std::string_view text, bool expandable = false);
  bool setDWord(std::string_view name, std::uint32_t value);
  bool setMultiString(std::string_view name, const std::vector<std::string>& items);
  bool deleteValue(std::string_view name);  // needs kKeySetValue

  std::vector<std::string> subKeyNames() const;  // needs kKeyEnumerateSubKeys
  // Deletes a direct subkey with everything below it; needs kKeyCreateSubKey | kKeySetValue.
  bool deleteSubKeyTree(std::string_view name);

 private:
  friend class Registry;
  struct Impl;
  explicit RegKey(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Why a computer's registry file could not be used: the file and what went wrong with it.
struct RegistryFault {
  std::string file;
  std::string reason;
};

class Registry {
 public:
  // Opens (creating when missing) the database file. `administrator` decides whether opens of the
  // machine hive may ask for more than read access. nullptr when the file cannot be opened; the
  // file is then left as it was (nothing is written before it proved whole).
  static std::unique_ptr<Registry> open(const std::string& file, bool administrator,
                                        std::string* whyNot = nullptr);
  // Opens the file, or, when it cannot be used, an empty registry in memory that stands in for it
  // for this run and carries the fault. Never null.
  static std::unique_ptr<Registry> openOrStandIn(const std::string& file, bool administrator);
  ~Registry();

  // Set when this registry only stands in for a file that could not be opened.
  const std::optional<RegistryFault>& fault() const;

  // How long an operation waits for another process's lock on the file before it fails (10 s
  // unless set). A write that fails wrote nothing.
  void setBusyLimit(std::chrono::milliseconds limit);

  // Opens root\path ("A\B\C", backslashes; empty = the root itself) with the access asked for;
  // with `create`, missing keys on the way are made. nullopt when the key is missing and not to be
  // made, or when the access is refused (any right beyond kKeyRead on the machine hive for a
  // non-administrator).
  std::optional<RegKey> openKey(RegRoot root, std::string_view path, std::uint32_t access,
                                bool create = false);
  // Deletes root\path and everything below it; false when it is missing or refused.
  bool deleteKeyTree(RegRoot root, std::string_view path);

 private:
  struct Impl;
  explicit Registry(std::shared_ptr<Impl> impl);
  std::shared_ptr<Impl> impl_;
};

// The process-wide registry of the computer the program runs as (the simulated host's database for
// this host, found through TARVEX_SIM_DIR and the host name). Tests install another.
Registry& registry();
void setRegistry(Registry* r);  // not owned; nullptr restores the default

}  // namespace platform
