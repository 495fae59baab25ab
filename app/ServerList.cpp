#include "app/ServerList.h"

#include <algorithm>
#include <strings.h>

#include "app/MainSettings.h"
#include "core/DriverInterface.h"
#include "core/NetInfo.h"
#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "platform/Registry.h"

namespace app {
namespace {

std::string serverKey(const std::string& root, const std::string& ip, const std::string& mac) {
  return root + "\\Auto-Connect\\IP_" + ip + "&MAC_" + mac;
}

std::string stringValue(const platform::RegKey& key, const char* name) {
  const auto v = key.value(name);
  if (!v || (v->type != platform::RegType::String && v->type != platform::RegType::ExpandString))
    return {};
  return v->text;
}

// Names, then IPs, without regard to letter case.
bool serverBefore(const ServerList::ServerPtr& a, const ServerList::ServerPtr& b) {
  if (const int c = strcasecmp(a->name.c_str(), b->name.c_str())) return c < 0;
  return strcasecmp(a->ip.c_str(), b->ip.c_str()) < 0;
}

}  // namespace

bool ReadStoredSwitch(const std::string& text) {
  const auto v = ParseInteger(text);
  return v && *v == 1;
}

bool ReadServerSetting(const std::string& root, ServerInfoReg& r) {
  auto key = platform::registry().openKey(platform::RegRoot::CurrentUser,
                                          serverKey(root, r.serverIp, r.serverMac),
                                          platform::kKeyAllAccess);
  if (!key) return false;
  r.serverEnable = ReadStoredSwitch(stringValue(*key, "ServerEnable"));
  r.reserve1 = stringValue(*key, "Reserve1");
  r.reserve2 = stringValue(*key, "Reserve2");
  r.reserve3 = stringValue(*key, "Reserve3");
  return true;
}

bool WriteServerSetting(const std::string& root, const ServerInfoReg& r) {
  auto& reg = platform::registry();
  if (!reg.openKey(platform::RegRoot::CurrentUser, root + "\\Auto-Connect", platform::kKeyAllAccess,
                   true))
    return false;
  auto key = reg.openKey(platform::RegRoot::CurrentUser, serverKey(root, r.serverIp, r.serverMac),
                         platform::kKeyAllAccess, true);
  if (!key) return false;
  bool ok = key->setString("ServerName", r.serverName);
  ok = key->setString("ServerIP", r.serverIp) && ok;
  ok = key->setString("ServerMAC", r.serverMac) && ok;
  ok = key->setString("ServerEnable", core::IntToString(r.serverEnable ? 1 : 0)) && ok;
  ok = key->setString("Reserve1", r.reserve1) && ok;
  ok = key->setString("Reserve2", r.reserve2) && ok;
  ok = key->setString("Reserve3", r.reserve3) && ok;
  return ok;
}

ServerList::ServerList(RefreshMutex& mutex, ServerListHooks hooks)
    : mutex_(mutex), hooks_(std::move(hooks)) {}

ServerList::~ServerList() { CloseServerBuses(); }

ServerList::ServerPtr ServerList::findByCaption(const std::string& caption) const {
  for (const auto& s : servers_)
    if (s->caption == caption) return s;
  return nullptr;
}

bool ServerList::listed(const ServerPtr& s) const {
  return std::find(servers_.begin(), servers_.end(), s) != servers_.end();
}

void ServerList::remove(const ServerPtr& s) {
  servers_.erase(std::remove(servers_.begin(), servers_.end(), s), servers_.end());
}

void ServerList::CloseServerBuses() {
  for (const auto& s : servers_) {
    if (s->bus != platform::kInvalidHandle) platform::deviceIo().Close(s->bus);
    s->bus = platform::kInvalidHandle;
  }
  servers_.clear();
}

void ServerList::sortServers() { std::stable_sort(servers_.begin(), servers_.end(), serverBefore); }

void ServerList::pumpAndSleep(unsigned ms) {
  if (hooks_.pumpMessages) hooks_.pumpMessages();
  platform::clock().sleepMs(ms);
}

void ServerList::RefreshServerList() {
  if (refreshing_) {
    refreshAgain_ = true;
    return;
  }
  refreshing_ = true;
  do {
    refreshAgain_ = false;
    try {
      refreshOnce();
    } catch (...) {
      // A refresh ends quietly; the list stays as far as it had come.
    }
  } while (refreshAgain_);
  refreshing_ = false;
}

void ServerList::dropVanished(const std::vector<std::string>& names,
                              const std::vector<std::string>& ips) {
  for (auto it = servers_.begin(); it != servers_.end();) {
    const ServerData& s = **it;
    bool still = false;
    for (std::size_t i = 0; i < names.size() && !still; ++i) still = names[i] == s.name && ips[i] == s.ip;
    if (still) {
      ++it;
      continue;
    }
    if (s.bus != platform::kInvalidHandle) platform::deviceIo().Close(s.bus);
    (*it)->bus = platform::kInvalidHandle;
    if (hooks_.removeServerRows) hooks_.removeServerRows(s.name, s.ip);
    it = servers_.erase(it);
  }
}

// The stored setting wins; a server never stored is enabled, and stored, only when its address is
// a default gateway of this computer.
void ServerList::applyStoredSetting(ServerData& s) {
  ServerInfoReg reg;
  reg.serverName = s.name;
  reg.serverIp = s.ip;
  reg.serverMac = s.mac;
  if (ReadServerSetting(kSettingsKey, reg)) {
    s.enabled = reg.serverEnable;
    return;
  }
  for (const auto& gateway : gateways_) {
    if (gateway != s.ip) continue;
    reg.serverEnable = s.enabled = true;
    WriteServerSetting(kSettingsKey, reg);
  }
}

void ServerList::refreshOnce() {
  if (control_ == platform::kInvalidHandle) return;
  RefreshMutexWait wait(mutex_, hooks_.pumpMessages, hooks_.closing);

  std::vector<core::ServerListEntry> reply;
  const int n = core::GetServerList(control_, reply);
  if (n < 0) return;
  if (n == 0) {
    CloseServerBuses();
    if (hooks_.removeAllRows) hooks_.removeAllRows();
    return;
  }
  // Servers in state 0 or 2 are not usable; the last entry takes a dropped one's place.
  for (std::size_t i = 0; i < reply.size();) {
    if (reply[i].status == "0" || reply[i].status == "2") {
      reply[i] = reply.back();
      reply.pop_back();
    } else {
      ++i;
    }
  }
  std::vector<std::string> names, ips;
  for (const auto& e : reply) {
    names.push_back(e.name);
    ips.push_back(e.ip);
  }
  dropVanished(names, ips);

  for (const auto& e : reply) {
    // Looked up afresh for every entry: the messages pumped by an attach may change the list.
    ServerPtr known;
    for (const auto& s : servers_)
      if (s->ip == e.ip && s->name == e.name) known = s;
    ServerPtr s = known ? known : std::make_shared<ServerData>();
    s->caption = e.name + " - " + e.ip;
    s->name = e.name;
    s->ip = e.ip;
    s->status = e.status;
    s->mac = e.mac;
    s->storageMode = e.storageMode;
    applyStoredSetting(*s);
    if (known) {
      if (s->enabled && s->bus == platform::kInvalidHandle && !attachListed(s)) s->enabled = false;
      continue;
    }
    if (s->enabled) {
      BuildTCPBus(s);
      if (s->bus == platform::kInvalidHandle) continue;  // new again at the next refresh
    }
    // The same server may have come in meanwhile, through a nested attach or refresh.
    bool already = false;
    for (const auto& other : servers_) already = already || (other->ip == s->ip && other->name == s->name);
    if (already) {
      if (s->bus != platform::kInvalidHandle) platform::deviceIo().Close(s->bus);
      continue;
    }
    servers_.push_back(s);
    sortServers();
  }
}

bool ServerList::attachListed(const ServerPtr& s) {
  BuildTCPBus(s);
  if (listed(s)) return s->bus != platform::kInvalidHandle;
  if (s->bus != platform::kInvalidHandle) platform::deviceIo().Close(s->bus);
  s->bus = platform::kInvalidHandle;
  return false;
}

void ServerList::BuildTCPBus(const ServerPtr& s) {
  if (!s) return;
  RefreshMutexWait wait(mutex_, hooks_.pumpMessages, hooks_.closing);
  ++attaching_;
  struct Done {
    int& n;
    ~Done() { --n; }
  } done{attaching_};
  core::AttachServer(control_, s->ip);
  platform::clock().sleepMs(500);

  auto closing = [this] { return hooks_.closing && hooks_.closing(); };
  for (int pass = 0; pass < 10 && !closing(); ++pass) {
    std::vector<core::BusDevice> buses;
    core::OpenBusDevices(buses);
    for (const auto& b : buses) {
      if (b.serverIp != s->ip) {
        platform::deviceIo().Close(b.handle);
        continue;
      }
      // A later bus of the same server replaces an earlier one, which must not stay open.
      if (s->bus != platform::kInvalidHandle) platform::deviceIo().Close(s->bus);
      s->bus = b.handle;
      s->busPath = b.path;
    }
    if (s->bus != platform::kInvalidHandle) break;
    for (int i = 0; i < 10; ++i) pumpAndSleep(100);
  }
  if (!busVersionRead_ && s->bus != platform::kInvalidHandle) {
    std::string shortVersion;
    core::GetBusVersion(s->bus, busVersion_, shortVersion);
    busVersionRead_ = true;
  }
}

}  // namespace app
