// Image import: lists each image file once and draws it on the current page.
#include "c_format.h"
#include "call_guard.h"
#include "document.h"
#include "doc_record.h"
#include "errors.h"
#include "output.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

using namespace tpdf;

namespace {

constexpr double kDegreesToRadians = 0.017453292522222223;

struct Placement {
    float w, h;
};

// Width first, then height, each from the size or the scale that was given; a lone size or
// scale keeps the picture's aspect. The four values used are handed back in `used`.
struct Sizes {
    float width, height, xscale, yscale;
};

Placement sizeAndScale(const PdfImage& image, const Sizes& given, Sizes& used) {
    const auto W = static_cast<float>(image.width);
    const auto H = static_cast<float>(image.height);
    const auto isGiven = [](float v) { return std::fabs(v) > 0.00001f; };
    float w = W, h = H;
    if (isGiven(given.width))
        w = given.width;
    else if (isGiven(given.xscale))
        w = W * given.xscale;
    else if (isGiven(given.height))
        w = W * (given.height / H);
    else if (isGiven(given.yscale))
        w = W * given.yscale;
    if (isGiven(given.height))
        h = given.height;
    else if (isGiven(given.yscale))
        h = H * given.yscale;
    else if (isGiven(given.width))
        h = H * (given.width / W);
    else if (isGiven(given.xscale))
        h = H * given.xscale;
    used = {w, h, w / W, h / H};
    return {w, h};
}

// The drawing operators; false when a number would not be written.
bool drawing(const char* name, float x, float y, float angle, Placement p, int flags,
             std::string& out) {
    char line[256];
    bool written = true;
    auto cm = [&](double a, double b, double c, double d, double e, double f) {
        const int n = format(line, sizeof line, "%.4f %.4f %.4f %.4f %.4f %.4f cm\n", a, b, c, d, e, f);
        if (n > 0) out += line;
        else written = false;
    };
    if (flags & 1) out += "\nq\n";
    cm(1, 0, 0, 1, x, y);
    if (std::fabs(angle) > 0.001f) {
        const double a = angle * kDegreesToRadians;
        cm(std::cos(a), std::sin(a), -std::sin(a), std::cos(a), 0, 0);
    }
    cm(p.w, 0, 0, p.h, 0, 0);
    out += '/';
    out += name;
    out += " Do\n";
    if (flags & 1) out += "Q\n";
    return written;
}

void freeImage(PdfImage& image) {
    std::free(image.name);
    std::free(image.fileName);
    std::free(image.data);
    image.name = image.fileName = nullptr;
    image.data = nullptr;
}

// Reads a new image's header; 0, or the import's failure result.
int readImage(PdfDoc* doc, PdfImage& entry, const char* fileName, int type) {
    switch (type) {
    case 0: {
        const int rc = read_JPEG_header(fileName, &entry);
        if (rc == -1) return -1;
        if (rc == -2) {
            tpdf_Error(doc, 1, kModule, "Not a JPEG file?: %s", fileName);
            return -2;
        }
        if (rc < 0) {
            tpdf_Error(doc, 1, kModule, "Damaged JPEG file: %s", fileName);
            return -3;
        }
        if (entry.sofCode != 0xC0) tpdf_raisePdfVersion(doc, 1, 3);
        return 0;
    }
    case 3:
        tpdf_GlobalError(1, kModule, "LIBTIFF library support is not compiled in.");
        return -1;
    case 5:
        tpdf_GlobalError(1, kModule, "PDFIMG support is not compiled in.");
        return -1;
    default:
        return -4;
    }
}

// Reads a new image file into entry (named for the next index), not yet listed; 0, or the
// import's failure result.
int readNewImage(PdfDoc* doc, const char* fileName, int type, int flags, PdfImage& entry) {
    const int count = static_cast<int>(doc->images.size());
    if (count >= doc->maxImages) {
        tpdf_Error(doc, 1, kModule, "Too many images in this PDF: %d. Increase limits by tpdf_open()",
                   count);
        failCall(doc);
        return 1;
    }
    entry = PdfImage{};
    entry.imageMask = (flags & 2) ? 1 : 0;
    entry.invert = (flags & 4) ? 1 : 0;
    entry.tiffPage = doc->tiffPage;
    entry.type = type;
    const long size = tpdf_fileSize(fileName);
    if (size > INT_MAX) {
        tpdf_Error(doc, 1, kModule, "Image file too large: %s", fileName);
        return -1;
    }
    entry.fileSize = static_cast<int>(size);
    if (const int rc = readImage(doc, entry, fileName, type); rc != 0) return rc;

    char name[32];
    format(name, sizeof name, "IMtpdf%d", count);
    entry.name = duplicateText(name);
    entry.fileName = duplicateText(fileName);
    if (!entry.name || !entry.fileName) {
        freeImage(entry);
        return -1;
    }
    return 0;
}

void listImage(PdfDoc* doc, const PdfImage& entry) {
    noteTableGrowth(doc);
    doc->images.push_back(entry); // room was reserved at open for maxImages entries
    if (entry.components == 1) doc->procSetImageBits |= 1;
    if (entry.components > 2) doc->procSetImageBits |= 2;
}

// Places a listed image, or a new one (listed only once it is drawn); 0 or the failure result.
int place(PdfDoc* doc, const char* fileName, int type, float x, float y, float angle,
          Sizes& sizes, int flags) {
    int index = 0;
    PdfImage entry{};
    const bool listed = tpdf_findImage(doc, fileName, doc->tiffPage, &index) == 0;
    if (!listed)
        if (const int rc = readNewImage(doc, fileName, type, flags, entry); rc != 0) return rc;
    const PdfImage& image = listed ? doc->images[static_cast<std::size_t>(index)] : entry;
    Sizes used{};
    const Placement p = sizeAndScale(image, sizes, used);
    std::string ops;
    // A size or scale may overflow what a reader takes even when every argument was a number.
    if (!finiteNumbers(doc, "tpdf_importImage", {p.w, p.h}) ||
        !drawing(image.name, x, y, angle, p, flags, ops) ||
        appendContent(doc, ops.data(), static_cast<int>(ops.size())) != 0) {
        if (!listed) freeImage(entry);
        return -1;
    }
    if (!listed) listImage(doc, entry);
    std::vector<int>& list = doc->pages[static_cast<std::size_t>(doc->currentPage)].imageList;
    if (std::find(list.begin(), list.end(), index) == list.end()) {
        noteTableGrowth(doc);
        list.push_back(index);
    }
    sizes = used;
    return 0;
}

} // namespace

void tpdf::releaseImages(PdfDoc* doc, std::size_t first) {
    if (first >= doc->images.size()) return;
    for (std::size_t i = first; i < doc->images.size(); ++i) freeImage(doc->images[i]);
    doc->images.resize(first);
}

extern "C" {

int tpdf_importImage(PdfDoc* doc, const char* fileName, int type, float x, float y, float angle,
                     float* width, float* height, float* xscale, float* yscale, int flags) {
    if (!doc) return -1;
    const float py = tpdf_domainY(doc, y);
    const float px = tpdf_domainX(doc, x);
    return tpdf_rawImportImage(doc, fileName, type, px, py, angle, width, height, xscale, yscale,
                               flags);
}

int tpdf_rawImportImage(PdfDoc* doc, const char* fileName, int type, float x, float y,
                        float angle, float* width, float* height, float* xscale, float* yscale,
                        int flags) {
    if (!doc || !fileName) return -1;
    const auto input = [](const float* v) { return v ? static_cast<double>(*v) : 0.0; };
    if (!finiteNumbers(doc, "tpdf_importImage", {x, y, angle, input(width), input(height),
                                                 input(xscale), input(yscale)}))
        return -1;
    if (!drawingPageOpen(doc)) return refuseWithoutPage(doc, "tpdf_importImage");
    if (type != 3) doc->tiffPage = 0;
    const auto value = [](const float* v) { return v ? *v : 0.0f; };
    Sizes sizes{value(width), value(height), value(xscale), value(yscale)};
    try {
        if (const int rc = place(doc, fileName, type, x, y, angle, sizes, flags); rc != 0) return rc;
    } catch (const std::bad_alloc&) {
        reportNoMemory();
        return -1;
    }
    const auto store = [](float* out, float v) {
        if (out) *out = v;
    };
    store(width, sizes.width);
    store(height, sizes.height);
    store(xscale, sizes.xscale);
    store(yscale, sizes.yscale);
    return 0;
}

int tpdf_selectTiffPage(PdfDoc* doc, int page) {
    if (!doc) return 0;
    const int previous = doc->tiffPage;
    if (page >= 0) doc->tiffPage = page;
    return previous;
}

int tpdf_findImage(PdfDoc* doc, const char* fileName, int tiffPage, int* index) {
    if (!doc || !fileName) return 1;
    for (std::size_t i = 0; i < doc->images.size(); ++i) {
        const PdfImage& image = doc->images[i];
        if (image.tiffPage == tiffPage && std::strcmp(image.fileName, fileName) == 0) {
            if (index) *index = static_cast<int>(i);
            return 0;
        }
    }
    if (index) *index = static_cast<int>(doc->images.size());
    return 1;
}

void tpdf_freeImages(PdfDoc* doc) {
    if (!doc) return;
    if (!pagesStillUse(doc, &PdfPage::imageList, "Images")) releaseImages(doc);
}

} // extern "C"
