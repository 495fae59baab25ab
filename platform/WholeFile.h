#pragma once
// Files written whole: a reader, another process or the next start, sees the old file or the new
// one, never a part of it, and a write that fails (a full disk, say) leaves the old one as it was.
#include <string>
#include <string_view>

namespace platform {

// Writes `bytes` to a new file beside `path`, flushes it to the disk and closes it, each step
// checked, then renames it over `path`. On any failure `path` is untouched, the new file is
// removed, and `whyNot` (when given) says what failed. A new file gets mode 0644, a replaced one
// keeps its own.
bool WriteFileWhole(const std::string& path, std::string_view bytes, std::string* whyNot = nullptr);

}  // namespace platform
