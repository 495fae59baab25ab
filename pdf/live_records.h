// The documents and plot domains that are open now, so that a pointer one of them keeps to the
// other is followed only while its target lives.
#pragma once

#include "doc_record.h"

#include <vector>

namespace tpdf {

void recordOpened(const PdfDoc* doc);
void recordClosed(const PdfDoc* doc);
void recordOpened(const PdfPlotDomain* domain);
void recordClosed(const PdfPlotDomain* domain);

bool isOpen(const PdfDoc* doc);
bool isOpen(const PdfPlotDomain* domain);
std::vector<PdfDoc*> openDocuments();

// The document of a plot domain or axis while both are open, else NULL.
PdfDoc* documentOf(const PdfPlotDomain* domain);
PdfDoc* documentOf(const PdfAxis* axis);

// An axis is being freed: no document keeps it as its current axis.
void forgetAxis(const PdfAxis* axis);

} // namespace tpdf
