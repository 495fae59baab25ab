#include "app/Shell.h"

#include <QProcess>
#include <QUrl>
#include <atomic>

namespace app {
namespace {

class XdgShell final : public Shell {
 public:
  bool openUrl(const std::string& address) override {
    if (!IsWebAddress(address)) return false;
    return QProcess::startDetached("xdg-open", {QString::fromStdString(address)});
  }
};

XdgShell xdg;
std::atomic<Shell*> installed{nullptr};

}  // namespace

Shell& shell() {
  Shell* s = installed.load();
  return s ? *s : xdg;
}

void setShell(Shell* s) { installed.store(s); }

bool IsWebAddress(const std::string& address) {
  const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
  if (!url.isValid() || url.host().isEmpty()) return false;
  const QString scheme = url.scheme().toLower();
  return scheme == "http" || scheme == "https";
}

bool OpenWebAddress(const std::string& address) {
  return IsWebAddress(address) && shell().openUrl(address);
}

}  // namespace app
