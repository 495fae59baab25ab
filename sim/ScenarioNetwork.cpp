#include "sim/ScenarioNetwork.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

#include <nlohmann/json.hpp>

namespace sim {
namespace {

using nlohmann::json;

struct Bad : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr std::size_t kMaxText = 1023;
constexpr std::size_t kMaxBody = 256 * 1024;

[[noreturn]] void bad(const std::string& where, const std::string& what) { throw Bad(where + ": " + what); }

void keys(const json& j, const std::string& where, std::initializer_list<std::string_view> known) {
  if (!j.is_object()) bad(where, "expected an object");
  for (const auto& [key, value] : j.items())
    if (std::find(known.begin(), known.end(), key) == known.end())
      bad(where, "unknown key \"" + key + "\"");
}

std::string text(const json& j, const std::string& where, const char* key, bool required,
                 std::size_t max = kMaxText) {
  if (!j.contains(key)) {
    if (required) bad(where, std::string("missing \"") + key + "\"");
    return {};
  }
  const json& v = j.at(key);
  if (!v.is_string()) bad(where + "." + key, "expected a text");
  std::string s = v.get<std::string>();
  if (s.size() > max) bad(where + "." + key, "longer than " + std::to_string(max) + " bytes");
  return s;
}

bool flag(const json& j, const std::string& where, const char* key, bool fallback) {
  if (!j.contains(key)) return fallback;
  if (!j.at(key).is_boolean()) bad(where + "." + key, "expected true or false");
  return j.at(key).get<bool>();
}

std::int64_t integer(const json& j, const std::string& where, const char* key, std::int64_t lo,
                     std::int64_t hi, std::int64_t fallback) {
  if (!j.contains(key)) return fallback;
  const json& v = j.at(key);
  const std::string range = "expected an integer from " + std::to_string(lo) + " to " + std::to_string(hi);
  if (!v.is_number_integer()) bad(where + "." + key, range);
  if (v.is_number_unsigned() && v.get<std::uint64_t>() > static_cast<std::uint64_t>(hi))
    bad(where + "." + key, range);
  const auto n = v.get<std::int64_t>();
  if (n < lo || n > hi) bad(where + "." + key, range);
  return n;
}

template <typename Read>
void list(const json& j, const std::string& where, const char* key, Read read) {
  if (!j.contains(key)) return;
  const json& items = j.at(key);
  const std::string w = where + "." + key;
  if (!items.is_array()) bad(w, "expected a list");
  for (std::size_t i = 0; i < items.size(); ++i) read(items[i], w + "[" + std::to_string(i) + "]");
}

template <typename Read>
std::string guarded(Read read) {
  try {
    read();
    return {};
  } catch (const Bad& e) {
    return e.what();
  }
}

}  // namespace

bool isXmlName(const std::string& name) {
  if (name.empty()) return false;
  const auto c0 = static_cast<unsigned char>(name[0]);
  if (!std::isalpha(c0) && c0 != '_') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || u == '_' || u == '-' || u == '.';
  });
}

std::string readFirewallProfile(const json& j, const std::string& where, FirewallProfile& out) {
  return guarded([&] {
    keys(j, where, {"ports", "applications"});
    list(j, where, "ports", [&](const json& item, const std::string& w) {
      keys(item, w, {"port", "protocol", "name", "enabled"});
      if (!item.contains("port")) bad(w, "missing \"port\"");
      FirewallPortEntry e;
      e.port = static_cast<std::int32_t>(integer(item, w, "port", 1, 65535, 0));
      e.protocol = static_cast<std::int32_t>(integer(item, w, "protocol", 0, 255, 17));
      e.name = text(item, w, "name", false);
      e.enabled = flag(item, w, "enabled", true);
      out.ports.push_back(std::move(e));
    });
    list(j, where, "applications", [&](const json& item, const std::string& w) {
      keys(item, w, {"path", "name", "enabled"});
      FirewallAppEntry e;
      e.path = text(item, w, "path", true);
      if (e.path.empty()) bad(w + ".path", "an application needs a path");
      e.name = text(item, w, "name", false);
      e.enabled = flag(item, w, "enabled", true);
      out.applications.push_back(std::move(e));
    });
  });
}

std::string readVersionReply(const json& j, const std::string& where, VersionReply& out) {
  return guarded([&] {
    keys(j, where, {"major", "minor", "date", "sites", "status", "body"});
    out.status = static_cast<int>(integer(j, where, "status", 100, 599, 200));
    if (j.contains("body")) out.body = text(j, where, "body", true, kMaxBody);
    out.major = text(j, where, "major", false);
    out.minor = text(j, where, "minor", false);
    out.date = text(j, where, "date", false);
    list(j, where, "sites", [&](const json& item, const std::string& w) {
      keys(item, w, {"name", "firmware"});
      VersionSite site;
      site.name = text(item, w, "name", true);
      if (!isXmlName(site.name))
        bad(w + ".name", "a site's name is an XML element name (a letter first, no blanks)");
      site.firmware = text(item, w, "firmware", false);
      out.sites.push_back(std::move(site));
    });
  });
}

}  // namespace sim
