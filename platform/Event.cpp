#include "platform/Event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace platform {
namespace {

constexpr std::uint32_t kForever = 0xFFFFFFFF;

}  // namespace

Event::Event() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Event::~Event() {
  if (fd_ >= 0) ::close(fd_);
}

void Event::set() {
  if (set_.exchange(true)) return;
  if (fd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = ::write(fd_, &one, sizeof one);
}

void Event::reset() {
  if (!set_.exchange(false)) return;
  if (fd_ < 0) return;
  std::uint64_t count = 0;
  [[maybe_unused]] const auto n = ::read(fd_, &count, sizeof count);
}

bool Event::wait(std::uint32_t timeoutMs) const {
  if (isSet()) return true;
  if (fd_ < 0) {
    // No descriptor: look again in short steps.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!isSet() && (timeoutMs == kForever || std::chrono::steady_clock::now() < end))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return isSet();
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int wait = -1;
    if (timeoutMs != kForever) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            end - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return isSet();
      wait = static_cast<int>(left);
    }
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, wait);
    if (r < 0 && errno == EINTR) continue;
    if (r != 0 || isSet()) return isSet();
  }
}

}  // namespace platform
