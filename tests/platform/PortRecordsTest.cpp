// The port monitors' records, read back against the record's published layout.
#include <gtest/gtest.h>

#include "platform/PortRecords.h"

namespace {

using namespace platform;
using Bytes = std::vector<std::uint8_t>;

std::uint32_t u32At(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

TEST(PortRecords, TheTcpIpRecordPutsEveryFieldAtItsPlace) {
  TcpIpPortRecord r;
  r.portName = "IP_10.0.0.60";
  r.protocol = kProtocolLpr;
  r.hostAddress = "printer.local";
  r.queue = "lp0";
  r.ipAddress = "10.0.0.60";
  r.portNumber = kLprPortNumber;
  const Bytes b = encodeTcpIpPortRecord(r);
  ASSERT_EQ(b.size(), 964u);
  EXPECT_EQ(b[0], 'I');
  EXPECT_EQ(b[1], 0);
  EXPECT_EQ(u32At(b, 128), 1u) << "version";
  EXPECT_EQ(u32At(b, 132), 2u) << "protocol";
  EXPECT_EQ(u32At(b, 136), 964u) << "size";
  EXPECT_EQ(b[144], 'p') << "host address";
  EXPECT_EQ(b[312], 'l') << "queue";
  EXPECT_EQ(b[378], '1') << "IP address";
  EXPECT_EQ(u32At(b, 952), 515u) << "port number";
  const auto back = decodeTcpIpPortRecord(b);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->hostAddress, "printer.local");
  EXPECT_EQ(back->queue, "lp0");
  EXPECT_EQ(encodeTcpIpPortRecord(*back), b);

  r.portName = std::string(100, 'N');  // cut to 63 characters and its end
  EXPECT_EQ(decodeTcpIpPortRecord(encodeTcpIpPortRecord(r))->portName, std::string(63, 'N'));
}

TEST(PortRecords, RecordsOfTheWrongSizeOrWithUnendedTextsAreRefused) {
  const Bytes good = encodeTcpIpPortRecord({});
  EXPECT_FALSE(decodeTcpIpPortRecord(Bytes(good.begin(), good.end() - 1)));
  Bytes longer = good;
  longer.push_back(0);
  EXPECT_FALSE(decodeTcpIpPortRecord(longer));
  EXPECT_FALSE(decodeTcpIpPortRecord({}));
  Bytes unended = good;
  for (std::size_t i = 0; i < 128; ++i) unended[i] = 'A';  // the name fills its field
  EXPECT_FALSE(decodeTcpIpPortRecord(unended));
  Bytes queueFull = good;
  for (std::size_t i = 312; i < 378; ++i) queueFull[i] = 'q';
  EXPECT_FALSE(decodeTcpIpPortRecord(queueFull));
}

TEST(PortRecords, WideTextsEndAtTheirFirstZeroCharacter) {
  EXPECT_EQ(wideTextBytes("AB"), (Bytes{'A', 0, 'B', 0, 0, 0}));
  EXPECT_EQ(readWideText(Bytes{'A', 0, 0, 0, 'Z', 0}), "A");
  EXPECT_EQ(readWideText(Bytes{0x42, 0x30, 0, 0}), "?") << "beyond 8 bits";
  EXPECT_FALSE(readWideText(Bytes{'A', 0}));
  EXPECT_FALSE(readWideText(Bytes{'A', 0, 0}));
  EXPECT_FALSE(readWideText(Bytes{}));
}

}  // namespace
