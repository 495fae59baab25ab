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

bool PdfGroup::addPage(int n, int width, int height, const std::string& jpeg) {
  if (!doc_) return false;
  char box[64];
  std::snprintf(box, sizeof box, "0 0 %d %d", width, height);
  if (tpdf_pageInit(doc_, n, 0, box, box) != 0) return false;
  float w = 0.0f, h = 0.0f, xscale = 0.0f, yscale = 0.0f;
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

bool SaveOnePagePdf(const std::string& jpeg, int width, int height, const std::string& file) {
  PdfGroup doc(1);
  return doc.addPage(1, width, height, jpeg) && doc.save(file);
}

}  // namespace scanning
