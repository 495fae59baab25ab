#pragma once
// The firewall of the current profile, as the program's firewall entries reach it: globally open
// ports and authorised applications, each with a name and an enabled flag. Every call stands for
// one call of the firewall's interfaces and answers its HRESULT, so that each step can fail on its
// own.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Com.h"

namespace platform {

inline constexpr std::int32_t kProtocolUdp = 17;
inline constexpr std::int32_t kProtocolTcp = 6;

enum class FirewallStep : std::uint8_t {
  CreateManager = 1,        // the firewall manager object
  GetLocalPolicy,
  GetCurrentProfile,
  GetGloballyOpenPorts,
  PortItem,                 // look a port up by number and protocol
  PortEnabled,              // read its enabled flag
  CreateOpenPort,           // a new open-port object
  PutPort,
  PutProtocol,
  PutPortName,
  AddPort,                  // add the object to the open ports
  GetAuthorizedApplications,
  ApplicationItem,          // look an application up by its path
  ApplicationEnabled,
  CreateApplication,
  PutProcessImageFileName,
  PutApplicationName,
  AddApplication,
};
inline constexpr std::uint8_t kLastFirewallStep =
    static_cast<std::uint8_t>(FirewallStep::AddApplication);

// The step's name as the control command spells it ("create-manager", "add-port", ...).
const char* firewallStepName(FirewallStep step);
std::optional<FirewallStep> parseFirewallStep(const std::string& name);

// What a step is given and what it answers. Lookups set `found`, reads set `enabled`; the add
// steps take the entry from port, protocol, path and name.
struct FirewallCall {
  FirewallStep step = FirewallStep::CreateManager;
  std::int32_t port = 0;
  std::int32_t protocol = 0;
  std::string path;
  std::string name;
};
struct FirewallAnswer {
  HResult hr = kSOk;
  bool found = false;
  bool enabled = false;
};

class Firewall {
 public:
  virtual ~Firewall() = default;
  virtual FirewallAnswer call(const FirewallCall& call) = 0;
};

// Carries one call; nullopt when it could not be carried (it then fails as a missing firewall).
using FirewallTransport = std::function<std::optional<FirewallAnswer>(const FirewallCall&)>;
std::unique_ptr<Firewall> makeFirewallOverCalls(FirewallTransport transport);

// The process-wide firewall: by default the simulated host's, for platform::sim::thisHostName().
Firewall& firewall();
void setFirewall(Firewall* f);  // not owned; nullptr restores the default

}  // namespace platform
