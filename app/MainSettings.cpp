#include "app/MainSettings.h"

#include "app/VersionCheckRules.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "core/NetInfo.h"
#include "core/SettingsStore.h"

namespace app {
namespace {

constexpr const char* kWidth = core::kMainFormWidth;
constexpr const char* kHeight = core::kMainFormHeight;
constexpr const char* kTop = core::kMainFormTop;
constexpr const char* kLeft = core::kMainFormLeft;
constexpr const char* kState = core::kMainFormWindowState;

std::optional<int> positive(const std::string& text) {
  const auto v = ParseInteger(text);
  if (!v || *v <= 0 || *v > 0x7FFFFFFF) return std::nullopt;
  return static_cast<int>(*v);
}

bool switchOn(const SettingsAccess& s, const char* name) {
  if (s.read(name) == "0") return false;
  s.write(name, "1");
  return true;
}

}  // namespace

std::optional<long long> ParseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool TitleBarOnScreen(const Rect& frame, const std::vector<Rect>& availableAreas) {
  // Wide: stored values reach 0x7FFFFFFF, and a sum of two must not wrap.
  const long long left = frame.left, top = frame.top;
  const long long grip = std::min(frame.width, kTitleBarGrip);
  if (grip <= 0) return false;
  for (const Rect& a : availableAreas) {
    const long long overlap = std::min(left + frame.width, 0LL + a.left + a.width) -
                              std::max(left, 0LL + a.left);
    if (top >= a.top && top + kTitleBarHeight <= 0LL + a.top + a.height && overlap >= grip)
      return true;
  }
  return false;
}

WindowPlacement LoadWindowPlacement(const SettingsAccess& s, int currentWidth, int currentHeight,
                                    const Rect& workArea, const std::vector<Rect>& availableAreas) {
  WindowPlacement p;
  p.width = currentWidth;
  p.height = currentHeight;
  const std::string width = s.read(kWidth);
  if (width.empty()) s.write(kWidth, core::IntToString(p.width));
  else if (auto v = positive(width)) p.width = *v;
  const std::string height = s.read(kHeight);
  if (height.empty()) s.write(kHeight, core::IntToString(p.height));
  else if (auto v = positive(height)) p.height = *v;

  // Centred in the work area wherever it stands (a task bar at the top or left moves its origin).
  p.top = workArea.top + (workArea.height - p.height) / 2;
  p.left = workArea.left + (workArea.width - p.width) / 2;
  p.savedTop = p.top;

  const std::string top = s.read(kTop);
  if (top.empty()) {
    if (p.top > 0 && p.top < kMiniParkTop) s.write(kTop, core::IntToString(p.top));
  } else if (auto v = positive(top)) {
    p.top = p.savedTop = *v;
  }
  const std::string left = s.read(kLeft);
  if (left.empty()) s.write(kLeft, core::IntToString(p.left));
  else if (auto v = positive(left)) p.left = *v;
  // Stored for another set of screens, say: the window would be out of reach.
  if (!TitleBarOnScreen({p.left, p.top, p.width, p.height}, availableAreas)) {
    p.top = p.savedTop = workArea.top + (workArea.height - p.height) / 2;
    p.left = workArea.left + (workArea.width - p.width) / 2;
  }

  const std::string state = s.read(kState);
  if (state.empty()) s.write(kState, "0");
  else if (auto v = positive(state)) p.state = *v;
  return p;
}

NotifySettings LoadNotifySettings(const SettingsAccess& s) {
  NotifySettings n;
  n.deviceDetect = switchOn(s, core::kNotifyDeviceDetect);
  n.newVersion = switchOn(s, core::kNotifyNewVersion);
  const auto days = ParseInteger(s.read(core::kNotifyCheckDays));
  if (days && *days >= 60 && *days <= 365) n.checkDays = static_cast<int>(*days);
  else s.write(core::kNotifyCheckDays, core::IntToString(n.checkDays));
  if (const auto last = ParseNotifyLastDate(s.read(core::kNotifyLastDate))) n.lastDate = *last;
  else s.write(core::kNotifyLastDate, "0");
  return n;
}

void SaveWindowPlacement(const SettingsAccess& s, const WindowPlacement& current, bool minimised,
                         const std::vector<Rect>& availableAreas) {
  s.write(kWidth, core::IntToString(current.width));
  s.write(kHeight, core::IntToString(current.height));
  const bool parked = current.top == kMiniParkTop || current.top == kMiniHiddenTop;
  if (parked || TitleBarOnScreen({current.left, current.top, current.width, current.height},
                                 availableAreas)) {
    if (current.top > 0 && current.top < kMiniParkTop) s.write(kTop, core::IntToString(current.top));
    s.write(kLeft, core::IntToString(current.left));
  }
  if (!minimised) s.write(kState, core::IntToString(current.state));
}

bool HasMiniSwitch(const std::vector<std::string>& args) {
  for (const auto& a : args)
    if (a == "-mini") return true;
  return false;
}

bool MiniStartEnds(const std::vector<std::string>& args, const std::string& autoRunCheck) {
  return HasMiniSwitch(args) && autoRunCheck == "0";
}

StartOutcome DecideStart(const std::vector<std::string>& args, const StartSteps& steps) {
  if (steps.handOverToRunning()) return StartOutcome::HandedOver;
  if (MiniStartEnds(args, steps.readAutoRunCheck())) return StartOutcome::Ends;
  if (steps.takeLock()) return StartOutcome::Run;
  steps.handOverWhileStarting();  // another start took the lock just now
  return StartOutcome::HandedOver;
}

bool FirstRefreshDue(std::optional<long long> lastServerRefreshMs, long long nowMs) {
  if (!lastServerRefreshMs) return true;
  return std::llabs(nowMs - *lastServerRefreshMs) / 1000 >= 3;
}

std::string UnreadableSettingsText(const std::string& productName, const std::string& file,
                                   const std::string& reason) {
  return "The settings of " + productName + " cannot be read from the file\n" + file + "\n(" +
         reason +
         ").\n\nThe program runs with its default settings: bound printers, faxes and scanners "
         "are not known, and nothing you change is kept. The file is left as it is.";
}

}  // namespace app
