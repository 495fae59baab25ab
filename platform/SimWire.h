#pragma once
// The simulated host's wire format, shared by its clients and its daemon: over a Unix stream
// socket, each message is one frame of a 4-byte little-endian payload length and the payload, whose
// first byte is the message kind. A frame whose length is 0 or above kMaxPayload, or whose payload
// does not decode exactly, is refused.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/DeviceIo.h"

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

// Replies.
struct InterfacesReply {
  bool listed = false;
  std::vector<InterfaceSlot> slots;
};
struct OpenReply {
  std::int64_t handle = -1;
};
struct CloseReply {};
struct ControlReply {
  bool ok = false;
  std::uint32_t returned = 0;
  std::vector<std::uint8_t> reply;
};
struct ReadReply {
  ReadStatus status = ReadStatus::Failed;
  std::vector<std::uint8_t> bytes;
};
struct AdminReply {
  bool ok = false;
  std::string text;
};

using Message = std::variant<ListInterfacesRequest, OpenRequest, CloseRequest, ControlRequest,
                             ReadRequest, AdminRequest, InterfacesReply, OpenReply, CloseReply,
                             ControlReply, ReadReply, AdminReply>;

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
int waitReadable(int fd, int timeoutMs);
// One whole frame, within timeoutMs; nullopt on a timeout, a closed or failed connection, or a
// frame that is refused.
std::optional<Message> receiveFrame(int fd, int timeoutMs);

}  // namespace platform::simwire
