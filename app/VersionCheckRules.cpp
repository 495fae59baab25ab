#include "app/VersionCheckRules.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace app {
namespace {

std::tm localTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

int daysIn(int month, int year) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

std::uint32_t PackDosDateTime(std::time_t local) {
  const std::tm tm = localTime(local);
  const int years = std::max(0, tm.tm_year + 1900 - 1980);
  const auto date = static_cast<std::uint32_t>((years & 0x7F) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
  const auto time = static_cast<std::uint32_t>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
  return date << 16 | time;
}

std::optional<std::time_t> UnpackDosDateTime(std::uint32_t packed) {
  const std::uint32_t date = packed >> 16, time = packed & 0xFFFF;
  std::tm tm{};
  tm.tm_year = static_cast<int>(date >> 9) + 1980 - 1900;
  tm.tm_mon = static_cast<int>((date >> 5) & 0xF) - 1;
  tm.tm_mday = static_cast<int>(date & 0x1F);
  tm.tm_hour = static_cast<int>(time >> 11);
  tm.tm_min = static_cast<int>((time >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>(time & 0x1F) * 2;
  if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 ||
      tm.tm_mday > daysIn(tm.tm_mon + 1, tm.tm_year + 1900) || tm.tm_hour > 23 || tm.tm_min > 59 ||
      tm.tm_sec > 59)
    return std::nullopt;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == -1) return std::nullopt;
  return t;
}

std::optional<std::uint32_t> ParseNotifyLastDate(const std::string& text) {
  long long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (v < -2147483648LL || v > 4294967295LL) return std::nullopt;
  if (v < 0) return 0u;
  return static_cast<std::uint32_t>(v);
}

std::optional<int> ParseCheckDays(const std::string& text) {
  int v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (v < kMinCheckDays || v > kMaxCheckDays) return std::nullopt;
  return v;
}

NotifyTick DecideNotifyTick(bool firstTick, bool popupShown, std::uint32_t lastDate,
                            std::time_t now, int checkDays, bool networkReady) {
  NotifyTick t;
  t.lastDate = lastDate;
  if (firstTick) {
    if (popupShown) {
      t.wait = true;
      return t;
    }
    t.switchToMinute = true;
  }
  bool first = false;
  if (lastDate == 0) {
    t.lastDate = PackDosDateTime(now);
    t.storeLastDate = true;
    first = true;
  }
  const auto since = UnpackDosDateTime(t.lastDate);
  if (!since) return t;
  const long long minutes = std::llabs(static_cast<long long>(now - *since)) / 60;
  if (!networkReady) return t;
  t.check = first || minutes > static_cast<long long>(checkDays) * 1440;
  return t;
}

std::string FormatNextNotifyDate(std::time_t from, int checkDays) {
  std::tm tm = localTime(from);
  tm.tm_mday += checkDays;
  tm.tm_isdst = -1;
  const std::time_t next = std::mktime(&tm);
  const std::tm n = localTime(next);
  const int hour12 = n.tm_hour % 12 == 0 ? 12 : n.tm_hour % 12;
  char text[40];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d %s", n.tm_year + 1900, n.tm_mon + 1,
                n.tm_mday, hour12, n.tm_min, n.tm_sec, n.tm_hour < 12 ? "am" : "pm");
  return text;
}

std::string DateWithSlashes(std::string date) {
  int turned = 0;
  for (char& c : date) {
    if (turned == 2) break;
    if (c == '-') {
      c = '/';
      ++turned;
    }
  }
  return date;
}

std::string GlobalSiteUrl(const std::vector<std::string>& names, const std::vector<std::string>& urls) {
  std::string url;
  for (std::size_t i = 0; i < names.size() && i < urls.size(); ++i)
    if (names[i] == "Global") url = urls[i];
  return url;
}

}  // namespace app
