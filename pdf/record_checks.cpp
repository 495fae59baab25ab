#include "record_checks.h"

#include "call_guard.h"
#include "errors.h"
#include "memory_stream.h"
#include "object_syntax.h"

#include <cstring>
#include <unordered_set>

namespace tpdf {

namespace {

bool refuse(PdfDoc* doc, const char* call, const char* what) {
    static const char* const kFormat = "%s refused its record: %s";
    if (doc) tpdf_Error(doc, 1, kModule, kFormat, call, what);
    else tpdf_GlobalError(1, kModule, kFormat, call, what);
    failCall(doc);
    return false;
}

// A name field ends within its array.
template <std::size_t N> bool ended(const char (&field)[N]) { return std::memchr(field, 0, N) != nullptr; }

// An item that another links to is written as a reference to its object.
bool linkNumbered(const PdfOutline* link) { return !link || link->objectNumber > 0; }

} // namespace

bool recordGiven(PdfDoc* doc, const char* call, const void* record) {
    return record || refuse(doc, call, "none was given");
}

bool axisSound(const char* call, const PdfAxis* axis) {
    return axis && (axis->magic == TPDF_AXIS_MAGIC || refuse(nullptr, call, "not an axis of this library"));
}

bool outlineItemSound(PdfDoc* doc, const char* call, const PdfOutline* item) {
    if (!recordGiven(doc, call, item)) return false;
    if (item->objectNumber < 1) return refuse(doc, call, "the item has no object number");
    if (!item->destination) return refuse(doc, call, "the item has no destination or action text");
    const ObjectSyntax kind = item->targetPage >= 0 ? ObjectSyntax::Destination : ObjectSyntax::Action;
    if (!isObjectSyntax(item->destination, kind))
        return refuse(doc, call, "the destination or action text is not one readers take");
    if (item->titleLength < 0 || (item->titleLength > 0 && !item->title))
        return refuse(doc, call, "the title length does not match its bytes");
    if (item->count < 0) return refuse(doc, call, "the descendant count is negative");
    for (const PdfOutline* link : {item->parent, item->prev, item->next, item->first, item->last})
        if (!linkNumbered(link)) return refuse(doc, call, "a linked item has no object number");
    return true;
}

bool fontDescriptorSound(PdfDoc* doc, const char* call, const PdfFontDescriptor* descriptor) {
    if (!recordGiven(doc, call, descriptor)) return false;
    if (!ended(descriptor->fontName)) return refuse(doc, call, "the font name does not end in its field");
    return true;
}

bool cidFontSound(PdfDoc* doc, const char* call, const PdfFont* font) {
    if (!recordGiven(doc, call, font)) return false;
    if (font->type != 3 || !font->descriptor) return refuse(doc, call, "not a CID font with a descriptor");
    if (!ended(font->baseFont)) return refuse(doc, call, "the base font name does not end in its field");
    if (!font->cid.systemInfo || !font->cid.widths)
        return refuse(doc, call, "the CID font has no system information or widths");
    return true;
}

bool fontInfoSound(PdfDoc* doc, const char* call, const PdfFontInfo* info) {
    if (!recordGiven(doc, call, info)) return false;
    if (!streamRecordSound(info->outline)) return refuse(doc, call, "the outline is not a sound memory stream");
    const long sections[3] = {info->length1, info->length2, info->length3};
    long sum = 0;
    for (const long length : sections) {
        if (length < 0 || length > info->outline->count) return refuse(doc, call, "a section length is out of range");
        sum += length;
    }
    if (info->length != info->outline->count || sum != info->length)
        return refuse(doc, call, "the lengths do not add up to the outline's bytes");
    return true;
}

bool outlineOrder(PdfDoc* doc, const char* call, PdfOutline* first, std::vector<PdfOutline*>& order) {
    std::unordered_set<const PdfOutline*> reached;
    const PdfOutline* top = first ? first->parent : nullptr;
    for (PdfOutline* item = first; item;) {
        if (!reached.insert(item).second) return refuse(doc, call, "an outline item is linked twice");
        order.push_back(item);
        if (item->first) {
            item = item->first;
            continue;
        }
        // Up to the nearest item with a next sibling; each step leads to an item reached before.
        std::size_t steps = 0;
        while (item && item->parent != top && !item->next) {
            item = item->parent;
            if (item && (!reached.count(item) || ++steps > reached.size()))
                return refuse(doc, call, "an outline item's parent is not in its tree");
        }
        item = item ? item->next : nullptr;
    }
    return true;
}

} // namespace tpdf
