// Runs the UI thread's events and the worker threads' hand-overs until a condition holds.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include "platform/UiDispatcher.h"

namespace test {

template <typename Done>
bool pumpUntil(Done done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    platform::ui::serve();
  }
  return done();
}

}  // namespace test
