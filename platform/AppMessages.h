#pragma once
// The application's message queue: windows post messages to one another (also from other
// threads), the user-interface thread takes them in order, shows each first to the application's
// message hook and then, unless the hook handled it, to the window it was posted to. A Qt program
// wakes the queue from its event loop (setMessageWakeHook); tests take messages themselves.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace platform {

struct AppMessage {
  std::uint32_t hwnd = 0;
  std::uint32_t message = 0;
  std::uint32_t wParam = 0;
  std::int32_t lParam = 0;
};

using MessageHook = std::function<void(AppMessage& msg, bool& handled)>;
using WindowProc = std::function<void(const AppMessage& msg)>;

// Installs the application's hook and returns the one it replaces (empty: none).
MessageHook setApplicationOnMessage(MessageHook hook);
MessageHook applicationOnMessage();

// The application's own window: the parent handed to other components. Never 0.
std::uint32_t applicationWindow();
// A window that receives the messages posted to it; 0 is never returned.
std::uint32_t createMessageWindow(WindowProc proc);
void destroyMessageWindow(std::uint32_t hwnd);

// Queues a message; false when its window does not exist. Any thread.
bool postMessage(const AppMessage& msg);
// Takes every message queued now (and those queued meanwhile), on the UI thread; returns how many.
int processMessages();
std::size_t pendingMessages();
// Called whenever a message is queued, so an event loop can call processMessages().
void setMessageWakeHook(std::function<void()> hook);

}  // namespace platform
