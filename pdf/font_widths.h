// Glyph widths of the standard fonts, in the order of the built-in font names.
#pragma once

namespace tpdf {

extern const short kStandardFontWidths[14][256];

} // namespace tpdf
