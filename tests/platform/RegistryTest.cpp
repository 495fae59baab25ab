#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/Registry.h"
#include "support/SmallTmpfs.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

const char* const kSettings = "Software\\Tarvex\\Velmora Network USB Utility";

// A plain connection of our own, for what the registry itself cannot do: raw rows, checks.
class RawDb {
 public:
  explicit RawDb(const std::string& file) { sqlite3_open(file.c_str(), &db_); }
  ~RawDb() { sqlite3_close(db_); }
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;
  bool exec(const std::string& sql) {
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  // A lock held by another connection is tried again every 0.1 ms, for up to 10 s.
  void waitEagerly() {
    sqlite3_busy_handler(
        db_,
        [](void*, int count) {
          std::this_thread::sleep_for(std::chrono::microseconds(100));
          return count < 100'000 ? 1 : 0;
        },
        nullptr);
  }
  std::string text(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW) {
      if (const auto* t = sqlite3_column_text(s, 0)) out = reinterpret_cast<const char*>(t);
    }
    sqlite3_finalize(s);
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

// Runs `body` in a child process; its result is the child's exit status.
pid_t spawn(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int exitStatus(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> names(const std::vector<RegValue>& values) {
  std::vector<std::string> out;
  for (const auto& v : values) out.push_back(v.name);
  return out;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "tarvex-registry-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    file_ = dir_ + "/registry.db";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::unique_ptr<Registry> openAs(bool administrator) {
    auto r = Registry::open(file_, administrator);
    EXPECT_TRUE(r) << file_;
    return r;
  }
  // Opens (making) a current-user key with full access.
  static RegKey make(Registry& r, std::string_view path, RegRoot root = RegRoot::CurrentUser) {
    auto k = r.openKey(root, path, kKeyAllAccess, true);
    EXPECT_TRUE(k) << path;
    return std::move(*k);
  }
  void writeFile(const std::string& bytes) {
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string readFile() {
    std::ifstream in(file_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::string dir_;
  std::string file_;
};

TEST_F(RegistryTest, KeyNamesIgnoreCaseAndKeepTheCaseOfFirstCreation) {
  struct Case {
    const char* created;
    const char* opened;
    bool create;
    const char* stored;
  };
  const Case cases[] = {
      {"Software\\Tarvex", "SOFTWARE\\TARVEX", false, "Software\\Tarvex"},
      {"Software\\Tarvex", "software\\tarvex\\Sub", true, "Software\\Tarvex\\Sub"},
      {"a\\B", "A\\b", true, "a\\B"},
      {"Mixed", "mIXED", false, "Mixed"},
  };
  auto r = openAs(false);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.opened);
    make(*r, c.created);
    auto k = r->openKey(RegRoot::CurrentUser, c.opened, kKeyAllAccess, c.create);
    ASSERT_TRUE(k);
    EXPECT_EQ(k->path(), c.stored);
  }
  // No duplicate was made on the way.
  auto root = r->openKey(RegRoot::CurrentUser, "", kKeyRead);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->path(), "");
  EXPECT_EQ(root->subKeyNames(), (std::vector<std::string>{"a", "Mixed", "Software"}));
}

TEST_F(RegistryTest, SubKeysListInCaseInsensitiveOrder) {
  auto r = openAs(false);
  for (const char* n : {"b", "A", "c", "_x", "B2", "a1"}) make(*r, std::string("Order\\") + n);
  // Compared upper-cased, as Windows does: '_' sorts after the letters.
  EXPECT_EQ(make(*r, "Order").subKeyNames(),
            (std::vector<std::string>{"A", "a1", "b", "B2", "c", "_x"}));
}

TEST_F(RegistryTest, ValuesKeepTheirFirstWrittenPlaceAndName) {
  auto r = openAs(false);
  auto k = make(*r, "Vals");
  ASSERT_TRUE(k.setString("Zeta", "z"));
  ASSERT_TRUE(k.setDWord("alpha", 1));
  ASSERT_TRUE(k.setMultiString("Mid", {"m"}));
  ASSERT_TRUE(k.setString("ALPHA", "new"));  // same value, another type, keeps its place
  EXPECT_EQ(names(k.values()), (std::vector<std::string>{"Zeta", "alpha", "Mid"}));
  auto alpha = k.value("Alpha");
  ASSERT_TRUE(alpha);
  EXPECT_EQ(alpha->name, "alpha");
  EXPECT_EQ(alpha->type, RegType::String);
  EXPECT_EQ(alpha->text, "new");

  EXPECT_TRUE(k.deleteValue("ZETA"));
  EXPECT_FALSE(k.deleteValue("Zeta"));
  EXPECT_FALSE(k.hasValue("zeta"));
  ASSERT_TRUE(k.setString("zeta", "back"));  // written anew: goes last
  EXPECT_EQ(names(k.values()), (std::vector<std::string>{"alpha", "Mid", "zeta"}));
}

TEST_F(RegistryTest, ValueTypesRoundTripAndPersistAcrossReopen) {
  struct Case {
    const char* name;
    std::function<bool(RegKey&)> write;
    RegValue expected;
  };
  const std::string nul("a\0b", 3);
  const Case cases[] = {
      {"",
       [](RegKey& k) { return k.setString("", "default"); },
       {"", RegType::String, "default", 0, {}}},
      {"Empty",
       [](RegKey& k) { return k.setString("Empty", ""); },
       {"Empty", RegType::String, "", 0, {}}},
      {"Utf8",
       [](RegKey& k) {
         return k.setString("Utf8",
                            "Gr\xC3\xBC\xC3\x9F"
                            "e");
       },
       {"Utf8",
        RegType::String,
        "Gr\xC3\xBC\xC3\x9F"
        "e",
        0,
        {}}},
      {"Nul",
       [&](RegKey& k) { return k.setString("Nul", nul); },
       {"Nul", RegType::String, nul, 0, {}}},
      {"Path",
       [](RegKey& k) { return k.setString("Path", "%TEMP%\\x", true); },
       {"Path", RegType::ExpandString, "%TEMP%\\x", 0, {}}},
      {"Zero",
       [](RegKey& k) { return k.setDWord("Zero", 0); },
       {"Zero", RegType::DWord, "", 0, {}}},
      {"Max",
       [](RegKey& k) { return k.setDWord("Max", 0xFFFFFFFFu); },
       {"Max", RegType::DWord, "", 0xFFFFFFFFu, {}}},
      {"NoItems",
       [](RegKey& k) { return k.setMultiString("NoItems", {}); },
       {"NoItems", RegType::MultiString, "", 0, {}}},
      {"Items",
       [](RegKey& k) {
         return k.setMultiString("Items", {"one", "", "three"});
       },
       {"Items", RegType::MultiString, "", 0, {"one", "", "three"}}},
  };
  auto check = [&](const RegKey& k) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      const auto v = k.value(c.name);
      ASSERT_TRUE(v);
      EXPECT_EQ(v->name, c.expected.name);
      EXPECT_EQ(v->type, c.expected.type);
      EXPECT_EQ(v->text, c.expected.text);
      EXPECT_EQ(v->dword, c.expected.dword);
      EXPECT_EQ(v->multi, c.expected.multi);
    }
    EXPECT_EQ(k.values().size(), std::size(cases));
  };
  {
    auto r = openAs(false);
    auto k = make(*r, kSettings);
    for (const auto& c : cases) EXPECT_TRUE(c.write(k)) << c.name;
    // An item holding a zero byte could not be read back whole.
    EXPECT_FALSE(k.setMultiString("Bad", {nul}));
    check(k);
  }
  auto again = openAs(false);
  auto k = again->openKey(RegRoot::CurrentUser, kSettings, kKeyRead);
  ASSERT_TRUE(k);
  check(*k);
}

TEST_F(RegistryTest, OperationsNeedTheRightsTheKeyWasOpenedWith) {
  struct Case {
    std::uint32_t access;
    bool query, enumerate, set, deleteTree;
  };
  const Case cases[] = {
      {kKeyRead, true, true, false, false},        {kKeyWrite, false, false, true, true},
      {kKeyQueryValue, true, false, false, false}, {kKeySetValue, false, false, true, false},
      {kKeyAllAccess, true, true, true, true},     {0, false, false, false, false},
  };
  auto r = openAs(false);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.access);
    auto full = make(*r, "T");
    ASSERT_TRUE(full.setString("v", "x"));
    make(*r, "T\\S");
    auto k = r->openKey(RegRoot::CurrentUser, "T", c.access);
    ASSERT_TRUE(k);
    EXPECT_EQ(k->value("v").has_value(), c.query);
    EXPECT_EQ(!k->values().empty(), c.query);
    EXPECT_EQ(!k->subKeyNames().empty(), c.enumerate);
    EXPECT_EQ(k->setDWord("w", 1), c.set);
    EXPECT_EQ(k->deleteValue("v"), c.set);
    EXPECT_EQ(k->deleteSubKeyTree("S"), c.deleteTree);
    ASSERT_TRUE(r->deleteKeyTree(RegRoot::CurrentUser, "T"));
  }
}

TEST_F(RegistryTest, MachineHiveIsReadOnlyForUsers) {
  {
    auto admin = openAs(true);
    ASSERT_TRUE(make(*admin, kSettings, RegRoot::LocalMachine).setString("Product Version", "2.1"));
  }
  auto user = openAs(false);
  const auto lm = RegRoot::LocalMachine;
  EXPECT_FALSE(user->openKey(lm, kSettings, kKeyAllAccess));
  EXPECT_FALSE(user->openKey(lm, kSettings, kKeyWrite));
  EXPECT_FALSE(user->openKey(lm, "Software\\New", kKeyRead, true));
  EXPECT_FALSE(user->openKey(lm, "Software", kKeyRead)->subKeyNames().empty());
  EXPECT_FALSE(user->deleteKeyTree(lm, "Software"));
  // What an installed settings reader does: full access refused, then query access only.
  auto readOnly = user->openKey(lm, kSettings, kKeyQueryValue);
  ASSERT_TRUE(readOnly);
  EXPECT_EQ(readOnly->value("Product Version")->text, "2.1");
  EXPECT_TRUE(user->openKey(lm, kSettings, kKeyRead, true));  // existing: create just opens
  // The user's own hive is theirs.
  EXPECT_TRUE(make(*user, kSettings).setString("MainForm Width", "800"));
}

TEST_F(RegistryTest, MissingKeysAndBadPathsDoNotOpen) {
  auto r = openAs(false);
  make(*r, "A\\B");
  for (const char* path : {"Nope", "A\\Nope", "A\\B\\C"}) {
    EXPECT_FALSE(r->openKey(RegRoot::CurrentUser, path, kKeyRead)) << path;
    EXPECT_FALSE(r->deleteKeyTree(RegRoot::CurrentUser, path)) << path;
  }
  for (const char* path : {"\\A", "A\\", "A\\\\B", "\\"}) {
    EXPECT_FALSE(r->openKey(RegRoot::CurrentUser, path, kKeyAllAccess, true)) << path;
  }
  EXPECT_FALSE(r->deleteKeyTree(RegRoot::CurrentUser, ""));  // a hive stays
  // The hives are apart.
  EXPECT_FALSE(r->openKey(RegRoot::LocalMachine, "A", kKeyRead));
}

TEST_F(RegistryTest, DeletingATreeRemovesEverythingBelow) {
  auto r = openAs(false);
  make(*r, "Top\\Sub\\Deep").setString("v", "1");
  make(*r, "Top\\Other");
  auto top = make(*r, "Top");
  EXPECT_TRUE(top.deleteSubKeyTree("SUB"));
  EXPECT_FALSE(top.deleteSubKeyTree("Sub"));
  EXPECT_EQ(top.subKeyNames(), std::vector<std::string>{"Other"});
  // A key made again at the same place starts empty.
  EXPECT_TRUE(make(*r, "Top\\Sub\\Deep").values().empty());
  EXPECT_EQ(RawDb(file_).text("SELECT count(*) FROM vals"), "0");
}

TEST_F(RegistryTest, KeyDeletedByAnotherProcessFailsCleanly) {
  auto mine = openAs(false);
  auto other = openAs(false);
  auto k = make(*mine, "Gone\\Sub");
  ASSERT_TRUE(k.setString("v", "1"));
  make(*mine, "Gone\\Sub\\Child");
  ASSERT_TRUE(other->deleteKeyTree(RegRoot::CurrentUser, "gone"));

  EXPECT_FALSE(k.setString("v", "2"));
  EXPECT_FALSE(k.setDWord("d", 2));
  EXPECT_FALSE(k.value("v"));
  EXPECT_TRUE(k.values().empty());
  EXPECT_TRUE(k.subKeyNames().empty());
  EXPECT_FALSE(k.deleteValue("v"));
  EXPECT_FALSE(k.deleteSubKeyTree("Child"));
  EXPECT_EQ(k.path(), "Gone\\Sub");
  // The same path made again is another key; the old handle stays dead.
  auto fresh = make(*other, "Gone\\Sub");
  EXPECT_FALSE(k.setString("v", "3"));
  EXPECT_TRUE(fresh.values().empty());
}

TEST_F(RegistryTest, KeysOutliveTheirRegistryAndMovedFromKeysFail) {
  auto r = openAs(false);
  auto k = make(*r, "Keep");
  r.reset();
  EXPECT_TRUE(k.setString("v", "1"));
  RegKey moved = std::move(k);
  EXPECT_EQ(moved.value("v")->text, "1");
  EXPECT_FALSE(k.setString("v", "2"));  // NOLINT(bugprone-use-after-move): must fail, not crash
  EXPECT_FALSE(k.value("v"));
  EXPECT_TRUE(k.subKeyNames().empty());
  EXPECT_EQ(k.path(), "");
}

TEST_F(RegistryTest, RowsThatDoNotDecodeReadAsMissing) {
  {
    auto r = openAs(false);
    ASSERT_TRUE(make(*r, "Bad").setString("ok", "fine"));
  }
  {
    RawDb raw(file_);
    ASSERT_TRUE(raw.exec(
        "INSERT INTO vals(key, name, type, data) SELECT id, v.column1, v.column2, v.column3 "
        "FROM keys, (VALUES ('dwText', 4, 'abc'), ('dwNeg', 4, -1), ('dwBig', 4, 4294967296), "
        "('dwReal', 4, 1.5), ('dwBlob', 4, x'01000000'), ('strInt', 1, 5), ('strNull', 1, NULL), "
        "('expBlob', 2, x'41'), ('multiText', 7, 'a'), ('multiOpen', 7, x'610062'), "
        "('binary', 3, x'00'), ('huge', 99999999999, 'x'), ('negType', -1, 'x')) AS v "
        "WHERE keys.name = 'Bad'"));
  }
  auto r = openAs(false);
  auto k = r->openKey(RegRoot::CurrentUser, "Bad", kKeyAllAccess);
  ASSERT_TRUE(k);
  EXPECT_EQ(names(k->values()), std::vector<std::string>{"ok"});
  for (const char* n : {"dwText", "dwNeg", "dwBig", "dwReal", "dwBlob", "strInt", "strNull",
                        "expBlob", "multiText", "multiOpen", "binary", "huge", "negType"}) {
    EXPECT_FALSE(k->value(n)) << n;
    EXPECT_FALSE(k->hasValue(n)) << n;
  }
  // A writer replaces such a row like any other.
  EXPECT_TRUE(k->setDWord("dwText", 7));
  EXPECT_EQ(k->value("dwText")->dword, 7u);
}

TEST_F(RegistryTest, FilesThatAreNotWholeRegistriesDoNotOpen) {
  {
    auto r = openAs(false);
    for (int i = 0; i < 200; ++i)
      make(*r, "K" + std::to_string(i)).setString("v", std::string(50, 'x'));
  }
  const std::string good = readFile();
  ASSERT_GT(good.size(), 8192u);
  auto garbled = [&](std::size_t at, std::size_t n, char c) {
    std::string s = good;
    s.replace(at, n, n, c);
    return s;
  };
  const std::pair<const char*, std::string> cases[] = {
      {"text", "this is not a database at all\n"},   {"header only", good.substr(0, 100)},
      {"half", good.substr(0, good.size() / 2)},     {"bad magic", garbled(0, 16, 'X')},
      {"garbage page", garbled(4096, 4096, '\xFF')}, {"zeroed page", garbled(4096 * 2, 4096, '\0')},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    fs::remove(file_ + "-wal");
    fs::remove(file_ + "-shm");
    writeFile(bytes);
    std::string why;
    EXPECT_FALSE(Registry::open(file_, true, &why));
    EXPECT_FALSE(why.empty());
    // What stands in for it works for the run, says why, and the file is never touched.
    auto standIn = Registry::openOrStandIn(file_, true);
    ASSERT_TRUE(standIn->fault());
    EXPECT_EQ(standIn->fault()->file, file_);
    EXPECT_EQ(standIn->fault()->reason, why);
    make(*standIn, kSettings).setString("v", "1");
    EXPECT_TRUE(standIn->openKey(RegRoot::CurrentUser, kSettings, kKeyRead)->hasValue("v"));
    standIn.reset();
    EXPECT_EQ(readFile(), bytes);
  }
  EXPECT_FALSE(Registry::open(dir_, false));
  EXPECT_TRUE(Registry::openOrStandIn(dir_, false)->fault());
  EXPECT_TRUE(fs::is_directory(dir_));
  EXPECT_FALSE(Registry::open(dir_ + "/missing/registry.db", false));
  // An empty file is a new database.
  fs::remove(file_);
  writeFile("");
  EXPECT_TRUE(Registry::open(file_, false));
  EXPECT_FALSE(Registry::openOrStandIn(file_, false)->fault());
}

// Another program's database is refused before anything is written to it: the journal mode
// switch would rewrite its header, the schema would add our tables to it.
TEST_F(RegistryTest, DatabasesOfAnotherProgramAreLeftByteForByte) {
  const std::pair<const char*, const char*> cases[] = {
      {"our names, other columns", "CREATE TABLE keys(x); CREATE TABLE vals(y);"},
      {"a column more", "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent, name, extra);"
                        "CREATE TABLE vals(key, name, type, data);"},
      {"only one of ours", "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent, name);"},
      {"other tables only", "CREATE TABLE songs(title, artist); INSERT INTO songs VALUES('a', 'b');"},
      {"a view only", "CREATE VIEW v AS SELECT 1;"},
  };
  for (const auto& [what, sql] : cases) {
    SCOPED_TRACE(what);
    fs::remove(file_);
    ASSERT_TRUE(RawDb(file_).exec(sql));
    const std::string before = readFile();
    ASSERT_FALSE(before.empty());
    std::string why;
    EXPECT_FALSE(Registry::open(file_, false, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(Registry::openOrStandIn(file_, true)->fault());
    EXPECT_EQ(readFile(), before);
    EXPECT_FALSE(fs::exists(file_ + "-wal"));
  }
  // Ours, made by an earlier run, still opens.
  fs::remove(file_);
  openAs(false).reset();
  EXPECT_TRUE(openAs(false));
}

// The disk fills while the program runs: writes that no longer fit fail, and what the file held
// stays whole and readable, also through a start on the full disk.
TEST(RegistryOnASmallDiskTest, AFullDiskFailsWritesAndKeepsWhatTheFileHeld) {
  test::SmallTmpfs disk(512 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.whyNot();
  const std::string file = disk.dir() + "/registry.db";
  const auto read = [&] {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  {
    auto r = Registry::open(file, false);
    ASSERT_TRUE(r);
    auto key = r->openKey(RegRoot::CurrentUser, kSettings, kKeyAllAccess, true);
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(key->setString("v" + std::to_string(i), "kept"));
    disk.fill();
    bool failed = false;
    for (int i = 0; i < 1000 && !failed; ++i)
      failed = !key->setString("big" + std::to_string(i), std::string(4096, 'b'));
    EXPECT_TRUE(failed);
  }
  const std::string held = read();
  EXPECT_GT(held.size(), 0u);
  Registry::open(file, false).reset();
  EXPECT_EQ(read(), held);

  fs::remove(disk.dir() + "/filler");
  auto r = Registry::open(file, false);
  ASSERT_TRUE(r);
  auto key = r->openKey(RegRoot::CurrentUser, kSettings, kKeyRead);
  ASSERT_TRUE(key);
  for (int i = 0; i < 50; ++i) {
    const auto v = key->value("v" + std::to_string(i));
    ASSERT_TRUE(v) << i;
    EXPECT_EQ(v->text, "kept");
  }
}

TEST_F(RegistryTest, ThreadsShareOneRegistry) {
  auto r = openAs(false);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (std::uint32_t i = 0; i < 50; ++i) {
        auto k = r->openKey(RegRoot::CurrentUser, "T" + std::to_string(t), kKeyAllAccess, true);
        if (k) k->setDWord("n" + std::to_string(i), i);
      }
    });
  }
  for (auto& t : threads) t.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(make(*r, "T" + std::to_string(t)).values().size(), 50u);
}

TEST_F(RegistryTest, TwoProcessesWriteAtOnce) {
  constexpr int kEach = 300;
  auto writeMany = [this](const std::string& top) {
    auto r = Registry::open(file_, false);
    int failures = r ? 0 : kEach;
    for (int i = 0; r && i < kEach; ++i) {
      auto k =
          r->openKey(RegRoot::CurrentUser, top + "\\K" + std::to_string(i), kKeyAllAccess, true);
      if (!k || !k->setDWord("n", static_cast<std::uint32_t>(i))) ++failures;
    }
    return failures;
  };
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  const pid_t child = spawn([&] {
    char c = 0;
    if (read(go[0], &c, 1) != 1) return 99;
    return std::min(writeMany("Child"), 98);
  });
  ASSERT_GT(child, 0);
  ASSERT_EQ(write(go[1], "g", 1), 1);
  EXPECT_EQ(writeMany("Parent"), 0);
  EXPECT_EQ(exitStatus(child), 0);
  close(go[0]);
  close(go[1]);

  auto r = openAs(false);
  for (const char* top : {"Child", "Parent"}) {
    EXPECT_EQ(make(*r, top).subKeyNames().size(), static_cast<std::size_t>(kEach)) << top;
  }
  EXPECT_EQ(RawDb(file_).text("PRAGMA integrity_check"), "ok");
}

// A barrier that processes forked after it share.
class ProcessBarrier {
 public:
  explicit ProcessBarrier(unsigned count) {
    void* p = mmap(nullptr, sizeof(pthread_barrier_t), PROT_READ | PROT_WRITE,
                   MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    barrier_ = p == MAP_FAILED ? nullptr : static_cast<pthread_barrier_t*>(p);
    pthread_barrierattr_t attr;
    pthread_barrierattr_init(&attr);
    pthread_barrierattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    if (barrier_) pthread_barrier_init(barrier_, &attr, count);
    pthread_barrierattr_destroy(&attr);
  }
  ~ProcessBarrier() {
    if (!barrier_) return;
    pthread_barrier_destroy(barrier_);
    munmap(barrier_, sizeof(pthread_barrier_t));
  }
  ProcessBarrier(const ProcessBarrier&) = delete;
  ProcessBarrier& operator=(const ProcessBarrier&) = delete;
  bool ok() const { return barrier_ != nullptr; }
  void wait() { pthread_barrier_wait(barrier_); }

 private:
  pthread_barrier_t* barrier_ = nullptr;
};

TEST_F(RegistryTest, ManyProcessesOpeningOneNewFileAtOnceAllSucceed) {
  // Each round is a file nobody has made yet, opened by every process at the same moment: one
  // makes it, the others meet its journal switch and its schema.
  constexpr unsigned kProcesses = 16;
  constexpr int kRounds = 12;
  ProcessBarrier start(kProcesses);
  ASSERT_TRUE(start.ok());
  std::vector<pid_t> openers;
  for (unsigned p = 0; p < kProcesses; ++p) {
    openers.push_back(spawn([&] {
      int failures = 0;
      for (int round = 0; round < kRounds; ++round) {
        start.wait();
        std::string why;
        auto r = Registry::open(dir_ + "/new" + std::to_string(round) + ".db", false, &why);
        auto k = r ? r->openKey(RegRoot::CurrentUser, kSettings, kKeyAllAccess, true) : std::nullopt;
        if (!k || !k->setDWord("opener", p)) {
          std::fprintf(stderr, "round %d: %s\n", round, why.c_str());
          ++failures;
        }
      }
      return failures;
    }));
    ASSERT_GT(openers.back(), 0);
  }
  for (const pid_t opener : openers) EXPECT_EQ(exitStatus(opener), 0);
  for (int round = 0; round < kRounds; ++round) {
    const std::string file = dir_ + "/new" + std::to_string(round) + ".db";
    EXPECT_EQ(RawDb(file).text("PRAGMA journal_mode"), "wal") << round;
    EXPECT_EQ(RawDb(file).text("SELECT count(*) FROM keys"), "5") << round;  // 2 hives, 3 keys
  }
}

// A neighbour connection that writes back to back, holding the write lock most of the time.
class BusyNeighbour {
 public:
  BusyNeighbour(const std::string& file, std::chrono::microseconds hold,
                std::chrono::microseconds gap)
      : db_(file) {
    db_.waitEagerly();  // so that it takes the lock back at once after a writer had it
    thread_ = std::thread([this, hold, gap] {
      while (!stop_) {
        if (db_.exec("BEGIN IMMEDIATE")) {
          db_.exec("INSERT INTO keys(parent, name) VALUES(1, 'n" + std::to_string(writes_) + "')");
          std::this_thread::sleep_for(hold);
          if (db_.exec("COMMIT")) ++writes_;
        }
        std::this_thread::sleep_for(gap);
      }
    });
  }
  ~BusyNeighbour() {
    stop_ = true;
    thread_.join();
  }
  BusyNeighbour(const BusyNeighbour&) = delete;
  BusyNeighbour& operator=(const BusyNeighbour&) = delete;
  int writes() const { return writes_; }

 private:
  RawDb db_;
  std::atomic<bool> stop_{false};
  std::atomic<int> writes_{0};
  std::thread thread_;
};

TEST_F(RegistryTest, AWriterFindsTheGapsOfABusyNeighbour) {
  auto r = openAs(false);
  auto k = make(*r, kSettings);
  // The lock is free a twentieth of the time, in short gaps: a writer that sleeps long between
  // tries misses them all within a second, one that tries again soon finds one within a few
  // milliseconds.
  r->setBusyLimit(std::chrono::seconds(1));
  BusyNeighbour neighbour(file_, std::chrono::milliseconds(10), std::chrono::microseconds(500));
  while (neighbour.writes() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  constexpr std::uint32_t kWrites = 30;
  int failures = 0;
  for (std::uint32_t i = 0; i < kWrites; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the neighbour takes over
    failures += k.setDWord("n" + std::to_string(i), i) ? 0 : 1;
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(k.values().size(), kWrites);
}

TEST_F(RegistryTest, AWriterBlockedPastTheLimitFailsAndWritesNothing) {
  auto r = openAs(false);
  auto k = make(*r, kSettings);
  ASSERT_TRUE(k.setString("kept", "old"));
  const auto limit = std::chrono::milliseconds(200);
  r->setBusyLimit(limit);
  RawDb holder(file_);
  ASSERT_TRUE(holder.exec("BEGIN IMMEDIATE"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(k.setString("kept", "new"));
  EXPECT_GE(std::chrono::steady_clock::now() - start, limit);
  EXPECT_FALSE(k.setDWord("added", 1));
  EXPECT_FALSE(k.deleteValue("kept"));
  EXPECT_FALSE(r->openKey(RegRoot::CurrentUser, "Made\\Meanwhile", kKeyAllAccess, true));
  EXPECT_FALSE(r->deleteKeyTree(RegRoot::CurrentUser, kSettings));
  ASSERT_TRUE(holder.exec("COMMIT"));
  // Reading never waited, and nothing of the failed writes arrived.
  EXPECT_EQ(k.value("kept")->text, "old");
  EXPECT_EQ(names(k.values()), std::vector<std::string>{"kept"});
  EXPECT_FALSE(r->openKey(RegRoot::CurrentUser, "Made", kKeyRead));
  // A lock let go within the limit is waited out.
  r->setBusyLimit(std::chrono::seconds(10));
  ASSERT_TRUE(holder.exec("BEGIN IMMEDIATE"));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    holder.exec("COMMIT");
  });
  EXPECT_TRUE(k.setString("kept", "new"));
  release.join();
  EXPECT_EQ(k.value("kept")->text, "new");
}

TEST_F(RegistryTest, AWriterKilledMidWriteLeavesTheFileWhole) {
  int done[2];
  ASSERT_EQ(pipe(done), 0);
  const pid_t child = spawn([&] {
    close(done[0]);
    auto r = Registry::open(file_, false);
    if (!r) return 1;
    const std::vector<std::string> bulk(64, std::string(100, 'b'));
    for (std::uint32_t i = 0;; ++i) {
      auto k = r->openKey(RegRoot::CurrentUser, "Loop\\K" + std::to_string(i), kKeyAllAccess, true);
      if (!k || !k->setDWord("n", i) || !k->setMultiString("bulk", bulk)) return 2;
      if (i % 10 == 9 && !r->deleteKeyTree(RegRoot::CurrentUser, "Loop\\K" + std::to_string(i))) {
        return 3;
      }
      if (write(done[1], &i, sizeof i) != sizeof i) return 4;
    }
  });
  ASSERT_GT(child, 0);
  close(done[1]);
  std::uint32_t last = 0;
  bool any = false;
  while (!any || last < 300) {
    ASSERT_EQ(read(done[0], &last, sizeof last), static_cast<ssize_t>(sizeof last));
    any = true;
  }
  kill(child, SIGKILL);
  EXPECT_EQ(exitStatus(child), 128 + SIGKILL);
  // Whatever the child reported before it died was committed.
  while (read(done[0], &last, sizeof last) == sizeof last) {
  }
  close(done[0]);

  EXPECT_EQ(RawDb(file_).text("PRAGMA integrity_check"), "ok");
  auto r = openAs(false);
  ASSERT_TRUE(r);
  for (std::uint32_t i = 0; i <= last; ++i) {
    auto k = r->openKey(RegRoot::CurrentUser, "Loop\\K" + std::to_string(i), kKeyRead);
    if (i % 10 == 9) {
      EXPECT_FALSE(k) << i;
      continue;
    }
    ASSERT_TRUE(k) << i;
    ASSERT_TRUE(k->value("n")) << i;
    EXPECT_EQ(k->value("n")->dword, i);
    EXPECT_EQ(k->value("bulk")->multi.size(), 64u) << i;
  }
}

// The process-wide registry caches itself, so each of these runs in a child of its own.
class DefaultRegistryTest : public RegistryTest {
 protected:
  // Runs `body` in a child with the simulated host's folder set; stderr goes to stderrFile().
  int inChild(const std::string& simDir, const char* admin, const std::function<int()>& body) {
    const pid_t pid = spawn([&] {
      setenv("TARVEX_SIM_DIR", simDir.c_str(), 1);
      setenv("TARVEX_HOST", "PC-ONE", 1);
      if (admin)
        setenv("TARVEX_ADMIN", admin, 1);
      else
        unsetenv("TARVEX_ADMIN");
      if (!freopen(stderrFile().c_str(), "w", stderr)) return 90;
      const int result = body();
      std::fflush(stderr);  // the child ends with _exit, which flushes nothing
      return result;
    });
    return exitStatus(pid);
  }
  std::string stderrFile() const { return dir_ + "/stderr.txt"; }
  std::string stderrText() const {
    std::ifstream in(stderrFile());
    return {std::istreambuf_iterator<char>(in), {}};
  }
};

TEST_F(DefaultRegistryTest, OpensTheHostsFileAndHonoursInstalledOnes) {
  const int status = inChild(dir_ + "/sim", nullptr, [] {
    auto mine = Registry::open(":memory:", false);
    setRegistry(mine.get());
    if (&registry() != mine.get()) return 1;
    setRegistry(nullptr);
    if (&registry() == mine.get()) return 2;
    if (registry().openKey(RegRoot::LocalMachine, "Software", kKeyAllAccess, true)) return 3;
    auto k = registry().openKey(RegRoot::CurrentUser, kSettings, kKeyAllAccess, true);
    return k && k->setString("MainForm Width", "640") ? 0 : 4;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(stderrText(), "");
  auto r = Registry::open(dir_ + "/sim/hosts/PC-ONE/registry.db", false);
  ASSERT_TRUE(r);
  auto k = r->openKey(RegRoot::CurrentUser, kSettings, kKeyRead);
  ASSERT_TRUE(k);
  EXPECT_EQ(k->value("MainForm Width")->text, "640");
}

TEST_F(DefaultRegistryTest, AdministratorOnlyWhenAskedFor) {
  for (const char* admin : {"1", "0", "yes"}) {
    SCOPED_TRACE(admin);
    const int status = inChild(dir_ + "/sim", admin, [] {
      return registry().openKey(RegRoot::LocalMachine, "Software", kKeyAllAccess, true) ? 1 : 0;
    });
    EXPECT_EQ(status, std::string_view(admin) == "1" ? 1 : 0);
  }
}

TEST_F(DefaultRegistryTest, FallsBackToMemoryAndSaysSoOnce) {
  writeFile("a plain file where the host's folder should be");
  const int status = inChild(file_ + "/sim", nullptr, [] {
    for (int i = 0; i < 2; ++i) {
      auto k = registry().openKey(RegRoot::CurrentUser, kSettings, kKeyAllAccess, true);
      if (!k || !k->setString("v", "1")) return 1;
    }
    return registry().openKey(RegRoot::CurrentUser, kSettings, kKeyRead)->hasValue("v") ? 0 : 2;
  });
  EXPECT_EQ(status, 0);
  const std::string err = stderrText();
  EXPECT_NE(err.find("cannot open the registry " + file_ + "/sim/hosts/PC-ONE/registry.db ("),
            std::string::npos)
      << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

}  // namespace
