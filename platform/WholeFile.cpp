#include "platform/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

bool fail(std::string* whyNot, const std::string& step, int error) {
  if (whyNot) *whyNot = step + ": " + std::strerror(error);
  return false;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool WriteFileWhole(const std::string& path, std::string_view bytes, std::string* whyNot) {
  std::string temp = path + ".new-XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(whyNot, "cannot make " + temp, errno);
  struct stat old {};
  const mode_t mode = ::stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644;
  // The first step that fails, with its error kept before the clean-up can change errno.
  std::string failed;
  int error = 0;
  const auto check = [&](bool ok, const std::string& step) {
    if (!ok && failed.empty()) {
      error = errno;
      failed = step;
    }
    return failed.empty();
  };
  const bool written = check(::fchmod(fd, mode) == 0, "cannot set the mode of " + temp) &&
                       check(writeAll(fd, bytes), "cannot write " + temp) &&
                       check(::fsync(fd) == 0, "cannot flush " + temp);
  // Closed whatever came before; a close can report a write that failed late (on a network file
  // system, say).
  const bool closed = check(::close(fd) == 0, "cannot close " + temp);
  if (written && closed &&
      check(::rename(temp.c_str(), path.c_str()) == 0, "cannot rename " + temp + " to " + path))
    return true;
  ::unlink(temp.c_str());
  return fail(whyNot, failed, error);
}

}  // namespace platform
