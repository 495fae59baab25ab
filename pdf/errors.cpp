#include "errors.h"

#include "c_format.h"
#include "call_guard.h"
#include "doc_record.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
PdfGlobalErrorHandler globalHandler = nullptr;

void printReport(int level, const char* module, const char* format, va_list args) {
    char message[2048];
    va_list copy;
    va_copy(copy, args);
    (void)tpdf::formatMessageV(message, sizeof message, format, copy); // a cut message still tells
    va_end(copy);
    if (module && *module) std::fprintf(stderr, "%s: ", module);
    std::fprintf(stderr, "%s.\n", message);
    std::fflush(stderr);
    if (level < 0) std::exit(level);
}
} // namespace

extern "C" {

// Installed by the library itself, under these names: a caller comparing handlers sees them.
void tpdf_defaultErrorHandler(PdfDoc*, int level, const char* module, const char* format,
                              va_list args) {
    printReport(level, module, format, args);
}

void tpdf_defaultGlobalErrorHandler(int level, const char* module, const char* format,
                                    va_list args) {
    printReport(level, module, format, args);
}

PdfErrorHandler tpdf_setErrorHandler(PdfDoc* doc, PdfErrorHandler handler) {
    if (!doc) return nullptr;
    PdfErrorHandler previous = doc->errorHandler;
    doc->errorHandler = handler;
    return previous;
}

PdfGlobalErrorHandler tpdf_setGlobalErrorHandler(PdfGlobalErrorHandler handler) {
    PdfGlobalErrorHandler previous = globalHandler;
    globalHandler = handler;
    return previous;
}

void tpdf_Error(PdfDoc* doc, int level, const char* module, const char* format, ...) {
    if (!doc || !doc->errorHandler || !format) return;
    va_list args;
    va_start(args, format);
    doc->errorHandler(doc, level, module, format, args);
    va_end(args);
}

void tpdf_GlobalError(int level, const char* module, const char* format, ...) {
    if (!globalHandler || !format) return;
    va_list args;
    va_start(args, format);
    globalHandler(level, module, format, args);
    va_end(args);
}

} // extern "C"

namespace tpdf {

void reportNoMemory() { tpdf_GlobalError(-2, "TarvexPDF malloc", "Memory allocation failure"); }

void reportRefusedNumber(PdfDoc* doc, const char* call, bool notFinite) {
    const char* format = notFinite ? "%s refused a number that is not finite"
                                   : "%s refused a number beyond what PDF readers take";
    if (doc) tpdf_Error(doc, 1, kModule, format, call);
    else tpdf_GlobalError(1, kModule, format, call);
    failCall(doc);
}

bool numbersFit(PdfDoc* doc, const char* call, std::initializer_list<double> values,
                NumberForm form) {
    for (const double v : values) {
        const NumberCheck check = checkNumber(v, form);
        if (check == NumberCheck::Fits) continue;
        reportRefusedNumber(doc, call, check == NumberCheck::NotFinite);
        return false;
    }
    return true;
}

bool integerNumbers(PdfDoc* doc, const char* call, std::initializer_list<double> values) {
    return numbersFit(doc, call, values, NumberForm::Integer);
}

void copyBounded(char* dest, const char* text, int maxChars) {
    if (!dest) return;
    std::size_t n = text ? std::strlen(text) : 0;
    if (n > static_cast<std::size_t>(maxChars)) n = static_cast<std::size_t>(maxChars);
    if (n) std::memcpy(dest, text, n);
    dest[n] = '\0';
}

char* duplicateText(const char* text) {
    if (!text) return nullptr;
    const std::size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (!copy) {
        reportNoMemory();
        return nullptr;
    }
    std::memcpy(copy, text, n);
    return copy;
}

} // namespace tpdf
