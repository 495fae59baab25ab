#include "app/HttpResponse.h"

#include <QList>
#include <algorithm>
#include <cstring>

namespace app {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(const QByteArray& text) {
  return !text.isEmpty() && std::all_of(text.begin(), text.end(), isDigit);
}

int hexValue(char c) {
  if (isDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "HTTP/1.x NNN" with an optional reason after a blank; 0 when the line is not that.
int statusOf(const QByteArray& line) {
  if (line.size() < 12 || !line.startsWith("HTTP/1.") || !isDigit(line[7]) || line[8] != ' ' ||
      !isDigit(line[9]) || !isDigit(line[10]) || !isDigit(line[11]) || (line.size() > 12 && line[12] != ' '))
    return 0;
  return line.mid(9, 3).toInt();
}

// A chunk's size is at most this many significant hexadecimal digits.
constexpr int kMaxChunkDigits = 8;

}  // namespace

HttpResponseReader::HttpResponseReader(const HttpResponseLimits& limits) : limits_(limits) {}

const HttpResponse& HttpResponseReader::feed(QByteArrayView bytes) {
  const char* data = bytes.data();
  const qsizetype size = bytes.size();
  qsizetype at = 0;
  while (at < size && r_.state == HttpResponse::State::Incomplete) {
    qsizetype used = 1;
    step(data + at, size - at, used);
    at += used;
  }
  examined_ += at;
  peakKept_ = std::max(peakKept_, keptBytes());
  return r_;
}

// Takes one byte, or as many as one run of body or extension bytes at the front of `n`.
void HttpResponseReader::step(const char* at, qsizetype n, qsizetype& used) {
  switch (part_) {
    case Part::StatusLine:
    case Part::HeaderLine:
    case Part::Trailer:
      headByte(*at);
      return;
    case Part::BodyByLength:
    case Part::ChunkData:
      used = std::min(remaining_, n);
      takeBody(at, used);
      remaining_ -= used;
      if (remaining_ > 0) return;
      if (part_ == Part::BodyByLength) {
        complete();
      } else {
        part_ = Part::ChunkDataEnd;
        sawCr_ = false;
      }
      return;
    case Part::BodyToClose:
      used = n;
      if (r_.body.size() + n > limits_.maxBodyBytes) return refuse("the body is too long");
      takeBody(at, n);
      return;
    case Part::ChunkSize:
      chunkSizeByte(*at);
      return;
    case Part::ChunkExtension: {
      // Passed over, not kept: up to the line's end.
      const void* eol = std::memchr(at, '\n', static_cast<std::size_t>(n));
      used = eol ? static_cast<const char*>(eol) - at + 1 : n;
      chunkLine_ += used;
      if (chunkLine_ > limits_.maxChunkLineBytes) return refuse("a chunk size line too long");
      if (eol) chunkSizeEnded();
      return;
    }
    case Part::ChunkDataEnd:
      if (*at == '\r' && !sawCr_) {
        sawCr_ = true;
      } else if (*at == '\n') {
        sawCr_ = false;
        part_ = Part::ChunkSize;
      } else {
        refuse("a chunk without its line end");
      }
      return;
    case Part::Done:
      return;
  }
}

void HttpResponseReader::headByte(char c) {
  if (++headBytes_ > limits_.maxHeadBytes) return refuse("the heads are too long");
  if (sawCr_) {
    sawCr_ = false;
    if (c != '\n') return refuse("a carriage return inside a head line");
    return lineEnded();
  }
  if (c == '\r') {
    sawCr_ = true;
    return;
  }
  if (c == '\n') return lineEnded();
  line_ += c;
}

void HttpResponseReader::lineEnded() {
  switch (part_) {
    case Part::StatusLine:
      statusLine();
      break;
    case Part::HeaderLine:
      if (line_.isEmpty()) headEnded();
      else headerLine();
      break;
    case Part::Trailer:
      if (line_.isEmpty()) complete();  // trailers are passed over
      break;
    default:
      break;
  }
  line_.truncate(0);
}

void HttpResponseReader::statusLine() {
  headStatus_ = statusOf(line_);
  if (headStatus_ == 0) return refuse("no HTTP status line");
  chunked_ = false;
  length_ = -1;
  part_ = Part::HeaderLine;
}

void HttpResponseReader::headerLine() {
  const qsizetype colon = line_.indexOf(':');
  if (colon <= 0 || line_[0] == ' ' || line_[0] == '\t') return refuse("a malformed header line");
  const QByteArray name = line_.left(colon).toLower();
  const QByteArray value = line_.mid(colon + 1).trimmed();
  if (name == "transfer-encoding") {
    chunked_ = value.toLower().split(',').last().trimmed() == "chunked";
  } else if (name == "content-length") {
    bool ok = false;
    const qsizetype n = value.toLongLong(&ok);
    if (!allDigits(value) || !ok) return refuse("a malformed Content-Length");
    if (length_ >= 0 && length_ != n) return refuse("two different Content-Length values");
    length_ = n;
  }
}

void HttpResponseReader::headEnded() {
  if (headStatus_ >= 100 && headStatus_ <= 199) {  // an interim answer: the real one follows
    part_ = Part::StatusLine;
    return;
  }
  if (headStatus_ == 204 || headStatus_ == 304) return complete();
  if (chunked_) {
    part_ = Part::ChunkSize;
    chunkLine_ = 0;
    chunkSize_ = 0;
    chunkDigits_ = 0;
    chunkSizeDone_ = false;
    anyChunkDigit_ = false;
    return;
  }
  if (length_ < 0) {
    part_ = Part::BodyToClose;
    return;
  }
  if (length_ > limits_.maxBodyBytes) return refuse("the body is too long");
  if (length_ == 0) return complete();
  r_.body.reserve(length_);
  remaining_ = length_;
  part_ = Part::BodyByLength;
}

// The size in hexadecimal, blanks around it, then an extension after ";" or the line's end.
void HttpResponseReader::chunkSizeByte(char c) {
  if (++chunkLine_ > limits_.maxChunkLineBytes) return refuse("a chunk size line too long");
  if (sawCr_ && c != '\n') return refuse("a malformed chunk size");
  if (const int v = hexValue(c); v >= 0 && !chunkSizeDone_) {
    anyChunkDigit_ = true;
    if (chunkDigits_ == 0 && v == 0) return;  // leading zeros
    if (++chunkDigits_ > kMaxChunkDigits) return refuse("a malformed chunk size");
    chunkSize_ = chunkSize_ * 16 + v;
    return;
  }
  switch (c) {
    case ' ':
    case '\t':
      chunkSizeDone_ = anyChunkDigit_;
      return;
    case ';':
      if (!anyChunkDigit_) return refuse("a malformed chunk size");
      part_ = Part::ChunkExtension;
      return;
    case '\r':
      sawCr_ = true;
      return;
    case '\n':
      sawCr_ = false;
      return chunkSizeEnded();
    default:
      return refuse("a malformed chunk size");
  }
}

void HttpResponseReader::chunkSizeEnded() {
  if (!anyChunkDigit_) return refuse("a malformed chunk size");
  const qint64 size = chunkSize_;
  chunkLine_ = 0;
  chunkSize_ = 0;
  chunkDigits_ = 0;
  chunkSizeDone_ = false;
  anyChunkDigit_ = false;
  if (size == 0) {  // the last chunk, then trailers up to an empty line
    part_ = Part::Trailer;
    return;
  }
  if (r_.body.size() + size > limits_.maxBodyBytes) return refuse("the body is too long");
  remaining_ = size;
  part_ = Part::ChunkData;
}

void HttpResponseReader::takeBody(const char* at, qsizetype n) { r_.body.append(at, n); }

void HttpResponseReader::complete() {
  r_.state = HttpResponse::State::Complete;
  r_.status = headStatus_;
  part_ = Part::Done;
  line_ = QByteArray();
}

void HttpResponseReader::refuse(std::string why) {
  r_.state = HttpResponse::State::Refused;
  r_.error = std::move(why);
  r_.body = QByteArray();
  part_ = Part::Done;
  line_ = QByteArray();
}

const HttpResponse& HttpResponseReader::close() {
  if (r_.state != HttpResponse::State::Incomplete) return r_;
  switch (part_) {
    case Part::BodyToClose:
      complete();
      break;
    case Part::StatusLine:
      refuse(line_.isEmpty() && !sawCr_ ? "no answer" : "the head is cut short");
      break;
    case Part::HeaderLine:
      refuse("the head is cut short");
      break;
    default:
      refuse("the body is cut short");
      break;
  }
  return r_;
}

HttpResponse ReadHttpResponse(QByteArrayView received, bool closed, const HttpResponseLimits& limits) {
  HttpResponseReader reader(limits);
  reader.feed(received);
  if (closed) reader.close();
  return reader.response();
}

}  // namespace app
