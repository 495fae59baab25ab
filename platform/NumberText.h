#pragma once
// Numbers as files, registry values and the wire carry them: a "." for the decimal point and no
// grouping, whatever locale the process runs under (Qt takes the user's, and printf's "%f"
// follows it).
#include <string>

namespace platform {

// `value` with exactly `decimals` digits after the point ("595.28"); "0" decimals gives a whole
// number. A value that is not finite is written as 0, so that no reader meets "inf" or "nan".
std::string FixedText(double value, int decimals);

}  // namespace platform
