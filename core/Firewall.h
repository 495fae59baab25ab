#pragma once
// The program's firewall entries: its executable among the authorised applications and its UDP
// port among the globally open ports of the current profile, each added only when it is not
// already enabled. Progress and failures are written as text (standard output unless a test
// listens); the callers look at no result.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Com.h"

namespace core {

using platform::HResult;

// Where the texts go; an empty function restores standard output.
void setFirewallOutput(std::function<void(const std::string&)> output);

// The current profile, held between getting and releasing it.
struct FirewallProfileRef {
  bool held = false;
};

bool FirewallOpenUdpPort(std::int32_t port, const std::string& name);
bool FirewallOpenPort(std::int32_t port, std::int32_t protocol, const std::string& name);
bool FirewallAddApp(const std::string& path, const std::string& name);

HResult WindowsFirewallGetProfile(FirewallProfileRef& profile);
void WindowsFirewallRelease(FirewallProfileRef& profile);
HResult WindowsFirewallPortIsEnabled(FirewallProfileRef& profile, std::int32_t port,
                                     std::int32_t protocol, bool& enabled);
HResult WindowsFirewallPortAdd(FirewallProfileRef& profile, std::int32_t port, std::int32_t protocol,
                               const std::string& name);
HResult WindowsFirewallAppIsEnabled(FirewallProfileRef& profile, const std::string& path, bool& enabled);
HResult WindowsFirewallAddApp(FirewallProfileRef& profile, const std::string& path,
                              const std::string& name);

// The entry names the program uses.
inline constexpr std::int32_t kFirewallUdpPort = 9303;
std::string FirewallPortEntryName(const std::string& productName);  // product name + " UDP Port"

}  // namespace core
