#pragma once
// The main window as a print watcher sees it, played over the driver: a server list with bus
// handles, device rows read from each server's bus, this host's name and the session flag. Rows
// follow the driver at every look (as the window's rows follow its device-list events) unless
// followDriver is off; then only a refresh reads them.
#include <atomic>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/DriverInterface.h"
#include "platform/DeviceIo.h"
#include "printing/PrintWatcherHost.h"

namespace printtest {

class FakeWatcherHost final : public printing::PrintWatcherHost {
 public:
  struct Server {
    std::string mac, ip;
    platform::Handle bus = platform::kInvalidHandle;
    std::vector<core::DeviceListItem> rows;
  };

  FakeWatcherHost(std::string hostName, std::vector<Server> servers)
      : hostName_(std::move(hostName)), servers_(std::move(servers)) {
    core::OpenControlDevice(control_);
  }
  ~FakeWatcherHost() override {
    for (const Server& s : servers_)
      if (s.bus != platform::kInvalidHandle) platform::deviceIo().Close(s.bus);
    if (control_ != platform::kInvalidHandle) platform::deviceIo().Close(control_);
  }

  std::optional<printing::ServerView> findServer(const std::string& mac) override {
    std::lock_guard lock(mutex_);
    const Server* s = find(mac);
    if (!s) return std::nullopt;
    return printing::ServerView{s->bus, s->ip};
  }

  std::optional<printing::DeviceRowView> findDeviceRow(const std::string& mac, const std::string& vid,
                                                       const std::string& pid,
                                                       const std::string& serial) override {
    std::lock_guard lock(mutex_);
    if (failRowLookUps) throw std::runtime_error("the rows cannot be read");
    Server* s = find(mac);
    if (!s) return std::nullopt;
    if (followDriver) readRows(*s);
    for (const core::DeviceListItem& d : s->rows)
      if (d.vid == vid && d.pid == pid && d.serial == serial)
        return printing::DeviceRowView{d.port, d.owner};
    return std::nullopt;
  }

  std::string thisHostName() override { return hostName_; }
  bool sessionEnding() override { return ending; }

  void attachServerBus(const std::string& mac) override {
    std::lock_guard lock(mutex_);
    ++attaches;
    Server* s = find(mac);
    if (!s || s->bus != platform::kInvalidHandle || !core::AttachServer(control_, s->ip)) return;
    std::vector<core::BusDevice> buses;
    core::OpenBusDevices(buses);
    for (const core::BusDevice& b : buses) {
      if (b.serverIp == s->ip && s->bus == platform::kInvalidHandle) {
        s->bus = b.handle;
      } else {
        platform::deviceIo().Close(b.handle);
      }
    }
  }

  void refreshDeviceList(const std::string& mac) override {
    std::lock_guard lock(mutex_);
    ++refreshes;
    if (Server* s = find(mac)) readRows(*s);
  }

  void showAutoLinkRefused() override { ++messages; }

  std::atomic<bool> ending{false};
  std::atomic<bool> followDriver{true};
  std::atomic<bool> failRowLookUps{false};
  std::atomic<int> attaches{0};
  std::atomic<int> refreshes{0};
  std::atomic<int> messages{0};

 private:
  Server* find(const std::string& mac) {
    for (Server& s : servers_)
      if (s.mac == mac) return &s;
    return nullptr;
  }

  static void readRows(Server& s) {
    if (s.bus == platform::kInvalidHandle) return;
    if (auto rows = core::GetDeviceList(s.bus)) s.rows = std::move(*rows);
  }

  std::string hostName_;
  std::mutex mutex_;
  std::vector<Server> servers_;
  platform::Handle control_ = platform::kInvalidHandle;
};

}  // namespace printtest
