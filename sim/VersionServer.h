#pragma once
// The simulated host's version server: a small HTTP responder on 127.0.0.1 that answers the
// version query with what the scenario's `versionReply` gives, and logs each query in the World.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/Event.h"
#include "platform/SimWire.h"
#include "sim/World.h"

namespace sim {

inline constexpr const char* kVersionQueryPath = "/router/firmware/query.asp?model=QRVA_A1_Default";

// The reply document the version and sites make.
std::string versionReplyDocument(const VersionReply& reply);

class VersionServer {
 public:
  explicit VersionServer(World& world);
  ~VersionServer();
  VersionServer(const VersionServer&) = delete;
  VersionServer& operator=(const VersionServer&) = delete;

  // Listens on a port of the system's choosing; false with the reason when it cannot.
  bool start(std::string& error);
  std::uint16_t port() const { return port_; }
  void stop();

 private:
  void run();
  void serve(int fd);

  World& world_;
  platform::simwire::Socket listening_;
  platform::Event stop_;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

}  // namespace sim
