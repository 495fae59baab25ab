#pragma once
// The picture files a scan leaves: Windows bitmaps that carry the resolution in pels per metre and
// JFIF files that carry it in their APP0 header. Every reader here faces bytes from outside (a
// source's DIB, a file on disk) and answers malformed input with a failure, never an overrun.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace scanning {

// The layout of a device-independent bitmap (info header, colour table, pixels), checked against
// the bytes it was read from. Sizes follow the header's own size and the absolute height.
struct BitmapInfo {
  std::uint32_t headerSize = 0;
  int width = 0;
  int height = 0;      // absolute
  bool topDown = false;  // a negative height in the header
  int bitCount = 0;
  std::uint32_t compression = 0;
  std::uint32_t colourEntries = 0;  // the colour table's length in entries
  std::uint32_t maskBytes = 0;      // the three masks after a 40-byte header with BI_BITFIELDS
  std::uint32_t rowBytes = 0;       // padded to 4 bytes
  std::uint32_t imageBytes = 0;     // pixel bytes (recomputed for uncompressed pictures)
  std::uint32_t pixelOffset() const { return headerSize + maskBytes + 4 * colourEntries; }
};


// Checks a DIB as a source hands it over. nullopt when it is truncated or malformed.
std::optional<BitmapInfo> ParseDib(const std::uint8_t* dib, std::size_t size);

// Writes a DIB as a bitmap file: the 14-byte file header, then the DIB with its image size
// recomputed for uncompressed pictures. 0 on success, -3 when the DIB is unusable, -4 when the
// file could not be written (a partial file is removed; errno says why). Like every writer here it
// makes its file anew (EEXIST when the name is taken) or writes over a file of this run.
int WriteDibToFile(const std::uint8_t* dib, std::size_t size, const std::string& file);

// Resolution in a bitmap file: pels per metre at offsets 38 and 42.
std::int32_t DpiToPelsPerMetre(int dpi);
int PelsPerMetreToDpi(std::int32_t pelsPerMetre);  // to the nearest whole dpi
// Writes both fields; false when the file is not a bitmap file with room for them. The resolution
// writers patch a file in place, never through a symbolic link.
bool WriteBmpResolution(const std::string& file, int dpi);
// The resolution from the bytes of a bitmap file's start (the Y field); nullopt when they are no
// bitmap header.
std::optional<int> BmpResolutionFromBytes(const std::uint8_t* bytes, std::size_t size);
int ReadBmpResolution(const std::string& file);  // 0 when unreadable

// Resolution in a JFIF file. Only the first 64 bytes are searched, for the first "JFIF" that is
// the identifier of an APP0 segment holding the density fields; without one nothing is written
// and the resolution reads as 0.
inline constexpr std::size_t kJfifSearchBytes = 64;
std::optional<std::size_t> FindJfifHeader(const std::uint8_t* bytes, std::size_t size);
std::optional<int> JpegResolutionFromBytes(const std::uint8_t* bytes, std::size_t size);
bool WriteJpegResolution(const std::string& file, int dpi);
int ReadJpegResolution(const std::string& file);

// A picture as rows of pixels, top row first: one byte per pixel (grey) or three (R, G, B).
struct PixelRows {
  int width = 0;
  int height = 0;
  int channels = 3;
  std::function<void(int y, std::uint8_t* out)> row;  // fills width * channels bytes
};

// A bitmap file read whole and checked; rows() reads its pixels without copying the picture.
class BmpPicture {
 public:
  // nullopt when the bytes are no bitmap file this program can read.
  static std::optional<BmpPicture> FromBytes(std::vector<std::uint8_t> bytes);
  static std::optional<BmpPicture> Load(const std::string& file);

  const BitmapInfo& layout() const { return layout_; }
  int width() const { return layout_.width; }
  int height() const { return layout_.height; }
  bool grey() const { return grey_; }  // palette pictures whose colours are all greys
  int resolution() const;              // dpi from the Y field, to the nearest whole dpi
  PixelRows rows() const;

 private:
  BmpPicture() = default;
  void rowPixels(int y, std::uint8_t* out) const;
  std::vector<std::uint8_t> bytes_;
  BitmapInfo layout_;
  std::size_t pixels_ = 0;   // where the pixels start
  std::vector<std::uint32_t> palette_;  // 0x00RRGGBB
  bool grey_ = false;
};

// Encodes rows as a JFIF file at the given quality. False on any failure (nothing left behind).
bool SaveJpeg(const PixelRows& picture, const std::string& file, int quality);
inline constexpr int kJpegQuality = 75;
// A saved picture's JPEG: quality 75 and dpi in its JFIF header. False on any failure (nothing
// left behind).
bool SaveJpegWithResolution(const PixelRows& picture, const std::string& file, int dpi);

// A JPEG decoded by libjpeg at 1/scale of its size (scale 1, 2, 4 or 8), straight into the
// caller's memory. `rowsFor` hears the output's size and whether it is grey, and gives where its
// rows go (null refuses the picture). Rgb writes three bytes a pixel, grey pictures included;
// GreyOrRgb32 keeps grey pictures at one byte a pixel and writes colour as 32-bit 0xFFRRGGBB
// words in the machine's byte order. False for bytes that are no JPEG this decoder reads
// (truncated, malformed) and for outputs of more than maxPixels.
enum class JpegPixels { Rgb, GreyOrRgb32 };
struct JpegRows {
  std::uint8_t* first = nullptr;
  std::size_t stride = 0;  // bytes from one row to the next
};
bool DecodeJpeg(const std::uint8_t* bytes, std::size_t size, int scale, JpegPixels pixels,
                long long maxPixels, const std::function<JpegRows(int width, int height, bool grey)>& rowsFor);

// Writes rows as an uncompressed bitmap file (24-bit, or 8-bit with a grey palette) carrying dpi.
bool SaveBmp(const PixelRows& picture, const std::string& file, int dpi);

// The page names of a group: base + ext for page 1, base + "_" n + ext for page n >= 2.
std::string PageFile(const std::string& base, int n, const std::string& ext);

// What the user is told of a page file that could not be written: the message (a text of the
// message table), the file, and why on a line of its own.
std::string WriteFailureText(const std::string& message, const std::string& file,
                             const std::string& reason);
// The system's words for an errno value.
std::string ErrnoText(int errnum);

}  // namespace scanning
