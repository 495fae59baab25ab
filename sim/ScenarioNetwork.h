#pragma once
// The scenario's network entries: a computer's firewall profile and the version server's reply.
// Each reader answers an error text naming the place ("hosts[0].firewall.ports[1].port: ..."),
// empty when the entry is sound.
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "sim/WorldModel.h"

namespace sim {

std::string readFirewallProfile(const nlohmann::json& j, const std::string& where,
                                FirewallProfile& out);
std::string readVersionReply(const nlohmann::json& j, const std::string& where, VersionReply& out);

// A name an XML element may carry: a letter or '_' first, then letters, digits, '_', '-', '.'.
bool isXmlName(const std::string& name);

}  // namespace sim
