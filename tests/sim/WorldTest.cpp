#include <gtest/gtest.h>

#include "SimTestWorld.h"

namespace {

using platform::ReadStatus;
using simtest::kServer;
using simtest::Station;
using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<Bytes>;

class WorldTest : public ::testing::Test {
 protected:
  platform::ManualClock clock;
  sim::World world{simtest::smallWorld(), clock};
  Station a{world, "A"};
  Station b{world, "B"};

  void SetUp() override {
    ASSERT_TRUE(a.attach());
    ASSERT_TRUE(b.attach());
    a.events();
    b.events();
  }

  sim::Device device(std::uint8_t port) {
    const sim::WorldState state = world.state();
    for (const auto& d : state.servers.at(0).devices)
      if (d.port == port) return d;
    return {};
  }

  void step(std::int64_t ms) {
    clock.advanceMs(ms);
    world.tick();
  }
};

TEST_F(WorldTest, RequestToUseCompletesTheHoldersPendingReadWithEvent4) {
  ASSERT_TRUE(a.link(1));
  ASSERT_TRUE(a.lock(1, 3600, 2));
  a.events();  // the hold's own device-list events; a read stays pending
  ASSERT_TRUE(a.reading);
  b.events();

  ASSERT_TRUE(b.askFor(1));

  Bytes event;
  ASSERT_EQ(a.poll(event), ReadStatus::Completed);
  ASSERT_EQ(event.size(), 16u);
  EXPECT_EQ(event[0], 4);                                  // OP_UBUS_REQUEST_TO_USE_DEVICE
  EXPECT_EQ(event[1], 1);                                  // kind
  EXPECT_EQ(event[2], 1);                                  // port
  EXPECT_EQ(Bytes(event.begin() + 3, event.begin() + 7), Bytes({10, 0, 0, 20}));  // server
  EXPECT_EQ(Bytes(event.begin() + 7, event.begin() + 11), Bytes({10, 0, 0, 2}));  // asker
  EXPECT_EQ(Bytes(event.begin() + 11, event.begin() + 15), Bytes({1, 0, 0, 0}));  // name length
  EXPECT_EQ(event[15], 'B');
  EXPECT_TRUE(b.events().empty()) << "the asker hears nothing";
}

TEST_F(WorldTest, RequestToUseFailsForAFreeDeviceOrTheHoldersOwn) {
  EXPECT_FALSE(b.askFor(1));
  ASSERT_TRUE(a.lock(1, 60, 2));
  EXPECT_FALSE(a.askFor(1));
  EXPECT_FALSE(b.askFor(9)) << "no device on port 9";
}

TEST_F(WorldTest, LinkAndLockMakeTheHostTheHolderWithItsLockType) {
  ASSERT_TRUE(a.link(1));
  EXPECT_EQ(device(1).holder, "A");
  ASSERT_TRUE(a.lock(1, 1200, 1));
  EXPECT_EQ(device(1).lockType, 1);
  ASSERT_TRUE(a.lock(1, 1200, 1));
  EXPECT_EQ(device(1).lockCount, 3) << "the link and each lock count";
  EXPECT_FALSE(a.lock(1, 60, 3)) << "only lock types 1 and 2 exist";
}

TEST_F(WorldTest, ALockExpiresAfterItsSecondsAndTellsEveryAttachedHost) {
  ASSERT_TRUE(a.link(1));
  ASSERT_TRUE(a.lock(1, 10, 2));
  a.events();
  b.events();

  step(9'999);
  EXPECT_EQ(device(1).holder, "A");
  EXPECT_TRUE(b.events().empty());

  step(1);
  EXPECT_EQ(device(1).holder, "");
  EXPECT_EQ(device(1).lockCount, 0);
  EXPECT_EQ(a.events(), Events{simtest::deviceListChanged()});
  EXPECT_EQ(b.events(), Events{simtest::deviceListChanged()});
}

TEST_F(WorldTest, ARenewedLockLastsFromTheRenewal) {
  ASSERT_TRUE(a.lock(1, 10, 1));
  step(8'000);
  ASSERT_TRUE(a.lock(1, 10, 1));
  step(8'000);
  EXPECT_EQ(device(1).holder, "A");
  step(2'000);
  EXPECT_EQ(device(1).holder, "");
}

TEST_F(WorldTest, UnlockOfZeroFreesAtOnceAndOfNAfterNSeconds) {
  ASSERT_TRUE(a.lock(1, 3600, 2));
  ASSERT_TRUE(a.lock(2, 3600, 2));
  b.events();

  ASSERT_TRUE(a.unlock(1, 0));
  EXPECT_EQ(device(1).holder, "");
  EXPECT_EQ(b.events(), Events{simtest::deviceListChanged()});

  ASSERT_TRUE(a.unlock(2, 180));
  step(179'999);
  EXPECT_EQ(device(2).holder, "A");
  EXPECT_TRUE(b.events().empty());
  step(1);
  EXPECT_EQ(device(2).holder, "");
  EXPECT_EQ(b.events(), Events{simtest::deviceListChanged()});
}

TEST_F(WorldTest, OnlyTheHolderUnlocksOrUnlinks) {
  ASSERT_TRUE(a.lock(1, 3600, 1));
  EXPECT_FALSE(b.unlock(1, 0));
  EXPECT_FALSE(b.unlink(1));
  EXPECT_EQ(device(1).holder, "A");
  EXPECT_TRUE(b.unlink(2)) << "unlinking a free device is harmless";
  EXPECT_TRUE(a.unlink(1));
  EXPECT_EQ(device(1).holder, "");
}

TEST_F(WorldTest, LockType2OfAnotherHostRefusesLinkAndLock) {
  ASSERT_TRUE(a.link(1));
  ASSERT_TRUE(a.lock(1, 3600, 2));
  EXPECT_FALSE(b.link(1));
  EXPECT_FALSE(b.lock(1, 3600, 2));
  EXPECT_FALSE(b.lock(1, 1200, 1));
  EXPECT_EQ(device(1).holder, "A");
  EXPECT_EQ(device(1).lockType, 2);
}

TEST_F(WorldTest, LockType1OfAnotherHostGivesWay) {
  ASSERT_TRUE(a.lock(1, 1200, 1));
  a.events();
  ASSERT_TRUE(b.link(1));
  EXPECT_EQ(device(1).holder, "B");
  EXPECT_EQ(a.events(), Events{simtest::deviceListChanged()}) << "the old holder learns of it";
}

TEST_F(WorldTest, AttachIsHarmlessTwiceAndEachTimeReportsTheDevices) {
  ASSERT_TRUE(a.attach());
  ASSERT_TRUE(a.attach());
  EXPECT_EQ(a.events(), Events(2, simtest::deviceListChanged()));
  EXPECT_EQ(a.io.ListInterfaces(sim::kTcpBusClass)->size(), 1u);
  EXPECT_FALSE(a.attach({10, 0, 0, 99})) << "no such server";
}

TEST_F(WorldTest, CancelCompletesThePendingReadAsAborted) {
  a.events();
  ASSERT_TRUE(a.reading);
  ASSERT_TRUE(a.cancel());
  Bytes event;
  EXPECT_EQ(a.poll(event), ReadStatus::Aborted);
  EXPECT_TRUE(event.empty());
}

TEST_F(WorldTest, CancelWithNoReadPendingDoesNothing) {
  ASSERT_TRUE(a.lock(1, 60, 2));  // queues an event for A, who is not reading
  Bytes event;
  ASSERT_EQ(a.poll(event), ReadStatus::Completed);  // SetUp's read took it
  ASSERT_TRUE(a.lock(2, 60, 2));
  ASSERT_TRUE(a.cancel());
  EXPECT_EQ(a.events(), Events{simtest::deviceListChanged()}) << "the queued event survives";
  EXPECT_EQ(a.poll(event), ReadStatus::Pending) << "the next read is not aborted by the old cancel";
}

TEST_F(WorldTest, ClosingAHandleAbortsItsReadAndEndsTheHandle) {
  a.events();
  a.io.Close(a.control);
  Bytes event;
  EXPECT_EQ(a.poll(event), ReadStatus::Failed) << "nothing is outstanding on a closed handle";
  EXPECT_FALSE(a.serverList().ok);
  EXPECT_EQ(world.state().hosts[0].pendingReads, 0);
}

TEST_F(WorldTest, EventsQueueWhileNoReadIsPendingAndDropTheOldest) {
  platform::ManualClock c;
  sim::WorldOptions options;
  options.eventQueueLimit = 3;
  options.logLimit = 100;
  sim::World small(simtest::smallWorld(), c, options);
  Station s(small, "A");
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(s.attach());
  const auto state = small.state();
  EXPECT_EQ(state.hosts[0].host.events.size(), 3u);
  EXPECT_EQ(state.hosts[0].host.droppedEvents, 2u);
}

TEST_F(WorldTest, RequestsGoOnlyToTheirDeviceAndHost) {
  // A bus code on the control device, a control code on a bus, another host's handle.
  EXPECT_FALSE(a.call(a.control, sim::code::kGetDeviceList, {}, 2048, 2048).ok);
  EXPECT_FALSE(a.call(a.bus, sim::code::kGetServerList, {}, 1024, 1024).ok);
  EXPECT_FALSE(b.call(a.bus, sim::code::kLinkDevice, {1}, 1, 1).ok);
  EXPECT_FALSE(a.call(a.bus, 0x222070, {}, 64, 64).ok);
  EXPECT_FALSE(a.call(a.bus, sim::code::kLockDevice, {1, 0, 0, 0, 0}, 5, 5).ok) << "short record";
  EXPECT_FALSE(a.call(a.bus, sim::code::kGetDeviceList, {}, 2048, 16).ok) << "reply does not fit";
}

TEST_F(WorldTest, AnUnknownHostSeesNoDevices) {
  sim::InProcessDeviceIo stranger(world, "NOBODY");
  const auto slots = stranger.ListInterfaces(sim::kMasterBusClass);
  ASSERT_TRUE(slots);
  EXPECT_TRUE(slots->empty());
  EXPECT_EQ(stranger.Open(sim::World::controlPath(), platform::kGenericRead, true),
            platform::kInvalidHandle);
}

TEST(WorldServerList, IsNotValidDuringItsPeriodThenAnnouncedToEveryHost) {
  platform::ManualClock clock;
  auto setup = simtest::smallWorld();
  setup.serverListNotValidMs = 2'000;
  sim::World world(setup, clock);
  Station a(world, "A");
  Station b(world, "B");
  a.events();

  auto reply = a.serverList();
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(reply.bytes[0], 0) << "no list yet";
  EXPECT_EQ(reply.returned, 8u);

  clock.advanceMs(2'000);
  world.tick();
  reply = a.serverList();
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(reply.bytes[0], 1);
  EXPECT_EQ(reply.bytes[4], 1);
  EXPECT_EQ(a.events(), Events{{2}});
  EXPECT_EQ(b.events(), Events{{2}});
}

TEST_F(WorldTest, ServerAndDeviceChangesRaiseTheirEvents) {
  sim::Server other;
  other.ip = {10, 0, 0, 30};
  other.name = "Other";
  EXPECT_EQ(world.addServer(other), "");
  EXPECT_NE(world.addServer(other), "");
  EXPECT_EQ(a.events(), Events{{2}});
  EXPECT_EQ(b.events(), Events{{2}});

  sim::Device scanner;
  scanner.port = 3;
  EXPECT_EQ(world.addDevice(kServer, scanner), "");
  EXPECT_NE(world.addDevice(kServer, scanner), "") << "port 3 is taken";
  EXPECT_EQ(world.removeDevice(kServer, 3), "");
  EXPECT_EQ(a.events(), Events(2, simtest::deviceListChanged()));

  b.events();
  EXPECT_EQ(world.setHostIp("B", {10, 0, 0, 7}), "");
  EXPECT_EQ(b.events(), Events{{3}});
  EXPECT_TRUE(a.events().empty());

  EXPECT_EQ(world.removeServer(kServer), "");
  EXPECT_EQ(a.events(), Events{{2}});
  EXPECT_TRUE(a.io.ListInterfaces(sim::kTcpBusClass)->empty());
  EXPECT_FALSE(a.deviceList().ok) << "the bus went with its server";
}

TEST_F(WorldTest, TakeReleaseAndAskActAsAnotherHost) {
  EXPECT_EQ(world.take("B", kServer, 1, 2, 3600), "");
  EXPECT_EQ(device(1).holder, "B");
  EXPECT_NE(world.take("A", kServer, 1, 2, 3600), "") << "held under lock type 2";
  EXPECT_NE(world.take("NOBODY", kServer, 1, 2, 3600), "");
  b.events();
  EXPECT_EQ(world.ask("A", kServer, 1), "");
  const auto events = b.events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0][0], 4);
  EXPECT_EQ(world.release(kServer, 1), "");
  EXPECT_EQ(device(1).holder, "");
}

TEST_F(WorldTest, FaultsHitTheNextRequestOfTheirCodeOnce) {
  EXPECT_EQ(world.injectFault({sim::FaultKind::Fail, sim::code::kLinkDevice, "B"}), "");
  EXPECT_TRUE(a.link(2)) << "another host's request is not hit";
  EXPECT_FALSE(b.link(1));
  EXPECT_TRUE(b.link(1));

  EXPECT_EQ(world.injectFault({sim::FaultKind::Oversize, sim::code::kGetDeviceList, ""}), "");
  auto reply = a.deviceList();
  EXPECT_TRUE(reply.ok);
  EXPECT_EQ(reply.returned, 2049u);
  EXPECT_LE(a.deviceList().returned, 2048u) << "only the next reply";

  EXPECT_EQ(world.injectFault({sim::FaultKind::Truncate, sim::code::kGetServerList, ""}), "");
  reply = a.serverList();
  EXPECT_EQ(reply.bytes[4], 2) << "promises two servers";
  EXPECT_EQ(reply.returned, 8u + 22u + 3u) << "holds one";

  EXPECT_NE(world.injectFault({sim::FaultKind::Truncate, sim::code::kLinkDevice, ""}), "");
  EXPECT_NE(world.injectFault({sim::FaultKind::Fail, 0x222070, ""}), "");
  EXPECT_NE(world.injectFault({sim::FaultKind::Fail, sim::code::kLinkDevice, "NOBODY"}), "");
}

TEST_F(WorldTest, TheLogHoldsEachRequestThenWhatItSetOff) {
  ASSERT_TRUE(a.cancel());
  Bytes aborted;
  ASSERT_EQ(a.poll(aborted), ReadStatus::Aborted);
  const auto from = world.state().nextLogSeq;
  a.events();  // a new read, pending
  ASSERT_TRUE(b.lock(1, 60, 2));
  const auto log = world.log(from, 100);
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].what, "read");
  EXPECT_EQ(log[0].result, "pending");
  EXPECT_EQ(log[1].what, "control");
  EXPECT_EQ(log[1].host, "B");
  EXPECT_EQ(log[1].code, sim::code::kLockDevice);
  EXPECT_EQ(log[1].request, simtest::lockRecord(1, 60, 2));
  EXPECT_NE(log[1].device.find("TCPBUS#10.0.0.20#"), std::string::npos);
  EXPECT_EQ(log[2].what, "read-done");
  EXPECT_EQ(log[2].host, "A");
  EXPECT_EQ(log[2].reply, simtest::deviceListChanged());
  EXPECT_EQ(log[3].what, "read-done");
  EXPECT_EQ(log[3].host, "B");
}

}  // namespace
