#include "platform/Thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/UiDispatcher.h"

namespace platform {
namespace {

int niceValue(ThreadPriority p) {
  switch (p) {
    case ThreadPriority::Idle: return 19;
    case ThreadPriority::Lowest: return 10;
    case ThreadPriority::Lower: return 5;
    case ThreadPriority::Normal: return 0;
    case ThreadPriority::Higher: return -5;
    case ThreadPriority::Highest: return -10;
    case ThreadPriority::TimeCritical: return -15;
  }
  return 0;
}

// Linux keeps a nice value per thread; a refusal (no right to raise it) is not an error here.
void applyPriority(ThreadPriority p) {
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  (void)setpriority(PRIO_PROCESS, tid, niceValue(p));
}

}  // namespace

Thread::Thread() = default;

Thread::~Thread() {
  // Owners wait for their threads; this only keeps a forgotten one from aborting the process.
  terminate();
  if (thread_.joinable()) thread_.join();
}

void Thread::setPriority(ThreadPriority priority) { priority_ = priority; }

bool Thread::started() const {
  std::lock_guard lock(mutex_);
  return thread_.joinable();
}

void Thread::resume() {
  std::lock_guard lock(mutex_);
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
}

void Thread::run() {
  applyPriority(priority_);
  try {
    execute();
  } catch (...) {
    // A worker ends quietly; its owner sees it finished.
  }
  finished_.store(true);
  ui::notify();
}

void Thread::waitFor() {
  if (!started()) return;
  if (ui::onUiThread()) ui::serveUntil([this] { return finished(); });
  std::lock_guard lock(mutex_);
  if (thread_.joinable()) thread_.join();
}

void Thread::synchronize(const std::function<void()>& fn) { ui::runOnUi(fn); }

}  // namespace platform
