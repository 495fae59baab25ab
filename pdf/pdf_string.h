// PDF literal string escapes.
#pragma once

#include <string>

namespace tpdf {

// A backslash before "(", ")" and backslash; a carriage return as "\r".
std::string escapeText(const char* bytes, std::size_t length);
std::string escapeText(const char* text);

// The bytes a hexadecimal text stands for: non-digits skipped, a last odd digit dropped.
// Throws std::bad_alloc.
std::string hexTextBytes(const char* hex);

// The escapes above, and every carriage return or line feed as "\r\n" (note texts, titles).
std::string escapeNoteText(const char* bytes, std::size_t length);

// A PDF name's characters, with "#xx" for delimiters, blanks and bytes outside 33..126.
std::string pdfName(const char* name);

} // namespace tpdf
