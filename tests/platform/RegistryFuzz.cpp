// Opens arbitrary bytes as a registry file and reads everything it can reach.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Registry.h"

namespace {

void readTree(platform::Registry& r, platform::RegRoot root, const std::string& path, int depth,
              int& budget) {
  auto k = r.openKey(root, path, platform::kKeyRead);
  if (!k || depth > 8 || --budget < 0) return;
  for (const auto& v : k->values()) (void)k->value(v.name);
  for (const auto& name : k->subKeyNames()) {
    readTree(r, root, path.empty() ? name : path + "\\" + name, depth + 1, budget);
  }
}

// One scratch file per fuzzing process, removed with its companions at exit.
struct ScratchFile {
  std::string name = (std::filesystem::temp_directory_path() /
                      ("fuzz-registry-" + std::to_string(getpid()) + ".db"))
                         .string();
  void clear() const {
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(name + suffix);
  }
  ~ScratchFile() { clear(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ScratchFile scratch;
  scratch.clear();
  const std::string& file = scratch.name;
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (auto r = platform::Registry::open(file, true)) {
    int budget = 500;
    readTree(*r, platform::RegRoot::CurrentUser, "", 0, budget);
    readTree(*r, platform::RegRoot::LocalMachine, "", 0, budget);
  }
  return 0;
}
