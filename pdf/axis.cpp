// Axes along plot domains: creation, settings and drawing of line, ticks, labels and title.
#include "c_format.h"
#include "call_guard.h"
#include "calendar.h"
#include "doc_record.h"
#include "errors.h"
#include "live_records.h"
#include "output.h"
#include "plot_domain.h"
#include "record_checks.h"
#include "ticks.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace tpdf;

namespace {

constexpr double kPi = 3.141592654;
constexpr int kLabelSize = 32;

// True when format consumes exactly one double and nothing else.
bool isNumberFormat(const char* format) {
    int conversions = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        if (*++p == '%') continue;
        while (*p && std::strchr("-+ #0", *p)) ++p;
        while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
        if (*p == '.') {
            ++p;
            while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
        }
        if (*p == 'l') ++p;
        if (!*p || !std::strchr("aAeEfFgG", *p)) return false;
        ++conversions;
    }
    return conversions == 1;
}

void replaceText(char*& field, const char* text) {
    if (!text) return;
    char* copy = duplicateText(text);
    if (!copy) return;
    std::free(field);
    field = copy;
}

PdfAxis* newAxis(float angle, float length, int kind) {
    auto* axis = static_cast<PdfAxis*>(std::calloc(1, sizeof(PdfAxis)));
    if (!axis) {
        reportNoMemory();
        return nullptr;
    }
    axis->magic = TPDF_AXIS_MAGIC;
    axis->angle = angle;
    axis->kind = kind;
    axis->length = length;
    axis->lineWidth = 1.0f;
    axis->majorTicksOn = axis->minorTicksOn = 1;
    axis->majorTickLength = 10.0f;
    axis->minorTickLength = 5.0f;
    axis->majorTickWidth = 2.0f;
    axis->minorTickWidth = 1.0f;
    const bool upright = angle > 60.0f && angle < 120.0f;
    axis->tickPlacement = upright ? 0 : 2;
    axis->labelPlacement = upright ? 2 : 0;
    axis->thirdTickFlag = 1;
    axis->labelDistance = 7.0f;
    axis->labelFontSize = 12.0f;
    axis->horizontalLabels = 1;
    axis->labelFont = duplicateText("Helvetica");
    axis->labelEncoding = duplicateText("MacRomanEncoding");
    axis->titleDistance = 7.0f;
    axis->titleFontSize = 18.0f;
    axis->logTickMask = 1022;
    axis->logLabelMask = 2;
    if (!axis->labelFont || !axis->labelEncoding) {
        tpdf_freeAxis(axis);
        return nullptr;
    }
    return axis;
}

struct TickExtent {
    double low, high;
};

TickExtent tickExtent(const PdfAxis* axis, double length) {
    if (axis->tickPlacement == 0) return {-length, 0};
    if (axis->tickPlacement == 1) return {-length / 2, length / 2};
    return {0, length};
}

// Places a label of width w at axis position p; centred labels are shifted by half their width.
void placeLabel(PdfDoc* doc, const PdfAxis* axis, const char* text, double p, double tickLength,
                bool centred) {
    const double w = tpdf_stringWidth(doc, text);
    const double h = w / 2;
    const double a = axis->angle * kPi / 180.0;
    const double size = axis->labelFontSize;
    const TickExtent t = tickExtent(axis, tickLength);
    const bool below = axis->labelPlacement == 0;
    double x = 0, y = 0;
    if (axis->horizontalLabels) {
        y = below ? t.low - axis->labelDistance - 0.6 * size : t.high + axis->labelDistance + w;
        doc->labelExtent = static_cast<float>(below ? y - 2.5 : y + 4.0);
        x = centred ? p - (std::cos(a) * h + std::sin(a) * 0.3 * size)
                    : p - (std::sin(a) * 0.3 * size + 0.25 * size);
        tpdf_textAt(doc, static_cast<float>(x), static_cast<float>(y), -axis->angle, text);
    } else {
        y = below ? t.low - axis->labelDistance - 0.6 * size : t.high + axis->labelDistance;
        doc->labelExtent = static_cast<float>(below ? y : y + size);
        x = centred ? p - h : p - 0.25 * size;
        tpdf_textAt(doc, static_cast<float>(x), static_cast<float>(y), 0.0f, text);
    }
}

// An axis of more ticks than anyone could draw is refused whole rather than drawn without them.
void tooManyTicks(PdfDoc* doc) {
    tpdf_Error(doc, 1, kModule, "The tick steps of this axis give more ticks than can be drawn");
    failCall(doc);
}

void strokedTicks(PdfDoc* doc, PdfAxis* axis, float width, float length, double start,
                  double step) {
    tpdf_lineWidth(doc, width);
    if (!walkSteps(start, step, withTolerance(axis->max), [&](double v) {
            tpdf_drawTick(doc, axis, tpdf_axisPosition(doc, static_cast<float>(v)), length);
        }))
        tooManyTicks(doc);
    tpdf_strokePath(doc);
}

void beginLabels(PdfDoc* doc, const PdfAxis* axis) {
    tpdf_beginText(doc, 0);
    tpdf_setFont(doc, axis->labelFont, axis->labelEncoding, axis->labelFontSize);
}

float timeSpan(PdfAxis* axis) {
    struct tm start = axis->startTime, end = axis->endTime;
    return tpdf_timeDifference(&start, &end);
}

// Refuses what would loop forever, divide by zero or write a number that is not finite.
bool axisIsDrawable(const PdfAxis* axis) {
    const bool range = std::isfinite(axis->min) && std::isfinite(axis->max) &&
                       axis->max != axis->min && std::isfinite(axis->length);
    if (!range || (axis->kind == 1 && !(axis->min > 0 && axis->max > 0))) {
        tpdf_GlobalError(1, kModule, "Axis range is empty or not usable");
        return false;
    }
    if (axis->kind == 0 && (!(axis->majorStep > 0) || !(axis->minorStep > 0))) {
        tpdf_GlobalError(1, kModule, "Axis tick steps must be numbers greater than 0");
        return false;
    }
    const PdfPlotDomain* d = axis->domain;
    return finiteNumbers(nullptr, "tpdf_drawAxis",
                         {axis->angle, axis->offsetX, axis->offsetY, axis->lineWidth,
                          axis->majorTickLength, axis->minorTickLength, axis->majorTickWidth,
                          axis->minorTickWidth, axis->labelDistance, axis->labelFontSize,
                          axis->titleDistance, axis->titleFontSize, d->x, d->y, d->width,
                          d->height, d->x + axis->offsetX, d->y + axis->offsetY,
                          axis->length, axis->length + 0.5 * axis->majorTickWidth});
}

} // namespace

extern "C" {

PdfAxis* tpdf_createAxis(float angle, float length, int kind, float min, float max) {
    PdfAxis* axis = newAxis(angle, length, kind);
    if (!axis) return nullptr;
    axis->min = min;
    axis->max = max;
    axis->numberFormat = duplicateText("%g");
    if (!axis->numberFormat) {
        tpdf_freeAxis(axis);
        return nullptr;
    }
    NiceTicks t{};
    if (kind == 0 && niceTicks(min, max, t)) {
        axis->majorStart = static_cast<float>(t.majorStart);
        axis->majorStep = static_cast<float>(t.majorStep);
        axis->minorStart = static_cast<float>(t.minorStart);
        axis->minorStep = static_cast<float>(t.minorStep);
    }
    return axis;
}

PdfAxis* tpdf_createTimeAxis(float angle, float length, int kind, const struct tm* start,
                             const struct tm* end) {
    if (!start || !end || !usableTime(*start, "tpdf_createTimeAxis") ||
        !usableTime(*end, "tpdf_createTimeAxis"))
        return nullptr;
    PdfAxis* axis = newAxis(angle, length, kind);
    if (!axis) return nullptr;
    axis->startTime = *start;
    axis->endTime = *end;
    normalizedTime(axis->startTime, "tpdf_createTimeAxis");
    normalizedTime(axis->endTime, "tpdf_createTimeAxis");
    axis->min = 0.0f;
    axis->max = timeSpan(axis);
    axis->monthNames = 1;
    axis->twoDigitYear = 1;
    axis->lastMinute = axis->lastHour = axis->lastDay = axis->lastMonth = 99;
    axis->lastYear = 0;
    return axis;
}

void tpdf_freeAxis(PdfAxis* axis) {
    if (!axisSound("tpdf_freeAxis", axis)) return;
    std::free(axis->title);
    std::free(axis->titleFont);
    std::free(axis->titleEncoding);
    std::free(axis->numberFormat);
    std::free(axis->labelFont);
    std::free(axis->labelEncoding);
    forgetAxis(axis);
    axis->magic = 0;
    std::free(axis);
}

void tpdf_attachAxis(PdfAxis* axis, PdfPlotDomain* domain, float offsetX, float offsetY) {
    if (!axis) return;
    axis->domain = domain;
    axis->offsetX = offsetX;
    axis->offsetY = offsetY;
}

void tpdf_setAxisTicks(PdfAxis* axis, int majorOn, int minorOn, int thirdFlag) {
    if (!axis) return;
    axis->majorTicksOn = majorOn;
    axis->minorTicksOn = minorOn;
    axis->thirdTickFlag = thirdFlag;
}

void tpdf_setAxisLabels(PdfAxis* axis, int tickPlacement, int labelPlacement,
                        int horizontalLabels, int horizontalTitle) {
    if (!axis) return;
    axis->tickPlacement = tickPlacement;
    axis->labelPlacement = labelPlacement;
    axis->horizontalLabels = horizontalLabels;
    axis->horizontalTitle = horizontalTitle;
}

void tpdf_setAxisTickLengths(PdfAxis* axis, float lineWidth, float majorLength,
                             float minorLength, float majorWidth, float minorWidth) {
    if (!axis) return;
    axis->lineWidth = lineWidth;
    axis->majorTickLength = majorLength;
    axis->minorTickLength = minorLength;
    axis->majorTickWidth = majorWidth;
    axis->minorTickWidth = minorWidth;
}

int tpdf_setAxisTickSteps(PdfAxis* axis, float majorStart, float majorStep, float minorStart,
                          float minorStep) {
    if (!axis) return -1;
    if (!(majorStep > 0) || !(minorStep > 0) || !std::isfinite(majorStep) ||
        !std::isfinite(minorStep) || !std::isfinite(majorStart) || !std::isfinite(minorStart)) {
        tpdf_GlobalError(1, kModule, "Axis tick steps must be numbers greater than 0");
        return -1;
    }
    axis->majorStart = majorStart;
    axis->majorStep = majorStep;
    axis->minorStart = minorStart;
    axis->minorStep = minorStep;
    return 0;
}

void tpdf_setLogAxisTickMask(PdfAxis* axis, int mask) {
    if (axis) axis->logTickMask = mask;
}

void tpdf_setLogAxisLabelMask(PdfAxis* axis, int mask) {
    if (axis) axis->logLabelMask = mask;
}

void tpdf_setAxisFontEncoded(PdfAxis* axis, const char* numberFormat, const char* fontName,
                             float size, const char* encoding) {
    if (!axisSound("tpdf_setAxisFontEncoded", axis)) return;
    if (numberFormat && !isNumberFormat(numberFormat)) {
        tpdf_GlobalError(1, kModule, "Axis number format must take exactly one number: %s",
                         numberFormat);
    } else {
        replaceText(axis->numberFormat, numberFormat);
    }
    replaceText(axis->labelFont, fontName);
    replaceText(axis->labelEncoding, encoding ? encoding : "MacRomanEncoding");
    axis->labelFontSize = size;
}

void tpdf_setAxisFont(PdfAxis* axis, const char* numberFormat, const char* fontName, float size) {
    tpdf_setAxisFontEncoded(axis, numberFormat, fontName, size, nullptr);
}

void tpdf_setTimeAxisFontEncoded(PdfAxis* axis, int monthNames, int twoDigitYear,
                                 const char* fontName, float size, const char* encoding) {
    if (!axisSound("tpdf_setTimeAxisFontEncoded", axis)) return;
    replaceText(axis->labelFont, fontName);
    replaceText(axis->labelEncoding, encoding ? encoding : "MacRomanEncoding");
    axis->labelFontSize = size;
    axis->monthNames = monthNames;
    axis->twoDigitYear = twoDigitYear;
}

void tpdf_setTimeAxisFont(PdfAxis* axis, int monthNames, int twoDigitYear, const char* fontName,
                          float size) {
    tpdf_setTimeAxisFontEncoded(axis, monthNames, twoDigitYear, fontName, size, nullptr);
}

void tpdf_setAxisTitle(PdfAxis* axis, const char* title, const char* fontName,
                       const char* encoding, float size) {
    if (!axisSound("tpdf_setAxisTitle", axis) || !title || !fontName || !encoding) return;
    replaceText(axis->title, title);
    replaceText(axis->titleFont, fontName);
    replaceText(axis->titleEncoding, encoding);
    axis->titleFontSize = size;
}

int tpdf_setMonthNames(PdfDoc* doc, const char* const names[12]) {
    if (!doc || !names) return 0;
    for (int i = 0; i < 12; ++i)
        doc->monthNames[static_cast<std::size_t>(i)] = names[i] ? names[i] : "";
    return 0;
}

int tpdf_freeMonthNames(PdfDoc* doc) {
    if (doc)
        for (std::string& name : doc->monthNames) name.clear();
    return 0;
}

int tpdf_drawAxis(PdfAxis* axis) {
    if (!axisSound("tpdf_drawAxis", axis)) return -1;
    if (!axis->domain) {
        tpdf_GlobalError(1, kModule, "Axis is not attached to a plot domain");
        return -1;
    }
    PdfDoc* doc = domainDocument(axis->domain);
    if (!doc || !axisIsDrawable(axis)) return -1;
    doc->currentAxis = axis;
    const double a = axis->angle * kPi / 180.0;
    tpdf_writeRaw(doc, "\n% Axis starts here \n");
    tpdf_saveState(doc);
    tpdf_concatMatrix(doc, static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)),
                      static_cast<float>(-std::sin(a)), static_cast<float>(std::cos(a)),
                      axis->domain->x + axis->offsetX, axis->domain->y + axis->offsetY);
    doc->axisScale = axis->length / (static_cast<double>(axis->max) - axis->min);
    if (axis->kind == 1) {
        doc->axisLogMin = std::log10(static_cast<double>(axis->min));
        doc->axisLogMax = std::log10(static_cast<double>(axis->max));
    }
    // Until a label is drawn, a title sits off the tick side of the line.
    const TickExtent t = tickExtent(axis, axis->majorTickLength);
    doc->labelExtent = static_cast<float>(axis->labelPlacement == 0 ? t.low : t.high);

    // Labels and titles are plain text, whatever the document's hex-text setting.
    const int hexText = doc->hexText;
    doc->hexText = 0;
    tpdf_lineWidth(doc, axis->lineWidth);
    tpdf_pointMove(doc, -0.5f * axis->majorTickWidth, 0.0f);
    tpdf_pointLine(doc, axis->length + 0.5f * axis->majorTickWidth, 0.0f);
    tpdf_strokePath(doc);
    switch (axis->kind) {
    case 0:
        tpdf_drawLinearTicks(doc, axis);
        tpdf_drawLinearLabels(doc, axis);
        break;
    case 1:
        tpdf_drawLogTicks(doc, axis);
        tpdf_drawLogLabels(doc, axis);
        break;
    case 2:
        tpdf_drawTimeAxisTicks(doc, axis);
        tpdf_drawTimeLabels(doc, axis);
        break;
    default: break;
    }
    tpdf_drawAxisTitle(doc, axis);
    tpdf_restoreState(doc);
    doc->hexText = hexText;
    return 0;
}

float tpdf_axisPosition(PdfDoc* doc, float value) {
    if (!doc || !doc->currentAxis) return 0.0f;
    const PdfAxis* axis = doc->currentAxis;
    if (axis->kind != 1) return static_cast<float>((value - axis->min) * doc->axisScale);
    if (value <= 0 || doc->axisLogMax == doc->axisLogMin) return 0.0f;
    return static_cast<float>(axis->length * (std::log10(static_cast<double>(value)) - doc->axisLogMin) /
                              (doc->axisLogMax - doc->axisLogMin));
}

void tpdf_drawTick(PdfDoc* doc, PdfAxis* axis, float position, float length) {
    if (!doc || !axisSound("tpdf_drawTick", axis)) return;
    const TickExtent t = tickExtent(axis, length);
    tpdf_pointMove(doc, position, static_cast<float>(t.low));
    tpdf_pointLine(doc, position, static_cast<float>(t.high));
}

void tpdf_drawLinearTicks(PdfDoc* doc, PdfAxis* axis) {
    if (!doc || !axisSound("tpdf_drawLinearTicks", axis)) return;
    if (axis->minorTicksOn)
        strokedTicks(doc, axis, axis->minorTickWidth, axis->minorTickLength, axis->minorStart,
                     axis->minorStep);
    if (axis->majorTicksOn)
        strokedTicks(doc, axis, axis->majorTickWidth, axis->majorTickLength, axis->majorStart,
                     axis->majorStep);
}

void tpdf_drawLogTicks(PdfDoc* doc, PdfAxis* axis) {
    if (!doc || !axisSound("tpdf_drawLogTicks", axis)) return;
    walkDecades(axis->min, axis->max, [&](int n, double v) {
        if (!tpdf_bitIsSet(axis->logTickMask, n)) return;
        const bool major = n == 1;
        tpdf_lineWidth(doc, major ? axis->majorTickWidth : axis->minorTickWidth);
        tpdf_drawTick(doc, axis, tpdf_axisPosition(doc, static_cast<float>(v)),
                      major ? axis->majorTickLength : axis->minorTickLength);
        tpdf_strokePath(doc);
    });
}

void tpdf_drawTimeAxisTicks(PdfDoc* doc, PdfAxis* axis) {
    if (!doc || !axisSound("tpdf_drawTimeAxisTicks", axis)) return;
    int units[2], steps[2];
    const float span = timeSpan(axis);
    tpdf_timeTicks(span, &units[0], &units[1], &steps[0], &steps[1]);
    const int on[2] = {axis->minorTicksOn, axis->majorTicksOn};
    const float widths[2] = {axis->minorTickWidth, axis->majorTickWidth};
    const float lengths[2] = {axis->minorTickLength, axis->majorTickLength};
    for (int pass = 0; pass < 2; ++pass) {
        if (!on[pass]) continue;
        tpdf_lineWidth(doc, widths[pass]);
        walkTime(axis->startTime, span, units[pass], steps[pass], [&](double v, struct tm&) {
            tpdf_drawTick(doc, axis, tpdf_axisPosition(doc, static_cast<float>(v)), lengths[pass]);
        });
        tpdf_strokePath(doc);
    }
}

void tpdf_drawLinearLabels(PdfDoc* doc, PdfAxis* axis) {
    if (!doc || !axisSound("tpdf_drawLinearLabels", axis)) return;
    beginLabels(doc, axis);
    if (!walkSteps(axis->majorStart, axis->majorStep, withTolerance(axis->max),
                   [&](double v) { tpdf_drawAxisNumber(doc, axis, v, axis->majorTickLength); }))
        tooManyTicks(doc);
    tpdf_endText(doc);
}

void tpdf_drawLogLabels(PdfDoc* doc, PdfAxis* axis) {
    if (!doc || !axisSound("tpdf_drawLogLabels", axis)) return;
    beginLabels(doc, axis);
    walkDecades(axis->min, axis->max, [&](int n, double v) {
        if (tpdf_bitIsSet(axis->logLabelMask, n))
            tpdf_drawAxisNumber(doc, axis, v, axis->majorTickLength);
    });
    tpdf_endText(doc);
}

void tpdf_drawTimeLabels(PdfDoc* doc, PdfAxis* axis) {
    if (!doc || !axisSound("tpdf_drawTimeLabels", axis)) return;
    axis->lastMinute = axis->lastHour = axis->lastDay = axis->lastMonth = 99;
    axis->lastYear = 1900;
    beginLabels(doc, axis);
    int unit = 0, step = 0;
    const float span = timeSpan(axis);
    tpdf_timeTicks(span, nullptr, &unit, nullptr, &step);
    walkTime(axis->startTime, span, unit, step, [&](double v, struct tm& running) {
        tpdf_drawTimeLabel(doc, axis, static_cast<float>(v), &running, unit, axis->majorTickLength);
    });
    tpdf_endText(doc);
}

void tpdf_drawAxisNumber(PdfDoc* doc, PdfAxis* axis, double value, float tickLength) {
    if (!doc || !axisSound("tpdf_drawAxisNumber", axis) || !axis->numberFormat ||
        !isNumberFormat(axis->numberFormat))
        return;
    char text[kLabelSize];
    CLocaleScope c;
    // The format was checked to take exactly one double when it was set.
    std::snprintf(text, sizeof text, axis->numberFormat, value);
    if (axis->kind == 1) tpdf_trimZeros(text);
    placeLabel(doc, axis, text, tpdf_axisPosition(doc, static_cast<float>(value)), tickLength, true);
}

void tpdf_drawTimeLabel(PdfDoc* doc, PdfAxis* axis, float days, struct tm* time, int unit,
                        float tickLength) {
    if (!doc || !axisSound("tpdf_drawTimeLabel", axis) || !time ||
        !normalizedTime(*time, "tpdf_drawTimeLabel"))
        return;
    const char* month = doc->monthNames[static_cast<std::size_t>((time->tm_mon % 12 + 12) % 12)].c_str();
    char year[8];
    tpdf_twoDigitYear(time->tm_year + 1900, axis->twoDigitYear, year);
    char text[kLabelSize] = "";
    switch (unit) {
    case 0:
        if (time->tm_min != axis->lastMinute) format(text, sizeof text, "%d:%d", time->tm_min, time->tm_sec);
        else format(text, sizeof text, "%d", time->tm_sec);
        break;
    case 1:
        if (time->tm_hour != axis->lastHour) format(text, sizeof text, "%d:%d", time->tm_hour, time->tm_min);
        else format(text, sizeof text, "%d", time->tm_min);
        break;
    case 2:
        if (time->tm_mday != axis->lastDay) format(text, sizeof text, "%d [%d]", time->tm_hour, time->tm_mday);
        else format(text, sizeof text, "%d", time->tm_hour);
        break;
    case 3:
        if (time->tm_mon != axis->lastMonth) {
            if (axis->monthNames) format(text, sizeof text, "%s %d", month, time->tm_mday);
            else format(text, sizeof text, "%d/%d", time->tm_mon + 1, time->tm_mday);
        } else if (time->tm_mday <= 29) {
            format(text, sizeof text, "%d", time->tm_mday);
        }
        break;
    case 4:
        if (time->tm_year != axis->lastYear) {
            if (axis->monthNames) format(text, sizeof text, "%s %s", month, year);
            else format(text, sizeof text, "%d/%s", time->tm_mon + 1, year);
        } else if (axis->monthNames) {
            format(text, sizeof text, "%s", month);
        } else {
            format(text, sizeof text, "%d", time->tm_mon + 1);
        }
        break;
    default: format(text, sizeof text, "%s", year); break;
    }
    // Days 30 and 31 inside a month get no label at all rather than an empty one.
    if (*text) placeLabel(doc, axis, text, tpdf_axisPosition(doc, days), tickLength, false);
    axis->lastMinute = time->tm_min;
    axis->lastHour = time->tm_hour;
    axis->lastDay = time->tm_mday;
    axis->lastMonth = time->tm_mon;
    axis->lastYear = time->tm_year;
}

void tpdf_drawAxisTitle(PdfDoc* doc, PdfAxis* axis) {
    if (!doc || !axisSound("tpdf_drawAxisTitle", axis) || !axis->title) return;
    tpdf_beginText(doc, 0);
    tpdf_setFont(doc, axis->titleFont, axis->titleEncoding, axis->titleFontSize);
    const double w = tpdf_stringWidth(doc, axis->title);
    const double h = w / 2;
    const double a = axis->angle * kPi / 180.0;
    const double size = axis->titleFontSize;
    const double centre = axis->kind == 1
                              ? axis->min * std::sqrt(static_cast<double>(axis->max) / axis->min)
                              : axis->min + (static_cast<double>(axis->max) - axis->min) * 0.5;
    const double p = tpdf_axisPosition(doc, static_cast<float>(centre));
    double y = axis->labelPlacement == 0 ? doc->labelExtent - axis->titleDistance - 0.6 * size
                                         : doc->labelExtent + axis->titleDistance;
    if (axis->labelPlacement != 0 && axis->horizontalTitle) y += w;
    if (axis->horizontalTitle) {
        const double x = p - (std::cos(a) * h + std::sin(a) * 0.3 * size);
        tpdf_textAt(doc, static_cast<float>(x), static_cast<float>(y), -axis->angle, axis->title);
    } else {
        tpdf_textAt(doc, static_cast<float>(p - h), static_cast<float>(y), 0.0f, axis->title);
    }
    tpdf_endText(doc);
}

} // extern "C"
