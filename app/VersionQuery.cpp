#include "app/VersionQuery.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <utility>
#include <vector>

#include "app/HttpResponse.h"
#include "platform/Clock.h"
#include "platform/SimEnvironment.h"
#include "platform/NestedLoop.h"

namespace app {

QByteArray VersionRequest(const std::string& hostHeader) {
  return QByteArray("GET ") + kVersionQueryPath + " HTTP/1.1\r\nHost: " + hostHeader.c_str() +
         "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n";
}

// One request and its reply. It ends once, with the reply, a failure, the deadline or a cancel,
// and then hands its answer to every query that waits for it.
class VersionQuery::Exchange {
 public:
  Exchange(const QUrl& url, const VersionQueryLimits& limits)
      : url_(url), limits_(limits), reader_({limits.maxHeadBytes, limits.maxBytes}) {}

  HttpOutcome run(const std::function<void()>& ended) {
    ended_ = ended;
    // Qt's own buffer holds no more than one piece: the reply is read as it comes.
    socket_.setReadBufferSize(kPieceBytes);
    socket_.setProxy(QNetworkProxy::NoProxy);  // the request goes to the server named, nowhere else
    QObject::connect(&socket_, &QTcpSocket::connected, &loop_, [this] {
      socket_.write(VersionRequest(url_.authority(QUrl::FullyEncoded).toStdString()));
    });
    QObject::connect(&socket_, &QTcpSocket::readyRead, &loop_, [this] { read(); });
    QObject::connect(&socket_, &QTcpSocket::disconnected, &loop_, [this] {
      read();
      if (!done_) end(outcomeOf(reader_.close()));
    });
    QObject::connect(&socket_, &QTcpSocket::errorOccurred, &loop_, [this](QAbstractSocket::SocketError e) {
      if (e == QAbstractSocket::RemoteHostClosedError) return;  // the end of the reply, seen above
      end(failure(socket_.errorString().toStdString()));
    });
    // One deadline for the whole exchange: a server that trickles its reply does not keep it
    // open. The timer ends a silent wait; every read looks at the clock too.
    deadline_ = platform::clock().nowMs() + limits_.totalMs;
    limit_.setSingleShot(true);
    // A coarse timer may fire 5% late: a second past the limit.
    limit_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit_, &QTimer::timeout, &loop_, [this] { end(pastDeadline()); });
    limit_.start(limits_.totalMs);
    socket_.connectToHost(url_.host(), static_cast<quint16>(url_.port(80)));
    if (!done_ && platform::NestedLoop::exec(loop_) < 0) cancel();  // no display: nothing waits
    return out_;
  }

  void cancel() {
    HttpOutcome out;
    out.cancelled = true;
    out.error = "cancelled";
    end(std::move(out));
  }

  void addWaiter(QEventLoop& loop, HttpOutcome& answer) { waiters_.push_back({&loop, &answer}); }

 private:
  static constexpr qint64 kPieceBytes = 16 * 1024;

  static HttpOutcome failure(std::string why) {
    HttpOutcome out;
    out.error = std::move(why);
    return out;
  }

  HttpOutcome pastDeadline() const {
    return failure("no reply within " + std::to_string(limits_.totalMs) + " ms");
  }

  static HttpOutcome outcomeOf(const HttpResponse& reply) {
    if (reply.state == HttpResponse::State::Refused) return failure(reply.error);
    if (reply.state != HttpResponse::State::Complete) return failure("no reply");
    if (reply.status < 200 || reply.status > 299) return failure("HTTP status " + std::to_string(reply.status));
    HttpOutcome out;
    out.body = reply.body;
    out.ok = true;
    return out;
  }

  void read() {
    char piece[kPieceBytes];
    while (!done_) {
      if (platform::clock().nowMs() >= deadline_) return end(pastDeadline());
      const qint64 n = socket_.read(piece, kPieceBytes);
      if (n <= 0) return;
      const HttpResponse& reply = reader_.feed(QByteArrayView(piece, static_cast<qsizetype>(n)));
      if (reply.state != HttpResponse::State::Incomplete) return end(outcomeOf(reply));
    }
  }

  void end(HttpOutcome out) {
    if (done_) return;
    done_ = true;
    out_ = std::move(out);
    limit_.stop();
    QObject::disconnect(&socket_, nullptr, &loop_, nullptr);  // what the abort says is not news
    socket_.abort();
    for (const auto& [loop, answer] : waiters_) {
      *answer = out_;
      loop->quit();
    }
    waiters_.clear();
    loop_.quit();
    if (ended_) ended_();
  }

  QUrl url_;
  VersionQueryLimits limits_;
  HttpResponseReader reader_;
  QTcpSocket socket_;
  QEventLoop loop_;
  QTimer limit_;
  std::int64_t deadline_ = 0;
  bool done_ = false;
  HttpOutcome out_;
  std::function<void()> ended_;
  std::vector<std::pair<QEventLoop*, HttpOutcome*>> waiters_;
};

HttpOutcome VersionQuery::Fetch(const std::string& host, const VersionQueryLimits& limits) {
  if (running()) return awaitRunning();
  const QUrl url(QString::fromStdString("http://" + host + kVersionQueryPath), QUrl::StrictMode);
  if (host.empty() || !url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty()) {
    HttpOutcome out;
    out.error = "no version server";
    return out;
  }
  Exchange exchange(url, limits);
  active_ = &exchange;
  return exchange.run([this, &exchange] {
    if (active_ == &exchange) active_ = nullptr;
  });
}

// The running exchange lies below this call on the stack: it ends before this returns.
HttpOutcome VersionQuery::awaitRunning() {
  QEventLoop wait;
  HttpOutcome answer;
  active_->addWaiter(wait, answer);
  platform::NestedLoop::exec(wait);
  return answer;
}

void VersionQuery::Cancel() {
  if (active_) active_->cancel();
}

std::string VersionServerHost() {
  if (const char* v = std::getenv("TARVEX_VERSION_SERVER"); v && *v) return v;
  std::ifstream in(platform::sim::simDir() + "/version-server");
  std::string host;
  std::getline(in, host);
  return host;
}

}  // namespace app
