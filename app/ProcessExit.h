#pragma once
// The ways out of the process that pass by the program's own end: a library's exit() (Qt's X
// plugin calls it when the display goes away), quick_exit(), and a return from main while workers
// still run. Each first runs the end that needs no display (threads stopped and waited for, what
// the program holds given back), then waits for every worker thread, all before the static
// objects are destroyed.
#include <functional>

namespace app {

class ExitPath {
 public:
  // While this lives, such an exit runs `end` first (once, on the UI thread). Make it once the
  // objects `end` uses exist: the exit then runs before their static parts are destroyed.
  explicit ExitPath(std::function<void()> end);
  ~ExitPath();
  ExitPath(const ExitPath&) = delete;
  ExitPath& operator=(const ExitPath&) = delete;

  // How long the exit waits for the workers to end.
  static constexpr unsigned kWorkerWaitMs = 5000;
};

}  // namespace app
