#include "platform/NumberText.h"

#include <array>
#include <charconv>
#include <cmath>

namespace platform {

std::string FixedText(double value, int decimals) {
  if (!std::isfinite(value)) value = 0.0;
  std::array<char, 400> text{};  // the longest double in fixed notation, with room for decimals
  const auto [end, ec] =
      std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return "0";
  return std::string(text.data(), end);
}

}  // namespace platform
