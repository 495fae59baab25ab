#pragma once
#include <cstdint>

namespace platform {

// A device or file handle as the system sees it: a plain number, -1 meaning none.
using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

}  // namespace platform
