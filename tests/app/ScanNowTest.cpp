// Scan Now without windows: the refusals with their exact messages and no lock left behind, the
// link unless held here, the automatic lock and its release, and the road by Windows version.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/Dialogs.h"
#include "app/ScanNow.h"
#include "core/DriverInterface.h"
#include "core/NetInfo.h"
#include "support/FakeDeviceIo.h"

namespace {

using app::DeviceData;
using Bytes = std::vector<std::uint8_t>;

DeviceData scanner(const std::string& owner = "") {
  DeviceData d;
  d.bus = 9;
  d.port = "1";
  d.type = "SCANNER";
  d.owner = owner;
  d.serverName = "S";
  d.serverIp = "10.0.0.20";
  d.identity = "04A9 - 1913 - S2";
  d.vid = "04A9";
  d.pid = "1913";
  d.serial = "S2";
  return d;
}

// Every call answered by the test; the driver faked.
struct ScanNowRig {
  ScanNowRig() {
    calls.computerName = "OFFICE-PC";
    calls.windowsVersionFlags = core::kWin6x | core::kWin5xOr6x;
    calls.findDeviceQueues = [this](const DeviceData&, core::DeviceDriverInfo& info) {
      info.ScannerDeviceId = "{6BDD1FC6}\\0003";
      return classBits;
    };
    calls.storedSourceName = [this](const DeviceData&) { return storedSource; };
    calls.message = [this](const std::string& text, unsigned style) {
      messages.push_back(text);
      styles.push_back(style);
    };
    calls.twainPresent = [this] { return twainPresent; };
    calls.findTwainDriver = [this] { return twainPresent = twainOnSystem; };
    calls.hourglass = [](bool) {};
    calls.waitTwoSeconds = [] { return true; };
    calls.freshCopy = [this] { return row; };
    calls.findRowAgain = [this](const DeviceData&) { return rowAfter; };
    calls.runWia = [this](const std::string& id) { wiaRuns.push_back(id); };
    calls.runTwain = [this](const DeviceData&, const std::string& source) {
      twainSources.push_back(source);
      return twainResult;
    };
    calls.clearWindowLock = [this] { windowLockCleared = true; };
    io.reply(core::IOCTL_TCPBUS_LINK_DEVICE, {true});
    io.reply(core::IOCTL_TCPBUS_LOCK_DEVICE, {true});
    io.reply(core::IOCTL_TCPBUS_UNLOCK_DEVICE, {true});
  }
  void twainSystem() { calls.windowsVersionFlags = core::kWin5xOr6x | core::kWin50; }
  std::size_t count(std::uint32_t code) { return io.requestsOf(code).size(); }

  test::FakeDeviceIo io;
  test::ScopedDeviceIo scope{io};
  app::ScanNowCalls calls;
  DeviceData row = scanner();
  std::optional<DeviceData> rowAfter = scanner("OFFICE-PC");
  core::UsbClassBits classBits = core::ClassScanner | core::ClassPrinter;
  std::string storedSource = "Velmora NetScan 3000";
  bool twainPresent = false, twainOnSystem = true, windowLockCleared = false;
  app::TwainRoadResult twainResult{true, true};
  std::vector<std::string> messages, wiaRuns, twainSources;
  std::vector<unsigned> styles;
};

class ScanNowTest : public ::testing::Test, public ScanNowRig {};

TEST_F(ScanNowTest, WiaRoadLinksLocksScansAndUnlocksWithoutUnlinking) {
  app::ScanNow(row, calls);
  EXPECT_EQ(wiaRuns, std::vector<std::string>{"{6BDD1FC6}\\0003"});
  EXPECT_EQ(io.requestsOf(core::IOCTL_TCPBUS_LINK_DEVICE).at(0).bytes, Bytes{1});
  EXPECT_EQ(io.requestsOf(core::IOCTL_TCPBUS_LOCK_DEVICE).at(0).bytes,
            (Bytes{0x01, 0xB0, 0x04, 0x00, 0x00, 0x01}));
  EXPECT_EQ(io.requestsOf(core::IOCTL_TCPBUS_UNLOCK_DEVICE).at(0).bytes, (Bytes{1, 0, 0, 0, 0, 1}));
  EXPECT_EQ(count(core::IOCTL_TCPBUS_UNLINK_DEVICE), 0u);
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(app::ScanNowBusy);
  EXPECT_TRUE(twainSources.empty());
}

TEST_F(ScanNowTest, HeldHereIsLockedWithoutANewLink) {
  row = scanner("OFFICE-PC");
  app::ScanNow(row, calls);
  EXPECT_EQ(count(core::IOCTL_TCPBUS_LINK_DEVICE), 0u);
  EXPECT_EQ(count(core::IOCTL_TCPBUS_LOCK_DEVICE), 1u);
  EXPECT_EQ(count(core::IOCTL_TCPBUS_UNLOCK_DEVICE), 1u);
}

TEST(ScanNowRefusals, EachShowsItsMessageAndLeavesNoLock) {
  struct Case {
    std::string name;
    std::function<void(ScanNowRig&)> arrange;
    std::string message;
    std::size_t links;
  };
  const std::vector<Case> cases = {
      {"no scanner function", [](ScanNowRig& t) { t.classBits = core::ClassPrinter; },
       "The printer does not support scan function !!!", 0},
      {"nothing mapped", [](ScanNowRig& t) { t.classBits = 0; },
       "The printer does not support scan function !!!", 0},
      {"no TWAIN driver", [](ScanNowRig& t) { t.twainSystem(); t.twainOnSystem = false; },
       "No TWAIN driver was found on this system.", 0},
      {"link refused", [](ScanNowRig& t) { t.io.scripted[core::IOCTL_TCPBUS_LINK_DEVICE] = {{false}}; },
       "Connect device failed !", 1},
      {"lock refused", [](ScanNowRig& t) { t.io.scripted[core::IOCTL_TCPBUS_LOCK_DEVICE] = {{false}}; },
       "Connect device failed !!", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScanNowRig t;
    c.arrange(t);
    app::ScanNow(t.row, t.calls);
    EXPECT_EQ(t.messages, std::vector<std::string>{c.message});
    EXPECT_EQ(t.count(core::IOCTL_TCPBUS_LINK_DEVICE), c.links);
    EXPECT_EQ(t.count(core::IOCTL_TCPBUS_UNLOCK_DEVICE), 0u);
    EXPECT_EQ(t.count(core::IOCTL_TCPBUS_UNLINK_DEVICE), 0u);
    EXPECT_TRUE(t.wiaRuns.empty() && t.twainSources.empty());
    EXPECT_FALSE(app::ScanNowBusy);
  }
  // The no-scanner box is the warning, top-most one.
  ScanNowRig t;
  t.classBits = core::ClassPrinter;
  app::ScanNow(t.row, t.calls);
  EXPECT_EQ(t.styles, std::vector<unsigned>{app::kMbWarnTopMost});
}

TEST_F(ScanNowTest, TwainRoadWithoutTheStoredSourceReleasesTheLock) {
  twainSystem();
  twainResult = {false, false};
  app::ScanNow(row, calls);
  EXPECT_EQ(twainSources, std::vector<std::string>{"Velmora NetScan 3000"});
  EXPECT_EQ(messages, std::vector<std::string>{
                          "Can not find scan driver ! \n\nPlease check device status or contact system manager !"});
  EXPECT_EQ(count(core::IOCTL_TCPBUS_UNLOCK_DEVICE), 1u);
  EXPECT_TRUE(windowLockCleared);
  EXPECT_TRUE(wiaRuns.empty());
}

TEST_F(ScanNowTest, TwainRoadUnlocksOnlyWhileTheWindowStillHoldsTheLock) {
  twainSystem();
  twainResult = {true, false};  // the window's idle timer already gave it back
  app::ScanNow(row, calls);
  EXPECT_EQ(count(core::IOCTL_TCPBUS_UNLOCK_DEVICE), 0u);
  EXPECT_TRUE(messages.empty());

  twainResult = {true, true};
  twainPresent = true;  // found the first time: no second search
  twainOnSystem = false;
  app::ScanNow(row, calls);
  EXPECT_EQ(count(core::IOCTL_TCPBUS_UNLOCK_DEVICE), 1u);
  EXPECT_EQ(twainSources.size(), 2u);
}

TEST_F(ScanNowTest, UnattachedServerGoneRowAndASecondRunDoNothingHarmful) {
  row.bus = platform::kInvalidHandle;
  app::ScanNow(row, calls);
  EXPECT_TRUE(io.requests.empty());
  EXPECT_FALSE(app::ScanNowBusy);

  row = scanner();
  rowAfter = std::nullopt;  // the row left the list while scanning: nothing to unlock
  app::ScanNow(row, calls);
  EXPECT_EQ(wiaRuns.size(), 1u);
  EXPECT_EQ(count(core::IOCTL_TCPBUS_UNLOCK_DEVICE), 0u);

  calls.runWia = [this](const std::string&) {
    app::ScanNow(row, calls);  // a second Scan Now while the windows are open
    wiaRuns.push_back("outer");
  };
  const std::size_t locks = count(core::IOCTL_TCPBUS_LOCK_DEVICE);
  app::ScanNow(row, calls);
  EXPECT_EQ(count(core::IOCTL_TCPBUS_LOCK_DEVICE), locks + 1);
}

// Another computer took the device while the windows were open: its hold is left alone on both
// roads, and the scanning window no longer counts the lock as its own.
TEST(ScanNowEnd, ADeviceNowHeldByAnotherComputerIsNotUnlocked) {
  for (const bool twain : {false, true}) {
    SCOPED_TRACE(twain ? "TWAIN" : "WIA");
    ScanNowRig t;
    if (twain) t.twainSystem();
    t.rowAfter = scanner("OTHER-PC");
    app::ScanNow(t.row, t.calls);
    EXPECT_EQ(t.count(core::IOCTL_TCPBUS_LOCK_DEVICE), 1u);
    EXPECT_EQ(t.count(core::IOCTL_TCPBUS_UNLOCK_DEVICE), 0u);
    EXPECT_EQ(t.windowLockCleared, twain);
    EXPECT_TRUE(t.messages.empty());
  }
}

// An exception out of a road's windows, or out of the waits before them, still gives the lock
// back on the way out, and the scanning window no longer counts it as its own.
TEST(ScanNowEnd, AnExceptionOnTheWayStillUnlocks) {
  struct Case {
    std::string name;
    bool twain;
    std::function<void(ScanNowRig&)> arrange;
  };
  const auto fail = [] { throw std::runtime_error("a window's loop"); };
  const std::vector<Case> cases = {
      {"WIA road", false, [&](ScanNowRig& t) { t.calls.runWia = [&](const std::string&) { fail(); }; }},
      {"TWAIN window", true,
       [&](ScanNowRig& t) {
         t.calls.runTwain = [&](const DeviceData&, const std::string&) -> app::TwainRoadResult { fail(); return {}; };
       }},
      {"the settling wait", false, [&](ScanNowRig& t) { t.calls.waitTwoSeconds = [&] { fail(); return true; }; }},
      {"the fresh copy", true, [&](ScanNowRig& t) { t.calls.freshCopy = [&]() -> DeviceData { fail(); return {}; }; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScanNowRig t;
    if (c.twain) t.twainSystem();
    c.arrange(t);
    EXPECT_THROW(app::ScanNow(t.row, t.calls), std::runtime_error);
    EXPECT_EQ(t.count(core::IOCTL_TCPBUS_LOCK_DEVICE), 1u);
    ASSERT_EQ(t.count(core::IOCTL_TCPBUS_UNLOCK_DEVICE), 1u);
    EXPECT_EQ(t.io.requestsOf(core::IOCTL_TCPBUS_UNLOCK_DEVICE).at(0).bytes, (Bytes{1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(t.windowLockCleared, c.twain);
    EXPECT_FALSE(app::ScanNowBusy);
  }
}

// The program's end asked for during the settling wait: neither road opens, and the lock goes back
// before the shutdown gives the device back.
TEST(ScanNowEnd, TheProgramsEndDuringTheWaitOpensNoRoad) {
  for (const bool twain : {false, true}) {
    SCOPED_TRACE(twain ? "TWAIN" : "WIA");
    ScanNowRig t;
    if (twain) t.twainSystem();
    t.calls.waitTwoSeconds = [] { return false; };
    app::ScanNow(t.row, t.calls);
    EXPECT_TRUE(t.wiaRuns.empty());
    EXPECT_TRUE(t.twainSources.empty());
    ASSERT_EQ(t.count(core::IOCTL_TCPBUS_UNLOCK_DEVICE), 1u);
    EXPECT_EQ(t.io.requestsOf(core::IOCTL_TCPBUS_UNLOCK_DEVICE).at(0).bytes, (Bytes{1, 0, 0, 0, 0, 1}));
    EXPECT_TRUE(t.messages.empty());
    EXPECT_FALSE(app::ScanNowBusy);
  }
}

TEST(DeviceCanScan, ScannersAndPrintersWithTheirScannerSetUp) {
  DeviceData d = scanner();
  EXPECT_TRUE(app::DeviceCanScan(d, [] { return false; }));
  d.type = "MFP";
  EXPECT_TRUE(app::DeviceCanScan(d, [] { return true; }));
  EXPECT_FALSE(app::DeviceCanScan(d, [] { return false; }));
  d.type = "MASS STORAGE";
  EXPECT_FALSE(app::DeviceCanScan(d, [] { return true; }));
  EXPECT_TRUE(app::IsTwainSystem(core::kWin40));
  EXPECT_TRUE(app::IsTwainSystem(core::kWin50 | core::kWin5xOr6x));
  EXPECT_FALSE(app::IsTwainSystem(core::kWin5xOr6x));
}

}  // namespace
