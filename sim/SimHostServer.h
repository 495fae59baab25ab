#pragma once
// The daemon's socket loop: accepts clients on a listening Unix socket, answers their frames from
// the World, completes event reads as they end, and ticks the World so that holds expire on time.
#include <map>
#include <string>
#include <vector>

#include "platform/SimWire.h"
#include "sim/World.h"

namespace sim {

// Binds and listens on a Unix stream socket at path, replacing a socket file left there (the caller
// holds the folder's lock). An invalid Socket and the reason when that fails.
platform::simwire::Socket listenUnix(const std::string& path, std::string& error);

class SimHostServer {
 public:
  // `listening` is a bound, listening socket; `stopFd` becomes readable when the loop should end.
  // The loop sleeps until a client speaks or the world has something due (a hold ends, a job is
  // printed, a change wait runs out); with tickMs >= 0 it also wakes at least that often (tests
  // whose clock is stepped by hand).
  SimHostServer(World& world, platform::simwire::Socket listening, int stopFd,
                int tickMs = -1);
  void run();

 private:
  // A wait for a spooler change, answered when the change comes or at its deadline.
  struct ChangeWait {
    platform::simwire::SpoolerRequest request;
    std::int64_t deadlineMs = 0;
  };
  struct Client {
    platform::simwire::Socket socket;
    std::vector<std::uint8_t> input;
    // Reads left pending on this connection: handle -> host.
    std::map<platform::Handle, std::string> reads;
    std::vector<ChangeWait> changeWaits;
    // UDP sockets opened over this connection and not closed yet: socket -> host. They close
    // with it, as a process's sockets close when it ends.
    std::map<platform::UdpSocket, std::string> udpSockets;
  };

  void accept();
  // False when the client is to be dropped (gone, or sent a frame that is refused).
  bool receive(Client& client);
  bool handle(Client& client, const platform::simwire::Message& message);
  platform::UdpAnswer udp(Client& client, const platform::simwire::UdpRequest& request);
  void finishReads();
  void finishChangeWaits();
  // How long the loop may sleep: -1 for no end.
  int sleepMs();
  void dropClient(Client& client);

  World& world_;
  platform::simwire::Socket listening_;
  int stopFd_;
  int tickMs_;
  std::vector<Client> clients_;
};

}  // namespace sim
