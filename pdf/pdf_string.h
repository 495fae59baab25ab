// PDF literal string escapes.
#pragma once

#include <string>

namespace tpdf {

// A backslash before "(", ")" and backslash; a carriage return as "\r".
std::string escapeText(const char* bytes, std::size_t length);
std::string escapeText(const char* text);

} // namespace tpdf
