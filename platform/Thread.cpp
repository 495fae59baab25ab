#include "platform/Thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

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

// The workers that run: a thread is in it from its start until its Execute has returned.
// Never destroyed, as the workers may outlive every static object.
struct Running {
  std::mutex mutex;
  std::vector<Thread*> threads;
};

Running& running() {
  static Running& r = *new Running;
  return r;
}

void enlist(Thread* t) {
  auto& r = running();
  std::lock_guard lock(r.mutex);
  r.threads.push_back(t);
}

void delist(Thread* t) {
  auto& r = running();
  std::lock_guard lock(r.mutex);
  std::erase(r.threads, t);
}

}  // namespace

std::size_t RunningThreads() {
  auto& r = running();
  std::lock_guard lock(r.mutex);
  return r.threads.size();
}

bool StopAllThreads(std::uint32_t timeoutMs) {
  {
    auto& r = running();
    std::lock_guard lock(r.mutex);
    for (Thread* t : r.threads) t->terminate();
  }
  const auto none = [] { return RunningThreads() == 0; };
  if (ui::onUiThread()) return ui::serveFor(timeoutMs, none);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!none() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return none();
}

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
  if (thread_.joinable()) return;
  enlist(this);
  try {
    thread_ = std::thread([this] { run(); });
  } catch (...) {
    delist(this);
    throw;
  }
}

void Thread::run() {
  applyPriority(priority_);
  try {
    execute();
  } catch (...) {
    // A worker ends quietly; its owner sees it finished.
  }
  finished_.store(true);
  delist(this);
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
