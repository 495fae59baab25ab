// tarvex-simctl: reads and changes the running simulated host.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/SimEnvironment.h"
#include "platform/SimWire.h"
#include "sim/SimCtlArgs.h"

namespace {

namespace wire = platform::simwire;

constexpr int kReplyTimeoutMs = 10000;

int failWith(const std::string& message) {
  std::cerr << "tarvex-simctl: " << message << "\n";
  return 1;
}

std::optional<wire::AdminReply> ask(const wire::Socket& s, const nlohmann::json& request) {
  if (!wire::sendFrame(s.fd(), wire::AdminRequest{request.dump()})) return std::nullopt;
  auto reply = wire::receiveFrame(s.fd(), kReplyTimeoutMs);
  if (!reply || !std::holds_alternative<wire::AdminReply>(*reply)) return std::nullopt;
  return std::get<wire::AdminReply>(std::move(*reply));
}

// The log comes in pages; each entry is printed as one line.
int printLog(const wire::Socket& s, nlohmann::json request) {
  for (;;) {
    const auto reply = ask(s, request);
    if (!reply) return failWith("the simulated host did not answer");
    if (!reply->ok) return failWith(reply->text);
    const auto page = nlohmann::ordered_json::parse(reply->text, nullptr, false);
    if (page.is_discarded() || !page.contains("entries")) return failWith("a log page that is not JSON");
    if (page["entries"].empty()) return 0;
    for (const auto& entry : page["entries"]) std::cout << entry.dump() << "\n";
    request["from"] = page["next"];
  }
}

}  // namespace

int main(int argc, char** argv) {
  const sim::CtlArgs args = sim::parseCtlArgs(std::vector<std::string>(argv + 1, argv + argc));
  if (args.help) {
    std::cout << sim::ctlUsage();
    return 0;
  }
  if (!args.error.empty()) {
    std::cerr << "tarvex-simctl: " << args.error << "\n" << sim::ctlUsage();
    return 1;
  }
  if (!args.dir.empty()) ::setenv("TARVEX_SIM_DIR", args.dir.c_str(), 1);

  const std::string path = platform::sim::socketPath();
  const wire::Socket s = wire::connectUnix(path);
  if (!s.valid()) return failWith("no simulated host is running at " + path);

  const std::string cmd = args.request["cmd"];
  if (cmd == "log") return printLog(s, args.request);
  const auto reply = ask(s, args.request);
  if (!reply) return failWith("the simulated host did not answer");
  if (!reply->ok) return failWith(reply->text);
  if (cmd == "state" || cmd == "queues" || cmd == "ports" || cmd == "firewall") {
    std::cout << nlohmann::ordered_json::parse(reply->text, nullptr, false).dump(2) << "\n";
  } else if (!reply->text.empty()) {
    std::cout << reply->text << "\n";
  }
  return 0;
}
