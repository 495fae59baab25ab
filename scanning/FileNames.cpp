#include "scanning/FileNames.h"

#include <QFile>
#include <QUrl>
#include <filesystem>

namespace scanning {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // a byte b >= 0x80 travels as kEscapeBase + b

bool isEscape(QChar c) { return c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF; }

// One name of a path: the file system's decoding where it gives the very bytes back.
QString partText(const QByteArray& bytes) {
  const QString decoded = QFile::decodeName(bytes);
  if (QFile::encodeName(decoded) == bytes) return decoded;
  QString text;
  for (const char b : bytes) {
    const auto u = static_cast<unsigned char>(b);
    text += u < 0x80 ? QChar(u) : QChar(static_cast<char16_t>(kEscapeBase + u));
  }
  return text;
}

}  // namespace

QString PathText(const std::string& path) {
  QString text;
  std::size_t from = 0;
  while (true) {
    const std::size_t slash = path.find('/', from);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    text += partText(QByteArray(path.data() + from, static_cast<qsizetype>(end - from)));
    if (slash == std::string::npos) return text;
    text += QLatin1Char('/');
    from = slash + 1;
  }
}

std::string PathBytes(const QString& text) {
  std::string bytes;
  qsizetype run = 0;  // where the text not yet written starts
  auto flush = [&](qsizetype to) {
    bytes += QFile::encodeName(text.mid(run, to - run)).toStdString();
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (!isEscape(text[i])) continue;
    flush(i);
    bytes += static_cast<char>(text[i].unicode() - kEscapeBase);
    run = i + 1;
  }
  flush(text.size());
  return bytes;
}

// The bytes percent-encoded as they are: QUrl's own conversions pass through text, which would
// carry the escapes, or replacement characters, in their place.
QUrl LocalFileUrl(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  const QByteArray bytes = QByteArray::fromStdString(ec ? path : absolute.string());
  return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

}  // namespace scanning
