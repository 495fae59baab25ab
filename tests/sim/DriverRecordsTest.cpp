#include <gtest/gtest.h>

#include "SimTestWorld.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes hex(const char* text) { return *sim::fromHex(text); }

Bytes returnedPart(const simtest::Reply& r) {
  return Bytes(r.bytes.begin(), r.bytes.begin() + r.returned);
}

class ReplyBytes : public ::testing::Test {
 protected:
  platform::ManualClock clock;
  sim::World world{simtest::smallWorld(), clock};
  simtest::Station a{world, "A"};
};

TEST_F(ReplyBytes, ServerListByteForByte) {
  const auto reply = a.serverList();
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(returnedPart(reply), hex("01000000"
                                     "01000000"
                                     "0a000014"       // IPv4, network order
                                     "01000000"       // status slot
                                     "001122334455"   // MAC, wire order
                                     "00000000"       // StorageMode slot
                                     "03000000"       // name length slot
                                     "4e5553"));      // "NUS"
  EXPECT_EQ(reply.bytes.size(), 1024u);
}

TEST_F(ReplyBytes, DeviceListByteForByte) {
  ASSERT_TRUE(a.attach());
  ASSERT_TRUE(a.lock(2, 60, 2));
  const auto reply = a.deviceList();
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(returnedPart(reply),
            hex("01000000"
                "02000000"
                // port 1: VID F9 04, PID 42 00, free
                "01" "f904" "4200" "00" "00"
                "07000000" "00000000" "07000000" "02000000" "02000000"
                "5052494e544552"  // PRINTER
                "42726f74686572"  // Brother
                "484c"            // HL
                "5331"            // S1
                "01" "01000000" "00000000" "aa"
                // port 2: held by A under lock type 2, count 1
                "02" "8107" "6755" "02" "01"
                "0c000000" "01000000" "00000000" "00000000" "00000000"
                "4d4153532053544f52414745"  // MASS STORAGE
                "41"                        // A
                "00"));
}

TEST_F(ReplyBytes, VersionAddressAndEvents) {
  ASSERT_TRUE(a.attach());
  auto reply = a.call(a.control, sim::code::kGetDriverVersion, {}, 64, 64);
  EXPECT_EQ(returnedPart(reply), hex("0100000001000000"));
  reply = a.call(a.bus, sim::code::kGetServerAddress, {}, 64, 64);
  EXPECT_EQ(returnedPart(reply), hex("080000000a000014"));
  EXPECT_EQ(sim::encodeDeviceListChanged(simtest::kServer), hex("01" "0000000000000000" "0a000014"));
  EXPECT_EQ(sim::encodeRequestToUse(1, 3, simtest::kServer, simtest::kHostB, "PC"),
            hex("0401030a0000140a00000202000000" "5043"));
}

TEST(DriverRecords, ListsKeepOnlyWholeItemsThatFit) {
  std::vector<sim::ServerRecord> servers(60);
  for (auto& s : servers) s.name = std::string(40, 'n');  // 62 bytes an item
  const Bytes reply = sim::encodeServerList(true, servers);
  EXPECT_EQ(reply[4], 16);  // (1024 - 8) / 62
  EXPECT_EQ(reply.size(), 8u + 16u * 62u);

  sim::DeviceRecord d;
  d.manufacturer = std::string(200, 'm');
  const Bytes devices = sim::encodeDeviceList(std::span(&d, 1));
  EXPECT_EQ(devices[15 + 8], 127) << "a text is cut to what its length byte can say";
}

TEST(DriverRecords, NegativeVersionPartsTravelAsSignedBytes) {
  EXPECT_EQ(sim::encodeVersion({2, -1, 7}), hex("0100000002ff0700"));
}

}  // namespace
