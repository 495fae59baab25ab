// What a shell command printed, for checking our files with outside tools (identify, djpeg...).
#pragma once

#include <array>
#include <cstdio>
#include <string>

namespace test {

// The command's standard output, trailing line feeds and spaces cut; "" when it cannot start.
inline std::string commandOutput(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    std::array<char, 256> buf{};
    while (std::fgets(buf.data(), static_cast<int>(buf.size()), p)) out += buf.data();
    ::pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

}  // namespace test
