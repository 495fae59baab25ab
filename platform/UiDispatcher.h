#pragma once
// Hand-overs from worker threads to the user-interface thread. A worker's hand-over returns only
// after the function ran on the UI thread; the UI thread runs them from its event loop and from
// every wait of its own (so a UI thread waiting for a worker never deadlocks with it).
#include <cstdint>
#include <functional>

namespace platform::ui {

// Marks the calling thread as the user-interface thread. Until one is marked, hand-overs run on the
// thread that asks for them (console programs and plain tests).
void markUiThread();
bool onUiThread();

// Runs fn on the UI thread and returns after it ran there (at once when called on the UI thread).
void runOnUi(const std::function<void()>& fn);

// Runs every queued hand-over. Call on the UI thread.
void serve();

// Serves hand-overs on the UI thread until done() is true. done() is re-checked whenever
// notify() is called or a hand-over is queued.
void serveUntil(const std::function<bool()>& done);

// The same for at most timeoutMs of real time; false when done() still does not hold then.
bool serveFor(std::uint32_t timeoutMs, const std::function<bool()>& done);

// Wakes serveUntil() to re-check its condition.
void notify();

// Called (from the queuing thread) when a hand-over is queued while none waits, so an event loop
// can wake up and call serve(), which runs those queued after it too. The Qt program installs one;
// nullptr removes it.
void setWakeHook(std::function<void()> hook);

}  // namespace platform::ui
