#pragma once

namespace tpdf_test {

template <class Draw>
std::string pageContent(Draw draw) {
    PdfDoc* doc = openScanningDocument();
    tpdf_init(doc);
    tpdf_pageInit(doc, 1, 0, "0 0 612 792", "0 0 612 792");
    draw(doc);
    tpdf_finalizeAll(doc);
    const std::string pdf = outputOf(doc);
    tpdf_close(doc);
    return contentStream(pdf, 6);
}

} // namespace tpdf_test
