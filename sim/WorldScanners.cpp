// The simulated computers' network scanners, as their TWAIN sources ask after them.
#include "sim/World.h"

namespace sim {

platform::simwire::ScannerReply World::scanners(const platform::simwire::ScannerRequest& request) {
  std::lock_guard lock(mutex_);
  advanceTime();
  platform::simwire::ScannerReply reply;
  const Host* h = findHost(request.host);
  if (!h) return reply;
  if (request.op == platform::simwire::ScannerOp::List) {
    reply.ok = true;
    reply.sane = h->sane;
    reply.scanners = h->scanners;
    return reply;
  }
  if (request.index >= h->scanners.size()) return reply;
  const platform::SimScanner& s = h->scanners[request.index];
  reply.ok = true;
  const auto server = parseIpv4(s.server);
  const Device* d = server ? findDevice(*server, static_cast<std::uint8_t>(s.port)) : nullptr;
  reply.held = d && d->holder == h->name;
  return reply;
}

}  // namespace sim
