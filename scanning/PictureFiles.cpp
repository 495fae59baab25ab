#include "scanning/PictureFiles.h"

#include <jpeglib.h>

#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <system_error>

#include "platform/JpegErrors.h"
#include "scanning/FileClaims.h"

namespace scanning {
namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kMaxSide = 65535;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;  // larger than any page a scanner hands over

std::uint16_t u16le(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t u32le(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void putU16le(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void putU32le(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Up to `limit` bytes from the file's start.
std::optional<std::vector<std::uint8_t>> readStart(std::FILE* f, std::size_t limit) {
  std::vector<std::uint8_t> bytes(limit);
  const std::size_t got = std::fread(bytes.data(), 1, limit, f);
  if (std::ferror(f)) return std::nullopt;
  bytes.resize(got);
  return bytes;
}

bool writeAt(std::FILE* f, long offset, const std::uint8_t* bytes, std::size_t n) {
  return std::fseek(f, offset, SEEK_SET) == 0 && std::fwrite(bytes, 1, n, f) == n;
}

// Only a picture file of this run is patched in place: a file put under its name is the user's.
OwnFile openForPatching(const std::string& file) { return OpenOwnForUpdate(file); }

// The info header's fields and the colour table, checked against `avail` bytes from its start;
// the pixels are not checked here.
std::optional<BitmapInfo> parseHeader(const std::uint8_t* dib, std::size_t avail) {
  if (!dib || avail < kInfoHeaderBytes) return std::nullopt;
  BitmapInfo d;
  d.headerSize = u32le(dib);
  if (d.headerSize < kInfoHeaderBytes || d.headerSize > avail) return std::nullopt;
  const auto width = static_cast<std::int32_t>(u32le(dib + 4));
  const auto height = static_cast<std::int32_t>(u32le(dib + 8));
  if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min())
    return std::nullopt;
  const std::uint32_t absHeight = static_cast<std::uint32_t>(height < 0 ? -height : height);
  if (static_cast<std::uint32_t>(width) > kMaxSide || absHeight > kMaxSide) return std::nullopt;
  d.width = width;
  d.height = static_cast<int>(absHeight);
  d.topDown = height < 0;
  d.bitCount = u16le(dib + 14);
  switch (d.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return std::nullopt;
  }
  d.compression = u32le(dib + 16);
  const std::uint32_t sizeImage = u32le(dib + 20);
  const std::uint32_t clrUsed = u32le(dib + 32);
  if (clrUsed > 256 || (d.bitCount <= 8 && clrUsed > (1u << d.bitCount))) return std::nullopt;
  d.colourEntries = clrUsed ? clrUsed : (d.bitCount <= 8 ? (1u << d.bitCount) : 0);
  d.maskBytes = (d.compression == kBiBitfields && d.headerSize == kInfoHeaderBytes) ? 12 : 0;
  const std::uint64_t row = ((static_cast<std::uint64_t>(width) * d.bitCount + 31) / 32) * 4;
  d.rowBytes = static_cast<std::uint32_t>(row);
  if (d.compression == kBiRgb || d.compression == kBiBitfields) {
    d.imageBytes = static_cast<std::uint32_t>(row * absHeight);  // at most 65535*65535*4/... fits
    if (row * absHeight > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  } else {
    if (sizeImage == 0) return std::nullopt;  // a compressed picture must say how long it is
    d.imageBytes = sizeImage;
  }
  if (static_cast<std::uint64_t>(d.pixelOffset()) > avail) return std::nullopt;
  return d;
}

}  // namespace

std::optional<BitmapInfo> ParseDib(const std::uint8_t* dib, std::size_t size) {
  auto d = parseHeader(dib, size);
  if (!d) return std::nullopt;
  if (static_cast<std::uint64_t>(d->pixelOffset()) + d->imageBytes > size) return std::nullopt;
  return d;
}

int WriteDibToFile(const std::uint8_t* dib, std::size_t size, const std::string& file) {
  const auto d = ParseDib(dib, size);
  if (!d) return -3;
  const std::uint64_t offBits = kFileHeaderBytes + d->pixelOffset();
  const std::uint64_t fileSize = offBits + d->imageBytes;
  if (fileSize > std::numeric_limits<std::uint32_t>::max()) return -3;

  std::uint8_t header[kFileHeaderBytes] = {'B', 'M'};
  putU32le(header + 2, static_cast<std::uint32_t>(fileSize));
  putU32le(header + 10, static_cast<std::uint32_t>(offBits));
  std::vector<std::uint8_t> info(dib, dib + d->headerSize);
  if (d->compression == kBiRgb || d->compression == kBiBitfields)
    putU32le(info.data() + 20, d->imageBytes);

  OwnFile f = OpenForWriting(file);
  if (!f) return -4;
  const std::size_t rest = d->pixelOffset() + d->imageBytes - d->headerSize;
  bool ok = std::fwrite(header, 1, sizeof header, f.get()) == sizeof header &&
            std::fwrite(info.data(), 1, info.size(), f.get()) == info.size() &&
            std::fwrite(dib + d->headerSize, 1, rest, f.get()) == rest;
  ok = CloseOwnFile(std::move(f)) && ok;
  if (!ok) {
    const int why = errno;
    RemoveOwnFile(file);
    errno = why;
    return -4;
  }
  return 0;
}

std::int32_t DpiToPelsPerMetre(int dpi) {
  return static_cast<std::int32_t>(std::trunc(dpi * 39.37 + 0.5));
}

int PelsPerMetreToDpi(std::int32_t pelsPerMetre) {
  if (pelsPerMetre <= 0) return 0;
  // The stored value was rounded from dpi * 39.37; rounding back gives the dpi it came from.
  return static_cast<int>(std::lround(pelsPerMetre * 0.0254000508001016));
}

bool WriteBmpResolution(const std::string& file, int dpi) {
  OwnFile f = openForPatching(file);
  if (!f) return false;
  const auto start = readStart(f.get(), kFileHeaderBytes + kInfoHeaderBytes);
  if (!start || start->size() < kFileHeaderBytes + kInfoHeaderBytes || (*start)[0] != 'B' ||
      (*start)[1] != 'M' || u32le(start->data() + kFileHeaderBytes) < kInfoHeaderBytes)
    return false;
  std::uint8_t value[4];
  putU32le(value, static_cast<std::uint32_t>(DpiToPelsPerMetre(dpi)));
  const bool ok = writeAt(f.get(), 38, value, 4) && writeAt(f.get(), 42, value, 4);
  return CloseOwnFile(std::move(f)) && ok;
}

std::optional<int> BmpResolutionFromBytes(const std::uint8_t* bytes, std::size_t size) {
  if (!bytes || size < 46 || bytes[0] != 'B' || bytes[1] != 'M' ||
      u32le(bytes + kFileHeaderBytes) < kInfoHeaderBytes)
    return std::nullopt;
  return PelsPerMetreToDpi(static_cast<std::int32_t>(u32le(bytes + 42)));
}

int ReadBmpResolution(const std::string& file) {
  const ReadFile f = OpenRegularForReading(file);
  if (!f) return 0;
  const auto start = readStart(f.get(), kFileHeaderBytes + kInfoHeaderBytes);
  if (!start) return 0;
  return BmpResolutionFromBytes(start->data(), start->size()).value_or(0);
}

// An APP0 segment: FF E0, its length (at least 16), "JFIF" and a zero, version, units, densities.
std::optional<std::size_t> FindJfifHeader(const std::uint8_t* bytes, std::size_t size) {
  if (!bytes) return std::nullopt;
  const std::size_t searched = std::min(size, kJfifSearchBytes);
  for (std::size_t j = 0; j + 4 <= searched; ++j) {
    if (std::memcmp(bytes + j, "JFIF", 4) != 0) continue;
    const bool app0 = j >= 4 && bytes[j - 4] == 0xFF && bytes[j - 3] == 0xE0 &&
                      ((bytes[j - 2] << 8) | bytes[j - 1]) >= 16;
    if (!app0 || j + 12 > size || bytes[j + 4] != 0) return std::nullopt;
    return j;
  }
  return std::nullopt;
}

std::optional<int> JpegResolutionFromBytes(const std::uint8_t* bytes, std::size_t size) {
  const auto j = FindJfifHeader(bytes, size);
  if (!j) return std::nullopt;
  return static_cast<std::int16_t>((bytes[*j + 10] << 8) | bytes[*j + 11]);
}

bool WriteJpegResolution(const std::string& file, int dpi) {
  OwnFile f = openForPatching(file);
  if (!f) return false;
  const auto start = readStart(f.get(), kJfifSearchBytes + 12);
  if (!start) return false;
  const auto j = FindJfifHeader(start->data(), start->size());
  if (!j) return false;
  const auto d = static_cast<std::uint16_t>(dpi);
  const std::uint8_t fields[5] = {1, static_cast<std::uint8_t>(d >> 8), static_cast<std::uint8_t>(d),
                                  static_cast<std::uint8_t>(d >> 8), static_cast<std::uint8_t>(d)};
  const bool ok = writeAt(f.get(), static_cast<long>(*j + 7), fields, sizeof fields);
  return CloseOwnFile(std::move(f)) && ok;
}

int ReadJpegResolution(const std::string& file) {
  const ReadFile f = OpenRegularForReading(file);
  if (!f) return 0;
  const auto start = readStart(f.get(), kJfifSearchBytes + 12);
  if (!start) return 0;
  return JpegResolutionFromBytes(start->data(), start->size()).value_or(0);
}

// ---- bitmap files read back ----

std::optional<BmpPicture> BmpPicture::FromBytes(std::vector<std::uint8_t> bytes) {
  if (bytes.size() < kFileHeaderBytes + kInfoHeaderBytes || bytes[0] != 'B' || bytes[1] != 'M')
    return std::nullopt;
  auto d = parseHeader(bytes.data() + kFileHeaderBytes, bytes.size() - kFileHeaderBytes);
  if (!d || d->compression != kBiRgb) return std::nullopt;
  const std::uint64_t offBits = u32le(bytes.data() + 10);
  if (offBits < kFileHeaderBytes + d->pixelOffset() || offBits + d->imageBytes > bytes.size())
    return std::nullopt;

  BmpPicture p;
  p.layout_ = *d;
  p.pixels_ = static_cast<std::size_t>(offBits);
  const std::uint8_t* table = bytes.data() + kFileHeaderBytes + d->headerSize + d->maskBytes;
  if (d->bitCount <= 8) {
    p.grey_ = true;
    for (std::uint32_t i = 0; i < d->colourEntries; ++i) {
      const std::uint8_t* e = table + 4 * i;
      p.palette_.push_back((std::uint32_t{e[2]} << 16) | (std::uint32_t{e[1]} << 8) | e[0]);
      if (e[0] != e[1] || e[1] != e[2]) p.grey_ = false;
    }
  }
  p.bytes_ = std::move(bytes);
  return p;
}

std::optional<BmpPicture> BmpPicture::Load(const std::string& file) {
  const ReadFile f = OpenRegularForReading(file);
  if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) return std::nullopt;
  const long size = std::ftell(f.get());
  if (size < 0 || std::fseek(f.get(), 0, SEEK_SET) != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (std::fread(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) return std::nullopt;
  return FromBytes(std::move(bytes));
}

int BmpPicture::resolution() const {
  return BmpResolutionFromBytes(bytes_.data(), bytes_.size()).value_or(0);
}

PixelRows BmpPicture::rows() const {
  PixelRows r;
  r.width = layout_.width;
  r.height = layout_.height;
  r.channels = grey_ ? 1 : 3;
  r.row = [this](int y, std::uint8_t* out) { rowPixels(y, out); };
  return r;
}

void BmpPicture::rowPixels(int y, std::uint8_t* out) const {
  const int fileRow = layout_.topDown ? y : layout_.height - 1 - y;
  const std::uint8_t* src =
      bytes_.data() + pixels_ + static_cast<std::size_t>(fileRow) * layout_.rowBytes;
  const int w = layout_.width;
  switch (layout_.bitCount) {
    case 24:
      for (int x = 0; x < w; ++x, src += 3, out += 3) {
        out[0] = src[2];
        out[1] = src[1];
        out[2] = src[0];
      }
      return;
    case 32:
      for (int x = 0; x < w; ++x, src += 4, out += 3) {
        out[0] = src[2];
        out[1] = src[1];
        out[2] = src[0];
      }
      return;
    case 16:
      for (int x = 0; x < w; ++x, src += 2, out += 3) {
        const unsigned v = u16le(src);
        out[0] = static_cast<std::uint8_t>(((v >> 10) & 31) * 255 / 31);
        out[1] = static_cast<std::uint8_t>(((v >> 5) & 31) * 255 / 31);
        out[2] = static_cast<std::uint8_t>((v & 31) * 255 / 31);
      }
      return;
    default: break;
  }
  // Palette pictures: an index past the table reads as black.
  const int bits = layout_.bitCount;
  const unsigned mask = (1u << bits) - 1;
  for (int x = 0; x < w; ++x) {
    const std::size_t bit = static_cast<std::size_t>(x) * static_cast<std::size_t>(bits);
    const unsigned index = (src[bit / 8] >> (8 - bits - static_cast<int>(bit % 8))) & mask;
    const std::uint32_t c = index < palette_.size() ? palette_[index] : 0;
    if (grey_) {
      *out++ = static_cast<std::uint8_t>(c);
    } else {
      *out++ = static_cast<std::uint8_t>(c >> 16);
      *out++ = static_cast<std::uint8_t>(c >> 8);
      *out++ = static_cast<std::uint8_t>(c);
    }
  }
}

// ---- writers ----

namespace {

// A libjpeg failure (a full disk among them) comes back as false.
bool encode(const PixelRows& picture, std::FILE* out, int quality, std::uint8_t* row) {
  return platform::CompressJpeg([&](jpeg_compress_struct& cinfo) {
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = static_cast<JDIMENSION>(picture.width);
    cinfo.image_height = static_cast<JDIMENSION>(picture.height);
    cinfo.input_components = picture.channels;
    cinfo.in_color_space = picture.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    JSAMPROW rows[1] = {row};
    for (int y = 0; y < picture.height; ++y) {
      picture.row(y, row);
      jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
  });
}

}  // namespace

bool SaveJpeg(const PixelRows& picture, const std::string& file, int quality) {
  if (picture.width <= 0 || picture.height <= 0 || !picture.row ||
      (picture.channels != 1 && picture.channels != 3) || picture.width > 65500 ||
      picture.height > 65500)
    return false;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(picture.width) *
                                static_cast<std::size_t>(picture.channels));
  OwnFile f = OpenForWriting(file);
  if (!f) return false;
  bool ok = encode(picture, f.get(), quality, row.data());
  ok = CloseOwnFile(std::move(f)) && ok;
  if (!ok) RemoveOwnFile(file);
  return ok;
}

bool SaveJpegWithResolution(const PixelRows& picture, const std::string& file, int dpi) {
  if (!SaveJpeg(picture, file, kJpegQuality)) return false;
  if (WriteJpegResolution(file, dpi)) return true;
  RemoveOwnFile(file);
  return false;
}

bool SaveBmp(const PixelRows& picture, const std::string& file, int dpi) {
  if (picture.width <= 0 || picture.height <= 0 || !picture.row ||
      (picture.channels != 1 && picture.channels != 3) ||
      static_cast<std::uint32_t>(picture.width) > kMaxSide ||
      static_cast<std::uint32_t>(picture.height) > kMaxSide)
    return false;
  const bool grey = picture.channels == 1;
  const std::uint32_t bits = grey ? 8 : 24;
  const std::uint32_t rowBytes = ((static_cast<std::uint32_t>(picture.width) * bits + 31) / 32) * 4;
  const std::uint32_t entries = grey ? 256 : 0;
  const std::uint32_t offBits = static_cast<std::uint32_t>(kFileHeaderBytes + kInfoHeaderBytes) + 4 * entries;
  const std::uint64_t imageBytes = std::uint64_t{rowBytes} * static_cast<std::uint32_t>(picture.height);
  if (offBits + imageBytes > std::numeric_limits<std::uint32_t>::max()) return false;

  std::vector<std::uint8_t> head(offBits, 0);
  head[0] = 'B';
  head[1] = 'M';
  putU32le(&head[2], static_cast<std::uint32_t>(offBits + imageBytes));
  putU32le(&head[10], offBits);
  std::uint8_t* info = &head[kFileHeaderBytes];
  putU32le(info, kInfoHeaderBytes);
  putU32le(info + 4, static_cast<std::uint32_t>(picture.width));
  putU32le(info + 8, static_cast<std::uint32_t>(picture.height));
  putU16le(info + 12, 1);
  putU16le(info + 14, bits);
  putU32le(info + 20, static_cast<std::uint32_t>(imageBytes));
  const auto ppm = static_cast<std::uint32_t>(DpiToPelsPerMetre(dpi));
  putU32le(info + 24, ppm);
  putU32le(info + 28, ppm);
  putU32le(info + 32, entries);
  for (std::uint32_t i = 0; i < entries; ++i)
    for (int c = 0; c < 3; ++c) info[kInfoHeaderBytes + 4 * i + static_cast<std::uint32_t>(c)] = static_cast<std::uint8_t>(i);

  OwnFile f = OpenForWriting(file);
  if (!f) return false;
  bool ok = std::fwrite(head.data(), 1, head.size(), f.get()) == head.size();
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(picture.width) * picture.channels);
  std::vector<std::uint8_t> out(rowBytes, 0);
  for (int y = picture.height - 1; ok && y >= 0; --y) {
    picture.row(y, pixels.data());
    if (grey) {
      std::memcpy(out.data(), pixels.data(), pixels.size());
    } else {
      for (int x = 0; x < picture.width; ++x) {
        out[3 * x] = pixels[3 * x + 2];
        out[3 * x + 1] = pixels[3 * x + 1];
        out[3 * x + 2] = pixels[3 * x];
      }
    }
    ok = std::fwrite(out.data(), 1, out.size(), f.get()) == out.size();
  }
  ok = CloseOwnFile(std::move(f)) && ok;
  if (!ok) RemoveOwnFile(file);
  return ok;
}

// ---- decoding ----

namespace {

// A picture of several scans is held whole while it decodes: beyond an A4 page at 1000 dpi it is
// refused rather than let a forged header ask for gigabytes.
constexpr long long kMaxMultiScanPixels = 100LL * 1000 * 1000;

constexpr J_COLOR_SPACE kRgb32Order = std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;

// Only plain data lives across setjmp; the caller's memory is given before the first row.
bool decode(const std::uint8_t* bytes, std::size_t size, int scale, JpegPixels pixels, long long maxPixels,
            const std::function<JpegRows(int, int, bool)>& rowsFor) {
  jpeg_decompress_struct cinfo;
  platform::JpegErrorJump err;
  cinfo.err = err.install();
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes, static_cast<unsigned long>(size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK ||
      (jpeg_has_multiple_scans(&cinfo) &&
       static_cast<long long>(cinfo.image_width) * cinfo.image_height > kMaxMultiScanPixels)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  const bool grey = pixels == JpegPixels::GreyOrRgb32 && cinfo.num_components == 1;
  cinfo.scale_num = 1;
  cinfo.scale_denom = static_cast<unsigned>(scale);
  cinfo.out_color_space = grey ? JCS_GRAYSCALE : pixels == JpegPixels::Rgb ? JCS_RGB : kRgb32Order;
  jpeg_calc_output_dimensions(&cinfo);
  const long long outputPixels = static_cast<long long>(cinfo.output_width) * cinfo.output_height;
  const JpegRows rows = outputPixels > 0 && outputPixels <= maxPixels
                            ? rowsFor(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), grey)
                            : JpegRows{};
  if (!rows.first) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_start_decompress(&cinfo);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = rows.first + rows.stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

bool DecodeJpeg(const std::uint8_t* bytes, std::size_t size, int scale, JpegPixels pixels,
                long long maxPixels, const std::function<JpegRows(int, int, bool)>& rowsFor) {
  if (!bytes || size < 4 || (scale != 1 && scale != 2 && scale != 4 && scale != 8)) return false;
  return decode(bytes, size, scale, pixels, maxPixels, rowsFor);
}

std::string PageFile(const std::string& base, int n, const std::string& ext) {
  return n <= 1 ? base + ext : base + "_" + std::to_string(n) + ext;
}

std::string WriteFailureText(const std::string& message, const std::string& file,
                             const std::string& reason) {
  return message + " : " + file + "\n\n" + reason;
}

std::string ErrnoText(int errnum) { return std::generic_category().message(errnum); }

}  // namespace scanning
