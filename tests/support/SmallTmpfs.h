#pragma once
// A small file system of the test's own (tmpfs), to fill up or make read-only. Mounting needs
// root; where it fails, mounted() is false and whyNot() says why, so the test can skip.
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace test {

class SmallTmpfs {
 public:
  explicit SmallTmpfs(std::size_t bytes) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tarvex-tmpfs-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
      why_ = std::string("mkdtemp: ") + std::strerror(errno);
      return;
    }
    dir_ = tmpl;
    made_ = true;
    mount(bytes);
  }
  // Mounted on a folder of the test's choosing, made when missing and left in place afterwards.
  SmallTmpfs(std::size_t bytes, const std::string& folder) : dir_(folder) {
    std::filesystem::create_directories(folder);
    mount(bytes);
  }
  ~SmallTmpfs() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
    if (made_) ::rmdir(dir_.c_str());
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& whyNot() const { return why_; }
  const std::string& dir() const { return dir_; }

  // Takes every byte left with one file: the next write of any size finds the disk full.
  void fill() const {
    const int fd = ::open((dir_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const std::string block(4096, 'f');
    for (std::size_t size = block.size(); fd >= 0 && size > 0; size /= 2)
      while (::write(fd, block.data(), size) == static_cast<ssize_t>(size)) {
      }
    if (fd >= 0) ::close(fd);
  }
  bool remountReadOnly() const {
    return ::mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  void mount(std::size_t bytes) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tarvex-test", dir_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0)
      mounted_ = true;
    else
      why_ = "cannot mount a tmpfs on " + dir_ + ": " + std::strerror(errno);
  }

  std::string dir_;
  std::string why_;
  bool made_ = false;  // by mkdtemp, so removed at the end
  bool mounted_ = false;
};

}  // namespace test
