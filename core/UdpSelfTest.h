#pragma once
// The UDP broadcast self-test: one broadcast socket per usable adapter, a short datagram broadcast
// on port 9303 that must come back, and the sockets' clean-up. The device servers are found by the
// driver, not by these sockets.
#include <array>
#include <cstdint>
#include <functional>

#include "platform/UdpNetwork.h"

namespace core {

inline constexpr std::uint16_t kUdpSelfTestPort = 9303;
inline constexpr int kUdpSocketSlots = 30;
inline constexpr std::uint32_t kUdpReceiveTimeoutMs = 700;

// Starts the socket layer (cleaning up first when it was started): 0 when started.
int NetStartup();
// Starts the layer when needed and fills the adapter table (up to three walks, a second apart).
void NetInit();
// One socket per adapter row, bound to the row's address on 9303 (or any port). Every slot still
// open is closed first, so that a retry neither leaks nor overwrites a socket.
bool OpenUdpSockets(bool anyPort);
// True when the broadcast came back, and also when it could not be sent. `pump` runs the
// window messages between reads.
bool UdpSelfTest(const std::function<void()>& pump = {});
void CloseUdpSockets();
void NetCleanup();

// For the tests: the slots (0 = empty) and whether every row's socket opened.
const std::array<platform::UdpSocket, kUdpSocketSlots>& UdpSocketSlots();
bool UdpSocketsOpen();

}  // namespace core
