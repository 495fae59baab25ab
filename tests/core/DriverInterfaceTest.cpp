#include <gtest/gtest.h>

#include "core/DriverInterface.h"
#include "platform/Clock.h"
#include "support/DriverBytes.h"
#include "support/FakeDeviceIo.h"

namespace {

using namespace core;
using Bytes = std::vector<std::uint8_t>;

using test::serverItem;
using test::serverList;

struct Texts {
  std::string type = "PRINTER", owner, maker = "Brother", product = "HL", serial = "SN1";
};

Bytes deviceItem(std::uint8_t port, Bytes vidPid, const Texts& t, std::vector<std::pair<Bytes, Bytes>> subs = {},
                 std::int8_t lockType = 0, std::int8_t lockCount = 0) {
  Bytes b{port};
  b.insert(b.end(), vidPid.begin(), vidPid.end());
  b.push_back(static_cast<std::uint8_t>(lockType));
  b.push_back(static_cast<std::uint8_t>(lockCount));
  for (const std::string* s : {&t.type, &t.owner, &t.maker, &t.product, &t.serial})
    b.insert(b.end(), {static_cast<std::uint8_t>(s->size()), 0, 0, 0});
  for (const std::string* s : {&t.type, &t.owner, &t.maker, &t.product, &t.serial})
    b.insert(b.end(), s->begin(), s->end());
  b.push_back(static_cast<std::uint8_t>(subs.size()));
  for (const auto& [x, y] : subs) {
    b.insert(b.end(), {static_cast<std::uint8_t>(x.size()), 0, 0, 0, static_cast<std::uint8_t>(y.size()), 0, 0, 0});
    b.insert(b.end(), x.begin(), x.end());
    b.insert(b.end(), y.begin(), y.end());
  }
  return b;
}

Bytes deviceList(std::int8_t count, const std::vector<Bytes>& items) {
  Bytes b{1, 0, 0, 0, static_cast<std::uint8_t>(count), 0, 0, 0};
  for (const auto& i : items) b.insert(b.end(), i.begin(), i.end());
  return b;
}

class DriverInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::setClock(&clock); }
  void TearDown() override { platform::setClock(nullptr); }
  platform::ManualClock clock;
  test::FakeDeviceIo io;
  test::ScopedDeviceIo scope{io};
};

TEST_F(DriverInterfaceTest, ServerListRetriesOnceAfterASecondThenGivesUp) {
  io.reply(IOCTL_MASTERBUS_GET_SERVER_LIST, {true, serverList(0, 1, {})});
  std::vector<ServerListEntry> servers;
  EXPECT_EQ(GetServerList(5, servers), -1);
  EXPECT_EQ(io.requestsOf(IOCTL_MASTERBUS_GET_SERVER_LIST).size(), 2u);
  EXPECT_EQ(clock.sleepCount(), 2);
  EXPECT_EQ(clock.sleptMs(), 2000);
  EXPECT_EQ(io.requestsOf(IOCTL_MASTERBUS_GET_SERVER_LIST)[0].bytes, Bytes(1024, 0));
}

TEST_F(DriverInterfaceTest, ServerListValidWithNoServersAnswersAtOnce) {
  io.reply(IOCTL_MASTERBUS_GET_SERVER_LIST, {true, serverList(1, 0, {})});
  std::vector<ServerListEntry> servers;
  EXPECT_EQ(GetServerList(5, servers), 0);
  EXPECT_EQ(clock.sleepCount(), 0);
}

TEST_F(DriverInterfaceTest, ServerListItemsAndTheSecondTryThatSucceeds) {
  io.reply(IOCTL_MASTERBUS_GET_SERVER_LIST, {false, {}});
  io.reply(IOCTL_MASTERBUS_GET_SERVER_LIST,
           {true, serverList(1, 2, {serverItem({192, 168, 1, 20}, 1, "NUS-Office", 0),
                                    serverItem({10, 0, 0, 7}, -3, "B")})});
  std::vector<ServerListEntry> servers;
  ASSERT_EQ(GetServerList(5, servers), 2);
  EXPECT_EQ(clock.sleepCount(), 1);
  EXPECT_EQ(servers[0].ip, "192.168.1.20");
  EXPECT_EQ(servers[0].name, "NUS-Office");  // exactly its bytes, the next item right after
  EXPECT_EQ(servers[0].mac, "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(servers[0].status, "1");
  EXPECT_EQ(servers[0].storageMode, 0);
  EXPECT_EQ(servers[1].name, "B");
  EXPECT_EQ(servers[1].status, "-3");
}

TEST_F(DriverInterfaceTest, ServerListReadsOnlyWholeItemsWithinTheReturnedBytes) {
  const Bytes a = serverItem({1, 2, 3, 4}, 1, "A");
  Bytes cutName = serverItem({1, 2, 3, 5}, 1, "LONGNAME");
  cutName.resize(cutName.size() - 3);
  struct Case {
    const char* what;
    Bytes reply;
    std::optional<std::uint32_t> claimed;
    int expect;
  } cases[] = {
      {"count promises more", serverList(1, 5, {a}), {}, 1},
      {"name runs past the end", serverList(1, 2, {a, cutName}), {}, 1},
      {"negative name length", serverList(1, 2, {a, serverItem({1, 2, 3, 6}, 1, "X", 1, -4)}), {}, 1},
      {"no whole item at all", serverList(1, 3, {}), {}, -1},
      {"oversize reply", serverList(1, 1, {a}), 1025, -1},
      {"negative count", serverList(1, -2, {a}), {}, 0},
  };
  for (auto& c : cases) {
    test::FakeDeviceIo fake;
    test::ScopedDeviceIo s(fake);
    fake.reply(IOCTL_MASTERBUS_GET_SERVER_LIST, {true, c.reply, c.claimed});
    std::vector<ServerListEntry> servers;
    EXPECT_EQ(GetServerList(5, servers), c.expect) << c.what;
  }
}

TEST_F(DriverInterfaceTest, ServerListOfAFullBufferKeepsEveryWholeItem) {
  // 46 nameless items fill the 1024 bytes; the count claims the most a signed byte holds.
  std::vector<Bytes> items;
  for (int i = 0; i < 46; ++i) items.push_back(serverItem({10, 0, 0, static_cast<std::uint8_t>(i)}, 1, ""));
  Bytes reply = serverList(1, 127, items);
  ASSERT_LE(reply.size(), 1024u);
  io.reply(IOCTL_MASTERBUS_GET_SERVER_LIST, {true, reply});
  std::vector<ServerListEntry> servers;
  EXPECT_EQ(GetServerList(5, servers), 46);
  EXPECT_EQ(servers.back().ip, "10.0.0.45");
}

TEST_F(DriverInterfaceTest, ServerListReaderStopsAtTheSixtyFourItsCallersHold) {
  // More items than a 1024-byte reply can carry: the reader itself keeps only the first 64.
  std::vector<Bytes> items;
  for (int i = 0; i < 100; ++i) items.push_back(serverItem({10, 0, 1, static_cast<std::uint8_t>(i)}, 1, "S"));
  const Bytes reply = serverList(1, 100, items);
  const auto servers = ParseServerList(reply);
  ASSERT_TRUE(servers);
  ASSERT_EQ(servers->size(), 64u);
  EXPECT_EQ(servers->back().ip, "10.0.1.63");
}

TEST_F(DriverInterfaceTest, RequestRecordsByteForByte) {
  io.reply(IOCTL_TCPBUS_LOCK_DEVICE, {true, {}});
  io.reply(IOCTL_TCPBUS_UNLOCK_DEVICE, {true, {}});
  io.reply(IOCTL_TCPBUS_REQUEST_TO_USE, {true, {}});
  io.reply(IOCTL_TCPBUS_LINK_DEVICE, {true, {}});
  EXPECT_TRUE(LockDevice(9, "3", kLockUser, 3600));
  EXPECT_TRUE(UnlockDevice(9, "2", kLockAuto, 180));
  EXPECT_TRUE(RequestUse(9, "4", 1, ""));
  EXPECT_TRUE(RequestUse(9, "4", 1, "192.168.1.12"));
  EXPECT_TRUE(LinkDevice(9, "260"));  // the low eight bits
  EXPECT_FALSE(UnlinkDevice(9, "x"));   // unscripted: fails
  EXPECT_TRUE(AttachServer(5, "192.168.1.20"));
  EXPECT_EQ(io.requestsOf(IOCTL_TCPBUS_LOCK_DEVICE)[0].bytes, (Bytes{0x03, 0x10, 0x0E, 0x00, 0x00, 0x02}));
  EXPECT_EQ(io.requestsOf(IOCTL_TCPBUS_UNLOCK_DEVICE)[0].bytes, (Bytes{0x02, 0xB4, 0, 0, 0, 0x01}));
  EXPECT_EQ(io.requestsOf(IOCTL_TCPBUS_REQUEST_TO_USE)[0].bytes, (Bytes{4, 1, 0, 0, 0, 0}));
  EXPECT_EQ(io.requestsOf(IOCTL_TCPBUS_REQUEST_TO_USE)[1].bytes, (Bytes{4, 1, 192, 168, 1, 12}));
  EXPECT_EQ(io.requestsOf(IOCTL_TCPBUS_LINK_DEVICE)[0].bytes, (Bytes{4}));
  EXPECT_EQ(io.requestsOf(IOCTL_TCPBUS_UNLINK_DEVICE)[0].bytes, (Bytes{0}));
  EXPECT_EQ(io.requestsOf(IOCTL_MASTERBUS_ATTACH_SERVER)[0].bytes, (Bytes{192, 168, 1, 20}));
  EXPECT_EQ(PortByte(" 12abc"), 12);
  EXPECT_EQ(PortByte(""), 0);
}

TEST_F(DriverInterfaceTest, VersionsAndBusAddress) {
  Bytes v(64, 0);
  v[0] = 1;
  v[4] = 2;
  v[5] = 1;
  v[6] = 7;
  io.reply(IOCTL_MASTERBUS_GET_VERSION, {true, v});
  std::string version, shortVersion;
  GetDriverVersion(5, version, shortVersion);
  EXPECT_EQ(version, "2.1.7");
  EXPECT_EQ(shortVersion, "2.7");
  v[5] = 0xFF;
  io.reply(IOCTL_TCPBUS_GET_VERSION, {true, v});
  GetBusVersion(9, version, shortVersion);
  EXPECT_EQ(version, "2.-1.7");

  // A failed request, an invalid reply or an oversize one leave the outputs as they were.
  struct Case {
    test::FakeDeviceIo::Reply reply;
  } cases[] = {{{false, v}}, {{true, Bytes(64, 0)}}, {{true, v, 65}}};
  for (auto& c : cases) {
    test::FakeDeviceIo fake;
    test::ScopedDeviceIo s(fake);
    fake.reply(IOCTL_MASTERBUS_GET_VERSION, c.reply);
    fake.reply(IOCTL_TCPBUS_GET_SERVER_ADDRESS, c.reply);
    std::string kept = "kept", keptShort = "kept", ip = "kept";
    GetDriverVersion(5, kept, keptShort);
    GetBusServerIp(9, ip);
    EXPECT_EQ(kept, "kept");
    EXPECT_EQ(keptShort, "kept");
    EXPECT_EQ(ip, "kept");
  }
  Bytes address(64, 0);
  address[0] = 8;
  address[4] = 192, address[5] = 168, address[6] = 1, address[7] = 20;
  io.reply(IOCTL_TCPBUS_GET_SERVER_ADDRESS, {true, address});
  std::string ip;
  GetBusServerIp(9, ip);
  EXPECT_EQ(ip, "192.168.1.20");
}

TEST_F(DriverInterfaceTest, OpensTheFirstReadableControlInterface) {
  io.interfaces[GUID_DEVINTERFACE_MASTERBUS] = {{platform::InterfaceStatus::Failed, ""},
                                                {platform::InterfaceStatus::Ok, "ctl-1"}};
  io.openable["ctl-1"] = 42;
  Handle h = platform::kInvalidHandle;
  OpenControlDevice(h);
  EXPECT_EQ(h, 42);

  io.interfaces[GUID_DEVINTERFACE_MASTERBUS] = {};
  Handle none = 99;  // no interface: the caller's value stays
  OpenControlDevice(none);
  EXPECT_EQ(none, 99);
}

TEST_F(DriverInterfaceTest, BusOpenSkipsAnInterfaceThatCannotBeOpened) {
  io.interfaces[GUID_DEVINTERFACE_TCPBUS] = {{platform::InterfaceStatus::Ok, "bus-a"},
                                             {platform::InterfaceStatus::Ok, "bus-b"},
                                             {platform::InterfaceStatus::Ok, "bus-c"}};
  io.openable["bus-a"] = 11;
  io.openable["bus-c"] = 13;
  Bytes address(64, 0);
  address[0] = 8;
  address[4] = 10, address[7] = 3;
  io.scriptedPerHandle[{13, IOCTL_TCPBUS_GET_SERVER_ADDRESS}].push_back({true, address});
  std::vector<BusDevice> buses;
  ASSERT_EQ(OpenBusDevices(buses), 2);
  EXPECT_EQ(buses[0].handle, 11);
  EXPECT_EQ(buses[0].serverIp, "");
  EXPECT_EQ(buses[1].handle, 13);
  EXPECT_EQ(buses[1].path, "bus-c");
  EXPECT_EQ(buses[1].serverIp, "10.0.0.3");
  io.interfaces.clear();
  EXPECT_EQ(OpenBusDevices(buses), -1);
}

TEST_F(DriverInterfaceTest, DeviceListItems) {
  Texts t;
  t.owner = "LAB-PC";
  const Bytes reply = deviceList(2, {deviceItem(0xFE, {0xF9, 0x04, 0x42, 0x00}, t, {{{1, 2}, {3}}}, 2, 1),
                                     deviceItem(3, {0x01, 0x00, 0x02, 0x00}, Texts{"MASS STORAGE", "", "", "", ""})});
  const auto items = ParseDeviceListReply(reply, static_cast<std::uint32_t>(reply.size()));
  ASSERT_TRUE(items);
  ASSERT_EQ(items->size(), 2u);
  const DeviceListItem& a = (*items)[0];
  EXPECT_EQ(a.port, "-2");
  EXPECT_EQ(a.vid, "04F9");
  EXPECT_EQ(a.pid, "0042");
  EXPECT_EQ(a.lockType, 2);
  EXPECT_EQ(a.lockCount, 1);
  EXPECT_EQ(a.type, "PRINTER");
  EXPECT_EQ(a.owner, "LAB-PC");
  EXPECT_EQ(a.serial, "SN1");
  EXPECT_EQ((*items)[1].port, "3");  // found after the sub-items were stepped over
  EXPECT_EQ((*items)[1].type, "MASS STORAGE");
}

TEST_F(DriverInterfaceTest, DeviceListTextsAreCutAt63BytesAndTheWalkGoesOn) {
  Texts t;
  t.product = std::string(100, 'P');
  const Bytes reply = deviceList(2, {deviceItem(1, {1, 0, 2, 0}, t), deviceItem(2, {1, 0, 2, 0}, Texts{})});
  const auto items = ParseDeviceListReply(reply, static_cast<std::uint32_t>(reply.size()));
  ASSERT_EQ(items->size(), 2u);
  EXPECT_EQ((*items)[0].product, std::string(63, 'P'));
  EXPECT_EQ((*items)[1].port, "2");
}

TEST_F(DriverInterfaceTest, ACutTextEndsAtAWholeCharacter) {
  const std::string euro = "\xE2\x82\xAC";  // three bytes
  struct Case {
    std::string product, expect;
  } cases[] = {
      {std::string(62, 'P') + euro, std::string(62, 'P')},          // split after its first byte
      {std::string(61, 'P') + euro + "x", std::string(61, 'P')},    // split after its second byte
      {std::string(60, 'P') + euro + "x", std::string(60, 'P') + euro},  // ends exactly at 63
      {std::string(62, 'P') + "\xC3\xA9", std::string(62, 'P')},
  };
  for (const auto& c : cases) {
    Texts t;
    t.product = c.product;
    const Bytes reply = deviceList(1, {deviceItem(1, {1, 0, 2, 0}, t)});
    const auto items = ParseDeviceListReply(reply, static_cast<std::uint32_t>(reply.size()));
    ASSERT_EQ(items->size(), 1u);
    EXPECT_EQ((*items)[0].product, c.expect) << c.product.size();
  }
}

TEST_F(DriverInterfaceTest, MalformedDeviceListsAreCutAtTheLastWholeItem) {
  const Bytes good = deviceItem(1, {1, 0, 2, 0}, Texts{});
  Bytes negativeLength = deviceItem(2, {1, 0, 2, 0}, Texts{});
  negativeLength[7] = 0xF0;  // L1 = -16
  Bytes negativeSub = deviceItem(2, {1, 0, 2, 0}, Texts{}, {{{1}, {2}}});
  negativeSub[negativeSub.size() - 10] = 0xFF;  // a = -1
  Bytes cut = deviceItem(2, {1, 0, 2, 0}, Texts{});
  cut.resize(cut.size() - 4);
  struct Case {
    const char* what;
    Bytes reply;
    std::uint32_t returned;
    std::optional<std::size_t> expect;
  } cases[] = {
      {"count promises more", deviceList(4, {good}), 0, 1},
      {"negative text length", deviceList(2, {good, negativeLength}), 0, 1},
      {"negative sub-item length", deviceList(2, {good, negativeSub}), 0, 1},
      {"text past the end", deviceList(2, {good, cut}), 0, 1},
      {"fewer bytes returned than written", deviceList(1, {good}), 10, 0},
      {"header only", Bytes{1, 0, 0}, 0, 0},
      {"oversize", deviceList(1, {good}), 2049, std::nullopt},
  };
  for (auto& c : cases) {
    const std::uint32_t returned = c.returned ? c.returned : static_cast<std::uint32_t>(c.reply.size());
    Bytes buffer = c.reply;
    buffer.resize(2048, 0);
    const auto items = ParseDeviceListReply(buffer, returned);
    ASSERT_EQ(items.has_value(), c.expect.has_value()) << c.what;
    if (items) {
      EXPECT_EQ(items->size(), *c.expect) << c.what;
    }
  }
}

TEST_F(DriverInterfaceTest, GetDeviceListFailsWithoutTouchingAnything) {
  io.reply(IOCTL_TCPBUS_GET_DEVICE_LIST, {false, {}});
  EXPECT_FALSE(GetDeviceList(9));
  EXPECT_EQ(io.requestsOf(IOCTL_TCPBUS_GET_DEVICE_LIST)[0].bytes, Bytes(2048, 0));
}

TEST_F(DriverInterfaceTest, EventRecords) {
  Bytes update(2048, 0);
  update[0] = UPDATE_DEVICE_LIST;
  update[9] = 192, update[10] = 168, update[11] = 1, update[12] = 20;
  auto e = ParseDriverEvent(update, 2048);
  EXPECT_EQ(e.code, UPDATE_DEVICE_LIST);
  EXPECT_EQ(e.serverIp, "192.168.1.20");

  Bytes ask{OP_UBUS_REQUEST_TO_USE_DEVICE, 1, 0xFD, 192, 168, 1, 20, 192, 168, 1, 12, 6, 0, 0, 0};
  const std::string user = "LAB-PC";
  ask.insert(ask.end(), user.begin(), user.end());
  e = ParseDriverEvent(ask, static_cast<std::int32_t>(ask.size()));
  EXPECT_EQ(e.code, OP_UBUS_REQUEST_TO_USE_DEVICE);
  EXPECT_EQ(e.kind, 1);
  EXPECT_EQ(e.port, "-3");
  EXPECT_EQ(e.serverIp, "192.168.1.20");
  EXPECT_EQ(e.askingIp, "192.168.1.12");
  EXPECT_EQ(e.askingUser, "LAB-PC");

  struct Case {
    const char* what;
    Bytes record;
    std::int32_t count;
  } none[] = {
      {"negative count", update, -1},
      {"empty read", Bytes(2048, 0), 0},
      {"unknown code", Bytes{9, 0, 0}, 3},
      {"device-list event cut short", update, 12},
      {"request cut short", ask, 14},
      {"count beyond the buffer", Bytes{}, 5},
  };
  for (auto& c : none) EXPECT_EQ(ParseDriverEvent(c.record, c.count).code, NO_EVENT) << c.what;
  EXPECT_EQ(ParseDriverEvent(Bytes{UPDATE_BUS_LIST}, 1).code, UPDATE_BUS_LIST);
  ask.resize(17);  // the name runs past the end: the fields still count, the name does not
  e = ParseDriverEvent(ask, 17);
  EXPECT_EQ(e.code, OP_UBUS_REQUEST_TO_USE_DEVICE);
  EXPECT_EQ(e.askingUser, "");
}

}  // namespace
