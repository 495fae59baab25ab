#pragma once
// The datagram sockets and the firewall of one simulated computer, run directly on a World in
// this process: the calls the daemon answers, without a socket, for fast deterministic tests.
#include <memory>
#include <string>

#include "platform/Firewall.h"
#include "platform/UdpNetwork.h"
#include "sim/World.h"

namespace sim {

std::unique_ptr<platform::UdpNetwork> makeInProcessUdpNetwork(World& world, std::string host);
std::unique_ptr<platform::Firewall> makeInProcessFirewall(World& world, std::string host);

}  // namespace sim
