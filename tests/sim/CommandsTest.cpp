#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "SimTestWorld.h"
#include "sim/SimCtlArgs.h"
#include "sim/WorldCommands.h"

namespace {

using nlohmann::json;

class Commands : public ::testing::Test {
 protected:
  platform::ManualClock clock;
  sim::World world{simtest::smallWorld(), clock};

  sim::CommandResult run(const json& cmd) { return sim::runCommand(world, cmd.dump()); }
  json state() { return json::parse(run({{"cmd", "state"}}).text); }
};

TEST_F(Commands, StateShowsHoldersLockTypesCountsAndRemainingSeconds) {
  ASSERT_TRUE(run({{"cmd", "take"}, {"host", "B"}, {"server", "10.0.0.20"}, {"port", 1},
                   {"lockType", 2}, {"seconds", 90}}).ok);
  clock.advanceMs(30'500);
  const json s = state();
  const json& d = s["servers"][0]["devices"][0];
  EXPECT_EQ(d["holder"], "B");
  EXPECT_EQ(d["lockType"], 2);
  EXPECT_EQ(d["lockCount"], 2);
  EXPECT_EQ(d["remainingSeconds"], 60);
  EXPECT_EQ(d["vid"], "04F9");
  EXPECT_EQ(s["servers"][0]["devices"][1]["remainingSeconds"], nullptr);
  EXPECT_EQ(s["servers"][0]["mac"], "00:11:22:33:44:55");
  EXPECT_EQ(s["hosts"][1]["name"], "B");
}

TEST_F(Commands, AddAndRemoveTakeTheScenarioForm) {
  ASSERT_TRUE(run({{"cmd", "add-server"},
                   {"server", {{"ip", "10.0.0.30"}, {"mac", "00:00:00:00:00:30"}, {"name", "New"}}}}).ok);
  ASSERT_TRUE(run({{"cmd", "add-device"}, {"server", "10.0.0.30"},
                   {"device", {{"port", 4}, {"vid", "03F0"}, {"pid", "5311"}, {"type", "MFP"}}}}).ok);
  EXPECT_EQ(state()["servers"][1]["devices"][0]["type"], "MFP");
  EXPECT_TRUE(run({{"cmd", "remove-device"}, {"server", "10.0.0.30"}, {"port", 4}}).ok);
  EXPECT_TRUE(run({{"cmd", "remove-server"}, {"ip", "10.0.0.30"}}).ok);
  EXPECT_EQ(state()["servers"].size(), 1u);
}

TEST_F(Commands, FaultsAreNamedByTheirCode) {
  ASSERT_TRUE(run({{"cmd", "fail-next"}, {"code", "0x222048"}, {"host", "A"}}).ok);
  ASSERT_TRUE(run({{"cmd", "truncate-next"}, {"code", "222044"}}).ok);
  const json faults = state()["faults"];
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(faults[0]["kind"], "fail");
  EXPECT_EQ(faults[0]["code"], "0x222048");
  EXPECT_EQ(faults[1]["host"], "");
}

TEST_F(Commands, BadCommandsAreRefusedWithAReason) {
  struct Case {
    std::string json;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"not json", "bad command"},
      {"[]", "a command is a JSON object"},
      {R"({"cmd": "explode"})", "unknown command \"explode\""},
      {R"({"cmd": "release", "server": "10.0.0.20"})", "missing \"port\""},
      {R"({"cmd": "release", "server": "10.0.0.20", "port": 300})", "\"port\" must be an integer from 0 to 255"},
      {R"({"cmd": "release", "server": "10.0.0", "port": 1})", "\"server\" must be a dotted IPv4"},
      {R"({"cmd": "take", "host": "A", "server": "10.0.0.20", "port": 1, "lockType": 3, "seconds": 1})", "lockType"},
      {R"({"cmd": "ask", "host": "A", "server": "10.0.0.20", "port": 1})", "the device is free"},
      {R"({"cmd": "set-ip", "host": "Z", "ip": "10.0.0.9"})", "no host named Z"},
      {R"({"cmd": "fail-next", "code": "zz"})", "\"code\" must be a control code"},
      {R"({"cmd": "add-device", "server": "10.0.0.20", "device": {"port": 1, "vid": "0001", "pid": "0001"}})", "already has a device on port 1"},
      {R"({"cmd": "add-device", "server": "10.0.0.20", "device": {"port": 5, "vid": "01", "pid": "0001"}})", "device.vid"},
  };
  for (const Case& c : cases) {
    const auto r = sim::runCommand(world, c.json);
    EXPECT_FALSE(r.ok) << c.json;
    EXPECT_NE(r.text.find(c.reason), std::string::npos) << c.json << " -> " << r.text;
  }
}

TEST_F(Commands, TheLogComesInPagesFromASequenceNumber) {
  simtest::Station a(world, "A");
  for (int i = 0; i < 3; ++i) a.serverList();
  const json first = json::parse(run({{"cmd", "log"}}).text);
  ASSERT_EQ(first["entries"].size(), 3u);
  EXPECT_EQ(first["entries"][0]["code"], "0x222000");
  EXPECT_EQ(first["entries"][0]["what"], "control");
  EXPECT_EQ(first["entries"][0]["request"].get<std::string>().size(), 2048u);
  const json rest = json::parse(run({{"cmd", "log"}, {"from", first["next"]}}).text);
  EXPECT_TRUE(rest["entries"].empty());
}

TEST_F(Commands, PrintQueuesAndJobsShowInStateAndLog) {
  EXPECT_FALSE(run({{"cmd", "print"}, {"host", "A"}, {"queue", "Q"}, {"document", "d"}}).ok)
      << "A has no queue";
  EXPECT_FALSE(run({{"cmd", "queue-access"}, {"host", "A"}, {"queue", "Q"}, {"access", "root"}}).ok);
  EXPECT_FALSE(run({{"cmd", "queues"}, {"host", "Z"}}).ok);
  const json queues = json::parse(run({{"cmd", "queues"}}).text);
  EXPECT_EQ(queues, json::parse(R"({"A": [], "B": []})"));
  const json s = state();
  EXPECT_EQ(s["hosts"][0]["queues"], json::array());
  EXPECT_EQ(s["hosts"][0]["ports"], json::array());
}

TEST(CtlArgs, WordsBecomeRequests) {
  struct Case {
    std::vector<std::string> words;
    std::string request;  // JSON, or "" when the words are refused
  };
  const std::vector<Case> cases = {
      {{"state"}, R"({"cmd":"state"})"},
      {{"take", "LAB-PC", "10.0.0.20", "2", "1", "1200"},
       R"({"cmd":"take","host":"LAB-PC","lockType":1,"port":2,"seconds":1200,"server":"10.0.0.20"})"},
      {{"fail-next", "0x222000", "--host", "A"}, R"({"cmd":"fail-next","code":"0x222000","host":"A"})"},
      {{"add-server", "10.0.0.9", "00:00:00:00:00:09", "S", "--status", "3"},
       R"({"cmd":"add-server","server":{"ip":"10.0.0.9","mac":"00:00:00:00:00:09","name":"S","status":3}})"},
      {{"add-device", "10.0.0.9", "1", "04F9", "0042", "PRINTER", "--serial", "X1"},
       R"({"cmd":"add-device","device":{"pid":"0042","port":1,"serial":"X1","type":"PRINTER","vid":"04F9"},"server":"10.0.0.9"})"},
      {{"print", "OFFICE-PC", "Office Printer", "a b.pdf"},
       R"({"cmd":"print","document":"a b.pdf","host":"OFFICE-PC","queue":"Office Printer"})"},
      {{"queue-access", "A", "Q", "use"}, R"({"access":"use","cmd":"queue-access","host":"A","queue":"Q"})"},
      {{"queues", "--host", "A"}, R"({"cmd":"queues","host":"A"})"},
      {{"print", "A", "Q"}, ""},
      {{}, ""},
      {{"explode"}, ""},
      {{"release", "10.0.0.20"}, ""},
      {{"release", "10.0.0.20", "1", "extra"}, ""},
      {{"ask", "A", "10.0.0.20", "one"}, ""},
      {{"fail-next", "0x222000", "--host"}, ""},
      {{"--bogus", "state"}, ""},
  };
  for (const Case& c : cases) {
    const sim::CtlArgs a = sim::parseCtlArgs(c.words);
    if (c.request.empty()) {
      EXPECT_FALSE(a.error.empty()) << a.request.dump();
    } else {
      EXPECT_EQ(a.error, "");
      EXPECT_EQ(a.request, json::parse(c.request));
    }
  }
  EXPECT_EQ(sim::parseCtlArgs({"--dir", "/x", "state"}).dir, "/x");
  EXPECT_TRUE(sim::parseCtlArgs({"log", "--help"}).help);
}

}  // namespace
