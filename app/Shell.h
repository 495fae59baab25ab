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

// An http or https address with a host. Addresses that come from the network are opened only
// then: any other ("file:", a program's own scheme, an option) is never handed to the desktop.
bool IsWebAddress(const std::string& address);
// The address to the shell when it is a web address; false (and nothing run) otherwise.
bool OpenWebAddress(const std::string& address);

}  // namespace app
