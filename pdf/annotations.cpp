// Text notes and links on the current page, the outline tree and a few document settings.
#include "c_format.h"
#include "call_guard.h"
#include "doc_record.h"
#include "document.h"
#include "errors.h"
#include "object_syntax.h"
#include "pdf_string.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

using namespace tpdf;

namespace {

constexpr long kMaxNoteFile = 16L * 1024 * 1024;

struct Rect {
    float x1, y1, x2, y2;
};

Rect domainRect(PdfDoc* doc, Rect r) {
    return {tpdf_domainX(doc, r.x1), tpdf_domainY(doc, r.y1), tpdf_domainX(doc, r.x2),
            tpdf_domainY(doc, r.y2)};
}

// An owned, NUL-ended copy of bytes.
unsigned char* ownedBytes(const std::string& bytes, int& length) {
    auto* out = static_cast<unsigned char*>(std::malloc(bytes.size() + 1));
    if (!out) throw std::bad_alloc();
    std::memcpy(out, bytes.data(), bytes.size());
    out[bytes.size()] = 0;
    length = static_cast<int>(bytes.size());
    return out;
}

char* ownedText(const char* text) {
    if (!text) return nullptr;
    char* copy = duplicateText(text);
    if (!copy) throw std::bad_alloc();
    return copy;
}

// A note text or title as written: hexadecimal text first turned into bytes when the
// document takes hex text.
std::string noteText(const PdfDoc* doc, const char* text) {
    if (!text) return {};
    if (!doc->hexText) return escapeNoteText(text, std::strlen(text));
    const std::string bytes = hexTextBytes(text);
    return escapeText(bytes.data(), bytes.size());
}

// Texts the writer puts into an object as they stand: refused at the call unless they make a
// well-formed object there, so that an accepted call never damages the file.
bool syntaxAccepted(PdfDoc* doc, const char* what, const char* text, ObjectSyntax expected) {
    if (isObjectSyntax(text, expected)) return true;
    failCall(doc);
    if (!text) {
        tpdf_Error(doc, 1, kModule, "The %s text is missing", what);
        return false;
    }
    tpdf_Error(doc, 1, kModule, "The %s text is not well-formed PDF syntax and was not added: %.64s",
               what, text);
    return false;
}

const char* const kAnnotCalls[4] = {"tpdf_textNote", "tpdf_webLink", "tpdf_pageLink",
                                    "tpdf_actionLink"};

struct AnnotSpec {
    int kind;
    Rect rect;
    int page;
    const char* title;
    const char* content;
    const PdfAnnotOptions* options;
};

int addAnnotation(PdfDoc* doc, const AnnotSpec& spec) {
    if (static_cast<int>(doc->annots.size()) >= doc->maxAnnots) {
        tpdf_Error(doc, 1, kModule, "too many annotations in this PDF: %d", static_cast<int>(doc->annots.size()));
        return -1;
    }
    PdfPage* page = findUsedPage(doc, doc->currentPage);
    if (!page || (page->flags & kPageFinalized)) {
        tpdf_Error(doc, 1, kModule, "An annotation needs a started page");
        return -1;
    }
    const PdfAnnotOptions* o = spec.options;
    const Rect& r = spec.rect;
    // The rectangle is written as integers, the colour as reals.
    if (!integerNumbers(doc, kAnnotCalls[spec.kind], {r.x1, r.y1, r.x2, r.y2}) ||
        (o && !finiteNumbers(doc, kAnnotCalls[spec.kind], {o->r, o->g, o->b})))
        return -1;
    if (spec.kind == 2 && (spec.page < 1 || spec.page > doc->maxPages)) {
        tpdf_Error(doc, 1, kModule, "A link cannot lead to page %d", spec.page);
        return -1;
    }
    if ((spec.kind == 2 && !syntaxAccepted(doc, "destination", spec.content, ObjectSyntax::Destination)) ||
        (spec.kind == 3 && !syntaxAccepted(doc, "action", spec.content, ObjectSyntax::Action)) ||
        (o && o->border && !syntaxAccepted(doc, "border", o->border, ObjectSyntax::Border)) ||
        (o && o->borderStyle &&
         !syntaxAccepted(doc, "border style", o->borderStyle, ObjectSyntax::BorderStyle)))
        return -1;
    PdfAnnot a{};
    a.kind = spec.kind;
    a.targetPage = spec.page;
    a.x1 = spec.rect.x1;
    a.y1 = spec.rect.y1;
    a.x2 = spec.rect.x2;
    a.y2 = spec.rect.y2;
    try {
        if (o) {
            a.flags = o->flags;
            a.r = o->r;
            a.g = o->g;
            a.b = o->b;
            a.border = ownedText(o->border);
            a.borderStyle = ownedText(o->borderStyle);
        } else {
            const bool note = spec.kind == 0;
            a.r = note ? 1.0f : 0.0f;
            a.g = note ? 1.0f : 0.0f;
            a.b = note ? 0.0f : 1.0f;
            if (spec.kind == 1 || spec.kind == 3) a.border = ownedText("[0 0 0]");
        }
        std::string content;
        if (spec.kind == 0) content = noteText(doc, spec.content);
        else if (spec.kind == 1) content = escapeText(spec.content);
        else content = spec.content ? spec.content : "";
        a.content = ownedBytes(content, a.contentLength);
        if (spec.kind == 0) a.title = ownedBytes(noteText(doc, spec.title), a.titleLength);
        noteTableGrowth(doc);
        page->annotList.push_back(static_cast<int>(doc->annots.size()));
        doc->annots.push_back(a);
    } catch (const std::bad_alloc&) {
        std::free(a.border);
        std::free(a.borderStyle);
        std::free(a.content);
        std::free(a.title);
        reportNoMemory();
        return -1;
    }
    return 0;
}

int add(PdfDoc* doc, const AnnotSpec& spec, bool domain) {
    if (!doc) return -1;
    AnnotSpec s = spec;
    if (domain) s.rect = domainRect(doc, spec.rect);
    return addAnnotation(doc, s);
}

enum class NoteFile { Read, NotRead, TooLong };

// At most the cap from any file: a device or a pipe has no size to go by, and may never end.
NoteFile readNoteFile(const char* fileName, std::string& text) {
    const FilePtr f(fileName ? std::fopen(fileName, "rb") : nullptr);
    if (!f) return NoteFile::NotRead;
    constexpr std::size_t kCap = kMaxNoteFile;
    char chunk[65536];
    for (;;) {
        const std::size_t want = std::min(sizeof chunk, kCap + 1 - text.size());
        const std::size_t n = std::fread(chunk, 1, want, f.get());
        text.append(chunk, n);
        if (text.size() > kCap) return NoteFile::TooLong;
        if (n == 0) return std::ferror(f.get()) ? NoteFile::NotRead : NoteFile::Read;
    }
}

int noteFromFile(PdfDoc* doc, Rect r, const char* title, const char* fileName,
                 const PdfAnnotOptions* options, bool domain) {
    if (!doc) return -1;
    std::string text;
    const NoteFile read = readNoteFile(fileName, text);
    if (read == NoteFile::NotRead) {
        tpdf_Error(doc, 1, kModule, "cannot open annotation text file: %s", fileName ? fileName : "");
        return -1;
    }
    if (read == NoteFile::TooLong) {
        tpdf_Error(doc, 1, kModule, "annotation text file %s holds more than %ld bytes", fileName,
                   kMaxNoteFile);
        return -1;
    }
    // A NUL in the file ends the note, as it would end any text passed in.
    return add(doc, {0, r, 0, title, text.c_str(), options}, domain);
}

// ---- Outlines ----------------------------------------------------------------------------

// The destination text of a code, through the number gate; false (reported for call) when a
// value the code writes is not a number readers take.
bool destinationText(PdfDoc* doc, const char* call, int code, const float v[4], std::string& out) {
    char text[256];
    const double a = v[0], b = v[1], c = v[2], dd = v[3];
    int n = 0, used = 0;
    switch (code) {
    case 1: used = 3; n = format(text, sizeof text, "/XYZ %.0f %.0f %.3f", a, b, c); break;
    case 2: n = format(text, sizeof text, "/Fit"); break;
    case 3: used = 1; n = format(text, sizeof text, "/FitH %.0f", a); break;
    case 4: used = 1; n = format(text, sizeof text, "/FitV %.0f", a); break;
    case 5: used = 4; n = format(text, sizeof text, "/FitR %.0f %.0f %.0f %.0f", a, b, c, dd); break;
    case 6: n = format(text, sizeof text, "/FitB"); break;
    case 7: used = 1; n = format(text, sizeof text, "/FitBH %.0f", a); break;
    case 8: used = 1; n = format(text, sizeof text, "/FitBV %.0f", a); break;
    case 9: used = 1; n = format(text, sizeof text, "/XYZ null %.0f null", a); break;
    default: n = format(text, sizeof text, "/XYZ null null null"); break;
    }
    if (n >= 0) {
        out = text;
        return true;
    }
    reportRefusedNumber(doc, call, !std::all_of(v, v + used, [](float x) { return std::isfinite(x); }));
    return false;
}

bool visibleUnder(const PdfOutline* parent) {
    for (const PdfOutline* p = parent; p; p = p->parent)
        if (!p->open) return false;
    return true;
}

void place(PdfDoc* doc, PdfOutline* item, PdfOutline* anchor, int sublevel) {
    if (anchor && sublevel) {
        item->parent = anchor;
        if (anchor->last) {
            // A later child goes after the earlier ones.
            item->prev = anchor->last;
            anchor->last->next = item;
        } else {
            anchor->first = item;
        }
        anchor->last = item;
    } else {
        PdfOutline* after = anchor ? anchor : doc->lastOutline;
        item->parent = after ? after->parent : nullptr;
        if (after) {
            item->prev = after;
            item->next = after->next;
            if (after->next) after->next->prev = item;
            after->next = item;
        }
        if (!after) doc->firstOutline = item;
        if (!item->parent && !item->next) doc->lastOutline = item;
        if (item->parent && !item->next) item->parent->last = item;
    }
    if (visibleUnder(item->parent)) ++doc->outlineCount;
    for (PdfOutline* p = item->parent; p; p = p->parent) {
        ++p->count;
        if (!p->open) break;
    }
}

PdfOutline* addItem(PdfDoc* doc, PdfOutline* anchor, int sublevel, int open, int page,
                    const std::string& destination, const char* title) {
    if (!openForChanges(doc, "An outline item")) return nullptr;
    // Each item is an object of the file, so the object table bounds them.
    if (static_cast<int>(doc->outlines.size()) >= doc->maxObjects) {
        tpdf_Error(doc, 1, kModule, "Too many outline items in this PDF: %d",
                   static_cast<int>(doc->outlines.size()));
        failCall(doc);
        return nullptr;
    }
    OutlinePtr item(new PdfOutline{});
    item->targetPage = page;
    item->open = open != 0;
    item->destination = ownedText(destination.c_str());
    item->title = ownedBytes(noteText(doc, title), item->titleLength);
    PdfOutline* raw = item.get();
    noteTableGrowth(doc);
    doc->outlines.push_back(std::move(item));
    place(doc, raw, anchor, sublevel);
    return raw;
}

bool ownsOutline(const PdfDoc* doc, const PdfOutline* item) {
    if (!item) return true;
    for (const OutlinePtr& p : doc->outlines)
        if (p.get() == item) return true;
    return false;
}

} // namespace

void tpdf::releaseAnnotations(PdfDoc* doc, std::size_t first) {
    if (first >= doc->annots.size()) return;
    for (std::size_t i = first; i < doc->annots.size(); ++i) {
        PdfAnnot& a = doc->annots[i];
        std::free(a.border);
        std::free(a.borderStyle);
        std::free(a.content);
        std::free(a.title);
    }
    doc->annots.resize(first);
    const int end = static_cast<int>(first);
    for (PdfPage& page : doc->pages)
        std::erase_if(page.annotList, [end](int i) { return i >= end; });
}

// The inverse of place(): the item is the newest, so it has no children left.
static void unplace(PdfDoc* doc, PdfOutline* item) {
    PdfOutline* parent = item->parent;
    if (visibleUnder(parent)) --doc->outlineCount;
    for (PdfOutline* p = parent; p; p = p->parent) {
        --p->count;
        if (!p->open) break;
    }
    (item->prev ? item->prev->next : parent ? parent->first : doc->firstOutline) = item->next;
    (item->next ? item->next->prev : parent ? parent->last : doc->lastOutline) = item->prev;
}

void tpdf::releaseOutlines(PdfDoc* doc, std::size_t first) {
    while (doc->outlines.size() > first) {
        unplace(doc, doc->outlines.back().get());
        doc->outlines.pop_back();
    }
}

void tpdf::OutlineFreer::operator()(PdfOutline* item) const {
    if (!item) return;
    std::free(item->destination);
    std::free(item->title);
    delete item;
}

extern "C" {

int tpdf_textNote(PdfDoc* doc, float x1, float y1, float x2, float y2, const char* title,
                  const char* content, const PdfAnnotOptions* options) {
    return add(doc, {0, {x1, y1, x2, y2}, 0, title, content, options}, false);
}
int tpdf_textNoteDomain(PdfDoc* doc, float x1, float y1, float x2, float y2, const char* title,
                        const char* content, const PdfAnnotOptions* options) {
    return add(doc, {0, {x1, y1, x2, y2}, 0, title, content, options}, true);
}
int tpdf_textNoteFromFile(PdfDoc* doc, float x1, float y1, float x2, float y2,
                          const char* title, const char* fileName,
                          const PdfAnnotOptions* options) {
    return noteFromFile(doc, {x1, y1, x2, y2}, title, fileName, options, false);
}
int tpdf_textNoteFromFileDomain(PdfDoc* doc, float x1, float y1, float x2, float y2,
                                const char* title, const char* fileName,
                                const PdfAnnotOptions* options) {
    return noteFromFile(doc, {x1, y1, x2, y2}, title, fileName, options, true);
}
int tpdf_webLink(PdfDoc* doc, float x1, float y1, float x2, float y2, const char* address,
                 const PdfAnnotOptions* options) {
    return add(doc, {1, {x1, y1, x2, y2}, 0, nullptr, address, options}, false);
}
int tpdf_webLinkDomain(PdfDoc* doc, float x1, float y1, float x2, float y2,
                       const char* address, const PdfAnnotOptions* options) {
    return add(doc, {1, {x1, y1, x2, y2}, 0, nullptr, address, options}, true);
}
int tpdf_pageLink(PdfDoc* doc, float x1, float y1, float x2, float y2, int page,
                  const char* destination, const PdfAnnotOptions* options) {
    return add(doc, {2, {x1, y1, x2, y2}, page, nullptr, destination, options}, false);
}
int tpdf_pageLinkDomain(PdfDoc* doc, float x1, float y1, float x2, float y2, int page,
                        const char* destination, const PdfAnnotOptions* options) {
    return add(doc, {2, {x1, y1, x2, y2}, page, nullptr, destination, options}, true);
}
int tpdf_actionLink(PdfDoc* doc, float x1, float y1, float x2, float y2, const char* action,
                    const PdfAnnotOptions* options) {
    return add(doc, {3, {x1, y1, x2, y2}, 0, nullptr, action, options}, false);
}
int tpdf_actionLinkDomain(PdfDoc* doc, float x1, float y1, float x2, float y2,
                          const char* action, const PdfAnnotOptions* options) {
    return add(doc, {3, {x1, y1, x2, y2}, 0, nullptr, action, options}, true);
}

int tpdf_annotCount(PdfDoc* doc) { return doc ? static_cast<int>(doc->annots.size()) : 0; }

const PdfAnnot* tpdf_annotEntry(PdfDoc* doc, int index) {
    if (!doc || index < 0 || static_cast<std::size_t>(index) >= doc->annots.size()) return nullptr;
    return &doc->annots[static_cast<std::size_t>(index)];
}

void tpdf_freeAnnotations(PdfDoc* doc) {
    if (doc) releaseAnnotations(doc);
}

char* tpdf_destinationText(int code, float v1, float v2, float v3, float v4) {
    try {
        const float values[4] = {v1, v2, v3, v4};
        std::string text;
        if (!destinationText(nullptr, "tpdf_destinationText", code, values, text)) return nullptr;
        return duplicateText(text.c_str());
    } catch (const std::bad_alloc&) {
        reportNoMemory();
        return nullptr;
    }
}

PdfOutline* tpdf_addOutline(PdfDoc* doc, PdfOutline* after, int sublevel, int open, int page,
                            const char* title, int destinationCode, float v1, float v2,
                            float v3, float v4) {
    if (!doc || !ownsOutline(doc, after)) return nullptr;
    const float values[4] = {v1, v2, v3, v4};
    std::string destination;
    if (!destinationText(doc, "tpdf_addOutline", destinationCode, values, destination))
        return nullptr;
    if (!findUsedPage(doc, page)) {
        tpdf_Error(doc, 1, kModule, "Page %d has not yet been created for outline (book mark).", page);
        failCall(doc);
        return nullptr;
    }
    return addItem(doc, after, sublevel, open, page, destination, title);
}

PdfOutline* tpdf_addOutlineAction(PdfDoc* doc, PdfOutline* after, int sublevel, int open,
                                  const char* action, const char* title) {
    if (!doc || !action || !ownsOutline(doc, after) ||
        !syntaxAccepted(doc, "action", action, ObjectSyntax::Action))
        return nullptr;
    return addItem(doc, after, sublevel, open, -1, action, title);
}

int tpdf_outlineCount(PdfDoc* doc) { return doc ? doc->outlineCount : 0; }

PdfOutline* tpdf_firstOutline(PdfDoc* doc) { return doc ? doc->firstOutline : nullptr; }

void tpdf_freeOutlines(PdfDoc* doc) {
    if (!doc) return;
    doc->outlines.clear();
    doc->firstOutline = doc->lastOutline = nullptr;
    doc->outlineCount = 0;
}

char* tpdf_slashToBackslash(char* out, const char* path) {
    if (!out || !path) return out;
    char* p = out;
    for (; *path; ++path) *p++ = *path == '/' ? '\\' : *path;
    *p = '\0';
    return out;
}

int tpdf_uniqueId(int* id) {
    static int counter = 0;
    if (id && *id > 0) return *id;
    if (++counter >= 0x7FFFFFFE) counter = 1;
    if (id) *id = counter;
    return counter;
}

} // extern "C"
