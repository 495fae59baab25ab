#include <gtest/gtest.h>

#include "platform/SimWire.h"

namespace {

namespace wire = platform::simwire;
using Bytes = std::vector<std::uint8_t>;

wire::SpoolerRequest spoolerRequest() {
  wire::SpoolerRequest r;
  r.host = "PC";
  r.op = wire::SpoolerOp::SetPrinter;
  r.handle = 0x2004;
  r.name = "Office Printer";
  r.first = 0xF000C;
  r.second = 100;
  r.bufferBytes = 412;
  r.printer = {"Office Printer", "USB001", "Driver", 0x400, 1, 2};
  r.monitor = "Local Port";
  r.input = {'L', 0, 'P', 0, 0, 0};
  return r;
}

wire::SpoolerReply spoolerReply() {
  wire::SpoolerReply r;
  r.ok = true;
  r.error = 122;
  r.needed = 600;
  r.handle = 0x2008;
  r.changes = 0x102;
  r.printer = {"Q", "COM1:", "D", 0, 0, 0};
  r.jobs = {{7, "report.pdf", 0x10}, {8, "", 0}};
  r.ports = {{"USB001", "USB Monitor", "Virtual printer port for USB"}};
  r.printers = {{"Q", "LPT1:,LPT2:", 0x800}};
  r.status = 183;
  r.output = {1, 2, 3};
  return r;
}

wire::ScannerReply scannerReply() {
  platform::SimScanner s;
  s.product = "NetScan 3000";
  s.manufacturer = "Velmora";
  s.family = "NetScan";
  s.server = "192.168.1.20";
  s.port = 2;
  s.pages = {{850, 1100, 24, 300}, {10, 20, 1, 1200}};
  s.resolutions = {300, 600};
  s.endXferCounts = {0xFFFF, 0};
  s.failingPage = 2;
  s.user = platform::SimScannerUser::Close;
  return wire::ScannerReply{true, true, true, {s, platform::SimScanner{}}};
}

std::vector<wire::Message> everyKind() {
  return {wire::ListInterfacesRequest{"PC", "{guid}"},
          wire::OpenRequest{"PC", "\\\\?\\path", 0xC0000000, true},
          wire::CloseRequest{"PC", 0x1234},
          wire::ControlRequest{"PC", -1, 0x222060, 6, {3, 0x10, 0x0E, 0, 0, 2}},
          wire::ReadRequest{"PC", 0x100, 2048},
          wire::AdminRequest{R"({"cmd":"state"})"},
          wire::InterfacesReply{true, {{platform::InterfaceStatus::Ok, "a"},
                                       {platform::InterfaceStatus::Failed, ""}}},
          wire::OpenReply{0x7FFF'FFFF'FFFF},
          wire::CloseReply{},
          wire::ControlReply{true, 2049, Bytes(33, 7), 0},
          wire::ControlReply{false, 0, {}, platform::kErrorDeviceGone},
          wire::ReadReply{platform::ReadStatus::Aborted, {}, 0},
          wire::ReadReply{platform::ReadStatus::Failed, {}, platform::kErrorDeviceGone},
          wire::AdminReply{false, "no"},
          spoolerRequest(),
          spoolerReply(),
          wire::UdpRequest{"PC", {platform::UdpOp::Send, 3, {{255, 255, 255, 255}, 9303}, true, 64,
                                  Bytes{'t', 0}}},
          wire::UdpReply{{platform::kWsaEMsgSize, 4, Bytes(64, 1), {{192, 168, 1, 10}, 49152}}},
          wire::FirewallRequest{"PC", {platform::FirewallStep::AddPort, 9303, 17, "", "Port"}},
          wire::FirewallReply{{platform::kRpcEChangedMode, true, false}},

          wire::ScannerRequest{"PC", wire::ScannerOp::Held, 3},
          scannerReply()};
}

Bytes payload(const Bytes& frame) { return Bytes(frame.begin() + 4, frame.end()); }

TEST(Wire, EveryMessageSurvivesTheRoundTrip) {
  for (const wire::Message& m : everyKind()) {
    const Bytes frame = wire::encodeFrame(m);
    const auto check = wire::checkFrame(frame);
    ASSERT_EQ(check.status, wire::FrameStatus::Complete);
    EXPECT_EQ(check.frameBytes, frame.size());
    const auto back = wire::decodePayload(payload(frame));
    ASSERT_TRUE(back) << "kind " << m.index();
    EXPECT_EQ(wire::encodeFrame(*back), frame) << "kind " << m.index();
  }
}

TEST(Wire, EveryCutOfEveryPayloadIsRefused) {
  for (const wire::Message& m : everyKind()) {
    const Bytes p = payload(wire::encodeFrame(m));
    for (std::size_t n = 0; n < p.size(); ++n)
      EXPECT_FALSE(wire::decodePayload(std::span(p).first(n))) << "kind " << m.index() << " cut at " << n;
    Bytes longer = p;
    longer.push_back(0);
    EXPECT_FALSE(wire::decodePayload(longer)) << "trailing byte, kind " << m.index();
  }
}

TEST(Wire, FrameHeadersThatCannotBeTrustedAreRefused) {
  struct Case {
    Bytes stream;
    wire::FrameStatus expected;
  };
  const std::vector<Case> cases = {
      {{}, wire::FrameStatus::Incomplete},
      {{5, 0, 0}, wire::FrameStatus::Incomplete},
      {{5, 0, 0, 0, 1}, wire::FrameStatus::Incomplete},
      {{0, 0, 0, 0}, wire::FrameStatus::Invalid},                 // empty payload
      {{0x01, 0x00, 0x10, 0x00}, wire::FrameStatus::Invalid},     // 1 MiB + 1
      {{0xFF, 0xFF, 0xFF, 0xFF}, wire::FrameStatus::Invalid},
  };
  for (const Case& c : cases) EXPECT_EQ(wire::checkFrame(c.stream).status, c.expected);
}

TEST(Wire, MalformedPayloadsAreRefused) {
  const std::vector<Bytes> cases = {
      {0x00},                                         // no such kind
      {0x7F},
      {0x83, 0x00},                                   // CloseReply with a byte
      {0x85, 0x04, 0, 0, 0, 0},                       // read status out of range
      {0x84, 0x02, 0, 0, 0, 0, 0, 0, 0, 0},           // flag neither 0 nor 1
      {0x84, 0x01, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF},  // blob longer than the payload
      {0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0},  // promises 4 billion slots
  };
  Bytes badOp = payload(wire::encodeFrame(spoolerRequest()));
  badOp[1 + 4 + 2] = wire::kLastSpoolerOp + 1;  // after the kind and the host "PC": no such call
  EXPECT_FALSE(wire::decodePayload(badOp));
  badOp[1 + 4 + 2] = 0;
  EXPECT_FALSE(wire::decodePayload(badOp));
  Bytes manyJobs = payload(wire::encodeFrame(wire::SpoolerReply{}));
  // The job count follows ok, error, needed, handle, changes and three empty texts and three numbers.
  const std::size_t jobCount = 1 + 1 + 4 + 4 + 8 + 4 + 3 * 4 + 3 * 4;
  manyJobs[jobCount] = manyJobs[jobCount + 1] = manyJobs[jobCount + 2] = manyJobs[jobCount + 3] = 0xFF;
  EXPECT_FALSE(wire::decodePayload(manyJobs)) << "4 billion jobs promised";
  for (const Bytes& p : cases) EXPECT_FALSE(wire::decodePayload(p)) << int(p[0]);
  // Network calls: an operation or step out of range, a port past 65535.
  Bytes udp = payload(wire::encodeFrame(wire::UdpRequest{"PC", {}}));
  udp[1 + 4 + 2] = 7;
  EXPECT_FALSE(wire::decodePayload(udp));
  Bytes step = payload(wire::encodeFrame(wire::FirewallRequest{"PC", {}}));
  step[1 + 4 + 2] = 19;
  EXPECT_FALSE(wire::decodePayload(step));
  Bytes port = payload(wire::encodeFrame(wire::UdpReply{}));
  port[port.size() - 2] = 1;  // the port's third byte
  EXPECT_FALSE(wire::decodePayload(port));
}

TEST(Wire, AnOversizePayloadIsNotEncoded) {
  EXPECT_TRUE(wire::encodeFrame(wire::AdminReply{true, std::string(wire::kMaxPayload, 'x')}).empty());
}

}  // namespace
