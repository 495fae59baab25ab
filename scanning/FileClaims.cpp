#include "scanning/FileClaims.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/MessageTable.h"

namespace scanning {
namespace {

namespace fs = std::filesystem;

// A file of this run is the very file made, not whatever has its name later (which may even get
// the same inode number): the change time is noted after each of this run's own changes.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  long long changedSec = 0, changedNsec = 0;
  bool operator==(const FileId&) const = default;
};

struct Registry {
  std::mutex lock;
  std::map<std::string, FileId> files;
  std::set<std::string> folders;
};

Registry& registry() {
  static Registry r;
  return r;
}

std::string key(const std::string& path) { return fs::path(path).lexically_normal().string(); }

FileId idOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, static_cast<long long>(st.st_ctim.tv_sec),
          static_cast<long long>(st.st_ctim.tv_nsec)};
}

// This run changed the file `st` describes: its record follows.
void noteChange(Registry& r, const struct stat& st) {
  for (auto& [path, id] : r.files)
    if (id.device == st.st_dev && id.inode == st.st_ino) id = idOf(st);
}

// The file of this run at `path`, still the one made, as a regular file.
bool ownLocked(Registry& r, const std::string& path) {
  const auto it = r.files.find(key(path));
  struct stat st {};
  return it != r.files.end() && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         idOf(st) == it->second;
}

// Makes `path` exclusively, never through a link; the descriptor, or -1 with errno.
int makeExclusive(Registry& r, const std::string& path, int access) {
  const int fd = OpenRegularFile(path, access | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int why = errno;
    ::close(fd);
    ::unlink(path.c_str());
    errno = why;
    return -1;
  }
  r.files[key(path)] = idOf(st);
  return fd;
}

// Opens a file of this run, checked to be the file made before anything is changed in it.
int openOwn(Registry& r, const std::string& path, int access) {
  const int fd = OpenRegularFile(path, access | O_NOFOLLOW);
  if (fd < 0) return -1;
  struct stat st {};
  const auto it = r.files.find(key(path));
  if (::fstat(fd, &st) != 0 || it == r.files.end() || !(idOf(st) == it->second)) {
    ::close(fd);
    errno = EEXIST;
    return -1;
  }
  return fd;
}

OwnFile streamOf(int fd, const char* mode) {
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, mode);
  if (!f) {
    const int why = errno;
    ::close(fd);
    errno = why;
  }
  return OwnFile(f);
}

// The file of this run at `from` now has the name `to` (a rename changes its change time).
void renamed(Registry& r, const std::string& from, const std::string& to) {
  const auto it = r.files.find(key(from));
  if (it == r.files.end()) return;
  FileId id = it->second;
  r.files.erase(it);
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0 && st.st_dev == id.device && st.st_ino == id.inode) id = idOf(st);
  r.files[key(to)] = id;
}

bool copyInto(const std::string& from, std::FILE* to) {
  const ReadFile in = OpenRegularForReading(from, O_NOFOLLOW);
  if (!in) return false;
  std::vector<char> buffer(1 << 16);
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0)
    if (std::fwrite(buffer.data(), 1, n, to) != n) return false;
  return !std::ferror(in.get());
}

}  // namespace

int OpenRegularFile(const std::string& path, int flags, mode_t mode) {
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  struct stat st {};
  int why = 0;
  if (::fstat(fd, &st) != 0)
    why = errno;
  else if (!S_ISREG(st.st_mode))
    why = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
  else if (!(flags & O_NONBLOCK)) {
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) why = errno;
  }
  if (why != 0) {
    ::close(fd);
    errno = why;
    return -1;
  }
  return fd;
}

FileStream OpenRegularStream(const std::string& path, int flags, mode_t mode, const char* how) {
  const int fd = OpenRegularFile(path, flags, mode);
  std::FILE* f = fd < 0 ? nullptr : ::fdopen(fd, how);
  if (fd >= 0 && !f) {
    const int why = errno;
    ::close(fd);
    errno = why;
  }
  return FileStream(f, std::fclose);
}

ReadFile OpenRegularForReading(const std::string& path, int flags) {
  return OpenRegularStream(path, O_RDONLY | flags, 0, "rb");
}

std::optional<std::vector<std::uint8_t>> ReadRegularFile(const std::string& path, int flags) {
  const ReadFile in = OpenRegularForReading(path, flags);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[1 << 16];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  if (std::ferror(in.get())) return std::nullopt;
  return bytes;
}

void OwnFileCloser::operator()(std::FILE* f) const {
  std::fflush(f);
  struct stat st {};
  if (::fstat(::fileno(f), &st) == 0) {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    noteChange(r, st);
  }
  std::fclose(f);
}

bool CloseOwnFile(OwnFile f) {
  if (!f) return false;
  const bool flushed = std::fflush(f.get()) == 0 && !std::ferror(f.get());
  std::FILE* raw = f.release();
  struct stat st {};
  if (::fstat(::fileno(raw), &st) == 0) {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    noteChange(r, st);
  }
  return std::fclose(raw) == 0 && flushed;
}

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

bool NameStaysInFolder(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::string NameLeavesFolderText(const std::string& name) {
  return core::LoadMessage("SFile_Save_Err") + "\n\n" + name +
         "\n\nA name for a group of pictures cannot contain \"/\" or be \".\" or \"..\".";
}

bool PathTaken(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string FreeVariant(const std::string& path, int n) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  const bool hasExtension =
      dot != std::string::npos && dot > (slash == std::string::npos ? 0 : slash + 1);
  const std::string stem = hasExtension ? path.substr(0, dot) : path;
  const std::string ext = hasExtension ? path.substr(dot) : std::string();
  return stem + "-" + std::to_string(n) + ext;
}

std::string HelperName(const std::string& path, const std::string& suffix) {
  constexpr std::size_t kVariantRoom = 4;  // "-999"
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = path.substr(folder.size());
  const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  const std::size_t nameMax = limit > 0 ? static_cast<std::size_t>(limit) : 255;
  if (name.size() + suffix.size() + kVariantRoom <= nameMax || suffix.size() + kVariantRoom >= nameMax)
    return path + suffix;
  std::size_t keep = nameMax - suffix.size() - kVariantRoom;
  while (keep > 1 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return folder + name.substr(0, keep) + suffix;
}

OwnFile OpenForWriting(const std::string& path) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  if (r.files.contains(key(path))) {
    const int fd = openOwn(r, path, O_WRONLY);
    if (fd >= 0) {
      struct stat st {};
      if (::ftruncate(fd, 0) != 0 || ::fstat(fd, &st) != 0) {
        const int why = errno;
        ::close(fd);
        errno = why;
        return nullptr;
      }
      noteChange(r, st);
      return streamOf(fd, "wb");
    }
    if (errno != ENOENT) return nullptr;
    r.files.erase(key(path));  // gone meanwhile: the name may be made again
  }
  return streamOf(makeExclusive(r, path, O_WRONLY), "wb");
}

OwnFile OpenOwnForUpdate(const std::string& path) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  if (!r.files.contains(key(path))) {
    errno = EPERM;
    return nullptr;
  }
  return streamOf(openOwn(r, path, O_RDWR), "r+b");
}

Claim ClaimFreeName(const std::string& path) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  for (int n = 0; n < 1000; ++n) {
    const std::string candidate = n == 0 ? path : FreeVariant(path, n);
    const int fd = makeExclusive(r, candidate, O_WRONLY);
    if (fd >= 0) {
      ::close(fd);
      return {candidate, 0};
    }
    if (errno != EEXIST) return {std::string(), errno};
  }
  return {std::string(), EEXIST};
}

std::string WriteFileAt(const std::string& target, bool replaceAgreed,
                        const std::function<bool(const std::string&)>& write) {
  const bool replace = replaceAgreed || IsOwnFile(target);
  const Claim claim = ClaimFreeName(replace ? HelperName(target, ".part") : target);
  if (claim.path.empty()) {
    errno = claim.error;
    return {};
  }
  bool ok = write(claim.path);
  int why = errno;
  bool putBeside = false;  // the target became someone else's while it was written
  if (ok && replace) {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    // A file of this run is replaced only while it still is that file: one that took its name
    // during the write is the user's.
    putBeside = !replaceAgreed && PathTaken(target) && !ownLocked(r, target);
    ok = ownLocked(r, claim.path) &&
         (putBeside || std::rename(claim.path.c_str(), target.c_str()) == 0);
    why = errno;
    if (ok && !putBeside) renamed(r, claim.path, target);
  }
  if (ok && putBeside) {
    const std::string beside = MoveOwnFileToFree(claim.path, target);
    if (!beside.empty()) return beside;
    ok = false;
    why = EEXIST;
  }
  if (!ok) {
    RemoveOwnFile(claim.path);
    errno = why ? why : EIO;
    return {};
  }
  return replace ? target : claim.path;
}

std::string PutOwnFileAt(const std::string& own, const std::string& target, bool replaceAgreed) {
  if (!IsOwnFile(own)) {
    errno = EPERM;
    return {};
  }
  const std::string written = WriteFileAt(target, replaceAgreed, [&own](const std::string& to) {
    OwnFile out = OpenForWriting(to);
    const bool copied = out && copyInto(own, out.get());
    return CloseOwnFile(std::move(out)) && copied;
  });
  if (!written.empty()) RemoveOwnFile(own);
  return written;
}

bool IsOwnFile(const std::string& path) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  return ownLocked(r, path);
}

void NoteWrittenByDevice(const std::string& path) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  const auto it = r.files.find(key(path));
  struct stat st {};
  if (it != r.files.end() && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      st.st_dev == it->second.device && st.st_ino == it->second.inode)
    it->second = idOf(st);
}

void KeepForUser(const std::string& path) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  r.files.erase(key(path));
}

bool RemoveOwnFile(const std::string& path) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  if (!ownLocked(r, path) || ::unlink(path.c_str()) != 0) return false;
  r.files.erase(key(path));
  return true;
}

std::string MoveOwnFileToFree(const std::string& own, const std::string& wanted) {
  if (!IsOwnFile(own)) return {};
  const Claim claim = ClaimFreeName(wanted);
  if (claim.path.empty()) return {};
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    if (std::rename(own.c_str(), claim.path.c_str()) == 0) {
      renamed(r, own, claim.path);
      return claim.path;
    }
  }
  if (errno == EXDEV) {
    OwnFile out = OpenForWriting(claim.path);
    bool ok = out && copyInto(own, out.get());
    ok = CloseOwnFile(std::move(out)) && ok;
    if (ok) {
      RemoveOwnFile(own);
      return claim.path;
    }
  }
  RemoveOwnFile(claim.path);
  return {};
}

std::string MakeOwnFolder(const std::string& parent, const std::string& prefix) {
  // No parent (an unset or missing temporary folder) would make it in the current folder.
  if (parent.empty()) {
    errno = ENOENT;
    return {};
  }
  std::string pattern = WithSeparator(parent) + prefix + "XXXXXX";
  if (!::mkdtemp(pattern.data())) return {};
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  r.folders.insert(key(pattern));
  return pattern;
}

void RemoveOwnFolder(const std::string& folder) {
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    if (!r.folders.contains(key(folder))) return;
  }
  std::error_code ec;
  std::vector<std::string> inside;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    inside.push_back(it->path().string());
  for (const std::string& file : inside) RemoveOwnFile(file);
  if (fs::remove(folder, ec)) {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    r.folders.erase(key(folder));
  }
}

}  // namespace scanning
