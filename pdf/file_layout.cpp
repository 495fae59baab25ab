// The file layout: numbering, the objects in order, the cross-reference table and trailer.
#include "compression.h"
#include "doc_record.h"
#include "document.h"
#include "errors.h"
#include "memory_stream.h"
#include "output.h"
#include "pdf_string.h"
#include "record_checks.h"
#include "font_metrics.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <climits>
#include <ctime>
#include <new>
#include <sys/stat.h>

using namespace tpdf;

namespace {

constexpr int kCatalog = 1;
constexpr int kOutlinesRoot = 2;
constexpr int kPages = 3;
constexpr int kProcSet = 4;

// A comment line of bytes above 127 tells transfer programs the file is binary.
constexpr const char* kBinaryMarker = "%\xE2\xE3\xCF\xD3";

constexpr const char* kPageModes[4] = {"UseNone", "UseOutlines", "UseThumbs", "FullScreen"};
constexpr const char* kPageLayouts[4] = {"SinglePage", "OneColumn", "TwoColumnLeft",
                                         "TwoColumnRight"};

int beginObject(PdfDoc* doc, int number) {
    if (number > 0 && static_cast<std::size_t>(number) < doc->objectOffsets.size())
        doc->objectOffsets[static_cast<std::size_t>(number)] = doc->byteOffset;
    return writeLine(doc, "%d 0 obj\n", number);
}

int endObject(PdfDoc* doc) {
    return writeLine(doc, "endobj\n") == 0 ? doc->byteOffset : -1;
}

int writeStreamBody(PdfDoc* doc, const unsigned char* bytes, int length) {
    if (writeOutput(doc, bytes, length) != 0) return -1;
    return writeLine(doc, "\nendstream\n");
}

int pageCount(const PdfDoc* doc) {
    int n = 0;
    for (int i = 1; i <= doc->highestPage; ++i)
        if (doc->pages[static_cast<std::size_t>(i)].pageNumber >= 0) ++n;
    return n;
}

// Gives every object its number; returns the object count + 1 (the next free number).
int numberObjects(PdfDoc* doc) {
    int counter = 5;
    doc->fixedObjects = {kCatalog, kOutlinesRoot, kPages, kProcSet, 0};
    doc->kids.clear();
    for (int n = 1; n <= doc->highestPage; ++n) {
        PdfPage* page = findUsedPage(doc, n);
        if (!page) continue;
        page->pageObject = counter++;
        doc->kids.push_back(page->pageObject);
        page->parentObject = kPages;
        page->contentsObject = counter++;
        tpdf_finalizePage(doc, n);
    }
    for (PdfFont& font : doc->fonts) {
        font.objectNumber = counter++;
        if (font.type == 0 || !font.descriptor || font.descriptor->objectNumber != 0) continue;
        font.descriptor->objectNumber = counter++;
        if (font.type == 3 && font.cid.objectNumber == 0) font.cid.objectNumber = counter++;
        PdfFontInfo* file = font.descriptor->fontFile;
        if (font.type == 2 && file && file->objectNumber == 0) file->objectNumber = counter++;
    }
    for (PdfImage& image : doc->images) image.objectNumber = counter++;
    for (PdfAnnot& annot : doc->annots) annot.objectNumber = counter++;
    tpdf_numberOutlines(&counter, doc->firstOutline, doc->lastOutline);
    doc->fixedObjects[4] = counter++;
    return counter;
}

// Room for the whole file up front, so it grows once rather than in many steps.
std::int64_t estimateSize(const PdfDoc* doc, int count) {
    std::int64_t size = 4096 + std::int64_t{count} * 20;
    for (const PdfPage& page : doc->pages) {
        if (page.pageNumber < 0) continue;
        size += 512 + 64 * std::int64_t(page.fontList.size() + page.imageList.size());
        size += page.content ? page.content->count : std::int64_t(page.compressedData.size());
    }
    for (const PdfImage& image : doc->images) size += 512 + image.fileSize;
    return size + 256 * std::int64_t(doc->fonts.size());
}

bool readWholeFile(std::FILE* f, std::vector<unsigned char>& out) {
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || st.st_size < 0 || st.st_size > INT_MAX) return false;
    out.resize(static_cast<std::size_t>(st.st_size));
    std::rewind(f);
    return std::fread(out.data(), 1, out.size(), f) == out.size();
}

// Copies exactly `length` bytes of the image file into the output. An image file that changed
// size or vanished since import is reported and its stream filled with zeros, and the document
// is marked failed so it is not saved.
int copyImageData(PdfDoc* doc, const PdfImage& image) {
    const int length = image.fileSize;
    std::FILE* f = std::fopen(image.fileName, "rb");
    std::vector<unsigned char> fileBuffer;
    unsigned char* place = nullptr;
    if (doc->memoryOutput && !doc->failed) {
        place = reserveStream(doc->outputStream.get(), length);
        if (!place) {
            if (f) std::fclose(f);
            return failDocument(doc, "Cannot store the PDF output");
        }
    } else {
        fileBuffer.resize(static_cast<std::size_t>(length));
        place = fileBuffer.data();
    }
    std::size_t got = f ? std::fread(place, 1, static_cast<std::size_t>(length), f) : 0;
    const bool intact = f && got == static_cast<std::size_t>(length) && std::fgetc(f) == EOF;
    if (f) std::fclose(f);
    if (!intact) {
        if (got < static_cast<std::size_t>(length))
            std::fill(place + got, place + length, static_cast<unsigned char>(0));
        tpdf_Error(doc, 2, kModule, "Image file %s changed or vanished since it was imported",
                   image.fileName);
    }
    int rc = 0;
    if (doc->memoryOutput) {
        if (doc->failed) return -1;
        commitStream(doc->outputStream.get(), length);
        doc->byteOffset += length;
    } else {
        rc = writeOutput(doc, place, length);
    }
    if (!intact) doc->failed = true;
    return rc;
}

// The font, then (once per shared descriptor) its descriptor and its descendant or font file,
// in the order they were numbered.
void writeFontObjects(PdfDoc* doc, PdfFont& font, int index) {
    tpdf_writeFont(doc, index);
    PdfFontDescriptor* d = font.descriptor;
    if (font.type == 0 || !d || d->objectNumber == 0) return;
    for (int i = 0; i < index; ++i)
        if (doc->fonts[static_cast<std::size_t>(i)].descriptor == d) return; // written with that one
    tpdf_writeFontDescriptor(doc, d, font.type);
    if (font.type == 3) tpdf_writeCIDFont(doc, &font);
    if (font.type == 2 && d->fontFile) tpdf_writeFontFile(doc, d->fontFile);
}

// Raw bytes of a stored text, which may be longer than the line buffer.
void writeText(PdfDoc* doc, const char* before, const unsigned char* bytes, int length,
               const char* after) {
    writeLine(doc, "%s", before);
    writeOutput(doc, bytes, length);
    writeLine(doc, "%s", after);
}

void writeText(PdfDoc* doc, const char* before, const char* text, const char* after) {
    writeText(doc, before, reinterpret_cast<const unsigned char*>(text),
              static_cast<int>(std::strlen(text)), after);
}

const char* defaultCMap(int fontIndex) {
    switch (fontIndex) {
    case 41: case 42: return "90ms-RKSJ-H";
    case 43: case 44: return "KSCms-UHC-H";
    case 45: case 46: return "ETenms-B5-H";
    default: return "GBK-EUC-H";
    }
}

int writeAllObjects(PdfDoc* doc, int count) {
    tpdf_writeCatalog(doc);
    tpdf_writeOutlinesRoot(doc);
    tpdf_writePagesTree(doc);
    tpdf_writeProcSet(doc);
    for (int n = 1; n <= doc->highestPage; ++n) {
        if (!findUsedPage(doc, n)) continue;
        tpdf_writePage(doc, n);
        if (doc->contentInMemory)
            tpdf_writeMemContentStream(doc, n);
        else
            tpdf_writeContentStream(doc, n);
    }
    for (std::size_t i = 0; i < doc->fonts.size(); ++i) writeFontObjects(doc, doc->fonts[i], static_cast<int>(i));
    for (std::size_t i = 0; i < doc->images.size(); ++i)
        tpdf_writeImage(doc, static_cast<int>(i));
    for (std::size_t i = 0; i < doc->annots.size(); ++i)
        tpdf_writeAnnotations(doc, static_cast<int>(i));
    tpdf_writeOutlines(doc, doc->firstOutline, doc->lastOutline);
    tpdf_writeInfo(doc, doc->fixedObjects[4]);
    return tpdf_writeXrefTrailer(doc, count - 1);
}

int finalize(PdfDoc* doc) {
    if (!doc->memoryOutput && openOutputFileFor(doc) != 0) return -1;
    const int count = numberObjects(doc);
    // The offset table always holds every object, whatever maxObjects said.
    if (doc->objectOffsets.size() < static_cast<std::size_t>(count))
        doc->objectOffsets.resize(static_cast<std::size_t>(count));
    doc->objectOffsets[0] = 0;
    doc->byteOffset = 0;
    if (doc->memoryOutput) {
        PdfMemStream* out = doc->outputStream.get();
        tpdf_clearMemoryStream(out);
        const std::int64_t estimate = estimateSize(doc, count);
        if (estimate < INT_MAX / 2) reserveStream(out, static_cast<int>(estimate));
    }
    writeLine(doc, "%%PDF-%d.%d\n%s\n", doc->pdfMajor, doc->pdfMinor, kBinaryMarker);
    writeAllObjects(doc, count);
    if (!doc->memoryOutput && doc->outputFile) {
        const bool ok = doc->outputFile.get() == stdout ? std::fflush(stdout) == 0
                                                         : std::fclose(doc->outputFile.release()) == 0;
        doc->outputFile.reset();
        if (!ok) failDocument(doc, "Cannot write the PDF output");
    }
    return doc->failed ? -1 : 0;
}

} // namespace

extern "C" {

int tpdf_finalizeAll(PdfDoc* doc) {
    if (!doc) return -1;
    if (doc->state != 2) {
        tpdf_Error(doc, 1, kModule, "tpdf_init() has not been called");
        return -1;
    }
    if (doc->finalized) {
        tpdf_Error(doc, 1, kModule, "tpdf_finalizeAll() has already been called");
        return -1;
    }
    doc->finalized = true;
    doc->writing = true;
    int rc = -1;
    try {
        rc = finalize(doc);
    } catch (const std::bad_alloc&) {
        reportNoMemory();
        doc->failed = true;
    }
    doc->writing = false;
    return rc;
}

int tpdf_writeCatalog(PdfDoc* doc) {
    if (!doc) return -1;
    beginObject(doc, kCatalog);
    writeLine(doc, "<<\n/Type /Catalog\n/Pages %d 0 R\n/Outlines %d 0 R\n", kPages,
              kOutlinesRoot);
    PdfViewerPreferences& v = doc->viewer;
    if (v.pageMode != 0) writeLine(doc, "/PageMode /%s\n", kPageModes[v.pageMode & 3]);
    if (v.pageLayout != 0) writeLine(doc, "/PageLayout /%s\n", kPageLayouts[v.pageLayout & 3]);
    if (v.pageMode == 3 || v.hideToolbar || v.hideMenubar || v.hideWindowUI || v.fitWindow ||
        v.centerWindow) {
        writeLine(doc, "/ViewerPreferences <<\n");
        if (v.hideToolbar) writeLine(doc, "/HideToolbar true\n");
        if (v.hideMenubar) writeLine(doc, "/HideMenubar true\n");
        if (v.hideWindowUI) writeLine(doc, "/HideWindowUI true\n");
        if (v.fitWindow) writeLine(doc, "/FitWindow true\n");
        if (v.centerWindow) writeLine(doc, "/CenterWindow true\n");
        if (v.pageMode == 3) {
            if (v.nonFullScreenPageMode < 0 || v.nonFullScreenPageMode > 2)
                v.nonFullScreenPageMode = 0;
            writeLine(doc, "/NonFullScreenPageMode /%s\n", kPageModes[v.nonFullScreenPageMode]);
        }
        writeLine(doc, ">>\n");
    }
    writeLine(doc, ">>\n");
    return endObject(doc);
}

int tpdf_writeOutlinesRoot(PdfDoc* doc) {
    if (!doc) return -1;
    beginObject(doc, kOutlinesRoot);
    writeLine(doc, "<<\n/Type /Outlines\n/Count %d\n", doc->outlineCount);
    if (doc->firstOutline)
        writeLine(doc, "/First %d 0 R\n/Last %d 0 R\n", doc->firstOutline->objectNumber,
                  doc->lastOutline->objectNumber);
    writeLine(doc, ">>\n");
    return endObject(doc);
}

int tpdf_writePagesTree(PdfDoc* doc) {
    if (!doc) return -1;
    beginObject(doc, kPages);
    writeLine(doc, "<<\n/Type /Pages\n/Count %d\n/Kids [ ", pageCount(doc));
    for (int kid : doc->kids) writeLine(doc, "%d 0 R ", kid);
    writeLine(doc, "]\n>>\n");
    return endObject(doc);
}

int tpdf_writeProcSet(PdfDoc* doc) {
    if (!doc) return -1;
    beginObject(doc, kProcSet);
    if (doc->images.empty()) {
        writeLine(doc, "[/PDF /Text]\n");
    } else {
        writeLine(doc, "[/PDF /Text %s%s]\n", (doc->procSetImageBits & 1) ? "/ImageB " : "",
                  (doc->procSetImageBits & 2) ? "/ImageC " : "");
    }
    return endObject(doc);
}

int tpdf_writePage(PdfDoc* doc, int pageNumber) {
    PdfPage* page = findUsedPage(doc, pageNumber);
    if (!page) return -1;
    beginObject(doc, page->pageObject);
    writeLine(doc, "<<\n/Type /Page\n/Parent %d 0 R\n/Resources <<\n", page->parentObject);
    if (!page->fontList.empty()) {
        writeLine(doc, "/Font <<\n");
        for (int i : page->fontList) {
            const PdfFont& font = doc->fonts[static_cast<std::size_t>(i)];
            writeLine(doc, "/%s %d 0 R\n", font.resourceName, font.objectNumber);
        }
        writeLine(doc, ">>\n");
    }
    if (!page->imageList.empty()) {
        writeLine(doc, "/XObject <<\n");
        for (int i : page->imageList) {
            const PdfImage& image = doc->images[static_cast<std::size_t>(i)];
            writeLine(doc, "/%s %d 0 R\n", image.name, image.objectNumber);
        }
        writeLine(doc, ">>\n");
    }
    writeLine(doc, "/ProcSet %d 0 R >>\n", kProcSet);
    writeLine(doc, "/MediaBox [%s]\n", page->mediaBox.c_str());
    writeLine(doc, "/CropBox [%s]\n", page->cropBox.c_str());
    writeLine(doc, "/Rotate %d\n/Contents %d 0 R\n", page->rotation, page->contentsObject);
    if (!page->annotList.empty()) {
        writeLine(doc, "/Annots [ ");
        for (int i : page->annotList) writeLine(doc, "%d 0 R ", doc->annots[static_cast<std::size_t>(i)].objectNumber);
        writeLine(doc, "]\n");
    }
    if (page->duration > 0.0f) writeLine(doc, "/Dur %.3f\n", static_cast<double>(page->duration));
    writeLine(doc, ">>\n");
    return endObject(doc);
}

int tpdf_writeMemContentStream(PdfDoc* doc, int pageNumber) {
    PdfPage* page = findUsedPage(doc, pageNumber);
    if (!page) return -1;
    beginObject(doc, page->contentsObject);
    if (page->flags & kPageCompressed) {
        const int length = static_cast<int>(page->compressedData.size());
        writeLine(doc, "<<\n/Length %d\n/Filter [%s]\n>>\nstream\n", length,
                  doc->filterName.c_str());
        writeStreamBody(doc, page->compressedData.data(), length);
        detachPageContent(doc, *page);
        page->compressedData = {};
    } else {
        const int length = page->content ? page->content->count : 0;
        writeLine(doc, "<</Length %d>>\nstream\n", length);
        writeStreamBody(doc, page->content ? page->content->buffer : nullptr, length);
        detachPageContent(doc, *page);
        page->content.reset();
    }
    return endObject(doc);
}

int tpdf_writeContentStream(PdfDoc* doc, int pageNumber) {
    PdfPage* page = findUsedPage(doc, pageNumber);
    if (!page) return -1;
    std::vector<unsigned char> bytes;
    // A page whose stream was written already has no file any more, and nothing to write.
    if (page->tempFile && !readWholeFile(page->tempFile.get(), bytes)) {
        tpdf_Error(doc, 2, kModule, "Cannot read %s as temporary content file",
                   page->tempName.c_str());
        doc->failed = true;
        bytes.clear();
    }
    beginObject(doc, page->contentsObject);
    std::vector<unsigned char> packed;
    if (doc->compress && compressBytes(doc, bytes.data(), bytes.size(), bytes.size() + 1024, packed)) {
        writeLine(doc, "<<\n/Length %d\n/Filter [%s]\n>>\nstream\n", static_cast<int>(packed.size()),
                  doc->filterName.c_str());
        writeStreamBody(doc, packed.data(), static_cast<int>(packed.size()));
    } else {
        writeLine(doc, "<</Length %d>>\nstream\n", static_cast<int>(bytes.size()));
        writeStreamBody(doc, bytes.data(), static_cast<int>(bytes.size()));
    }
    detachPageContent(doc, *page);
    page->tempFile.reset();
    return endObject(doc);
}

int tpdf_writeFont(PdfDoc* doc, int fontIndex) {
    if (!doc || fontIndex < 0 || static_cast<std::size_t>(fontIndex) >= doc->fonts.size()) return -1;
    const PdfFont& font = doc->fonts[static_cast<std::size_t>(fontIndex)];
    beginObject(doc, font.objectNumber);
    writeLine(doc, "<<\n/Type /Font\n/Subtype /%s\n/Name /%s\n/BaseFont /%s\n",
              font.type == 3 ? "Type0" : "Type1", font.resourceName, pdfName(font.baseFont).c_str());
    if (font.hasEncoding && font.fontIndex != 12 && font.fontIndex != 13)
        writeLine(doc, "/Encoding /%s\n", pdfName(font.encodingName).c_str());
    else if (font.type == 3)
        writeLine(doc, "/Encoding /%s\n", defaultCMap(font.fontIndex)); // required of a Type0 font
    if ((font.type == 1 || font.type == 2) && font.descriptor) {
        writeLine(doc, "/FirstChar %d\n/LastChar %d\n/Widths [\n", font.firstChar, font.lastChar);
        // Each code's width in the font's own encoding; external fonts have 268 slots.
        const int slots = font.type == 2 ? TPDF_WIDTH_SLOTS - 1 : TPDF_WIDTH_SLOTS;
        for (int code = font.firstChar, n = 0; code <= font.lastChar; ++code, ++n) {
            const int slot = fontWidthSlot(font, static_cast<unsigned char>(code));
            writeLine(doc, "%s%d ", n > 0 && n % 16 == 0 ? "\n" : "", slot < slots ? font.widths[slot] : 0);
        }
        writeLine(doc, "]\n/FontDescriptor %d 0 R\n", font.descriptor->objectNumber);
    }
    if (font.type == 3) writeLine(doc, "/DescendantFonts [ %d 0 R ]\n", font.cid.objectNumber);
    writeLine(doc, ">>\n");
    return endObject(doc);
}

int tpdf_writeFontDescriptor(PdfDoc* doc, PdfFontDescriptor* d, int type) {
    if (!doc || !fontDescriptorSound(doc, "tpdf_writeFontDescriptor", d)) return -1;
    beginObject(doc, d->objectNumber);
    writeLine(doc, "<<\n/Type /FontDescriptor\n/Ascent %d\n/CapHeight %d\n/Descent %d\n/Flags %ld\n",
              d->ascent, d->capHeight, d->descent, d->flags);
    writeLine(doc, "/FontBBox [%d %d %d %d]\n/FontName /%s\n/ItalicAngle %g\n/StemV %d\n/XHeight %d\n",
              d->fontBBox[0], d->fontBBox[1], d->fontBBox[2], d->fontBBox[3],
              pdfName(d->fontName).c_str(), static_cast<double>(d->italicAngle), d->stemV, d->xHeight);
    if (type == 3)
        writeLine(doc, "/StemH %d\n/MissingWidth %d\n/Leading %d\n/MaxWidth %d\n/AvgWidth %d\n/Style << %s >>\n",
                  d->stemH, d->missingWidth, d->leading, d->maxWidth, d->avgWidth, d->style ? d->style : "");
    if (d->fontFile) writeLine(doc, "/FontFile %d 0 R\n", d->fontFile->objectNumber);
    writeLine(doc, ">>\n");
    return endObject(doc);
}

int tpdf_writeCIDFont(PdfDoc* doc, PdfFont* font) {
    if (!doc || !cidFontSound(doc, "tpdf_writeCIDFont", font)) return -1;
    beginObject(doc, font->cid.objectNumber);
    writeLine(doc, "<<\n/Type /Font\n/Subtype /CIDFontType2\n/BaseFont /%s\n/FontDescriptor %d 0 R\n",
              pdfName(font->baseFont).c_str(), font->descriptor->objectNumber);
    writeLine(doc, "/CIDSystemInfo << %s >>\n/DW %d\n/W %s\n>>\n", font->cid.systemInfo,
              font->cid.defaultWidth, font->cid.widths);
    return endObject(doc);
}

int tpdf_writeFontFile(PdfDoc* doc, PdfFontInfo* info) {
    if (!doc || !fontInfoSound(doc, "tpdf_writeFontFile", info)) return -1;
    beginObject(doc, info->objectNumber);
    writeLine(doc, "<<\n/Length %ld\n/Length1 %ld\n/Length2 %ld\n/Length3 %ld\n>>\nstream\n",
              info->length, info->length1, info->length2, info->length3);
    writeOutput(doc, info->outline->buffer, info->outline->count);
    return writeLine(doc, "\nendstream\nendobj\n") == 0 ? doc->byteOffset : -1;
}

int tpdf_writeAnnotations(PdfDoc* doc, int annotIndex) {
    if (!doc || annotIndex < 0 || static_cast<std::size_t>(annotIndex) >= doc->annots.size()) return -1;
    const PdfAnnot& a = doc->annots[static_cast<std::size_t>(annotIndex)];
    beginObject(doc, a.objectNumber);
    writeLine(doc, "<<\n/Type /Annot\n/Subtype /%s\n", a.kind == 0 ? "Text" : "Link");
    writeLine(doc, "/Rect [%.0f %.0f %.0f %.0f]\n", static_cast<double>(a.x1), static_cast<double>(a.y1),
              static_cast<double>(a.x2), static_cast<double>(a.y2));
    if (a.kind == 0) {
        writeText(doc, "/T (", a.title, a.titleLength, ")\n");
        writeText(doc, "/Contents (", a.content, a.contentLength, ")\n");
    } else if (a.kind == 1) {
        writeText(doc, "/A << /S /URI\n/URI (", a.content, a.contentLength, ")\n>>\n");
    } else if (a.kind == 2) {
        // A link to a page that was never started leads nowhere rather than to a broken object.
        if (const PdfPage* page = findUsedPage(doc, a.targetPage)) {
            writeLine(doc, "/Dest [%d 0 R ", page->pageObject);
            writeText(doc, "", a.content, a.contentLength, "]\n");
        }
    } else {
        writeText(doc, "/A <<\n", a.content, a.contentLength, "\n>>\n");
    }
    // Caller texts of any length, so not through lineBuffer.
    if (a.borderStyle)
        writeText(doc, "/BS <<\n", a.borderStyle, "\n>>\n");
    else if (a.border)
        writeText(doc, "/Border ", a.border, "\n");
    else
        writeLine(doc, "/Border [0 0 1]\n");
    writeLine(doc, "/C [%.4f %.4f %.4f]\n/F %d\n>>\n", static_cast<double>(a.r),
              static_cast<double>(a.g), static_cast<double>(a.b), a.flags);
    return endObject(doc);
}

int tpdf_writeOutlineItem(PdfDoc* doc, PdfOutline* item) {
    if (!doc || !outlineItemSound(doc, "tpdf_writeOutlineItem", item)) return -1;
    beginObject(doc, item->objectNumber);
    writeLine(doc, "<<\n/Parent %d 0 R\n", item->parent ? item->parent->objectNumber : kOutlinesRoot);
    if (item->targetPage >= 0) {
        const PdfPage* page = findUsedPage(doc, item->targetPage);
        if (page) writeLine(doc, "/Dest [%d 0 R %s]\n", page->pageObject, item->destination);
    } else {
        writeText(doc, "/A <<\n", item->destination, "\n>>\n");
    }
    writeText(doc, "/Title (", item->title, item->titleLength, ")\n");
    if (item->next) writeLine(doc, "/Next %d 0 R\n", item->next->objectNumber);
    if (item->prev) writeLine(doc, "/Prev %d 0 R\n", item->prev->objectNumber);
    if (item->first) writeLine(doc, "/First %d 0 R\n", item->first->objectNumber);
    if (item->last) writeLine(doc, "/Last %d 0 R\n", item->last->objectNumber);
    if (item->count > 0) writeLine(doc, item->open ? "/Count %d\n" : "/Count -%d\n", item->count);
    writeLine(doc, ">>\n");
    return endObject(doc);
}

void tpdf_numberOutlines(int* counter, PdfOutline* first, PdfOutline*) {
    static const char* const kCall = "tpdf_numberOutlines";
    std::vector<PdfOutline*> items;
    if (!recordGiven(nullptr, kCall, counter) || !outlineOrder(nullptr, kCall, first, items)) return;
    // Every item takes a positive number, and the counter ends after the last one.
    if (*counter < 1 || static_cast<std::int64_t>(items.size()) > std::int64_t{INT_MAX} - *counter) {
        tpdf_GlobalError(1, kModule, "%s refused to number %d items from %d: object numbers run from 1 to %d",
                         kCall, static_cast<int>(std::min<std::size_t>(items.size(), INT_MAX)), *counter, INT_MAX);
        return;
    }
    for (PdfOutline* item : items) item->objectNumber = (*counter)++;
}

int tpdf_writeOutlines(PdfDoc* doc, PdfOutline* first, PdfOutline*) {
    std::vector<PdfOutline*> items;
    if (!doc || !outlineOrder(doc, "tpdf_writeOutlines", first, items)) return -1;
    for (PdfOutline* item : items) tpdf_writeOutlineItem(doc, item);
    return doc->byteOffset;
}

int tpdf_writeImage(PdfDoc* doc, int imageIndex) {
    if (!doc || imageIndex < 0 || static_cast<std::size_t>(imageIndex) >= doc->images.size())
        return -1;
    const PdfImage& image = doc->images[static_cast<std::size_t>(imageIndex)];
    beginObject(doc, image.objectNumber);
    writeLine(doc, "<<\n/Type /XObject\n/Subtype /Image\n/Name /%s\n/Width %d\n/Height %d\n",
              image.name, image.width, image.height);
    writeLine(doc, "/Filter /DCTDecode\n");
    if (image.invert) {
        std::string decode = "[";
        for (int i = 0; i < image.components; ++i) decode += i ? " 1 0" : "1 0";
        writeLine(doc, "/Decode %s]\n", decode.c_str());
    }
    writeLine(doc, "/BitsPerComponent %d\n", image.bitsPerComponent);
    if (image.imageMask && image.components == 1 && image.bitsPerComponent == 1) {
        writeLine(doc, "/ImageMask true\n");
    } else {
        const char* space = image.components <= 2 ? "DeviceGray"
                            : image.components == 3 ? "DeviceRGB"
                                                    : "DeviceCMYK";
        writeLine(doc, "/ColorSpace /%s\n", space);
    }
    writeLine(doc, "/Length %d\n>>\nstream\n", image.fileSize);
    copyImageData(doc, image);
    writeLine(doc, "\nendstream\n");
    return endObject(doc);
}

int tpdf_writeInfo(PdfDoc* doc, int objectNumber) {
    if (!doc) return -1;
    struct tm when {};
    if (doc->fixedTime) {
        when = doc->creationTime;
    } else {
        const std::time_t now = std::time(nullptr);
        localtime_r(&now, &when);
    }
    beginObject(doc, objectNumber);
    writeLine(doc, "<<\n/Creator (%s)\n", escapeText(doc->creator).c_str());
    writeLine(doc, "/CreationDate (D:%04d%02d%02d%02d%02d%02d)\n", when.tm_year + 1900,
              when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec);
    writeLine(doc, "/Producer ([%s %s] %s)\n", "TarvexPDF Library", tpdf_libraryVersion(),
              tpdf_platformName());
    writeLine(doc, "/Author (User: %s)\n", escapeText(doc->author).c_str());
    writeLine(doc, "/Title (%s)\n", escapeText(doc->title).c_str());
    writeLine(doc, "/Subject (%s)\n", escapeText(doc->subject).c_str());
    writeLine(doc, "/Keywords (%s)\n>>\n", escapeText(doc->keywords).c_str());
    return endObject(doc);
}

int tpdf_writeXrefTrailer(PdfDoc* doc, int objectCount) {
    if (!doc) return -1;
    if (objectCount < 0 || static_cast<std::size_t>(objectCount) >= doc->objectOffsets.size()) {
        tpdf_Error(doc, 1, kModule, "Object count %d is beyond the offset table", objectCount);
        return -1;
    }
    const int count = objectCount + 1;
    doc->xrefOffset = doc->byteOffset;
    writeLine(doc, "xref\n0 %d\n0000000000 65535 f \n", count);
    for (int k = 1; k < count; ++k)
        writeLine(doc, "%010d 00000 n \n", doc->objectOffsets[static_cast<std::size_t>(k)]);
    writeLine(doc, "trailer\n<<\n/Size %d\n/Root %d 0 R\n/Info %d 0 R\n>>\n", count, kCatalog,
              doc->fixedObjects[4]);
    writeLine(doc, "startxref\n%d\n%%%%EOF\n", doc->xrefOffset);
    return doc->failed ? -1 : doc->byteOffset;
}

} // extern "C"
