#pragma once
// One running instance per user and computer. The first start takes a lock file and listens on a
// local socket; a later start finds the lock taken, sends the running one the show request and
// ends. Taking the lock is the check and the creation in one atomic step.
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QLocalServer;
class QLockFile;

namespace app {

// The show request's message and parameters.
inline constexpr unsigned kShowMessage = 0x465;  // WM_USER + 101
inline constexpr unsigned kShowParam = 0x77;

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  // `title` names the lock and the socket; the folder is the user's runtime folder, one per
  // simulated computer.
  explicit SingleInstance(const QString& title, QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this process is now the one instance.
  bool tryBecomeTheInstance();
  // Gives the lock back (a start that ends before its windows exist).
  void release();
  // Sends the show request to the running instance, retrying while it is still starting (up to
  // about `patienceMs`). True when it was delivered.
  bool handOver(int patienceMs = 5000);
  // Starts listening for hand-overs; each calls `onShow` with the message's two parameters.
  bool listen(std::function<void(unsigned wParam, unsigned lParam)> onShow);
  // While held, hand-overs are still taken (a second start never waits for them) but kept, the
  // last one, and served when the hold ends: the start-up listens before its first box opens and
  // serves what came meanwhile once its window exists.
  void holdShows(bool hold);

  QString lockPath() const;
  QString serverName() const;

 private:
  QString folder_;
  QString title_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer* server_ = nullptr;
  std::function<void(unsigned, unsigned)> onShow_;
  bool held_ = false;
  std::optional<std::pair<unsigned, unsigned>> heldShow_;
  void deliver(unsigned wParam, unsigned lParam);
};

}  // namespace app
