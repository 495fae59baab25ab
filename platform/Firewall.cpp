#include "platform/Firewall.h"

#include <atomic>
#include <mutex>

#include "platform/SimEnvironment.h"
#include "platform/SimWire.h"

namespace platform {
namespace {

constexpr const char* kStepNames[] = {
    "create-manager", "local-policy",   "current-profile",  "open-ports",      "port-item",
    "port-enabled",   "create-port",    "put-port",         "put-protocol",    "put-port-name",
    "add-port",       "applications",   "application-item", "application-enabled",
    "create-application", "put-image-file-name", "put-application-name", "add-application"};
static_assert(std::size(kStepNames) == kLastFirewallStep);

class FirewallOverCalls final : public Firewall {
 public:
  explicit FirewallOverCalls(FirewallTransport transport) : transport_(std::move(transport)) {}
  FirewallAnswer call(const FirewallCall& c) override {
    if (auto answer = transport_(c)) return *answer;
    return {kRegdbEClassNotReg, false, false};
  }

 private:
  FirewallTransport transport_;
};

std::unique_ptr<Firewall> makeSimClientFirewall() {
  struct Connection {
    std::mutex mutex;
    simwire::Channel channel;
  };
  auto connection = std::make_shared<Connection>();
  return makeFirewallOverCalls([connection](const FirewallCall& c) -> std::optional<FirewallAnswer> {
    simwire::FirewallRequest request{sim::thisHostName(), c};
    std::lock_guard lock(connection->mutex);
    auto reply = connection->channel.exchange(request);
    if (!reply) return std::nullopt;
    if (auto* answer = std::get_if<simwire::FirewallReply>(&*reply)) return answer->answer;
    return std::nullopt;
  });
}

std::atomic<Firewall*> installed{nullptr};

}  // namespace

const char* firewallStepName(FirewallStep step) {
  const auto i = static_cast<std::size_t>(step);
  return i >= 1 && i <= kLastFirewallStep ? kStepNames[i - 1] : "?";
}

std::optional<FirewallStep> parseFirewallStep(const std::string& name) {
  for (std::size_t i = 0; i < std::size(kStepNames); ++i)
    if (name == kStepNames[i]) return static_cast<FirewallStep>(i + 1);
  return std::nullopt;
}

std::unique_ptr<Firewall> makeFirewallOverCalls(FirewallTransport transport) {
  return std::make_unique<FirewallOverCalls>(std::move(transport));
}

Firewall& firewall() {
  if (Firewall* f = installed.load(std::memory_order_acquire)) return *f;
  static const std::unique_ptr<Firewall> client = makeSimClientFirewall();
  return *client;
}

void setFirewall(Firewall* f) { installed.store(f, std::memory_order_release); }

}  // namespace platform
