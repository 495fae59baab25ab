// Port types, the printer list and the port tools over a simulated computer's spooler.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/NetInfo.h"
#include "platform/Clock.h"
#include "platform/PrintSpooler.h"
#include "platform/SimClientPrintSpooler.h"
#include "printing/PrinterPorts.h"
#include "printing/PrinterSetup.h"
#include "sim/InProcessPrintSpooler.h"
#include "sim/World.h"

namespace {

using namespace printing;

constexpr std::uint32_t kWin7 = core::kWin6x | core::kWin5xOr6x;
constexpr std::uint32_t kWinXp = core::kWin5xOr6x;
constexpr std::uint32_t kWinNt4 = core::kWin40;

sim::PrinterQueue queueOn(const char* name, const char* port) {
  sim::PrinterQueue q;
  q.name = name;
  q.port = port;
  q.driver = name;
  return q;
}

sim::WorldSetup portWorld() {
  sim::Host pc;
  pc.name = "PC";
  pc.ip = {10, 0, 0, 1};
  pc.ports = {{"LPT1:", "Local Port", "Local Port"},
              {"COM1:", "Local Port", "Local Port"},
              {"FILE:", "Local Port", "Local Port"},
              {"C:\\out.prn", "Local Port", "Local Port"},
              {"IP_10.0.0.50", "Standard TCP/IP Port", "Standard TCP/IP Port"},
              {"COMPANY-PRN", "Standard TCP/IP Port", "Standard TCP/IP Port"},
              {"\\\\srv\\laser", "LAN Manager Printer Port", "LAN Manager Print Monitor"},
              {"http://srv:631/ipp", "Internet Port", "Internet Port Monitor"},
              {"FPR5:", "", "Fax Monitor"},
              {"PDF:", "PDF Port", "PDF Monitor"},
              {"Microsoft Document Imaging Writer Port:", "Local Port", "Local Port"},
              {"USB001", "Virtual printer port for USB", "USB Monitor"},
              {"DUP1", "Local Port", "Local Port"},
              {"dup1", "Standard TCP/IP Port", "Standard TCP/IP Port"}};
  pc.queues = {queueOn("Laser", "LPT1:"),        queueOn("Net", "IP_10.0.0.50"),
               queueOn("Share", "\\\\srv\\laser"), queueOn("Web", "http://srv:631/ipp"),
               queueOn("PDF Writer", "PDF:"),    queueOn("Pool", "LPT1:,COM1:"),
               queueOn("Ghost", "Nowhere"),      queueOn("USB Printer", "USB001")};
  sim::Host empty;  // a computer whose ports cannot be listed
  empty.name = "EMPTY";
  empty.ip = {10, 0, 0, 2};
  sim::WorldSetup setup;
  setup.hosts = {pc, empty};
  return setup;
}

class Ports : public ::testing::Test {
 protected:
  platform::ManualClock clock;
  std::unique_ptr<sim::World> world = std::make_unique<sim::World>(portWorld(), clock);
  std::unique_ptr<platform::PrintSpooler> spooler = sim::makeInProcessPrintSpooler(*world, "PC");
  std::vector<std::string> told;
  PortMessageSink tell = [this](const std::string& text) { told.push_back(text); };

  void SetUp() override { platform::setPrintSpooler(spooler.get()); }
  void TearDown() override { platform::setPrintSpooler(nullptr); }

  void restartWith(const std::function<void(sim::WorldSetup&)>& change) {
    sim::WorldSetup setup = portWorld();
    change(setup);
    world = std::make_unique<sim::World>(setup, clock);
    spooler = sim::makeInProcessPrintSpooler(*world, "PC");
    platform::setPrintSpooler(spooler.get());
  }
  sim::Host host() { return world->state().hosts[0].host; }
  const sim::PrinterPort* port(const sim::Host& h, const std::string& name) {
    for (const sim::PrinterPort& p : h.ports)
      if (p.name == name) return &p;
    return nullptr;
  }
  std::string queuePort(const std::string& name) {
    for (const sim::PrinterQueue& q : host().queues)
      if (q.name == name) return q.port;
    return "?";
  }
};

struct TypeCase {
  const char* port;
  int type;
  friend void PrintTo(const TypeCase& c, std::ostream* os) { *os << '"' << c.port << '"'; }
};

class PortTypes : public Ports, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(PortTypes, ComeFromTheDescriptionAndThenTheName) {
  EXPECT_EQ(GetPortType(GetParam().port), GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PortTypes,
    ::testing::Values(TypeCase{"C:\\out.prn", kPortLocal}, TypeCase{"LPT1:", kPortLpt},
                      TypeCase{"lpt1:", kPortLpt},  // names compare without case
                      TypeCase{"COM1:", kPortCom}, TypeCase{"FILE:", kPortFile},
                      TypeCase{"IP_10.0.0.50", kPortTcpIp},
                      TypeCase{"COMPANY-PRN", kPortTcpIp},  // TCP/IP whatever its name
                      TypeCase{"\\\\srv\\laser", kPortLanManager},
                      TypeCase{"http://srv:631/ipp", kPortInternet}, TypeCase{"FPR5:", kPortFpr},
                      TypeCase{"PDF:", kPortPdf},
                      TypeCase{"Microsoft Document Imaging Writer Port:", kPortMicrosoft},
                      TypeCase{"USB001", kPortOther}, TypeCase{"Nowhere", kPortMissing},
                      TypeCase{"dup1", kPortLocal},  // only the first port of a name counts
                      // A text naming several ports is no port's name.
                      TypeCase{"LPT1:,COM1:", kPortMissing}, TypeCase{"USB001,LPT1:", kPortMissing},
                      TypeCase{"NOPE:, COM1:", kPortMissing}, TypeCase{"", kPortMissing}));

// A spooler whose port list would take more than anyone gives it.
class HugePortList final : public platform::PrintSpooler {
 public:
  platform::OpenPrinterResult OpenPrinter(std::string_view, std::uint32_t) override { return {}; }
  void ClosePrinter(platform::Handle) override {}
  platform::SpoolerAnswer GetPrinter(platform::Handle, std::uint32_t, platform::PrinterInfo&) override { return {}; }
  platform::SpoolerAnswer SetPrinter(platform::Handle, const platform::PrinterInfo&) override { return {}; }
  platform::SpoolerAnswer ControlPrinter(platform::Handle, std::uint32_t) override { return {}; }
  platform::SpoolerAnswer EnumJobs(platform::Handle, std::uint32_t, std::uint32_t, std::uint32_t,
                                   std::vector<platform::JobInfo>&) override { return {}; }
  platform::SpoolerAnswer SetJob(platform::Handle, std::uint32_t, std::uint32_t) override { return {}; }
  platform::SpoolerAnswer EnumPorts(std::uint32_t, std::vector<platform::PortInfo>&) override {
    return {false, platform::kErrorInsufficientBuffer, 0xFFFFFFF0u};
  }
  platform::Handle FindFirstPrinterChangeNotification(platform::Handle, std::uint32_t) override { return platform::kInvalidHandle; }
  platform::ChangeWait WaitForPrinterChange(platform::Handle, std::uint32_t, const platform::Event*) override {
    return platform::ChangeWait::Failed;
  }
  bool FindNextPrinterChangeNotification(platform::Handle) override { return false; }
  void FindClosePrinterChangeNotification(platform::Handle) override {}
};

TEST_F(Ports, UnlistablePortsAndAListTooLargeGiveTheirOwnTypes) {
  auto empty = sim::makeInProcessPrintSpooler(*world, "EMPTY");
  platform::setPrintSpooler(empty.get());
  EXPECT_EQ(GetPortType("LPT1:"), kPortUnlistable);
  EXPECT_TRUE(ListPrinters().empty());
  EXPECT_EQ(DeletePort("LPT1:", false), 0) << "cannot be classified";
  HugePortList huge;
  platform::setPrintSpooler(&huge);
  EXPECT_EQ(GetPortType("LPT1:"), kPortNoMemory);
}

TEST_F(Ports, ThePrinterListComesReversedWithoutInternetFprPdfMicrosoftAndMissingPorts) {
  const std::vector<PrinterRow> rows = ListPrinters();
  std::vector<std::string> shown;
  for (const PrinterRow& r : rows) shown.push_back(r.caption + "|" + r.port + "|" + r.type);
  EXPECT_EQ(shown, (std::vector<std::string>{"USB Printer|USB001|0", "Share|\\\\srv\\laser|2",
                                             "Net|IP_10.0.0.50|3", "Laser|LPT1:|6"}))
      << "the pool (LPT1:,COM1:) names no one port";
}

TEST_F(Ports, LocalPortsAreMadeThroughTheMonitorAndItsRefusalIsReported) {
  std::vector<std::string> opened;
  const auto recording = platform::makeSpoolerOverCalls(
      "PC", [&](const platform::simwire::SpoolerRequest& r) {
        if (r.op == platform::simwire::SpoolerOp::OpenPrinter) opened.push_back(r.name);
        return std::optional(world->spooler(r));
      });
  platform::setPrintSpooler(recording.get());
  EXPECT_EQ(AddLocalPort("LPT2:", kWin7), 1);
  EXPECT_EQ(opened, std::vector<std::string>{", XcvMonitor Local Port"});
  ASSERT_NE(port(host(), "LPT2:"), nullptr);
  EXPECT_EQ(port(host(), "LPT2:")->monitor, "Local Port");
  EXPECT_EQ(AddLocalPort("lpt2:", kWin7), 1) << "already there serves as well";
  EXPECT_EQ(AddLocalPort("LPT2:,LPT3:", kWin7), kPortRequestFailed) << "a name the monitor refuses";
  platform::setPrintSpooler(spooler.get());
  EXPECT_EQ(AddLocalPort("LPT3:", kWinXp), 0) << "nothing on Windows 5.x";
  EXPECT_EQ(port(host(), "LPT3:"), nullptr);
  EXPECT_EQ(AddLocalPort("LPT3:", kWinNt4), 1) << "the older call";
  EXPECT_EQ(AddLocalPort("LPT3:", kWinNt4), static_cast<int>(platform::kErrorAlreadyExists));
  restartWith([](sim::WorldSetup& s) { s.hosts[0].spoolerAdmin = false; });
  EXPECT_EQ(AddLocalPort("LPT2:", kWin7), 0) << "the monitor does not open";
}

TEST_F(Ports, TcpIpPortsCarryTheTargetAndFailWithoutOne) {
  PortTarget target;
  target.protocol = 2;
  EXPECT_EQ(AddTcpIpPort("IP_10.0.0.60", false, target, kWin7), kPortRequestFailed)
      << "no address: the monitor refuses, and that is a failure";
  EXPECT_EQ(port(host(), "IP_10.0.0.60"), nullptr);
  target.secondHost = "10.0.0.60";
  target.portNumber = 9100;
  EXPECT_EQ(AddTcpIpPort("IP_10.0.0.60", false, target, kWin7), 1);
  EXPECT_EQ(port(host(), "IP_10.0.0.60")->protocol, 1u) << "raw";
  EXPECT_EQ(port(host(), "IP_10.0.0.60")->portNumber, 9100u);
  target.protocol = 1;
  target.lprQueue = "lp0";
  target.useFirstHost = true;
  target.firstHost = "printer.local";
  EXPECT_EQ(AddTcpIpPort("IP_10.0.0.60", true, target, kWin7), 1);
  const sim::Host h = host();
  EXPECT_EQ(port(h, "IP_10.0.0.60")->protocol, 2u) << "LPR";
  EXPECT_EQ(port(h, "IP_10.0.0.60")->portNumber, 515u);
  EXPECT_EQ(port(h, "IP_10.0.0.60")->address, "printer.local");
  EXPECT_EQ(AddTcpIpPort("IP_10.0.0.61", true, target, kWin7), kPortRequestFailed) << "no such port";
  EXPECT_EQ(AddTcpIpPort("IP_10.0.0.61", false, target, kWinNt4), 1) << "not on 4.0";
  restartWith([](sim::WorldSetup& s) { s.hosts[0].spoolerAdmin = false; });
  EXPECT_EQ(AddTcpIpPort("IP_10.0.0.61", false, target, kWin7), kPortMonitorNotOpened);
}

TEST_F(Ports, DeletePortProbesAndDeletes) {
  EXPECT_EQ(DeletePort("\\\\srv\\laser", false), 2);
  EXPECT_EQ(DeletePort("COM1:", false), 1);
  EXPECT_EQ(DeletePort("Nowhere", false), 0);
  EXPECT_EQ(DeletePort("Nowhere", true), 0);
  EXPECT_EQ(DeletePort("COM1:", true), kPortDeleteFailed) << "the pool prints to it";
  EXPECT_EQ(DeletePort("FILE:", true), 0);
  EXPECT_EQ(port(host(), "FILE:"), nullptr);
}

TEST_F(Ports, SetPrinterPortMovesTheQueueAndClearsBidiAndWorkOffline) {
  restartWith([](sim::WorldSetup& s) {
    s.hosts[0].queues[0].attributes = platform::kPrinterAttributeEnableBidi |
                                      platform::kPrinterAttributeWorkOffline | 0x40;
  });
  EXPECT_EQ(SetPrinterPort("Laser", "COM1:", tell), 1);
  EXPECT_EQ(queuePort("Laser"), "COM1:");
  EXPECT_EQ(host().queues[0].attributes, 0x40u);
  EXPECT_EQ(SetPrinterPort("Laser", "LPT9:", tell), 0) << "a refused write is a failure";
  EXPECT_EQ(queuePort("Laser"), "COM1:");
  EXPECT_TRUE(told.empty());
  EXPECT_EQ(SetPrinterPort("Nobody", "COM1:", tell), 0);
  ASSERT_EQ(world->setQueueAccess("PC", "Laser", sim::kGrantAdminister), "");
  EXPECT_EQ(SetPrinterPort("Laser", "LPT1:", tell), 0);
  EXPECT_EQ(told, (std::vector<std::string>{
                      "OpenPrinter() : Error : 1801",
                      "You can't set printer port, you might not have permission to manage the printer."}));
}

TEST_F(Ports, TheDialogSetsAPortCreatingItOrReplacingALanManagerPortThroughATemporaryOne) {
  PrinterSetup setup(kWin7, tell);
  setup.Refresh({"Net"});
  std::vector<std::string> captions;
  for (const PrinterRow& r : setup.rows()) captions.push_back(r.caption + "|" + r.type);
  EXPECT_EQ(captions, (std::vector<std::string>{"USB Printer|0", "Laser|6", "Net|90"}))
      << "the LAN Manager row goes; the bound queue is marked and moved down";
  EXPECT_TRUE(setup.greyed(2));
  EXPECT_FALSE(setup.setPortEnabled());

  setup.SetPort();
  setup.Select(2);
  setup.SetPort();
  setup.Select(1);
  EXPECT_TRUE(setup.setPortEnabled());
  setup.portText = "LPT5:";
  setup.SetPort();
  EXPECT_EQ(queuePort("Laser"), "LPT5:");
  EXPECT_EQ(port(host(), "LPT5:")->monitor, "Local Port") << "made first";
  EXPECT_EQ(setup.rows()[1].port, "LPT5:");
  EXPECT_EQ(told, (std::vector<std::string>{
                      "Please select one printer !",
                      "Can not set printer because this print driver already be set to auto-connect "
                      "printer.\n\nPlease delete it from auto-connect printer list before setting printer.",
                      "Success in setting port to printer !"}));

  told.clear();
  restartWith([](sim::WorldSetup& s) { s.hosts[0].queues[2].port = "FILE:"; });  // Share moves away
  setup.Refresh({});
  setup.portText = "\\\\srv\\laser";
  setup.Select(0);
  setup.SetPort();
  EXPECT_EQ(queuePort("USB Printer"), "\\\\srv\\laser");
  EXPECT_EQ(port(host(), "\\\\srv\\laser")->monitor, "Local Port") << "now a local port";
  EXPECT_EQ(port(host(), "TEMP_PORT"), nullptr) << "the temporary port is gone again";
  EXPECT_EQ(told, (std::vector<std::string>{"Success in setting port to printer !"}));
}

TEST_F(Ports, TheDialogSortsWarnsOfAnExistingSharedPortAndDeletesJobs) {
  PrinterSetup setup(kWinNt4, tell);
  EXPECT_FALSE(setup.addNewPrinterShown());
  EXPECT_EQ(PrinterSetup::Caption("Tarvex", "Velmora Network USB Utility"),
            "Tarvex Velmora Network USB Utility - Printer Setup");
  setup.Refresh({});
  setup.SortBy(0);
  EXPECT_EQ(setup.rows().front().caption, "Laser") << "ascending, since the first sorted after the last";
  setup.SortBy(0);
  EXPECT_EQ(setup.rows().front().caption, "USB Printer");
  setup.SortBy(2);
  EXPECT_EQ(setup.rows().front().type, "6") << "the first row (type 0) sorted before the last (3)";

  for (const char* doc : {"a", "b", "c"}) ASSERT_EQ(world->printJob("PC", "Laser", doc), "");
  setup.Select(std::nullopt);
  setup.DeleteJobs();
  EXPECT_EQ(told.back(), "Please select one printer !");
  for (std::size_t i = 0; i < setup.rows().size(); ++i)
    if (setup.rows()[i].caption == "Laser") setup.Select(i);
  EXPECT_TRUE(setup.deleteJobsEnabled());
  setup.DeleteJobs();
  EXPECT_TRUE(host().queues[0].jobs.empty());

  told.clear();
  setup.portText = "lpt1:";
  setup.Refresh({});
  EXPECT_EQ(told, (std::vector<std::string>{"SMB Port already exist !"}));
  EXPECT_FALSE(setup.listEnabled());
  setup.Select(0);
  EXPECT_FALSE(setup.setPortEnabled());
}

TEST_F(Ports, AddNewPrinterStartsTheSystemWizard) {
  PrinterSetup setup(kWin7, tell);
  EXPECT_TRUE(setup.addNewPrinterShown());
  setup.AddNewPrinter();
  setup.Refresh({});
  EXPECT_EQ(setup.rows().front().caption, "New Printer");
}

}  // namespace
