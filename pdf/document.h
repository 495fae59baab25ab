// Document helpers shared by the units that write pages and the file.
#pragma once

#include "doc_record.h"

namespace tpdf {

PdfPage* findUsedPage(PdfDoc* doc, int n); // NULL when n is out of range or not started
int openOutputFileFor(PdfDoc* doc);        // file mode: opens the output once; 0 or 1

// The page takes no more content: it is finalised, and the document no longer points at its
// stream or file, which the caller may then free.
void detachPageContent(PdfDoc* doc, PdfPage& page);

// False, with a report that fails the running call, once the file has been written: a change
// then would never reach it.
bool openForChanges(PdfDoc* doc, const char* call);

// True, with a report that fails the running call, while the file is not written and a page
// still names an entry of `list` (fonts or images): freeing them then would damage it.
bool pagesStillUse(PdfDoc* doc, std::vector<int> PdfPage::*list, const char* what);

// Frees the image records from `first` on (tpdf_close's part of tpdf_freeImages frees all).
void releaseImages(PdfDoc* doc, std::size_t first = 0);

// Frees the annotation records from `first` on, and takes them off every page.
void releaseAnnotations(PdfDoc* doc, std::size_t first = 0);

// Takes the outline items from `first` on (the newest) out of the tree and frees them.
void releaseOutlines(PdfDoc* doc, std::size_t first);

} // namespace tpdf
