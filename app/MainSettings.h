#pragma once
// The main window's stored settings: where the window stands and how the notices behave. Plain
// rules over a settings accessor, so that they run without a window or a registry.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// Reads and writes one settings value (an empty text when missing).
struct SettingsAccess {
  std::function<std::string(std::string_view name)> read;
  std::function<void(std::string_view name, const std::string& value)> write;
};

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
};

struct WindowPlacement {
  int width = 0, height = 0, top = 0, left = 0;
  int state = 0;  // 0 normal, 1 minimised, 2 maximised; other stored values are left to the window
  int savedTop = 0;
};

struct NotifySettings {
  bool deviceDetect = true;
  bool newVersion = true;
  int checkDays = 60;
  std::uint32_t lastDate = 0;  // packed file date-time, read unsigned; 0 = no check yet
};

// A decimal integer and nothing else, as the stored values hold them.
std::optional<long long> ParseInteger(std::string_view text);

// A window can be moved back by hand as long as its title bar (the top `kTitleBarHeight` pixels of
// its frame) lies, over its whole height and `kTitleBarGrip` pixels of its width (all of it, when
// narrower), inside one screen's available area.
inline constexpr int kTitleBarHeight = 30;
inline constexpr int kTitleBarGrip = 100;
bool TitleBarOnScreen(const Rect& frame, const std::vector<Rect>& availableAreas);

// Width and height first, then centred in the work area, then the stored top and left, then the
// state; the values that are missing are written back. A stored place whose title bar would be
// off every available area is not used: the window stays centred.
WindowPlacement LoadWindowPlacement(const SettingsAccess& s, int currentWidth, int currentHeight,
                                    const Rect& workArea, const std::vector<Rect>& availableAreas);
NotifySettings LoadNotifySettings(const SettingsAccess& s);

// At close: the size; the place only where the window was seen (parked off screen by a hidden
// start, only its left), and only when its title bar is on a screen; the state unless minimised.
void SaveWindowPlacement(const SettingsAccess& s, const WindowPlacement& current, bool minimised,
                         const std::vector<Rect>& availableAreas);

// A start with "-mini" (any argument, exact case) ends at once when "AutoRun Check" is "0".
bool HasMiniSwitch(const std::vector<std::string>& args);
bool MiniStartEnds(const std::vector<std::string>& args, const std::string& autoRunCheck);

// The order of a start: a running instance is handed the show request first; then a "-mini" start
// with autorun off ends, before it takes the single-instance lock, so that it never blocks another
// start; then the lock is taken (or, when a start that is still coming up took it, handed over to).
enum class StartOutcome { Run, HandedOver, Ends };
struct StartSteps {
  std::function<bool()> handOverToRunning;  // true when a running instance took the request
  std::function<std::string()> readAutoRunCheck;
  std::function<bool()> takeLock;
  std::function<void()> handOverWhileStarting;
};
StartOutcome DecideStart(const std::vector<std::string>& args, const StartSteps& steps);

// The first refresh waits until three whole seconds have passed since the last server-list event.
bool FirstRefreshDue(std::optional<long long> lastServerRefreshMs, long long nowMs);

// What the user is told once at start when the settings file cannot be used: where it is, why,
// and that the program runs on with defaults and leaves the file alone.
std::string UnreadableSettingsText(const std::string& productName, const std::string& file,
                                   const std::string& reason);

inline constexpr int kMiniParkTop = 3000;   // where a hidden start parks the window
inline constexpr int kMiniHiddenTop = 3001;  // where the hidden window waits for its first show

}  // namespace app
