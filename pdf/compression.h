// Flate compression of page contents.
#pragma once

#include "doc_record.h"

#include <vector>

namespace tpdf {

// One-shot compression into out; a zlib failure is reported at level -1 and gives false.
bool compressBytes(PdfDoc* doc, const unsigned char* bytes, std::size_t length,
                   std::size_t capacity, std::vector<unsigned char>& out);

} // namespace tpdf
