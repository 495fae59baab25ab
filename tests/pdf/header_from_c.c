/* The interface header on its own, compiled as C: it must need nothing else. */
#include "tpdf.h"

int tpdf_test_pagesFromC(void) {
    PdfDocLimits limits = {2, -1, -1, -1, 0};
    PdfDoc* doc = tpdf_open(0, &limits);
    int accepted = 0;
    int n;
    tpdf_init(doc);
    tpdf_setErrorHandler(doc, 0);
    for (n = 1; n <= 3; ++n)
        if (tpdf_pageInit(doc, n, 0, "0 0 10 10", "0 0 10 10") == 0) ++accepted;
    tpdf_close(doc);
    return accepted;
}
