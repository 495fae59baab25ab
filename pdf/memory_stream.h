// Growth and direct-fill helpers of PdfMemStream beyond the public functions.
#pragma once

#include "tpdf.h"

#include <cstdint>

namespace tpdf {

inline constexpr int kInitialStreamSize = 256;

// The buffer size the growth rule reaches for a stream that must hold `needed` bytes (data and
// the final NUL) starting from `current`: doubling below 64 KiB, then 64 KiB steps.
// -1 when it would not fit an int.
std::int64_t grownSize(std::int64_t current, std::int64_t needed);

// Makes room for `extra` more bytes; returns the place to fill, or NULL (reported).
unsigned char* reserveStream(PdfMemStream* s, int extra);
// Counts `filled` bytes written at the place reserveStream returned.
void commitStream(PdfMemStream* s, int filled);

// True when the record is a stream of this library whose count lies within its buffer.
bool streamRecordSound(const PdfMemStream* s);
bool streamIsSound(PdfMemStream* s); // the same, reporting a stream that is not

} // namespace tpdf
