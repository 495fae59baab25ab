// Document helpers shared by the units that write pages and the file.
#pragma once

#include "doc_record.h"

namespace tpdf {

PdfPage* findUsedPage(PdfDoc* doc, int n); // NULL when n is out of range or not started
int openOutputFileFor(PdfDoc* doc);        // file mode: opens the output once; 0 or 1

} // namespace tpdf
