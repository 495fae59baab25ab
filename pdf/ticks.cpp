#include "ticks.h"

#include "calendar.h"
#include "errors.h"
#include "tpdf.h"

#include <cmath>

namespace tpdf {

namespace {

struct TickRow {
    int bound, minor, major;
};

constexpr TickRow kTickRows[14] = {{10, 1, 5},  {12, 1, 4},  {15, 1, 5},  {16, 1, 4},  {20, 1, 5},
                                   {25, 1, 5},  {30, 2, 10}, {35, 5, 10}, {40, 5, 10}, {50, 5, 10},
                                   {60, 10, 20}, {80, 10, 20}, {90, 10, 30}, {100, 10, 50}};

constexpr long kMaxTicks = 100000;

double mantissaExponent(double value, int& exponent) {
    exponent = 0;
    if (value == 0.0 || !std::isfinite(value)) return value == 0.0 ? 0.0 : value;
    double a = std::fabs(value);
    while (a >= 10.0) {
        a *= 0.1;
        ++exponent;
    }
    while (a < 1.0) {
        a *= 10.0;
        --exponent;
    }
    return value < 0 ? -a : a;
}

} // namespace

bool niceTicks(double min, double max, NiceTicks& out) {
    if (!std::isfinite(min) || !std::isfinite(max)) return false;
    const double m = std::max(std::fabs(min), std::fabs(max));
    int e = 0;
    double mantissa = mantissaExponent(m, e);
    if (m != 0.0) {
        mantissa *= 10.0;
        --e;
    }
    // Single-precision input and repeated scaling leave noise in the last digits; it must not
    // push 12 up to 13.
    const double rounded = std::ceil(mantissa - 1e-6 * mantissa);
    const TickRow* row = &kTickRows[0];
    for (const TickRow& r : kTickRows) {
        if (r.bound >= rounded) {
            row = &r;
            break;
        }
    }
    // Walk in whole table units and scale each result once: repeated subtraction of a
    // decimal step leaves residue (0.3 - 3 x 0.1 is not 0), which showed as labels such as
    // "-2.77556e-17" or an extra tick below the range.
    const auto scaled = [e](long units) {
        const double u = static_cast<double>(units);
        return e >= 0 ? u * std::pow(10.0, e) : u / std::pow(10.0, -e);
    };
    const long bound = row->bound, major = row->major;
    // A float end that stands for a tick value may sit a hair below or above it.
    const double slack = scaled(major) * 1e-6;
    long first = 0, last = 0;
    if (min >= 0 && max > 0) {
        last = bound;
        first = bound;
        while (min < scaled(first) - slack) first -= major;
    } else if (min < 0 && 0 <= max) {
        while (min < scaled(first) - slack) first -= major;
        while (max > scaled(last) + slack) last += major;
    } else {
        first = -bound;
        last = first;
        while (max > scaled(last) + slack) last += major;
    }
    out = {scaled(first), scaled(last), scaled(first), scaled(major), scaled(first),
           scaled(row->minor)};
    return true;
}

bool walkSteps(double start, double step, double limit, const std::function<void(double)>& visit) {
    if (!(step > 0.0) || !std::isfinite(step) || !std::isfinite(start) || !std::isfinite(limit))
        return false;
    if (start > limit) return true;
    if ((limit - start) / step > static_cast<double>(kMaxTicks)) return false;
    for (long i = 0;; ++i) {
        double v = start + static_cast<double>(i) * step;
        if (v > limit) break;
        // A float start and step that cross zero leave residue there (-0.3f + 3 x 0.1f).
        if (std::fabs(v) < step * 1e-6) v = 0.0;
        visit(v);
    }
    return true;
}

bool walkDecades(double min, double max, const std::function<void(int, double)>& visit) {
    if (!(min > 0.0) || !(max > 0.0) || !std::isfinite(min) || !std::isfinite(max)) return false;
    int k = 0;
    int n = static_cast<int>(mantissaExponent(min * 1.0001, k));
    const double limit = max * 1.0001;
    for (long count = 0; count < kMaxTicks; ++count) {
        const double v = n * std::pow(10.0, k);
        if (v > limit) break;
        visit(n, v);
        if (++n > 9) {
            n = 1;
            ++k;
        }
    }
    return true;
}

bool walkTime(const struct tm& start, double span, int unit, int step,
              const std::function<void(double, struct tm&)>& visit) {
    if (!std::isfinite(span)) return false;
    struct tm first = start;
    if (!normalizedTime(first, "A time axis")) return false;
    if (step < 1) step = 1;
    const double limit = span * 1.0001;
    const auto refuse = [&] {
        tpdf_GlobalError(1, kModule, "A time axis of %g days would need more than %ld ticks; "
                         "they are not drawn", span, kMaxTicks);
        return false;
    };
    // The longest each unit can be, in days, gives the fewest ticks the walk could take: when
    // even that is too many, it is refused before it starts.
    static constexpr double kLongestUnitDays[6] = {1.0 / 86400, 1.0 / 1440, 1.0 / 24, 1, 31, 366};
    if (limit / (kLongestUnitDays[unit >= 0 && unit < 5 ? unit : 5] * step) > static_cast<double>(kMaxTicks))
        return refuse();
    // Counted first, so that an axis gets all its ticks or none.
    const double from = dayNumber(first);
    long count = 0;
    struct tm running = first;
    for (double v = 0; v <= limit; v = dayNumber(running) - from) {
        if (++count > kMaxTicks) return refuse();
        advanceTime(running, unit, step);
    }
    running = first;
    for (double v = 0; v <= limit; v = dayNumber(running) - from) {
        visit(v, running);
        advanceTime(running, unit, step);
    }
    return true;
}

} // namespace tpdf

extern "C" {

int tpdf_niceTicks(float min, float max, float* first, float* last, float* majorStart,
                   float* majorStep, float* minorStart, float* minorStep) {
    tpdf::NiceTicks t{};
    if (!tpdf::niceTicks(min, max, t)) return -1;
    auto put = [](float* p, double v) {
        if (p) *p = static_cast<float>(v);
    };
    put(first, t.first);
    put(last, t.last);
    put(majorStart, t.majorStart);
    put(majorStep, t.majorStep);
    put(minorStart, t.minorStart);
    put(minorStep, t.minorStep);
    return 0;
}

int tpdf_niceTicksRange(float min, float max, float* first, float* last) {
    return tpdf_niceTicks(min, max, first, last, nullptr, nullptr, nullptr, nullptr);
}

float tpdf_mantissaExponent(float value, int* exponent) {
    int e = 0;
    const double m = tpdf::mantissaExponent(value, e);
    if (exponent) *exponent = e;
    return static_cast<float>(m);
}

int tpdf_bitIsSet(int value, int n) {
    const int bit = ((n % 32) + 32) % 32;
    return (static_cast<unsigned>(value) >> bit) & 1u ? 1 : 0;
}

int tpdf_setPositive(int* out, int value) {
    if (value < 1) return 0;
    if (out) *out = value;
    return value;
}

void tpdf_multiplyMatrix(float m[6], const float n[6]) {
    if (!m || !n) return;
    const float r[6] = {n[0] * m[0] + n[1] * m[2],        n[0] * m[1] + n[1] * m[3],
                        n[2] * m[0] + n[3] * m[2],        n[2] * m[1] + n[3] * m[3],
                        n[4] * m[0] + n[5] * m[2] + m[4], n[4] * m[1] + n[5] * m[3] + m[5]};
    for (int i = 0; i < 6; ++i) m[i] = r[i];
}

} // extern "C"
