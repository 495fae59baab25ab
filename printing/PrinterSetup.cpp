#include "printing/PrinterSetup.h"

#include <algorithm>
#include <cctype>

#include "core/MessageTable.h"
#include "core/NetInfo.h"
#include "core/TextCase.h"
#include "platform/PrintSpooler.h"

namespace printing {
namespace {

const std::string& columnText(const PrinterRow& row, int column) {
  return column == 0 ? row.caption : column == 1 ? row.port : row.type;
}

}  // namespace

PrinterSetup::PrinterSetup(std::uint32_t flags, Tell tell) : flags_(flags), tell_(std::move(tell)) {}

std::string PrinterSetup::Caption(const std::string& maker, const std::string& product) {
  return maker + " " + product + " - Printer Setup";
}

bool PrinterSetup::addNewPrinterShown() const { return (flags_ & core::kWin5xOr6x) != 0; }

void PrinterSetup::Refresh(const std::vector<std::string>& boundQueues) {
  std::vector<PrinterRow> listed = ListPrinters();
  std::vector<PrinterRow> bound;
  std::erase_if(listed, [&](PrinterRow& row) {
    if (std::find(boundQueues.begin(), boundQueues.end(), row.caption) == boundQueues.end())
      return false;
    row.type = kBoundPrinterMark;
    bound.push_back(row);
    return true;
  });
  listed.insert(listed.end(), bound.begin(), bound.end());
  rows_ = std::move(listed);
  selected_.reset();
  setPortEnabled_ = false;
  listEnabled_ = true;

  if (target.protocol == 0) {
    const std::string composed = core::UpperCase(composedPortName());
    const std::string shown = core::UpperCase(portText);
    const bool there = std::any_of(rows_.begin(), rows_.end(), [&](const PrinterRow& row) {
      const std::string port = core::UpperCase(row.port);
      return port == composed || port == shown;
    });
    if (there) {
      if (tell_) tell_(core::LoadMessage("SPrinterSetup_SMB"));
      listEnabled_ = false;
    }
  }
  std::erase_if(rows_, [](const PrinterRow& row) { return row.type == std::to_string(kPortLanManager); });
}

std::string PrinterSetup::composedPortName() const {
  const std::string& inUse = target.useFirstHost ? target.firstHost : target.secondHost;
  const std::string& other = target.useFirstHost ? target.secondHost : target.firstHost;
  const std::size_t at = portText.find(inUse);
  const std::string share = at == std::string::npos ? portText : portText.substr(at + inUse.size());
  return "\\\\" + other + "\\" + share;
}

void PrinterSetup::SortBy(int column) {
  if (rows_.size() < 2 || column < 0 || column > 2) return;
  auto before = [column](const PrinterRow& a, const PrinterRow& b) {
    return core::UpperCase(columnText(a, column)) < core::UpperCase(columnText(b, column));
  };
  const bool descending = before(rows_.front(), rows_.back());
  std::stable_sort(rows_.begin(), rows_.end(), [&](const PrinterRow& a, const PrinterRow& b) {
    return descending ? before(b, a) : before(a, b);
  });
  selected_.reset();
  setPortEnabled_ = false;
}

void PrinterSetup::Select(std::optional<std::size_t> row) {
  if (row && *row >= rows_.size()) row.reset();
  selected_ = row;
  setPortEnabled_ = row.has_value() && listEnabled_;
}

void PrinterSetup::SetPort() {
  if (!selected_) {
    if (tell_) tell_(core::LoadMessage("SPrinterSetup_0"));
    return;
  }
  const PrinterRow row = rows_[*selected_];
  if (row.type == kBoundPrinterMark) {
    if (tell_)
      tell_(core::LoadMessage("SFail_SetPrinter1") + "\n\n" + core::LoadMessage("SFail_SetPrinter2"));
    return;
  }
  setPortEnabled_ = false;
  const int reassigned = ReassignPrinterPort(row.caption, portText, target, flags_, tell_);
  if (reassigned < 0) {
    if (tell_) tell_(core::LoadMessage("SPrinterSetup_F"));
  } else {
    bool told = false;
    const Tell telling = [&](const std::string& text) {
      told = true;
      if (tell_) tell_(text);
    };
    if (SetPrinterPort(row.caption, portText, telling) == 1) {
      rows_[*selected_].port = portText;
      if (tell_) tell_(core::LoadMessage("SPrinterSetup_S"));
    } else if (!told && tell_) {
      // A queue that refused the port says so, as every other failure here does.
      tell_(core::LoadMessage("SPrinterSetup_F"));
    }
    if (reassigned == kReassignedThroughTempPort) DeletePort(kTempPortName, true);
  }
  setPortEnabled_ = true;
}

void PrinterSetup::DeleteJobs() {
  if (!selected_) {
    if (tell_) tell_(core::LoadMessage("SPrinterSetup_0"));
    return;
  }
  DeletePrinterJobs(rows_[*selected_].caption);
}

void PrinterSetup::AddNewPrinter() { platform::printSpooler().StartAddPrinterWizard(); }

}  // namespace printing
