#include "app/HttpResponse.h"

#include <QList>

namespace app {
namespace {

struct Refused {
  std::string why;
};

constexpr qsizetype kMaxChunkLine = 256;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(const QByteArray& text) {
  if (text.isEmpty()) return false;
  for (char c : text)
    if (!isDigit(c)) return false;
  return true;
}

// "HTTP/1.x NNN" with an optional reason after a blank.
int statusOf(const QByteArray& line) {
  if (line.size() < 12 || !line.startsWith("HTTP/1.") || !isDigit(line[7]) || line[8] != ' ' ||
      !isDigit(line[9]) || !isDigit(line[10]) || !isDigit(line[11]) || (line.size() > 12 && line[12] != ' '))
    throw Refused{"no HTTP status line"};
  return line.mid(9, 3).toInt();
}

struct Framing {
  bool chunked = false;
  qsizetype length = -1;  // -1: up to the end of the connection
};

Framing framingOf(const QList<QByteArray>& lines) {
  Framing f;
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QByteArray& line = lines[i];
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || line[0] == ' ' || line[0] == '\t') throw Refused{"a malformed header line"};
    const QByteArray name = line.left(colon).toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "transfer-encoding") {
      f.chunked = value.toLower().split(',').last().trimmed() == "chunked";
    } else if (name == "content-length") {
      bool ok = false;
      const qsizetype n = value.toLongLong(&ok);
      if (!allDigits(value) || !ok) throw Refused{"a malformed Content-Length"};
      if (f.length >= 0 && f.length != n) throw Refused{"two different Content-Length values"};
      f.length = n;
    }
  }
  return f;
}

// More bytes are needed: a wait while the connection is open, a refusal once it is closed.
HttpResponse more(bool closed, const char* what) {
  if (closed) throw Refused{what};
  return {};
}

HttpResponse complete(int status, QByteArray body) {
  HttpResponse r;
  r.state = HttpResponse::State::Complete;
  r.status = status;
  r.body = std::move(body);
  return r;
}

HttpResponse readChunks(const QByteArray& bytes, qsizetype at, bool closed, int status,
                        const HttpResponseLimits& limits) {
  QByteArray body;
  for (;;) {
    const qsizetype eol = bytes.indexOf("\r\n", at);
    if (eol < 0) {
      if (bytes.size() - at > kMaxChunkLine) throw Refused{"a chunk size line too long"};
      return more(closed, "the body is cut short");
    }
    QByteArray sizeText = bytes.mid(at, eol - at);
    if (const qsizetype ext = sizeText.indexOf(';'); ext >= 0) sizeText.truncate(ext);
    sizeText = sizeText.trimmed();
    bool ok = false;
    const qsizetype size = sizeText.toLongLong(&ok, 16);
    if (sizeText.isEmpty() || sizeText.size() > 8 || !ok || size < 0 || sizeText.startsWith('+') ||
        sizeText.startsWith('-'))
      throw Refused{"a malformed chunk size"};
    at = eol + 2;
    if (size == 0) {  // the last chunk, then trailers up to an empty line
      if (bytes.mid(at, 2) == "\r\n") return complete(status, std::move(body));
      if (bytes.indexOf("\r\n\r\n", at) >= 0) return complete(status, std::move(body));
      if (bytes.size() - at > limits.maxHeadBytes) throw Refused{"the trailers are too long"};
      return more(closed, "the body is cut short");
    }
    if (body.size() + size > limits.maxBodyBytes) throw Refused{"the body is too long"};
    if (bytes.size() - at < size + 2) return more(closed, "the body is cut short");
    if (bytes.mid(at + size, 2) != "\r\n") throw Refused{"a chunk without its line end"};
    body += bytes.mid(at, size);
    at += size + 2;
  }
}

}  // namespace

HttpResponse ReadHttpResponse(QByteArrayView received, bool closed, const HttpResponseLimits& limits) {
  const QByteArray bytes = received.toByteArray();
  try {
    qsizetype at = 0;
    for (;;) {
      const qsizetype end = bytes.indexOf("\r\n\r\n", at);
      if ((end < 0 ? bytes.size() : end) - at > limits.maxHeadBytes) throw Refused{"the head is too long"};
      if (end < 0) return more(closed, at == bytes.size() ? "no answer" : "the head is cut short");
      QList<QByteArray> lines = bytes.mid(at, end - at).split('\n');
      for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
      const int status = statusOf(lines[0]);
      const Framing framing = framingOf(lines);
      at = end + 4;
      if (status >= 100 && status <= 199) continue;  // an interim answer: the real one follows
      if (status == 204 || status == 304) return complete(status, {});
      if (framing.chunked) return readChunks(bytes, at, closed, status, limits);
      const qsizetype have = bytes.size() - at;
      if (framing.length >= 0) {
        if (framing.length > limits.maxBodyBytes) throw Refused{"the body is too long"};
        if (have < framing.length) return more(closed, "the body is cut short");
        return complete(status, bytes.mid(at, framing.length));
      }
      if (have > limits.maxBodyBytes) throw Refused{"the body is too long"};
      if (!closed) return {};
      return complete(status, bytes.mid(at));
    }
  } catch (const Refused& refused) {
    HttpResponse r;
    r.state = HttpResponse::State::Refused;
    r.error = refused.why;
    return r;
  }
}

}  // namespace app
