#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/HostSystem.h"
#include "support/SmallTmpfs.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The simulated host rewrites a computer's system.json whenever the computer changes; on a full
// disk the rewrite fails and the file the program reads stays as it was.
TEST(HostFilesTest, OnAFullDiskSystemJsonStaysWhole) {
  test::SmallTmpfs disk(128 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.whyNot();
  ::setenv("TARVEX_SIM_DIR", disk.dir().c_str(), 1);
  sim::Host host;
  host.name = "office";
  ASSERT_TRUE(sim::writeSystemFile(host));
  const fs::path folder = fs::path(disk.dir()) / "hosts" / "office";
  const std::string before = readFile(folder / "system.json");
  ASSERT_EQ(before, sim::systemDocument(host));

  disk.fill();
  host.windowsVersion = "10.0";
  EXPECT_FALSE(sim::writeSystemFile(host));
  EXPECT_EQ(readFile(folder / "system.json"), before);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"system.json"});

  fs::remove(fs::path(disk.dir()) / "filler");
  EXPECT_TRUE(sim::writeSystemFile(host));
  EXPECT_EQ(readFile(folder / "system.json"), sim::systemDocument(host));
  ::unsetenv("TARVEX_SIM_DIR");
}

}  // namespace
