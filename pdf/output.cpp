#include "output.h"

#include "c_format.h"
#include "call_guard.h"
#include "errors.h"
#include "memory_stream.h"

#include <climits>
#include <cstring>

namespace tpdf {

int failDocument(PdfDoc* doc, const char* what) {
    if (!doc->failed) tpdf_Error(doc, 2, kModule, "%s", what);
    doc->failed = true;
    failCall(doc); // taken back with the call, unless the call began writing the file
    return -1;
}

// The output takes bytes only in the order tpdf_finalizeAll writes them, in memory as in a
// file: bytes written before would be dropped or misplaced, and a finished file takes no more.
static bool outputTakesBytes(PdfDoc* doc) {
    if (doc->writing) return true;
    // Before tpdf_init there is no output: the bytes are refused, the document stays sound.
    if (doc->memoryOutput && !doc->outputStream) {
        tpdf_Error(doc, 1, kModule, "The PDF file is not started: tpdf_init() comes first");
        failCall(doc);
        return false;
    }
    tpdf_Error(doc, 1, kModule, doc->finalized ? "The PDF file is finished: nothing more is written to it"
                                               : "The PDF file is written by tpdf_finalizeAll() only");
    failCall(doc);
    return false;
}

int writeOutput(PdfDoc* doc, const void* bytes, int length) {
    if (length < 0 || doc->failed || !outputTakesBytes(doc)) return -1;
    if (std::int64_t{doc->byteOffset} + length > INT_MAX)
        return failDocument(doc, "The PDF output is too large");
    if (length == 0) return 0; // an empty stream may come with no buffer at all
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

bool drawingPageOpen(const PdfDoc* doc) {
    return doc->contentInMemory ? doc->currentContent != nullptr : doc->currentTempFile != nullptr;
}

int refuseWithoutPage(PdfDoc* doc, const char* what) {
    tpdf_Error(doc, 1, kModule, "%s needs a page open for drawing: none is started, or it is finalized",
               what);
    failCall(doc);
    return -1;
}

int appendContent(PdfDoc* doc, const char* bytes, int length) {
    if (!drawingPageOpen(doc)) return refuseWithoutPage(doc, "Drawing");
    noteContentGrowth(doc);
    bool written = false;
    if (doc->contentInMemory) {
        written = tpdf_writeToMemoryStream(doc->currentContent, bytes, length) == 0;
    } else {
        const auto n = static_cast<std::size_t>(length);
        written = std::fwrite(bytes, 1, n, doc->currentTempFile) == n;
        if (written) doc->pages[static_cast<std::size_t>(doc->currentPage)].tempBytes += length;
    }
    if (written) return 0;
    tpdf_Error(doc, 2, kModule, "Cannot store the page content");
    failCall(doc);
    return -1;
}

int checkedContentLine(PdfDoc* doc, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = formatMessageV(doc->lineBuffer, sizeof doc->lineBuffer, format, args);
    va_end(args);
    if (n < 0) {
        tpdf_Error(doc, 2, kModule, "A content line is too long");
        failCall(doc);
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
