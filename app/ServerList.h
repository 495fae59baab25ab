#pragma once
// The device servers the main window knows: kept in step with the driver's server list, enabled by
// their stored setting or by the default-gateway rule, each enabled one with its bus attached.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RefreshMutex.h"
#include "core/SettingsStore.h"
#include "platform/Handle.h"

namespace app {

inline constexpr const char* kSettingsKey = core::kSettingsKey;

struct ServerData {
  platform::Handle bus = platform::kInvalidHandle;
  std::string busPath;
  std::string caption;  // name + " - " + IP
  std::string name;
  std::string ip;
  std::string status;
  std::string mac;
  bool enabled = false;
  std::int32_t storageMode = 0;
};

struct ServerInfoReg {
  std::string serverName, serverIp, serverMac;
  bool serverEnable = false;
  std::string reserve1, reserve2, reserve3;
};

// The stored switch reads true only from "1".
bool ReadStoredSwitch(const std::string& text);
// True when the server's key exists; then ServerEnable and the reserved values are read into r.
bool ReadServerSetting(const std::string& root, ServerInfoReg& r);
bool WriteServerSetting(const std::string& root, const ServerInfoReg& r);

// What the list needs of the window around it.
struct ServerListHooks {
  std::function<void()> pumpMessages;  // let the window's message queue run once
  std::function<bool()> closing;       // the window's shutdown has begun
  // Delete the device rows of one server (by name and IP), or all rows.
  std::function<void(const std::string& name, const std::string& ip)> removeServerRows;
  std::function<void()> removeAllRows;
};

class ServerList {
 public:
  using ServerPtr = std::shared_ptr<ServerData>;

  ServerList(RefreshMutex& mutex, ServerListHooks hooks);
  ~ServerList();

  void setControl(platform::Handle control) { control_ = control; }
  void setGateways(std::vector<std::string> gateways) { gateways_ = std::move(gateways); }
  const std::vector<std::string>& gateways() const { return gateways_; }

  // One refresh at a time: a refresh asked for while one runs (from a message pumped inside it)
  // runs once after it.
  void RefreshServerList();
  // Attaches s's bus; on success s.bus and s.busPath are set, else s.bus stays -1.
  void BuildTCPBus(const ServerPtr& s);

  const std::vector<ServerPtr>& servers() const { return servers_; }
  ServerPtr findByCaption(const std::string& caption) const;
  // Attaches a listed server's bus; when the server left the list meanwhile (the attach lets
  // messages run), its bus is closed again and false returned.
  bool attachListed(const ServerPtr& s);
  void remove(const ServerPtr& s);
  // Closes every server's bus and forgets the servers (shutdown).
  void CloseServerBuses();
  const std::string& busVersion() const { return busVersion_; }
  // True while a refresh or an attach is under way (its messages are being pumped).
  bool busy() const { return refreshing_ || attaching_ > 0; }

 private:
  void refreshOnce();
  void dropVanished(const std::vector<std::string>& names, const std::vector<std::string>& ips);
  void applyStoredSetting(ServerData& s);
  bool listed(const ServerPtr& s) const;
  void sortServers();
  void pumpAndSleep(unsigned ms);

  RefreshMutex& mutex_;
  ServerListHooks hooks_;
  platform::Handle control_ = platform::kInvalidHandle;
  std::vector<std::string> gateways_;
  std::vector<ServerPtr> servers_;
  std::string busVersion_;
  bool busVersionRead_ = false;
  bool refreshing_ = false;
  int attaching_ = 0;
  bool refreshAgain_ = false;
};

}  // namespace app
