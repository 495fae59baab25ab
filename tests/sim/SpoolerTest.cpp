// The simulated spooler's rules, through the same calls the program makes.
#include <gtest/gtest.h>

#include "SimTestWorld.h"
#include "sim/InProcessPrintSpooler.h"
#include <nlohmann/json.hpp>

#include "sim/WorldCommands.h"

namespace {

using namespace platform;
using Bytes = std::vector<std::uint8_t>;

sim::WorldSetup spoolerWorld() {
  sim::WorldSetup setup = simtest::smallWorld();
  sim::PrinterQueue q;
  q.name = "Laser";
  q.port = "USB001";
  q.driver = "Laser Driver";
  q.device = sim::DeviceRef{simtest::kServer, 1};
  setup.hosts[0].queues = {q};
  setup.hosts[0].ports = {{"USB001", "Virtual printer port for USB", "USB Monitor"},
                          {"COM1:", "Local Port", "Local Port"}};
  setup.printMs = 3000;
  return setup;
}

class Spooler : public ::testing::Test {
 protected:
  ManualClock clock;
  sim::World world{spoolerWorld(), clock};
  std::unique_ptr<PrintSpooler> a = sim::makeInProcessPrintSpooler(world, "A");
  simtest::Station station{world, "A"};

  void SetUp() override { setClock(&clock); }
  void TearDown() override { setClock(nullptr); }

  Handle open(std::uint32_t access = kPrinterAllAccess) {
    const OpenPrinterResult r = a->OpenPrinter("laser", access);  // names ignore case
    EXPECT_EQ(r.error, 0u);
    return r.handle;
  }
  sim::PrinterQueue queue() {
    const sim::WorldState s = world.state();
    return s.hosts[0].host.queues.at(0);
  }
  std::vector<JobInfo> jobs(Handle h) {
    std::vector<JobInfo> out;
    const SpoolerAnswer size = a->EnumJobs(h, 0, 100, 0, out);
    if (size.needed == 0) return out;
    EXPECT_TRUE(a->EnumJobs(h, 0, 100, size.needed, out).ok);
    return out;
  }
  std::vector<std::string> jobHistory() {
    std::vector<std::string> out;
    for (const sim::LogEntry& e : world.log(0, 4096))
      if (e.what == "job") out.push_back(e.result + " " + std::to_string(e.jobId) + " " + e.document);
    return out;
  }
};

TEST_F(Spooler, OpenAnswers1801ForAMissingQueueAnd5ForRightsTheQueueDoesNotGrant) {
  EXPECT_EQ(a->OpenPrinter("Nothing", kPrinterAccessUse).error, kErrorInvalidPrinterName);
  ASSERT_EQ(world.setQueueAccess("A", "Laser", sim::kGrantAdminister), "");
  EXPECT_EQ(a->OpenPrinter("Laser", kPrinterAllAccess).error, kErrorAccessDenied);
  EXPECT_NE(a->OpenPrinter("Laser", kPrinterAccessAdminister).handle, kInvalidHandle);
  ASSERT_EQ(world.setQueueAccess("A", "Laser", sim::kGrantUse), "");
  EXPECT_EQ(a->OpenPrinter("Laser", kPrinterAccessAdminister).error, kErrorAccessDenied);
  EXPECT_NE(a->OpenPrinter("Laser", kPrinterAccessUse).handle, kInvalidHandle);
  ASSERT_EQ(world.setQueueAccess("A", "Laser", sim::kGrantNone), "");
  EXPECT_EQ(a->OpenPrinter("Laser", kPrinterAccessUse).error, kErrorAccessDenied);
  auto b = sim::makeInProcessPrintSpooler(world, "B");
  EXPECT_EQ(b->OpenPrinter("Laser", kPrinterAccessUse).error, kErrorInvalidPrinterName)
      << "queues belong to their computer";
}

TEST_F(Spooler, SizedCallsAskTheSizeFirstAndAnEmptyListingNeedsNothing) {
  const Handle h = open();
  std::vector<JobInfo> listed;
  SpoolerAnswer r = a->EnumJobs(h, 0, 100, 0, listed);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.needed, 0u);

  ASSERT_EQ(world.printJob("A", "Laser", "one.pdf"), "");
  ASSERT_EQ(world.printJob("A", "Laser", "two.pdf"), "");
  r = a->EnumJobs(h, 0, 100, 0, listed);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, kErrorInsufficientBuffer);
  EXPECT_EQ(r.needed, sim::jobInfoBytes(queue(), queue().jobs[0]) + sim::jobInfoBytes(queue(), queue().jobs[1]));
  EXPECT_FALSE(a->EnumJobs(h, 0, 100, r.needed - 1, listed).ok);
  ASSERT_TRUE(a->EnumJobs(h, 0, 100, r.needed, listed).ok);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].id, 1u);
  EXPECT_EQ(listed[1].document, "two.pdf");
  ASSERT_TRUE(a->EnumJobs(h, 1, 100, 4096, listed).ok);
  ASSERT_EQ(listed.size(), 1u) << "from the second job on";
  EXPECT_EQ(listed[0].id, 2u);

  PrinterInfo info;
  r = a->GetPrinter(h, 0, info);
  EXPECT_EQ(r.error, kErrorInsufficientBuffer);
  EXPECT_EQ(r.needed, sim::printerInfoBytes(queue()));
  ASSERT_TRUE(a->GetPrinter(h, r.needed, info).ok);
  EXPECT_EQ(info.portName, "USB001");
  EXPECT_EQ(info.driverName, "Laser Driver");
  EXPECT_EQ(info.jobCount, 2u);

  std::vector<PortInfo> ports;
  r = a->EnumPorts(0, ports);
  ASSERT_FALSE(r.ok);
  ASSERT_TRUE(a->EnumPorts(r.needed, ports).ok);
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[1].description, "Local Port");
  EXPECT_EQ(a->GetPrinter(0x7777, 4096, info).error, kErrorInvalidHandle);
}

TEST_F(Spooler, OnlyThePauseAndResumeCommandsChangeThePausedState) {
  const Handle h = open();
  ASSERT_TRUE(a->ControlPrinter(h, kPrinterControlPause).ok);
  PrinterInfo info;
  ASSERT_TRUE(a->GetPrinter(h, 4096, info).ok);
  EXPECT_EQ(info.status, kPrinterStatusPaused);
  info.status = 0;
  info.attributes = kPrinterAttributeWorkOffline;
  ASSERT_TRUE(a->SetPrinter(h, info).ok);
  EXPECT_EQ(queue().status, kPrinterStatusPaused) << "a level-2 write leaves the status";
  EXPECT_EQ(queue().attributes, kPrinterAttributeWorkOffline);
  ASSERT_TRUE(a->ControlPrinter(h, kPrinterControlResume).ok);
  EXPECT_EQ(queue().status, 0u);
  EXPECT_EQ(a->ControlPrinter(h, 9).error, kErrorInvalidParameter);

  const Handle use = open(kPrinterAccessUse);
  EXPECT_EQ(a->SetPrinter(use, info).error, kErrorAccessDenied);
  EXPECT_EQ(a->ControlPrinter(use, kPrinterControlPause).error, kErrorAccessDenied);
  ASSERT_EQ(world.printJob("A", "Laser", "x"), "");
  EXPECT_EQ(a->SetJob(use, 1, kJobControlDelete).error, kErrorAccessDenied);
}

TEST_F(Spooler, NotificationsFireForTheirFlagsUntilReset) {
  const Handle h = open();
  const Handle jobsOnly = a->FindFirstPrinterChangeNotification(h, kPrinterChangeJob);
  const Handle printerToo = a->FindFirstPrinterChangeNotification(h, 0x702);
  ASSERT_NE(jobsOnly, kInvalidHandle);
  EXPECT_EQ(a->WaitForPrinterChange(jobsOnly, 500), ChangeWait::TimedOut);
  EXPECT_EQ(clock.nowMs(), 500) << "the wait sleeps on the clock";

  ASSERT_TRUE(a->ControlPrinter(h, kPrinterControlPause).ok);  // the program's own write
  EXPECT_EQ(a->WaitForPrinterChange(jobsOnly, 0), ChangeWait::TimedOut);
  EXPECT_EQ(a->WaitForPrinterChange(printerToo, 0), ChangeWait::Fired);
  EXPECT_EQ(a->WaitForPrinterChange(printerToo, 0), ChangeWait::Fired) << "until reset";
  ASSERT_TRUE(a->FindNextPrinterChangeNotification(printerToo));
  EXPECT_EQ(a->WaitForPrinterChange(printerToo, 0), ChangeWait::TimedOut);

  ASSERT_EQ(world.printJob("A", "Laser", "doc"), "");
  EXPECT_EQ(a->WaitForPrinterChange(jobsOnly, 0), ChangeWait::Fired);
  a->FindClosePrinterChangeNotification(jobsOnly);
  EXPECT_EQ(a->WaitForPrinterChange(jobsOnly, 0), ChangeWait::Failed);
  EXPECT_EQ(a->FindFirstPrinterChangeNotification(h, 0), kInvalidHandle);
}

TEST_F(Spooler, AVanishedQueueEndsTheWaitAndItsHandlesNameNothing) {
  const Handle h = open();
  const Handle change = a->FindFirstPrinterChangeNotification(h, kPrinterChangeJob);
  ASSERT_EQ(world.removeQueue("A", "Laser"), "");
  EXPECT_EQ(a->WaitForPrinterChange(change, 2000), ChangeWait::Fired);
  EXPECT_FALSE(a->FindNextPrinterChangeNotification(change));
  PrinterInfo info;
  EXPECT_FALSE(a->GetPrinter(h, 4096, info).ok);
  EXPECT_EQ(a->OpenPrinter("Laser", kPrinterAccessUse).error, kErrorInvalidPrinterName);
  EXPECT_NE(world.printJob("A", "Laser", "late"), "");
}

TEST_F(Spooler, TheEnginePrintsTheHeadJobOnlyWhileOnlineResumedAndHeldHere) {
  const Handle h = open();
  ASSERT_TRUE(a->ControlPrinter(h, kPrinterControlPause).ok);
  ASSERT_EQ(world.printJob("A", "Laser", "one.pdf"), "");
  ASSERT_EQ(world.printJob("A", "Laser", "two.pdf"), "");
  ASSERT_TRUE(station.attach());
  ASSERT_TRUE(station.link(1));
  clock.advanceMs(10'000);
  world.tick();
  EXPECT_EQ(jobs(h).size(), 2u) << "paused";
  EXPECT_EQ(jobs(h)[0].status, 0u);

  ASSERT_TRUE(a->ControlPrinter(h, kPrinterControlResume).ok);
  world.tick();
  EXPECT_EQ(jobs(h)[0].status, sim::kJobStatusPrinting);
  clock.advanceMs(2'999);
  world.tick();
  EXPECT_EQ(jobs(h).size(), 2u);
  clock.advanceMs(1);
  world.tick();
  ASSERT_EQ(jobs(h).size(), 1u) << "done after printMs";

  ASSERT_EQ(world.take("B", simtest::kServer, 1, 1, 60), "");  // held elsewhere now
  clock.advanceMs(10'000);
  world.tick();
  EXPECT_EQ(jobs(h).size(), 1u);
  ASSERT_TRUE(a->SetJob(h, 2, kJobControlCancel).ok);
  EXPECT_EQ(a->SetJob(h, 2, kJobControlDelete).error, kErrorInvalidParameter) << "gone";
  EXPECT_EQ(jobHistory(), (std::vector<std::string>{"queued 1 one.pdf", "queued 2 two.pdf",
                                                    "printing 1 one.pdf", "printed 1 one.pdf",
                                                    "printing 2 two.pdf", "interrupted 2 two.pdf",
                                                    "cancelled 2 two.pdf"}));
  const auto line = sim::logEntryToJson(world.log(0, 1).at(0));
  EXPECT_EQ(line["what"], "job");
  EXPECT_EQ(line["device"], "Laser");
  EXPECT_EQ(line["job"], 1);
  EXPECT_EQ(line["document"], "one.pdf");
}

TEST_F(Spooler, AQueueWithoutADeviceOrAWorkOfflineQueueKeepsItsJobs) {
  const Handle h = open();
  PrinterInfo info;
  ASSERT_TRUE(a->GetPrinter(h, 4096, info).ok);
  info.attributes = kPrinterAttributeWorkOffline;
  ASSERT_TRUE(a->SetPrinter(h, info).ok);
  ASSERT_TRUE(station.attach());
  ASSERT_TRUE(station.link(1));
  ASSERT_EQ(world.printJob("A", "Laser", "held"), "");
  clock.advanceMs(60'000);
  world.tick();
  EXPECT_EQ(jobs(h).size(), 1u);
  EXPECT_NE(world.printJob("A", "Laser", std::string(256, 'x')), "") << "document name too long";
}

}  // namespace
