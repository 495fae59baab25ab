#include "platform/NestedLoop.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <atomic>

#include "platform/UiDispatcher.h"

namespace platform {
namespace {

// UI thread only, but read by the exit path too: plain atomics, never destroyed.
std::atomic<int> loops{0};
std::atomic<bool> endAsked{false};
std::atomic<bool> noWindows{false};

}  // namespace

NestedLoop::NestedLoop() { ++loops; }
NestedLoop::~NestedLoop() { --loops; }

int NestedLoop::depth() { return loops.load(); }

bool NestedLoop::processEvents() {
  {
    const NestedLoop inside;
    if (!windowsForbidden()) QCoreApplication::processEvents();
    ui::serve();
  }
  return !ending();
}

int NestedLoop::exec(QDialog& dialog) {
  if (windowsForbidden()) return QDialog::Rejected;
  const NestedLoop inside;
  return dialog.exec();
}

int NestedLoop::exec(QEventLoop& loop) {
  if (windowsForbidden()) return -1;
  const NestedLoop inside;
  return loop.exec();
}

bool NestedLoop::ending() { return endAsked.load(); }
void NestedLoop::setEnding(bool ending) { endAsked.store(ending); }

void NestedLoop::forbidWindows() { noWindows.store(true); }
bool NestedLoop::windowsForbidden() { return noWindows.load(); }

}  // namespace platform
