// Calendar records from callers: the range they may hold, and date arithmetic in closed form.
#pragma once

#include <ctime>

namespace tpdf {

// Bounds of a record's fields: far beyond any axis, yet normalising a record and stepping it
// along an axis never overflows an int.
inline constexpr int kMaxCalendarYears = 1000000000; // years since 1900, either way
inline constexpr int kMaxCalendarField = 100000000;  // seconds, minutes, hours, days, months

// True when every field is within the bounds above; otherwise reports (global handler) that
// `call` refused the date.
bool usableTime(const struct tm& time, const char* call);

// Normalises a record (the C library's mktime); false, the record unchanged, when it is not
// usable.
bool normalizedTime(struct tm& time, const char* call);

// Days from 1970-01-01 to a normalised record's date and time of day.
double dayNumber(const struct tm& time);

// Adds step units (0 second ... 5 year) to a normalised, usable record and normalises it.
void advanceTime(struct tm& running, int unit, int step);

// True when the record is a date the file's date text can hold as it stands: year 0 to 9999,
// month, day, hour, minute and second each in its own range.
bool isFileDate(const struct tm& time);

} // namespace tpdf
