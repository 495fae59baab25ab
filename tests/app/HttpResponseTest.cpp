// One HTTP answer read from the bytes of a connection, as the version check gets them.
#include <gtest/gtest.h>

#include <algorithm>

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
      {"line ends without carriage returns", "HTTP/1.1 200 OK\nContent-Length: 2\n\nhi", false, State::Complete,
       200, "hi"},
      {"a chunk size with leading zeros", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0000000001 \r\nx\r\n0\r\n\r\n",
       false, State::Complete, 200, "x"},
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
      {"a carriage return inside a head line", "HTTP/1.1 200 OK\rX: 1\r\n\r\n", false, State::Refused, 0, ""},
      {"a blank inside a chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1 2\r\n", false,
       State::Refused, 0, ""},
      {"an extension without a size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n;x\r\n", false,
       State::Refused, 0, ""},
      {"a chunk without its end", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nxy\r\n", false,
       State::Refused, 0, ""},
  };
  // Whole, and cut into pieces as a connection may bring them: the same answer every time.
  for (const Case& c : cases) {
    for (const qsizetype piece : {qsizetype{0}, qsizetype{1}, qsizetype{3}}) {
      app::HttpResponseReader reader;
      const QByteArray bytes = QByteArray::fromStdString(c.bytes);
      for (qsizetype at = 0; at < bytes.size(); at += piece ? piece : bytes.size())
        reader.feed(QByteArrayView(bytes).sliced(at, std::min(piece ? piece : bytes.size(), bytes.size() - at)));
      const HttpResponse& r = c.closed ? reader.close() : reader.response();
      EXPECT_EQ(r.state, c.state) << c.name << " in pieces of " << piece << ": " << r.error;
      if (c.state != State::Complete) continue;
      EXPECT_EQ(r.status, c.status) << c.name;
      EXPECT_EQ(r.body.toStdString(), c.body) << c.name;
    }
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

// The limit on heads counts every head of the reply: interim answers, the final one, trailers.
TEST(HttpResponse, EveryHeadCountsTowardsOneLimit) {
  const app::HttpResponseLimits limits{64, 8};
  const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";  // 25 bytes
  const std::string last = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";  // 38 bytes
  const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";  // 47 bytes
  struct Case {
    std::string bytes;
    State state;
  };
  const Case cases[] = {
      {interim + last, State::Complete},
      {interim + interim + last, State::Refused},
      {interim + interim + interim, State::Refused},
      {chunked + "1\r\nx\r\n0\r\nT: 12345\r\n\r\n", State::Complete},
      {chunked + "1\r\nx\r\n0\r\nT: 12345678901234\r\n\r\n", State::Refused},
  };
  for (const Case& c : cases)
    EXPECT_EQ(app::ReadHttpResponse(QByteArray::fromStdString(c.bytes), false, limits).state, c.state)
        << c.bytes;
}

// Interim answers without end: refused once their heads pass the limit, having kept no more than
// one line of them and looked at no byte past the limit.
TEST(HttpResponse, EndlessInterimAnswersAreRefusedAtTheLimit) {
  app::HttpResponseReader reader;
  QByteArray piece;
  while (piece.size() < 4096) piece += "HTTP/1.1 100 Continue\r\n\r\n";
  for (int i = 0; i < 1024 && reader.response().state == State::Incomplete; ++i) reader.feed(piece);
  EXPECT_EQ(reader.response().state, State::Refused);
  EXPECT_EQ(reader.response().error, "the heads are too long");
  EXPECT_LE(reader.examinedBytes(), app::HttpResponseLimits{}.maxHeadBytes + 1);
  EXPECT_LT(reader.peakKeptBytes(), 64);
  EXPECT_EQ(reader.keptBytes(), 0);
}

// A body of one-byte chunks, each with a long extension, brought one byte at a time: each byte is
// looked at once, and what is kept is the body.
TEST(HttpResponse, OneByteChunksWithLongExtensionsCostTheirSize) {
  const std::string extension = ";name=" + std::string(2000, 'v');
  std::string reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  std::string body;
  for (int i = 0; i < 2000; ++i) {
    const char c = static_cast<char>('a' + i % 26);
    body += c;
    reply += "1" + extension + "\r\n" + c + "\r\n";
  }
  reply += "0" + extension + "\r\n\r\n";
  app::HttpResponseReader reader;
  for (const char c : reply) reader.feed(QByteArrayView(&c, 1));
  ASSERT_EQ(reader.response().state, State::Complete) << reader.response().error;
  EXPECT_EQ(reader.response().body.toStdString(), body);
  EXPECT_EQ(reader.examinedBytes(), static_cast<qsizetype>(reply.size()));
  EXPECT_LE(reader.peakKeptBytes(), static_cast<qsizetype>(body.size()) + 64);

  // An extension past its line's limit is refused, whatever the pieces.
  const std::string tooLong = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1;" +
                              std::string(5000, 'v') + "\r\nx\r\n0\r\n\r\n";
  EXPECT_EQ(app::ReadHttpResponse(QByteArray::fromStdString(tooLong), false).state, State::Refused);
}

}  // namespace
