#pragma once
// The main window as the print watchers see it: every call runs on the UI thread, so the watchers
// never read the window's lists while it rebuilds them.
#include "printing/PrintWatcherHost.h"

namespace app {

class TMainFm;

class MainWindowPrintHost final : public printing::PrintWatcherHost {
 public:
  explicit MainWindowPrintHost(TMainFm& window) : window_(window) {}
  std::optional<printing::ServerView> findServer(const std::string& mac) override;
  std::optional<printing::DeviceRowView> findDeviceRow(const std::string& mac,
                                                       const std::string& vid,
                                                       const std::string& pid,
                                                       const std::string& serial) override;
  printing::ServerAndRow findServerAndRow(const std::string& mac, const std::string& vid,
                                          const std::string& pid, const std::string& serial) override;
  std::string thisHostName() override;
  bool sessionEnding() override;
  void attachServerBus(const std::string& mac) override;
  void refreshDeviceList(const std::string& mac) override;
  void showAutoLinkRefused() override;
  void pumpMessages() override;

 private:
  TMainFm& window_;
};

}  // namespace app
