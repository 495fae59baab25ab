#include "scanning/PdfGroup.h"

#include <algorithm>
#include <cstdio>

#include "platform/NumberText.h"
#include "scanning/FileClaims.h"
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
  const std::string box = PageBox(pw, ph);
  if (tpdf_pageInit(doc_, n, 0, box.c_str(), box.c_str()) != 0) return false;
  // Both sides given: the picture covers the page whatever its resolution.
  float w = static_cast<float>(pw), h = static_cast<float>(ph), xscale = 0.0f, yscale = 0.0f;
  return tpdf_importImage(doc_, jpeg.c_str(), 0, 0.0f, 0.0f, 0.0f, &w, &h, &xscale, &yscale, 1) ==
         0;
}

std::string PageBox(double width, double height) {
  return "0 0 " + platform::FixedText(width, 2) + " " + platform::FixedText(height, 2);
}

// The document's bytes go through the program's own file rule rather than the writer's fopen.
bool PdfGroup::save(const std::string& file) {
  if (!doc_) return false;
  if (tpdf_finalizeAll(doc_) != 0) return false;
  int length = 0;
  const unsigned char* bytes = tpdf_getOutputBuffer(doc_, &length);
  if (!bytes || length <= 0) return false;
  OwnFile out = OpenForWriting(file);
  if (!out) return false;
  bool ok = std::fwrite(bytes, 1, static_cast<std::size_t>(length), out.get()) ==
            static_cast<std::size_t>(length);
  ok = CloseOwnFile(std::move(out)) && ok;
  if (!ok) RemoveOwnFile(file);
  return ok;
}

bool SaveOnePagePdf(const std::string& jpeg, int width, int height, int dpi,
                    const std::string& file) {
  PdfGroup doc(1);
  return doc.addPage(1, width, height, dpi, jpeg) && doc.save(file);
}

}  // namespace scanning
