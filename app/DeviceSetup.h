#pragma once
// What the device set-up wizard decides, without its widgets: its pages and their order on the
// install and troubleshooting roads, the button layouts, the printer list with its disabled rows
// and marks, the scanner lists, and the binding it makes in the auto-connect lists.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/DeviceRows.h"
#include "app/DeviceSettings.h"
#include "printing/PrinterPorts.h"

namespace app {

enum class WizardPage { Install, Connect, ConnectScanner, AutoScan, AutoPrint, CdRom, Trouble };
enum class ButtonLayout { Install, Step, Finish, Troubleshoot };
enum class WizardClose { Open, Ok, Cancel };

// States of a list row: unchecked, checked, disabled (drawn grey).
inline constexpr int kRowUnchecked = 0;
inline constexpr int kRowChecked = 1;
inline constexpr int kRowDisabled = 2;

inline constexpr const char* kMarkBoundHere = "90";      // bound in the current list
inline constexpr const char* kMarkNotRecommended = "91";  // a model of another maker
inline constexpr const char* kMarkBoundOther = "92";     // bound in the other list

struct WizardRow {
  std::string caption, port, type;
  int state = kRowUnchecked;
  bool selected = false;
};

struct ScanRow {
  std::string name;
  bool checked = false;
};

// What the wizard reaches outside itself.
struct WizardServices {
  // A message box captioned with the product name: the answer (kIdOk, kIdYes, ...).
  std::function<int(const std::string& text, unsigned style)> ask;
  // Links the device and locks it as a user's connection for an hour.
  std::function<bool(const DeviceData& device)> linkAndLock;
  // Lets window messages run for two seconds while the system takes the device in.
  std::function<void()> settle;
  std::function<std::vector<printing::PrinterRow>()> listPrinters;
  std::function<std::vector<std::string>()> twainSources;
  // Whether the print watchers would drive a queue on this port.
  std::function<bool(const std::string& port)> autoConnectPort;
  // The printer-list watcher of an entry: stopped (and waited for), or (re)started.
  std::function<void(std::size_t index)> stopWatcher;
  std::function<void(std::size_t index)> startWatcher;
};

// True on Windows 5.0 and 4.0, where the wizard offers TWAIN scanner choices.
bool IsOldWindows(std::uint32_t windowsVersionFlags);
// "UNKNOWN" and "SCANNER" (any case) are scanners; every other type a printer.
bool IsScannerType(const std::string& type);

class DeviceSetup {
 public:
  DeviceSetup(std::uint32_t windowsVersionFlags, WizardServices services);

  // Inputs, set by the opener.
  bool printerMode = true;
  DeviceData device;
  AutoLinkList* printers = nullptr;  // the main window's lists
  AutoLinkList* faxes = nullptr;
  const std::vector<AFPrinterSection>* sections = nullptr;
  // Inputs and outputs.
  std::int32_t currentIndex = -1;
  std::int32_t sectionIndex = -1;
  std::int32_t replacedIndex = -1;
  std::int32_t previousCount = 0;
  bool bound = false;
  bool printerChosen = false;
  bool scannerChosen = false;
  std::int32_t scanSupport = 0;
  std::string scannerName;

  // The two roads.
  void ShowInstallPage();
  // False when the device could not be connected (the road ends with a message).
  bool ShowTroubleshootPage();
  // The Next button, by the page shown.
  void NextBtnClick();
  // The troubleshooting page's radio buttons (1 to 3) and its OK button.
  void TroubleRBtnClick(int option);
  void OKBtnClick();

  // The lists.
  std::vector<WizardRow> FillPrinterList();
  std::vector<ScanRow> FillScannerList();
  // Clicking a row that is not disabled checks it alone, or unchecks it.
  static void ToggleRow(std::vector<WizardRow>& rows, std::size_t row);
  static std::string GetCheckedName(const std::vector<ScanRow>& rows);
  // The tip of a row by its type column, empty for none.
  static std::string PrinterListViewInfoTip(const WizardRow& row);
  bool UpdateAutoConnectEntry(const std::vector<WizardRow>& rows);
  void ApplyAutoConnectEntry();

  // What is shown.
  WizardPage page = WizardPage::Install;
  ButtonLayout layout = ButtonLayout::Install;
  WizardClose closed = WizardClose::Open;
  bool installYes = false;  // RBtn_Install1 chosen
  bool installHint = false;  // the connect page came from the CD-ROM page
  std::string title, question, note;
  bool supportScanChecked = false;
  bool supportScanVisible = true;
  bool mfpScanVisible = false;          // Label_MFPScan
  bool scanListVisible = false;         // ScanListView on the connect page
  bool confirmVisible = false;          // the printer's installation hint
  std::string confirmText;
  std::string scannerConfirm2;          // Memo_ScannerConfirm2
  std::vector<bool> troubleOptions;     // which of the three radio buttons are offered
  int troubleOption = 0;                // 0 none chosen yet
  bool okVisible = false;
  std::vector<WizardRow> printerRows;   // PrinterListView, PrinterListView1
  std::vector<ScanRow> scanRows;        // ScanListView, ScanListView1, ScanListView2, ScanListView3

 private:
  bool isScanner() const { return IsScannerType(device.type); }
  bool old() const { return IsOldWindows(flags_); }
  AutoLinkList& currentList() const { return printerMode ? *printers : *faxes; }
  AutoLinkList& otherList() const { return printerMode ? *faxes : *printers; }
  std::vector<std::string> otherSectionValues() const;
  void findSection();
  bool ShowConnectPage(bool hint);
  void showAutoScanPage();
  void showAutoPrintPage();
  int say(const std::string& text, unsigned style) const;

  std::uint32_t flags_;
  WizardServices services_;
};

}  // namespace app
