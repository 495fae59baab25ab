// Steps of the in-process window tests: plug and play written into the test's registry for one
// computer, and a step run from the event loop once its condition holds.
#pragma once

#include <functional>
#include <string>

#include <QObject>
#include <QTimer>

#include "platform/Registry.h"
#include "sim/PlugAndPlay.h"
#include "sim/World.h"

namespace test {

// Plug and play writes `host`'s records into whatever registry the test installed.
inline sim::WorldOptions plugAndPlayFor(std::string host) {
  sim::WorldOptions options;
  options.plugAndPlay = [host = std::move(host)](const sim::PlugAndPlayChange& change) {
    if (change.host == host) sim::recordPlugAndPlay(platform::registry(), change);
  };
  return options;
}

// Runs `step` once `ready` holds, looked at from the event loop (a modal window's own too); a
// step never waits inside a poll, since the poll may itself run nested in a window's transfer.
inline void when(QObject& owner, std::function<bool()> ready, std::function<void()> step) {
  auto* poll = new QTimer(&owner);
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, &owner, [poll, ready, step] {
    if (!ready()) return;
    poll->stop();
    poll->deleteLater();
    step();
  });
  poll->start();
}

}  // namespace test
