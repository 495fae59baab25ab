// The set-up wizard's pages, lists and binding, with its world given as plain data.
#include <gtest/gtest.h>

#include "app/DeviceSetup.h"
#include "app/Dialogs.h"
#include "core/NetInfo.h"

namespace {

using namespace app;

constexpr std::uint32_t kWin7 = core::kWin6x | core::kWin5xOr6x;
constexpr std::uint32_t kWin2000 = core::kWin5xOr6x | core::kWin50;

std::unique_ptr<AutoLinkPrinter> entry(const std::string& queue, const std::string& serial) {
  auto e = std::make_unique<AutoLinkPrinter>();
  e->serverMac = "00:11:22:33:44:55";
  e->vid = "04F9";
  e->pid = "0042";
  e->serial = serial;
  e->queueName = queue;
  return e;
}

class Wizard : public ::testing::Test {
 protected:
  std::vector<printing::PrinterRow> listed = {
      {"Brother HL", "USB001", "0"},   {"Other Laser", "USB002", "0"}, {"Fax Queue", "USB003", "0"},
      {"Serial Printer", "COM1:", "7"}, {"Parallel", "LPT1:", "6"},    {"Net Printer", "IP_1", "3"},
      {"Shared", "\\\\srv\\q", "2"},    {"Canon LBP", "USB004", "0"}};
  std::vector<AFPrinterSection> sections = {
      {{"Vid", "04F9"}, {"Model1", "Brother"}}, {{"Vid", "04A9"}, {"Model1", "Canon"}}};
  AutoLinkList printers, faxes;
  std::vector<std::string> asked, events;
  int answer = kIdOk;
  bool linkWorks = true;
  std::vector<std::string> sources = {"Brother Scanner", "Canon Scanner", "Velmora Network Scanner"};

  DeviceSetup make(std::uint32_t flags = kWin7, const std::string& type = "PRINTER") {
    WizardServices s;
    s.ask = [this](const std::string& text, unsigned) {
      asked.push_back(text);
      return answer;
    };
    s.linkAndLock = [this](const DeviceData&) {
      events.push_back("link");
      return linkWorks;
    };
    s.settle = [this] { events.push_back("settle"); };
    s.listPrinters = [this] { return listed; };
    s.twainSources = [this] { return sources; };
    s.autoConnectPort = [](const std::string& port) { return port.rfind("\\\\", 0) != 0; };
    s.stopWatcher = [this](std::size_t i) { events.push_back("stop " + std::to_string(i)); };
    s.startWatcher = [this](std::size_t i) { events.push_back("start " + std::to_string(i)); };
    DeviceSetup w(flags, s);
    w.device.serverMac = "00:11:22:33:44:55";
    w.device.vid = "04F9";
    w.device.pid = "0042";
    w.device.serial = "S1";
    w.device.type = type;
    w.device.displayName = "Brother - HL";
    w.printers = &printers;
    w.faxes = &faxes;
    w.sections = &sections;
    w.previousCount = static_cast<std::int32_t>(printers.size());
    return w;
  }
  static std::vector<std::string> shown(const std::vector<WizardRow>& rows) {
    std::vector<std::string> out;
    for (const WizardRow& r : rows) out.push_back(r.caption + "|" + r.type + "|" + std::to_string(r.state));
    return out;
  }
  static std::size_t rowOf(const std::vector<WizardRow>& rows, const std::string& caption) {
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].caption == caption) return i;
    return rows.size();
  }
};

TEST_F(Wizard, ThePrinterListDisablesPortsMarksBoundQueuesAndPutsTheOwnBindingFirst) {
  printers.push_back(entry("Other Laser", "S2"));  // another device's printer
  printers.push_back(entry("Brother HL", "S1"));   // this device's
  faxes.push_back(entry("Fax Queue", "S3"));
  DeviceSetup w = make();
  w.currentIndex = 1;
  EXPECT_EQ(shown(w.FillPrinterList()),
            (std::vector<std::string>{"Brother HL|0|1", "Shared|2|0", "Other Laser|90|0", "Fax Queue|92|0",
                                      "Serial Printer|7|2", "Parallel|6|2", "Net Printer|3|2",
                                      "Canon LBP|91|2"}));
  EXPECT_EQ(w.sectionIndex, 0);
  EXPECT_EQ(DeviceSetup::PrinterListViewInfoTip({"", "", "90"}), "This driver already be set to auto-connect printer.");
  EXPECT_EQ(DeviceSetup::PrinterListViewInfoTip({"", "", "7"}),
            "The port of auto-connect can not be a LPR / Raw TCP / SMB port.");

  w.device.vid = "08A6";  // this maker's devices may print over a COM port
  w.printerMode = false;
  w.currentIndex = -1;
  const std::vector<WizardRow> faxRows = w.FillPrinterList();
  EXPECT_EQ(faxRows[rowOf(faxRows, "Serial Printer")].state, kRowUnchecked);
  EXPECT_EQ(faxRows[rowOf(faxRows, "Other Laser")].type, "90") << "the other list's, in fax mode";
  EXPECT_EQ(faxRows[rowOf(faxRows, "Fax Queue")].type, "92");
  EXPECT_EQ(w.sectionIndex, -1);
  EXPECT_EQ(faxRows[rowOf(faxRows, "Canon LBP")].state, kRowUnchecked) << "no section, no 91";
}

TEST_F(Wizard, RowsCheckOneAtATimeAndDisabledOnesNever) {
  std::vector<WizardRow> rows = {{"A", "", "0"}, {"B", "", "0"}, {"C", "", "6", kRowDisabled}};
  DeviceSetup::ToggleRow(rows, 0);
  DeviceSetup::ToggleRow(rows, 1);
  DeviceSetup::ToggleRow(rows, 2);
  EXPECT_EQ(rows[0].state, kRowUnchecked);
  EXPECT_EQ(rows[1].state, kRowChecked);
  EXPECT_EQ(rows[2].state, kRowDisabled);
  DeviceSetup::ToggleRow(rows, 1);
  EXPECT_EQ(rows[1].state, kRowUnchecked);
}

TEST_F(Wizard, TheInstallRoadConnectsThenBindsTheCheckedQueueAndStartsItsWatcher) {
  DeviceSetup w = make();
  w.ShowInstallPage();
  EXPECT_EQ(w.layout, ButtonLayout::Install);
  EXPECT_EQ(w.question, "Do you want to install the printer software or MFP utility?");
  linkWorks = false;
  w.NextBtnClick();
  EXPECT_EQ(w.page, WizardPage::Install) << "the page stays when the link fails";
  EXPECT_EQ(asked, (std::vector<std::string>{"Connect device failed !"}));
  linkWorks = true;
  w.NextBtnClick();
  EXPECT_EQ(w.page, WizardPage::Connect);
  EXPECT_EQ(w.layout, ButtonLayout::Step);
  EXPECT_EQ(w.title, "Printer Connect Status");
  w.NextBtnClick();
  ASSERT_EQ(w.page, WizardPage::AutoPrint);
  EXPECT_EQ(w.layout, ButtonLayout::Finish);

  asked.clear();
  answer = kIdNo;
  w.NextBtnClick();
  EXPECT_EQ(w.closed, WizardClose::Open) << "nothing checked, and the user stays";
  EXPECT_EQ(asked.back(), "You did not choose a printer(MFP) to auto connect.\nAre you sure you want to exit?");
  DeviceSetup::ToggleRow(w.printerRows, rowOf(w.printerRows, "Brother HL"));
  answer = kIdOk;
  asked.clear();
  w.NextBtnClick();
  EXPECT_EQ(w.closed, WizardClose::Ok);
  EXPECT_TRUE(asked.empty()) << "a model of its own maker is recommended";
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0]->queueName, "Brother HL");
  EXPECT_EQ(printers[0]->port, "USB001");
  EXPECT_EQ(printers[0]->kind, "Printer");
  EXPECT_EQ(w.currentIndex, 0);
  EXPECT_TRUE(w.bound);
  EXPECT_EQ(events, (std::vector<std::string>{"link", "link", "settle", "start 0"}));
}

TEST_F(Wizard, TheBindingCountsNoChangeAsksWithoutASectionAndRecordsTheReplacedEntry) {
  printers.push_back(entry("Other Laser", "S2"));
  printers.push_back(entry("Brother HL", "S1"));
  DeviceSetup w = make();
  w.currentIndex = 1;
  std::vector<WizardRow> rows = w.FillPrinterList();
  EXPECT_FALSE(w.UpdateAutoConnectEntry(rows)) << "re-checking the bound row changes nothing";

  sections.clear();  // no section: the user is always asked
  rows = w.FillPrinterList();
  DeviceSetup::ToggleRow(rows, rowOf(rows, "Other Laser"));
  answer = kIdCancel;
  EXPECT_FALSE(w.UpdateAutoConnectEntry(rows));
  EXPECT_EQ(asked, (std::vector<std::string>{"This driver is not be recommended. Do you want to continue?"}));
  answer = kIdOk;
  ASSERT_TRUE(w.UpdateAutoConnectEntry(rows));
  EXPECT_EQ(w.replacedIndex, 0) << "the other device's entry on that queue";
  EXPECT_EQ(printers[1]->queueName, "Other Laser");
  w.ApplyAutoConnectEntry();
  EXPECT_EQ(events, (std::vector<std::string>{"stop 0", "stop 1", "start 1"}));

  DeviceSetup::ToggleRow(rows, rowOf(rows, "Other Laser"));  // unchecked: the binding goes
  ASSERT_TRUE(w.UpdateAutoConnectEntry(rows));
  EXPECT_FALSE(w.bound);
}

TEST_F(Wizard, AQueueTheWatchersWillRefuseIsToldAtBindingTime) {
  DeviceSetup w = make();
  std::vector<WizardRow> rows = w.FillPrinterList();
  DeviceSetup::ToggleRow(rows, rowOf(rows, "Shared"));
  answer = kIdOk;
  ASSERT_TRUE(w.UpdateAutoConnectEntry(rows));
  EXPECT_EQ(asked.back(), "The port of auto-connect can not be a LPR / Raw TCP / SMB port.");
  EXPECT_EQ(printers.at(0)->queueName, "Shared") << "still offered and bound";
}

TEST_F(Wizard, TheTroubleshootingRoadUnbindsWithoutTouchingTheWatcherAndSetsTheScanner) {
  printers.push_back(entry("Brother HL", "S1"));
  DeviceSetup w = make(kWin7, "MFP");
  w.currentIndex = 0;
  w.scanSupport = 1;
  w.scannerName = "Brother - HL";  // the device's display name on a WIA system
  ASSERT_TRUE(w.ShowTroubleshootPage());
  EXPECT_TRUE(events.empty()) << "no link on this Windows";
  EXPECT_EQ(w.layout, ButtonLayout::Troubleshoot);
  EXPECT_EQ(w.title, "Printer && MFP TroubleShoot");
  EXPECT_EQ(w.troubleOptions, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(w.scanRows.front().name, "Brother - HL");
  EXPECT_TRUE(w.scanRows.front().checked);
  EXPECT_EQ(w.scanRows.size(), 2u) << "the other maker's and the network scanner are left out";

  w.TroubleRBtnClick(2);
  EXPECT_TRUE(w.okVisible);
  DeviceSetup::ToggleRow(w.printerRows, 0);  // unchecks the bound queue
  w.OKBtnClick();
  EXPECT_TRUE(w.printerChosen);
  EXPECT_FALSE(w.bound);
  EXPECT_TRUE(events.empty()) << "the command moves the watcher once the binding is stored";
  EXPECT_EQ(asked.back(), "You have successfully canceled auto connect printer\nfeature of Brother - HL");

  w.TroubleRBtnClick(3);
  w.scanRows.front().checked = false;
  w.OKBtnClick();
  EXPECT_EQ(w.scanSupport, 0);
  EXPECT_TRUE(w.scannerChosen);
  w.NextBtnClick();
  EXPECT_EQ(w.closed, WizardClose::Ok);
}

// OK with another queue, OK again (no change now), Close: the first choice is what the wizard
// hands back, since the list already holds it.
TEST_F(Wizard, ASecondOkThatChangesNothingKeepsTheTroubleshootingChoice) {
  printers.push_back(entry("Brother HL", "S1"));
  DeviceSetup w = make(kWin7, "PRINTER");
  w.currentIndex = 0;
  ASSERT_TRUE(w.ShowTroubleshootPage());
  w.TroubleRBtnClick(2);
  DeviceSetup::ToggleRow(w.printerRows, rowOf(w.printerRows, "Other Laser"));
  answer = kIdOk;  // continue with a driver that is not recommended
  w.OKBtnClick();
  EXPECT_TRUE(w.printerChosen);
  w.OKBtnClick();
  EXPECT_TRUE(w.printerChosen) << "the second OK finds no change";
  EXPECT_TRUE(w.bound);
  EXPECT_EQ(printers.at(0)->queueName, "Other Laser");
  EXPECT_TRUE(events.empty());
  w.NextBtnClick();
  EXPECT_EQ(w.closed, WizardClose::Ok);
}

TEST_F(Wizard, OnOldWindowsAScannerIsInstalledFromTheCdAndChosenAmongTheTwainSources) {
  DeviceSetup w = make(kWin2000, "SCANNER");
  w.ShowInstallPage();
  EXPECT_EQ(w.title, "Please verify the scanner software status.");
  w.installYes = true;
  w.NextBtnClick();
  EXPECT_EQ(w.page, WizardPage::CdRom);
  EXPECT_EQ(w.title, "Insert the scanner software CD into your CD-ROM.");
  w.NextBtnClick();
  EXPECT_EQ(w.page, WizardPage::ConnectScanner);
  EXPECT_EQ(w.layout, ButtonLayout::Step) << "with the install hint on old Windows";
  w.NextBtnClick();
  ASSERT_EQ(w.page, WizardPage::AutoScan);
  EXPECT_EQ(w.title, "Setting the scanner");
  ASSERT_EQ(w.scanRows.size(), 1u);
  w.NextBtnClick();
  EXPECT_EQ(w.closed, WizardClose::Cancel) << "no scanner chosen";
  w.closed = WizardClose::Open;
  w.scanRows[0].checked = true;
  w.supportScanChecked = true;
  w.NextBtnClick();
  EXPECT_EQ(w.closed, WizardClose::Ok);
  EXPECT_EQ(w.scannerName, "Brother Scanner");
  EXPECT_EQ(w.scanSupport, 1);
}

}  // namespace
