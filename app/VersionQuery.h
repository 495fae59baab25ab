#pragma once
// The version query over HTTP: a GET of /router/firmware/query.asp?model=QRVA_A1_Default on the
// version server, carrying only its Host, Accept and User-Agent headers, waited for with the
// window's messages running, within one limit counted from the request, its body read up to a
// limit. A running query can be cancelled (the program is ending).
#include <QByteArray>
#include <string>

class QEventLoop;

namespace app {

inline constexpr const char* kVersionQueryPath = "/router/firmware/query.asp?model=QRVA_A1_Default";

struct HttpOutcome {
  bool ok = false;
  bool cancelled = false;
  QByteArray body;
  std::string error;  // why not, when !ok
};

struct VersionQueryLimits {
  int totalMs = 20000;  // the whole query, from the request to the last byte
  qsizetype maxBytes = 64 * 1024;
};

// The request as it goes on the wire.
QByteArray VersionRequest(const std::string& hostHeader);

class VersionQuery {
 public:
  // `host` is a host or host:port. A connection failure, an HTTP status other than 2xx (a
  // redirect too), a reply that runs past the limit or a body over the limit is a failure.
  HttpOutcome Fetch(const std::string& host, const VersionQueryLimits& limits = {});
  // Ends a running Fetch at once; it answers cancelled. Nothing when none runs.
  void Cancel();
  bool running() const { return loop_ != nullptr; }

 private:
  QEventLoop* loop_ = nullptr;
  bool cancelled_ = false;
};

// The version server: TARVEX_VERSION_SERVER (host or host:port) when set, else the simulated
// host's own server (named in its folder's file "version-server"); empty when there is none.
std::string VersionServerHost();

}  // namespace app
