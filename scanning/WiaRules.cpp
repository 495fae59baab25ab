#include "scanning/WiaRules.h"

#include <cctype>
#include <csetjmp>
#include <cstdio>
// libjpeg's header needs size_t and FILE declared first.
#include <jpeglib.h>

#include "scanning/JpegErrors.h"

namespace scanning {

WiaGroupName ChooseWiaGroupName(const std::string& folder, const std::string& name,
                                const std::string& ext,
                                const std::function<bool(const std::string&)>& exists) {
  std::string lower = ext;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  WiaGroupName out;
  out.fullName = folder + name + "." + lower;
  if (out.fullName.size() > kWiaMaxFullName) {
    out.result = WiaGroupResult::TooLong;
    return out;
  }
  const auto taken = [&](const std::string& candidate) {
    const std::string base = folder + candidate;
    return exists(base + "." + lower) || exists(base + ".bmp") || exists(base + ".jpg");
  };
  for (int k = 0; k <= 1000; ++k) {
    std::string candidate = name;
    if (k > 0) {
      char digits[8];
      std::snprintf(digits, sizeof digits, " %03d", k);
      candidate += digits;
    }
    if (!taken(candidate)) {
      out.name = candidate;
      return out;
    }
  }
  out.result = WiaGroupResult::AllTaken;
  out.name = name;
  return out;
}

std::string WiaPageSuffix(int index) {
  if (index <= 0) return {};
  char digits[16];
  std::snprintf(digits, sizeof digits, "_%03d", index);
  return digits;
}

PreviewBox FitPreviewBox(int pictureWidth, int pictureHeight, int boxWidth, int boxHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0) return {boxWidth, boxHeight};
  const long long w = pictureWidth, h = pictureHeight;
  // The box ratio at least the picture's (boxHeight / boxWidth >= h / w): keep the width.
  if (static_cast<long long>(boxHeight) * w >= h * boxWidth)
    return {boxWidth, static_cast<int>(boxWidth * h / w)};
  return {static_cast<int>(boxHeight * w / h), boxHeight};
}

bool LooksLikeBmp(const std::uint8_t* bytes, std::size_t size) {
  return size >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

namespace {

// A decoded preview never needs more than this many pixels.
constexpr long long kMaxPixels = 64LL * 1024 * 1024;
// A picture of several scans is held whole while it decodes: beyond an A4 page at 1000 dpi it is
// refused rather than let a forged header ask for gigabytes.
constexpr long long kMaxMultiScanPixels = 100LL * 1000 * 1000;

// Only plain data and the output vector (sized before any longjmp can come) live across setjmp.
bool decode(const std::uint8_t* bytes, std::size_t size, int scale, DecodedPicture& out) {
  jpeg_decompress_struct cinfo;
  JpegErrorJump err;
  cinfo.err = err.install();
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes, static_cast<unsigned long>(size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  const long long sourcePixels =
      static_cast<long long>(cinfo.image_width) * static_cast<long long>(cinfo.image_height);
  if (jpeg_has_multiple_scans(&cinfo) && sourcePixels > kMaxMultiScanPixels) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  cinfo.scale_num = 1;
  cinfo.scale_denom = static_cast<unsigned>(scale);
  cinfo.out_color_space = JCS_RGB;
  jpeg_calc_output_dimensions(&cinfo);
  const long long pixels =
      static_cast<long long>(cinfo.output_width) * static_cast<long long>(cinfo.output_height);
  if (pixels <= 0 || pixels > kMaxPixels || cinfo.output_components != 3) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  out.width = static_cast<int>(cinfo.output_width);
  out.height = static_cast<int>(cinfo.output_height);
  out.rgb.assign(static_cast<std::size_t>(pixels) * 3, 0);
  jpeg_start_decompress(&cinfo);
  const std::size_t stride = static_cast<std::size_t>(out.width) * 3;
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.rgb.data() + stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

std::optional<DecodedPicture> DecodeJpegScaled(const std::uint8_t* bytes, std::size_t size, int scale) {
  if (!bytes || size < 4 || (scale != 1 && scale != 2 && scale != 4 && scale != 8)) return std::nullopt;
  DecodedPicture picture;
  if (!decode(bytes, size, scale, picture)) return std::nullopt;
  return picture;
}

}  // namespace scanning
