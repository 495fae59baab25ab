// A folder of its own for one run of the real programs, removed with all it holds at the end.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace test {

class ProgramFolder {
 public:
  explicit ProgramFolder(const std::string& prefix)
      : path_(std::filesystem::temp_directory_path() / (prefix + std::to_string(std::random_device{}()))) {
    std::filesystem::create_directories(path_ / "run");
    // Qt takes a runtime folder only when it is the user's alone.
    std::filesystem::permissions(path_ / "run", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
  }
  ~ProgramFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // What every run starts from: this folder's simulated host and runtime folder, message boxes
  // answered with their default button, the program running as OFFICE-PC.
  std::vector<std::string> env() const {
    return {"TARVEX_SIM_DIR=" + (path_ / "sim").string(), "XDG_RUNTIME_DIR=" + (path_ / "run").string(),
            "TARVEX_DIALOG_ANSWERS=default", "TARVEX_HOST=OFFICE-PC"};
  }

 private:
  std::filesystem::path path_;
};

// A program of this build.
inline std::string programPath(const char* name) { return std::string(TARVEX_BIN_DIR) + "/" + name; }

}  // namespace test
