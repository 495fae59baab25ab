#include "output.h"

#include "c_format.h"
#include "errors.h"
#include "memory_stream.h"

#include <climits>
#include <cstring>

namespace tpdf {

int failDocument(PdfDoc* doc, const char* what) {
    if (!doc->failed) tpdf_Error(doc, 2, kModule, "%s", what);
    doc->failed = true;
    return -1;
}

int writeOutput(PdfDoc* doc, const void* bytes, int length) {
    if (length < 0 || doc->failed) return -1;
    if (std::int64_t{doc->byteOffset} + length > INT_MAX)
        return failDocument(doc, "The PDF output is too large");
    if (doc->memoryOutput) {
        if (!doc->outputStream ||
            tpdf_writeToMemoryStream(doc->outputStream.get(), bytes, length) != 0)
            return failDocument(doc, "Cannot store the PDF output");
    } else {
        if (!doc->outputFile ||
            std::fwrite(bytes, 1, static_cast<std::size_t>(length), doc->outputFile.get()) !=
                static_cast<std::size_t>(length))
            return failDocument(doc, "Cannot write the PDF output");
    }
    doc->byteOffset += length;
    return 0;
}

int writeLine(PdfDoc* doc, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = formatV(doc->lineBuffer, sizeof doc->lineBuffer, format, args);
    va_end(args);
    if (n == kNumberRefused)
        return failDocument(doc, "A number beyond what PDF readers take was not written");
    if (n < 0) return failDocument(doc, "An object line is too long");
    return writeOutput(doc, doc->lineBuffer, n);
}

int appendContent(PdfDoc* doc, const char* bytes, int length) {
    if (doc->contentInMemory) {
        if (!doc->currentContent) {
            tpdf_Error(doc, 1, kModule, "No page has been started");
            return -1;
        }
        return tpdf_writeToMemoryStream(doc->currentContent, bytes, length);
    }
    if (!doc->currentTempFile) {
        tpdf_Error(doc, 1, kModule, "No page has been started");
        return -1;
    }
    const auto n = static_cast<std::size_t>(length);
    return std::fwrite(bytes, 1, n, doc->currentTempFile) == n ? 0 : -1;
}

int formatContentLine(PdfDoc* doc, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = formatV(doc->lineBuffer, sizeof doc->lineBuffer, format, args);
    va_end(args);
    if (n == kNumberRefused) {
        reportRefusedNumber(doc, "A content operator", false);
        return -1;
    }
    if (n < 0) {
        tpdf_Error(doc, 2, kModule, "A content line is too long");
        return -1;
    }
    return appendContent(doc, doc->lineBuffer, n);
}

} // namespace tpdf

extern "C" {

int tpdf_writeString(PdfDoc* doc, const char* text) {
    if (!doc || !text) return -1;
    const std::size_t n = std::strlen(text);
    if (n > INT_MAX) return -1;
    return tpdf::writeOutput(doc, text, static_cast<int>(n));
}

int tpdf_writeBytes(PdfDoc* doc, const void* bytes, int length) {
    if (!doc || (length > 0 && !bytes)) return -1;
    return tpdf::writeOutput(doc, bytes, length);
}

void tpdf_writeRaw(PdfDoc* doc, const char* text) {
    if (!doc || !text) return;
    const std::size_t n = std::strlen(text);
    if (n <= INT_MAX) tpdf::appendContent(doc, text, static_cast<int>(n));
}

} // extern "C"
