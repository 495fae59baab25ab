#include "app/DeviceSetup.h"

#include <algorithm>

#include "app/Dialogs.h"
#include "core/MessageTable.h"
#include "core/NetInfo.h"

namespace app {
namespace {

constexpr std::size_t kMaxSources = 32;  // the source table's room
constexpr const char* kComVid = "08A6";   // the one maker whose devices may print over COM ports

bool contains(const std::string& text, const std::string& part) {
  return !part.empty() && text.find(part) != std::string::npos;
}

bool disabledByPort(const std::string& type) {
  return type == "1" || type == "3" || type == "5" || type == "6" || type == "7";
}

// Moves the rows that `pick` names to the end, keeping their order.
template <typename Pick>
void moveToEnd(std::vector<WizardRow>& rows, Pick pick) {
  std::stable_partition(rows.begin(), rows.end(), [&](const WizardRow& r) { return !pick(r); });
}

}  // namespace

bool IsOldWindows(std::uint32_t flags) { return (flags & (core::kWin50 | core::kWin40)) != 0; }

bool IsScannerType(const std::string& type) {
  const std::string t = UpperCase(type);
  return t == "UNKNOWN" || t == "SCANNER";
}

DeviceSetup::DeviceSetup(std::uint32_t flags, WizardServices services)
    : flags_(flags), services_(std::move(services)) {}

int DeviceSetup::say(const std::string& text, unsigned style) const {
  return services_.ask ? services_.ask(text, style) : kIdOk;
}

// ---------------------------------------------------------------- roads and pages

void DeviceSetup::ShowInstallPage() {
  closed = WizardClose::Open;
  layout = ButtonLayout::Install;
  if (isScanner()) {
    title = "Please verify the scanner software status.";
    question = "Do you want to install the scanner software?";
    note = "You can view the scanner software status through Printers and Other Hardware (Printer "
           "and Faxes) from the Control Panel of Windows.";
  } else {
    title = "Please verify the printer software or MFP utility status.";
    question = "Do you want to install the printer software or MFP utility?";
    note = "You can view the printer software or MFP utility status through Printers and Other "
           "Hardware (Printers and Faxes) from the Control Panel of Windows.";
  }
  installYes = false;
  page = WizardPage::Install;
}

bool DeviceSetup::ShowConnectPage(bool hint) {
  if (!services_.linkAndLock || !services_.linkAndLock(device)) {
    say(core::LoadMessage("SFail_Link"), kMbOk);
    return false;
  }
  if (services_.settle) services_.settle();
  installHint = hint;
  if (isScanner()) {
    title = "Scanner Connect Status";
    layout = hint && old() ? ButtonLayout::Step : ButtonLayout::Finish;
    if (old()) {
      scannerConfirm2 = "Please choose the desired scanner from the below list.";
      if (!hint) scanRows = FillScannerList();
    } else {
      scannerConfirm2 = "Press OK to end the system recognize scanner process.";
    }
    page = WizardPage::ConnectScanner;
    return true;
  }
  layout = ButtonLayout::Step;
  const bool mfp = UpperCase(device.type) == "MFP";
  if (mfp) {
    title = "MFP Connect Status";
    confirmText = "If the MFP utility installation process has not been completed.  Please finish "
                  "then go back to this page. Press Next to continue.";
    supportScanVisible = false;
    supportScanChecked = true;
  } else {
    title = "Printer Connect Status";
    confirmText = "If the printer software installation process has not been completed.  Please "
                  "finish then go back to this page. Press Next to continue.";
    supportScanVisible = true;
    supportScanChecked = scanSupport != 0;
  }
  confirmVisible = hint;
  mfpScanVisible = old() && mfp && !hint;
  scanListVisible = old() && supportScanChecked && !hint;
  if (old() && !hint) scanRows = FillScannerList();
  page = WizardPage::Connect;
  return true;
}

void DeviceSetup::showAutoScanPage() {
  if (isScanner()) {
    title = "Setting the scanner";
    layout = ButtonLayout::Finish;
  } else {
    title = "Setting the scanner function for MFP / Printer";
    layout = ButtonLayout::Step;
  }
  scanRows = FillScannerList();
  page = WizardPage::AutoScan;
}

void DeviceSetup::showAutoPrintPage() {
  title = "Auto Connect the Printer / MFP issue the jobs.";
  layout = ButtonLayout::Finish;
  printerRows = FillPrinterList();
  page = WizardPage::AutoPrint;
}

void DeviceSetup::NextBtnClick() {
  switch (page) {
    case WizardPage::Install:
      if (!installYes) {
        ShowConnectPage(false);
      } else {
        layout = ButtonLayout::Step;
        title = isScanner() ? "Insert the scanner software CD into your CD-ROM."
                            : "Insert the printer software / MFP utility CD into your CD-ROM.";
        note = isScanner() ? "Please put the scanner software CD in the CD-ROM to install."
                           : "Please put the printer software / MFP utility CD in the CD-ROM to install.";
        page = WizardPage::CdRom;
      }
      return;
    case WizardPage::CdRom: ShowConnectPage(true); return;
    case WizardPage::Connect:
      if (installYes && old()) showAutoScanPage();
      else showAutoPrintPage();
      return;
    case WizardPage::ConnectScanner:
      if (installYes && old()) {
        showAutoScanPage();
        return;
      }
      scanSupport = 1;
      if (!old()) {
        closed = WizardClose::Ok;
        return;
      }
      scannerName = GetCheckedName(scanRows);
      closed = scannerName.empty() ? WizardClose::Cancel : WizardClose::Ok;
      return;
    case WizardPage::AutoScan:
      scanSupport = supportScanChecked ? 1 : 0;
      scannerName = GetCheckedName(scanRows);
      if (!isScanner()) showAutoPrintPage();
      else closed = scannerName.empty() ? WizardClose::Cancel : WizardClose::Ok;
      return;
    case WizardPage::AutoPrint:
      if (!installYes || !old()) {
        scanSupport = supportScanChecked ? 1 : 0;
        if (old()) scannerName = GetCheckedName(scanRows);
      }
      if (!UpdateAutoConnectEntry(printerRows)) {
        const int answer = say("You did not choose a printer(MFP) to auto connect.\nAre you sure you "
                               "want to exit?",
                               kMbYesNo | kMbWarnTopMost);
        if (answer == kIdYes) closed = WizardClose::Cancel;
        return;
      }
      ApplyAutoConnectEntry();
      closed = WizardClose::Ok;
      return;
    case WizardPage::Trouble:
      if (isScanner() && scannerChosen) closed = WizardClose::Ok;
      else closed = printerChosen ? WizardClose::Ok : WizardClose::Cancel;
      return;
  }
}

bool DeviceSetup::ShowTroubleshootPage() {
  closed = WizardClose::Open;
  const std::string type = UpperCase(device.type);
  if (old() && type != "UNKNOWN") {
    if (!services_.linkAndLock || !services_.linkAndLock(device)) {
      say(core::LoadMessage("SFail_Link"), kMbOk);
      return false;
    }
    if (services_.settle) services_.settle();
  }
  layout = ButtonLayout::Troubleshoot;
  troubleOption = 0;
  okVisible = false;
  printerChosen = scannerChosen = false;
  if (type == "UNKNOWN") {
    title = "USB Device TroubleShoot";
    question = "You cannot use the USB device.";
    troubleOptions = {true, false, false};
  } else {
    const bool scanner = type == "SCANNER";
    title = scanner ? "Scanner TroubleShoot" : "Printer && MFP TroubleShoot";
    question = scanner ? "You cannot issue the scanner jobs." : "You cannot issue the printer or scanner jobs.";
    troubleOptions = {true, !scanner, true};
    if (!scanner) printerRows = FillPrinterList();
    scanRows = FillScannerList();
    if (!scannerName.empty()) {
      std::erase_if(scanRows, [&](const ScanRow& r) { return r.name == scannerName; });
      for (ScanRow& r : scanRows) r.checked = false;
      scanRows.insert(scanRows.begin(), {scannerName, true});
    }
  }
  page = WizardPage::Trouble;
  return true;
}

void DeviceSetup::TroubleRBtnClick(int option) {
  troubleOption = option;
  okVisible = option == 2 || option == 3;
}

void DeviceSetup::OKBtnClick() {
  if (troubleOption == 2) {
    // A choice an earlier OK made stands (the list holds it already) when this one changes
    // nothing. No watcher is touched here: the command moves it once the binding is stored.
    printerChosen = UpdateAutoConnectEntry(printerRows) || printerChosen;
    const bool checked = std::any_of(printerRows.begin(), printerRows.end(),
                                     [](const WizardRow& r) { return r.state == kRowChecked; });
    say(checked ? "You can directly issue the printer job to\n" + device.displayName
                : "You have successfully canceled auto connect printer\nfeature of " + device.displayName,
        kMbOk | kMbWarnTopMost);
  } else if (troubleOption == 3) {
    scannerName = GetCheckedName(scanRows);
    scanSupport = scannerName.empty() ? 0 : 1;
    say(scanSupport ? "You have successfully recognized the scanner. Please\nnotice that the \"Scanning "
                      "Now\" feature will be supported\n"
                    : "You have successfully removed recognition of scanner.\nPlease notice that the "
                      "\"Scanning Now\" feature will not be\nsupported\n",
        kMbOk | kMbWarnTopMost);
    scannerChosen = true;
  }
}

// ---------------------------------------------------------------- lists

std::vector<std::string> DeviceSetup::otherSectionValues() const {
  std::vector<std::string> values;
  if (!sections || sectionIndex < 0) return values;
  for (std::size_t s = 0; s < sections->size(); ++s) {
    if (static_cast<std::int32_t>(s) == sectionIndex) continue;
    const AFPrinterSection& section = (*sections)[s];
    for (std::size_t i = 1; i < section.size(); ++i) values.push_back(UpperCase(section[i].value));
  }
  return values;
}

void DeviceSetup::findSection() {
  sectionIndex = -1;
  if (!sections) return;
  for (std::size_t s = 0; s < sections->size(); ++s)
    if (!(*sections)[s].empty() && (*sections)[s][0].value == device.vid) {
      sectionIndex = static_cast<std::int32_t>(s);
      return;
    }
}

std::vector<WizardRow> DeviceSetup::FillPrinterList() {
  std::vector<WizardRow> rows;
  for (const printing::PrinterRow& p : services_.listPrinters ? services_.listPrinters()
                                                              : std::vector<printing::PrinterRow>{}) {
    WizardRow r{p.caption, p.port, p.type, kRowUnchecked, false};
    if (disabledByPort(p.type) && !(p.type == "7" && device.vid == kComVid)) r.state = kRowDisabled;
    rows.push_back(std::move(r));
  }
  const AutoLinkList& current = currentList();
  for (std::size_t i = 0; i < current.size(); ++i) {
    if (static_cast<std::int32_t>(i) == currentIndex) continue;
    for (WizardRow& r : rows)
      if (r.caption == current[i]->queueName) r.type = printerMode ? kMarkBoundHere : kMarkBoundOther;
  }
  for (const auto& entry : otherList())
    for (WizardRow& r : rows)
      if (r.caption == entry->queueName) {
        r.state = kRowDisabled;
        r.type = printerMode ? kMarkBoundOther : kMarkBoundHere;
      }

  findSection();
  if (sectionIndex >= 0) {
    const std::vector<std::string> others = otherSectionValues();
    for (WizardRow& r : rows) {
      if (r.state == kRowDisabled) continue;
      const std::string name = UpperCase(r.caption);
      if (std::any_of(others.begin(), others.end(), [&](const std::string& v) { return contains(name, v); })) {
        r.state = kRowDisabled;
        r.type = kMarkNotRecommended;
      }
    }
  }

  auto marked = [](const WizardRow& r) { return r.type == kMarkBoundHere || r.type == kMarkBoundOther; };
  for (WizardRow& r : rows)
    if (marked(r)) r.state = kRowUnchecked;
  moveToEnd(rows, marked);
  moveToEnd(rows, [](const WizardRow& r) { return r.state == kRowDisabled; });

  if (currentIndex >= 0 && static_cast<std::size_t>(currentIndex) < current.size()) {
    const std::string& mine = current[static_cast<std::size_t>(currentIndex)]->queueName;
    const auto it = std::find_if(rows.begin(), rows.end(), [&](const WizardRow& r) { return r.caption == mine; });
    if (it != rows.end()) {
      WizardRow r = *it;
      rows.erase(it);
      r.state = kRowChecked;
      r.selected = true;
      rows.insert(rows.begin(), std::move(r));
    }
  }
  return rows;
}

std::vector<ScanRow> DeviceSetup::FillScannerList() {
  std::vector<ScanRow> rows;
  std::vector<std::string> names = services_.twainSources ? services_.twainSources() : std::vector<std::string>{};
  if (names.size() > kMaxSources) names.resize(kMaxSources);
  findSection();  // a scanner's road may not have filled the printer list
  const std::vector<std::string> others = otherSectionValues();
  for (const std::string& name : names) {
    const std::string upper = UpperCase(name);
    if (contains(upper, "NETWORK SCANNER")) continue;
    if (std::any_of(others.begin(), others.end(), [&](const std::string& v) { return contains(upper, v); }))
      continue;
    rows.push_back({name, scanSupport == 1 && !scannerName.empty() && name == scannerName});
  }
  return rows;
}

void DeviceSetup::ToggleRow(std::vector<WizardRow>& rows, std::size_t row) {
  if (row >= rows.size() || rows[row].state == kRowDisabled) return;
  const bool check = rows[row].state != kRowChecked;
  for (WizardRow& r : rows) {
    if (r.state == kRowChecked) r.state = kRowUnchecked;
    r.selected = false;
  }
  if (check) {
    rows[row].state = kRowChecked;
    rows[row].selected = true;
  }
}

std::string DeviceSetup::GetCheckedName(const std::vector<ScanRow>& rows) {
  const auto it = std::find_if(rows.begin(), rows.end(), [](const ScanRow& r) { return r.checked; });
  return it == rows.end() ? std::string() : it->name;
}

std::string DeviceSetup::PrinterListViewInfoTip(const WizardRow& row) {
  if (disabledByPort(row.type)) return core::LoadMessage("SAutoLink_Fail");
  if (row.type == kMarkBoundHere) return core::LoadMessage("SAutoLink_Fail1");
  if (row.type == kMarkBoundOther) return core::LoadMessage("SAutoLink_Fail4");
  if (row.type == kMarkNotRecommended) return core::LoadMessage("SAutoLink_Fail2");
  return {};
}

// ---------------------------------------------------------------- the binding

bool DeviceSetup::UpdateAutoConnectEntry(const std::vector<WizardRow>& rows) {
  AutoLinkList& list = currentList();
  const bool hasEntry = currentIndex >= 0 && static_cast<std::size_t>(currentIndex) < list.size();
  const auto checked = std::find_if(rows.begin(), rows.end(), [](const WizardRow& r) { return r.state == kRowChecked; });
  if (checked == rows.end()) {
    if (!hasEntry) return false;
    bound = false;
    return true;
  }
  if (hasEntry && list[static_cast<std::size_t>(currentIndex)]->queueName == checked->caption) return false;

  bool recommended = false;
  if (sections && sectionIndex >= 0 && static_cast<std::size_t>(sectionIndex) < sections->size()) {
    const AFPrinterSection& own = (*sections)[static_cast<std::size_t>(sectionIndex)];
    const std::string name = UpperCase(checked->caption);
    for (std::size_t i = 1; i < own.size() && !recommended; ++i)
      recommended = contains(name, UpperCase(own[i].value));
  }
  if (!recommended && say(core::LoadMessage("SAutoLink_Fail3"), kMbOkCancel | kMbWarnTopMost) == kIdCancel)
    return false;
  // The watchers will refuse this port: the user hears it now, not at the first job.
  if (services_.autoConnectPort && !services_.autoConnectPort(checked->port))
    say(core::LoadMessage("SAutoLink_Fail"), kMbOk | kMbWarnTopMost);

  replacedIndex = -1;
  for (std::size_t i = 0; i < list.size(); ++i)
    if (static_cast<std::int32_t>(i) != currentIndex && list[i]->queueName == checked->caption)
      replacedIndex = static_cast<std::int32_t>(i);
  if (!hasEntry) {
    auto entry = std::make_unique<AutoLinkPrinter>();
    entry->serverIp = device.serverIp;
    entry->serverMac = device.serverMac;
    entry->vid = device.vid;
    entry->pid = device.pid;
    entry->serial = device.serial;
    entry->kind = printerMode ? "Printer" : "Fax";
    entry->stateText = "Empty";
    entry->useText = "Used";
    list.push_back(std::move(entry));
    currentIndex = static_cast<std::int32_t>(list.size() - 1);
  }
  bound = true;
  AutoLinkPrinter& entry = *list[static_cast<std::size_t>(currentIndex)];
  entry.queueName = checked->caption;
  entry.port = checked->port;
  return true;
}

void DeviceSetup::ApplyAutoConnectEntry() {
  if (!printers || printers->empty() || currentIndex == -1) return;
  const auto current = static_cast<std::size_t>(currentIndex);
  if (replacedIndex > -1 && services_.stopWatcher) services_.stopWatcher(static_cast<std::size_t>(replacedIndex));
  if (bound) {
    if (static_cast<std::int32_t>(printers->size()) == previousCount && services_.stopWatcher)
      services_.stopWatcher(current);
    if (services_.startWatcher) services_.startWatcher(current);
  } else if (services_.stopWatcher) {
    services_.stopWatcher(current);
  }
}

}  // namespace app
