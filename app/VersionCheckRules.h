#pragma once
// The rules of the version check that need no window: the packed date-time of "Notify Last Date",
// the check-days range, when an automatic check is due, and how its results are shown.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace app {

// A file date-time packed into 32 bits: the date (years since 1980, month, day) in the high 16,
// the time (hours, minutes, seconds / 2) in the low 16.
std::uint32_t PackDosDateTime(std::time_t local);
// nullopt when the bits name no real date and time.
std::optional<std::time_t> UnpackDosDateTime(std::uint32_t packed);

// "Notify Last Date": a decimal text of the packed bits, unsigned (dates after 2043 set the top
// bit, and are stored so); a negative number means no check yet and reads 0. nullopt for anything
// that is no integer of 32 bits.
std::optional<std::uint32_t> ParseNotifyLastDate(const std::string& text);

inline constexpr int kMinCheckDays = 60;
inline constexpr int kMaxCheckDays = 365;
// An integer from 60 to 365 and nothing else.
std::optional<int> ParseCheckDays(const std::string& text);

// What one tick of the automatic check does.
struct NotifyTick {
  bool wait = false;            // a notice is on screen at the first tick: try again next tick
  bool switchToMinute = false;  // the first tick: from now on every 60 s
  bool storeLastDate = false;   // no check yet: today becomes the reference
  std::uint32_t lastDate = 0;   // the reference in force after this tick
  bool check = false;           // ask the version server now
};
NotifyTick DecideNotifyTick(bool firstTick, bool popupShown, std::uint32_t lastDate,
                            std::time_t now, int checkDays, bool networkReady);

// "yyyy/mm/dd hh:nn:ss am" of the moment plus whole check days, on a 12-hour clock.
std::string FormatNextNotifyDate(std::time_t from, int checkDays);
// The first two "-" become "/".
std::string DateWithSlashes(std::string date);
// The address of the site named "Global", the last one if several; empty if none.
std::string GlobalSiteUrl(const std::vector<std::string>& names, const std::vector<std::string>& urls);

}  // namespace app
