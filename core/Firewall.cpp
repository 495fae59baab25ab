#include "core/Firewall.h"

#include <cstdio>
#include <mutex>

#include "platform/Firewall.h"

namespace core {
namespace {

using platform::FirewallAnswer;
using platform::FirewallCall;
using platform::FirewallStep;
using platform::Succeeded;

// The texts are handed over in wide buffers of 1024 characters: at most 1023 characters each.
constexpr std::size_t kWideRoom = 1023;

std::mutex outputMutex;
std::function<void(const std::string&)> output;

void say(const std::string& text) {
  std::lock_guard lock(outputMutex);
  if (output) {
    output(text);
  } else {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  }
}

std::string hex(HResult hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(hr));
  return text;
}

void sayFailed(const char* what, HResult hr) { say(std::string(what) + " failed: " + hex(hr) + "\n"); }

// Cut to the room of the wide buffer, counting characters, not bytes.
std::string wide(const std::string& text) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // a continuation byte
    if (characters++ == kWideRoom) return text.substr(0, i);
  }
  return text;
}

FirewallAnswer step(FirewallStep s, std::int32_t port = 0, std::int32_t protocol = 0,
                    const std::string& path = {}, const std::string& name = {}) {
  return platform::firewall().call(FirewallCall{s, port, protocol, path, name});
}

// The shared frame: COM for the thread, the profile, the operation, and the clean-up.
template <typename Operation>
bool withProfile(Operation operation) {
  bool result = true;
  const HResult init = platform::CoInitializeEx(nullptr, platform::kCoInitApartmentThreaded |
                                                             platform::kCoInitDisableOle1Dde);
  FirewallProfileRef profile;
  if (init != platform::kRpcEChangedMode && !Succeeded(init)) {
    sayFailed("CoInitializeEx", init);
    result = false;
  } else if (!Succeeded(WindowsFirewallGetProfile(profile))) {
    result = false;
  } else if (!operation(profile)) {
    result = false;
  }
  WindowsFirewallRelease(profile);
  if (Succeeded(init)) platform::CoUninitialize();
  return result;
}

}  // namespace

void setFirewallOutput(std::function<void(const std::string&)> out) {
  std::lock_guard lock(outputMutex);
  output = std::move(out);
}

std::string FirewallPortEntryName(const std::string& productName) { return productName + " UDP Port"; }

bool FirewallOpenUdpPort(std::int32_t port, const std::string& name) {
  return FirewallOpenPort(port, platform::kProtocolUdp, name);
}

bool FirewallOpenPort(std::int32_t port, std::int32_t protocol, const std::string& name) {
  const std::string entry = wide(name);
  return withProfile([&](FirewallProfileRef& profile) {
    const HResult hr = WindowsFirewallPortAdd(profile, port, protocol, entry);
    if (Succeeded(hr)) return true;
    sayFailed("WindowsFirewallPortAdd", hr);
    return false;
  });
}

bool FirewallAddApp(const std::string& path, const std::string& name) {
  const std::string image = wide(path);
  const std::string entry = wide(name);
  return withProfile([&](FirewallProfileRef& profile) {
    const HResult hr = WindowsFirewallAddApp(profile, image, entry);
    if (Succeeded(hr)) return true;
    sayFailed("WindowsFirewallAddApp", hr);
    return false;
  });
}

HResult WindowsFirewallGetProfile(FirewallProfileRef& profile) {
  profile.held = false;
  HResult hr = step(FirewallStep::CreateManager).hr;
  if (!Succeeded(hr)) {
    sayFailed("CoCreateInstance", hr);
    return hr;
  }
  hr = step(FirewallStep::GetLocalPolicy).hr;
  if (!Succeeded(hr)) {
    sayFailed("get_LocalPolicy", hr);
    return hr;
  }
  hr = step(FirewallStep::GetCurrentProfile).hr;
  if (!Succeeded(hr)) {
    sayFailed("get_CurrentProfile", hr);
    return hr;
  }
  profile.held = true;
  return hr;
}

void WindowsFirewallRelease(FirewallProfileRef& profile) { profile.held = false; }

HResult WindowsFirewallPortIsEnabled(FirewallProfileRef&, std::int32_t port, std::int32_t protocol,
                                     bool& enabled) {
  enabled = false;
  HResult hr = step(FirewallStep::GetGloballyOpenPorts).hr;
  if (!Succeeded(hr)) {
    sayFailed("get_GloballyOpenPorts", hr);
    return hr;
  }
  const FirewallAnswer item = step(FirewallStep::PortItem, port, protocol);
  if (Succeeded(item.hr) && item.found) {
    const FirewallAnswer read = step(FirewallStep::PortEnabled, port, protocol);
    if (!Succeeded(read.hr)) {
      sayFailed("get_Enabled", read.hr);
      return read.hr;
    }
    enabled = read.enabled;
  }
  // A port that is not found counts as not open.
  say("Port " + std::to_string(port) + (enabled ? " is open in the firewall.\n" : " is not open in the firewall.\n"));
  return platform::kSOk;
}

HResult WindowsFirewallPortAdd(FirewallProfileRef& profile, std::int32_t port, std::int32_t protocol,
                               const std::string& name) {
  bool enabled = false;
  HResult hr = WindowsFirewallPortIsEnabled(profile, port, protocol, enabled);
  if (!Succeeded(hr)) {
    sayFailed("WindowsFirewallPortIsEnabled", hr);
    return hr;
  }
  if (enabled) return platform::kSOk;
  const struct {
    FirewallStep step;
    const char* what;
  } steps[] = {{FirewallStep::GetGloballyOpenPorts, "get_GloballyOpenPorts"},
               {FirewallStep::CreateOpenPort, "CoCreateInstance"},
               {FirewallStep::PutPort, "put_Port"},
               {FirewallStep::PutProtocol, "put_Protocol"}};
  for (const auto& s : steps) {
    hr = step(s.step, port, protocol, {}, name).hr;
    if (!Succeeded(hr)) {
      sayFailed(s.what, hr);
      return hr;
    }
  }
  if (name.empty()) {  // the name's system string comes back empty
    sayFailed("SysAllocString", platform::kEOutOfMemory);
    return platform::kEOutOfMemory;
  }
  for (const auto& s : {std::pair{FirewallStep::PutPortName, "put_Name"}, std::pair{FirewallStep::AddPort, "Add"}}) {
    hr = step(s.first, port, protocol, {}, name).hr;
    if (!Succeeded(hr)) {
      sayFailed(s.second, hr);
      return hr;
    }
  }
  say("Port " + std::to_string(port) + " is now open in the firewall.\n");
  return hr;
}

HResult WindowsFirewallAppIsEnabled(FirewallProfileRef&, const std::string& path, bool& enabled) {
  enabled = false;
  HResult hr = step(FirewallStep::GetAuthorizedApplications).hr;
  if (!Succeeded(hr)) {
    sayFailed("get_AuthorizedApplications", hr);
    return hr;
  }
  if (path.empty()) {
    sayFailed("SysAllocString", platform::kEOutOfMemory);
    return platform::kEOutOfMemory;
  }
  const FirewallAnswer item = step(FirewallStep::ApplicationItem, 0, 0, path);
  if (Succeeded(item.hr) && item.found) {
    const FirewallAnswer read = step(FirewallStep::ApplicationEnabled, 0, 0, path);
    if (!Succeeded(read.hr)) {
      sayFailed("get_Enabled", read.hr);
      return read.hr;
    }
    enabled = read.enabled;
  }
  say("Authorized application " + path +
      (enabled ? " is enabled in the firewall.\n" : " is disabled in the firewall.\n"));
  return platform::kSOk;
}

HResult WindowsFirewallAddApp(FirewallProfileRef& profile, const std::string& path,
                              const std::string& name) {
  bool enabled = false;
  HResult hr = WindowsFirewallAppIsEnabled(profile, path, enabled);
  if (!Succeeded(hr)) {
    sayFailed("WindowsFirewallAppIsEnabled", hr);
    return hr;
  }
  if (enabled) return platform::kSOk;
  const auto run = [&](FirewallStep s, const char* what) {
    hr = step(s, 0, 0, path, name).hr;
    if (!Succeeded(hr)) sayFailed(what, hr);
    return Succeeded(hr);
  };
  if (!run(FirewallStep::GetAuthorizedApplications, "get_AuthorizedApplications") ||
      !run(FirewallStep::CreateApplication, "CoCreateInstance"))
    return hr;
  if (!run(FirewallStep::PutProcessImageFileName, "put_ProcessImageFileName")) return hr;
  if (name.empty()) {
    sayFailed("SysAllocString", platform::kEOutOfMemory);
    return platform::kEOutOfMemory;
  }
  if (!run(FirewallStep::PutApplicationName, "put_Name") || !run(FirewallStep::AddApplication, "Add"))
    return hr;
  say("Authorized application " + path + " is now enabled in the firewall.\n");
  return hr;
}

}  // namespace core
