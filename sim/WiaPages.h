#pragma once
// The page files a simulated scanner writes, as a real device writes them: a BMP (24 bits, its
// resolution in pixels per metre) or a JPEG (its resolution in the JFIF header).
#include <cstdint>
#include <optional>
#include <string>

namespace sim {

enum class PageFormat { Bmp, Jpeg };

struct PageSpec {
  PageFormat format = PageFormat::Bmp;
  std::uint32_t width = 850, height = 1100, dpi = 300;
  std::uint32_t number = 1;  // drawn on the page, so that pages differ
};

// Writes the page to `path`; the file's size, or nullopt (and no file) when it cannot be written.
std::optional<std::uint32_t> writePage(const std::string& path, const PageSpec& page);

}  // namespace sim
