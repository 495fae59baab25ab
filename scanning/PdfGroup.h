#pragma once
// One PDF document built from page JPEG files: each page the size of the scanned paper (the
// picture's pixels at its resolution), its JPEG drawn over the whole page.
#include <string>

struct PdfDoc;

namespace scanning {

class PdfGroup {
 public:
  // Room for `pages` pages and as many pictures (never fewer than 120), so no page of a large
  // group comes out empty or is dropped.
  explicit PdfGroup(int pages);
  ~PdfGroup();
  PdfGroup(const PdfGroup&) = delete;
  PdfGroup& operator=(const PdfGroup&) = delete;

  bool opened() const { return doc_ != nullptr; }
  // Page n (from 1) showing the JPEG file of width x height pixels scanned at dpi.
  bool addPage(int n, int width, int height, int dpi, const std::string& jpeg);
  // Lays the document out and writes it as a new file (or over a file of this run); false when
  // anything on the way failed.
  bool save(const std::string& file);

 private:
  PdfDoc* doc_ = nullptr;  // the writer's own C-style handle, closed by the destructor
};

// A one-page document from one JPEG file.
bool SaveOnePagePdf(const std::string& jpeg, int width, int height, int dpi, const std::string& file);

// A page side in points: pixels x 72 / dpi, so that the file prints at the paper's size; a
// picture without a resolution keeps one point per pixel.
double PagePoints(int pixels, int dpi);
// The page box text: "0 0 w h" in points with two decimals and a "." whatever the locale.
std::string PageBox(double width, double height);

}  // namespace scanning
