// The device mapping over the simulated host's daemon: what its plug and play writes into a
// computer's registry file at the start and on links, read as the program reads it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/DeviceMapping.h"
#include "platform/Registry.h"
#include "platform/Wia.h"
#include "support/Process.h"

namespace {

namespace fs = std::filesystem;

const char* kScenario = R"({
  "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10",
             "queues": [{"name": "Laser", "port": "USB001", "driver": "Brother HL-L2350DW series",
                         "device": {"server": "192.168.1.20", "port": 1}},
                        {"name": "MFC", "port": "USB002", "device": {"server": "192.168.1.20", "port": 2}}],
             "installed": [{"server": "192.168.1.20", "port": 1}]}],
  "servers": [{"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS-Office",
               "devices": [{"port": 1, "vid": "04F9", "pid": "0042", "type": "PRINTER", "serial": "P1"},
                           {"port": 2, "vid": "04F9", "pid": "0370", "type": "MFP", "serial": "M2",
                            "manufacturer": "Brother", "product": "MFC-L2710DW"}]}]
})";

std::string bin(const char* name) { return std::string(TARVEX_BIN_DIR) + "/" + name; }

TEST(DeviceMappingOverDaemon, InstalledAtTheStartLinkedOnATake) {
  char pattern[] = "/tmp/tarvex-mapping-XXXXXX";
  const std::string folder = ::mkdtemp(pattern);
  const std::string dir = folder + "/sim";
  const std::string hive = dir + "/hosts/OFFICE-PC/registry.db";
  std::ofstream(folder + "/scenario.json") << kScenario;
  {  // a key an earlier run left behind
    fs::create_directories(dir + "/hosts/OFFICE-PC");
    auto old = platform::Registry::open(hive, true);
    old->openKey(platform::RegRoot::LocalMachine,
                 "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_04f9&Pid_0370\\M2", platform::kKeyAllAccess, true)
        ->setMultiString("CompatibleIDs", {"USB\\Class_08"});
  }
  test::Process daemon({bin("tarvex-simhost"), "--dir", dir, folder + "/scenario.json"}, {},
                       folder + "/daemon.out");
  ASSERT_TRUE(test::eventually([&] { return fs::exists(dir + "/simhost.sock"); }, 5000))
      << daemon.output();

  auto reader = platform::Registry::open(hive, false);
  platform::setRegistry(reader.get());
  core::DeviceDriverInfo info;
  EXPECT_EQ(core::FindDeviceQueues("04F9", "0042", "P1", true, &info), core::ClassPrinter);
  EXPECT_EQ(info.PrinterQueue, "Laser");
  EXPECT_EQ(core::FindDeviceQueues("04F9", "0370", "M2", true, nullptr), 0u) << "not linked yet";

  auto simctl = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {bin("tarvex-simctl"), "--dir", dir});
    test::Process p(args, {}, folder + "/simctl.out");
    return p.wait(5000);
  };
  ASSERT_EQ(simctl({"take", "OFFICE-PC", "192.168.1.20", "2", "1", "1200"}), 0);
  info = {};
  EXPECT_EQ(core::FindDeviceQueues("04F9", "0370", "M2", true, &info),
            core::ClassComposite | core::ClassPrinter | core::ClassSecondPrinter | core::ClassScanner);
  EXPECT_EQ(info.PrinterQueue, "MFC");
  EXPECT_EQ(info.ScannerName, "Brother MFC-L2710DW");
  EXPECT_NE(info.ScannerDeviceId, "");

  // Its scanner through the device manager the program creates, over the daemon's socket.
  ::setenv("TARVEX_SIM_DIR", dir.c_str(), 1);
  ::setenv("TARVEX_HOST", "OFFICE-PC", 1);
  using namespace platform::wia;
  ComPtr<IWiaDevMgr> manager;
  ASSERT_EQ(CreateWiaDevMgr(manager), S_OK);
  ComPtr<IWiaItem> root;
  ASSERT_EQ(manager->CreateDevice(info.ScannerDeviceId, root), S_OK);
  std::vector<ComPtr<IWiaItem>> items;
  ASSERT_EQ(root->DeviceDlg(0, 0, 0, items), S_OK);
  ComPtr<IWiaDataTransfer> transfer;
  ASSERT_EQ(queryInterface(items.at(0), IID_IWiaDataTransfer, transfer), S_OK);
  StgMedium medium{TYMED_FILE, folder + "/page.bmp"};
  EXPECT_EQ(transfer->idtGetData(&medium, nullptr), S_OK);
  EXPECT_GT(fs::file_size(medium.fileName), 850u * 1100u * 3u);

  ASSERT_EQ(simctl({"release", "192.168.1.20", "2"}), 0);
  EXPECT_EQ(core::FindDeviceQueues("04F9", "0370", "M2", true, nullptr), 0u);
  ASSERT_EQ(simctl({"take", "OFFICE-PC", "192.168.1.20", "1", "1", "1200"}), 0);
  ASSERT_EQ(simctl({"release", "192.168.1.20", "1"}), 0);
  EXPECT_EQ(core::FindDeviceQueues("04F9", "0042", "P1", true, nullptr), core::ClassPrinter);

  platform::setRegistry(nullptr);
  daemon.signal(SIGTERM);
  EXPECT_EQ(daemon.wait(5000), 0);
  std::error_code ec;
  fs::remove_all(folder, ec);
}

}  // namespace
