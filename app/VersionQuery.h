#pragma once
// The version query over HTTP: a GET of /router/firmware/query.asp?model=QRVA_A1_Default on the
// version server, with the headers the server expects, waited for with the window's messages
// running, its body read up to a limit.
#include <QByteArray>
#include <string>

namespace app {

inline constexpr const char* kVersionQueryPath = "/router/firmware/query.asp?model=QRVA_A1_Default";

struct HttpOutcome {
  bool ok = false;
  QByteArray body;
  std::string error;  // why not, when !ok
};

// `host` is a host or host:port. A redirect, an HTTP error, a time-out or a body longer than
// maxBytes is a failure.
HttpOutcome FetchVersionReply(const std::string& host, int timeoutMs = 20000,
                              qsizetype maxBytes = 64 * 1024);

// The version server: TARVEX_VERSION_SERVER (host or host:port) when set, else the simulated
// host's own server (named in its folder's file "version-server"); empty when there is none.
std::string VersionServerHost();

}  // namespace app
