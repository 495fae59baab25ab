// The program's entry: one instance per user, the "-mini" start, the windows in their order, and
// the message loop.
#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <csignal>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "app/ProcessExit.h"
#include "app/SingleInstance.h"
#include "app/TMainFm.h"
#include "app/TPrinterSetupForm.h"
#include "core/NetInfo.h"
#include "core/SettingsStore.h"
#include "platform/UiDispatcher.h"

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int) {
  const char byte = 1;
  [[maybe_unused]] const auto n = write(signalPipe[1], &byte, 1);
}

// SIGTERM is how a Linux session (or a user) ends the program, SIGHUP how a session's terminal
// ends it: treated as the end of the session, whenever they come. Caught from the first line on;
// served once the main window exists. A peer that went away (the X server, the simulated host)
// fails the write to it rather than ending the program.
void catchTermination() {
  ::signal(SIGPIPE, SIG_IGN);
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
  struct sigaction sa {};
  sa.sa_handler = onTerminate;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
}

void watchTermination(app::TMainFm& mainForm) {
  if (signalPipe[0] < 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &mainForm);
  QObject::connect(notifier, &QSocketNotifier::activated, &mainForm, [&mainForm, notifier] {
    char byte;
    [[maybe_unused]] const auto n = read(signalPipe[0], &byte, 1);
    notifier->setEnabled(false);
    mainForm.EndSession();
    notifier->setEnabled(true);
  });
}

// Hand-overs from worker threads run on the UI thread from its event loop.
void serveHandOversFromTheEventLoop(QApplication& application) {
  platform::ui::markUiThread();
  platform::ui::setWakeHook([&application] {
    QMetaObject::invokeMethod(&application, [] { platform::ui::serve(); }, Qt::QueuedConnection);
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  catchTermination();
  QApplication application(argc, argv);
  QApplication::setApplicationName(app::kApplicationTitle);
  // No display name: Qt would append it to every window's title, and each caption stands as is.
  QApplication::setQuitOnLastWindowClosed(false);  // the program lives on in the tray
  const std::vector<std::string> args(argv + 1, argv + argc);

  app::SingleInstance instance(app::kApplicationTitle);
  const app::StartOutcome start = app::DecideStart(
      args, {[&instance] { return instance.handOver(0); },
             [] {
               std::string autoRun;
               core::ReadSetting(platform::RegRoot::CurrentUser, core::kSettingsKey,
                                 core::kAutoRunCheck, autoRun);
               return autoRun;
             },
             [&instance] { return instance.tryBecomeTheInstance(); },
             [&instance] { instance.handOver(); }});
  if (start != app::StartOutcome::Run) return 0;

  serveHandOversFromTheEventLoop(application);
  app::TMainFm mainForm(args);
  // Before the start-up: its boxes, and the first showing's, may be open when the session ends.
  watchTermination(mainForm);
  QObject::connect(&application, &QGuiApplication::commitDataRequest, &mainForm,
                   [&mainForm](QSessionManager&) { mainForm.EndSession(); });
  // Heard before the start-up's first box can open: a second start meanwhile is taken at once, and
  // served once the window exists.
  instance.holdShows(true);
  instance.listen([&mainForm](unsigned, unsigned lParam) { mainForm.TrayIconMessage(lParam); });
  if (!mainForm.FormCreate()) return 0;
  // From here on workers run: an exit from inside a library ends them, and gives back what the
  // program holds, before anything they use is destroyed.
  const app::ExitPath exitPath([&mainForm] { mainForm.EndAtProcessExit(); });
  // Created with the other windows, though no command opens it.
  app::TPrinterSetupForm printerSetup(core::WindowsVersionFlags, [&mainForm] {
    std::vector<std::string> bound;
    for (const auto& entry : mainForm.printers()) bound.push_back(entry->queueName);
    return bound;
  });
  mainForm.show();
  instance.holdShows(false);
  const int result = mainForm.MessageLoop();
  platform::ui::setWakeHook(nullptr);
  return result;
}
