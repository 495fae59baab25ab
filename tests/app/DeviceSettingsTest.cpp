#include <gtest/gtest.h>

#include "app/DeviceSettings.h"
#include "app/ServerList.h"
#include "platform/Registry.h"
#include "support/TempRegistry.h"

namespace {

using app::AutoConnectInfo;
const std::string kRoot = app::kSettingsKey;

AutoConnectInfo binding(const std::string& serial) {
  AutoConnectInfo r;
  r.serverName = "NUC-Office";
  r.serverIp = "192.168.1.20";
  r.serverMac = "00:11:22:33:44:55";
  r.deviceVid = "04F9";
  r.devicePid = "0042";
  r.deviceSno = serial;
  r.deviceType = "PRINTER";
  return r;
}

class DeviceSettingsTest : public ::testing::Test {
 protected:
  test::TempRegistry reg;
  void setRaw(const std::string& key, const char* name, const std::string& value) {
    auto k = platform::registry().openKey(platform::RegRoot::CurrentUser,
                                          kRoot + "\\Auto-Connect\\" + key, platform::kKeyAllAccess,
                                          true);
    ASSERT_TRUE(k);
    k->setString(name, value);
  }
};

TEST_F(DeviceSettingsTest, RecordRoundTripsAllValuesInOrder) {
  AutoConnectInfo r = binding("S1");
  r.printerEnable = true;
  r.printerName = "Office Laser";
  r.scanIndex = 1;
  r.reserve8 = true;
  ASSERT_TRUE(app::WriteDeviceSetting(kRoot, r));
  auto key = platform::registry().openKey(platform::RegRoot::CurrentUser,
                                          kRoot + "\\Auto-Connect\\" + app::DeviceKeyName(r),
                                          platform::kKeyRead);
  ASSERT_TRUE(key);
  const auto values = key->values();
  ASSERT_EQ(values.size(), 22u);
  EXPECT_EQ(values.front().name, "ServerName");
  EXPECT_EQ(values[9].name, "PrinterEnable");
  EXPECT_EQ(values[9].text, "1");
  EXPECT_EQ(values[15].text, "1");
  EXPECT_EQ(values.back().name, "Reserve3");

  AutoConnectInfo back = binding("S1");
  ASSERT_TRUE(app::ReadDeviceSetting(kRoot, back));
  EXPECT_TRUE(back.printerEnable);
  EXPECT_EQ(back.printerName, "Office Laser");
  EXPECT_EQ(back.scanIndex, 1);
  AutoConnectInfo missing = binding("NOPE");
  EXPECT_FALSE(app::ReadDeviceSetting(kRoot, missing));
}

TEST_F(DeviceSettingsTest, StoredSwitchesAndScanIndexReadStrictly) {
  const AutoConnectInfo r = binding("S1");
  ASSERT_TRUE(app::WriteDeviceSetting(kRoot, r));
  struct Case {
    std::string stored;
    bool flag;
    int scanIndex;
  } cases[] = {{"1", true, 1}, {"2", false, 2}, {"yes", false, 0}, {"", false, 0},
               {"0", false, 0}, {"3", false, 0}};
  for (const auto& c : cases) {
    setRaw(app::DeviceKeyName(r), "PrinterEnable", c.stored);
    setRaw(app::DeviceKeyName(r), "ScanIndex", c.stored);
    AutoConnectInfo back = binding("S1");
    ASSERT_TRUE(app::ReadDeviceSetting(kRoot, back));
    EXPECT_EQ(back.printerEnable, c.flag) << c.stored;
    EXPECT_EQ(back.scanIndex, c.scanIndex) << c.stored;
  }
}

TEST_F(DeviceSettingsTest, LoaderSkipRules) {
  app::AutoLinkList printers, faxes;
  app::LoadAutoConnectLists(kRoot, printers, faxes);  // no key at all
  EXPECT_TRUE(printers.empty() && faxes.empty());

  AutoConnectInfo printer = binding("P1");
  printer.printerEnable = true;
  printer.printerName = "Office Laser";
  printer.printerPort = "USB001";
  app::WriteDeviceSetting(kRoot, printer);

  AutoConnectInfo disabled = binding("P2");
  disabled.printerName = "Not Auto";
  app::WriteDeviceSetting(kRoot, disabled);

  AutoConnectInfo fax = binding("F1");
  fax.reserve4 = true;
  fax.reserve5 = "Office Fax";
  fax.reserve6 = "USB002";
  app::WriteDeviceSetting(kRoot, fax);

  AutoConnectInfo noVid = binding("V1");
  noVid.deviceVid = "";
  noVid.printerEnable = true;
  noVid.printerName = "No Vid";
  app::WriteDeviceSetting(kRoot, noVid);

  AutoConnectInfo renamed = binding("R1");
  renamed.printerEnable = true;
  renamed.printerName = "Renamed";
  app::WriteDeviceSetting(kRoot, renamed);
  setRaw(app::DeviceKeyName(renamed), "DeviceSNo", "OTHER");  // key and values disagree

  setRaw("IP_192.168.1.20&MAC_00:11:22:33:44:55", "ServerEnable", "1");  // a server key

  app::LoadAutoConnectLists(kRoot, printers, faxes);
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0]->queueName, "Office Laser");
  EXPECT_EQ(printers[0]->port, "USB001");
  EXPECT_EQ(printers[0]->kind, "Printer");
  EXPECT_EQ(printers[0]->stateText, "Empty");
  EXPECT_EQ(printers[0]->useText, "Used");
  ASSERT_EQ(faxes.size(), 1u);
  EXPECT_EQ(faxes[0]->queueName, "Office Fax");
  EXPECT_EQ(faxes[0]->kind, "Fax");
  EXPECT_EQ(faxes[0]->useText, "");
}

TEST_F(DeviceSettingsTest, ScannerIds) {
  ASSERT_TRUE(app::RegisterScannerId(kRoot, "04A9", "1909", "04A9 - 1909 - X"));
  auto k = platform::registry().openKey(platform::RegRoot::CurrentUser, kRoot + "\\ScannerId",
                                        platform::kKeyAllAccess);
  k->setString("Vid_1234", "broken");
  auto ids = app::LoadScannerIds(kRoot);
  EXPECT_EQ(ids.size(), 2u);
  app::DropMalformedScannerIds(ids);
  EXPECT_EQ(ids, (std::vector<std::string>{"Vid_04A9&Pid_1909"}));
  EXPECT_TRUE(app::UnregisterScannerId(kRoot, "04A9", "1909"));
  ids = app::LoadScannerIds(kRoot);
  app::DropMalformedScannerIds(ids);
  EXPECT_TRUE(ids.empty());
}

}  // namespace
