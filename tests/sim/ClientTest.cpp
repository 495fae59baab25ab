// The socket client against the daemon's loop run in this process on a temporary folder.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "SimTestWorld.h"
#include "platform/SimClientDeviceIo.h"
#include "platform/SimClientPrintSpooler.h"
#include "platform/SimEnvironment.h"
#include "platform/SimWire.h"
#include "sim/SimHostServer.h"

namespace {

namespace wire = platform::simwire;
using platform::ReadStatus;

class TempSimDir {
 public:
  TempSimDir() {
    char pattern[] = "/tmp/tarvex-simtest-XXXXXX";
    path_ = ::mkdtemp(pattern);
    ::setenv("TARVEX_SIM_DIR", path_.c_str(), 1);
    ::setenv("TARVEX_HOST", "A", 1);
  }
  ~TempSimDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

 private:
  std::string path_;
};

// The daemon's loop on a thread, over a world with a manual clock.
class RunningServer {
 public:
  explicit RunningServer(sim::World& world) {
    std::string error;
    wire::Socket listening = sim::listenUnix(platform::sim::socketPath(), error);
    EXPECT_TRUE(listening.valid()) << error;
    EXPECT_EQ(::pipe(stop_), 0);
    thread_ = std::thread([&world, s = std::move(listening), fd = stop_[0]]() mutable {
      sim::SimHostServer(world, std::move(s), fd, 10).run();
    });
  }
  ~RunningServer() { stop(); }
  void stop() {
    if (!thread_.joinable()) return;
    const char b = 1;
    EXPECT_EQ(::write(stop_[1], &b, 1), 1);
    thread_.join();
    ::close(stop_[0]);
    ::close(stop_[1]);
  }

 private:
  int stop_[2] = {-1, -1};
  std::thread thread_;
};

struct Client {
  std::unique_ptr<platform::DeviceIo> io = platform::makeSimClientDeviceIo();
  platform::Handle control = platform::kInvalidHandle;

  bool openControl() {
    const auto slots = io->ListInterfaces(sim::kMasterBusClass);
    if (!slots || slots->empty()) return false;
    control = io->Open(slots->front().path, platform::kGenericRead | platform::kGenericWrite, true);
    return control != platform::kInvalidHandle;
  }
  simtest::Reply call(std::uint32_t code, std::vector<std::uint8_t> input, std::uint32_t inSize,
                      std::uint32_t outSize) {
    simtest::Reply r;
    r.bytes = std::move(input);
    r.bytes.resize(std::max(inSize, outSize));
    r.ok = io->Control(control, code, r.bytes, inSize, outSize, r.returned);
    return r;
  }
};

TEST(SimClient, WithoutADaemonEveryCallFailsAtOnce) {
  TempSimDir dir;
  Client c;
  EXPECT_FALSE(c.io->ListInterfaces(sim::kMasterBusClass));
  EXPECT_EQ(c.io->Open("x", 0, false), platform::kInvalidHandle);
  std::vector<std::uint8_t> buffer(2048);
  std::uint32_t n = 7;
  EXPECT_FALSE(c.io->Control(0x100, sim::code::kGetServerList, buffer, 1024, 1024, n));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(c.io->BeginRead(0x100, buffer, n), ReadStatus::Failed);
  EXPECT_EQ(c.io->WaitRead(0x100, platform::kWaitForever, n), ReadStatus::Failed);
  c.io->Close(0x100);
}

class SimClientServed : public ::testing::Test {
 protected:
  TempSimDir dir;
  platform::ManualClock clock;
  sim::World world{simtest::smallWorld(), clock};
  std::optional<RunningServer> server{std::in_place, world};
  Client c;
};

TEST_F(SimClientServed, ControlRequestsTravelByteForByte) {
  ASSERT_TRUE(c.openControl());
  const auto direct = simtest::Station(world, "B").serverList();
  const auto reply = c.call(sim::code::kGetServerList, {}, 1024, 1024);
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(reply.returned, direct.returned);
  EXPECT_EQ(reply.bytes, direct.bytes);
  EXPECT_FALSE(c.call(sim::code::kGetDeviceList, {}, 2048, 2048).ok) << "not a bus";
}

TEST_F(SimClientServed, AnOversizeReplyPassesItsCountButNoMoreBytesThanTheOutSize) {
  ASSERT_TRUE(c.openControl());
  ASSERT_EQ(world.injectFault({sim::FaultKind::Oversize, sim::code::kGetDriverVersion, ""}), "");
  std::vector<std::uint8_t> buffer(80, 0xEE);
  std::uint32_t n = 0;
  ASSERT_TRUE(c.io->Control(c.control, sim::code::kGetDriverVersion, buffer, 64, 64, n));
  EXPECT_EQ(n, 65u);
  EXPECT_EQ(buffer[64], 0xEE) << "nothing written past the out size";
}

TEST_F(SimClientServed, APendingReadDoesNotHoldUpControlRequestsAndEndsWithTheEvent) {
  ASSERT_TRUE(c.openControl());
  std::vector<std::uint8_t> buffer(2048, 0);
  std::uint32_t n = 0;
  ASSERT_EQ(c.io->BeginRead(c.control, buffer, n), ReadStatus::Pending);
  EXPECT_EQ(c.io->WaitRead(c.control, 0, n), ReadStatus::Pending);

  auto waited = std::async(std::launch::async, [&] {
    std::uint32_t got = 0;
    const auto status = c.io->WaitRead(c.control, platform::kWaitForever, got);
    return std::make_pair(status, got);
  });
  // Control calls from this thread go on while the other one waits.
  ASSERT_TRUE(c.call(sim::code::kGetDriverVersion, {}, 64, 64).ok);
  ASSERT_TRUE(c.call(sim::code::kAttachServer, {10, 0, 0, 20}, 4, 64).ok);
  const auto [status, got] = waited.get();
  EXPECT_EQ(status, ReadStatus::Completed);
  EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + got),
            simtest::deviceListChanged());
}

TEST_F(SimClientServed, CancelEndsAWaitOnAnotherThreadAsAborted) {
  ASSERT_TRUE(c.openControl());
  std::vector<std::uint8_t> buffer(2048, 0);
  std::uint32_t n = 0;
  ASSERT_EQ(c.io->BeginRead(c.control, buffer, n), ReadStatus::Pending);
  auto waited = std::async(std::launch::async, [&] {
    std::uint32_t got = 0;
    return c.io->WaitRead(c.control, platform::kWaitForever, got);
  });
  ASSERT_TRUE(c.call(sim::code::kCancelRead, {}, 64, 64).ok);
  EXPECT_EQ(waited.get(), ReadStatus::Aborted);
}

TEST_F(SimClientServed, ControlCallsFromManyThreadsAllGetTheirOwnReplies) {
  ASSERT_TRUE(c.openControl());
  std::vector<std::future<bool>> calls;
  for (int t = 0; t < 8; ++t) {
    calls.push_back(std::async(std::launch::async, [&] {
      for (int i = 0; i < 25; ++i) {
        const auto r = c.call(sim::code::kGetDriverVersion, {}, 64, 64);
        if (!r.ok || r.returned != 8 || r.bytes[0] != 1) return false;
      }
      return true;
    }));
  }
  for (auto& f : calls) EXPECT_TRUE(f.get());
}

TEST_F(SimClientServed, ADaemonRestartFailsTheOldHandleAndTheNextCallsReconnect) {
  ASSERT_TRUE(c.openControl());
  std::vector<std::uint8_t> buffer(2048, 0);
  std::uint32_t n = 0;
  ASSERT_EQ(c.io->BeginRead(c.control, buffer, n), ReadStatus::Pending);

  server.reset();  // the daemon goes away
  EXPECT_EQ(c.io->WaitRead(c.control, platform::kWaitForever, n), ReadStatus::Failed);
  EXPECT_FALSE(c.io->ListInterfaces(sim::kMasterBusClass));

  platform::ManualClock clock2;
  sim::WorldOptions options;
  options.firstHandle = 0x9000;
  options.logLimit = 100;
  sim::World fresh(simtest::smallWorld(), clock2, options);
  server.emplace(fresh);
  EXPECT_FALSE(c.call(sim::code::kGetDriverVersion, {}, 64, 64).ok) << "a handle of the old run";
  ASSERT_TRUE(c.openControl());
  EXPECT_TRUE(c.call(sim::code::kGetDriverVersion, {}, 64, 64).ok);
  EXPECT_EQ(c.io->BeginRead(c.control, buffer, n), ReadStatus::Pending);
  server.reset();
}

// A world whose computer A has the queue "Laser".
sim::WorldSetup worldWithQueue() {
  sim::WorldSetup setup = simtest::smallWorld();
  sim::PrinterQueue q;
  q.name = "Laser";
  q.port = "USB001";
  q.driver = "Laser";
  setup.hosts[0].queues = {q};
  return setup;
}

class SpoolerServed : public ::testing::Test {
 protected:
  SpoolerServed() {
    const platform::OpenPrinterResult opened = spooler->OpenPrinter("Laser", platform::kPrinterAllAccess);
    EXPECT_NE(opened.handle, platform::kInvalidHandle) << opened.error;
    printer = opened.handle;
    change = spooler->FindFirstPrinterChangeNotification(opened.handle, platform::kPrinterChangeJob);
    EXPECT_NE(change, platform::kInvalidHandle);
  }

  std::future<platform::ChangeWait> waitOnAnotherThread(std::uint32_t timeoutMs,
                                                        const platform::Event* stop = nullptr) {
    return std::async(std::launch::async,
                      [this, timeoutMs, stop] { return spooler->WaitForPrinterChange(change, timeoutMs, stop); });
  }

  // A 2 s wait that the daemon's clock lets run out, once the daemon holds it.
  platform::ChangeWait waitTimedOut() {
    auto waited = waitOnAnotherThread(2000);
    for (int i = 0; i < 250 && waited.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready; ++i)
      clock.advanceMs(2000);
    return waited.get();
  }

  TempSimDir dir;
  platform::ManualClock clock;  // the daemon's: only this test moves it
  sim::World world{worldWithQueue(), clock};
  std::optional<RunningServer> server{std::in_place, world};
  std::unique_ptr<platform::PrintSpooler> spooler = platform::makeSimClientPrintSpooler();
  platform::Handle printer = platform::kInvalidHandle;
  platform::Handle change = platform::kInvalidHandle;
};

using namespace std::chrono_literals;

TEST_F(SpoolerServed, AChangeWaitBlocksOnTheHostUntilTheChangeComesOrItsTimeRunsOut) {
  auto waited = waitOnAnotherThread(2000);
  EXPECT_EQ(waited.wait_for(50ms), std::future_status::timeout) << "nothing happened yet";
  ASSERT_EQ(world.printJob("A", "Laser", "memo.pdf"), "");
  ASSERT_EQ(waited.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(waited.get(), platform::ChangeWait::Fired);
  // Other calls go on while a wait is held on its own connection.
  ASSERT_TRUE(spooler->FindNextPrinterChangeNotification(change));
  waited = waitOnAnotherThread(2000);
  EXPECT_EQ(waited.wait_for(50ms), std::future_status::timeout);
  EXPECT_NE(spooler->OpenPrinter("Laser", platform::kPrinterAccessUse).handle, platform::kInvalidHandle);
  clock.advanceMs(2000);
  ASSERT_EQ(waited.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(waited.get(), platform::ChangeWait::TimedOut);
}

TEST_F(SpoolerServed, AStopEndsAWaitAtOnceAndTheNextWaitStillWorks) {
  platform::Event stop;
  auto waited = waitOnAnotherThread(60'000, &stop);
  EXPECT_EQ(waited.wait_for(50ms), std::future_status::timeout);
  stop.set();
  ASSERT_EQ(waited.wait_for(1s), std::future_status::ready);
  EXPECT_EQ(waited.get(), platform::ChangeWait::Stopped);
  EXPECT_EQ(spooler->WaitForPrinterChange(change, 1000, &stop), platform::ChangeWait::Stopped)
      << "a stop set before the wait ends it at once";

  ASSERT_EQ(world.printJob("A", "Laser", "memo.pdf"), "");
  EXPECT_EQ(spooler->WaitForPrinterChange(change, 60'000), platform::ChangeWait::Fired);
  spooler->FindClosePrinterChangeNotification(change);
  EXPECT_EQ(spooler->WaitForPrinterChange(change, 60'000), platform::ChangeWait::Failed);
}

TEST_F(SpoolerServed, AWaitsAnswerCarriesTheResetAndTheEmptyQueuesReadsAndLosesNoLaterChange) {
  ASSERT_EQ(waitTimedOut(), platform::ChangeWait::TimedOut);
  // The host reset the notification and read the queue as it answered; a job queued after that
  // is not in those reads, and raises the notification again.
  ASSERT_EQ(world.printJob("A", "Laser", "late.pdf"), "");
  EXPECT_TRUE(spooler->FindNextPrinterChangeNotification(change));
  std::vector<platform::JobInfo> jobs;
  const platform::SpoolerAnswer count = spooler->EnumJobs(printer, 0, 100, 0, jobs);
  EXPECT_TRUE(count.ok);
  EXPECT_EQ(count.needed, 0u);
  platform::PrinterInfo info;
  const platform::SpoolerAnswer size = spooler->GetPrinter(printer, 0, info);
  EXPECT_EQ(size.error, platform::kErrorInsufficientBuffer);
  ASSERT_GT(size.needed, 0u);
  ASSERT_TRUE(spooler->GetPrinter(printer, size.needed, info).ok);
  EXPECT_EQ(info.printerName, "Laser");
  EXPECT_EQ(info.portName, "USB001");

  EXPECT_EQ(spooler->WaitForPrinterChange(change, 2000), platform::ChangeWait::Fired)
      << "the job queued after the reset, at once";
  EXPECT_EQ(spooler->WaitForPrinterChange(change, 2000), platform::ChangeWait::Fired)
      << "fired until the caller resets it";
  EXPECT_TRUE(spooler->FindNextPrinterChangeNotification(change));
  EXPECT_GT(spooler->EnumJobs(printer, 0, 100, 0, jobs).needed, 0u) << "jobs queued: asked of the host";
}

TEST_F(SpoolerServed, AfterAChangeThroughTheSpoolerTheQueueIsReadFromTheHostAgain) {
  ASSERT_EQ(waitTimedOut(), platform::ChangeWait::TimedOut);
  ASSERT_TRUE(spooler->FindNextPrinterChangeNotification(change));
  ASSERT_TRUE(spooler->ControlPrinter(printer, platform::kPrinterControlPause).ok);
  platform::PrinterInfo info;
  const platform::SpoolerAnswer size = spooler->GetPrinter(printer, 0, info);
  ASSERT_TRUE(spooler->GetPrinter(printer, size.needed, info).ok);
  EXPECT_NE(info.status & platform::kPrinterStatusPaused, 0u);
}

TEST_F(SpoolerServed, TheComputerNameIsReadOnceFromTheDaemonsDefaultHost) {
  ::unsetenv("TARVEX_HOST");
  const std::string defaultHost = platform::sim::simDir() + "/default-host";
  std::ofstream(defaultHost) << "A\n";
  auto client = platform::makeSimClientPrintSpooler();
  EXPECT_NE(client->OpenPrinter("Laser", platform::kPrinterAccessUse).handle, platform::kInvalidHandle);
  std::ofstream(defaultHost, std::ios::trunc) << "B\n";
  EXPECT_NE(client->OpenPrinter("Laser", platform::kPrinterAccessUse).handle, platform::kInvalidHandle)
      << "still A: the file is not read again";
}

// A peer that answers every request with the given bytes.
void serveOnce(const std::vector<std::uint8_t>& answer, std::promise<void>& ready) {
  std::string error;
  wire::Socket listening = sim::listenUnix(platform::sim::socketPath(), error);
  ready.set_value();
  wire::Socket peer(::accept(listening.fd(), nullptr, nullptr));
  std::uint8_t sink[4096];
  [[maybe_unused]] const auto got = ::recv(peer.fd(), sink, sizeof sink, 0);
  [[maybe_unused]] const auto sent = ::send(peer.fd(), answer.data(), answer.size(), MSG_NOSIGNAL);
}

TEST(SimClient, ABadFrameFromThePeerIsRefused) {
  const std::vector<std::vector<std::uint8_t>> answers = {
      {0xFF, 0xFF, 0xFF, 0x7F},                       // oversize length
      {0x09, 0x00, 0x00, 0x00, 0x84, 0x01},           // truncated: the peer hangs up mid-frame
      {0x02, 0x00, 0x00, 0x00, 0x81, 0x05},           // malformed interfaces reply
      wire::encodeFrame(wire::OpenReply{0x100}),      // a well-formed reply of the wrong kind
  };
  for (const auto& answer : answers) {
    TempSimDir dir;
    std::promise<void> ready;
    std::thread peer(serveOnce, std::cref(answer), std::ref(ready));
    ready.get_future().wait();
    Client c;
    EXPECT_FALSE(c.io->ListInterfaces(sim::kMasterBusClass));
    peer.join();
  }
}

}  // namespace
