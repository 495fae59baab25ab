#pragma once
// A registry of its own for one test: a database in a fresh temporary folder, installed as the
// process-wide registry for the test's lifetime.
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "platform/Registry.h"

namespace test {

class TempRegistry {
 public:
  explicit TempRegistry(bool administrator = true) {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("tarvex-reg-" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    registry_ = platform::Registry::open((dir_ / "registry.db").string(), administrator);
    platform::setRegistry(registry_.get());
  }
  ~TempRegistry() {
    platform::setRegistry(nullptr);
    registry_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  platform::Registry& get() { return *registry_; }
  std::string file() const { return (dir_ / "registry.db").string(); }

 private:
  std::filesystem::path dir_;
  std::unique_ptr<platform::Registry> registry_;
};

}  // namespace test
