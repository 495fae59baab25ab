#include "app/MainWindowPrintHost.h"

#include "app/Dialogs.h"
#include "app/TMainFm.h"
#include "core/MessageTable.h"
#include "platform/UiDispatcher.h"

namespace app {
namespace {

template <typename F>
auto onUi(F f) -> decltype(f()) {
  decltype(f()) result{};
  platform::ui::runOnUi([&] { result = f(); });
  return result;
}

ServerList::ServerPtr serverByMac(TMainFm& w, const std::string& mac) {
  if (w.closing()) return nullptr;
  for (const auto& s : w.serverList().servers())
    if (s->mac == mac) return s;
  return nullptr;
}

std::optional<printing::ServerView> serverView(TMainFm& w, const std::string& mac) {
  const auto s = serverByMac(w, mac);
  if (!s) return std::nullopt;
  return printing::ServerView{s->bus, s->ip};
}

std::optional<printing::DeviceRowView> rowView(TMainFm& w, const std::string& mac,
                                               const std::string& vid, const std::string& pid,
                                               const std::string& serial) {
  if (w.closing()) return std::nullopt;
  for (const auto& r : w.rows().rows()) {
    const DeviceData& d = *r.data;
    if (d.serverMac == mac && d.vid == vid && d.pid == pid && d.serial == serial)
      return printing::DeviceRowView{d.port, d.owner};
  }
  return std::nullopt;
}

}  // namespace

std::optional<printing::ServerView> MainWindowPrintHost::findServer(const std::string& mac) {
  return onUi([&] { return serverView(window_, mac); });
}

std::optional<printing::DeviceRowView> MainWindowPrintHost::findDeviceRow(
    const std::string& mac, const std::string& vid, const std::string& pid,
    const std::string& serial) {
  return onUi([&] { return rowView(window_, mac, vid, pid, serial); });
}

printing::ServerAndRow MainWindowPrintHost::findServerAndRow(const std::string& mac,
                                                             const std::string& vid,
                                                             const std::string& pid,
                                                             const std::string& serial) {
  return onUi([&] {
    printing::ServerAndRow found;
    found.server = serverView(window_, mac);
    if (found.server) found.row = rowView(window_, mac, vid, pid, serial);
    return found;
  });
}

std::string MainWindowPrintHost::thisHostName() {
  return onUi([&] { return window_.computerName(); });
}

bool MainWindowPrintHost::sessionEnding() {
  return onUi([&] { return window_.sessionEnding(); });
}

void MainWindowPrintHost::attachServerBus(const std::string& mac) {
  platform::ui::runOnUi([&] {
    if (const auto s = serverByMac(window_, mac)) window_.serverList().attachListed(s);
  });
}

void MainWindowPrintHost::refreshDeviceList(const std::string& mac) {
  platform::ui::runOnUi([&] {
    if (const auto s = serverByMac(window_, mac)) window_.RefreshDeviceList(s);
  });
}

void MainWindowPrintHost::showAutoLinkRefused() {
  platform::ui::runOnUi([&] {
    messageBoxes().show(core::LoadMessage("SAutoLink_Fail"), kProductName, kMbOk);
  });
}

void MainWindowPrintHost::pumpMessages() { TMainFm::PumpMessages(); }

}  // namespace app
