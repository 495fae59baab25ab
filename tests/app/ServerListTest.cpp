#include <gtest/gtest.h>

#include "app/ServerList.h"
#include "core/DriverInterface.h"
#include "platform/Clock.h"
#include "support/DriverBytes.h"
#include "support/FakeDeviceIo.h"
#include "support/TempRegistry.h"

namespace {

using test::Bytes;
constexpr platform::Handle kControl = 5;

class ServerListTest : public ::testing::Test {
 protected:
  ServerListTest() { list.setControl(kControl); }
  app::ServerListHooks makeHooks() {
    app::ServerListHooks h;
    h.pumpMessages = [this] { ++pumps; };
    h.closing = [] { return false; };
    h.removeServerRows = [this](const std::string& name, const std::string& ip) {
      removedRows.push_back(name + "/" + ip);
    };
    h.removeAllRows = [this] { ++allRowsRemoved; };
    return h;
  }
  void SetUp() override { platform::setClock(&clock); }
  void TearDown() override { platform::setClock(nullptr); }

  void driverLists(const std::vector<Bytes>& items) {
    io.scripted[core::IOCTL_MASTERBUS_GET_SERVER_LIST] = {
        {true, test::serverList(1, static_cast<std::int8_t>(items.size()), items)}};
  }
  // A bus device for the server at 10.0.0.<last>, opened as handle 100 + last.
  void busFor(std::uint8_t last) {
    const std::string path = "bus-" + std::to_string(last);
    io.interfaces[core::GUID_DEVINTERFACE_TCPBUS].push_back({platform::InterfaceStatus::Ok, path});
    io.openable[path] = 100 + last;
    io.scriptedPerHandle[{100 + last, core::IOCTL_TCPBUS_GET_SERVER_ADDRESS}] = {
        {true, test::busAddress({10, 0, 0, last})}};
  }
  void store(const std::string& ip, const std::string& enable) {
    platform::registry()
        .openKey(platform::RegRoot::CurrentUser,
                 std::string(app::kSettingsKey) + "\\Auto-Connect\\IP_" + ip + "&MAC_00:1A:2B:3C:4D:5E",
                 platform::kKeyAllAccess, true)
        ->setString("ServerEnable", enable);
  }
  std::optional<std::string> stored(const std::string& ip) {
    auto key = platform::registry().openKey(
        platform::RegRoot::CurrentUser,
        std::string(app::kSettingsKey) + "\\Auto-Connect\\IP_" + ip + "&MAC_00:1A:2B:3C:4D:5E",
        platform::kKeyRead);
    if (!key) return std::nullopt;
    return key->value("ServerEnable").value_or(platform::RegValue{}).text;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& s : list.servers()) out.push_back(s->name + (s->enabled ? "+" : "-"));
    return out;
  }

  platform::ManualClock clock;
  test::TempRegistry registry;
  test::FakeDeviceIo io;
  test::ScopedDeviceIo scope{io};
  app::RefreshMutex mutex;
  app::ServerListHooks hooks = makeHooks();
  app::ServerList list{mutex, hooks};
  int pumps = 0;
  int allRowsRemoved = 0;
  std::vector<std::string> removedRows;
};

TEST_F(ServerListTest, KeepsServersOfStatus1And3SortedByName) {
  driverLists({test::serverItem({10, 0, 0, 1}, 1, "delta"), test::serverItem({10, 0, 0, 2}, 0, "zero"),
               test::serverItem({10, 0, 0, 3}, 2, "two"), test::serverItem({10, 0, 0, 4}, 3, "Alpha")});
  list.RefreshServerList();
  EXPECT_EQ(names(), (std::vector<std::string>{"Alpha-", "delta-"}));
  EXPECT_EQ(list.servers()[0]->caption, "Alpha - 10.0.0.4");
  EXPECT_EQ(list.servers()[0]->mac, "00:1A:2B:3C:4D:5E");
  EXPECT_FALSE(stored("10.0.0.1"));  // neither a gateway nor stored: nothing written
  EXPECT_FALSE(mutex.heldByThisThread());
}

TEST_F(ServerListTest, TheGatewayIsEnabledAttachedAndStored) {
  list.setGateways({"10.0.0.1"});
  busFor(1);
  driverLists({test::serverItem({10, 0, 0, 1}, 1, "office"), test::serverItem({10, 0, 0, 2}, 1, "lab")});
  list.RefreshServerList();
  EXPECT_EQ(names(), (std::vector<std::string>{"lab-", "office+"}));
  EXPECT_EQ(list.servers()[1]->bus, 101);
  EXPECT_EQ(list.servers()[1]->busPath, "bus-1");
  EXPECT_EQ(stored("10.0.0.1"), "1");
  EXPECT_FALSE(stored("10.0.0.2"));
  const auto attach = io.requestsOf(core::IOCTL_MASTERBUS_ATTACH_SERVER);
  ASSERT_EQ(attach.size(), 1u);
  EXPECT_EQ(attach[0].bytes, (Bytes{10, 0, 0, 1}));
  EXPECT_EQ(clock.sleptMs(), 500);  // the attach settles, then the bus is there at once
}

TEST_F(ServerListTest, StoredSwitchReadsTrueOnlyFromOne) {
  for (const char* text : {"0", "2", "yes", ""}) {
    store("10.0.0.1", text);
    list.setGateways({"10.0.0.1"});  // the stored setting wins over the gateway rule
    driverLists({test::serverItem({10, 0, 0, 1}, 1, "office")});
    list.RefreshServerList();
    EXPECT_EQ(names(), (std::vector<std::string>{"office-"})) << text;
    EXPECT_EQ(stored("10.0.0.1"), text);
  }
}

TEST_F(ServerListTest, AFailedAttachOfANewServerDoesNotAddIt) {
  store("10.0.0.1", "1");
  driverLists({test::serverItem({10, 0, 0, 1}, 1, "office")});
  io.interfaces[core::GUID_DEVINTERFACE_TCPBUS] = {};
  list.RefreshServerList();
  EXPECT_TRUE(list.servers().empty());
  EXPECT_EQ(clock.sleptMs(), 500 + 10 * 10 * 100);  // ten passes of about a second
  EXPECT_EQ(pumps, 100);
}

TEST_F(ServerListTest, RenamedServerIsNewAndZeroServersWipeTheList) {
  driverLists({test::serverItem({10, 0, 0, 1}, 1, "office")});
  list.RefreshServerList();
  driverLists({test::serverItem({10, 0, 0, 1}, 1, "office-2")});
  list.RefreshServerList();
  EXPECT_EQ(names(), (std::vector<std::string>{"office-2-"}));
  EXPECT_EQ(removedRows, (std::vector<std::string>{"office/10.0.0.1"}));

  driverLists({});
  list.RefreshServerList();
  EXPECT_TRUE(list.servers().empty());
  EXPECT_EQ(allRowsRemoved, 1);

  io.scripted[core::IOCTL_MASTERBUS_GET_SERVER_LIST] = {{false, {}}};
  driverLists({test::serverItem({10, 0, 0, 1}, 1, "office")});
  list.RefreshServerList();
  io.scripted[core::IOCTL_MASTERBUS_GET_SERVER_LIST] = {{false, {}}};
  list.RefreshServerList();  // no list from the driver: nothing changes
  EXPECT_EQ(names(), (std::vector<std::string>{"office-"}));
}

TEST_F(ServerListTest, ASecondBusOfTheSameServerIsClosed) {
  store("10.0.0.1", "1");
  busFor(1);
  io.interfaces[core::GUID_DEVINTERFACE_TCPBUS].push_back({platform::InterfaceStatus::Ok, "bus-1b"});
  io.openable["bus-1b"] = 201;
  io.scriptedPerHandle[{201, core::IOCTL_TCPBUS_GET_SERVER_ADDRESS}] = {{true, test::busAddress({10, 0, 0, 1})}};
  driverLists({test::serverItem({10, 0, 0, 1}, 1, "office")});
  list.RefreshServerList();
  ASSERT_EQ(list.servers().size(), 1u);
  EXPECT_EQ(list.servers()[0]->bus, 201);  // the later one stands
  EXPECT_EQ(io.closed, (std::vector<platform::Handle>{101}));
}

TEST_F(ServerListTest, ARefreshAskedForDuringOneRunsOnceAfterIt) {
  store("10.0.0.1", "1");
  driverLists({test::serverItem({10, 0, 0, 1}, 1, "office")});
  io.interfaces[core::GUID_DEVINTERFACE_TCPBUS] = {};
  app::ServerList* self = nullptr;
  int nested = 0;
  app::ServerListHooks h = hooks;
  // Driver events handled while the attach pumps messages ask for refreshes of their own.
  h.pumpMessages = [&] {
    if (self && nested++ < 3) self->RefreshServerList();
  };
  app::ServerList reentrant(mutex, h);
  self = &reentrant;
  reentrant.setControl(kControl);
  reentrant.RefreshServerList();
  // The first refresh and one more after it; the nested requests did not run inside it.
  EXPECT_EQ(io.requestsOf(core::IOCTL_MASTERBUS_GET_SERVER_LIST).size(), 1u + 1u);
}

}  // namespace
