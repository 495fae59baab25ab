#pragma once
// A one-answer HTTP server on 127.0.0.1 for the version check's tests: it keeps the head of every
// request it gets and answers each with the same status and body, at once or one byte of the body
// at a time (a server that trickles). It runs on the thread's event loop, which the program's
// request waits on.
#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <map>
#include <string>
#include <vector>

namespace test {

class ReplyServer {
 public:
  ReplyServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* s = server_.nextPendingConnection()) {
        QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { serve(s); });
      }
    });
  }
  std::string host() const { return "127.0.0.1:" + std::to_string(server_.serverPort()); }
  void answer(int status, std::string body) {
    status_ = status;
    body_ = std::move(body);
  }
  // The head at once, then one byte of the body every `everyMs`.
  void trickle(int everyMs) { trickleMs_ = everyMs; }
  const std::vector<std::string>& requests() const { return requests_; }

 private:
  void serve(QTcpSocket* s) {
    QByteArray& head = pending_[s];
    head += s->readAll();
    if (!head.contains("\r\n\r\n")) return;
    requests_.push_back(head.toStdString());
    pending_.erase(s);
    const std::string answer = "HTTP/1.1 " + std::to_string(status_) + " X\r\nContent-Type: text/xml\r\n" +
                             "Content-Length: " + std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n";
    if (trickleMs_ <= 0) {
      const std::string reply = answer + body_;
      s->write(reply.data(), static_cast<qint64>(reply.size()));
      s->disconnectFromHost();
      return;
    }
    s->write(answer.data(), static_cast<qint64>(answer.size()));
    auto* timer = new QTimer(s);
    QObject::connect(timer, &QTimer::timeout, s, [s, timer, body = body_, sent = std::size_t{0}]() mutable {
      if (sent < body.size()) s->write(&body[sent++], 1);
      if (sent == body.size()) {
        timer->stop();
        s->disconnectFromHost();
      }
    });
    timer->start(trickleMs_);
  }

  QTcpServer server_;
  int status_ = 200;
  int trickleMs_ = 0;
  std::string body_;
  std::vector<std::string> requests_;
  std::map<QTcpSocket*, QByteArray> pending_;
};

// A reply document of the version server.
inline std::string versionDocument(const std::string& major, const std::string& minor,
                                   const std::string& date, const std::string& sites) {
  return "<?xml version=\"1.0\"?><Firmware><Default><FW_Version><Major>" + major + "</Major><Minor>" +
         minor + "</Minor><Date>" + date + "</Date></FW_Version><Download_Site>" + sites +
         "</Download_Site></Default></Firmware>";
}

}  // namespace test
