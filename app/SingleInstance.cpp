#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <vector>

#include "platform/SimEnvironment.h"

namespace app {
namespace {

QString runtimeFolder() {
  QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (base.isEmpty()) base = QDir::tempPath();
  const QString host = QString::fromStdString(platform::sim::thisHostName());
  return base + "/tarvex-" + host;
}

QByteArray showRequest(unsigned wParam, unsigned lParam) {
  return QByteArray::number(kShowMessage, 16) + ' ' + QByteArray::number(wParam, 16) + ' ' +
         QByteArray::number(lParam, 16) + '\n';
}

constexpr qint64 kLongestRequest = 64;

struct ShowRequest {
  unsigned wParam = 0, lParam = 0;
};

// The complete show requests waiting on the socket; other lines are skipped.
std::vector<ShowRequest> readShowRequests(QLocalSocket& socket) {
  std::vector<ShowRequest> requests;
  while (socket.canReadLine()) {
    const QByteArray line = socket.readLine(kLongestRequest);
    if (!line.endsWith('\n')) {  // longer than any request
      socket.abort();
      return requests;
    }
    const QList<QByteArray> parts = line.trimmed().split(' ');
    if (parts.size() != 3) continue;
    bool ok[3] = {};
    const unsigned msg = parts[0].toUInt(&ok[0], 16);
    const unsigned w = parts[1].toUInt(&ok[1], 16);
    const unsigned l = parts[2].toUInt(&ok[2], 16);
    if (ok[0] && ok[1] && ok[2] && msg == kShowMessage) requests.push_back({w, l});
  }
  // A request is a few bytes: a longer line is no request, and the client is not heard further.
  if (socket.bytesAvailable() >= kLongestRequest) socket.abort();
  return requests;
}

}  // namespace

SingleInstance::SingleInstance(const QString& title, QObject* parent)
    : QObject(parent), folder_(runtimeFolder()), title_(title) {
  QDir().mkpath(folder_);
  lock_ = std::make_unique<QLockFile>(lockPath());
  lock_->setStaleLockTime(0);  // a lock whose process is gone is taken over
}

SingleInstance::~SingleInstance() { release(); }

QString SingleInstance::lockPath() const { return folder_ + "/" + title_ + ".lock"; }

QString SingleInstance::serverName() const { return folder_ + "/" + title_ + ".sock"; }

bool SingleInstance::tryBecomeTheInstance() { return lock_->tryLock(0); }

void SingleInstance::release() {
  if (server_) {
    server_->close();
    delete server_;
    server_ = nullptr;
  }
  if (lock_ && lock_->isLocked()) lock_->unlock();
}

bool SingleInstance::handOver(int patienceMs) {
  const QByteArray request = showRequest(kShowParam, kShowParam);
  for (int waited = 0;; waited += 100) {
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (socket.waitForConnected(500)) {
      socket.write(request);
      const bool sent = socket.waitForBytesWritten(1000);
      socket.disconnectFromServer();
      if (sent) return true;
    }
    if (waited >= patienceMs) return false;
    // The running instance may not listen yet: it took the lock and is still starting.
    QThread::msleep(100);
  }
}

bool SingleInstance::listen(std::function<void(unsigned, unsigned)> onShow) {
  QLocalServer::removeServer(serverName());  // a socket left by a crashed run
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(serverName())) return false;
  onShow_ = std::move(onShow);
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        // What the socket holds is read here, and the show runs only once its signal is over:
        // a show may open a box, whose loop deletes the socket when the other side hangs up.
        for (const ShowRequest& r : readShowRequests(*socket))
          QMetaObject::invokeMethod(this, [this, r] { deliver(r.wParam, r.lParam); },
                                    Qt::QueuedConnection);
      });
    }
  });
  return true;
}

void SingleInstance::deliver(unsigned wParam, unsigned lParam) {
  if (held_) heldShow_.emplace(wParam, lParam);
  else if (onShow_) onShow_(wParam, lParam);
}

void SingleInstance::holdShows(bool hold) {
  held_ = hold;
  if (hold || !heldShow_) return;
  const auto [w, l] = *heldShow_;
  heldShow_.reset();
  deliver(w, l);
}

}  // namespace app
