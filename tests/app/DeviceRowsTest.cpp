#include <gtest/gtest.h>

#include "app/DeviceRows.h"
#include "app/ServerList.h"

namespace {

using app::DeviceData;
using app::ListedDevice;

ListedDevice device(const std::string& port, const std::string& type, const std::string& maker,
                    const std::string& product, const std::string& serial = "S1") {
  ListedDevice d;
  d.port = port;
  d.vid = "04F9";
  d.pid = "0042";
  d.type = type;
  d.manufacturer = maker;
  d.product = product;
  d.serial = serial;
  return d;
}

class DeviceRowsTest : public ::testing::Test {
 protected:
  DeviceRowsTest() {
    server.name = "NUC-Office";
    server.ip = "192.168.1.20";
    server.mac = "00:11:22:33:44:55";
    server.bus = 7;
    server.storageMode = 1;
    ctx.computerName = "OFFICE-PC";
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& r : rows.rows()) out.push_back(r.data->displayName);
    return out;
  }
  app::ServerData server;
  app::DeviceContext ctx;
  app::DeviceRows rows;
};

TEST_F(DeviceRowsTest, StatusTable) {
  struct Case {
    bool bound;
    int lockCount;
    std::string owner;
    int lockType;
    std::string status;
    std::uint32_t rgb;
    int overlay;
  } cases[] = {
      {false, 0, "", 0, " - Waiting to Connect", 0x0000FF, app::kNoOverlay},
      {false, 1, "LAB-PC", 2, " - In Use By (LAB-PC)", 0xFF0000, app::kOverlayHeldElsewhere},
      {true, 0, "", 0, " - Available for Use", 0x0000FF, app::kOverlayAvailable},
      {true, 1, "LAB-PC", 1, " - In Use By (LAB-PC)", 0xFF0000, app::kOverlayHeldElsewhere},
      {true, 1, "OFFICE-PC", 2, " - In Use By (OFFICE-PC)", 0x007E00, app::kOverlayHeldHere},
      {true, 1, "OFFICE-PC", 1, " - Available for Use", 0x0000FF, app::kOverlayAvailable},
      {false, 1, "OFFICE-PC", 1, " - In Use By (OFFICE-PC)", 0x007E00, app::kOverlayHeldHere},
      {true, 1, "office-pc", 1, " - In Use By (office-pc)", 0xFF0000, app::kOverlayHeldElsewhere},
  };
  for (const auto& c : cases) {
    DeviceData d;
    d.type = "PRINTER";
    d.printerIndex = c.bound ? 0 : -1;
    d.lockCount = c.lockCount;
    d.owner = c.owner;
    d.lockType = c.lockType;
    app::SetDeviceStatusText(d, ctx);
    EXPECT_EQ(d.status, c.status);
    const auto look = app::LookOfStatus(d, ctx.computerName);
    EXPECT_EQ(look.rgb, c.rgb) << c.status;
    EXPECT_EQ(look.overlay, c.overlay) << c.status;
  }
}

TEST_F(DeviceRowsTest, RegisteredUnknownDeviceBecomesABoundScanner) {
  ctx.registeredScanners = {"vid_04f9&pid_0042"};  // compared without case
  auto other = device("2", "Gizmo", "A", "B", "S2");
  other.pid = "0043";
  rows.Merge(server, {device("1", "UNKNOWN", "Acme", "Scan"), other}, ctx, nullptr);
  ASSERT_EQ(rows.size(), 2u);
  const DeviceData& scanner = *rows.rows()[0].data;
  EXPECT_EQ(scanner.type, "Scanner");
  EXPECT_EQ(rows.rows()[0].picture, app::kPictureScanner);
  EXPECT_EQ(scanner.status, " - Available for Use");
  EXPECT_EQ(rows.rows()[1].data->type, "UNKNOWN");  // an unknown type text
}

TEST_F(DeviceRowsTest, NamelessDevicesAreNumberedAndNumbersAreReused) {
  rows.Merge(server, {device("1", "PRINTER", "", "", "A"), device("2", "PRINTER", "", "", "B")},
             ctx, nullptr);
  EXPECT_EQ(names(), (std::vector<std::string>{"USB Device 1", "USB Device 2"}));
  rows.Merge(server, {device("2", "PRINTER", "", "", "B")}, ctx, nullptr);
  EXPECT_EQ(names(), (std::vector<std::string>{"USB Device 2"}));
  rows.Merge(server, {device("2", "PRINTER", "", "", "B"), device("3", "PRINTER", "", "", "C")},
             ctx, nullptr);
  EXPECT_EQ(names(), (std::vector<std::string>{"USB Device 2", "USB Device 1"}));
}

TEST_F(DeviceRowsTest, TwoAdjacentRowsVanishTogetherAndTheLastDeletionIsReported) {
  int deleted = 0;
  bool lastSeen = false;
  rows.onDeleted = [&](const DeviceData&, bool wasLast) {
    ++deleted;
    lastSeen = lastSeen || wasLast;
  };
  rows.Merge(server, {device("1", "PRINTER", "A", "P", "1"), device("2", "PRINTER", "A", "Q", "2"),
                      device("3", "PRINTER", "A", "R", "3")},
             ctx, nullptr);
  rows.Merge(server, {device("3", "PRINTER", "A", "R", "3")}, ctx, nullptr);
  EXPECT_EQ(deleted, 2);
  EXPECT_EQ(names(), (std::vector<std::string>{"A - R"}));
  rows.Merge(server, {}, ctx, nullptr);
  EXPECT_TRUE(rows.empty());
  EXPECT_TRUE(lastSeen);
}

TEST_F(DeviceRowsTest, AnotherDeviceOnTheSamePortGetsARowOfItsOwn) {
  rows.Merge(server, {device("1", "PRINTER", "", "", "OLD")}, ctx, nullptr);
  std::vector<std::string> added;
  rows.Merge(server, {device("1", "SCANNER", "", "", "NEW")}, ctx,
             [&](const DeviceData& d) { added.push_back(d.displayName); });
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows.rows()[0].data->serial, "NEW");
  EXPECT_EQ(added, (std::vector<std::string>{"USB Device 1"}));  // the old number was freed first
}

TEST_F(DeviceRowsTest, UpdatesKeepTheNameAndTakeTheCurrentBus) {
  rows.Merge(server, {device("1", "PRINTER", "Brother", "HL")}, ctx, nullptr);
  server.bus = 9;
  auto changed = device("1", "PRINTER", "Brother", "HL");
  changed.owner = "LAB-PC";
  changed.lockCount = 1;
  changed.lockType = 2;
  int added = 0;
  rows.Merge(server, {changed}, ctx, [&](const DeviceData&) { ++added; });
  EXPECT_EQ(added, 0);
  const DeviceData& d = *rows.rows()[0].data;
  EXPECT_EQ(d.bus, 9);
  EXPECT_EQ(d.status, " - In Use By (LAB-PC)");
  EXPECT_EQ(d.displayName, "Brother - HL");
}

TEST_F(DeviceRowsTest, MassStorageCarriesTheStorageModeAndSortOrder) {
  server.storageMode = 0;
  rows.Merge(server,
             {device("9", "PRINTER", "HP", "LaserJet", "a"), device("10", "PRINTER", "HP", "LaserJet", "b"),
              device("3", "UNKNOWN", "A", "A", "c"), device("4", "MFP", "Z", "Z", "d"),
              device("5", "Mass Storage", "Z", "Z", "e"), device("6", "SCANNER", "A", "A", "f")},
             ctx, nullptr);
  std::vector<std::string> order;
  for (const auto& r : rows.rows()) order.push_back(r.data->type + ":" + r.data->port);
  EXPECT_EQ(order, (std::vector<std::string>{"Mass Storage:5", "MFP:4", "PRINTER:10", "PRINTER:9",
                                             "SCANNER:6", "UNKNOWN:3"}));
  EXPECT_EQ(rows.rows()[0].data->printerIndex, 0);
  EXPECT_EQ(rows.rows()[0].picture, app::kPictureStorage);
}

TEST_F(DeviceRowsTest, OnlyTheServersOwnRowsAreTouched) {
  app::ServerData other = server;
  other.name = "NUC-Lab";
  other.ip = "192.168.1.30";
  rows.Merge(server, {device("1", "PRINTER", "A", "B")}, ctx, nullptr);
  rows.Merge(other, {device("1", "PRINTER", "A", "B")}, ctx, nullptr);
  rows.Merge(other, {}, ctx, nullptr);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows.rows()[0].data->serverName, "NUC-Office");
  EXPECT_NE(rows.FindDeviceRow("NUC-Office", "192.168.1.20", "04F9 - 0042 - S1"), nullptr);
  EXPECT_EQ(rows.FindDeviceRow("", "192.168.1.20", "04F9 - 0042 - S1"), nullptr);
}

}  // namespace
