#include "app/Shell.h"

#include <QProcess>
#include <atomic>

namespace app {
namespace {

class XdgShell final : public Shell {
 public:
  bool openUrl(const std::string& address) override {
    if (address.empty()) return false;
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

}  // namespace app
