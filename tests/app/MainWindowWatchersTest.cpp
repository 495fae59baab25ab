// The main window with a print watcher running, offscreen, on the simulated host run in process:
// restarting and stopping the watchers while the window's own messages keep running.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "app/DeviceSettings.h"
#include "app/Dialogs.h"
#include "app/TMainFm.h"
#include "core/SettingsStore.h"
#include "platform/Clock.h"
#include "platform/PrintSpooler.h"
#include "platform/SystemInfo.h"
#include "platform/UiDispatcher.h"
#include "sim/InProcessDeviceIo.h"
#include "sim/InProcessPrintSpooler.h"
#include "sim/Scenario.h"
#include "sim/World.h"
#include "support/ForwardingSpooler.h"
#include "support/OfficeComputer.h"
#include "support/TempRegistry.h"
#include "support/PumpUntil.h"

namespace {

int argc = 1;
char programName[] = "test_gui_watchers";
char* argv[] = {programName, nullptr};

const char* kScenario = R"({
  "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10",
             "ports": [{"name": "USB001", "description": "Virtual printer port for USB",
                        "monitor": "USB Monitor"}],
             "queues": [{"name": "Office Laser", "port": "USB001",
                         "device": {"server": "192.168.1.20", "port": 1}}]}],
  "servers": [
    {"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS-Office", "status": 1,
     "devices": [{"port": 1, "vid": "04F9", "pid": "0042", "type": "PRINTER", "serial": "E1"}]}
  ]
})";

struct SilentBoxes : app::MessageBoxes {
  int show(const std::string&, const std::string&, unsigned) override { return app::kIdOk; }
  void showModeless(const std::string&, const std::string&, unsigned) override {}
};

// The simulated spooler, except that a watcher's change wait lasts until the watcher is asked to
// stop (at most a few seconds of real time); then `onStop` runs on the watcher's thread.
class StopWaitSpooler final : public test::ForwardingSpooler {
 public:
  using ForwardingSpooler::ForwardingSpooler;

  std::atomic<int> waiting{0};
  std::function<void()> onStop;
  std::atomic<bool> endedByStop{false};

  platform::ChangeWait WaitForPrinterChange(platform::Handle c, std::uint32_t ms,
                                            const platform::Event* stop) override {
    if (!stop) return ForwardingSpooler::WaitForPrinterChange(c, ms, stop);
    ++waiting;
    const bool stopped = stop->wait(5000);
    --waiting;
    if (!stopped) return platform::ChangeWait::TimedOut;
    endedByStop = true;
    if (onStop) onStop();
    return platform::ChangeWait::Stopped;
  }
};

class WatchedWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) new QApplication(argc, argv);
    platform::ui::markUiThread();
  }
  void SetUp() override {
    platform::setClock(&clock);
    platform::setDeviceIo(&office);
    platform::setPrintSpooler(&spooler);
    platform::setSystemInfo(&computer);
    app::setMessageBoxes(&boxes);
    app::AutoConnectInfo binding;
    binding.serverName = "NUS-Office";
    binding.serverIp = "192.168.1.20";
    binding.serverMac = "00:1A:2B:3C:4D:5E";
    binding.deviceVid = "04F9";
    binding.devicePid = "0042";
    binding.deviceSno = "E1";
    binding.deviceType = "PRINTER";
    binding.printerEnable = true;
    binding.printerName = "Office Laser";
    binding.printerPort = "USB001";
    ASSERT_TRUE(app::WriteDeviceSetting(core::kSettingsKey, binding));
    window = std::make_unique<app::TMainFm>(std::vector<std::string>{});
    ASSERT_TRUE(window->FormCreate());
    window->show();  // the first refresh starts the watcher
    ASSERT_TRUE(until([&] { return spooler.waiting == 1; })) << "the watcher waits for changes";
  }
  void TearDown() override {
    spooler.onStop = nullptr;
    window.reset();
    app::setMessageBoxes(nullptr);
    platform::setSystemInfo(nullptr);
    platform::setPrintSpooler(nullptr);
    platform::setDeviceIo(nullptr);
    platform::setClock(nullptr);
  }
  template <typename Done>
  bool until(Done done, int ms = 10000) {
    return test::pumpUntil(done, ms);
  }

  platform::ManualClock clock;
  sim::World world{*sim::parseScenario(kScenario).setup, clock};
  sim::InProcessDeviceIo office{world, "OFFICE-PC"};
  std::unique_ptr<platform::PrintSpooler> simSpooler = sim::makeInProcessPrintSpooler(world, "OFFICE-PC");
  StopWaitSpooler spooler{*simSpooler};
  test::OfficeComputer computer;
  SilentBoxes boxes;
  test::TempRegistry registry;
  std::unique_ptr<app::TMainFm> window;
};

TEST_F(WatchedWindow, ARestartOnShowingRunsTheWindowsMessagesWhileItWaitsForTheOldWatcher) {
  // The old watcher ends only once a message posted to the window's thread has run.
  std::atomic<bool> dispatched{false};
  std::atomic<bool> ranWhileWaiting{false};
  spooler.onStop = [&] {
    QMetaObject::invokeMethod(qApp, [&] { dispatched = true; }, Qt::QueuedConnection);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!dispatched && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ranWhileWaiting = dispatched.load();
  };
  window->hide();
  window->show();
  ASSERT_TRUE(until([&] { return spooler.endedByStop && spooler.waiting == 1; }))
      << "the old watcher ended and a new one waits";
  EXPECT_TRUE(ranWhileWaiting);
}

TEST_F(WatchedWindow, ExitHidesTheWindowAndTheTrayIconFirstAndEndsTheWatchersWaitAtOnce) {
  std::atomic<bool> windowShownAtStop{true}, trayShownAtStop{true};
  spooler.onStop = [&] {
    windowShownAtStop = window->isVisible();
    trayShownAtStop = window->tray().isVisible();
  };
  ASSERT_TRUE(window->isVisible());
  QElapsedTimer t;
  t.start();
  ASSERT_TRUE(window->FormCloseQuery());
  EXPECT_LT(t.elapsed(), 1000);
  EXPECT_TRUE(spooler.endedByStop) << "the change wait ended at the stop, not at its time-out";
  EXPECT_FALSE(windowShownAtStop);
  EXPECT_FALSE(trayShownAtStop);
}

}  // namespace
