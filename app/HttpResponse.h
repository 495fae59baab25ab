#pragma once
// One HTTP/1.x response read from the bytes a connection has brought so far: the status, and the
// body framed by Content-Length, by chunks, or by the end of the connection. Interim 1xx answers
// are passed over. Bounded: a head or a body over its limit is refused.
#include <QByteArray>
#include <QByteArrayView>
#include <string>

namespace app {

struct HttpResponseLimits {
  qsizetype maxHeadBytes = 16 * 1024;
  qsizetype maxBodyBytes = 64 * 1024;
};

struct HttpResponse {
  enum class State {
    Incomplete,  // more bytes are needed
    Complete,
    Refused,  // malformed, truncated by the end of the connection, or over a limit
  };
  State state = State::Incomplete;
  int status = 0;
  QByteArray body;
  std::string error;  // why, when Refused
};

// `closed`: the peer has ended the connection, so no more bytes come.
HttpResponse ReadHttpResponse(QByteArrayView received, bool closed, const HttpResponseLimits& limits = {});

}  // namespace app
