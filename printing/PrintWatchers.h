#pragma once
// The print watchers of the two auto-connect lists (printers, faxes), one per entry, by the entry's
// index. The main window owns this and calls it on its own thread.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "printing/PrintWatcherHost.h"
#include "printing/TPrintThread.h"

namespace printing {

class PrintWatchers {
 public:
  PrintWatchers(PrintWatcherHost& host, std::uint32_t windowsVersionFlags,
                TPrintThread::TraceSink sink = {});
  // Stops every watcher and waits for each, even at the end of a session: they call the host.
  ~PrintWatchers();
  PrintWatchers(const PrintWatchers&) = delete;
  PrintWatchers& operator=(const PrintWatchers&) = delete;

  // Starts one watcher per entry of the list, stopping the ones running first; watchers of indexes
  // past the list's end are stopped and dropped.
  void StartAll(WatchKind list, std::span<const PrintWatchEntry> entries);
  // Starts the watcher of one entry, stopping the one it had first.
  void StartOne(WatchKind list, std::size_t index, const PrintWatchEntry& entry);
  // Asks the watchers to end, then waits for each in turn, serving the UI thread's hand-overs
  // between 200 ms sleeps; at the end of a session (the host says so) it does not wait. Stopped
  // watchers are freed once they have ended.
  void StopAll(WatchKind list);
  void StopOne(WatchKind list, std::size_t index);
  // Call before the entry at `index` leaves its list: stops its watcher, and the watchers of the
  // later entries move down one index with their entries.
  void RemoveEntry(WatchKind list, std::size_t index);

  // The watcher of an entry, while it has one.
  const TPrintThread* watcher(WatchKind list, std::size_t index) const;
  // Watchers started and not yet ended, of a list.
  std::size_t running(WatchKind list) const;

 private:
  using Watcher = std::unique_ptr<TPrintThread>;
  std::vector<Watcher>& listOf(WatchKind list);
  const std::vector<Watcher>& listOf(WatchKind list) const;
  Watcher create(WatchKind list, const PrintWatchEntry& entry);
  void stop(std::vector<Watcher> watchers);
  void awaitEnd(TPrintThread& watcher);
  void reapRetired();

  PrintWatcherHost& host_;
  std::uint32_t versionFlags_;
  TPrintThread::TraceSink sink_;
  std::vector<Watcher> printers_;
  std::vector<Watcher> faxes_;
  std::vector<Watcher> retired_;  // asked to end at a session's end, not waited for
};

}  // namespace printing
