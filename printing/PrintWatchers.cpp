#include "printing/PrintWatchers.h"

#include <algorithm>

#include "core/DriverInterface.h"
#include "platform/UiDispatcher.h"

namespace printing {
namespace {

constexpr std::uint32_t kStopPollMs = 200;

}  // namespace

// Waits for a watcher that may itself be waiting for this thread: the window's pending messages
// and the hand-overs run between looks, and each look waits at most 200 ms (less when the
// watcher ends or hands something over).
void PrintWatchers::awaitEnd(TPrintThread& watcher) {
  while (!watcher.finished()) {
    host_.pumpMessages();
    platform::ui::serveFor(kStopPollMs, [&] { return watcher.finished(); });
  }
  watcher.waitFor();
}

PrintWatchers::PrintWatchers(PrintWatcherHost& host, std::uint32_t windowsVersionFlags,
                             TPrintThread::TraceSink sink)
    : host_(host), versionFlags_(windowsVersionFlags), sink_(std::move(sink)) {}

PrintWatchers::~PrintWatchers() {
  std::vector<Watcher> all;
  for (std::vector<Watcher>* list : {&printers_, &faxes_, &retired_})
    for (Watcher& w : *list)
      if (w) all.push_back(std::move(w));
  for (Watcher& w : all) w->terminate();
  for (Watcher& w : all) awaitEnd(*w);
}

std::vector<PrintWatchers::Watcher>& PrintWatchers::listOf(WatchKind list) {
  return list == WatchKind::Fax ? faxes_ : printers_;
}

const std::vector<PrintWatchers::Watcher>& PrintWatchers::listOf(WatchKind list) const {
  return list == WatchKind::Fax ? faxes_ : printers_;
}

PrintWatchers::Watcher PrintWatchers::create(WatchKind list, const PrintWatchEntry& entry) {
  try {
    auto w = std::make_unique<TPrintThread>(host_, entry, versionFlags_, sink_);
    const std::uint32_t unlock = list == WatchKind::Fax ? core::kUnlockSecondsFax : 0;
    w->setSeconds(static_cast<std::int32_t>(core::kLockSecondsAuto), static_cast<std::int32_t>(unlock));
    w->setPriority(platform::ThreadPriority::Lower);
    w->resume();
    return w;
  } catch (...) {
    return nullptr;  // this entry goes unwatched; the others still start
  }
}

void PrintWatchers::StartAll(WatchKind list, std::span<const PrintWatchEntry> entries) {
  std::vector<Watcher>& s = listOf(list);
  stop(std::move(s));
  s.clear();
  for (const PrintWatchEntry& entry : entries) s.push_back(create(list, entry));
}

void PrintWatchers::StartOne(WatchKind list, std::size_t index, const PrintWatchEntry& entry) {
  std::vector<Watcher>& s = listOf(list);
  if (index >= s.size()) s.resize(index + 1);
  std::vector<Watcher> old;
  old.push_back(std::move(s[index]));
  stop(std::move(old));
  s[index] = create(list, entry);
}

void PrintWatchers::StopAll(WatchKind list) {
  std::vector<Watcher>& s = listOf(list);
  const std::size_t count = s.size();
  stop(std::move(s));
  s.clear();
  s.resize(count);
}

void PrintWatchers::StopOne(WatchKind list, std::size_t index) {
  std::vector<Watcher>& s = listOf(list);
  if (index >= s.size()) return;
  std::vector<Watcher> old;
  old.push_back(std::move(s[index]));
  stop(std::move(old));
}

void PrintWatchers::RemoveEntry(WatchKind list, std::size_t index) {
  StopOne(list, index);
  std::vector<Watcher>& s = listOf(list);
  if (index < s.size()) s.erase(s.begin() + static_cast<std::ptrdiff_t>(index));
}

const TPrintThread* PrintWatchers::watcher(WatchKind list, std::size_t index) const {
  const std::vector<Watcher>& s = listOf(list);
  return index < s.size() ? s[index].get() : nullptr;
}

std::size_t PrintWatchers::running(WatchKind list) const {
  const std::vector<Watcher>& s = listOf(list);
  return static_cast<std::size_t>(
      std::count_if(s.begin(), s.end(), [](const Watcher& w) { return w && !w->finished(); }));
}

void PrintWatchers::stop(std::vector<Watcher> watchers) {
  std::erase(watchers, nullptr);
  for (Watcher& w : watchers) w->terminate();
  if (host_.sessionEnding()) {
    for (Watcher& w : watchers) retired_.push_back(std::move(w));
    return;
  }
  for (Watcher& w : watchers) awaitEnd(*w);
  reapRetired();
}

void PrintWatchers::reapRetired() {
  std::erase_if(retired_, [](const Watcher& w) { return w->finished(); });
}

}  // namespace printing
