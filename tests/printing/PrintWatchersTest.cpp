// Starting and stopping the watchers of a list.
#include <gtest/gtest.h>

#include "PrintingWorld.h"

namespace {

using namespace printtest;
using printing::WatchKind;

class Watchers : public PrintingWorld {
 protected:
  Watchers() : PrintingWorld(5000, /*gated=*/false) {}

  int tracedCount(const std::string& part) {
    std::lock_guard lock(traceMutex);
    return static_cast<int>(std::count_if(traceLines.begin(), traceLines.end(), [&](const std::string& l) {
      return l.find(part) != std::string::npos;
    }));
  }
};

TEST_F(Watchers, RepeatedStartsLeaveExactlyOneWatcherPerEntry) {
  const std::vector<printing::PrintWatchEntry> entries = {printerEntry(), printerEntry(kNetworkQueue)};
  for (int i = 0; i < 3; ++i) watchers->StartAll(WatchKind::Printer, entries);
  EXPECT_EQ(watchers->running(WatchKind::Printer), 2u);
  EXPECT_EQ(watchers->watcher(WatchKind::Printer, 0)->entry().queueName, kPrinterQueue);
  EXPECT_EQ(watchers->watcher(WatchKind::Printer, 1)->entry().queueName, kNetworkQueue);
  EXPECT_EQ(tracedCount("Print Thread Terminated"), 4) << "each earlier watcher ended first";

  watchers->StartOne(WatchKind::Printer, 1, printerEntry(kNetworkQueue));
  EXPECT_EQ(watchers->running(WatchKind::Printer), 2u);
  EXPECT_EQ(tracedCount("Print Thread Terminated"), 5);

  watchers->StopAll(WatchKind::Printer);
  EXPECT_EQ(watchers->running(WatchKind::Printer), 0u);
  EXPECT_EQ(tracedCount("Print Thread Terminated"), 7);
}

TEST_F(Watchers, TheListsAreSeparateAndFaxWatchersUnlockAfter180Seconds) {
  watchers->StartAll(WatchKind::Printer, std::vector{printerEntry()});
  watchers->StartAll(WatchKind::Fax, std::vector{faxEntry()});
  const printing::TPrintThread* printer = watchers->watcher(WatchKind::Printer, 0);
  const printing::TPrintThread* fax = watchers->watcher(WatchKind::Fax, 0);
  ASSERT_TRUE(printer && fax);
  EXPECT_EQ(printer->lockSeconds(), 1200);
  EXPECT_EQ(printer->unlockSeconds(), 0);
  EXPECT_EQ(fax->lockSeconds(), 1200);
  EXPECT_EQ(fax->unlockSeconds(), 180);
  watchers->StopAll(WatchKind::Printer);
  EXPECT_EQ(watchers->running(WatchKind::Fax), 1u);
}

TEST_F(Watchers, RemovingAnEntryStopsItsWatcherAndMovesTheLaterOnesDown) {
  watchers->StartAll(WatchKind::Printer,
                     std::vector{printerEntry(), printerEntry(kNetworkQueue), printerEntry(kFaxQueue)});
  const printing::TPrintThread* last = watchers->watcher(WatchKind::Printer, 2);
  watchers->RemoveEntry(WatchKind::Printer, 1);
  EXPECT_EQ(watchers->running(WatchKind::Printer), 2u);
  EXPECT_EQ(watchers->watcher(WatchKind::Printer, 1), last);
  EXPECT_EQ(watchers->watcher(WatchKind::Printer, 2), nullptr);
  EXPECT_EQ(tracedCount("Print Thread Terminated : [ Network Printer ]"), 1);

  watchers->StartAll(WatchKind::Printer, std::vector{printerEntry()});
  EXPECT_EQ(watchers->running(WatchKind::Printer), 1u) << "a shorter list drops the rest";
}

}  // namespace
