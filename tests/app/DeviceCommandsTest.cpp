#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "app/DeviceMenu.h"
#include "app/Eject.h"
#include "core/DriverInterface.h"
#include "core/NetInfo.h"
#include "platform/ConfigManager.h"
#include "support/FakeDeviceIo.h"
#include "support/TempRegistry.h"

namespace {

using app::DeviceData;
using Bytes = std::vector<std::uint8_t>;

DeviceData device(const std::string& type, const std::string& owner = "", int lockType = 0) {
  DeviceData d;
  d.bus = 9;
  d.port = "2";
  d.type = type;
  d.owner = owner;
  d.lockType = lockType;
  d.lockCount = owner.empty() ? 0 : 1;
  d.vid = "04F9";
  d.pid = "0A2B";
  d.serial = "SN1";
  d.displayName = "Stick";
  return d;
}

std::string items(const app::DeviceMenuItems& m) {
  std::string s;
  if (m.printManage) s += m.printManageCaption + ",";
  if (m.scanManage) s += m.scanManageCaption + ",";
  if (m.scanNow) s += "Scan Now,";
  if (m.connect) s += "Connect,";
  if (m.disconnect) s += "Disconnect,";
  if (m.requestUse) s += "Request To Use,";
  return s;
}

TEST(DeviceMenuTest, ItemsByTypeAndState) {
  struct Case {
    std::string type, owner;
    int lockType, printerIndex;
    bool scanSetUp;
    std::string expect;
  } cases[] = {
      {"PRINTER", "", 0, -1, false, "Manage Device,Connect,"},
      {"Printer", "", 0, 0, false, "TroubleShoot,Connect,"},
      {"MFP", "", 0, 0, true, "TroubleShoot,Scan Now,Connect,"},
      {"MFP", "OFFICE-PC", 2, -1, false, "Manage Device,Disconnect,"},
      {"PRINTER", "LAB-PC", 2, 0, false, "Request To Use,"},
      {"PRINTER", "LAB-PC", 1, -1, false, "Manage Device,Connect,"},  // used for printing there
      {"MASS STORAGE", "", 0, 1, false, "Connect,"},
      {"MASS STORAGE", "LAB-PC", 2, 1, false, "Request To Use,"},
      {"Scanner", "OFFICE-PC", 1, -1, false, "TroubleShoot,Scan Now,Disconnect,"},
      {"UNKNOWN", "", 0, -1, false, "Manage Device,Connect,"},
  };
  for (const auto& c : cases) {
    DeviceData d = device(c.type, c.owner, c.lockType);
    d.printerIndex = c.printerIndex;
    const auto m = app::PrepareDeviceMenu(d, "OFFICE-PC", [&] { return c.scanSetUp; });
    EXPECT_EQ(items(m), c.expect) << c.type << " held by '" << c.owner << "'";
  }
  EXPECT_TRUE(app::ScanSetUpIn(true, "Laser", 1, "", core::kWin6x | core::kWin5xOr6x));
  EXPECT_FALSE(app::ScanSetUpIn(true, "Laser", 1, "", core::kWin5xOr6x | core::kWin50));
  EXPECT_TRUE(app::ScanSetUpIn(true, "Laser", 1, "TWAIN Source", core::kWin40));
  EXPECT_FALSE(app::ScanSetUpIn(false, "Laser", 1, "", 0));
  EXPECT_FALSE(app::ScanSetUpIn(true, "Laser", 2, "", 0));
}

class DeviceCommandsTest : public ::testing::Test {
 protected:
  test::FakeDeviceIo io;
  test::ScopedDeviceIo scope{io};
  test::TempRegistry registry;
};

TEST_F(DeviceCommandsTest, ConnectLocksStorageForThreeDaysAndOthersForAnHour) {
  io.reply(core::IOCTL_TCPBUS_LINK_DEVICE, {true});
  io.reply(core::IOCTL_TCPBUS_LOCK_DEVICE, {true});
  DeviceData storage = device("MASS STORAGE");
  storage.printerIndex = 1;  // the server lets clients connect its storage
  EXPECT_EQ(app::ConnectDevice(storage), app::LinkResult::Done);
  DeviceData printer = device("PRINTER");
  printer.port = "1";
  EXPECT_EQ(app::ConnectDevice(printer), app::LinkResult::Done);
  const auto locks = io.requestsOf(core::IOCTL_TCPBUS_LOCK_DEVICE);
  ASSERT_EQ(locks.size(), 2u);
  EXPECT_EQ(locks[0].bytes, (Bytes{0x02, 0x80, 0xF4, 0x03, 0x00, 0x02}));
  EXPECT_EQ(locks[1].bytes, (Bytes{0x01, 0x10, 0x0E, 0x00, 0x00, 0x02}));
  EXPECT_EQ(io.requestsOf(core::IOCTL_TCPBUS_LINK_DEVICE)[0].bytes, (Bytes{2}));
}

TEST_F(DeviceCommandsTest, RefusalsAndFailuresAndTheirMessages) {
  DeviceData storage = device("MASS STORAGE");
  storage.printerIndex = 0;  // server mode
  EXPECT_EQ(app::ConnectDevice(storage), app::LinkResult::StorageInServerMode);
  EXPECT_TRUE(io.requests.empty());
  EXPECT_EQ(app::LinkResultMessage(app::LinkResult::StorageInServerMode),
            "Can not connect because the storage access mode is currently in Server mode, not "
            "Corvane mode.");

  DeviceData noBus = device("PRINTER");
  noBus.bus = platform::kInvalidHandle;
  EXPECT_EQ(app::ConnectDevice(noBus), app::LinkResult::NoBus);
  EXPECT_EQ(app::LinkResultMessage(app::LinkResult::NoBus), "");

  EXPECT_EQ(app::ConnectDevice(device("PRINTER")), app::LinkResult::LinkFailed);
  io.reply(core::IOCTL_TCPBUS_LINK_DEVICE, {true});
  EXPECT_EQ(app::ConnectDevice(device("PRINTER")), app::LinkResult::LockFailed);
  EXPECT_EQ(app::LinkResultMessage(app::LinkResult::LinkFailed), "Connect device failed !");
  EXPECT_EQ(app::LinkResultMessage(app::LinkResult::LockFailed), "Connect device failed !!");

  EXPECT_EQ(app::DisconnectDevice(device("PRINTER")), app::LinkResult::UnlinkFailed);
  EXPECT_EQ(io.requestsOf(core::IOCTL_TCPBUS_UNLOCK_DEVICE)[0].bytes, (Bytes{2, 0, 0, 0, 0, 2}));
  EXPECT_EQ(app::LinkResultMessage(app::LinkResult::UnlinkFailed), "Disconnect device failed !");

  io.reply(core::IOCTL_TCPBUS_REQUEST_TO_USE, {true});
  EXPECT_EQ(app::RequestDeviceUse(device("PRINTER", "LAB-PC", 2)), app::LinkResult::Done);
  EXPECT_EQ(io.requestsOf(core::IOCTL_TCPBUS_REQUEST_TO_USE)[0].bytes, (Bytes{2, 1, 0, 0, 0, 0}));
}

// Plug and play's records of this computer, as the simulated host writes them.
void plugIn(const std::string& instance, const std::string& busy) {
  auto key = platform::registry().openKey(
      platform::RegRoot::LocalMachine,
      "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_04f9&Pid_0A2B\\" + instance,
      platform::kKeyAllAccess, true);
  key->setString("Busy", busy);
}

TEST_F(DeviceCommandsTest, EjectResults) {
  EXPECT_EQ(app::EjectStorage(0x04F9, 0x0A2B, "SN1"), app::kEjectNoRecord);
  plugIn("OTHER", "0");
  EXPECT_EQ(app::EjectStorage(0x04F9, 0x0A2B, "SN1"), app::kEjectNoInstance);
  EXPECT_EQ(app::EjectStorage(0x04F9, 0x0A2B, "0"), app::kEjected);  // no serial: the first one
  plugIn("SN1", "1");
  EXPECT_EQ(app::EjectStorage(0x04F9, 0x0A2B, "SN1"), app::kEjectVetoed);
  plugIn("SN1", "0");
  EXPECT_EQ(app::EjectStorage(0x04F9, 0x0A2B, "SN1"), app::kEjected);
  EXPECT_EQ(app::EjectStorage(0x04F9, 0x0A2B, "sn1"), app::kEjectNoInstance);  // exact bytes
}

TEST_F(DeviceCommandsTest, TheEjectStepAsksOnlyWhenItIsNotKnownToBeSafe) {
  int asked = 0;
  auto cancel = [&](const std::string& name, app::EjectTrouble why) {
    ++asked;
    EXPECT_EQ(name, "Stick");
    EXPECT_EQ(why, app::EjectTrouble::Busy);
    return false;
  };
  EXPECT_TRUE(app::EjectBeforeDisconnect(device("PRINTER"), cancel));  // no eject for others
  EXPECT_FALSE(app::EjectBeforeDisconnect(device("MASS STORAGE"), cancel));  // never seen here
  plugIn("SN1", "0");
  EXPECT_TRUE(app::EjectBeforeDisconnect(device("Mass Storage"), cancel));
  EXPECT_EQ(asked, 1);
  DeviceData bad = device("MASS STORAGE");
  bad.vid = "04G9";
  EXPECT_THROW(app::EjectBeforeDisconnect(bad, cancel), std::invalid_argument);
  EXPECT_EQ(app::EjectDialogText("Stick"),
            "The device Stick is busy, please click \"Cancel\" to continue, or click "
            "\"Disconnect\" to hard stop the device.");
}

// A registry file that could not be opened leaves no plug-and-play records to read: that is said
// as it is, not as a busy device, and the user still chooses.
TEST(EjectWithoutRecordsTest, TheUserIsToldTheRecordsCannotBeReadAndChooses) {
  const std::string file = testing::TempDir() + "tarvex-unreadable-registry.db";
  std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(4096, '\x5A');
  auto standIn = platform::Registry::openOrStandIn(file, false);
  platform::setRegistry(standIn.get());
  EXPECT_EQ(app::EjectStorage(0x04F9, 0x0A2B, "SN1"), app::kEjectUnreadable);
  std::vector<app::EjectTrouble> asked;
  for (const bool disconnect : {false, true}) {
    EXPECT_EQ(app::EjectBeforeDisconnect(device("MASS STORAGE"),
                                         [&](const std::string&, app::EjectTrouble why) {
                                           asked.push_back(why);
                                           return disconnect;
                                         }),
              disconnect);
  }
  platform::setRegistry(nullptr);
  EXPECT_EQ(asked, std::vector<app::EjectTrouble>(2, app::EjectTrouble::RecordsUnreadable));
  const std::string text = app::EjectDialogText("Stick", app::EjectTrouble::RecordsUnreadable);
  EXPECT_EQ(text.find("busy"), std::string::npos) << text;
  EXPECT_NE(text.find("records cannot be read"), std::string::npos) << text;
  std::remove(file.c_str());
}

}  // namespace
