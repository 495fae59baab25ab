// The queue state and port rule over the simulated office's spooler.
#include <gtest/gtest.h>

#include "PrintingWorld.h"
#include "printing/PrinterQueueState.h"

namespace {

using namespace printtest;

struct PortCase {
  const char* port;
  bool accepted;
  friend void PrintTo(const PortCase& c, std::ostream* os) { *os << '"' << c.port << '"'; }
};

class PortRule : public PrintingWorld, public ::testing::WithParamInterface<PortCase> {};

TEST_P(PortRule, AcceptsOnlyPortsTheWatcherMayDrive) {
  EXPECT_EQ(printing::IsAutoConnectPort(GetParam().port), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, PortRule,
    ::testing::Values(PortCase{"USB001", true}, PortCase{"usb002", true},  // names ignore case
                      PortCase{"COM1:", true},                 // a serial local port
                      PortCase{"LPT1:", false}, PortCase{"FILE:", false},
                      PortCase{"IP_10.0.0.50", false},         // standard TCP/IP
                      PortCase{"COMPANY-PRN", false},          // TCP/IP, though its name holds COM
                      PortCase{"\\\\srv\\laser", false},       // LAN Manager
                      PortCase{"http://srv:631/ipp", false},   // Internet
                      PortCase{"COM7:", true},                 // not in the listing
                      PortCase{"NE01:", true},
                      // A pool is no USB queue, whatever its ports are.
                      PortCase{"USB001,USB002", false}, PortCase{"LPT1:,COM1:", false}));

TEST_F(PrintingWorld, APortListingThatCannotBeHadRefusesEveryPort) {
  auto lab = sim::makeInProcessPrintSpooler(world, "LAB");  // a computer without ports
  platform::setPrintSpooler(lab.get());
  EXPECT_FALSE(printing::IsAutoConnectPort("USB001"));
  platform::setPrintSpooler(spooler.get());
}

TEST_F(PrintingWorld, SetPrinterStateWritesWhatDiffersAndReturnsThePort) {
  EXPECT_EQ(printing::SetPrinterState(platform::kInvalidHandle, true, true), "0");
  const auto opened = spooler->OpenPrinter(kPrinterQueue, platform::kPrinterAllAccess);
  ASSERT_NE(opened.handle, platform::kInvalidHandle);
  const platform::Handle change =
      spooler->FindFirstPrinterChangeNotification(opened.handle, platform::kPrinterChangeSetPrinter);

  EXPECT_EQ(printing::SetPrinterState(opened.handle, true, true), "USB001");
  EXPECT_TRUE(offline(kPrinterQueue));
  EXPECT_TRUE(paused(kPrinterQueue));
  EXPECT_EQ(spooler->WaitForPrinterChange(change, 0), platform::ChangeWait::Fired) << "its own writes";

  ASSERT_TRUE(spooler->FindNextPrinterChangeNotification(change));
  EXPECT_EQ(printing::SetPrinterState(opened.handle, true, true), "USB001");
  EXPECT_EQ(spooler->WaitForPrinterChange(change, 0), platform::ChangeWait::TimedOut)
      << "nothing differed, nothing written";

  EXPECT_EQ(printing::SetPrinterState(opened.handle, true, false), "USB001");
  EXPECT_TRUE(offline(kPrinterQueue));
  EXPECT_FALSE(paused(kPrinterQueue));
  spooler->FindClosePrinterChangeNotification(change);
  spooler->ClosePrinter(opened.handle);
  EXPECT_EQ(printing::SetPrinterState(opened.handle, false, false), "0") << "a closed handle";
}

TEST_F(PrintingWorld, SetPrinterStateWithUseRightsChangesNothingButNamesThePort) {
  const auto opened = spooler->OpenPrinter(kPrinterQueue, platform::kPrinterAccessUse);
  EXPECT_EQ(printing::SetPrinterState(opened.handle, true, true), "USB001");
  EXPECT_FALSE(offline(kPrinterQueue));
  EXPECT_FALSE(paused(kPrinterQueue));
  spooler->ClosePrinter(opened.handle);
}

}  // namespace
