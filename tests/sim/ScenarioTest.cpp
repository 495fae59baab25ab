#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>

#include "sim/HostSystem.h"
#include "sim/Scenario.h"

namespace {

const char* kGood = R"({
  "hosts": [{"name": "OFFICE-PC", "ip": "192.168.1.10"}, {"name": "LAB-PC", "ip": "192.168.1.11"}],
  "servers": [{
    "ip": "192.168.1.20", "mac": "00:1a:2b:3c:4d:5e", "name": "NUS-1", "status": 3, "storageMode": 0,
    "devices": [
      {"port": 1, "vid": "04F9", "pid": "0042", "type": "PRINTER", "manufacturer": "Brother",
       "product": "HL-L2350DW", "serial": "E7", "subItems": [{"a": "0102", "b": ""}],
       "holder": {"host": "LAB-PC", "lockType": 2, "seconds": 60}},
      {"port": 2, "vid": 1921, "pid": "5567"}
    ]}],
  "serverListNotValidMs": 1500,
  "driverVersion": "2.-1.7"
})";

TEST(Scenario, ReadsEveryField) {
  const auto r = sim::parseScenario(kGood);
  ASSERT_TRUE(r.setup) << r.error;
  const sim::WorldSetup& w = *r.setup;
  ASSERT_EQ(w.hosts.size(), 2u);
  EXPECT_EQ(w.hosts[0].name, "OFFICE-PC");
  EXPECT_EQ(w.hosts[0].ip, (sim::Ipv4{192, 168, 1, 10}));
  ASSERT_EQ(w.servers.size(), 1u);
  const sim::Server& s = w.servers[0];
  EXPECT_EQ(sim::formatMac(s.mac), "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(s.status, 3);
  EXPECT_EQ(s.storageMode, 0);
  ASSERT_EQ(s.devices.size(), 2u);
  EXPECT_EQ(s.devices[0].vid, 0x04F9);
  EXPECT_EQ(s.devices[0].subItems.at(0).first, (std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(s.devices[0].holder, "LAB-PC");
  EXPECT_EQ(s.devices[0].lockType, 2);
  EXPECT_EQ(s.devices[0].lockCount, 1);
  EXPECT_EQ(s.devices[0].holdEndsMs, 60'000);
  EXPECT_EQ(s.devices[1].vid, 1921);
  EXPECT_EQ(s.devices[1].type, "UNKNOWN");
  EXPECT_EQ(w.serverListNotValidMs, 1500);
  EXPECT_EQ(w.driverVersion.minor, -1);
}

struct Bad {
  const char* json;
  const char* expected;  // part of the error text
  friend void PrintTo(const Bad& b, std::ostream* os) { *os << '"' << b.expected << '"'; }
};

class ScenarioFaults : public ::testing::TestWithParam<Bad> {};

TEST_P(ScenarioFaults, AreRefusedWithThePlaceNamed) {
  const auto r = sim::parseScenario(GetParam().json);
  EXPECT_FALSE(r.setup);
  EXPECT_NE(r.error.find(GetParam().expected), std::string::npos) << r.error;
}

const char* kHost = R"("hosts": [{"name": "PC", "ip": "10.0.0.1"}])";

std::string with(const std::string& servers) {
  return std::string("{") + kHost + R"(, "servers": [{"ip": "10.0.0.2", "mac": "00:00:00:00:00:01",
     "name": "S", "devices": [)" + servers + "]}]}";
}

const std::string kBadVid = with(R"({"port": 1, "vid": "4F9", "pid": "0001"})");
const std::string kBadPort = with(R"({"port": 0, "vid": "0001", "pid": "0001"})");
const std::string kTwice = with(R"({"port": 1, "vid": "0001", "pid": "0001"},
                                   {"port": 1, "vid": "0001", "pid": "0002"})");
const std::string kStranger = with(R"({"port": 1, "vid": "0001", "pid": "0001",
                                       "holder": {"host": "GHOST", "lockType": 2}})");
const std::string kLockType = with(R"({"port": 1, "vid": "0001", "pid": "0001",
                                       "holder": {"host": "PC", "lockType": 3}})");
const std::string kDeviceKey = with(R"({"port": 1, "vid": "0001", "pid": "0001", "colour": 1})");
const std::string kLongText = with(R"({"port": 1, "vid": "0001", "pid": "0001", "serial": ")" +
                                   std::string(128, 's') + R"("})");
const std::string kDeviceKeyTwice = with(R"({"port": 1, "vid": "0001", "pid": "0001"},
                                         {"port": 2, "vid": "0001", "vid": "0002", "pid": "0001"})");

INSTANTIATE_TEST_SUITE_P(
    Cases, ScenarioFaults,
    ::testing::Values(
        Bad{"", "not valid JSON"}, Bad{"{\"hosts\": [", "not valid JSON"},
        Bad{"[]", "scenario: expected an object"},
        Bad{R"({"hosts": [], "servers": []})", "hosts: at least one host"},
        Bad{R"({"servers": []})", "missing \"hosts\""},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1"}], "queues": []})", "unknown key \"queues\""},
        Bad{R"({"hosts": [{"name": "../x", "ip": "10.0.0.1"}]})", "hosts[0].name"},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.256"}]})", "hosts[0].ip"},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1"}, {"name": "PC", "ip": "10.0.0.2"}]})",
            "named twice"},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1"}],
                "servers": [{"ip": "10.0.0.2", "mac": "00:00:00:00:00", "name": "S"}]})",
            "servers[0].mac"},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1"}],
                "servers": [{"ip": "10.0.0.2", "mac": "00:00:00:00:00:01", "name": "S", "status": 300}]})",
            "servers[0].status: expected an integer from -128 to 127"},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1"}], "driverVersion": "1.2"})", "driverVersion"},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1"}], "serverListNotValidMs": -1})",
            "serverListNotValidMs"},
        Bad{kBadVid.c_str(), "servers[0].devices[0].vid: expected 4 hexadecimal digits"},
        Bad{kBadPort.c_str(), "devices[0].port"},
        Bad{kTwice.c_str(), "devices[1].port: port 1 is used twice"},
        Bad{kStranger.c_str(), "devices[0].holder.host: \"GHOST\" is not one of the hosts"},
        Bad{kLockType.c_str(), "holder.lockType"},
        Bad{kDeviceKey.c_str(), "devices[0]: unknown key \"colour\""},
        Bad{kLongText.c_str(), "devices[0].serial: longer than 127 bytes"},
        // A key named twice is refused where it stands, whichever of the two would have won.
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1"}], "hosts": [{"name": "PC2", "ip": "10.0.0.2"}]})",
            "scenario: duplicate key \"hosts\""},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1"}, {"name": "LAB", "ip": "10.0.0.3", "ip": "10.0.0.4"}]})",
            "hosts[1]: duplicate key \"ip\""},
        Bad{kDeviceKeyTwice.c_str(), "servers[0].devices[1]: duplicate key \"vid\""},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1", "program": {"version": "2.1", "version": "2.2"}}]})",
            "hosts[0].program: duplicate key \"version\""},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1",
                "queues": [{"name": "Q", "port": "USB001", "access": "root"}]}]})",
            "hosts[0].queues[0].access: expected \"full\""},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1",
                "queues": [{"name": "Q", "port": "A"}, {"name": "q", "port": "B"}]}]})",
            "hosts[0].queues[1].name: queue \"q\" is named twice"},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1",
                "queues": [{"name": "Q", "port": "A", "device": {"server": "10.0.0.2", "port": 0}}]}]})",
            "hosts[0].queues[0].device.port"},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1", "ports": [{"description": "x"}]}]})",
            "hosts[0].ports[0]: missing \"name\""},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1", "spoolerAdmin": 0}]})",
            "hosts[0].spoolerAdmin: expected true or false"},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1", "deviceSettings": [{"ServerIP": "1"}]}]})",
            "hosts[0].deviceSettings[0]: missing \"ServerMAC\""},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1", "deviceSettings": [{"PrinterEnabled": "1"}]}]})",
            "deviceSettings[0]: unknown key \"PrinterEnabled\""},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1", "program": {"Version": "2.1.7"}}]})",
            "hosts[0].program: unknown key \"Version\""},
        Bad{R"({"hosts": [{"name": "PC", "ip": "10.0.0.1", "program": {"version": 2.1}}]})",
            "hosts[0].program.version"}));

// Every scenario that comes with the program loads.
TEST(Scenario, EveryScenarioLoads) {
  int loaded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TARVEX_SOURCE_DIR "/sim/scenarios")) {
    if (entry.path().extension() != ".json") continue;
    const auto r = sim::loadScenarioFile(entry.path().string());
    EXPECT_TRUE(r.setup) << entry.path() << ": " << r.error;
    ++loaded;
  }
  EXPECT_GE(loaded, 1);
}

// The demo's first computer, and a version server that names a newer version than the one its
// installer wrote, with where to get it.
TEST(Scenario, TheDemoLoads) {
  const auto r = sim::loadScenarioFile(TARVEX_SOURCE_DIR "/sim/scenarios/demo.json");
  ASSERT_TRUE(r.setup) << r.error;
  EXPECT_EQ(r.setup->hosts.at(0).name, "OFFICE-PC");
  ASSERT_TRUE(r.setup->versionReply);
  EXPECT_EQ(r.setup->versionReply->status, 200);
  EXPECT_EQ(r.setup->versionReply->major + "." + r.setup->versionReply->minor, "2.5");
  ASSERT_FALSE(r.setup->versionReply->sites.empty());
  EXPECT_EQ(r.setup->versionReply->sites[0].name, "Global");
}

TEST(Scenario, HostsHavePrintQueuesPortsAndDeviceSettings) {
  const auto r = sim::parseScenario(R"({"hosts": [{"name": "PC", "ip": "10.0.0.1", "spoolerAdmin": false,
    "ports": [{"name": "USB001", "description": "Virtual printer port for USB", "monitor": "USB Monitor"}],
    "queues": [{"name": "Laser", "port": "USB001", "offline": true, "paused": true, "access": "use",
                "device": {"server": "10.0.0.20", "port": 3}},
               {"name": "Plain", "port": "LPT1:"}],
    "deviceSettings": [{"ServerIP": "10.0.0.20", "ServerMAC": "00:11:22:33:44:55", "DeviceVid": "04F9",
                        "DevicePid": "0042", "DeviceSNo": "S1", "PrinterEnable": "1",
                        "PrinterName": "Laser"}]}],
    "printMs": 250})");
  ASSERT_TRUE(r.setup) << r.error;
  const sim::Host& h = r.setup->hosts[0];
  EXPECT_FALSE(h.spoolerAdmin);
  ASSERT_EQ(h.ports.size(), 1u);
  EXPECT_EQ(h.ports[0].monitor, "USB Monitor");
  ASSERT_EQ(h.queues.size(), 2u);
  EXPECT_EQ(h.queues[0].attributes, 0x400u);
  EXPECT_EQ(h.queues[0].status, 1u);
  EXPECT_EQ(h.queues[0].grants, sim::kGrantUse);
  ASSERT_TRUE(h.queues[0].device);
  EXPECT_EQ(h.queues[0].device->port, 3);
  EXPECT_EQ(h.queues[1].driver, "Plain") << "the driver defaults to the queue's name";
  EXPECT_EQ(h.queues[1].grants, sim::kGrantFull);
  EXPECT_FALSE(h.queues[1].device);
  EXPECT_EQ(r.setup->printMs, 250);

  ASSERT_EQ(h.registry.size(), 1u);
  const sim::RegistrySeed& seed = h.registry[0];
  EXPECT_EQ(seed.key, "Software\\Tarvex\\Velmora Network USB Utility\\Auto-Connect\\"
                      "IP_10.0.0.20&MAC_00:11:22:33:44:55&Vid_04F9&Pid_0042&SNo_S1");
  ASSERT_EQ(seed.values.size(), 22u);
  EXPECT_EQ(seed.values[0], (std::pair<std::string, std::string>{"ServerName", ""}));
  EXPECT_EQ(seed.values[9], (std::pair<std::string, std::string>{"PrinterEnable", "1"}));
  EXPECT_EQ(seed.values[12], (std::pair<std::string, std::string>{"Reserve4", "0"}));
  EXPECT_EQ(seed.values[15], (std::pair<std::string, std::string>{"ScanIndex", "0"}));
  EXPECT_EQ(seed.values[21].first, "Reserve3");
}

TEST(Scenario, AMissingFileIsNamedAsUnreadable) {
  EXPECT_EQ(sim::loadScenarioFile("/nonexistent/x.json").error, "cannot be read");
}

}  // namespace

namespace {

TEST(Scenario, HostsDescribeTheirSystem) {
  const auto r = sim::parseScenario(R"({"hosts": [
    {"name": "A", "ip": "10.0.0.2", "windowsVersion": "5.0",
     "adapters": [{"type": 71, "mac": "00:11:22:33:44:55", "ip": "10.0.0.2", "gateway": "10.0.0.20"},
                  {"mac": "00:11:22:33:44:66", "ip": "0.0.0.0"}]},
    {"name": "B", "ip": "10.0.0.3"}]})");
  ASSERT_TRUE(r.setup) << r.error;
  const sim::Host& a = r.setup->hosts[0];
  EXPECT_EQ(a.windowsVersion, "5.0");
  ASSERT_EQ(a.adapters.size(), 2u);
  EXPECT_EQ(a.adapters[0].type, 71u);
  EXPECT_EQ(a.adapters[0].gateway, (sim::Ipv4{10, 0, 0, 20}));
  EXPECT_EQ(a.adapters[1].type, 6u);
  const sim::Host& b = r.setup->hosts[1];
  EXPECT_EQ(b.windowsVersion, "6.1");
  ASSERT_EQ(b.adapters.size(), 1u);  // one adapter on its own address, no gateway
  EXPECT_EQ(b.adapters[0].ip, b.ip);
  EXPECT_EQ(b.adapters[0].gateway, (sim::Ipv4{0, 0, 0, 0}));

  const std::string doc = sim::systemDocument(a);
  EXPECT_NE(doc.find("\"windowsVersion\": \"5.0\""), std::string::npos);
  EXPECT_NE(doc.find("\"gateway\": \"10.0.0.20\""), std::string::npos);
  EXPECT_NE(doc.find("\"hostAddress\": \"10.0.0.2\""), std::string::npos);

  const auto bad = sim::parseScenario(
      R"({"hosts": [{"name": "A", "ip": "10.0.0.2", "windowsVersion": "seven"}]})");
  EXPECT_EQ(bad.error, "hosts[0].windowsVersion: expected a version such as \"6.1\"");
}

}  // namespace
