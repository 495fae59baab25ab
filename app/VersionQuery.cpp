#include "app/VersionQuery.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <cstdlib>
#include <fstream>

#include "platform/SimEnvironment.h"

namespace app {

HttpOutcome FetchVersionReply(const std::string& host, int timeoutMs, qsizetype maxBytes) {
  HttpOutcome out;
  const QUrl url(QString::fromStdString("http://" + host + kVersionQueryPath), QUrl::StrictMode);
  if (host.empty() || !url.isValid() || url.host().isEmpty()) {
    out.error = "no version server";
    return out;
  }
  QNetworkAccessManager manager;
  manager.setProxy(QNetworkProxy::NoProxy);  // the request goes to the server named, nowhere else
  QNetworkRequest request(url);
  request.setRawHeader("Accept", "text/html, */*");
  request.setHeader(QNetworkRequest::UserAgentHeader, "Mozilla/3.0 (compatible; Indy Library)");
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  request.setTransferTimeout(timeoutMs);
  QNetworkReply* reply = manager.get(request);
  bool tooLong = false;
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [&](qint64 received, qint64) {
    if (received > maxBytes && !tooLong) {
      tooLong = true;
      reply->abort();
    }
  });
  if (!reply->isFinished()) loop.exec();
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (tooLong) {
    out.error = "the reply is longer than " + std::to_string(maxBytes) + " bytes";
  } else if (reply->error() != QNetworkReply::NoError) {
    out.error = reply->errorString().toStdString();
  } else if (status < 200 || status > 299) {
    out.error = "HTTP status " + std::to_string(status);
  } else {
    out.body = reply->read(maxBytes + 1);
    if (out.body.size() > maxBytes) out.error = "the reply is too long";
    else out.ok = true;
  }
  reply->deleteLater();
  return out;
}

std::string VersionServerHost() {
  if (const char* v = std::getenv("TARVEX_VERSION_SERVER"); v && *v) return v;
  std::ifstream in(platform::sim::simDir() + "/version-server");
  std::string host;
  std::getline(in, host);
  return host;
}

}  // namespace app
