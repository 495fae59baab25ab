#include "scanning/PictureImage.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "scanning/FileClaims.h"

namespace scanning {
namespace {

bool tooLarge(long long width, long long height) {
  return width <= 0 || height <= 0 || width * height > kMaxPicturePixels;
}

QImage imageOf(const BmpPicture& bmp) {
  if (tooLarge(bmp.width(), bmp.height())) return QImage();
  const PixelRows rows = bmp.rows();
  QImage image(rows.width, rows.height, bmp.grey() ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
  if (image.isNull()) return image;  // no memory for it
  if (bmp.grey()) {
    for (int y = 0; y < rows.height; ++y) rows.row(y, image.scanLine(y));
    return image;
  }
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(rows.width) * 3);
  for (int y = 0; y < rows.height; ++y) {
    rows.row(y, rgb.data());
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < rows.width; ++x) out[x] = qRgb(rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]);
  }
  return image;
}

QImage loadJpeg(const std::string& file, int& bits) {
  ReadFile in = OpenRegularForReading(file);
  if (!in || std::fseek(in.get(), 0, SEEK_END) != 0) return QImage();
  const long size = std::ftell(in.get());
  if (size <= 0 || std::fseek(in.get(), 0, SEEK_SET) != 0) return QImage();
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (std::fread(bytes.data(), 1, bytes.size(), in.get()) != bytes.size()) return QImage();
  QImage image;
  const bool ok = DecodeJpeg(bytes.data(), bytes.size(), 1, JpegPixels::GreyOrRgb32, kMaxPicturePixels,
                             [&image](int width, int height, bool grey) {
                               image = QImage(width, height, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
                               return JpegRows{image.isNull() ? nullptr : image.bits(),
                                               static_cast<std::size_t>(image.bytesPerLine())};
                             });
  if (!ok) return QImage();
  bits = image.format() == QImage::Format_Grayscale8 ? 8 : 24;
  return image;
}

QImage loadBmp(const std::string& file, int& bits) {
  const auto bmp = BmpPicture::Load(file);
  if (!bmp) return QImage();
  const int depth = bmp->layout().bitCount;
  bits = depth;  // 1, 4, 8, 16, 24 or 32: the reader takes no other
  return imageOf(*bmp);
}

}  // namespace

QImage LoadPictureImage(const std::string& file, int* bits) {
  ReadFile in = OpenRegularForReading(file);
  if (!in) return QImage();
  unsigned char magic[2] = {0, 0};
  const std::size_t got = std::fread(magic, 1, 2, in.get());
  in.reset();
  int depth = 0;
  QImage image;
  if (got == 2 && magic[0] == 'B' && magic[1] == 'M') image = loadBmp(file, depth);
  else if (got == 2 && magic[0] == 0xFF && magic[1] == 0xD8) image = loadJpeg(file, depth);
  if (bits) *bits = image.isNull() ? 0 : depth;
  return image;
}

PixelRows RowsOf(const QImage& source) {
  const bool grey = source.isGrayscale();
  // Pictures this program loaded are RGB32 or Grayscale8 already: these are shallow copies.
  const QImage image = source.convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
  PixelRows rows;
  rows.width = image.width();
  rows.height = image.height();
  rows.channels = grey ? 1 : 3;
  if (grey) {
    rows.row = [image](int y, std::uint8_t* out) {
      std::copy_n(image.constScanLine(y), image.width(), out);
    };
  } else {
    rows.row = [image](int y, std::uint8_t* out) {
      const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      for (int x = 0; x < image.width(); ++x, out += 3) {
        out[0] = static_cast<std::uint8_t>(qRed(in[x]));
        out[1] = static_cast<std::uint8_t>(qGreen(in[x]));
        out[2] = static_cast<std::uint8_t>(qBlue(in[x]));
      }
    };
  }
  return rows;
}

}  // namespace scanning
