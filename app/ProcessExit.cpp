#include "app/ProcessExit.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "platform/NestedLoop.h"
#include "platform/Thread.h"
#include "platform/UiDispatcher.h"

namespace app {
namespace {

// Never destroyed: read while the process exits.
struct Hook {
  std::mutex mutex;
  std::function<void()> end;
};

Hook& hook() {
  static Hook& h = *new Hook;
  return h;
}

void onProcessExit() {
  static std::atomic<bool> ran{false};
  if (ran.exchange(true)) return;
  // Another thread's exit: the UI thread runs on, and the workers' statics are never destroyed.
  if (!platform::ui::onUiThread()) return;
  // Whatever is on the stack below never resumes, and the display may be gone: no window message
  // is processed and no window opens from here on.
  platform::NestedLoop::forbidWindows();
  platform::NestedLoop::setEnding(true);
  std::function<void()> end;
  {
    std::lock_guard lock(hook().mutex);
    end = std::move(hook().end);
  }
  if (end) end();
  platform::StopAllThreads(ExitPath::kWorkerWaitMs);
}

void registerOnce() {
  static const bool registered = [] {
    std::atexit(onProcessExit);
    std::at_quick_exit(onProcessExit);
    return true;
  }();
  (void)registered;
}

}  // namespace

ExitPath::ExitPath(std::function<void()> end) {
  {
    std::lock_guard lock(hook().mutex);
    hook().end = std::move(end);
  }
  registerOnce();
}

ExitPath::~ExitPath() {
  std::lock_guard lock(hook().mutex);
  hook().end = nullptr;
}

}  // namespace app
