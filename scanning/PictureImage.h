#pragma once
// Page files decoded straight into the picture the windows show: bitmap files by our own reader,
// JPEG files by libjpeg, each written once into the image's own rows. No image reader's
// allocation limit stands in the way of a large page (an A4 colour page at 600 dpi is 35 M pixels),
// and the picture is made in the format the screen draws from, so showing it makes no copies.
#include <QImage>
#include <string>

#include "scanning/PictureFiles.h"

namespace scanning {

// The largest picture decoded: past an A3 page at 600 dpi (70 M pixels), so that a forged header
// cannot ask for gigabytes.
inline constexpr long long kMaxPicturePixels = 100LL * 1000 * 1000;

// RGB32 for colour pictures, Grayscale8 for grey ones; a null image when the file is missing, is
// no bitmap or JPEG file this program reads, or is too large. `bits`, when given, receives the
// file's depth as the window reports it: a bitmap's own (1, 4, 8, 16, 24 or 32), 8 for a grey
// JPEG, 24 for a colour one.
QImage LoadPictureImage(const std::string& file, int* bits = nullptr);

// The rows of a picture for our encoders: grey pictures as one byte per pixel. The rows are read
// from the image as the encoder asks for them.
PixelRows RowsOf(const QImage& image);

}  // namespace scanning
