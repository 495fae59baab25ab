#include "platform/AppMessages.h"

#include <deque>
#include <map>
#include <mutex>

namespace platform {
namespace {

constexpr std::uint32_t kApplicationWindow = 1;

struct Queue {
  std::mutex mutex;
  std::deque<AppMessage> messages;
  std::map<std::uint32_t, WindowProc> windows{{kApplicationWindow, WindowProc{}}};
  std::uint32_t nextWindow = 0x10;
  MessageHook hook;
  std::function<void()> wake;
};

// Never destroyed: a worker may post to it while the process exits.
Queue& queue() {
  static Queue& q = *new Queue;
  return q;
}

}  // namespace

MessageHook setApplicationOnMessage(MessageHook hook) {
  Queue& q = queue();
  std::lock_guard lock(q.mutex);
  std::swap(q.hook, hook);
  return hook;
}

MessageHook applicationOnMessage() {
  Queue& q = queue();
  std::lock_guard lock(q.mutex);
  return q.hook;
}

std::uint32_t applicationWindow() { return kApplicationWindow; }

std::uint32_t createMessageWindow(WindowProc proc) {
  Queue& q = queue();
  std::lock_guard lock(q.mutex);
  const std::uint32_t hwnd = q.nextWindow++;
  q.windows[hwnd] = std::move(proc);
  return hwnd;
}

void destroyMessageWindow(std::uint32_t hwnd) {
  if (hwnd == kApplicationWindow) return;
  Queue& q = queue();
  std::lock_guard lock(q.mutex);
  q.windows.erase(hwnd);
}

bool postMessage(const AppMessage& msg) {
  Queue& q = queue();
  std::function<void()> wake;
  {
    std::lock_guard lock(q.mutex);
    if (!q.windows.contains(msg.hwnd)) return false;
    q.messages.push_back(msg);
    wake = q.wake;
  }
  if (wake) wake();
  return true;
}

int processMessages() {
  Queue& q = queue();
  int taken = 0;
  for (;;) {
    AppMessage msg;
    MessageHook hook;
    {
      std::lock_guard lock(q.mutex);
      if (q.messages.empty()) return taken;
      msg = q.messages.front();
      q.messages.pop_front();
      hook = q.hook;
    }
    ++taken;
    bool handled = false;
    if (hook) hook(msg, handled);
    if (handled) continue;
    WindowProc proc;
    {
      std::lock_guard lock(q.mutex);
      auto it = q.windows.find(msg.hwnd);
      if (it != q.windows.end()) proc = it->second;
    }
    if (proc) proc(msg);
  }
}

std::size_t pendingMessages() {
  Queue& q = queue();
  std::lock_guard lock(q.mutex);
  return q.messages.size();
}

void setMessageWakeHook(std::function<void()> hook) {
  Queue& q = queue();
  std::lock_guard lock(q.mutex);
  q.wake = std::move(hook);
}

}  // namespace platform
