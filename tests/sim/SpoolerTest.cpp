// The simulated spooler's rules, through the same calls the program makes.
#include <gtest/gtest.h>

#include "SimTestWorld.h"
#include "sim/InProcessPrintSpooler.h"
#include <nlohmann/json.hpp>

#include "platform/PortRecords.h"
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

// ---------------------------------------------------------------- printers, ports, monitors

class SpoolerPorts : public Spooler {
 protected:
  std::vector<std::string> portNames() {
    std::vector<std::string> out;
    const sim::WorldState s = world.state();
    for (const sim::PrinterPort& p : s.hosts[0].host.ports) out.push_back(p.name);
    return out;
  }
  Handle monitor(const std::string& name, std::uint32_t access = kServerAccessAdminister) {
    const OpenPrinterResult r = a->OpenPrinter(",XcvMonitor " + name, access);
    EXPECT_EQ(r.error, 0u) << name;
    return r.handle;
  }
  // The monitor's status, or 0xFFFFFFFF when the call did not reach it.
  std::uint32_t xcv(Handle h, const std::string& command, const Bytes& input) {
    std::vector<std::uint8_t> output;
    const XcvAnswer r = a->XcvData(h, command, input, 0, output);
    return r.ok ? r.status : 0xFFFFFFFFu;
  }
  static platform::TcpIpPortRecord tcpRecord(const std::string& name) {
    platform::TcpIpPortRecord r;
    r.portName = name;
    r.protocol = kProtocolRawTcp;
    r.ipAddress = "10.0.0.60";
    r.portNumber = 9100;
    return r;
  }
  void setHostAdmin(bool admin) {
    sim::WorldSetup setup = spoolerWorld();
    setup.hosts[0].spoolerAdmin = admin;
    world2 = std::make_unique<sim::World>(setup, clock);
    a = sim::makeInProcessPrintSpooler(*world2, "A");
  }
  std::unique_ptr<sim::World> world2;
};

TEST_F(SpoolerPorts, LocalPrintersAtLevel5ComeInTheSpoolersOrderWithTheirPorts) {
  ASSERT_EQ(a->StartAddPrinterWizard().error, 0u);
  std::vector<PrinterInfo5> printers;
  const SpoolerAnswer size = a->EnumPrinters(kPrinterEnumLocal, 0, printers);
  EXPECT_EQ(size.error, kErrorInsufficientBuffer);
  EXPECT_EQ(size.needed, sim::printerInfo5Bytes(queue()) +
                             sim::printerInfo5Bytes(world.state().hosts[0].host.queues[1]));
  ASSERT_TRUE(a->EnumPrinters(kPrinterEnumLocal, size.needed, printers).ok);
  ASSERT_EQ(printers.size(), 2u);
  EXPECT_EQ(printers[0].printerName, "Laser");
  EXPECT_EQ(printers[0].portName, "USB001");
  EXPECT_EQ(printers[1].printerName, "New Printer") << "the wizard's queue";
  EXPECT_EQ(printers[1].portName, "COM1:") << "on the first port nobody prints to";
  ASSERT_TRUE(a->StartAddPrinterWizard().ok);
  EXPECT_EQ(world.state().hosts[0].host.queues[2].name, "New Printer (2)");
  EXPECT_TRUE(a->EnumPrinters(0x4, 0, printers).ok) << "no connections here";
  EXPECT_TRUE(printers.empty());
}

TEST_F(SpoolerPorts, MonitorsOpenOnlyByTheirExactNameAndWithTheRightToAdminister) {
  for (const char* name : {",XcvMonitor Local Port", ", XcvMonitor Local Port",
                           ", XcvMonitor Standard TCP/IP Port"}) {
    const OpenPrinterResult r = a->OpenPrinter(name, kServerAccessAdminister);
    EXPECT_EQ(r.error, 0u) << name;
    a->ClosePrinter(r.handle);
  }
  for (const char* name : {",XcvMonitor Nobody", ",  XcvMonitor Local Port", ",XcvMonitorLocal Port",
                           " ,XcvMonitor Local Port", ",XcvMonitor  Local Port",
                           "XcvMonitor Local Port", ",XcvMonitor "})
    EXPECT_EQ(a->OpenPrinter(name, kServerAccessAdminister).error, kErrorInvalidPrinterName) << name;
  EXPECT_NE(monitor("USB Monitor"), kInvalidHandle) << "a monitor one of the ports names";
  const Handle local = monitor("Local Port", kServerAccessEnumerate);
  EXPECT_EQ(xcv(local, "AddPort", wideTextBytes("LPT2:")), kErrorAccessDenied);
  PrinterInfo info;
  EXPECT_EQ(a->GetPrinter(local, 4096, info).error, kErrorInvalidHandle) << "not a queue";
  std::vector<std::uint8_t> output;
  EXPECT_EQ(a->XcvData(open(), "AddPort", wideTextBytes("X"), 0, output).error, kErrorInvalidHandle)
      << "a queue is no monitor";

  setHostAdmin(false);
  EXPECT_EQ(a->OpenPrinter(",XcvMonitor Local Port", kServerAccessAdminister).error, kErrorAccessDenied);
  EXPECT_EQ(a->DeletePort("COM1:").error, kErrorAccessDenied);
  EXPECT_EQ(a->AddPortEx("LPT2:", "Local Port").error, kErrorAccessDenied);
  EXPECT_EQ(a->StartAddPrinterWizard().error, kErrorAccessDenied);
}

TEST_F(SpoolerPorts, TheLocalMonitorAddsAndDeletesPortsByWideName) {
  const Handle local = monitor("Local Port");
  EXPECT_EQ(xcv(local, "AddPort", wideTextBytes("LPT2:")), 0u);
  EXPECT_EQ(xcv(local, "AddPort", wideTextBytes("lpt2:")), kErrorAlreadyExists) << "case ignored";
  EXPECT_EQ(xcv(local, "ConfigPort", wideTextBytes("LPT2:")), 0u);
  EXPECT_EQ(xcv(local, "ConfigPort", wideTextBytes("USB001")), kErrorUnknownPort) << "not its own";
  const std::vector<Bytes> malformed = {{}, {'A', 0}, {'A', 0, 0}, wideTextBytes(""), wideTextBytes("A,B")};
  for (const Bytes& input : malformed) EXPECT_EQ(xcv(local, "AddPort", input), kErrorInvalidParameter);
  EXPECT_EQ(xcv(local, "Frobnicate", wideTextBytes("X")), kErrorNotSupported);
  EXPECT_EQ(portNames(), (std::vector<std::string>{"USB001", "COM1:", "LPT2:"}));
  EXPECT_EQ(world.state().hosts[0].host.ports[2].monitor, "Local Port");

  EXPECT_EQ(a->DeletePort("usb001").error, kErrorBusy) << "Laser prints to it";
  EXPECT_EQ(a->DeletePort("LPT9:").error, kErrorUnknownPort);
  EXPECT_TRUE(a->DeletePort("LPT2:").ok);
  EXPECT_EQ(xcv(local, "DeletePort", wideTextBytes("COM1:")), 0u);
  EXPECT_TRUE(a->AddPortEx("LPT3:", "Local Port").ok);
  EXPECT_EQ(a->AddPortEx("LPT3:", "Local Port").error, kErrorAlreadyExists);
  EXPECT_EQ(a->AddPortEx("IP_1", "Standard TCP/IP Port").error, kErrorNotSupported);
  EXPECT_EQ(portNames(), (std::vector<std::string>{"USB001", "LPT3:"}));
}

TEST_F(SpoolerPorts, TheTcpIpMonitorTakesItsPortRecordForRawAndLprPorts) {
  const Handle tcp = monitor("Standard TCP/IP Port");
  platform::TcpIpPortRecord raw = tcpRecord("IP_10.0.0.60");
  EXPECT_EQ(xcv(tcp, "AddPort", encodeTcpIpPortRecord(raw)), 0u);
  EXPECT_EQ(xcv(tcp, "AddPort", encodeTcpIpPortRecord(raw)), kErrorAlreadyExists);
  platform::TcpIpPortRecord lpr = raw;
  lpr.protocol = kProtocolLpr;
  lpr.portNumber = kLprPortNumber;
  lpr.queue = "lp0";
  lpr.ipAddress.clear();
  lpr.hostAddress = "printer.local";
  EXPECT_EQ(xcv(tcp, "ConfigPort", encodeTcpIpPortRecord(lpr)), 0u);
  const sim::PrinterPort port = world.state().hosts[0].host.ports.back();
  EXPECT_EQ(port.description, "Standard TCP/IP Port");
  EXPECT_EQ(port.monitor, "Standard TCP/IP Port");
  EXPECT_EQ(port.protocol, kProtocolLpr);
  EXPECT_EQ(port.address, "printer.local");
  EXPECT_EQ(port.lprQueue, "lp0");
  const auto shown = nlohmann::json::parse(sim::runCommand(world, R"({"cmd":"ports","host":"A"})").text);
  EXPECT_EQ(shown["A"][2]["protocol"], "lpr");
  EXPECT_EQ(shown["A"][2]["portNumber"], 515);

  struct Case {
    const char* what;
    std::function<void(platform::TcpIpPortRecord&)> spoil;
    const char* command;
    std::uint32_t status;
  };
  const std::vector<Case> cases = {
      {"no address", [](auto& r) { r.ipAddress.clear(); }, "AddPort", kErrorInvalidParameter},
      {"LPR without a queue", [](auto& r) { r.protocol = kProtocolLpr; }, "AddPort", kErrorInvalidParameter},
      {"protocol 3", [](auto& r) { r.protocol = 3; }, "AddPort", kErrorInvalidParameter},
      {"version 2", [](auto& r) { r.version = 2; }, "AddPort", kErrorInvalidParameter},
      {"size field", [](auto& r) { r.size = 900; }, "AddPort", kErrorInvalidParameter},
      {"no name", [](auto& r) { r.portName.clear(); }, "AddPort", kErrorInvalidParameter},
      {"unknown port", [](auto&) {}, "ConfigPort", kErrorUnknownPort},
      {"a local port", [](auto& r) { r.portName = "COM1:"; }, "ConfigPort", kErrorUnknownPort},
      {"a command it lacks", [](auto&) {}, "DeletePort", kErrorNotSupported},
  };
  for (const Case& c : cases) {
    platform::TcpIpPortRecord r = tcpRecord("IP_10.0.0.61");
    c.spoil(r);
    EXPECT_EQ(xcv(tcp, c.command, encodeTcpIpPortRecord(r)), c.status) << c.what;
  }
  Bytes cut = encodeTcpIpPortRecord(tcpRecord("IP_10.0.0.61"));
  cut.pop_back();
  EXPECT_EQ(xcv(tcp, "AddPort", cut), kErrorInvalidParameter) << "963 bytes";
  EXPECT_EQ(portNames().size(), 3u);
}

TEST_F(SpoolerPorts, SetPrinterMovesAQueueOnlyToPortsThatAreThere) {
  const Handle h = open();
  PrinterInfo info;
  ASSERT_TRUE(a->GetPrinter(h, 4096, info).ok);
  info.portName = "LPT7:";
  EXPECT_EQ(a->SetPrinter(h, info).error, kErrorUnknownPort);
  info.portName = "USB001, LPT7:";
  EXPECT_EQ(a->SetPrinter(h, info).error, kErrorUnknownPort) << "every port of a pool";
  info.portName = "com1:,USB001";
  info.attributes = kPrinterAttributeEnableBidi;
  ASSERT_TRUE(a->SetPrinter(h, info).ok);
  EXPECT_EQ(queue().port, "com1:,USB001");
  EXPECT_EQ(queue().attributes, kPrinterAttributeEnableBidi);
  EXPECT_EQ(a->DeletePort("COM1:").error, kErrorBusy) << "a pool holds it too";
  const auto shown = nlohmann::json::parse(sim::runCommand(world, R"({"cmd":"queues"})").text);
  EXPECT_EQ(shown["A"][0]["monitor"], "Local Port") << "the monitor of the pool's first port";
}

TEST_F(SpoolerPorts, Level3ListsJobIdsThatCanBeDeleted) {
  const Handle h = open();
  std::vector<std::uint32_t> ids;
  EXPECT_TRUE(a->EnumJobIds(h, 0, 100, 0, ids).ok) << "an empty queue needs nothing";
  for (const char* doc : {"a", "b", "c"}) ASSERT_EQ(world.printJob("A", "Laser", doc), "");
  const SpoolerAnswer size = a->EnumJobIds(h, 0, 100, 0, ids);
  EXPECT_EQ(size.needed, 3 * sim::kJobInfo3Bytes);
  ASSERT_TRUE(a->EnumJobIds(h, 1, 100, size.needed, ids).ok);
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{2, 3}));
  for (std::uint32_t id : ids) EXPECT_TRUE(a->SetJob(h, id, kJobControlDelete).ok);
  EXPECT_EQ(jobs(h).size(), 1u);
  EXPECT_EQ(a->EnumJobIds(0x7777, 0, 100, 4096, ids).error, kErrorInvalidHandle);
}

}  // namespace
