#pragma once
// One HTTP/1.x response read from a connection's bytes as they come: the status, and the body
// framed by Content-Length, by chunks, or by the end of the connection. Interim 1xx answers are
// passed over. The reader looks at each byte once and keeps only the line it is in and the body,
// so a reply cut into many small pieces costs no more than its size. Bounded: the heads of every
// kind together (interim answers, the final one, the trailers), one chunk-size line and the body
// each have a limit; past one the reply is refused.
#include <QByteArray>
#include <QByteArrayView>
#include <string>

namespace app {

struct HttpResponseLimits {
  qsizetype maxHeadBytes = 16 * 1024;  // all heads of the reply together
  qsizetype maxBodyBytes = 64 * 1024;
  qsizetype maxChunkLineBytes = 4096;  // one chunk-size line, extensions and all
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

class HttpResponseReader {
 public:
  explicit HttpResponseReader(const HttpResponseLimits& limits = {});

  // The next bytes of the connection. Bytes after a complete or refused reply are ignored.
  const HttpResponse& feed(QByteArrayView bytes);
  // The peer has ended the connection: no more bytes come.
  const HttpResponse& close();
  const HttpResponse& response() const { return r_; }

  // What the reader holds now (the line it is in and the body), and the most it ever held.
  qsizetype keptBytes() const { return line_.size() + r_.body.size(); }
  qsizetype peakKeptBytes() const { return peakKept_; }
  // Bytes looked at so far: each at most once.
  qsizetype examinedBytes() const { return examined_; }

 private:
  enum class Part { StatusLine, HeaderLine, BodyByLength, BodyToClose, ChunkSize, ChunkExtension,
                    ChunkData, ChunkDataEnd, Trailer, Done };

  void step(const char* at, qsizetype n, qsizetype& used);
  void headByte(char c);
  void lineEnded();
  void statusLine();
  void headerLine();
  void headEnded();
  void chunkSizeByte(char c);
  void chunkSizeEnded();
  void chunkLineByte();
  void takeBody(const char* at, qsizetype n);
  void complete();
  void refuse(std::string why);

  HttpResponseLimits limits_;
  HttpResponse r_;
  Part part_ = Part::StatusLine;
  QByteArray line_;          // the head line in progress, without its line end
  bool sawCr_ = false;       // the line's last byte was a carriage return
  qsizetype headBytes_ = 0;  // of every head so far
  qsizetype chunkLine_ = 0;  // bytes of the chunk-size line so far
  qsizetype remaining_ = 0;  // of the body by length or of the chunk
  qint64 chunkSize_ = 0;
  int chunkDigits_ = 0;      // significant ones
  bool chunkSizeDone_ = false;  // blanks or an extension came after the digits
  bool anyChunkDigit_ = false;
  // The head being read.
  int headStatus_ = 0;
  bool chunked_ = false;
  qsizetype length_ = -1;  // -1: none given
  qsizetype peakKept_ = 0;
  qsizetype examined_ = 0;
};

// The whole of `received` at once: `closed` when the peer has ended the connection.
HttpResponse ReadHttpResponse(QByteArrayView received, bool closed, const HttpResponseLimits& limits = {});

}  // namespace app
