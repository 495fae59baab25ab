#pragma once
// The version query over HTTP: a GET of /router/firmware/query.asp?model=QRVA_A1_Default on the
// version server, carrying only its Host, Accept and User-Agent headers, waited for with the
// window's messages running, within one deadline for the whole exchange (from the connection to
// the last byte), its heads and body read up to their limits. A query asked for while one runs
// waits for that one and takes its answer. A running query can be cancelled (the program is
// ending).
#include <QByteArray>
#include <string>

namespace app {

inline constexpr const char* kVersionQueryPath = "/router/firmware/query.asp?model=QRVA_A1_Default";

struct HttpOutcome {
  bool ok = false;
  bool cancelled = false;
  QByteArray body;
  std::string error;  // why not, when !ok
};

struct VersionQueryLimits {
  int totalMs = 20000;  // the whole exchange, from the connection to the last byte
  qsizetype maxBytes = 64 * 1024;       // of the body
  qsizetype maxHeadBytes = 16 * 1024;   // of every head of the reply together
};

// The request as it goes on the wire.
QByteArray VersionRequest(const std::string& hostHeader);

class VersionQuery {
 public:
  // `host` is a host or host:port. A connection failure, an HTTP status other than 2xx (a
  // redirect too), a reply that runs past the deadline or over a limit is a failure. While a
  // query runs, a second Fetch waits for it and answers what it answers.
  HttpOutcome Fetch(const std::string& host, const VersionQueryLimits& limits = {});
  // Ends a running Fetch at once; it, and every Fetch waiting for it, answers cancelled.
  // Nothing when none runs.
  void Cancel();
  bool running() const { return active_ != nullptr; }

  class Exchange;

 private:
  HttpOutcome awaitRunning();

  Exchange* active_ = nullptr;
};

// The version server: TARVEX_VERSION_SERVER (host or host:port) when set, else the simulated
// host's own server (named in its folder's file "version-server"); empty when there is none.
std::string VersionServerHost();

}  // namespace app
