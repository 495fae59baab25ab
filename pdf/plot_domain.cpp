// Plot domains: creation, point conversion, mesh and fills.
#include "plot_domain.h"

#include "call_guard.h"
#include "calendar.h"
#include "errors.h"
#include "live_records.h"
#include "output.h"
#include "ticks.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace tpdf;

namespace {

constexpr const char* kNoDomain = "Plot domain has not been set. See tpdf_setPlotDomain()";

PdfPlotDomain* newDomain(float x, float y, float width, float height, int xkind, int ykind,
                         int reserved) {
    auto* d = static_cast<PdfPlotDomain*>(std::calloc(1, sizeof(PdfPlotDomain)));
    if (!d) {
        reportNoMemory();
        return nullptr;
    }
    d->magic = TPDF_DOMAIN_MAGIC;
    d->x = x;
    d->y = y;
    d->width = width;
    d->height = height;
    d->xkind = xkind;
    d->ykind = ykind;
    d->reserved = reserved;
    d->flags[0] = d->flags[1] = 1;
    copyBounded(d->majorDash, "[2 3] 0", 31);
    copyBounded(d->minorDash, "[2 3] 0", 31);
    d->majorMeshWidth = 0.15f;
    d->minorMeshWidth = 0.15f;
    recordOpened(d);
    return d;
}

void meshFromTickRule(PdfPlotDomain* d, int axis, float min, float max) {
    NiceTicks t{};
    if (!niceTicks(min, max, t)) return;
    d->majorStart[axis] = static_cast<float>(t.majorStart);
    d->majorStep[axis] = static_cast<float>(t.majorStep);
    d->minorStart[axis] = static_cast<float>(t.minorStart);
    d->minorStep[axis] = static_cast<float>(t.minorStep);
}

bool rangeIsUsable(float min, float max, int kind) {
    if (!std::isfinite(min) || !std::isfinite(max) || min == max) return false;
    return kind != 1 || (min > 0 && max > 0);
}

double scaleOf(float size, float min, float max) {
    const double range = static_cast<double>(max) - min;
    return range == 0.0 || !std::isfinite(range) ? 0.0 : size / range;
}

double logOf(float v) { return v > 0 ? std::log10(static_cast<double>(v)) : 0.0; }

double toPoints(double v, double origin, double size, double min, double scale, int kind,
                double logMin, double logMax) {
    if (kind != 1) return (v - min) * scale + origin;
    if (v <= 0 || logMax == logMin) return origin;
    return size * (std::log10(v) - logMin) / (logMax - logMin) + origin;
}

double fromPoints(double p, double origin, double size, double min, double scale, int kind,
                  double logMin, double logMax) {
    if (kind != 1) return scale == 0.0 ? min : (p - origin) / scale + min;
    if (size == 0.0) return std::pow(10.0, logMin);
    return std::pow(10.0, (p - origin) / size * (logMax - logMin) + logMin);
}

enum class Axis { X, Y };
enum class Direction { ToPoints, ToData };

// Converts through the current domain; without one, reports at `level` and gives 0.
float convert(PdfDoc* doc, float v, Axis axis, Direction direction, int level) {
    if (!doc) return 0.0f;
    const PdfPlotDomain* d = doc->currentDomain;
    if (!d) {
        tpdf_Error(doc, level, kModule, "%s", kNoDomain);
        return 0.0f;
    }
    const bool x = axis == Axis::X;
    const double origin = x ? d->x : d->y, size = x ? d->width : d->height;
    const double min = x ? d->xmin : d->ymin, scale = x ? doc->xScale : doc->yScale;
    const int kind = x ? d->xkind : d->ykind;
    const double logMin = x ? doc->xLogMin : doc->yLogMin, logMax = x ? doc->xLogMax : doc->yLogMax;
    const double r = direction == Direction::ToPoints
                         ? toPoints(v, origin, size, min, scale, kind, logMin, logMax)
                         : fromPoints(v, origin, size, min, scale, kind, logMin, logMax);
    return static_cast<float>(r);
}

struct MeshStyle {
    float width;
    const char* dash;
    const float* color;
};

void applyStyle(PdfDoc* doc, const MeshStyle& s) {
    tpdf_lineWidth(doc, s.width);
    tpdf_dashPattern(doc, s.dash);
    tpdf_strokeRgb(doc, s.color[0], s.color[1], s.color[2]);
}

void meshLine(PdfDoc* doc, float x0, float y0, float x1, float y1) {
    tpdf_pointMove(doc, x0, y0);
    tpdf_pointLine(doc, x1, y1);
    tpdf_strokePath(doc);
}

// Draws the mesh lines along one axis; line(v) draws the line at data value v.
void meshAlong(PdfDoc* doc, PdfPlotDomain* d, int axis, int kind,
               const std::function<void(double)>& line) {
    const MeshStyle major{d->majorMeshWidth, d->majorDash, d->majorMeshColor};
    const MeshStyle minor{d->minorMeshWidth, d->minorDash, d->minorMeshColor};
    const float min = axis ? d->ymin : d->xmin;
    const float max = axis ? d->ymax : d->xmax;
    bool drawn = true;
    if (kind == 1) {
        drawn = walkDecades(min, max, [&](int n, double v) {
            applyStyle(doc, n == 1 ? major : minor);
            line(v);
        });
    } else if (kind == 2) {
        int units[2], steps[2];
        tpdf_timeTicks(max, &units[0], &units[1], &steps[0], &steps[1]);
        for (int pass = 0; pass < 2 && drawn; ++pass) {
            applyStyle(doc, pass ? major : minor);
            drawn = walkTime(d->startTime, max, units[pass], steps[pass],
                             [&](double v, struct tm&) { line(v); });
        }
    } else {
        applyStyle(doc, minor);
        drawn = walkSteps(d->minorStart[axis], d->minorStep[axis], withTolerance(max), line);
        applyStyle(doc, major);
        drawn = drawn && walkSteps(d->majorStart[axis], d->majorStep[axis], withTolerance(max), line);
    }
    // A mesh of more lines than anyone could draw, or none to walk, is no mesh at all.
    if (drawn) return;
    tpdf_Error(doc, 1, kModule, "The mesh steps of this plot domain give no drawable mesh");
    failCall(doc);
}

void fillDomain(PdfPlotDomain* domain, const char* call, std::initializer_list<double> colour,
                const std::function<void(PdfDoc*)>& setColour) {
    PdfDoc* doc = domainDocument(domain);
    if (!doc || !finiteNumbers(doc, call, colour)) return;
    tpdf_saveState(doc);
    setColour(doc);
    tpdf_pointRect(doc, domain->x, domain->y, domain->width, domain->height);
    tpdf_fillPath(doc);
    tpdf_restoreState(doc);
}

} // namespace

namespace tpdf {

void activateDomain(PdfDoc* doc, PdfPlotDomain* d) {
    doc->currentDomain = d;
    if (!d) return;
    d->doc = doc;
    doc->xScale = static_cast<float>(scaleOf(d->width, d->xmin, d->xmax));
    doc->yScale = static_cast<float>(scaleOf(d->height, d->ymin, d->ymax));
    doc->xLogMin = logOf(d->xmin);
    doc->xLogMax = logOf(d->xmax);
    doc->yLogMin = logOf(d->ymin);
    doc->yLogMax = logOf(d->ymax);
}

void releaseDomain(PdfPlotDomain* domain) {
    if (!domain) return;
    recordClosed(domain);
    domain->magic = 0;
    std::free(domain);
}

PdfDoc* domainDocument(PdfPlotDomain* domain) {
    if (PdfDoc* doc = documentOf(domain)) return doc;
    tpdf_GlobalError(1, kModule, "%s", kNoDomain);
    return nullptr;
}

} // namespace tpdf

extern "C" {

PdfPlotDomain* tpdf_createPlotDomain(float x, float y, float width, float height, float xmin,
                                     float xmax, float ymin, float ymax, int xkind, int ykind,
                                     int reserved) {
    PdfPlotDomain* d = newDomain(x, y, width, height, xkind, ykind, reserved);
    if (!d) return nullptr;
    d->xmin = xmin;
    d->xmax = xmax;
    d->ymin = ymin;
    d->ymax = ymax;
    if (xkind == 0) meshFromTickRule(d, 0, xmin, xmax);
    if (ykind == 0) meshFromTickRule(d, 1, ymin, ymax);
    return d;
}

PdfPlotDomain* tpdf_createTimeDomain(float x, float y, float width, float height,
                                     const struct tm* start, const struct tm* end, float ymin,
                                     float ymax, int, int ykind, int reserved) {
    if (!start || !end || !usableTime(*start, "tpdf_createTimeDomain") ||
        !usableTime(*end, "tpdf_createTimeDomain"))
        return nullptr;
    PdfPlotDomain* d = newDomain(x, y, width, height, 2, ykind, reserved);
    if (!d) return nullptr;
    d->startTime = *start;
    d->endTime = *end;
    d->xmin = 0.0f;
    d->xmax = tpdf_timeDifference(&d->startTime, &d->endTime);
    d->ymin = ymin;
    d->ymax = ymax;
    d->majorMeshWidth = 0.16f;
    d->minorMeshWidth = 0.1f;
    if (ykind == 0) meshFromTickRule(d, 1, ymin, ymax);
    return d;
}

// A page's own domain goes with its page; a caller's may be current in any open document,
// which then draws in its page's domain again.
void tpdf_freePlotDomain(PdfPlotDomain* domain) {
    if (!isOpen(domain)) return;
    for (PdfDoc* doc : openDocuments()) {
        for (const PdfPage& page : doc->pages) {
            if (page.domain.get() != domain) continue;
            tpdf_Error(doc, 1, kModule, "The plot domain of page %d is freed with its page",
                       page.pageNumber);
            failCall(doc);
            return;
        }
    }
    for (PdfDoc* doc : openDocuments())
        if (doc->currentDomain == domain) activateDomain(doc, doc->pageDomain);
    releaseDomain(domain);
}

PdfPlotDomain* tpdf_setPlotDomain(PdfDoc* doc, PdfPlotDomain* domain) {
    if (!doc || !isOpen(domain)) return nullptr;
    if (!rangeIsUsable(domain->xmin, domain->xmax, domain->xkind) ||
        !rangeIsUsable(domain->ymin, domain->ymax, domain->ykind)) {
        tpdf_Error(doc, 2, kModule, "Plot domain range is empty or not usable");
        failCall(doc);
        return nullptr;
    }
    if (!finiteNumbers(doc, "tpdf_setPlotDomain",
                       {domain->x, domain->y, domain->width, domain->height}))
        return nullptr;
    PdfPlotDomain* previous = doc->currentDomain;
    activateDomain(doc, domain);
    return previous;
}

int tpdf_setMeshSteps(PdfPlotDomain* domain, int axis, float majorStart, float majorStep,
                      float minorStart, float minorStep) {
    if (!domain) return -1;
    if (!(majorStep > 0) || !(minorStep > 0) || !std::isfinite(majorStep) ||
        !std::isfinite(minorStep) || !std::isfinite(majorStart) || !std::isfinite(minorStart)) {
        tpdf_GlobalError(1, kModule, "Mesh steps must be numbers greater than 0");
        return -1;
    }
    const int i = axis ? 1 : 0;
    domain->majorStart[i] = majorStart;
    domain->majorStep[i] = majorStep;
    domain->minorStart[i] = minorStart;
    domain->minorStep[i] = minorStep;
    return 0;
}

void tpdf_setDomainMeshStyle(PdfPlotDomain* domain, float majorR, float majorG, float majorB,
                             float minorR, float minorG, float minorB) {
    if (!domain || !finiteNumbers(documentOf(domain), "tpdf_setDomainMeshStyle",
                                  {majorR, majorG, majorB, minorR, minorG, minorB}))
        return;
    domain->majorMeshColor[0] = majorR;
    domain->majorMeshColor[1] = majorG;
    domain->majorMeshColor[2] = majorB;
    domain->minorMeshColor[0] = minorR;
    domain->minorMeshColor[1] = minorG;
    domain->minorMeshColor[2] = minorB;
}

void tpdf_drawMeshX(PdfPlotDomain* d) {
    PdfDoc* doc = domainDocument(d);
    if (!doc) return;
    PdfPlotDomain* previous = doc->currentDomain;
    activateDomain(doc, d);
    meshAlong(doc, d, 0, d->xkind, [&](double v) {
        const float x = tpdf_domainX(doc, static_cast<float>(v));
        meshLine(doc, x, d->y, x, d->y + d->height);
    });
    activateDomain(doc, previous);
}

void tpdf_drawMeshY(PdfPlotDomain* d) {
    PdfDoc* doc = domainDocument(d);
    if (!doc) return;
    PdfPlotDomain* previous = doc->currentDomain;
    activateDomain(doc, d);
    meshAlong(doc, d, 1, d->ykind == 1 ? 1 : 0, [&](double v) {
        const float y = tpdf_domainY(doc, static_cast<float>(v));
        meshLine(doc, d->x, y, d->x + d->width, y);
    });
    activateDomain(doc, previous);
}

void tpdf_drawMesh(PdfPlotDomain* domain) {
    PdfDoc* doc = domainDocument(domain);
    if (!doc) return;
    tpdf_saveState(doc);
    tpdf_dashArray(doc, 1);
    tpdf_drawMeshX(domain);
    tpdf_drawMeshY(domain);
    tpdf_restoreState(doc);
}

void tpdf_fillDomainGray(PdfPlotDomain* domain, float gray) {
    fillDomain(domain, "tpdf_fillDomainGray", {gray}, [gray](PdfDoc* doc) { tpdf_fillGray(doc, gray); });
}

void tpdf_fillDomainRgb(PdfPlotDomain* domain, float r, float g, float b) {
    fillDomain(domain, "tpdf_fillDomainRgb", {r, g, b},
               [=](PdfDoc* doc) { tpdf_fillRgb(doc, r, g, b); });
}

void tpdf_clipDomain(PdfPlotDomain* domain) {
    PdfDoc* doc = domainDocument(domain);
    if (!doc) return;
    tpdf_pointRect(doc, domain->x, domain->y, domain->width, domain->height);
    tpdf_clipPath(doc);
    tpdf_endPath(doc);
}

float tpdf_domainX(PdfDoc* doc, float x) { return convert(doc, x, Axis::X, Direction::ToPoints, 2); }
float tpdf_domainY(PdfDoc* doc, float y) { return convert(doc, y, Axis::Y, Direction::ToPoints, 1); }
float tpdf_pointsToDomainX(PdfDoc* doc, float x) {
    return convert(doc, x, Axis::X, Direction::ToData, 1);
}
float tpdf_pointsToDomainY(PdfDoc* doc, float y) {
    return convert(doc, y, Axis::Y, Direction::ToData, 1);
}

} // extern "C"
