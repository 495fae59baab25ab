// What the binding commands store after the wizard: the device's record, the other device that
// gave up its queue, and the scanner choice.
#include <gtest/gtest.h>

#include "app/BindingCommands.h"
#include "app/ServerList.h"
#include "support/TempRegistry.h"

namespace {

using namespace app;
const std::string kRoot = app::kSettingsKey;

DeviceData device(const std::string& serial) {
  DeviceData d;
  d.serverName = "NUS";
  d.serverIp = "10.0.0.20";
  d.serverMac = "00:11:22:33:44:55";
  d.vid = "04F9";
  d.pid = "0042";
  d.serial = serial;
  d.type = "PRINTER";
  d.identity = d.vid + " - " + d.pid + " - " + serial;
  return d;
}

std::unique_ptr<AutoLinkPrinter> entryOf(const DeviceData& d, const std::string& queue) {
  auto e = std::make_unique<AutoLinkPrinter>();
  e->serverIp = d.serverIp;
  e->serverMac = d.serverMac;
  e->vid = d.vid;
  e->pid = d.pid;
  e->serial = d.serial;
  e->queueName = queue;
  e->port = "USB001";
  return e;
}

AutoConnectInfo stored(const DeviceData& d) {
  AutoConnectInfo r = DeviceRecordKey(d);
  EXPECT_TRUE(ReadDeviceSetting(kRoot, r));
  return r;
}

TEST(BindingCommands, StoringAPrinterKeepsTheFaxBindingAndUnbindsTheQueuesFormerDevice) {
  test::TempRegistry reg;
  const DeviceData mine = device("S1"), other = device("S2"), third = device("S3");
  AutoConnectInfo fax = DeviceRecordKey(mine);
  fax.reserve4 = true;
  fax.reserve5 = "Office Fax";
  ASSERT_TRUE(WriteDeviceSetting(kRoot, fax));
  AutoConnectInfo before = DeviceRecordKey(other);
  before.printerEnable = true;
  before.printerName = "Laser";
  ASSERT_TRUE(WriteDeviceSetting(kRoot, before));

  AutoLinkList printers;
  printers.push_back(entryOf(third, "Plotter"));
  printers.push_back(entryOf(other, "Laser"));  // the queue's former device, before the chosen one
  printers.push_back(entryOf(mine, "Laser"));
  std::vector<std::size_t> removed;
  const auto replaced = StorePrinterBinding(kRoot, mine, printers, 2, true, 1,
                                            [&](std::size_t i) { removed.push_back(i); });
  const AutoConnectInfo r = stored(mine);
  EXPECT_TRUE(r.printerEnable);
  EXPECT_EQ(r.printerName, "Laser");
  EXPECT_EQ(r.printerPort, "USB001");
  EXPECT_TRUE(r.reserve4) << "the fax binding survives";
  EXPECT_EQ(r.reserve5, "Office Fax");
  EXPECT_EQ(r.deviceType, "PRINTER");
  ASSERT_TRUE(replaced);
  EXPECT_EQ(replaced->deviceSno, "S2");
  EXPECT_FALSE(stored(other).printerEnable);
  EXPECT_EQ(removed, (std::vector<std::size_t>{1}));
  ASSERT_EQ(printers.size(), 2u);
  EXPECT_EQ(printers[1]->serial, "S1");

  // Off: the chosen entry goes, found by what it is though the replaced one stood before it.
  printers.insert(printers.begin() + 1, entryOf(other, "Laser"));
  removed.clear();
  StorePrinterBinding(kRoot, mine, printers, 2, false, 1, [&](std::size_t i) { removed.push_back(i); });
  EXPECT_EQ(removed, (std::vector<std::size_t>{1, 1}));
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0]->serial, "S3") << "the third device keeps its entry";
  EXPECT_FALSE(stored(mine).printerEnable);
  EXPECT_EQ(stored(mine).printerName, "Laser") << "the queue stays stored";
}

TEST(BindingCommands, TheScannerChoiceIsWrittenIntoTheRecordOrANewOne) {
  test::TempRegistry reg;
  const DeviceData d = device("S9");
  StoreScannerChoice(kRoot, d, 1, "Brother - HL", false);
  AutoConnectInfo r = DeviceRecordKey(d);
  EXPECT_FALSE(ReadDeviceSetting(kRoot, r)) << "no record, none made";
  StoreScannerChoice(kRoot, d, 1, "Brother - HL", true);
  EXPECT_EQ(stored(d).scanIndex, 1);
  EXPECT_EQ(stored(d).scanNameTwain, "Brother - HL");
  EXPECT_EQ(stored(d).serverName, "") << "only its keys";
}

}  // namespace

namespace {

TEST(BindingCommands, AWatcherFollowsOnlyAChangedBinding) {
  app::AutoLinkPrinter entry;
  entry.queueName = "Brother Laser";
  entry.serverMac = "00:1A:2B:3C:4D:5E";
  entry.vid = "04F9";
  entry.pid = "0042";
  entry.serial = "E1";
  const printing::PrintWatchEntry same = app::WatchEntryOf(entry, printing::WatchKind::Printer);
  EXPECT_TRUE(app::WatcherMustFollow(nullptr, entry)) << "none runs";
  EXPECT_FALSE(app::WatcherMustFollow(&same, entry));
  for (const auto change : {&printing::PrintWatchEntry::queueName, &printing::PrintWatchEntry::serverMac,
                            &printing::PrintWatchEntry::vid, &printing::PrintWatchEntry::pid,
                            &printing::PrintWatchEntry::serial}) {
    printing::PrintWatchEntry other = same;
    other.*change += "x";
    EXPECT_TRUE(app::WatcherMustFollow(&other, entry)) << other.queueName << " " << other.serial;
  }
}

}  // namespace
