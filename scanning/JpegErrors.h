#pragma once
#include "platform/JpegErrors.h"

namespace scanning {
using platform::JpegErrorJump;
}  // namespace scanning
