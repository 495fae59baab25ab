#include "compression.h"

#include "document.h"
#include "errors.h"

#include <cstring>
#include <new>
#include <zlib.h>

namespace tpdf {

bool compressBytes(PdfDoc* doc, const unsigned char* bytes, std::size_t length,
                   std::size_t capacity, std::vector<unsigned char>& out) {
    // Small or incompressible input can exceed the classic capacity: never less than zlib's bound.
    capacity = std::max<std::size_t>(capacity, compressBound(static_cast<uLong>(length)));
    out.resize(capacity);
    uLongf produced = static_cast<uLongf>(capacity);
    const int code = compress(out.data(), &produced, bytes, static_cast<uLong>(length));
    if (code != Z_OK) {
        tpdf_Error(doc, -1, "ZLIB compress", "code=%d", code);
        out.clear();
        return false;
    }
    out.resize(produced);
    return true;
}

} // namespace tpdf

using namespace tpdf;

extern "C" {

void tpdf_enableCompression(PdfDoc* doc, int on) {
    if (!doc || !openForChanges(doc, "tpdf_enableCompression")) return;
    if (!on || doc->filterName.empty()) {
        doc->compress = 0;
        return;
    }
    doc->compress = 1;
    if (doc->filterName.find("FlateDecode") != std::string::npos) tpdf_raisePdfVersion(doc, 1, 2);
}

int tpdf_compressPageContent(PdfDoc* doc, int pageNumber) {
    PdfPage* page = findUsedPage(doc, pageNumber);
    if (!page || !doc->compress || !page->content || (page->flags & kPageCompressed)) return -1;
    try {
        const std::size_t len = static_cast<std::size_t>(page->content->count);
        const std::size_t capacity = len + static_cast<std::size_t>(static_cast<double>(len) * 0.001 + 16);
        std::vector<unsigned char> out;
        if (!compressBytes(doc, page->content->buffer, len, capacity, out)) return -1;
        page->compressedData = std::move(out);
    } catch (const std::bad_alloc&) {
        reportNoMemory();
        return -1;
    }
    page->flags |= kPageCompressed;
    detachPageContent(doc, *page);
    page->content.reset();
    return 0;
}

} // extern "C"
