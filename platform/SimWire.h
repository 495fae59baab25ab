#pragma once
// The simulated host's wire format, shared by its clients and its daemon: over a Unix stream
// socket, each message is one frame of a 4-byte little-endian payload length and the payload, whose
// first byte is the message kind. A frame whose length is 0 or above kMaxPayload, or whose payload
// does not decode exactly, is refused.
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/DeviceIo.h"
#include "platform/Firewall.h"
#include "platform/PrintSpooler.h"
#include "platform/UdpNetwork.h"
#include "platform/SimWiaWire.h"
#include "platform/SimScanner.h"

namespace platform::simwire {

inline constexpr std::size_t kHeaderBytes = 4;
inline constexpr std::uint32_t kMaxPayload = 1u << 20;

// Requests. `host` is the computer the client runs as.
struct ListInterfacesRequest {
  std::string host, classGuid;
};
struct OpenRequest {
  std::string host, path;
  std::uint32_t access = 0;
  bool overlapped = false;
};
struct CloseRequest {
  std::string host;
  std::int64_t handle = -1;
};
struct ControlRequest {
  std::string host;
  std::int64_t handle = -1;
  std::uint32_t code = 0;
  std::uint32_t outSize = 0;
  std::vector<std::uint8_t> input;  // the first inSize bytes of the caller's buffer
};
// Answered by a ReadReply at once; when that says Pending, a second ReadReply follows when the read
// ends. Sent on a connection of its own, so that waiting blocks no control request.
struct ReadRequest {
  std::string host;
  std::int64_t handle = -1;
  std::uint32_t maxBytes = 0;
};
// A command of the control tool, as JSON text.
struct AdminRequest {
  std::string json;
};

// A call of the print spooler, answered by a SpoolerReply.
enum class SpoolerOp : std::uint8_t {
  OpenPrinter = 1,
  ClosePrinter,
  GetPrinter,
  SetPrinter,
  ControlPrinter,
  EnumJobs,
  SetJob,
  EnumPorts,
  FindFirstChange,
  FindNextChange,
  CloseChange,
  CheckChange,  // has the notification fired since its last reset? (never waits)
  EnumPrinters,
  EnumJobIds,
  XcvData,
  DeletePort,
  AddPortEx,
  AddPrinterWizard,
  // Answered once the notification fires or `first` milliseconds have passed, as CheckChange
  // would answer then. Sent on a connection of its own, so that the wait holds up no other call.
  // With `second` kWaitThenLook, the answer also resets the notification and reads its queue.
  WaitChange,
};
inline constexpr std::uint8_t kLastSpoolerOp = static_cast<std::uint8_t>(SpoolerOp::WaitChange);
// A WaitChange that looks at the queue when it is answered, so that a watcher's look after the
// wait (reset, job count, level-2 information) costs no further call: the notification is reset
// (FindNextChange) and, when that succeeds, the reply's handle names the queue's open handle and
// its needed and printer fields are GetPrinter's answer for it. A failed reset leaves handle -1.
inline constexpr std::uint32_t kWaitThenLook = 1;

struct SpoolerRequest {
  std::string host;
  SpoolerOp op = SpoolerOp::OpenPrinter;
  std::int64_t handle = -1;  // the queue's handle, or the notification's
  // OpenPrinter: the queue (or ",XcvMonitor NAME"); XcvData: the command; DeletePort, AddPortEx:
  // the port.
  std::string name;
  // OpenPrinter: access; ControlPrinter: command; EnumJobs, EnumJobIds: first job; SetJob: job
  // id; FindFirstChange: filter; EnumPrinters: flags; WaitChange: milliseconds.
  std::uint32_t first = 0;
  std::uint32_t second = 0;  // EnumJobs, EnumJobIds: count; SetJob: command
  std::uint32_t bufferBytes = 0;  // XcvData: the output's room
  PrinterInfo printer;       // SetPrinter
  std::string monitor;       // AddPortEx
  std::vector<std::uint8_t> input;  // XcvData
};

// A call of the simulated network's datagram sockets, answered by a UdpReply.
struct UdpRequest {
  std::string host;
  UdpCall call;
};
// A step of the firewall's current profile, answered by a FirewallReply.
struct FirewallRequest {
  std::string host;
  FirewallCall call;
};
// What a computer's scanners ask of the simulated host, answered by a ScannerReply.
enum class ScannerOp : std::uint8_t {
  List = 1,  // the computer's network scanners, and whether it lists SANE devices
  Held,      // does the computer hold the shared device of scanner `index` now?
};
inline constexpr std::uint8_t kLastScannerOp = static_cast<std::uint8_t>(ScannerOp::Held);

struct ScannerRequest {
  std::string host;
  ScannerOp op = ScannerOp::List;
  std::uint32_t index = 0;
};

// Replies.
struct InterfacesReply {
  bool listed = false;
  std::vector<InterfaceSlot> interfaces;  // not "slots", which Qt code takes for a keyword
};
struct OpenReply {
  std::int64_t handle = -1;
};
struct CloseReply {};
struct ControlReply {
  bool ok = false;
  std::uint32_t returned = 0;
  std::vector<std::uint8_t> reply;
  std::uint32_t error = 0;  // when !ok: kErrorDeviceGone for a handle that names nothing, else 0
};
struct ReadReply {
  ReadStatus status = ReadStatus::Failed;
  std::vector<std::uint8_t> bytes;
  std::uint32_t error = 0;  // when Failed, as ControlReply's
};
struct AdminReply {
  bool ok = false;
  std::string text;
};
struct SpoolerReply {
  bool ok = false;
  std::uint32_t error = 0;
  std::uint32_t needed = 0;
  std::int64_t handle = -1;   // OpenPrinter, FindFirstChange
  std::uint32_t changes = 0;  // CheckChange: the flags raised since the last reset, 0 for none
  PrinterInfo printer;
  std::vector<JobInfo> jobs;  // EnumJobIds: the ids alone
  std::vector<PortInfo> ports;
  std::vector<PrinterInfo5> printers;
  std::uint32_t status = 0;          // XcvData: the monitor's answer
  std::vector<std::uint8_t> output;  // XcvData
};

struct UdpReply {
  UdpAnswer answer;
};
struct FirewallReply {
  FirewallAnswer answer;
};
struct ScannerReply {
  bool ok = false;  // false: no such computer or scanner
  bool held = false;
  bool sane = false;
  std::vector<SimScanner> scanners;
};

using Message = std::variant<ListInterfacesRequest, OpenRequest, CloseRequest, ControlRequest,
                             ReadRequest, AdminRequest, SpoolerRequest, InterfacesReply, OpenReply,
                             CloseReply, ControlReply, ReadReply, AdminReply, SpoolerReply,
                             UdpRequest, UdpReply, FirewallRequest, FirewallReply,
                             ScannerRequest, ScannerReply, WiaRequest, WiaReply>;

// The whole frame (header and payload). Empty when the payload would exceed kMaxPayload.
std::vector<std::uint8_t> encodeFrame(const Message& message);

enum class FrameStatus { Complete, Incomplete, Invalid };
struct FrameCheck {
  FrameStatus status = FrameStatus::Incomplete;
  std::size_t frameBytes = 0;  // header and payload, when Complete
};
// Looks at the start of a byte stream: is a whole frame there?
FrameCheck checkFrame(std::span<const std::uint8_t> stream);
// Decodes a payload (without its header); nullopt unless it is one well-formed message.
std::optional<Message> decodePayload(std::span<const std::uint8_t> payload);

// --- Blocking helpers on sockets.

// Owns a file descriptor.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  Socket(Socket&& other) noexcept : fd_(other.release()) {}
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() { reset(); }
  int fd() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release();
  void reset();

 private:
  int fd_ = -1;
};

// Connects to a Unix stream socket; an invalid Socket when nobody listens there.
Socket connectUnix(const std::string& path);
bool sendFrame(int fd, const Message& message);
// 1 when fd can be read, 0 when timeoutMs ran out first (negative: wait without end), -1 on error.
// With stopFd (not -1), 0 as well as soon as stopFd can be read.
int waitReadable(int fd, int timeoutMs, int stopFd = -1);
// One whole frame, within timeoutMs; nullopt on a timeout, a closed or failed connection, or a
// frame that is refused.
std::optional<Message> receiveFrame(int fd, int timeoutMs);

// How long a reply may take; the daemon answers at once, so only a stuck daemon hits this.
inline constexpr int kReplyTimeoutMs = 5000;

// A client's connection to the daemon (platform::sim::socketPath()), made on first use and made
// again after it broke. One caller at a time, except interrupt().
class Channel {
 public:
  // Sends a request and takes its reply. A connection that was made earlier may have died with
  // an old daemon; then the request goes once more over a fresh one.
  std::optional<Message> exchange(const Message& request);
  // The same for a request whose reply may take up to replyTimeoutMs, waited for until stopFd
  // (when not -1) can be read: then the connection is dropped and `stopped` set.
  std::optional<Message> exchangeUnless(const Message& request, int replyTimeoutMs, int stopFd,
                                        bool& stopped);
  // Takes a frame that follows later (a read's end), waiting up to timeoutMs (negative: no end)
  // or until stopFd (when not -1) is readable. nullopt with timedOut set when nothing came by then.
  std::optional<Message> receiveLater(int timeoutMs, bool& timedOut, int stopFd = -1);
  // Ends any wait on this connection from another thread; the fd stays owned until drop().
  void interrupt();
  void drop();

 private:
  std::optional<Message> tryOnce(const Message& request, int replyTimeoutMs = kReplyTimeoutMs,
                                 int stopFd = -1, bool* stopped = nullptr);
  // A whole frame already read, if there is one; `refused` when the bytes read cannot be one.
  std::optional<Message> takeFrame(bool& refused);
  // The next whole frame, read within timeoutMs; `readable` when the socket is known to be.
  std::optional<Message> nextFrame(int timeoutMs, bool readable);

  Socket socket_;
  // Bytes read past the last whole frame (the start of the next one).
  std::vector<std::uint8_t> input_;
  // fd_ mirrors socket_ for interrupt(), which runs on another thread than the waits.
  std::mutex fdMutex_;
  int fd_ = -1;
};

}  // namespace platform::simwire
