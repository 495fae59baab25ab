#include "sim/WiaPages.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "platform/JpegErrors.h"
#include "platform/SimPage.h"

namespace sim {
namespace {

// One row of the page, as every simulated scanner draws it.
void drawRow(const PageSpec& page, std::uint32_t y, std::uint8_t* rgb, bool bgr = false) {
  platform::SimPageRow(static_cast<int>(page.width), static_cast<int>(page.height),
                       static_cast<int>(page.number), static_cast<int>(y), rgb, bgr);
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

bool writeBmp(const std::string& path, const PageSpec& page) {
  const std::uint32_t stride = (page.width * 3 + 3) / 4 * 4;
  const std::uint32_t imageBytes = stride * page.height;
  const auto pelsPerMetre = static_cast<std::uint32_t>((page.dpi * 10000 + 127) / 254);
  std::vector<std::uint8_t> head;
  head.push_back('B');
  head.push_back('M');
  put32(head, 54 + imageBytes);
  put32(head, 0);
  put32(head, 54);
  put32(head, 40);
  put32(head, page.width);
  put32(head, page.height);  // bottom-up
  put16(head, 1);
  put16(head, 24);
  put32(head, 0);
  put32(head, imageBytes);
  put32(head, pelsPerMetre);
  put32(head, pelsPerMetre);
  put32(head, 0);
  put32(head, 0);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  std::vector<std::uint8_t> row(stride, 0);  // stored as BGR, padded
  for (std::uint32_t y = page.height; y-- > 0;) {
    drawRow(page, y, row.data(), true);
    out.write(reinterpret_cast<const char*>(row.data()), stride);
  }
  out.close();  // the last bytes reach the file (or fail to) here
  return !out.fail();
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

bool writeJpeg(const std::string& path, const PageSpec& page) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  std::vector<std::uint8_t> rgb(page.width * 3);
  std::FILE* out = file.get();
  std::uint8_t* row = rgb.data();
  const bool encoded = platform::CompressJpeg([&page, out, row](jpeg_compress_struct& cinfo) {
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = page.width;
    cinfo.image_height = page.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.write_JFIF_header = TRUE;
    cinfo.density_unit = 1;  // dots per inch
    cinfo.X_density = static_cast<UINT16>(page.dpi);
    cinfo.Y_density = static_cast<UINT16>(page.dpi);
    jpeg_start_compress(&cinfo, TRUE);
    JSAMPROW rows[1] = {row};
    while (cinfo.next_scanline < cinfo.image_height) {
      drawRow(page, cinfo.next_scanline, row);
      jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
  });
  return encoded && std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace

std::optional<std::uint32_t> writePage(const std::string& path, const PageSpec& page) {
  if (page.width == 0 || page.height == 0) return std::nullopt;
  const bool ok = page.format == PageFormat::Jpeg ? writeJpeg(path, page) : writeBmp(path, page);
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (!ok || ec) {
    std::filesystem::remove(path, ec);
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(size);
}

}  // namespace sim
