// The device mapping walks over machine hives that the simulated plug and play writes when a
// computer links a device; the program reads them as a user without administrator rights.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/DeviceMapping.h"
#include "platform/Clock.h"
#include "sim/PlugAndPlay.h"
#include "sim/Scenario.h"
#include "sim/World.h"
#include "support/TempRegistry.h"

namespace {

using namespace core;

constexpr sim::Ipv4 kServer{10, 0, 0, 20};

// One computer "PC" beside a server with the given devices; `queues` and `extra` are JSON members
// of PC's host object.
std::string scenario(const std::string& devices, const std::string& queues = "[]",
                     const std::string& extra = "") {
  return R"({"hosts": [{"name": "PC", "ip": "10.0.0.2", "queues": )" + queues + extra +
         R"(}, {"name": "OTHER", "ip": "10.0.0.3"}],
  "servers": [{"ip": "10.0.0.20", "mac": "00:11:22:33:44:55", "name": "S", "devices": [)" +
         devices + "]}]}";
}

std::string queue(const std::string& name, const std::string& driver, const std::string& port,
                  int devicePort) {
  return R"({"name": ")" + name + R"(", "driver": ")" + driver + R"(", "port": ")" + port +
         R"(", "device": {"server": "10.0.0.20", "port": )" + std::to_string(devicePort) + "}}";
}

// PC's hive written by plug and play, read back through a registry opened without administrator
// rights, as the program opens it.
class MappedWorld {
 public:
  explicit MappedWorld(const std::string& json) {
    auto setup = sim::parseScenario(json);
    EXPECT_TRUE(setup.setup) << setup.error;
    sim::WorldOptions options;
    options.plugAndPlay = [this](const sim::PlugAndPlayChange& c) {
      if (c.host == "PC") sim::recordPlugAndPlay(*writer_, c);
    };
    writer_ = platform::Registry::open(hive_.file(), true);
    reader_ = platform::Registry::open(hive_.file(), false);
    sim::resetPlugAndPlay(*writer_, setup.setup->hosts[0]);  // as the simulated host starts
    platform::setRegistry(reader_.get());
    world_ = std::make_unique<sim::World>(std::move(*setup.setup), clock_, options);
  }
  void link(int port, const std::string& host = "PC") {
    ASSERT_EQ(world_->take(host, kServer, static_cast<std::uint8_t>(port), 1, 1200), "");
  }
  void release(int port) { ASSERT_EQ(world_->release(kServer, static_cast<std::uint8_t>(port)), ""); }
  std::string deviceId(int port) {
    const sim::WorldState state = world_->state();
    for (const sim::Device& d : state.servers[0].devices)
      if (d.port == port) return sim::stillImageDeviceId(d);
    return {};
  }

 private:
  test::TempRegistry hive_;
  std::unique_ptr<platform::Registry> writer_, reader_;
  platform::ManualClock clock_;
  std::unique_ptr<sim::World> world_;
};

const std::string kBrother =
    R"({"port": 1, "vid": "04F9", "pid": "0042", "type": "PRINTER", "manufacturer": "Brother",
        "product": "HL-L2350DW series", "serial": "E78123K9N451203"})";

TEST(DeviceMappingTest, PrinterWithItsFaxQueueByTheDriversSharedWords) {
  MappedWorld w(scenario(kBrother,
                         "[" + queue("Brother HL-L2350DW", "Brother HL-L2350DW series", "USB001", 1) +
                             "," + queue("Brother Fax", "Brother HL-L2350DW PC-FAX", "BRFAX:", 1) +
                             R"(, {"name": "Other Fax", "driver": "Brother PC-FAX v.2", "port": "FAX1:"}])"));
  DeviceDriverInfo info;
  EXPECT_EQ(FindDeviceQueues("04F9", "0042", "E78123K9N451203", true, &info), 0u)
      << "nothing before the link";
  w.link(1);
  EXPECT_EQ(FindDeviceQueues("04F9", "0042", "E78123K9N451203", true, &info), ClassPrinter);
  EXPECT_EQ(info.PrinterQueue, "Brother HL-L2350DW");
  EXPECT_EQ(info.PrinterPort, "USB001");
  EXPECT_EQ(info.FaxQueue, "Brother Fax");
  EXPECT_EQ(info.FaxPort, "BRFAX:");
  EXPECT_EQ(info.ScannerDeviceId, "");
  EXPECT_EQ(FindDeviceQueues("04F9", "0042", "", false, nullptr), ClassPrinter);

  w.release(1);
  info = {};
  EXPECT_EQ(FindDeviceQueues("04F9", "0042", "E78123K9N451203", true, &info), 0u);
  EXPECT_EQ(info.PrinterQueue, "");
}

// Which fax queue the printer's driver name leads to: two shared words at least, words with
// "series" in them not counted, the printer's own driver and port-less queues skipped.
TEST(DeviceMappingTest, FaxQueueNeedsTwoSharedWords) {
  struct Case {
    const char* printerDriver;
    const char* faxDriver;
    const char* faxPort;
    const char* expectedFax;
  };
  const Case cases[] = {
      {"Canon MF4400 Printer", "Canon MF4400 FAX", "FAX1:", "The Fax"},
      {"Canon MF4400 Printer", "Canon Generic FAX", "FAX1:", ""},      // only the maker's name
      {"Canon Series MF4400", "Canon Series FAX", "FAX1:", ""},        // "Series" is no word here
      {"Canon SERIES-X MF4400", "Canon SERIES-X FAX", "FAX1:", ""},    // nor in any case or form
      {"Canon  MF4400 Printer", "Canon Generic FAX", "FAX1:", ""},     // two spaces share nothing
      {"Canon MF4400 Printer", "Canon MF4400 FAX", "", ""},            // a fax queue without port
      {"Canon MF4400 FAX", "Canon MF4400 FAX", "FAX1:", ""},           // the printer's own driver
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.printerDriver) + " / " + c.faxDriver);
    MappedWorld w(scenario(
        R"({"port": 3, "vid": "04A9", "pid": "2737", "type": "PRINTER", "serial": "C1"})",
        "[" + queue("The Printer", c.printerDriver, "USB003", 3) + R"(, {"name": "The Fax", "driver": ")" +
            c.faxDriver + R"(", "port": ")" + c.faxPort + R"("}])"));
    w.link(3);
    DeviceDriverInfo info;
    EXPECT_EQ(FindDeviceQueues("04A9", "2737", "C1", true, &info), ClassPrinter);
    EXPECT_EQ(info.PrinterQueue, "The Printer");
    EXPECT_EQ(info.FaxQueue, c.expectedFax);
    EXPECT_EQ(info.FaxPort, *c.expectedFax ? c.faxPort : "");
  }
}

TEST(DeviceMappingTest, CompositeMfpGivesPrinterFaxAndScanner) {
  const std::string mfp =
      R"({"port": 2, "vid": "04F9", "pid": "0370", "type": "MFP", "manufacturer": "Brother",
          "product": "MFC-L2710DW", "serial": "U63874"})";
  MappedWorld w(scenario(mfp, "[" + queue("MFC Printer", "Brother MFC-L2710DW Printer", "USB002", 2) +
                                  "," + queue("MFC Fax", "Brother PC-FAX", "USB003", 2) + "]"));
  w.link(2);
  DeviceDriverInfo info;
  EXPECT_EQ(FindDeviceQueues("04F9", "0370", "U63874", true, &info),
            ClassComposite | ClassPrinter | ClassSecondPrinter | ClassScanner);
  EXPECT_EQ(info.PrinterQueue, "MFC Printer");
  EXPECT_EQ(info.PrinterPort, "USB002");
  EXPECT_EQ(info.FaxQueue, "MFC Fax");
  EXPECT_EQ(info.FaxPort, "USB003");
  EXPECT_EQ(info.ScannerName, "Brother MFC-L2710DW");
  EXPECT_EQ(info.TwainSource, "Brother MFC-L2710DW");
  EXPECT_EQ(info.ScannerDeviceId, w.deviceId(2));
  EXPECT_EQ(info.ScannerDeviceId.rfind("{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\", 0), 0u);
}

TEST(DeviceMappingTest, CompositeWhoseFirstPrinterInterfaceIsTheFaxSwapsThem) {
  const std::string mfp =
      R"({"port": 2, "vid": "04F9", "pid": "0371", "type": "MFP", "serial": "X",
          "plugAndPlay": {"kind": "composite", "interfaces": ["hid", "fax", "printer"]}})";
  MappedWorld w(scenario(mfp, "[" + queue("Office FAX", "Maker Fax Driver", "USB004", 2) + "," +
                                  queue("Office Printer", "Maker Printer Driver", "USB005", 2) + "]"));
  w.link(2);
  DeviceDriverInfo info;
  EXPECT_EQ(FindDeviceQueues("04F9", "0371", "X", true, &info),
            ClassComposite | ClassHid | ClassPrinter | ClassSecondPrinter);
  EXPECT_EQ(info.PrinterQueue, "Office Printer");
  EXPECT_EQ(info.PrinterPort, "USB005");
  EXPECT_EQ(info.FaxQueue, "Office FAX");
  EXPECT_EQ(info.FaxPort, "USB004");
}

// The second printer interface decides the fax queue even when it has none: the fax the first
// printer's driver words led to is dropped.
TEST(DeviceMappingTest, SecondPrinterInterfaceWithoutQueueLeavesNoFax) {
  const std::string mfp =
      R"({"port": 2, "vid": "04F9", "pid": "0372", "type": "MFP", "serial": "Y",
          "plugAndPlay": {"kind": "composite", "interfaces": ["printer", "fax"]}})";
  MappedWorld w(scenario(mfp, "[" + queue("P", "Maker Model9 Printer", "USB001", 2) +
                                  R"(, {"name": "F", "driver": "Maker Model9 Fax", "port": "F:"}])"));
  w.link(2);
  DeviceDriverInfo info;
  FindDeviceQueues("04F9", "0372", "Y", true, &info);
  EXPECT_EQ(info.PrinterQueue, "P");
  EXPECT_EQ(info.PrinterPort, "USB001");
  EXPECT_EQ(info.FaxQueue, "");
  EXPECT_EQ(info.FaxPort, "");
}

TEST(DeviceMappingTest, Ieee1284Point4PrinterAloneAndBehindACompositeInterface) {
  const std::string plain =
      R"({"port": 4, "vid": "03F0", "pid": "2B17", "type": "MFP", "manufacturer": "HP",
          "product": "LaserJet M1005", "serial": "CNBJ1", "plugAndPlay": {"kind": "dot4"}})";
  const std::string composite =
      R"({"port": 5, "vid": "03F0", "pid": "3817", "type": "MFP", "manufacturer": "HP",
          "product": "OfficeJet 4500", "serial": "CN2", "plugAndPlay": {"kind": "composite",
          "interfaces": ["storage", "dot4"], "scanner": {"twainSource": "HP OfficeJet TWAIN"}}})";
  MappedWorld w(scenario(plain + "," + composite,
                         "[" + queue("HP LaserJet M1005", "HP LaserJet M1005 MFP", "DOT4_001", 4) + "," +
                             queue("HP OfficeJet", "HP OfficeJet 4500", "DOT4_002", 5) + "]"));
  w.link(4);
  w.link(5);
  DeviceDriverInfo info;
  EXPECT_EQ(FindDeviceQueues("03F0", "2B17", "CNBJ1", true, &info),
            ClassPrinter1284 | ClassPrinter | ClassScanner);
  EXPECT_EQ(info.PrinterQueue, "HP LaserJet M1005");
  EXPECT_EQ(info.PrinterPort, "DOT4_001");
  EXPECT_EQ(info.ScannerName, "HP LaserJet M1005");
  EXPECT_EQ(info.ScannerDeviceId, w.deviceId(4));

  info = {};
  EXPECT_EQ(FindDeviceQueues("03F0", "3817", "CN2", true, &info),
            ClassComposite | ClassMassStorage | ClassPrinter1284 | ClassPrinter | ClassScanner);
  EXPECT_EQ(info.PrinterQueue, "HP OfficeJet");
  EXPECT_EQ(info.TwainSource, "HP OfficeJet TWAIN");
  EXPECT_EQ(info.ScannerDeviceId, w.deviceId(5));
  EXPECT_NE(info.ScannerDeviceId, w.deviceId(4));
}

// Plain devices by what they are: the class bits and the scanner fields.
TEST(DeviceMappingTest, PlainDevicesByKind) {
  struct Case {
    const char* device;
    UsbClassBits bits;
    const char* scannerName;
  };
  const Case cases[] = {
      {R"("type": "SCANNER", "manufacturer": "Canon", "product": "LiDE 400")", ClassScanner, "Canon LiDE 400"},
      {R"("type": "SCANNER", "plugAndPlay": {"scanner": {"name": "Cam", "deviceType": 2, "service": "WpdUsb"}})",
       ClassCamera, ""},
      {R"("type": "SCANNER", "plugAndPlay": {"scanner": {"deviceType": 3, "service": "usbvideo"}})",
       ClassVideo, ""},
      {R"("type": "MASS STORAGE")", ClassMassStorage, ""},
      {R"("type": "UNKNOWN")", ClassUnknown, ""},
      {R"("type": "UNKNOWN", "plugAndPlay": {"kind": "composite", "interfaces": ["audio", "hid", "vendor"]})",
       ClassComposite | ClassAudio | ClassHid | ClassUnknown, ""},
      // The second HID interface adds no bit, so it counts as unknown.
      {R"("type": "UNKNOWN", "plugAndPlay": {"kind": "composite", "interfaces": ["hid", "hid"]})",
       ClassComposite | ClassHid | ClassUnknown, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    MappedWorld w(scenario(std::string(R"({"port": 6, "vid": "04A9", "pid": "1913", "serial": "S6", )") +
                           c.device + "}"));
    w.link(6);
    DeviceDriverInfo info;
    EXPECT_EQ(FindDeviceQueues("04A9", "1913", "S6", true, &info), c.bits);
    EXPECT_EQ(info.ScannerName, c.scannerName);
    EXPECT_EQ(info.ScannerDeviceId.empty(), std::string(c.scannerName).empty());
    EXPECT_EQ(info.PrinterQueue, "");
  }
}

TEST(DeviceMappingTest, TwoInstancesOfOneModelBySerialOrTheFirst) {
  const std::string two =
      R"({"port": 1, "vid": "04F9", "pid": "0042", "type": "PRINTER", "serial": "ZZ9"},
         {"port": 2, "vid": "04F9", "pid": "0042", "type": "PRINTER", "serial": "AA1"})";
  MappedWorld w(scenario(two, "[" + queue("Second", "D2", "USB002", 2) + "," +
                                  queue("First", "D1", "USB001", 1) + "]"));
  w.link(1);
  w.link(2);
  DeviceDriverInfo info;
  FindDeviceQueues("04F9", "0042", "ZZ9", true, &info);
  EXPECT_EQ(info.PrinterQueue, "First");
  FindDeviceQueues("04F9", "0042", "", false, &info);
  EXPECT_EQ(info.PrinterQueue, "Second") << "AA1 comes first in the key's order";
  EXPECT_EQ(FindDeviceQueues("04F9", "0042", "NOPE", true, &info), 0u);
  EXPECT_EQ(FindDeviceQueues("04F9", "0042", "", true, &info), 0u);
}

TEST(DeviceMappingTest, InstalledDeviceIsFoundBeforeAnyLinkAndStaysAfterOne) {
  MappedWorld w(scenario(kBrother, "[" + queue("Brother", "Brother HL", "USB001", 1) + "]",
                         R"(, "installed": [{"server": "10.0.0.20", "port": 1}])"));
  DeviceDriverInfo info;
  EXPECT_EQ(FindDeviceQueues("04F9", "0042", "E78123K9N451203", true, &info), ClassPrinter);
  EXPECT_EQ(info.PrinterQueue, "Brother");
  w.link(1);
  w.release(1);
  info = {};
  EXPECT_EQ(FindDeviceQueues("04F9", "0042", "E78123K9N451203", true, &info), ClassPrinter);
  EXPECT_EQ(info.PrinterQueue, "Brother");
}

TEST(DeviceMappingTest, AnotherComputersLinkWritesNothingHere) {
  MappedWorld w(scenario(kBrother, "[" + queue("Brother", "Brother HL", "USB001", 1) + "]"));
  w.link(1, "OTHER");
  EXPECT_EQ(FindDeviceQueues("04F9", "0042", "", false, nullptr), 0u);
  w.link(1);  // lock type 1: the device goes to PC
  EXPECT_EQ(FindDeviceQueues("04F9", "0042", "", false, nullptr), ClassPrinter);
}

// The readers take a value's bytes as they are, within their fixed room.
TEST(DeviceMappingTest, ValueBytesWithinTheReadersRoom) {
  std::uint32_t n = 99;
  EXPECT_TRUE(DecodeRegDword(std::string("\x01\x02", 2), n));
  EXPECT_EQ(n, 0x0201u);
  EXPECT_FALSE(DecodeRegDword("12345", n));
  EXPECT_EQ(n, 0u);

  std::string text = "old";
  EXPECT_TRUE(DecodeRegString(std::string("ab\0cd", 5), text));
  EXPECT_EQ(text, "ab");
  EXPECT_TRUE(DecodeRegString(std::string(256, 'x'), text));  // no end: the room's end
  EXPECT_EQ(text.size(), 256u);
  EXPECT_FALSE(DecodeRegString(std::string(257, 'x'), text));
  EXPECT_EQ(text, "");

  std::vector<std::string> list{"old"};
  EXPECT_TRUE(DecodeRegMultiString(std::string("A\0BC\0\0D\0", 8), list));
  EXPECT_EQ(list, (std::vector<std::string>{"A", "BC"}));
  EXPECT_TRUE(DecodeRegMultiString("A", list));  // cut short: what is there
  EXPECT_EQ(list, (std::vector<std::string>{"A"}));
  EXPECT_FALSE(DecodeRegMultiString(std::string(1025, 'x'), list));
  EXPECT_TRUE(list.empty());
}

TEST(DeviceMappingTest, TypedReadersIgnoreTheStoredType) {
  test::TempRegistry hive;
  auto key = hive.get().openKey(platform::RegRoot::LocalMachine, "SYSTEM\\T", platform::kKeyAllAccess, true);
  key->setString("S", "ab");
  key->setDWord("D", 0x00434241);
  key->setMultiString("M", {"one", "two"});
  std::uint32_t n = 0;
  ReadRegDword("SYSTEM\\T\\", "S", n);
  EXPECT_EQ(n, 0x6261u);
  std::string s;
  ReadRegString("SYSTEM\\T\\", "D", s);
  EXPECT_EQ(s, "ABC");
  ReadRegString("SYSTEM\\T", "M", s);
  EXPECT_EQ(s, "one");
  std::vector<std::string> list;
  ReadRegMultiString("SYSTEM\\T", "S", list);
  EXPECT_EQ(list, (std::vector<std::string>{"ab"}));
  ReadRegMultiString("SYSTEM\\Missing", "S", list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(EnumRegSubKeys("SYSTEM", 0), "T");
  EXPECT_EQ(EnumRegSubKeys("SYSTEM", 1), "");
  EXPECT_EQ(EnumRegSubKeys("SYSTEM", -1), "");
}

}  // namespace
