#pragma once
// What the printer set-up dialog decides, without its widgets: the printer rows with the marks of
// bound queues, their sorting, the state of its buttons, and its commands.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "printing/PrinterPorts.h"

namespace printing {

// The mark of a queue bound in the printer auto-connect list.
inline constexpr const char* kBoundPrinterMark = "90";

class PrinterSetup {
 public:
  using Tell = std::function<void(const std::string& text)>;
  PrinterSetup(std::uint32_t windowsVersionFlags, Tell tell);

  // The caption: the maker text, a blank, the product name, " - " and "Printer Setup".
  static std::string Caption(const std::string& maker, const std::string& product);
  // "Add New Printer" is offered on Windows 5.x and 6.x only.
  bool addNewPrinterShown() const;

  // ListPrinterBtnClick: lists the printers, marks and moves down the queues bound to a device,
  // drops LAN Manager rows, and looks whether the shared-printer port to be set is there already.
  void Refresh(const std::vector<std::string>& boundQueues);
  // A click on a column header: 0 the caption, n the sub-item n-1.
  void SortBy(int column);
  void Select(std::optional<std::size_t> row);

  // SetPortBtnClick and DeleteJobsBitBtnClick.
  void SetPort();
  void DeleteJobs();
  // Starts the system's add-printer wizard.
  void AddNewPrinter();

  const std::vector<PrinterRow>& rows() const { return rows_; }
  std::optional<std::size_t> selected() const { return selected_; }
  bool setPortEnabled() const { return setPortEnabled_; }
  bool deleteJobsEnabled() const { return selected_.has_value(); }
  bool listEnabled() const { return listEnabled_; }
  bool greyed(std::size_t row) const { return rows_.at(row).type == kBoundPrinterMark; }

  // The fields that say where the port to set leads, and the text shown as that port.
  PortTarget target;
  std::string portText = "Port";
  std::string queueText = "QName";

 private:
  // The shared-printer path the port text names: "\\" + the other host + "\" + the share.
  std::string composedPortName() const;

  std::uint32_t flags_;
  Tell tell_;
  std::vector<PrinterRow> rows_;
  std::optional<std::size_t> selected_;
  bool setPortEnabled_ = false;
  bool listEnabled_ = true;
};

}  // namespace printing
