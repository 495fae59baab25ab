// tarvex-simhost and tarvex-simctl as real processes, with the socket client in this process.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/PrintSpooler.h"
#include "platform/Registry.h"
#include "platform/SimClientDeviceIo.h"
#include "platform/SimClientPrintSpooler.h"
#include "platform/SimEnvironment.h"
#include "platform/SimWire.h"
#include "platform/UdpNetwork.h"
#include "sim/DriverRecords.h"

namespace {

namespace fs = std::filesystem;

const char* kScenario = R"({
  "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10"}, {"name": "LAB-PC", "ip": "192.168.1.12"}],
  "servers": [{"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS-Office",
               "devices": [{"port": 1, "vid": "04F9", "pid": "0042", "type": "PRINTER"}]}]
})";

std::string bin(const char* name) { return std::string(TARVEX_BIN_DIR) + "/" + name; }

struct Ran {
  int status = -1;
  std::string output;  // stdout and stderr
};

class Folder {
 public:
  Folder() {
    char pattern[] = "/tmp/tarvex-daemontest-XXXXXX";
    path = ::mkdtemp(pattern);
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string file(const std::string& name, const std::string& text) const {
    const std::string p = path + "/" + name;
    std::ofstream(p) << text;
    return p;
  }
  std::string path;
};

// Starts a program with its output going to outFile; returns its pid.
pid_t spawn(const std::vector<std::string>& argv, const std::string& outFile) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

std::string slurp(const std::string& file) {
  std::ifstream in(file);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

int waitExit(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Ran runToEnd(const std::vector<std::string>& argv, const Folder& folder) {
  const std::string out = folder.path + "/run.out";
  Ran r;
  r.status = waitExit(spawn(argv, out));
  r.output = slurp(out);
  return r;
}

// The daemon is up once its socket exists; it takes a few milliseconds.
bool waitForSocket(const std::string& path) {
  for (int i = 0; i < 400; ++i) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

TEST(Daemon, ServesTheClientLogsItsRequestsAndStopsOnSigterm) {
  Folder folder;
  const std::string dir = folder.path + "/sim";
  const std::string scenario = folder.file("scenario.json", kScenario);
  const pid_t daemon = spawn({bin("tarvex-simhost"), "--dir", dir, scenario}, folder.path + "/daemon.out");
  ASSERT_TRUE(waitForSocket(dir + "/simhost.sock")) << slurp(folder.path + "/daemon.out");
  EXPECT_EQ(slurp(dir + "/default-host"), "OFFICE-PC\n");
  EXPECT_TRUE(fs::is_directory(dir + "/hosts/LAB-PC"));

  const Ran second = runToEnd({bin("tarvex-simhost"), "--dir", dir, scenario}, folder);
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.output.find("another tarvex-simhost is running"), std::string::npos) << second.output;

  ::setenv("TARVEX_SIM_DIR", dir.c_str(), 1);
  ::setenv("TARVEX_HOST", "OFFICE-PC", 1);
  auto io = platform::makeSimClientDeviceIo();
  const auto slots = io->ListInterfaces(sim::kMasterBusClass);
  ASSERT_TRUE(slots);
  ASSERT_EQ(slots->size(), 1u);
  const platform::Handle control = io->Open(slots->front().path, platform::kGenericRead, true);
  ASSERT_NE(control, platform::kInvalidHandle);
  std::vector<std::uint8_t> buffer(1024, 0);
  std::uint32_t n = 0;
  ASSERT_TRUE(io->Control(control, sim::code::kGetServerList, buffer, 1024, 1024, n));
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[4], 1);
  std::vector<std::uint8_t> attach = {192, 168, 1, 20};
  attach.resize(64);
  ASSERT_TRUE(io->Control(control, sim::code::kAttachServer, attach, 4, 64, n));

  const Ran logged = runToEnd({bin("tarvex-simctl"), "--dir", dir, "log"}, folder);
  ASSERT_EQ(logged.status, 0) << logged.output;
  bool sawList = false, sawAttach = false;
  std::istringstream lines(logged.output);
  for (std::string line; std::getline(lines, line);) {
    const auto entry = nlohmann::json::parse(line);
    EXPECT_EQ(entry["host"], "OFFICE-PC");
    if (entry["code"] == "0x222000")
      sawList = entry["request"] == std::string(2048, '0') && entry["result"] == "ok";
    if (entry["code"] == "0x222010")
      sawAttach = entry["request"] == "c0a80114" && entry["what"] == "control";
  }
  EXPECT_TRUE(sawList) << logged.output;
  EXPECT_TRUE(sawAttach) << logged.output;

  const Ran take = runToEnd({bin("tarvex-simctl"), "--dir", dir, "take", "LAB-PC", "192.168.1.20", "1", "2", "60"}, folder);
  EXPECT_EQ(take.status, 0) << take.output;
  const Ran refused = runToEnd({bin("tarvex-simctl"), "--dir", dir, "take", "OFFICE-PC", "192.168.1.20", "1", "2", "60"}, folder);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("held by LAB-PC"), std::string::npos) << refused.output;
  const Ran state = runToEnd({bin("tarvex-simctl"), "--dir", dir, "state"}, folder);
  ASSERT_EQ(state.status, 0);
  const auto world = nlohmann::json::parse(state.output);
  EXPECT_EQ(world["servers"][0]["devices"][0]["holder"], "LAB-PC");
  EXPECT_EQ(world["hosts"][0]["attached"][0], "192.168.1.20");

  ASSERT_EQ(::kill(daemon, SIGTERM), 0);
  EXPECT_EQ(waitExit(daemon), 0);
  EXPECT_FALSE(fs::exists(dir + "/simhost.sock"));
  EXPECT_FALSE(io->ListInterfaces(sim::kMasterBusClass)) << "a stopped daemon fails the call";

  const Ran gone = runToEnd({bin("tarvex-simctl"), "--dir", dir, "state"}, folder);
  EXPECT_EQ(gone.status, 1);
  EXPECT_NE(gone.output.find("no simulated host is running"), std::string::npos) << gone.output;
}

const char* kPrintScenario = R"({
  "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10",
             "ports": [{"name": "USB001", "description": "Virtual printer port for USB"}],
             "queues": [{"name": "Laser", "port": "USB001", "offline": true}],
             "deviceSettings": [{"ServerIP": "192.168.1.20", "ServerMAC": "00:1A:2B:3C:4D:5E",
                                 "DeviceVid": "04F9", "DevicePid": "0042", "DeviceSNo": "S1",
                                 "PrinterEnable": "1", "PrinterName": "Laser", "PrinterPort": "USB001"}],
             "program": {"directory": "C:\\Program Files\\Tarvex", "version": "2.1.7"}}]
})";

TEST(Daemon, SeedsTheRegistryAndServesTheSpoolerToClientAndControlCommand) {
  Folder folder;
  const std::string dir = folder.path + "/sim";
  const pid_t daemon = spawn({bin("tarvex-simhost"), "--dir", dir, folder.file("p.json", kPrintScenario)},
                             folder.path + "/daemon.out");
  ASSERT_TRUE(waitForSocket(dir + "/simhost.sock")) << slurp(folder.path + "/daemon.out");

  {
    const auto registry = platform::Registry::open(dir + "/hosts/OFFICE-PC/registry.db", false);
    ASSERT_TRUE(registry);
    const auto key = registry->openKey(
        platform::RegRoot::CurrentUser,
        "Software\\Tarvex\\Velmora Network USB Utility\\Auto-Connect\\"
        "IP_192.168.1.20&MAC_00:1A:2B:3C:4D:5E&Vid_04F9&Pid_0042&SNo_S1",
        platform::kKeyRead);
    ASSERT_TRUE(key);
    const auto values = key->values();
    ASSERT_EQ(values.size(), 22u);
    EXPECT_EQ(values[9].name, "PrinterEnable");
    EXPECT_EQ(values[9].text, "1");
    EXPECT_EQ(key->value("PrinterName")->text, "Laser");
    // Where the installer writes, for a user to read.
    const auto installed = registry->openKey(platform::RegRoot::LocalMachine,
                                             "Software\\Tarvex\\Velmora Network USB Utility",
                                             platform::kKeyRead);
    ASSERT_TRUE(installed);
    EXPECT_EQ(installed->value("Install Directory")->text, "C:\\Program Files\\Tarvex");
    EXPECT_EQ(installed->value("Product Version")->text, "2.1.7");
  }

  ::setenv("TARVEX_SIM_DIR", dir.c_str(), 1);
  ::setenv("TARVEX_HOST", "OFFICE-PC", 1);
  auto spooler = platform::makeSimClientPrintSpooler();
  const platform::OpenPrinterResult opened = spooler->OpenPrinter("Laser", platform::kPrinterAllAccess);
  ASSERT_NE(opened.handle, platform::kInvalidHandle) << opened.error;
  EXPECT_EQ(spooler->OpenPrinter("Nothing", platform::kPrinterAccessUse).error,
            platform::kErrorInvalidPrinterName);
  const platform::Handle change =
      spooler->FindFirstPrinterChangeNotification(opened.handle, platform::kPrinterChangeJob);
  ASSERT_NE(change, platform::kInvalidHandle);

  const Ran printed = runToEnd({bin("tarvex-simctl"), "--dir", dir, "print", "OFFICE-PC", "Laser", "memo.pdf"}, folder);
  ASSERT_EQ(printed.status, 0) << printed.output;
  EXPECT_EQ(spooler->WaitForPrinterChange(change, 2000), platform::ChangeWait::Fired);
  std::vector<platform::JobInfo> jobs;
  const platform::SpoolerAnswer size = spooler->EnumJobs(opened.handle, 0, 100, 0, jobs);
  ASSERT_GT(size.needed, 0u);
  ASSERT_TRUE(spooler->EnumJobs(opened.handle, 0, 100, size.needed, jobs).ok);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].document, "memo.pdf");

  ASSERT_EQ(runToEnd({bin("tarvex-simctl"), "--dir", dir, "queue-access", "OFFICE-PC", "Laser", "use"}, folder).status, 0);
  EXPECT_EQ(spooler->OpenPrinter("Laser", platform::kPrinterAllAccess).error, platform::kErrorAccessDenied);
  const Ran queues = runToEnd({bin("tarvex-simctl"), "--dir", dir, "queues", "--host", "OFFICE-PC"}, folder);
  ASSERT_EQ(queues.status, 0) << queues.output;
  const auto listed = nlohmann::json::parse(queues.output);
  EXPECT_EQ(listed["OFFICE-PC"][0]["offline"], true);
  EXPECT_EQ(listed["OFFICE-PC"][0]["access"], "use");
  EXPECT_EQ(listed["OFFICE-PC"][0]["jobs"][0]["document"], "memo.pdf");
  ASSERT_EQ(runToEnd({bin("tarvex-simctl"), "--dir", dir, "remove-queue", "OFFICE-PC", "Laser"}, folder).status, 0);
  EXPECT_FALSE(spooler->FindNextPrinterChangeNotification(change));
  EXPECT_EQ(runToEnd({bin("tarvex-simctl"), "--dir", dir, "print", "OFFICE-PC", "Laser", "x"}, folder).status, 1);

  ASSERT_EQ(::kill(daemon, SIGTERM), 0);
  EXPECT_EQ(waitExit(daemon), 0);
  EXPECT_EQ(spooler->OpenPrinter("Laser", platform::kPrinterAccessUse).error, platform::kErrorNoSpooler);
}

// One UDP call over a connection of its own, as a program's network makes them.
platform::UdpAnswer udpCall(platform::simwire::Channel& connection, const platform::UdpCall& call) {
  const auto reply = connection.exchange(platform::simwire::UdpRequest{"OFFICE-PC", call});
  const auto* answer = reply ? std::get_if<platform::simwire::UdpReply>(&*reply) : nullptr;
  if (!answer) {
    platform::UdpAnswer failed;
    failed.error = -1;
    return failed;
  }
  return answer->answer;
}

int bindSelfTestPort(platform::simwire::Channel& connection) {
  platform::UdpCall call;
  const platform::UdpAnswer opened = udpCall(connection, call);
  if (opened.error != 0) return opened.error;
  call.op = platform::UdpOp::Bind;
  call.socket = opened.socket;
  call.address = {{192, 168, 1, 10}, 9303};
  return udpCall(connection, call).error;
}

// A program's sockets end with its connection, as a process's end with the process: a killed
// program leaves the self-test's port free for the next start.
TEST(Daemon, AClientsUdpSocketsCloseWithItsConnection) {
  Folder folder;
  const std::string dir = folder.path + "/sim";
  const pid_t daemon = spawn({bin("tarvex-simhost"), "--dir", dir, folder.file("s.json", kScenario)},
                             folder.path + "/daemon.out");
  ASSERT_TRUE(waitForSocket(dir + "/simhost.sock")) << slurp(folder.path + "/daemon.out");
  ::setenv("TARVEX_SIM_DIR", dir.c_str(), 1);
  {
    platform::simwire::Channel first, second;
    EXPECT_EQ(bindSelfTestPort(first), 0);
    EXPECT_EQ(bindSelfTestPort(second), platform::kWsaEAddrInUse) << "taken while the first lives";
  }
  platform::simwire::Channel next;
  EXPECT_EQ(bindSelfTestPort(next), 0) << "the ended connections took their sockets with them";

  ASSERT_EQ(::kill(daemon, SIGTERM), 0);
  EXPECT_EQ(waitExit(daemon), 0);
}

TEST(Daemon, RefusesAFaultyScenarioNamingTheFault) {
  Folder folder;
  const std::string bad = folder.file("bad.json", R"({"hosts": [{"name": "PC", "ip": "1.2.3"}]})");
  const Ran r = runToEnd({bin("tarvex-simhost"), "--dir", folder.path + "/sim", bad}, folder);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("hosts[0].ip"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(folder.path + "/sim/simhost.sock"));

  const Ran missing = runToEnd({bin("tarvex-simhost"), "--dir", folder.path + "/sim", folder.path + "/none.json"}, folder);
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(runToEnd({bin("tarvex-simhost")}, folder).status, 2) << "no scenario given";
}

TEST(Daemon, TheControlCommandExplainsItselfAndRefusesBadWords) {
  Folder folder;
  const Ran help = runToEnd({bin("tarvex-simctl"), "--help"}, folder);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("fail-next CODE"), std::string::npos);
  const Ran bad = runToEnd({bin("tarvex-simctl"), "--dir", folder.path, "take", "PC", "1.2.3.4", "x"}, folder);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find("port must be a number"), std::string::npos) << bad.output;
}

}  // namespace
