#include "platform/UiDispatcher.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace platform::ui {
namespace {

struct HandOver {
  explicit HandOver(const std::function<void()>& f) : fn(&f) {}
  const std::function<void()>* fn;
  bool done = false;
  // Wakes only the worker that waits for this hand-over, not every worker waiting for its own.
  std::condition_variable finished;
};

struct Dispatcher {
  std::mutex mutex;
  std::condition_variable changed;  // a hand-over was queued, or notify() was called
  std::deque<HandOver*> queue;
  std::thread::id uiThread;
  bool haveUiThread = false;
  std::function<void()> wakeHook;
  std::uint64_t generation = 0;  // moves on with every notify()
};

// Never destroyed: a worker may hand over or be woken while the process exits.
Dispatcher& dispatcher() {
  static Dispatcher& d = *new Dispatcher;
  return d;
}

}  // namespace

void markUiThread() {
  auto& d = dispatcher();
  std::lock_guard lock(d.mutex);
  d.uiThread = std::this_thread::get_id();
  d.haveUiThread = true;
}

bool onUiThread() {
  auto& d = dispatcher();
  std::lock_guard lock(d.mutex);
  return !d.haveUiThread || d.uiThread == std::this_thread::get_id();
}

void runOnUi(const std::function<void()>& fn) {
  if (onUiThread()) {
    fn();
    return;
  }
  auto& d = dispatcher();
  HandOver item(fn);
  std::function<void()> hook;
  {
    std::lock_guard lock(d.mutex);
    // A queue that holds hand-overs already has a wake on its way, which serves them all.
    if (d.queue.empty()) hook = d.wakeHook;
    d.queue.push_back(&item);
  }
  d.changed.notify_all();
  if (hook) hook();
  std::unique_lock lock(d.mutex);
  item.finished.wait(lock, [&] { return item.done; });
}

void serve() {
  auto& d = dispatcher();
  std::unique_lock lock(d.mutex);
  while (!d.queue.empty()) {
    HandOver* item = d.queue.front();
    d.queue.pop_front();
    lock.unlock();
    // The worker waits for `done` whatever happens, so an exception must not escape past it.
    try {
      (*item->fn)();
    } catch (...) {
    }
    lock.lock();
    item->done = true;
    item->finished.notify_one();  // under the lock: the worker's item lives until it sees `done`
  }
}

void serveUntil(const std::function<bool()>& done) {
  auto& d = dispatcher();
  for (;;) {
    serve();
    if (done()) return;
    std::unique_lock lock(d.mutex);
    const std::uint64_t seen = d.generation;
    // The time-out only guards against a condition that changes without a notify().
    d.changed.wait_for(lock, std::chrono::milliseconds(50),
                       [&] { return !d.queue.empty() || d.generation != seen; });
  }
}

bool serveFor(std::uint32_t timeoutMs, const std::function<bool()>& done) {
  auto& d = dispatcher();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    serve();
    if (done()) return true;
    std::unique_lock lock(d.mutex);
    const std::uint64_t seen = d.generation;
    if (!d.changed.wait_until(lock, end, [&] { return !d.queue.empty() || d.generation != seen; }))
      return done();
  }
}

void notify() {
  auto& d = dispatcher();
  {
    std::lock_guard lock(d.mutex);
    ++d.generation;
  }
  d.changed.notify_all();
}

void setWakeHook(std::function<void()> hook) {
  auto& d = dispatcher();
  std::lock_guard lock(d.mutex);
  d.wakeHook = std::move(hook);
}

}  // namespace platform::ui
