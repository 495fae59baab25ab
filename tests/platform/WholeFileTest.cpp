#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Autostart.h"
#include "platform/WholeFile.h"
#include "support/SmallTmpfs.h"

using platform::WriteFileWhole;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> namesIn(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

unsigned modeOf(const fs::path& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class WholeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "tarvex-wholefile-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(WholeFileTest, WritesANewFileAndReplacesAnOldOneKeepingItsMode) {
  const fs::path file = dir_ / "system.json";
  ASSERT_TRUE(WriteFileWhole(file, "first\n"));
  EXPECT_EQ(readFile(file), "first\n");
  EXPECT_EQ(modeOf(file), 0644u);
  ::chmod(file.c_str(), 0600);
  ASSERT_TRUE(WriteFileWhole(file, std::string(100'000, 'x')));
  EXPECT_EQ(readFile(file), std::string(100'000, 'x'));
  EXPECT_EQ(modeOf(file), 0600u);
  ASSERT_TRUE(WriteFileWhole(file, ""));
  EXPECT_EQ(readFile(file), "");
  EXPECT_EQ(namesIn(dir_), std::vector<std::string>{"system.json"});
}

TEST_F(WholeFileTest, AFailedWriteLeavesWhatWasThereAndNoNewFile) {
  fs::create_directory(dir_ / "a folder");
  const std::pair<const char*, fs::path> cases[] = {
      {"no such folder", dir_ / "missing" / "file"},
      {"a folder in the way", dir_ / "a folder"},
  };
  for (const auto& [what, path] : cases) {
    SCOPED_TRACE(what);
    std::string why;
    EXPECT_FALSE(WriteFileWhole(path, "new", &why));
    EXPECT_FALSE(why.empty());
  }
  EXPECT_TRUE(fs::is_directory(dir_ / "a folder"));
  EXPECT_EQ(namesIn(dir_), std::vector<std::string>{"a folder"});
}

// On a full disk, a failed write and a read-only one, no file is emptied or shortened, and no
// half-written file is left beside it.
TEST(WholeFileOnASmallDiskTest, AFullOrReadOnlyDiskKeepsEveryFileWhole) {
  test::SmallTmpfs disk(256 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.whyNot();
  const fs::path file = fs::path(disk.dir()) / "system.json";
  const std::string old(10'000, 'o');
  ASSERT_TRUE(WriteFileWhole(file, old));
  ::setenv("XDG_CONFIG_HOME", disk.dir().c_str(), 1);
  ASSERT_TRUE(platform::setAutostart(true, "/opt/tarvex/tarvex"));
  const std::string autostart = readFile(platform::autostartFile());
  ASSERT_FALSE(autostart.empty());

  disk.fill();
  std::string why;
  EXPECT_FALSE(WriteFileWhole(file, std::string(20'000, 'n'), &why));
  EXPECT_NE(why.find("No space"), std::string::npos) << why;
  EXPECT_FALSE(platform::setAutostart(true, "/somewhere/else/with/a/much/longer/path/tarvex"));
  EXPECT_EQ(readFile(file), old);
  EXPECT_EQ(readFile(platform::autostartFile()), autostart);
  EXPECT_EQ(namesIn(disk.dir()), (std::vector<std::string>{"autostart", "filler", "system.json"}));
  EXPECT_EQ(namesIn(fs::path(disk.dir()) / "autostart"), std::vector<std::string>{"tarvex.desktop"});

  fs::remove(fs::path(disk.dir()) / "filler");
  ASSERT_TRUE(disk.remountReadOnly());
  EXPECT_FALSE(WriteFileWhole(file, "new", &why));
  EXPECT_EQ(readFile(file), old);
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
