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

}  // namespace

std::optional<printing::ServerView> MainWindowPrintHost::findServer(const std::string& mac) {
  return onUi([&]() -> std::optional<printing::ServerView> {
    const auto s = serverByMac(window_, mac);
    if (!s) return std::nullopt;
    return printing::ServerView{s->bus, s->ip};
  });
}

std::optional<printing::DeviceRowView> MainWindowPrintHost::findDeviceRow(
    const std::string& mac, const std::string& vid, const std::string& pid,
    const std::string& serial) {
  return onUi([&]() -> std::optional<printing::DeviceRowView> {
    if (window_.closing()) return std::nullopt;
    for (const auto& r : window_.rows().rows()) {
      const DeviceData& d = *r.data;
      if (d.serverMac == mac && d.vid == vid && d.pid == pid && d.serial == serial)
        return printing::DeviceRowView{d.port, d.owner};
    }
    return std::nullopt;
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
