#pragma once
// Opening an address in the user's browser, behind one replaceable service so that tests see the
// address instead of starting a browser.
#include <string>

namespace app {

class Shell {
 public:
  virtual ~Shell() = default;
  // False when the address could not be handed to the desktop.
  virtual bool openUrl(const std::string& address) = 0;
};

// xdg-open, started detached.
Shell& shell();
void setShell(Shell* s);  // not owned; nullptr restores the default

}  // namespace app
