#pragma once
// Every loop the UI thread runs inside another (a modal window's, a box's, a wait that lets
// window messages run, processEvents itself) is entered through this guard, so that the program's
// end knows when one is on the stack and waits for it to unwind. Once the end was asked for, a
// loop's caller learns it and goes no further. Once the display is gone (the process is being
// ended from inside a library), no window message is processed and no modal window opens.
#include <functional>

class QDialog;
class QEventLoop;

namespace platform {

class NestedLoop {
 public:
  NestedLoop();
  ~NestedLoop();
  NestedLoop(const NestedLoop&) = delete;
  NestedLoop& operator=(const NestedLoop&) = delete;

  // Loops of this kind on the stack now.
  static int depth();

  // Pending window messages, inside a guard; then the worker threads' hand-overs. False when the
  // program's end has been asked for (before or meanwhile): the caller stops what it does.
  static bool processEvents();
  // A modal window's loop, inside a guard. Without a display it does not open: rejected.
  static int exec(QDialog& dialog);
  // A plain event loop, inside a guard; without a display it does not run (returns -1).
  static int exec(QEventLoop& loop);

  // The program's end was asked for (and not refused since).
  static bool ending();
  static void setEnding(bool ending);

  // The display is gone: from now on no window message is processed and no modal window opens.
  static void forbidWindows();
  static bool windowsForbidden();
};

}  // namespace platform
