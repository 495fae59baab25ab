// Ways out of the process that pass by the program's own end, each with a worker thread that uses
// a static object to its last step: the worker is stopped and waited for before that object is
// destroyed, and the process ends with the status it was given, never of a signal.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>
#include <unistd.h>

#include "app/ProcessExit.h"
#include "platform/NestedLoop.h"
#include "platform/Thread.h"
#include "platform/UiDispatcher.h"

namespace {

// A static object as the program's services are: its end takes a while, as a database's close
// does, and a worker that uses it meanwhile says so.
struct Shared {
  std::atomic<bool> alive{true};
  ~Shared() {
    alive = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
};

Shared& shared() {
  static Shared s;
  return s;
}

class Worker : public platform::Thread {
 protected:
  void execute() override {
    while (!terminated()) {
      use();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    use();  // its last step too
  }

 private:
  static void use() {
    if (shared().alive) return;
    std::fputs("used after its end\n", stderr);
    std::_Exit(99);
  }
};

// The program up to its message loop: the statics made, a worker running, the exit path set
// (and, as after a return from main, gone again with the window when `windowGone`).
void runningProgram(const std::function<void()>& wayOut, bool windowGone) {
  platform::ui::markUiThread();
  shared();
  (new Worker)->resume();  // its owner's end never comes on these ways out
  auto path = std::make_optional<app::ExitPath>([] { std::fputs("the end ran\n", stderr); });
  if (windowGone) path.reset();
  wayOut();
}

struct Case {
  const char* name;
  bool windowGone;
  std::function<void()> wayOut;
  int status;
  const char* said;
};

TEST(ExitPathDeathTest, EveryWayOutStopsTheWorkersBeforeTheirStaticsGo) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::vector<Case> cases = {
      {"a library's exit() inside a nested loop", false,
       [] {
         const platform::NestedLoop inside;
         std::exit(3);
       },
       3, "the end ran"},
      {"quick_exit()", false, [] { std::quick_exit(4); }, 4, "the end ran"},
      {"exit() after the window's own end", true, [] { std::exit(5); }, 5, "^$"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(runningProgram(c.wayOut, c.windowGone), ::testing::ExitedWithCode(c.status), c.said);
  }
}

}  // namespace
