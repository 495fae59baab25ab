// A print watcher against the simulated office: its spooler, its driver and a main window played
// over that driver. The watcher runs only while the test lets simulated time pass.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "PrintingWorld.h"
#include "support/ForwardingSpooler.h"

namespace {

using namespace printtest;
using Bytes = std::vector<std::uint8_t>;
using Results = std::vector<std::string>;

constexpr std::uint32_t kLink = core::IOCTL_TCPBUS_LINK_DEVICE;
constexpr std::uint32_t kLock = core::IOCTL_TCPBUS_LOCK_DEVICE;
constexpr std::uint32_t kUnlock = core::IOCTL_TCPBUS_UNLOCK_DEVICE;

std::size_t succeeded(const std::vector<sim::LogEntry>& entries) {
  return static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(),
                                                [](const sim::LogEntry& e) { return e.result == "ok"; }));
}

class PrintWatcher : public PrintingWorld {
 protected:
  using PrintingWorld::PrintingWorld;

  void print(const char* queueName, const char* document = "report.pdf") {
    ASSERT_EQ(world.printJob("OFFICE", queueName, document), "");
  }

  // Opens the gate and waits for the watcher of the first entry to end by itself.
  bool endsByItself(printing::WatchKind kind = printing::WatchKind::Printer) {
    clock.open();
    for (int i = 0; i < 5000; ++i) {
      if (watchers->watcher(kind, 0)->finished()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }
};

TEST_F(PrintWatcher, HoldsTheQueueThenLinksLocksPrintsAndUnlocksForAJob) {
  start(printerEntry());
  run(10'000);
  EXPECT_TRUE(offline(kPrinterQueue));
  EXPECT_TRUE(paused(kPrinterQueue));
  EXPECT_TRUE(requests(kLink).empty());

  print(kPrinterQueue);
  run(30'000);
  const auto links = requests(kLink);
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].request, Bytes{1});
  const auto locks = requests(kLock);
  ASSERT_EQ(locks.size(), 1u);
  EXPECT_EQ(locks[0].request, (Bytes{0x01, 0xB0, 0x04, 0x00, 0x00, 0x01})) << "type 1 for 1200 s";
  const auto unlocks = requests(kUnlock);
  ASSERT_EQ(unlocks.size(), 1u);
  EXPECT_EQ(unlocks[0].request, (Bytes{0x01, 0x00, 0x00, 0x00, 0x00, 0x01})) << "type 1, 0 s";
  EXPECT_EQ(jobHistory(), (Results{"queued", "printing", "printed"}));
  EXPECT_LT(seqOfRequest(kLink), seqOfRequest(kLock));
  EXPECT_LT(seqOfRequest(kLock), seqOfJob("printed"));
  EXPECT_LT(seqOfJob("printed"), seqOfRequest(kUnlock));
  EXPECT_EQ(device(1).holder, "");
  EXPECT_TRUE(offline(kPrinterQueue)) << "held again once the device is free";
  EXPECT_TRUE(paused(kPrinterQueue));
}

TEST_F(PrintWatcher, AFaxQueueUnlocksWith180SecondsAndIsHeldOnceTheyAreOver) {
  makeHost(false);
  start(faxEntry());
  run(10'000);
  print(kFaxQueue, "fax.tif");
  run(30'000);
  EXPECT_EQ(host->attaches, 1);
  EXPECT_TRUE(traced("rebuild tcp bus : 10.0.0.20"));
  ASSERT_EQ(requests(kLock).size(), 1u);
  EXPECT_EQ(requests(kLock)[0].request, (Bytes{0x02, 0xB0, 0x04, 0x00, 0x00, 0x01}));
  ASSERT_EQ(requests(kUnlock).size(), 1u);
  EXPECT_EQ(requests(kUnlock)[0].request, (Bytes{0x02, 0xB4, 0x00, 0x00, 0x00, 0x01}));
  EXPECT_EQ(device(2).holder, "OFFICE") << "still held for the 180 s";
  EXPECT_FALSE(offline(kFaxQueue)) << "online while this host holds the device";

  run(200'000);
  EXPECT_EQ(device(2).holder, "");
  EXPECT_TRUE(offline(kFaxQueue));
  EXPECT_TRUE(paused(kFaxQueue));
}

TEST_F(PrintWatcher, TheLookUpTracesItsAttachAndItsFailureWithTheirLineEnds) {
  makeHost(false);
  start(printerEntry());
  run(10'000);
  print(kPrinterQueue);
  run(10'000);
  EXPECT_TRUE(tracedLine("rebuild tcp bus : 10.0.0.20\n"));

  const platform::Handle bus = host->findServer(kMac)->bus;
  host->failRowLookUps = true;
  run(4'000);
  char expected[128];
  std::snprintf(expected, sizeof expected,
                "[Warning] CheckAndGetTCPBus() : Office Printer : SData : %08X DData : 00000000\n",
                static_cast<unsigned>(bus));
  EXPECT_TRUE(tracedLine(expected));
  host->failRowLookUps = false;
}

TEST_F(PrintWatcher, ADeviceTheUserHoldsIsLockedWithoutANewLink) {
  ASSERT_EQ(world.take("OFFICE", kServer, 1, 2, 3600), "");
  start(printerEntry());
  run(10'000);
  EXPECT_FALSE(offline(kPrinterQueue)) << "idle and held here: online and resumed";
  EXPECT_FALSE(paused(kPrinterQueue));

  print(kPrinterQueue);
  run(30'000);
  EXPECT_TRUE(requests(kLink).empty());
  ASSERT_EQ(requests(kLock).size(), 1u);
  EXPECT_EQ(requests(kLock)[0].request, lockBytes(1, 1200));
  EXPECT_EQ(jobHistory(), (Results{"queued", "printing", "printed"}));
  ASSERT_EQ(requests(kUnlock).size(), 1u);
  EXPECT_EQ(requests(kUnlock)[0].request, lockBytes(1, 0));
}

TEST_F(PrintWatcher, ADeviceAnotherHostHoldsIsLinkedAgainAtEveryPollUntilItIsFree) {
  ASSERT_EQ(world.take("LAB", kServer, 1, 2, 3600), "");
  start(printerEntry());
  run(10'000);
  EXPECT_TRUE(offline(kPrinterQueue)) << "idle and held elsewhere: offline and paused";
  EXPECT_TRUE(paused(kPrinterQueue));

  print(kPrinterQueue);
  run(20'000);
  const auto refused = requests(kLink);
  EXPECT_GE(refused.size(), 2u);
  EXPECT_EQ(succeeded(refused), 0u);
  EXPECT_TRUE(requests(kLock).empty());
  EXPECT_EQ(jobHistory(), (Results{"queued"}));

  ASSERT_EQ(world.release(kServer, 1), "");
  run(30'000);
  EXPECT_EQ(succeeded(requests(kLink)), 1u);
  EXPECT_EQ(succeeded(requests(kLock)), 1u);
  EXPECT_EQ(jobHistory(), (Results{"queued", "printing", "printed"}));
  EXPECT_EQ(succeeded(requests(kUnlock)), 1u);
}

class SlowPrinter : public PrintWatcher {
 protected:
  SlowPrinter() : PrintWatcher(3'600'000) {}
};

TEST_F(SlowPrinter, ADroppedDeviceIsConnectedAgainWhileJobsRemain) {
  start(printerEntry());
  run(10'000);
  print(kPrinterQueue);
  run(20'000);
  ASSERT_EQ(succeeded(requests(kLock)), 1u);

  ASSERT_EQ(world.release(kServer, 1), "");
  run(20'000);
  EXPECT_TRUE(traced("Already Connected but no Owner !"));
  EXPECT_EQ(succeeded(requests(kLink)), 2u);
  EXPECT_EQ(succeeded(requests(kLock)), 2u);
  EXPECT_EQ(device(1).holder, "OFFICE");
  EXPECT_FALSE(offline(kPrinterQueue));
  EXPECT_EQ(jobHistory(), (Results{"queued", "printing", "interrupted", "printing"}));
}

// Deletes the queue's first job just before the watcher resets a notification whose wait timed
// out, so that the reset swallows the job's removal.
class SwallowingSpooler final : public test::ForwardingSpooler {
 public:
  explicit SwallowingSpooler(platform::PrintSpooler& inner) : ForwardingSpooler(inner), inner_(inner) {}
  std::atomic<bool> armed{false};

  platform::OpenPrinterResult OpenPrinter(std::string_view name, std::uint32_t access) override {
    const auto r = inner_.OpenPrinter(name, access);
    printer_ = r.handle;
    return r;
  }
  platform::ChangeWait WaitForPrinterChange(platform::Handle c, std::uint32_t ms,
                                            const platform::Event* stop) override {
    lastWait_ = inner_.WaitForPrinterChange(c, ms, stop);
    return lastWait_;
  }
  bool FindNextPrinterChangeNotification(platform::Handle c) override {
    if (armed && lastWait_ == platform::ChangeWait::TimedOut) {
      std::vector<platform::JobInfo> jobs;
      inner_.EnumJobs(printer_, 0, 1, 4096, jobs);
      if (!jobs.empty() && inner_.SetJob(printer_, jobs[0].id, platform::kJobControlDelete).ok)
        armed = false;
    }
    return inner_.FindNextPrinterChangeNotification(c);
  }

 private:
  platform::PrintSpooler& inner_;
  platform::Handle printer_ = platform::kInvalidHandle;
  platform::ChangeWait lastWait_ = platform::ChangeWait::Fired;
};

TEST_F(SlowPrinter, AJobGoneUnnoticedByANotificationStillUnlocksTheDevice) {
  SwallowingSpooler swallowing(*spooler);
  platform::setPrintSpooler(&swallowing);
  start(printerEntry());
  run(10'000);
  print(kPrinterQueue);
  run(20'000);
  ASSERT_EQ(succeeded(requests(kLock)), 1u);

  swallowing.armed = true;
  run(10'000);
  EXPECT_FALSE(swallowing.armed) << "the job was removed under a timed-out wait";
  ASSERT_EQ(succeeded(requests(kUnlock)), 1u);
  EXPECT_EQ(device(1).holder, "");
  clock.open();
  watchers.reset();
  platform::setPrintSpooler(spooler.get());
}

struct RefusalCase {
  std::uint32_t versionFlags;
  const char* removal;
  friend void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << "flags " << c.versionFlags << ": " << c.removal;
  }
};

class RefusedPort : public PrintWatcher, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedPort, EachJobBringsOneMessageAndIsRemoved) {
  useVersionFlags(GetParam().versionFlags);
  start(printerEntry(kNetworkQueue));
  run(10'000);
  print(kNetworkQueue, "first.pdf");
  run(10'000);
  EXPECT_EQ(host->messages, 1);
  EXPECT_EQ(jobHistory(), (Results{"queued", GetParam().removal}));

  print(kNetworkQueue, "second.pdf");
  run(10'000);
  EXPECT_EQ(host->messages, 2);
  EXPECT_EQ(jobHistory(), (Results{"queued", GetParam().removal, "queued", GetParam().removal}));
  EXPECT_TRUE(requests(kLink).empty());
}

INSTANTIATE_TEST_SUITE_P(Versions, RefusedPort,
                         ::testing::Values(RefusalCase{1 | 2, "deleted"},  // 6.x
                                           RefusalCase{2 | 8, "deleted"},  // 5.0
                                           RefusalCase{4, "deleted"},      // 4.0
                                           RefusalCase{0, "cancelled"}));  // any other

TEST_F(PrintWatcher, AfterAFailedRemovalNoMessageComesAndNoJobIsConnected) {
  ASSERT_EQ(world.setQueueAccess("OFFICE", kNetworkQueue, sim::kGrantUse), "");
  start(printerEntry(kNetworkQueue));
  run(10'000);
  print(kNetworkQueue, "first.pdf");
  run(10'000);
  EXPECT_EQ(host->messages, 1);
  EXPECT_EQ(queue(kNetworkQueue).jobs.size(), 1u) << "use rights cannot remove it";

  print(kNetworkQueue, "second.pdf");
  run(30'000);
  EXPECT_EQ(host->messages, 1);
  EXPECT_TRUE(requests(kLink).empty());
  EXPECT_EQ(queue(kNetworkQueue).jobs.size(), 2u);
}

TEST_F(PrintWatcher, AQueueThatDoesNotExistEndsTheWatcherAndChangesNothing) {
  start(printerEntry("No Such Queue"));
  ASSERT_TRUE(endsByItself());
  EXPECT_TRUE(traced("OpenPrinter Error ! 1801 : there is no printer installed."));
  for (std::uint32_t code : {kLink, kLock, kUnlock}) EXPECT_TRUE(requests(code).empty());
  for (const char* name : {kPrinterQueue, kFaxQueue, kNetworkQueue}) {
    EXPECT_FALSE(offline(name));
    EXPECT_FALSE(paused(name));
  }
}

struct AccessCase {
  const char* grant;
  std::uint32_t grants;
  int denials;     // before an open succeeds
  bool holdsQueue;  // the watcher may set the queue's state
  friend void PrintTo(const AccessCase& c, std::ostream* os) { *os << c.grant; }
};

class AccessFallback : public PrintWatcher, public ::testing::WithParamInterface<AccessCase> {};

TEST_P(AccessFallback, LowersTheRightsAskedStepByStep) {
  const AccessCase& c = GetParam();
  ASSERT_EQ(world.setQueueAccess("OFFICE", kPrinterQueue, c.grants), "");
  start(printerEntry());
  run(10'000);
  std::lock_guard lock(traceMutex);
  const auto denied = std::count_if(traceLines.begin(), traceLines.end(), [](const std::string& l) {
    return l.find("no access rights for a printer.") != std::string::npos;
  });
  const bool opened = std::find(traceLines.begin(), traceLines.end(),
                                "[Office Printer] OpenPrinter OK !") != traceLines.end();
  if (c.denials >= 0) {
    EXPECT_EQ(denied, c.denials);
    EXPECT_TRUE(opened);
  } else {
    EXPECT_GE(denied, 3) << "denied at every level, it keeps trying";
    EXPECT_FALSE(opened);
  }
  EXPECT_EQ((queue(kPrinterQueue).attributes & 0x400) != 0, c.holdsQueue);
  EXPECT_EQ((queue(kPrinterQueue).status & 1) != 0, c.holdsQueue);
}

INSTANTIATE_TEST_SUITE_P(Grants, AccessFallback,
                         ::testing::Values(AccessCase{"full", sim::kGrantFull, 0, true},
                                           AccessCase{"administer", sim::kGrantAdminister, 1, true},
                                           AccessCase{"use", sim::kGrantUse, 2, false},
                                           AccessCase{"none", sim::kGrantNone, -1, false}),
                         [](const auto& p) { return std::string(p.param.grant); });

TEST_F(PrintWatcher, StoppingLeavesTheQueueOfflineButNotPaused) {
  start(printerEntry());
  run(10'000);
  clock.open();
  watchers->StopAll(printing::WatchKind::Printer);
  EXPECT_EQ(watchers->running(printing::WatchKind::Printer), 0u);
  EXPECT_TRUE(offline(kPrinterQueue));
  EXPECT_FALSE(paused(kPrinterQueue));
}

TEST_F(PrintWatcher, AtTheEndOfASessionStoppingDoesNotWaitAndLeavesTheQueueAlone) {
  start(printerEntry());
  run(10'000);
  host->ending = true;
  // The watcher is parked on the gated clock: only a stop that does not wait returns here.
  watchers->StopAll(printing::WatchKind::Printer);
  EXPECT_EQ(watchers->watcher(printing::WatchKind::Printer, 0), nullptr);
  clock.open();
  watchers.reset();
  EXPECT_TRUE(offline(kPrinterQueue));
  EXPECT_TRUE(paused(kPrinterQueue));
}

}  // namespace
