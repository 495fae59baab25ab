// Plot domain helpers shared with the page and drawing units.
#pragma once

#include "doc_record.h"

namespace tpdf {

// Makes the domain current and computes its scales; an empty range gives scale 0, so every
// value maps onto the origin instead of dividing by zero.
void activateDomain(PdfDoc* doc, PdfPlotDomain* domain);

// The domain's document, reporting when the domain was never made current.
PdfDoc* domainDocument(PdfPlotDomain* domain);

} // namespace tpdf
