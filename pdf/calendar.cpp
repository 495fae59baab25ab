// Calendar time helpers of time domains and time axes.
#include "calendar.h"

#include "c_format.h"
#include "errors.h"
#include "tpdf.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>

namespace {

struct TimeRow {
    float span;
    int minorUnit, majorUnit, minorStep, majorStep;
};

constexpr TimeRow kTimeRows[16] = {
    {0.042f, 1, 1, 1, 10},    {0.084f, 1, 2, 10, 1},   {0.51f, 1, 2, 30, 1},
    {1.1f, 2, 2, 1, 6},       {8.0f, 2, 3, 6, 1},      {12.5f, 2, 3, 12, 1},
    {21.5f, 2, 3, 12, 5},     {42.0f, 3, 3, 1, 10},    {190.0f, 3, 4, 10, 1},
    {367.0f, 4, 4, 1, 3},     {735.0f, 4, 4, 1, 6},    {2193.0f, 4, 5, 6, 1},
    {7306.0f, 5, 5, 1, 5},    {21916.0f, 5, 5, 1, 10}, {54788.0f, 5, 5, 5, 10},
    {99999.0f, 5, 5, 10, 100}};

int monthLength(int month, int yearSince1900) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 1 && tpdf_isLeapYear(yearSince1900 + 1900)) return 29;
    return kDays[((month % 12) + 12) % 12];
}

bool within(int value, int bound) { return value >= -bound && value <= bound; }

// Days from 1970-01-01 to a civil date (any year), in closed form.
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

namespace tpdf {

bool usableTime(const struct tm& t, const char* call) {
    if (within(t.tm_year, kMaxCalendarYears) && within(t.tm_mon, kMaxCalendarField) &&
        within(t.tm_mday, kMaxCalendarField) && within(t.tm_hour, kMaxCalendarField) &&
        within(t.tm_min, kMaxCalendarField) && within(t.tm_sec, kMaxCalendarField))
        return true;
    tpdf_GlobalError(1, kModule, "%s refused a date out of range", call);
    return false;
}

bool normalizedTime(struct tm& t, const char* call) {
    if (!usableTime(t, call)) return false;
    std::mktime(&t);
    return true;
}

double dayNumber(const struct tm& t) {
    const auto days = daysFromCivil(std::int64_t{t.tm_year} + 1900, t.tm_mon + 1, t.tm_mday);
    return static_cast<double>(days) + t.tm_hour / 24.0 + t.tm_min / 1440.0 + t.tm_sec / 86400.0;
}

void advanceTime(struct tm& running, int unit, int step) {
    switch (unit) {
    case 0: running.tm_sec += step; break;
    case 1: running.tm_min += step; break;
    case 2: running.tm_hour += step; break;
    case 3: {
        const int day = running.tm_mday + step;
        if (day > monthLength(running.tm_mon, running.tm_year)) {
            running.tm_mon += 1;
            running.tm_mday = 1;
        } else if ((step == 5 && day % 5 == 1 && day > 5) || (step == 10 && day % 10 == 1 && day > 5)) {
            running.tm_mday = day - 1; // 5-day steps fall on 1, 5, 10, ..., 10-day on 1, 10, 20
        } else {
            running.tm_mday = day;
        }
        break;
    }
    case 4: running.tm_mon += step; break;
    default: running.tm_year += step; break;
    }
    std::mktime(&running);
}

bool isFileDate(const struct tm& t) {
    return t.tm_year >= -1900 && t.tm_year <= 9999 - 1900 && t.tm_mon >= 0 && t.tm_mon <= 11 &&
           t.tm_mday >= 1 && t.tm_mday <= monthLength(t.tm_mon, t.tm_year) && t.tm_hour >= 0 &&
           t.tm_hour <= 23 && t.tm_min >= 0 && t.tm_min <= 59 && t.tm_sec >= 0 && t.tm_sec <= 59;
}

} // namespace tpdf

extern "C" {

int tpdf_isLeapYear(int year) {
    return ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0) ? 1 : 0;
}

void tpdf_normalizeTime(struct tm* time) {
    if (time) tpdf::normalizedTime(*time, "tpdf_normalizeTime");
}

struct tm* tpdf_localTime(const time_t* value, int) {
    static thread_local struct tm result;
    if (!value || !localtime_r(value, &result)) return nullptr;
    return &result;
}

void tpdf_formatTime(struct tm* time) {
    if (!time || !tpdf::normalizedTime(*time, "tpdf_formatTime")) return;
    std::printf("%04d-%02d-%02d %02d:%02d:%02d\n", time->tm_year + 1900, time->tm_mon + 1,
                time->tm_mday, time->tm_hour, time->tm_min, time->tm_sec);
}

float tpdf_timeDifference(struct tm* t1, struct tm* t2) {
    if (!t1 || !t2 || !tpdf::usableTime(*t1, "tpdf_timeDifference") ||
        !tpdf::usableTime(*t2, "tpdf_timeDifference"))
        return 0.0f;
    tpdf::normalizedTime(*t1, "tpdf_timeDifference");
    tpdf::normalizedTime(*t2, "tpdf_timeDifference");
    return static_cast<float>(tpdf::dayNumber(*t2) - tpdf::dayNumber(*t1));
}

void tpdf_timeTicks(float span, int* minorUnit, int* majorUnit, int* minorStep, int* majorStep) {
    TimeRow row{0, 5, 5, 10, 100};
    for (const TimeRow& r : kTimeRows) {
        if (span <= r.span) {
            row = r;
            break;
        }
    }
    if (minorUnit) *minorUnit = row.minorUnit;
    if (majorUnit) *majorUnit = row.majorUnit;
    if (minorStep) *minorStep = row.minorStep;
    if (majorStep) *majorStep = row.majorStep;
}

float tpdf_timeStep(struct tm* start, struct tm* running, int unit, int step) {
    if (!start || !running) return 0.0f;
    // Every step moves time forward, so no walk along a time axis can stall.
    if (step < 1) step = 1;
    if (step > tpdf::kMaxCalendarField) {
        tpdf_GlobalError(1, tpdf::kModule, "tpdf_timeStep refused a step of %d", step);
        return 0.0f;
    }
    struct tm from = *start;
    if (!tpdf::normalizedTime(from, "tpdf_timeStep") ||
        !tpdf::normalizedTime(*running, "tpdf_timeStep"))
        return 0.0f;
    tpdf::advanceTime(*running, unit, step);
    return static_cast<float>(tpdf::dayNumber(*running) - tpdf::dayNumber(from));
}

char* tpdf_twoDigitYear(int year, int twoDigits, char* buffer) {
    if (!buffer) return buffer;
    if (twoDigits)
        tpdf::format(buffer, 8, "%02d", ((year % 100) + 100) % 100);
    else
        tpdf::format(buffer, 8, "%d", year);
    return buffer;
}

char* tpdf_trimZeros(char* text) {
    if (!text) return text;
    char* point = std::strchr(text, '.');
    // Only a plain decimal fraction: "2.0e+10" keeps its exponent's zero.
    if (!point || std::strpbrk(point, "eE")) return text;
    char* end = text + std::strlen(text);
    while (end > point + 1 && end[-1] == '0') --end;
    *end = '\0';
    return text;
}

} // extern "C"
