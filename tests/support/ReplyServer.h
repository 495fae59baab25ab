#pragma once
// A one-answer HTTP server on 127.0.0.1 for the version check's tests: it keeps the head of every
// request it gets and answers each with the same status and body, at once or one byte of the body
// at a time (a server that trickles), after a flood of interim answers if asked. It runs on the
// thread's event loop, which the program's request waits on.
#include <QByteArray>
#include <functional>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <map>
#include <memory>
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
  // The head at once, then one byte of the body every `everyMs`; `onByte` runs after each.
  void trickle(int everyMs, std::function<void()> onByte = {}) {
    trickleMs_ = everyMs;
    onByte_ = std::move(onByte);
  }
  // "HTTP/1.1 100 Continue" heads, `bytes` of them, as fast as the client takes them, before the
  // answer.
  void floodInterim(qint64 bytes) { floodBytes_ = bytes; }
  const std::vector<std::string>& requests() const { return requests_; }
  // Bytes of the body trickled so far, and whether an answer went out after its flood.
  std::size_t trickled() const { return trickled_; }
  bool answeredAfterFlood() const { return answeredAfterFlood_; }

 private:
  void serve(QTcpSocket* s) {
    QByteArray& head = pending_[s];
    head += s->readAll();
    if (!head.contains("\r\n\r\n")) return;
    requests_.push_back(head.toStdString());
    pending_.erase(s);
    if (floodBytes_ > 0) return flood(s);
    sendAnswer(s);
  }

  // The interim heads, a block at a time while little is waiting to be sent; then the answer.
  void flood(QTcpSocket* s) {
    QByteArray block;
    while (block.size() < 4000) block += "HTTP/1.1 100 Continue\r\n\r\n";
    auto sent = std::make_shared<qint64>(0);
    auto pump = [this, s, block, sent] {
      while (s->state() == QAbstractSocket::ConnectedState && s->bytesToWrite() < 64 * 1024) {
        if (*sent >= floodBytes_) {
          QObject::disconnect(s, &QTcpSocket::bytesWritten, s, nullptr);
          answeredAfterFlood_ = true;
          return sendAnswer(s);
        }
        s->write(block);
        *sent += block.size();
      }
    };
    QObject::connect(s, &QTcpSocket::bytesWritten, s, pump);
    pump();
  }

  void sendAnswer(QTcpSocket* s) {
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
    QObject::connect(timer, &QTimer::timeout, s, [this, s, timer, body = body_, sent = std::size_t{0}]() mutable {
      if (sent < body.size()) {
        s->write(&body[sent++], 1);
        ++trickled_;
        if (onByte_) onByte_();
      }
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
  std::function<void()> onByte_;
  std::size_t trickled_ = 0;
  qint64 floodBytes_ = 0;
  bool answeredAfterFlood_ = false;
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
