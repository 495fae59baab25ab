// One HTTP answer read from the bytes of a connection, as the version check gets them.
#include <gtest/gtest.h>

#include "app/HttpResponse.h"

namespace {

using app::HttpResponse;
using State = HttpResponse::State;

TEST(HttpResponse, BodiesFramedEveryWay) {
  struct Case {
    const char* name;
    std::string bytes;
    bool closed;
    State state;
    int status;
    std::string body;
  };
  const Case cases[] = {
      {"by length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", false, State::Complete, 200, "hello"},
      {"by length, more after it", "HTTP/1.1 200 OK\r\ncontent-length: 2\r\n\r\nhello", false, State::Complete, 200, "he"},
      {"by chunks", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;x=y\r\nhel\r\n2\r\nlo\r\n0\r\n\r\n",
       false, State::Complete, 200, "hello"},
      {"by chunks with trailers", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nx\r\n0\r\nT: 1\r\n\r\n",
       false, State::Complete, 200, "x"},
      {"by the end of the connection", "HTTP/1.0 200 OK\r\n\r\nhello", true, State::Complete, 200, "hello"},
      {"an interim answer first", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 404 No\r\nContent-Length: 0\r\n\r\n",
       false, State::Complete, 404, ""},
      {"no reason", "HTTP/1.1 204\r\n\r\n", false, State::Complete, 204, ""},
      {"the head still coming", "HTTP/1.1 200 OK\r\nContent-Le", false, State::Incomplete, 0, ""},
      {"the body still coming", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhel", false, State::Incomplete, 0, ""},
      {"open-ended, still open", "HTTP/1.1 200 OK\r\n\r\nhel", false, State::Incomplete, 0, ""},
      {"chunks still coming", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhe", false, State::Incomplete, 0, ""},
      {"nothing, closed", "", true, State::Refused, 0, ""},
      {"head cut short", "HTTP/1.1 200 OK\r\n", true, State::Refused, 0, ""},
      {"body cut short", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhel", true, State::Refused, 0, ""},
      {"chunks cut short", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n", true, State::Refused, 0, ""},
      {"no status line", "SSH-2.0-x\r\n\r\n", false, State::Refused, 0, ""},
      {"a status of two digits", "HTTP/1.1 20 OK\r\n\r\n", false, State::Refused, 0, ""},
      {"a bad length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, State::Refused, 0, ""},
      {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", false, State::Refused, 0, ""},
      {"a header without a colon", "HTTP/1.1 200 OK\r\nbroken\r\n\r\n", false, State::Refused, 0, ""},
      {"a bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false, State::Refused, 0, ""},
      {"a chunk without its end", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nxy\r\n", false,
       State::Refused, 0, ""},
  };
  for (const Case& c : cases) {
    const HttpResponse r = app::ReadHttpResponse(QByteArray::fromStdString(c.bytes), c.closed);
    EXPECT_EQ(r.state, c.state) << c.name << ": " << r.error;
    if (c.state != State::Complete) continue;
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.body.toStdString(), c.body) << c.name;
  }
}

TEST(HttpResponse, HeadAndBodyAreBounded) {
  const app::HttpResponseLimits limits{64, 8};
  const char* over[] = {
      "HTTP/1.1 200 OK\r\nX: 0123456789012345678901234567890123456789012345678901234567890\r\n\r\n",
      "HTTP/1.1 200 OK\r\nX: 01234567890123456789012345678901234567890123456789012345678901",  // no end yet
      "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n",                                           // said at once
      "HTTP/1.1 200 OK\r\n\r\n123456789",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n12345\r\n5\r\n",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFF\r\n",
  };
  for (const char* bytes : over)
    EXPECT_EQ(app::ReadHttpResponse(QByteArray(bytes), false, limits).state, State::Refused) << bytes;
  EXPECT_EQ(app::ReadHttpResponse(QByteArray("HTTP/1.1 200 OK\r\n\r\n12345678"), true, limits).state,
            State::Complete);
}

}  // namespace
