// Tick spacing rules shared by domains, meshes and axes.
#pragma once

#include <ctime>
#include <functional>

namespace tpdf {

struct NiceTicks {
    double first, last, majorStart, majorStep, minorStart, minorStep;
};

bool niceTicks(double min, double max, NiceTicks& out); // false for a non-finite end

// The upper end a walk of ticks may reach: max with a relative allowance, on either side of 0.
inline double withTolerance(double max) { return max + (max < 0 ? -max : max) * 0.0001; }

// Calls visit(v) for v = start + i * step while v <= limit. False (nothing visited) for a step
// that is not a positive number or a walk of more ticks than anyone could draw.
bool walkSteps(double start, double step, double limit, const std::function<void(double)>& visit);

// Calls visit(n, n * 10^k) for the values n * 10^k from min up to max (decades of 1..9).
// False for ends that are not positive numbers.
bool walkDecades(double min, double max, const std::function<void(int, double)>& visit);

// Calls visit(days, time) at the calendar steps from start while days <= span (with allowance).
bool walkTime(const struct tm& start, double span, int unit, int step,
              const std::function<void(double, struct tm&)>& visit);

} // namespace tpdf
