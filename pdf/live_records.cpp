#include "live_records.h"

#include <mutex>
#include <set>

namespace tpdf {

namespace {

struct Registry {
    std::mutex lock;
    std::set<const void*> documents, domains;
};

Registry& registry() {
    static Registry r;
    return r;
}

void change(std::set<const void*> Registry::*which, const void* record, bool open) {
    if (!record) return;
    Registry& r = registry();
    const std::lock_guard<std::mutex> hold(r.lock);
    if (open) (r.*which).insert(record);
    else (r.*which).erase(record);
}

bool contains(std::set<const void*> Registry::*which, const void* record) {
    if (!record) return false;
    Registry& r = registry();
    const std::lock_guard<std::mutex> hold(r.lock);
    return (r.*which).count(record) != 0;
}

} // namespace

void recordOpened(const PdfDoc* doc) { change(&Registry::documents, doc, true); }
void recordClosed(const PdfDoc* doc) { change(&Registry::documents, doc, false); }
void recordOpened(const PdfPlotDomain* domain) { change(&Registry::domains, domain, true); }
void recordClosed(const PdfPlotDomain* domain) { change(&Registry::domains, domain, false); }
bool isOpen(const PdfDoc* doc) { return contains(&Registry::documents, doc); }
bool isOpen(const PdfPlotDomain* domain) { return contains(&Registry::domains, domain); }

std::vector<PdfDoc*> openDocuments() {
    Registry& r = registry();
    const std::lock_guard<std::mutex> hold(r.lock);
    std::vector<PdfDoc*> out;
    for (const void* d : r.documents) out.push_back(static_cast<PdfDoc*>(const_cast<void*>(d)));
    return out;
}

PdfDoc* documentOf(const PdfPlotDomain* domain) {
    return isOpen(domain) && isOpen(domain->doc) ? domain->doc : nullptr;
}

PdfDoc* documentOf(const PdfAxis* axis) { return axis ? documentOf(axis->domain) : nullptr; }

void forgetAxis(const PdfAxis* axis) {
    for (PdfDoc* doc : openDocuments())
        if (doc->currentAxis == axis) doc->currentAxis = nullptr;
}

} // namespace tpdf
