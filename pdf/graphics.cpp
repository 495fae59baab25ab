// Graphics state, colour and path operators, and the shapes built from curves.
#include "call_guard.h"
#include "doc_record.h"
#include "errors.h"
#include "object_syntax.h"
#include "output.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace tpdf;

namespace {

constexpr double kDegreesToRadians = 0.017453292522222223;
constexpr double kPi = 3.141592654;

double d(float v) { return static_cast<double>(v); }

void cmLine(PdfDoc* doc, double a, double b, double c, double dd, double e, double f) {
    contentLine(doc, "%.4f %.4f %.4f %.4f %.4f %.4f cm\n", a, b, c, dd, e, f);
}

void fixed(PdfDoc* doc, const char* text) {
    if (doc) contentLine(doc, "%s", text);
}

void moveTo(PdfDoc* doc, double x, double y) {
    if (contentLine(doc, "%.3f %.3f m\n", x, y) != 0) return;
    doc->penX = static_cast<float>(x);
    doc->penY = static_cast<float>(y);
}

void lineTo(PdfDoc* doc, double x, double y) {
    if (contentLine(doc, "%.3f %.3f l\n", x, y) != 0) return;
    doc->penX = static_cast<float>(x);
    doc->penY = static_cast<float>(y);
}

void curveTo(PdfDoc* doc, double x1, double y1, double x2, double y2, double x3, double y3) {
    if (contentLine(doc, "%.3f %.3f %.3f %.3f %.3f %.3f c\n", x1, y1, x2, y2, x3, y3) != 0) return;
    doc->penX = static_cast<float>(x3);
    doc->penY = static_cast<float>(y3);
}

// Shapes of several lines check their numbers first, so that a refused one leaves no part.
void circle(PdfDoc* doc, const char* call, double x, double y, double r) {
    if (!finiteNumbers(doc, call, {x, y, r, x + r, x - r, y + r, y - r})) return;
    const double k = 0.552 * r;
    moveTo(doc, x + r, y);
    curveTo(doc, x + r, y + k, x + k, y + r, x, y + r);
    curveTo(doc, x - k, y + r, x - r, y + k, x - r, y);
    curveTo(doc, x - r, y - k, x - k, y - r, x, y - r);
    curveTo(doc, x + k, y - r, x + r, y - k, x + r, y);
    fixed(doc, "h\n");
}

void rotate(double x, double y, double radians, double& outX, double& outY) {
    outX = x * std::cos(radians) - y * std::sin(radians);
    outY = x * std::sin(radians) + y * std::cos(radians);
}

// No drawing needs more than a hundred turns; beyond that the segments only eat memory.
constexpr double kMaxArcSweep = 36000.0;

enum class SegmentStart { Move, Line, Continue };

void arcSegment(PdfDoc* doc, const char* call, double x, double y, double r, double midDegrees,
                double halfSweep, int direction, SegmentStart start) {
    const double t = std::fabs(halfSweep) * kPi / 180.0;
    const double dr = direction * r;
    const double cosT = std::cos(t), sinT = std::sin(t);
    const double cx = (4.0 - cosT) * r / 3.0;
    const double cy = sinT == 0.0 ? 0.0 : (1.0 - cosT) * dr * (cosT - 3.0) / (3.0 * sinT);
    const double points[4][2] = {{r * cosT, -dr * sinT}, {cx, cy}, {cx, -cy}, {r * cosT, dr * sinT}};
    const double mid = midDegrees * kPi / 180.0;
    double p[4][2];
    for (int i = 0; i < 4; ++i) {
        rotate(points[i][0], points[i][1], mid, p[i][0], p[i][1]);
        p[i][0] += x;
        p[i][1] += y;
    }
    // A sweep near a half turn puts the control points far out.
    if (!finiteNumbers(doc, call, {p[0][0], p[0][1], p[1][0], p[1][1], p[2][0], p[2][1], p[3][0], p[3][1]}))
        return;
    if (start == SegmentStart::Move)
        moveTo(doc, p[0][0], p[0][1]);
    else if (start == SegmentStart::Line)
        lineTo(doc, p[0][0], p[0][1]);
    curveTo(doc, p[1][0], p[1][1], p[2][0], p[2][1], p[3][0], p[3][1]);
}

void arc(PdfDoc* doc, const char* call, double x, double y, double r, double start, double end,
         int moveFirst) {
    // The control points of an arc stay within 1.5 radii of its centre.
    if (!finiteNumbers(doc, call, {x, y, r, start, end, x + 1.5 * r, x - 1.5 * r, y + 1.5 * r, y - 1.5 * r}))
        return;
    const double sweep = end - start;
    if (std::fabs(sweep) > kMaxArcSweep) {
        tpdf_Error(doc, 1, kModule, "Arc sweep of %g degrees is beyond %g", sweep, kMaxArcSweep);
        failCall(doc);
        return;
    }
    // The fewest quarter-turn (or smaller) segments, computed directly.
    int n = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / 90.0)));
    if (n > 1 && std::fabs(sweep) / (n - 1) <= 90.0) --n;
    if (std::fabs(sweep) / n > 90.0) ++n;
    const double step = sweep / n;
    const int direction = end >= start ? 1 : -1;
    for (int i = 0; i < n; ++i) {
        const double mid = start + step / 2.0 + i * step;
        const SegmentStart how = i > 0       ? SegmentStart::Continue
                                 : moveFirst ? SegmentStart::Move
                                             : SegmentStart::Line;
        arcSegment(doc, call, x, y, r, mid, step / 2.0, direction, how);
    }
}

double domainRadius(PdfDoc* doc, float x, float r) {
    return d(tpdf_domainX(doc, x + r)) - d(tpdf_domainX(doc, x));
}

} // namespace

extern "C" {

void tpdf_fillGray(PdfDoc* doc, float g) {
    if (doc) contentLine(doc, "%.4f g\n", d(g));
}
void tpdf_strokeGray(PdfDoc* doc, float g) {
    if (doc) contentLine(doc, "%.4f G\n", d(g));
}
void tpdf_grayBoth(PdfDoc* doc, float g) {
    tpdf_fillGray(doc, g);
    tpdf_strokeGray(doc, g);
}
void tpdf_fillRgb(PdfDoc* doc, float r, float g, float b) {
    if (doc) contentLine(doc, "%.4f %.4f %.4f rg\n", d(r), d(g), d(b));
}
void tpdf_strokeRgb(PdfDoc* doc, float r, float g, float b) {
    if (doc) contentLine(doc, "%.4f %.4f %.4f RG\n", d(r), d(g), d(b));
}
void tpdf_rgbBoth(PdfDoc* doc, float r, float g, float b) {
    tpdf_fillRgb(doc, r, g, b);
    tpdf_strokeRgb(doc, r, g, b);
}
void tpdf_fillCmyk(PdfDoc* doc, float c, float m, float y, float k) {
    if (doc) contentLine(doc, "%.4f %.4f %.4f %.4f k\n", d(c), d(m), d(y), d(k));
}
void tpdf_strokeCmyk(PdfDoc* doc, float c, float m, float y, float k) {
    if (doc) contentLine(doc, "%.4f %.4f %.4f %.4f K\n", d(c), d(m), d(y), d(k));
}
void tpdf_cmykBoth(PdfDoc* doc, float c, float m, float y, float k) {
    tpdf_fillCmyk(doc, c, m, y, k);
    tpdf_strokeCmyk(doc, c, m, y, k);
}
void tpdf_saveState(PdfDoc* doc) { fixed(doc, "\nq\n"); }
void tpdf_restoreState(PdfDoc* doc) { fixed(doc, "Q\n"); }
void tpdf_dashPattern(PdfDoc* doc, const char* pattern) {
    if (!doc || !pattern) return;
    // The text stands in the content as it is, so it must be a dash pattern and no more.
    if (!isObjectSyntax(pattern, ObjectSyntax::DashPattern)) {
        tpdf_Error(doc, 1, kModule, "The dash pattern is not a dash array and a phase: %.64s", pattern);
        failCall(doc);
        return;
    }
    contentLine(doc, "%s d\n", pattern);
}
void tpdf_solidLine(PdfDoc* doc) { tpdf_dashPattern(doc, "[] 0"); }
void tpdf_dashArray(PdfDoc*, int) {}
void tpdf_flatness(PdfDoc* doc, int v) {
    if (doc) contentLine(doc, "%d i\n", v);
}
void tpdf_lineJoin(PdfDoc* doc, int v) {
    if (doc) contentLine(doc, "%d j\n", v);
}
void tpdf_lineCap(PdfDoc* doc, int v) {
    if (doc) contentLine(doc, "%d J\n", v);
}
void tpdf_miterLimit(PdfDoc* doc, float v) {
    if (doc) contentLine(doc, "%.4f M\n", d(v));
}
void tpdf_lineWidth(PdfDoc* doc, float v) {
    if (doc) contentLine(doc, "%.4f w\n", d(v));
}
void tpdf_concatMatrix(PdfDoc* doc, float a, float b, float c, float dd, float e, float f) {
    if (doc) cmLine(doc, a, b, c, dd, e, f);
}
void tpdf_concatMatrixDomain(PdfDoc* doc, float a, float b, float c, float dd, float e, float f) {
    if (doc) cmLine(doc, a, b, c, dd, tpdf_domainX(doc, e), tpdf_domainY(doc, f));
}
void tpdf_translatePoints(PdfDoc* doc, float x, float y) {
    if (doc) cmLine(doc, 1, 0, 0, 1, x, y);
}
void tpdf_translateDomain(PdfDoc* doc, float x, float y) {
    if (doc) cmLine(doc, 1, 0, 0, 1, tpdf_domainX(doc, x), tpdf_domainY(doc, y));
}
void tpdf_scaleBy(PdfDoc* doc, float sx, float sy) {
    if (doc) cmLine(doc, sx, 0, 0, sy, 0, 0);
}
void tpdf_rotateDegrees(PdfDoc* doc, float angle) {
    // The angle itself, not only its sine and cosine: a number readers do not take is refused.
    if (!doc || !finiteNumbers(doc, "tpdf_rotateDegrees", {angle})) return;
    const double a = angle * kDegreesToRadians;
    cmLine(doc, std::cos(a), std::sin(a), -std::sin(a), std::cos(a), 0, 0);
}

void tpdf_pointMove(PdfDoc* doc, float x, float y) {
    if (doc) moveTo(doc, x, y);
}
void tpdf_relMove(PdfDoc* doc, float dx, float dy) {
    if (doc) moveTo(doc, d(doc->penX + dx), d(doc->penY + dy));
}
void tpdf_pointLine(PdfDoc* doc, float x, float y) {
    if (doc) lineTo(doc, x, y);
}
void tpdf_relLine(PdfDoc* doc, float dx, float dy) {
    if (doc) lineTo(doc, d(doc->penX + dx), d(doc->penY + dy));
}
void tpdf_pointCurve(PdfDoc* doc, float x1, float y1, float x2, float y2, float x3, float y3) {
    if (doc) curveTo(doc, x1, y1, x2, y2, x3, y3);
}
void tpdf_pointRect(PdfDoc* doc, float x, float y, float w, float h) {
    if (!doc || contentLine(doc, "%.3f %.3f %.3f %.3f re\n", d(x), d(y), d(w), d(h)) != 0) return;
    doc->penX = x;
    doc->penY = y;
}

void tpdf_closePath(PdfDoc* doc) { fixed(doc, "h\n"); }
void tpdf_strokePath(PdfDoc* doc) { fixed(doc, "S\n"); }
void tpdf_fillPath(PdfDoc* doc) { fixed(doc, "f\n"); }
void tpdf_eoFillPath(PdfDoc* doc) { fixed(doc, "f*\n"); }
void tpdf_fillStrokePath(PdfDoc* doc) { fixed(doc, "B\n"); }
void tpdf_eoFillStrokePath(PdfDoc* doc) { fixed(doc, "B*\n"); }
void tpdf_clipPath(PdfDoc* doc) { fixed(doc, "W\n"); }
void tpdf_eoClipPath(PdfDoc* doc) { fixed(doc, "W*\n"); }
void tpdf_endPath(PdfDoc* doc) { fixed(doc, "n\n"); }

void tpdf_pointCircle(PdfDoc* doc, float x, float y, float r) {
    if (doc) circle(doc, "tpdf_pointCircle", x, y, r);
}
void tpdf_domainCircle(PdfDoc* doc, float x, float y, float r) {
    if (doc)
        circle(doc, "tpdf_domainCircle", tpdf_domainX(doc, x), tpdf_domainY(doc, y),
               domainRadius(doc, x, r));
}
void tpdf_pointCircleFast(PdfDoc* doc, float x, float y, float r) {
    const double k = 4.0 / 3.0 * r;
    if (!doc || !finiteNumbers(doc, "tpdf_pointCircleFast", {x, y, r, d(x) - r, d(x) + r, y + k, y - k}))
        return;
    moveTo(doc, d(x - r), y);
    curveTo(doc, d(x - r), y + k, d(x + r), y + k, d(x + r), y);
    curveTo(doc, d(x + r), y - k, d(x - r), y - k, d(x - r), y);
    fixed(doc, "h\n");
    doc->penX = x;
    doc->penY = y;
}
void tpdf_pointArc(PdfDoc* doc, float x, float y, float r, float start, float end, int moveFirst) {
    if (doc) arc(doc, "tpdf_pointArc", x, y, r, start, end, moveFirst);
}
void tpdf_domainArc(PdfDoc* doc, float x, float y, float r, float start, float end,
                    int moveFirst) {
    if (doc)
        arc(doc, "tpdf_domainArc", tpdf_domainX(doc, x), tpdf_domainY(doc, y),
            domainRadius(doc, x, r), start, end, moveFirst);
}
void tpdf_arcSegment(PdfDoc* doc, float x, float y, float r, float midAngle, float halfSweep,
                     int direction, int moveFirst) {
    if (doc && finiteNumbers(doc, "tpdf_arcSegment", {x, y, r, midAngle, halfSweep}))
        arcSegment(doc, "tpdf_arcSegment", x, y, r, midAngle, halfSweep, direction >= 0 ? 1 : -1,
                            moveFirst ? SegmentStart::Move : SegmentStart::Line);
}
void tpdf_pointRotatedRect(PdfDoc* doc, float x, float y, float w, float h, float angle) {
    const double reach = std::fabs(d(w)) + std::fabs(d(h));
    if (!doc || !finiteNumbers(doc, "tpdf_pointRotatedRect",
                               {x, y, w, h, angle, x + reach, x - reach, y + reach, y - reach}))
        return;
    float vx = 0, vy = 0;
    moveTo(doc, x, y);
    tpdf_rotateVector(w, 0, angle, &vx, &vy);
    lineTo(doc, d(x + vx), d(y + vy));
    tpdf_rotateVector(w, h, angle, &vx, &vy);
    lineTo(doc, d(x + vx), d(y + vy));
    tpdf_rotateVector(0, h, angle, &vx, &vy);
    lineTo(doc, d(x + vx), d(y + vy));
    fixed(doc, "h\n");
}
void tpdf_rotateVector(float x, float y, float angle, float* outX, float* outY) {
    if (!finiteNumbers(nullptr, "tpdf_rotateVector", {angle})) return;
    double rx = 0, ry = 0;
    rotate(x, y, angle * kDegreesToRadians, rx, ry);
    if (outX) *outX = static_cast<float>(rx);
    if (outY) *outY = static_cast<float>(ry);
}

} // extern "C"
