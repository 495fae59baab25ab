#include "sim/InProcessNetwork.h"

namespace sim {

std::unique_ptr<platform::UdpNetwork> makeInProcessUdpNetwork(World& world, std::string host) {
  return platform::makeUdpOverCalls([&world, host](const platform::UdpCall& c) {
    return std::optional(world.udp(host, c));
  });
}

std::unique_ptr<platform::Firewall> makeInProcessFirewall(World& world, std::string host) {
  return platform::makeFirewallOverCalls([&world, host](const platform::FirewallCall& c) {
    return std::optional(world.firewall(host, c));
  });
}

}  // namespace sim
