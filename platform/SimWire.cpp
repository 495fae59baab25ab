#include "platform/SimWire.h"

#include "platform/SimEnvironment.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace platform::simwire {
namespace {

using Bytes = std::vector<std::uint8_t>;

enum Kind : std::uint8_t {
  kListInterfaces = 1,
  kOpen,
  kClose,
  kControl,
  kRead,
  kAdmin,
  kSpooler,
  kScanner,
  kInterfacesReply = 0x81,
  kOpenReply,
  kCloseReply,
  kControlReply,
  kReadReply,
  kAdminReply,
  kSpoolerReply,
  kScannerReply,
  // The network's calls, apart from the driver's.
  kUdp = 0x30,
  kFirewall,
  kUdpReply = 0xB0,
  kFirewallReply,
};
// The image acquisition service's, apart from the others so that new kinds never meet them.
constexpr std::uint8_t kWia = 0x20;
constexpr std::uint8_t kWiaReply = 0xA0;

class Writer {
 public:
  explicit Writer(std::uint8_t kind) { out_.push_back(kind); }
  void u8(std::uint8_t v) { out_.push_back(v); }
  void u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void i64(std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) out_.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
  }
  void bytes(std::span<const std::uint8_t> b) {
    u32(static_cast<std::uint32_t>(b.size()));
    out_.insert(out_.end(), b.begin(), b.end());
  }
  void text(const std::string& s) {
    bytes(std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
  }
  void printer(const PrinterInfo& p) {
    text(p.printerName);
    text(p.portName);
    text(p.driverName);
    u32(p.attributes);
    u32(p.status);
    u32(p.jobCount);
  }
  void address(const UdpAddress& a) {
    for (std::uint8_t b : a.ip) out_.push_back(b);
    u32(a.port);
  }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void scanner(const SimScanner& s) {
    text(s.product);
    text(s.manufacturer);
    text(s.family);
    text(s.server);
    u32(s.port);
    u32(static_cast<std::uint32_t>(s.pages.size()));
    for (const SimScannerPage& p : s.pages) {
      u32(p.width);
      u32(p.height);
      u32(p.bitsPerPixel);
      u32(p.dpi);
    }
    numbers(s.resolutions);
    numbers(s.endXferCounts);
    u32(s.failingPage);
    u8(static_cast<std::uint8_t>(s.user));
  }
  void numbers(const std::vector<std::uint32_t>& v) {
    u32(static_cast<std::uint32_t>(v.size()));
    for (std::uint32_t n : v) u32(n);
  }
  Bytes& payload() { return out_; }

 private:
  Bytes out_;
};

// Reads fields in order; once a read runs past the end, every later read fails too.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}
  bool u8(std::uint8_t& v) {
    if (!need(1)) return false;
    v = in_[at_++];
    return true;
  }
  bool flag(bool& v) {
    std::uint8_t b = 0;
    if (!u8(b) || b > 1) return ok_ = false;
    v = b == 1;
    return true;
  }
  bool u32(std::uint32_t& v) {
    if (!need(4)) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(in_[at_++]) << (8 * i);
    return true;
  }
  bool i64(std::int64_t& v) {
    if (!need(8)) return false;
    std::uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= static_cast<std::uint64_t>(in_[at_++]) << (8 * i);
    v = static_cast<std::int64_t>(u);
    return true;
  }
  bool bytes(Bytes& v) {
    std::uint32_t n = 0;
    if (!u32(n) || !need(n)) return false;
    v.assign(in_.begin() + static_cast<std::ptrdiff_t>(at_),
             in_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
    at_ += n;
    return true;
  }
  bool text(std::string& v) {
    Bytes b;
    if (!bytes(b)) return false;
    v.assign(b.begin(), b.end());
    return true;
  }
  bool status(ReadStatus& v) {
    std::uint8_t b = 0;
    if (!u8(b) || b > static_cast<std::uint8_t>(ReadStatus::Failed)) return ok_ = false;
    v = static_cast<ReadStatus>(b);
    return true;
  }
  bool printer(PrinterInfo& p) {
    return text(p.printerName) && text(p.portName) && text(p.driverName) && u32(p.attributes) &&
           u32(p.status) && u32(p.jobCount);
  }
  bool op(SpoolerOp& v) {
    std::uint8_t b = 0;
    if (!u8(b) || b == 0 || b > kLastSpoolerOp) return ok_ = false;
    v = static_cast<SpoolerOp>(b);
    return true;
  }
  bool address(UdpAddress& a) {
    std::uint32_t port = 0;
    for (std::uint8_t& b : a.ip)
      if (!u8(b)) return false;
    if (!u32(port) || port > 0xFFFF) return ok_ = false;
    a.port = static_cast<std::uint16_t>(port);
    return true;
  }
  bool i32(std::int32_t& v) {
    std::uint32_t u = 0;
    if (!u32(u)) return false;
    v = static_cast<std::int32_t>(u);
    return true;
  }
  bool udpOp(UdpOp& v) {
    std::uint8_t b = 0;
    if (!u8(b) || b == 0 || b > kLastUdpOp) return ok_ = false;
    v = static_cast<UdpOp>(b);
    return true;
  }
  bool firewallStep(FirewallStep& v) {
    std::uint8_t b = 0;
    if (!u8(b) || b == 0 || b > kLastFirewallStep) return ok_ = false;
    v = static_cast<FirewallStep>(b);
    return true;
  }
  bool scannerOp(ScannerOp& v) {
    std::uint8_t b = 0;
    if (!u8(b) || b == 0 || b > kLastScannerOp) return ok_ = false;
    v = static_cast<ScannerOp>(b);
    return true;
  }
  // Counts that the payload cannot hold stop at its end, since every item takes some bytes.
  bool numbers(std::vector<std::uint32_t>& v) {
    std::uint32_t count = 0;
    if (!u32(count)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint32_t n = 0;
      if (!u32(n)) return false;
      v.push_back(n);
    }
    return true;
  }
  bool scanner(SimScanner& s) {
    std::uint32_t count = 0;
    if (!text(s.product) || !text(s.manufacturer) || !text(s.family) || !text(s.server) ||
        !u32(s.port) || !u32(count))
      return false;
    for (std::uint32_t i = 0; i < count; ++i) {
      SimScannerPage p;
      if (!u32(p.width) || !u32(p.height) || !u32(p.bitsPerPixel) || !u32(p.dpi)) return false;
      s.pages.push_back(p);
    }
    std::uint8_t user = 0;
    if (!numbers(s.resolutions) || !numbers(s.endXferCounts) || !u32(s.failingPage) || !u8(user))
      return false;
    if (user > static_cast<std::uint8_t>(SimScannerUser::Close)) return ok_ = false;
    s.user = static_cast<SimScannerUser>(user);
    return true;
  }
  // Every field read and nothing left over.
  bool done() const { return ok_ && at_ == in_.size(); }

 private:
  bool need(std::size_t n) {
    if (!ok_ || in_.size() - at_ < n) return ok_ = false;
    return true;
  }
  std::span<const std::uint8_t> in_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

Bytes payloadOf(const Message& message) {
  struct Encode {
    Bytes operator()(const ListInterfacesRequest& m) {
      Writer w(kListInterfaces);
      w.text(m.host);
      w.text(m.classGuid);
      return std::move(w.payload());
    }
    Bytes operator()(const OpenRequest& m) {
      Writer w(kOpen);
      w.text(m.host);
      w.text(m.path);
      w.u32(m.access);
      w.u8(m.overlapped ? 1 : 0);
      return std::move(w.payload());
    }
    Bytes operator()(const CloseRequest& m) {
      Writer w(kClose);
      w.text(m.host);
      w.i64(m.handle);
      return std::move(w.payload());
    }
    Bytes operator()(const ControlRequest& m) {
      Writer w(kControl);
      w.text(m.host);
      w.i64(m.handle);
      w.u32(m.code);
      w.u32(m.outSize);
      w.bytes(m.input);
      return std::move(w.payload());
    }
    Bytes operator()(const ReadRequest& m) {
      Writer w(kRead);
      w.text(m.host);
      w.i64(m.handle);
      w.u32(m.maxBytes);
      return std::move(w.payload());
    }
    Bytes operator()(const AdminRequest& m) {
      Writer w(kAdmin);
      w.text(m.json);
      return std::move(w.payload());
    }
    Bytes operator()(const SpoolerRequest& m) {
      Writer w(kSpooler);
      w.text(m.host);
      w.u8(static_cast<std::uint8_t>(m.op));
      w.i64(m.handle);
      w.text(m.name);
      w.u32(m.first);
      w.u32(m.second);
      w.u32(m.bufferBytes);
      w.printer(m.printer);
      w.text(m.monitor);
      w.bytes(m.input);
      return std::move(w.payload());
    }
    Bytes operator()(const WiaRequest& m) {
      Writer w(kWia);
      w.text(m.host);
      w.u8(static_cast<std::uint8_t>(m.op));
      w.text(m.deviceId);
      w.u32(m.format);
      w.u32(m.dpi);
      w.text(m.path);
      return std::move(w.payload());
    }
    Bytes operator()(const WiaReply& m) {
      Writer w(kWiaReply);
      w.u32(static_cast<std::uint32_t>(m.hr));
      w.u32(static_cast<std::uint32_t>(m.select));
      w.u32(static_cast<std::uint32_t>(m.status));
      w.u32(static_cast<std::uint32_t>(m.pages));
      w.u32(m.dpi);
      w.u32(m.formats);
      w.u32(m.bytes);
      w.text(m.name);
      return std::move(w.payload());
    }
    Bytes operator()(const SpoolerReply& m) {
      Writer w(kSpoolerReply);
      w.u8(m.ok ? 1 : 0);
      w.u32(m.error);
      w.u32(m.needed);
      w.i64(m.handle);
      w.u32(m.changes);
      w.printer(m.printer);
      w.u32(static_cast<std::uint32_t>(m.jobs.size()));
      for (const JobInfo& j : m.jobs) {
        w.u32(j.id);
        w.text(j.document);
        w.u32(j.status);
      }
      w.u32(static_cast<std::uint32_t>(m.ports.size()));
      for (const PortInfo& p : m.ports) {
        w.text(p.name);
        w.text(p.monitor);
        w.text(p.description);
      }
      w.u32(static_cast<std::uint32_t>(m.printers.size()));
      for (const PrinterInfo5& p : m.printers) {
        w.text(p.printerName);
        w.text(p.portName);
        w.u32(p.attributes);
      }
      w.u32(m.status);
      w.bytes(m.output);
      return std::move(w.payload());
    }
    Bytes operator()(const UdpRequest& m) {
      Writer w(kUdp);
      w.text(m.host);
      w.u8(static_cast<std::uint8_t>(m.call.op));
      w.i64(m.call.socket);
      w.address(m.call.address);
      w.u8(m.call.flag ? 1 : 0);
      w.u32(m.call.maxBytes);
      w.bytes(m.call.bytes);
      return std::move(w.payload());
    }
    Bytes operator()(const UdpReply& m) {
      Writer w(kUdpReply);
      w.i32(m.answer.error);
      w.i64(m.answer.socket);
      w.bytes(m.answer.bytes);
      w.address(m.answer.from);
      return std::move(w.payload());
    }
    Bytes operator()(const FirewallRequest& m) {
      Writer w(kFirewall);
      w.text(m.host);
      w.u8(static_cast<std::uint8_t>(m.call.step));
      w.i32(m.call.port);
      w.i32(m.call.protocol);
      w.text(m.call.path);
      w.text(m.call.name);
      return std::move(w.payload());
    }
    Bytes operator()(const FirewallReply& m) {
      Writer w(kFirewallReply);
      w.i32(m.answer.hr);
      w.u8(m.answer.found ? 1 : 0);
      w.u8(m.answer.enabled ? 1 : 0);
      return std::move(w.payload());
    }
    Bytes operator()(const ScannerRequest& m) {
      Writer w(kScanner);
      w.text(m.host);
      w.u8(static_cast<std::uint8_t>(m.op));
      w.u32(m.index);
      return std::move(w.payload());
    }
    Bytes operator()(const ScannerReply& m) {
      Writer w(kScannerReply);
      w.u8(m.ok ? 1 : 0);
      w.u8(m.held ? 1 : 0);
      w.u8(m.sane ? 1 : 0);
      w.u32(static_cast<std::uint32_t>(m.scanners.size()));
      for (const SimScanner& s : m.scanners) w.scanner(s);
      return std::move(w.payload());
    }
    Bytes operator()(const InterfacesReply& m) {
      Writer w(kInterfacesReply);
      w.u8(m.listed ? 1 : 0);
      w.u32(static_cast<std::uint32_t>(m.interfaces.size()));
      for (const InterfaceSlot& s : m.interfaces) {
        w.u8(s.status == InterfaceStatus::Ok ? 1 : 0);
        w.text(s.path);
      }
      return std::move(w.payload());
    }
    Bytes operator()(const OpenReply& m) {
      Writer w(kOpenReply);
      w.i64(m.handle);
      return std::move(w.payload());
    }
    Bytes operator()(const CloseReply&) { return Writer(kCloseReply).payload(); }
    Bytes operator()(const ControlReply& m) {
      Writer w(kControlReply);
      w.u8(m.ok ? 1 : 0);
      w.u32(m.returned);
      w.bytes(m.reply);
      w.u32(m.error);
      return std::move(w.payload());
    }
    Bytes operator()(const ReadReply& m) {
      Writer w(kReadReply);
      w.u8(static_cast<std::uint8_t>(m.status));
      w.bytes(m.bytes);
      w.u32(m.error);
      return std::move(w.payload());
    }
    Bytes operator()(const AdminReply& m) {
      Writer w(kAdminReply);
      w.u8(m.ok ? 1 : 0);
      w.text(m.text);
      return std::move(w.payload());
    }
  };
  return std::visit(Encode{}, message);
}

template <typename T>
std::optional<Message> finish(Reader& r, T message) {
  if (!r.done()) return std::nullopt;
  return Message(std::move(message));
}

std::optional<Message> decodeInterfaces(Reader& r) {
  InterfacesReply m;
  std::uint32_t count = 0;
  if (!r.flag(m.listed) || !r.u32(count)) return std::nullopt;
  // Each slot takes at least 5 bytes, so a count the payload cannot hold stops at its end.
  for (std::uint32_t i = 0; i < count; ++i) {
    bool ok = false;
    InterfaceSlot slot;
    if (!r.flag(ok) || !r.text(slot.path)) return std::nullopt;
    slot.status = ok ? InterfaceStatus::Ok : InterfaceStatus::Failed;
    m.interfaces.push_back(std::move(slot));
  }
  return finish(r, std::move(m));
}

// Counts that the payload cannot hold stop at its end, since every item takes some bytes.
std::optional<Message> decodeSpoolerReply(Reader& r) {
  SpoolerReply m;
  std::uint32_t count = 0;
  if (!r.flag(m.ok) || !r.u32(m.error) || !r.u32(m.needed) || !r.i64(m.handle) ||
      !r.u32(m.changes) || !r.printer(m.printer) || !r.u32(count))
    return std::nullopt;
  for (std::uint32_t i = 0; i < count; ++i) {
    JobInfo j;
    if (!r.u32(j.id) || !r.text(j.document) || !r.u32(j.status)) return std::nullopt;
    m.jobs.push_back(std::move(j));
  }
  if (!r.u32(count)) return std::nullopt;
  for (std::uint32_t i = 0; i < count; ++i) {
    PortInfo p;
    if (!r.text(p.name) || !r.text(p.monitor) || !r.text(p.description)) return std::nullopt;
    m.ports.push_back(std::move(p));
  }
  if (!r.u32(count)) return std::nullopt;
  for (std::uint32_t i = 0; i < count; ++i) {
    PrinterInfo5 p;
    if (!r.text(p.printerName) || !r.text(p.portName) || !r.u32(p.attributes)) return std::nullopt;
    m.printers.push_back(std::move(p));
  }
  r.u32(m.status) && r.bytes(m.output);
  return finish(r, std::move(m));
}

std::optional<Message> decodeWiaRequest(Reader& r) {
  WiaRequest m;
  std::uint8_t op = 0;
  if (!r.text(m.host) || !r.u8(op) || op == 0 || op > kLastWiaOp) return std::nullopt;
  m.op = static_cast<WiaOp>(op);
  r.text(m.deviceId) && r.u32(m.format) && r.u32(m.dpi) && r.text(m.path);
  return finish(r, std::move(m));
}

std::optional<Message> decodeWiaReply(Reader& r) {
  WiaReply m;
  std::uint32_t hr = 0, select = 0, status = 0, pages = 0;
  r.u32(hr) && r.u32(select) && r.u32(status) && r.u32(pages) && r.u32(m.dpi) &&
      r.u32(m.formats) && r.u32(m.bytes) && r.text(m.name);
  m.hr = static_cast<std::int32_t>(hr);
  m.select = static_cast<std::int32_t>(select);
  m.status = static_cast<std::int32_t>(status);
  m.pages = static_cast<std::int32_t>(pages);
  return finish(r, std::move(m));
}

std::optional<Message> decodeScannerReply(Reader& r) {
  ScannerReply m;
  std::uint32_t count = 0;
  if (!r.flag(m.ok) || !r.flag(m.held) || !r.flag(m.sane) || !r.u32(count)) return std::nullopt;
  for (std::uint32_t i = 0; i < count; ++i) {
    SimScanner s;
    if (!r.scanner(s)) return std::nullopt;
    m.scanners.push_back(std::move(s));
  }
  return finish(r, std::move(m));
}

std::optional<Message> decodeMessage(std::uint8_t kind, Reader& r) {
  if (kind == kWia) return decodeWiaRequest(r);
  if (kind == kWiaReply) return decodeWiaReply(r);
  switch (kind) {
    case kListInterfaces: {
      ListInterfacesRequest m;
      r.text(m.host) && r.text(m.classGuid);
      return finish(r, std::move(m));
    }
    case kOpen: {
      OpenRequest m;
      r.text(m.host) && r.text(m.path) && r.u32(m.access) && r.flag(m.overlapped);
      return finish(r, std::move(m));
    }
    case kClose: {
      CloseRequest m;
      r.text(m.host) && r.i64(m.handle);
      return finish(r, std::move(m));
    }
    case kControl: {
      ControlRequest m;
      r.text(m.host) && r.i64(m.handle) && r.u32(m.code) && r.u32(m.outSize) && r.bytes(m.input);
      return finish(r, std::move(m));
    }
    case kRead: {
      ReadRequest m;
      r.text(m.host) && r.i64(m.handle) && r.u32(m.maxBytes);
      return finish(r, std::move(m));
    }
    case kAdmin: {
      AdminRequest m;
      r.text(m.json);
      return finish(r, std::move(m));
    }
    case kSpooler: {
      SpoolerRequest m;
      r.text(m.host) && r.op(m.op) && r.i64(m.handle) && r.text(m.name) && r.u32(m.first) &&
          r.u32(m.second) && r.u32(m.bufferBytes) && r.printer(m.printer) && r.text(m.monitor) &&
          r.bytes(m.input);
      return finish(r, std::move(m));
    }
    case kSpoolerReply: return decodeSpoolerReply(r);
    case kUdp: {
      UdpRequest m;
      r.text(m.host) && r.udpOp(m.call.op) && r.i64(m.call.socket) && r.address(m.call.address) &&
          r.flag(m.call.flag) && r.u32(m.call.maxBytes) && r.bytes(m.call.bytes);
      return finish(r, std::move(m));
    }
    case kUdpReply: {
      UdpReply m;
      r.i32(m.answer.error) && r.i64(m.answer.socket) && r.bytes(m.answer.bytes) &&
          r.address(m.answer.from);
      return finish(r, std::move(m));
    }
    case kFirewall: {
      FirewallRequest m;
      r.text(m.host) && r.firewallStep(m.call.step) && r.i32(m.call.port) &&
          r.i32(m.call.protocol) && r.text(m.call.path) && r.text(m.call.name);
      return finish(r, std::move(m));
    }
    case kFirewallReply: {
      FirewallReply m;
      r.i32(m.answer.hr) && r.flag(m.answer.found) && r.flag(m.answer.enabled);
      return finish(r, m);
    }
    case kScanner: {
      ScannerRequest m;
      r.text(m.host) && r.scannerOp(m.op) && r.u32(m.index);
      return finish(r, std::move(m));
    }
    case kScannerReply: return decodeScannerReply(r);
    case kInterfacesReply: return decodeInterfaces(r);
    case kOpenReply: {
      OpenReply m;
      r.i64(m.handle);
      return finish(r, m);
    }
    case kCloseReply: return finish(r, CloseReply{});
    case kControlReply: {
      ControlReply m;
      r.flag(m.ok) && r.u32(m.returned) && r.bytes(m.reply) && r.u32(m.error);
      return finish(r, std::move(m));
    }
    case kReadReply: {
      ReadReply m;
      r.status(m.status) && r.bytes(m.bytes) && r.u32(m.error);
      return finish(r, std::move(m));
    }
    case kAdminReply: {
      AdminReply m;
      r.flag(m.ok) && r.text(m.text);
      return finish(r, std::move(m));
    }
    default: return std::nullopt;
  }
}

std::uint32_t headerLength(std::span<const std::uint8_t> header) {
  return static_cast<std::uint32_t>(header[0]) | static_cast<std::uint32_t>(header[1]) << 8 |
         static_cast<std::uint32_t>(header[2]) << 16 | static_cast<std::uint32_t>(header[3]) << 24;
}

int remainingMs(std::chrono::steady_clock::time_point deadline, int timeoutMs) {
  if (timeoutMs < 0) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::int64_t>(0, left.count()));
}

// Reads exactly out.size() bytes before the deadline.
bool readExactly(int fd, std::span<std::uint8_t> out, std::chrono::steady_clock::time_point deadline,
                 int timeoutMs) {
  std::size_t got = 0;
  while (got < out.size()) {
    if (waitReadable(fd, remainingMs(deadline, timeoutMs)) != 1) return false;
    const ssize_t n = ::recv(fd, out.data() + got, out.size() - got, 0);
    if (n == 0) return false;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> encodeFrame(const Message& message) {
  const Bytes payload = payloadOf(message);
  if (payload.size() > kMaxPayload) return {};
  Bytes frame;
  frame.reserve(kHeaderBytes + payload.size());
  const auto n = static_cast<std::uint32_t>(payload.size());
  for (int i = 0; i < 4; ++i) frame.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
  frame.insert(frame.end(), payload.begin(), payload.end());
  return frame;
}

FrameCheck checkFrame(std::span<const std::uint8_t> stream) {
  if (stream.size() < kHeaderBytes) return {FrameStatus::Incomplete, 0};
  const std::uint32_t length = headerLength(stream);
  if (length == 0 || length > kMaxPayload) return {FrameStatus::Invalid, 0};
  if (stream.size() - kHeaderBytes < length) return {FrameStatus::Incomplete, 0};
  return {FrameStatus::Complete, kHeaderBytes + length};
}

std::optional<Message> decodePayload(std::span<const std::uint8_t> payload) {
  if (payload.empty()) return std::nullopt;
  Reader r(payload.subspan(1));
  return decodeMessage(payload[0], r);
}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = other.release();
  }
  return *this;
}

int Socket::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void Socket::reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Socket connectUnix(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return {};
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  Socket s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s.valid()) return {};
  if (::connect(s.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return {};
  return s;
}

bool sendFrame(int fd, const Message& message) {
  const Bytes frame = encodeFrame(message);
  if (frame.empty()) return false;
  std::size_t sent = 0;
  while (sent < frame.size()) {
    const ssize_t n = ::send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

int waitReadable(int fd, int timeoutMs, int stopFd) {
  pollfd p[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
  const nfds_t count = stopFd >= 0 ? 2 : 1;
  for (;;) {
    const int r = ::poll(p, count, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0 || p[0].revents == 0) return 0;
    return 1;
  }
}

std::optional<Message> receiveFrame(int fd, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::uint8_t header[kHeaderBytes];
  if (!readExactly(fd, header, deadline, timeoutMs)) return std::nullopt;
  const std::uint32_t length = headerLength(header);
  if (length == 0 || length > kMaxPayload) return std::nullopt;
  Bytes payload(length);
  if (!readExactly(fd, payload, deadline, timeoutMs)) return std::nullopt;
  return decodePayload(payload);
}

std::optional<Message> Channel::exchange(const Message& request) {
  const bool reused = socket_.valid();
  if (auto reply = tryOnce(request)) return reply;
  if (!reused) return std::nullopt;
  return tryOnce(request);
}

std::optional<Message> Channel::takeFrame(bool& refused) {
  refused = false;
  const FrameCheck check = checkFrame(input_);
  if (check.status == FrameStatus::Invalid) refused = true;
  if (check.status != FrameStatus::Complete) return std::nullopt;
  auto message =
      decodePayload(std::span(input_).subspan(kHeaderBytes, check.frameBytes - kHeaderBytes));
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(check.frameBytes));
  if (!message) refused = true;
  return message;
}

std::optional<Message> Channel::nextFrame(int timeoutMs, bool readable) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    bool refused = false;
    if (auto message = takeFrame(refused)) return message;
    if (refused) return std::nullopt;
    if (!readable && waitReadable(socket_.fd(), remainingMs(deadline, timeoutMs)) != 1)
      return std::nullopt;
    readable = false;
    // A reply usually comes whole: one read takes it, and keeps what follows for the next.
    std::uint8_t chunk[16384];
    const ssize_t n = ::recv(socket_.fd(), chunk, sizeof chunk, MSG_DONTWAIT);
    if (n == 0) return std::nullopt;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return std::nullopt;
    }
    input_.insert(input_.end(), chunk, chunk + n);
  }
}

std::optional<Message> Channel::receiveLater(int timeoutMs, bool& timedOut, int stopFd) {
  timedOut = false;
  if (!socket_.valid()) return std::nullopt;
  bool refused = false;
  if (auto message = takeFrame(refused)) return message;
  const int ready = refused ? -1 : waitReadable(socket_.fd(), timeoutMs, stopFd);
  if (ready == 0) {
    timedOut = true;
    return std::nullopt;
  }
  auto message = ready == 1 ? nextFrame(kReplyTimeoutMs, true) : std::nullopt;
  if (!message) drop();
  return message;
}

void Channel::interrupt() {
  std::lock_guard lock(fdMutex_);
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void Channel::drop() {
  std::lock_guard lock(fdMutex_);
  fd_ = -1;
  socket_.reset();
  input_.clear();
}

std::optional<Message> Channel::exchangeUnless(const Message& request, int replyTimeoutMs,
                                               int stopFd, bool& stopped) {
  stopped = false;
  const bool reused = socket_.valid();
  if (auto reply = tryOnce(request, replyTimeoutMs, stopFd, &stopped)) return reply;
  if (!reused || stopped) return std::nullopt;
  return tryOnce(request, replyTimeoutMs, stopFd, &stopped);
}

std::optional<Message> Channel::tryOnce(const Message& request, int replyTimeoutMs, int stopFd,
                                        bool* stopped) {
  if (!socket_.valid()) {
    Socket fresh = connectUnix(sim::socketPath());
    std::lock_guard lock(fdMutex_);
    socket_ = std::move(fresh);
    fd_ = socket_.fd();
    input_.clear();
    if (!socket_.valid()) return std::nullopt;
  }
  std::optional<Message> reply;
  if (sendFrame(socket_.fd(), request)) {
    if (stopFd < 0) {
      reply = nextFrame(replyTimeoutMs, false);
    } else {
      const int ready = waitReadable(socket_.fd(), replyTimeoutMs, stopFd);
      if (ready == 0 && stopped && waitReadable(stopFd, 0) == 1) *stopped = true;
      if (ready == 1) reply = nextFrame(kReplyTimeoutMs, true);
    }
  }
  // A reply still owed (a stop, a time-out) would answer the next request: the connection goes.
  if (!reply) drop();
  return reply;
}

}  // namespace platform::simwire
