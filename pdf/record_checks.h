// Records of tpdf.h that a caller may fill by hand, checked before anything is read through
// them: a pointer, a count or an unended name that is not what the writer expects would make
// it read or write outside its bounds, or write an object no reader takes.
#pragma once

#include "tpdf.h"

#include <vector>

namespace tpdf {

// Each is true for a sound record; otherwise it reports (through the document's handler, or
// the global one without a document) that `call` refused the record, and is false.
bool outlineItemSound(PdfDoc* doc, const char* call, const PdfOutline* item);
bool fontDescriptorSound(PdfDoc* doc, const char* call, const PdfFontDescriptor* descriptor);
bool cidFontSound(PdfDoc* doc, const char* call, const PdfFont* font);
bool fontInfoSound(PdfDoc* doc, const char* call, const PdfFontInfo* info);
bool recordGiven(PdfDoc* doc, const char* call, const void* record);
// An axis made by tpdf_createAxis or tpdf_createTimeAxis and not freed: its texts are the
// library's to read and free. NULL is refused without a report, as before.
bool axisSound(const char* call, const PdfAxis* axis);

// The items of the outline tree that starts at first (with its siblings), depth first: an
// item, its children, its next sibling. False (reported) when the links make no tree: an item
// reached twice, or a parent that was not reached before its child.
bool outlineOrder(PdfDoc* doc, const char* call, PdfOutline* first, std::vector<PdfOutline*>& order);

} // namespace tpdf
