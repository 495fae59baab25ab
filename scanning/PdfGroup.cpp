#include "scanning/PdfGroup.h"

#include <algorithm>
#include <cstdio>

#include "tpdf.h"

namespace scanning {

PdfGroup::PdfGroup(int pages) {
  const int room = std::max(120, pages);
  const PdfDocLimits limits{room, -1, room, -1, 8000};
  doc_ = tpdf_open(0, &limits);
  if (doc_ && tpdf_init(doc_) != 0) {
    tpdf_close(doc_);
    doc_ = nullptr;
  }
}

PdfGroup::~PdfGroup() {
  if (doc_) tpdf_close(doc_);
}

double PagePoints(int pixels, int dpi) {
  return dpi > 0 ? pixels * 72.0 / dpi : pixels;
}

bool PdfGroup::addPage(int n, int width, int height, int dpi, const std::string& jpeg) {
  if (!doc_) return false;
  // Two decimals keep the page within a hundredth of a point of the paper.
  const double pw = PagePoints(width, dpi), ph = PagePoints(height, dpi);
  char box[64];
  std::snprintf(box, sizeof box, "0 0 %.2f %.2f", pw, ph);
  if (tpdf_pageInit(doc_, n, 0, box, box) != 0) return false;
  // Both sides given: the picture covers the page whatever its resolution.
  float w = static_cast<float>(pw), h = static_cast<float>(ph), xscale = 0.0f, yscale = 0.0f;
  return tpdf_importImage(doc_, jpeg.c_str(), 0, 0.0f, 0.0f, 0.0f, &w, &h, &xscale, &yscale, 1) ==
         0;
}

bool PdfGroup::save(const std::string& file) {
  if (!doc_) return false;
  if (tpdf_finalizeAll(doc_) != 0) return false;
  if (tpdf_savePDFmemoryStreamToFile(doc_, file.c_str()) != 0) {
    std::remove(file.c_str());
    return false;
  }
  return true;
}

bool SaveOnePagePdf(const std::string& jpeg, int width, int height, int dpi,
                    const std::string& file) {
  PdfGroup doc(1);
  return doc.addPage(1, width, height, dpi, jpeg) && doc.save(file);
}

}  // namespace scanning
