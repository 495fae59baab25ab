#include "app/VersionQuery.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <fstream>

#include "app/HttpResponse.h"
#include "platform/SimEnvironment.h"

namespace app {

QByteArray VersionRequest(const std::string& hostHeader) {
  return QByteArray("GET ") + kVersionQueryPath + " HTTP/1.1\r\nHost: " + hostHeader.c_str() +
         "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n";
}

HttpOutcome VersionQuery::Fetch(const std::string& host, const VersionQueryLimits& limits) {
  HttpOutcome out;
  const QUrl url(QString::fromStdString("http://" + host + kVersionQueryPath), QUrl::StrictMode);
  if (running()) {
    out.error = "a query is running";
    return out;
  }
  if (host.empty() || !url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty()) {
    out.error = "no version server";
    return out;
  }
  QTcpSocket socket;
  socket.setProxy(QNetworkProxy::NoProxy);  // the request goes to the server named, nowhere else
  QEventLoop loop;
  QByteArray received;
  HttpResponse reply;
  bool closed = false;
  std::string failure;
  const auto read = [&] {
    received += socket.readAll();
    reply = ReadHttpResponse(received, closed, {16 * 1024, limits.maxBytes});
    if (reply.state != HttpResponse::State::Incomplete) loop.quit();
  };
  QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] {
    socket.write(VersionRequest(url.authority(QUrl::FullyEncoded).toStdString()));
  });
  QObject::connect(&socket, &QTcpSocket::readyRead, &loop, read);
  QObject::connect(&socket, &QTcpSocket::disconnected, &loop, [&] {
    closed = true;
    read();
  });
  QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, [&](QAbstractSocket::SocketError e) {
    if (e == QAbstractSocket::RemoteHostClosedError) return;  // the end of the reply, seen above
    failure = socket.errorString().toStdString();
    loop.quit();
  });
  // One limit for the whole query: a server that trickles its reply does not keep it open.
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
    failure = "no reply within " + std::to_string(limits.totalMs) + " ms";
    loop.quit();
  });
  limit.start(limits.totalMs);
  cancelled_ = false;
  loop_ = &loop;
  socket.connectToHost(url.host(), static_cast<quint16>(url.port(80)));
  loop.exec();
  loop_ = nullptr;
  QObject::disconnect(&socket, nullptr, nullptr, nullptr);  // what the abort says is not news
  socket.abort();
  if (cancelled_) {
    out.cancelled = true;
    out.error = "cancelled";
  } else if (reply.state == HttpResponse::State::Refused) {
    out.error = reply.error;
  } else if (reply.state != HttpResponse::State::Complete) {
    out.error = failure.empty() ? "no reply" : failure;
  } else if (reply.status < 200 || reply.status > 299) {
    out.error = "HTTP status " + std::to_string(reply.status);
  } else {
    out.body = reply.body;
    out.ok = true;
  }
  return out;
}

void VersionQuery::Cancel() {
  if (!loop_) return;
  cancelled_ = true;
  loop_->quit();
}

std::string VersionServerHost() {
  if (const char* v = std::getenv("TARVEX_VERSION_SERVER"); v && *v) return v;
  std::ifstream in(platform::sim::simDir() + "/version-server");
  std::string host;
  std::getline(in, host);
  return host;
}

}  // namespace app
