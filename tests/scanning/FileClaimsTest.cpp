// The one rule for the files a scan writes, against what a user's folder can hold: files, links
// (dangling ones too), folders, and files that change under a name this run made.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#include "ScanFixtures.h"
#include "scanning/FileClaims.h"

using namespace scantest;
using namespace scanning;

namespace {

TEST(FileClaims, GroupNamesThatLeaveTheirFolderAndFoldersWithoutSeparator) {
  const struct {
    std::string name;
    bool stays;
  } names[] = {{"Picture", true},  {"a.b", true},    {"..x", true},    {"x.", true},
               {".hidden", true},  {"", false},      {".", false},     {"..", false},
               {"sub/x", false},   {"../x", false},  {"/abs", false},  {std::string("a\0b", 3), false}};
  for (const auto& n : names) EXPECT_EQ(NameStaysInFolder(n.name), n.stays) << n.name;
  EXPECT_EQ(WithSeparator("/home/u/Scans"), "/home/u/Scans/");
  EXPECT_EQ(WithSeparator("/home/u/Scans/"), "/home/u/Scans/");
  EXPECT_EQ(WithSeparator(""), "");
  EXPECT_EQ(FreeVariant("/f/Name_2.bmp", 1), "/f/Name_2-1.bmp");
  EXPECT_EQ(FreeVariant("/f.d/Name", 3), "/f.d/Name-3");
  EXPECT_EQ(FreeVariant("/f/.hidden", 1), "/f/.hidden-1");
}

// Whatever has the name, a file of this run goes elsewhere and the thing that was there stays.
TEST(FileClaims, ATakenNameTakesTheNextFreeOneAndLeavesWhatWasThere) {
  ScratchDir dir;
  const std::string victim = dir.file("victim.txt");
  UserFiles user;
  user.file(victim, "the user's");
  const struct {
    const char* what;
    std::function<void(const std::string&)> put;
  } cases[] = {
      {"a file", [&](const std::string& p) { user.file(p, "mine"); }},
      {"a link to the user's file", [&](const std::string& p) { user.link(p, victim); }},
      {"a dangling link", [&](const std::string& p) { user.link(p, dir.file("nowhere")); }},
      {"a folder", [&](const std::string& p) { std::filesystem::create_directory(p); }},
  };
  int i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string wanted = dir.file("page" + std::to_string(++i) + ".bmp");
    c.put(wanted);
    EXPECT_TRUE(PathTaken(wanted));
    EXPECT_FALSE(OpenForWriting(wanted));
    EXPECT_EQ(errno, EEXIST);
    const std::string written = WriteFileAt(wanted, false, [](const std::string& to) {
      OwnFile f = OpenForWriting(to);
      return f && std::fputs("page", f.get()) >= 0;
    });
    EXPECT_EQ(written, FreeVariant(wanted, 1));
    EXPECT_EQ(fileState(written), "page");
    EXPECT_FALSE(RemoveOwnFile(wanted));  // not this run's
    EXPECT_TRUE(RemoveOwnFile(written));
  }
  EXPECT_EQ(user.changed(), "");
}

// Only the very file this run made is written over or removed: not one that took its place.
TEST(FileClaims, OnlyThisRunsOwnFilesAreReplacedOrRemoved) {
  ScratchDir dir;
  const std::string page = dir.file("page.jpg");
  const Claim claim = ClaimFreeName(page);
  ASSERT_EQ(claim.path, page);
  EXPECT_TRUE(IsOwnFile(page));
  EXPECT_TRUE(OpenForWriting(page));  // its own file may be written again
  EXPECT_TRUE(OpenOwnForUpdate(page));

  // The user put a file of theirs in its place.
  std::filesystem::remove(page);
  UserFiles user;
  user.file(page, "replaced by the user");
  EXPECT_FALSE(IsOwnFile(page));
  EXPECT_FALSE(OpenForWriting(page));
  EXPECT_FALSE(OpenOwnForUpdate(page));
  EXPECT_FALSE(RemoveOwnFile(page));
  EXPECT_FALSE(OpenOwnForUpdate(dir.file("never-made.jpg")));
  EXPECT_EQ(MoveOwnFileToFree(page, dir.file("elsewhere.jpg")), "");
  EXPECT_EQ(user.changed(), "");

  // Replacing what the user agreed to: written beside it, then put in its place whole; a helper
  // name of the user's stays as it was.
  const std::string agreed = dir.file("copy.jpg");
  user.file(agreed, "old");
  user.file(agreed + ".part", "the user's part file");
  const std::string written = WriteFileAt(agreed, true, [](const std::string& to) {
    OwnFile f = OpenForWriting(to);
    return f && std::fputs("new", f.get()) >= 0;
  });
  EXPECT_EQ(written, agreed);
  EXPECT_EQ(fileState(agreed), "new");
  EXPECT_EQ(fileState(agreed + ".part"), "the user's part file");
  EXPECT_FALSE(PathTaken(FreeVariant(agreed + ".part", 1)));  // the helper is gone

  // A write that fails leaves nothing behind.
  EXPECT_EQ(WriteFileAt(dir.file("failed.jpg"), false, [](const std::string&) { return false; }), "");
  EXPECT_FALSE(PathTaken(dir.file("failed.jpg")));

  // A file of this run rewritten whole, while the user puts a file of theirs in its place: theirs
  // stays, and the new one goes beside it.
  const std::string rewritten = dir.file("rewritten.jpg");
  UserFiles meanwhile;
  ASSERT_EQ(ClaimFreeName(rewritten).path, rewritten);
  const std::string beside = WriteFileAt(rewritten, false, [&](const std::string& to) {
    std::filesystem::remove(rewritten);
    meanwhile.file(rewritten, "the user's, made during the write");
    OwnFile f = OpenForWriting(to);
    return f && std::fputs("new", f.get()) >= 0;
  });
  EXPECT_EQ(beside, FreeVariant(rewritten, 1));
  EXPECT_EQ(fileState(beside), "new");
  EXPECT_EQ(meanwhile.changed(), "");
}

// A folder of this run's own goes with this run's files; anything else keeps it.
TEST(FileClaims, OwnFolderGoesWithOwnFilesOnly) {
  ScratchDir dir;
  const std::string own = MakeOwnFolder(dir.path(), "scan-");
  ASSERT_FALSE(own.empty());
  struct stat st {};
  ASSERT_EQ(::stat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_FALSE(ClaimFreeName(own + "/Picture.bmp").path.empty());
  RemoveOwnFolder(own);
  EXPECT_FALSE(PathTaken(own));

  const std::string kept = MakeOwnFolder(dir.path(), "scan-");
  writeAll(kept + "/not-ours", {1});
  RemoveOwnFolder(kept);
  EXPECT_TRUE(exists(kept + "/not-ours"));
  RemoveOwnFolder(dir.path());  // never made here: untouched
  EXPECT_TRUE(exists(kept + "/not-ours"));

  // A page handed to the user keeps its folder: neither goes with this run's files.
  const std::string holding = MakeOwnFolder(dir.path(), "scan-");
  const std::string page = ClaimFreeName(holding + "/Picture.jpg").path;
  ASSERT_FALSE(page.empty());
  KeepForUser(page);
  EXPECT_FALSE(RemoveOwnFile(page));
  RemoveOwnFolder(holding);
  EXPECT_TRUE(exists(page));

  errno = 0;
  EXPECT_EQ(MakeOwnFolder("", "scan-"), "") << "not in the current folder";
  EXPECT_EQ(errno, ENOENT);
}

// A page moved out of the window's own folder keeps its bytes, also across file systems.
TEST(FileClaims, MovedPagesKeepTheirBytesUnderFreeNames) {
  ScratchDir dir, other;
  const std::string page = dir.file("Picture.bmp");
  {
    OwnFile f = OpenForWriting(page);
    ASSERT_TRUE(f);
    std::fputs("pixels", f.get());
  }
  UserFiles user;
  user.file(other.file("Group.bmp"), "the user's");
  const std::string moved = MoveOwnFileToFree(page, other.file("Group.bmp"));
  EXPECT_EQ(moved, other.file("Group-1.bmp"));
  EXPECT_EQ(fileState(moved), "pixels");
  EXPECT_FALSE(PathTaken(page));
  EXPECT_TRUE(IsOwnFile(moved));
  EXPECT_EQ(user.changed(), "");
  // /dev/shm is another file system where it exists: the page is copied, then removed.
  if (std::filesystem::is_directory("/dev/shm")) {
    const std::string there = MoveOwnFileToFree(moved, "/dev/shm/tarvex-claims-test.bmp");
    ASSERT_FALSE(there.empty());
    EXPECT_EQ(fileState(there), "pixels");
    EXPECT_FALSE(PathTaken(moved));
    EXPECT_TRUE(RemoveOwnFile(there));
  }
}


// Only a regular file is ever opened: nothing in a file's place makes an open or a read wait.
TEST(FileClaims, OnlyRegularFilesOpenAndNothingWaits) {
  ScratchDir dir;
  UserFiles user;
  const std::string plain = dir.file("plain.bmp"), fifo = dir.file("fifo.bmp"),
                    folder = dir.file("folder.bmp"), link = dir.file("link.bmp");
  user.file(plain, "pixels");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(folder);
  user.link(link, plain);
  const struct {
    const char* what;
    std::string path;
    int flags;
    int error;  // 0: opens
  } cases[] = {
      {"a plain file for reading", plain, O_RDONLY, 0},
      {"a plain file for writing", plain, O_WRONLY | O_APPEND, 0},
      {"a FIFO for reading", fifo, O_RDONLY, ENXIO},
      {"a FIFO for writing", fifo, O_WRONLY, ENXIO},
      {"a FIFO, both ways", fifo, O_RDWR, ENXIO},
      {"a folder", folder, O_RDONLY, EISDIR},
      {"a device", "/dev/null", O_RDWR, ENXIO},
      {"a link where none may be followed", link, O_RDONLY | O_NOFOLLOW, ELOOP},
      {"a link that may be followed", link, O_RDONLY, 0},
      {"nothing", dir.file("missing"), O_RDONLY, ENOENT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    errno = 0;
    const int fd = OpenRegularFile(c.path, c.flags);
    if (c.error == 0) {
      ASSERT_GE(fd, 0) << std::strerror(errno);
      EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "back to blocking";
      ::close(fd);
    } else {
      EXPECT_EQ(fd, -1);
      EXPECT_EQ(errno, c.error);
    }
  }
  EXPECT_FALSE(OpenRegularForReading(fifo));
  const ReadFile in = OpenRegularForReading(plain);
  ASSERT_TRUE(in);
  char text[16] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, in.get()), 6u);
  EXPECT_STREQ(text, "pixels");
  // A FIFO at a name this run claimed is neither written into nor removed.
  const std::string claimed = dir.file("claimed.bmp");
  ASSERT_EQ(ClaimFreeName(claimed).path, claimed);
  std::filesystem::remove(claimed);
  ASSERT_EQ(::mkfifo(claimed.c_str(), 0600), 0);
  EXPECT_FALSE(OpenForWriting(claimed));
  EXPECT_FALSE(OpenOwnForUpdate(claimed));
  EXPECT_FALSE(RemoveOwnFile(claimed));
  EXPECT_EQ(user.changed(), "");
}

// A helper file's name always fits beside its file: shortened where the file's own name is near
// the limit, never inside a UTF-8 character, and with room for a free variant.
TEST(FileClaims, HelperNamesFitTheLimitOnAName) {
  ScratchDir dir;
  const std::string longName = std::string(251, 'n') + ".jpg";
  const std::string accented = std::string(244, 'n') + "\xc3\xa9\xc3\xa9\xc3\xa9.pdf";  // 254 bytes
  const struct {
    std::string name, suffix, helper;
  } cases[] = {
      {"copy.jpg", ".part", "copy.jpg.part"},
      {longName, ".part", std::string(246, 'n') + ".part"},
      {std::string(246, 'n') + ".pdf", ".jpg", std::string(246, 'n') + "..jpg"},
      {accented, ".jpg", std::string(244, 'n') + "\xc3\xa9.jpg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.size());
    const std::string helper = HelperName(dir.file(c.name), c.suffix);
    EXPECT_EQ(helper, dir.file(c.helper));
    // The helper and its variants can be made.
    const Claim first = ClaimFreeName(helper), second = ClaimFreeName(helper);
    EXPECT_EQ(first.path, helper) << std::strerror(first.error);
    EXPECT_EQ(second.path, FreeVariant(helper, 1)) << std::strerror(second.error);
    RemoveOwnFile(first.path);
    RemoveOwnFile(second.path);
  }
}

}  // namespace
