#pragma once
// A display of the test's own for the real programs: an Xvfb server on a free display number,
// driven with xdotool as a person would (windows found by title, clicks at points of a window,
// keys), with pictures of the screen taken with ImageMagick's import. Every wait polls with a
// limit. The server ends with the session.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/Process.h"

namespace test {

class XSession {
 public:
  struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
  };

  // Starts Xvfb with one screen of the given size; the session's scratch files go to `folder`.
  explicit XSession(std::filesystem::path folder, int width = 2560, int height = 1440)
      : folder_(std::move(folder)) {
    std::filesystem::create_directories(folder_);
    const std::string xvfb = which("Xvfb"), xdotool = which("xdotool"), import = which("import");
    if (xvfb.empty() || xdotool.empty() || import.empty()) {
      error_ = "Xvfb, xdotool and ImageMagick's import are needed (scripts/install-deps)";
      return;
    }
    xdotool_ = xdotool;
    import_ = import;
    // Xvfb writes the display number it took on this pipe: no fixed number, no race for one.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      error_ = "no pipe";
      return;
    }
    ::fcntl(fds[1], F_SETFD, 0);  // the write end goes to Xvfb
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    // -noreset: by default the server resets when its last client leaves and drops every
    // connection still in its set-up, so a program starting while a short-lived tool (xprop,
    // xdotool) ends found no display.
    server_ = std::make_unique<Process>(
        std::vector<std::string>{xvfb, "-displayfd", std::to_string(fds[1]), "-noreset", "-screen", "0",
                                 screen, "-nolisten", "tcp"},
        std::vector<std::string>{}, (folder_ / "xvfb.out").string());
    ::close(fds[1]);
    std::string number;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (server_->started() && std::chrono::steady_clock::now() < end) {
      pollfd p{fds[0], POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char c = 0;
      if (::read(fds[0], &c, 1) != 1) break;
      if (c == '\n') break;
      number += c;
    }
    ::close(fds[0]);
    if (number.empty()) {
      error_ = "Xvfb gave no display number: " + server_->output();
      server_.reset();
      return;
    }
    display_ = ":" + number;
  }

  ~XSession() {
    if (tray_) {
      tray_->signal(SIGTERM);
      tray_->wait(5000);
    }
    if (windowManager_) {
      windowManager_->signal(SIGTERM);
      windowManager_->wait(5000);
    }
    if (!server_) return;
    server_->signal(SIGTERM);
    server_->wait(5000);  // one that does not end is killed by the process's own end
  }

  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  // Starts a window manager (openbox) on the display, as a user's desktop has, and waits until it
  // manages windows. False, with error(), when there is none or it does not come up in time.
  // `bottomPanel` pixels at the bottom of the screen are kept from windows, as a panel keeps them.
  bool startWindowManager(int timeoutMs = 20000, int bottomPanel = 0) {
    const std::string openbox = which("openbox"), xprop = which("xprop");
    if (openbox.empty() || xprop.empty()) {
      error_ = "openbox and xprop are needed (scripts/install-deps)";
      return false;
    }
    std::vector<std::string> argv{openbox, "--sm-disable"};
    if (bottomPanel > 0) {
      std::ifstream in("/etc/xdg/openbox/rc.xml");
      std::ostringstream rc;
      rc << in.rdbuf();
      const std::string margin = "<bottom>" + std::to_string(bottomPanel) + "</bottom>";
      const std::string config = std::regex_replace(
          rc.str(), std::regex("(<margins>[\\s\\S]*?)<bottom>0</bottom>"), "$1" + margin);
      if (config.find(margin) == std::string::npos) {
        error_ = "no margins in /etc/xdg/openbox/rc.xml";
        return false;
      }
      std::ofstream(folder_ / "openbox-rc.xml") << config;
      argv.insert(argv.end(), {"--config-file", (folder_ / "openbox-rc.xml").string()});
    }
    windowManager_ = std::make_unique<Process>(
        argv, std::vector<std::string>{"DISPLAY=" + display_}, (folder_ / "openbox.out").string());
    // A running manager names its check window on the root window.
    const bool up = eventually(
        [&] {
          Process p({xprop, "-display", display_, "-root", "_NET_SUPPORTING_WM_CHECK"}, {},
                    (folder_ / "xprop.out").string());
          return p.wait(5000) == 0 && p.output().find("window id") != std::string::npos;
        },
        timeoutMs);
    if (!up) error_ = "openbox did not start: " + windowManager_->output() + serverSaid();
    return up;
  }

  // Starts a system tray (trayer) along the top edge of the screen, as a desktop's panel holds one,
  // and waits until its panel is up. Under a window manager the panel's room leaves the work area.
  bool startTray(int timeoutMs = 20000) {
    const std::string trayer = which("trayer"), xwininfo = which("xwininfo");
    if (trayer.empty() || xwininfo.empty()) {
      error_ = "trayer and xwininfo are needed (scripts/install-deps)";
      return false;
    }
    // The tray is up once the window manager keeps its room (its strut reaches the work area). On a
    // loaded machine a tray now and then never gets there: it is started once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
      tray_ = std::make_unique<Process>(
          std::vector<std::string>{trayer, "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                   "--width", "200", "--height", "24", "--SetDockType", "true",
                                   "--SetPartialStrut", "true"},
          std::vector<std::string>{"DISPLAY=" + display_}, (folder_ / "trayer.out").string());
      const bool up = eventually(
          [&] {
            if (windowTree().find("(\"panel\" \"trayer\")") == std::string::npos) return false;
            const auto area = workArea(timeoutMs / 2);
            return area && area->y >= 24;
          },
          timeoutMs / 2);
      if (up) return true;
      error_ = "trayer did not start or its room was not kept: " + tray_->output() + serverSaid();
      tray_.reset();
    }
    return false;
  }

  // The middle of a program's icon in the tray (the icon's window carries the program's title and
  // class), once it is there.
  std::optional<std::pair<int, int>> trayIcon(const std::string& title, const std::string& windowClass,
                                              int timeoutMs) {
    std::optional<std::pair<int, int>> at;
    eventually(
        [&] {
          std::istringstream tree(windowTree());
          std::size_t panel = std::string::npos;  // the indent of trayer's panel, while inside it
          const std::string icon = "\"" + title + "\": (\"" + windowClass + "\"";
          for (std::string line; std::getline(tree, line);) {
            const std::size_t indent = line.find_first_not_of(' ');
            if (panel != std::string::npos && indent <= panel) panel = std::string::npos;
            if (line.find("(\"panel\" \"trayer\")") != std::string::npos) {
              panel = indent;
              continue;
            }
            std::smatch m;
            if (panel == std::string::npos || line.find(icon) == std::string::npos ||
                !std::regex_search(line, m, std::regex("(\\d+)x(\\d+)\\+-?\\d+\\+-?\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)\\s*$")))
              continue;
            at = std::pair{std::stoi(m[3]) + std::stoi(m[1]) / 2, std::stoi(m[4]) + std::stoi(m[2]) / 2};
            return true;
          }
          return false;
        },
        timeoutMs);
    return at;
  }

  // A click of the button at a point of the screen.
  bool clickAt(int x, int y, int button = 1) {
    return xdotoolOk({"mousemove", "--sync", std::to_string(x), std::to_string(y), "click",
                      std::to_string(button)});
  }

  // The window with the frame a window manager gave it (_NET_FRAME_EXTENTS), on the screen.
  std::optional<Geometry> frameGeometry(const std::string& window) {
    const auto g = geometryNow(window);
    if (!g) return std::nullopt;
    Process p({which("xprop"), "-display", display_, "-id", window, "_NET_FRAME_EXTENTS"}, {},
              (folder_ / "xprop.out").string());
    if (p.wait(5000) != 0) return std::nullopt;
    std::smatch m;
    const std::string out = p.output();
    if (!std::regex_search(out, m, std::regex("= (\\d+), (\\d+), (\\d+), (\\d+)"))) return g;
    const int left = std::stoi(m[1]), right = std::stoi(m[2]), top = std::stoi(m[3]), bottom = std::stoi(m[4]);
    return Geometry{g->x - left, g->y - top, g->width + left + right, g->height + top + bottom};
  }

  // The screen less the panels, as the window manager tells it (_NET_WORKAREA of the first
  // desktop), once it does: a manager that has just come up may not have said it yet.
  std::optional<Geometry> workArea(int timeoutMs = 20000) {
    std::optional<Geometry> area;
    eventually(
        [&] {
          Process p({which("xprop"), "-display", display_, "-root", "_NET_WORKAREA"}, {},
                    (folder_ / "xprop.out").string());
          if (p.wait(20000) != 0) return false;
          std::smatch m;
          const std::string out = p.output();
          if (!std::regex_search(out, m, std::regex("= (\\d+), (\\d+), (\\d+), (\\d+)"))) return false;
          area = Geometry{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4])};
          return true;
        },
        timeoutMs);
    return area;
  }

  // The title the window manager shows for the window.
  std::string windowName(const std::string& window) {
    std::string name = xdotool({"getwindowname", window});
    if (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
  }

  // Copies what the X server, the window manager and the tray printed to `folder`, for a person to
  // read after a failed run (the session's own folder goes with it).
  void keepOutput(const std::filesystem::path& folder) const {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    for (const char* name : {"xvfb.out", "openbox.out", "trayer.out"})
      if (std::filesystem::exists(folder_ / name, ec))
        std::filesystem::copy_file(folder_ / name, folder / name,
                                   std::filesystem::copy_options::overwrite_existing, ec);
  }

  bool started() const { return !display_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& display() const { return display_; }
  // What a program needs in its environment to show its windows here.
  std::vector<std::string> env() const { return {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb"}; }

  // The visible windows whose title matches the pattern (a regular expression), as xdotool ids.
  std::vector<std::string> windows(const std::string& titlePattern) {
    return search("--name", titlePattern);
  }

  // The first visible window matching the pattern that is not one of `except`.
  std::optional<std::string> waitForWindow(const std::string& titlePattern, int timeoutMs,
                                           const std::vector<std::string>& except = {}) {
    std::optional<std::string> found;
    eventually(
        [&] {
          for (const auto& id : windows(titlePattern))
            if (std::find(except.begin(), except.end(), id) == except.end()) {
              found = id;
              return true;
            }
          return false;
        },
        timeoutMs);
    return found;
  }

  // Until no visible window has the given id.
  bool waitGone(const std::string& window, int timeoutMs) {
    return eventually(
        [&] {
          const auto all = windows("");
          return std::find(all.begin(), all.end(), window) == all.end();
        },
        timeoutMs);
  }

  // A visible window whose top-left corner is at the screen point (a pop-up menu opens there).
  std::optional<std::string> waitForWindowAt(int x, int y, int timeoutMs) {
    std::optional<std::string> found;
    eventually(
        [&] {
          for (const auto& id : windows("")) {
            const auto g = geometryNow(id);
            if (g && g->x == x && g->y == y) {
              found = id;
              return true;
            }
          }
          return false;
        },
        timeoutMs);
    return found;
  }

  // Where the window is on the screen and its size; none when xdotool cannot say within the time.
  std::optional<Geometry> geometry(const std::string& window, int timeoutMs = 10000) {
    std::optional<Geometry> g;
    eventually(
        [&] {
          g = geometryNow(window);
          return g.has_value();
        },
        timeoutMs);
    return g;
  }
  // The window's own area (without a window manager's frame) on the screen. xwininfo gives its
  // absolute place; xdotool's geometry adds the frame's offset a second time under a manager.
  std::optional<Geometry> geometryNow(const std::string& window) {
    const std::string xwininfo = which("xwininfo");
    if (xwininfo.empty()) return std::nullopt;
    Process p({xwininfo, "-display", display_, "-id", window}, {}, (folder_ / "xwininfo.out").string());
    if (p.wait(5000) != 0) return std::nullopt;
    std::istringstream out(p.output());
    const std::pair<const char*, int Geometry::*> fields[] = {{"Absolute upper-left X:", &Geometry::x},
                                                              {"Absolute upper-left Y:", &Geometry::y},
                                                              {"Width:", &Geometry::width},
                                                              {"Height:", &Geometry::height}};
    Geometry g;
    int seen = 0;
    for (std::string line; std::getline(out, line);)
      for (const auto& [label, field] : fields) {
        const auto at = line.find(label);
        if (at == std::string::npos) continue;
        g.*field = std::atoi(line.c_str() + at + std::strlen(label));
        ++seen;
      }
    if (seen != 4) return std::nullopt;
    return g;
  }

  // A click of the button at the point (x, y) of the window's own area, counted from its place on
  // the screen: under a window manager xdotool's "--window" offset counts from the frame.
  bool click(const std::string& window, int x, int y, int button = 1) {
    const auto g = geometry(window);
    if (!g) return false;
    return xdotoolOk({"mousemove", "--sync", std::to_string(g->x + x), std::to_string(g->y + y),
                      "click", std::to_string(button)});
  }

  // The visible windows of a program (by its window class), as xdotool ids.
  std::vector<std::string> windowsOfClass(const std::string& windowClass) {
    return search("--class", windowClass);
  }

  // The managed windows from the bottom of the stack to its top, as xdotool ids (a window
  // manager keeps the list; empty without one).
  std::vector<std::string> stacking() { return windowList("-root", "_NET_CLIENT_LIST_STACKING"); }
  // The window a dialog belongs to (WM_TRANSIENT_FOR); empty when it belongs to none.
  std::string transientFor(const std::string& window) {
    const auto ids = windowList("-id", window, "WM_TRANSIENT_FOR");
    return ids.empty() ? std::string() : ids.front();
  }

  // Keys (xdotool names: Return, Up, space, ...) to the window, which gets the keyboard first.
  bool keys(const std::string& window, const std::vector<std::string>& names) {
    if (!xdotoolOk({"windowfocus", "--sync", window})) return false;
    return keys(names);
  }
  // Keys to whoever has the keyboard (an open menu holds it).
  bool keys(const std::vector<std::string>& names) {
    std::vector<std::string> args{"key", "--delay", "60"};
    args.insert(args.end(), names.begin(), names.end());
    return xdotoolOk(args);
  }

  // A picture of the whole screen, for a person to see what happened; its path.
  std::string picture(const std::filesystem::path& file) {
    std::filesystem::create_directories(file.parent_path());
    Process p({import_, "-display", display_, "-window", "root", file.string()}, {},
              (folder_ / "import.out").string());
    p.wait(20000);
    return file.string();
  }

  // The pixels of a part of a window (raw RGB, no file metadata): what a person sees there.
  std::string pixels(const std::string& window, const Geometry& part) {
    const std::filesystem::path file = folder_ / "pixels.rgb";
    std::error_code ec;
    std::filesystem::remove(file, ec);
    const std::string crop = std::to_string(part.width) + "x" + std::to_string(part.height) + "+" +
                             std::to_string(part.x) + "+" + std::to_string(part.y);
    Process p({import_, "-display", display_, "-window", window, "-crop", crop, "+repage", "-depth",
               "8", "rgb:" + file.string()},
              {}, (folder_ / "import.out").string());
    if (p.wait(20000) != 0) return {};
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  // Until that part of the window shows something else than `before` (a new page, a new caption).
  bool waitForChange(const std::string& window, const Geometry& part, const std::string& before,
                     int timeoutMs) {
    return eventually(
        [&] {
          const std::string now = pixels(window, part);
          return !now.empty() && now != before;
        },
        timeoutMs);
  }

  // xdotool's output (empty when it failed or found nothing).
  std::string xdotool(const std::vector<std::string>& args) {
    int code = -1;
    return runXdotool(args, code);
  }

 private:
  std::vector<std::string> search(const char* by, const std::string& what) {
    std::vector<std::string> ids;
    std::istringstream out(xdotool({"search", "--onlyvisible", by, what}));
    for (std::string line; std::getline(out, line);)
      if (!line.empty()) ids.push_back(line);
    return ids;
  }
  // The window ids (hexadecimal in xprop's answer) of a property, as decimal xdotool ids.
  template <typename... Args>
  std::vector<std::string> windowList(const Args&... args) {
    const std::string xprop = which("xprop");
    if (xprop.empty()) return {};
    Process p({xprop, "-display", display_, args...}, {}, (folder_ / "xprop.out").string());
    if (p.wait(5000) != 0) return {};
    std::vector<std::string> ids;
    const std::string out = p.output();
    const std::regex hex("0x[0-9a-fA-F]+");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), hex); it != std::sregex_iterator(); ++it)
      ids.push_back(std::to_string(std::stoul(it->str(), nullptr, 16)));
    return ids;
  }
  bool xdotoolOk(const std::vector<std::string>& args) {
    int code = -1;
    runXdotool(args, code);
    return code == 0;
  }
  std::string runXdotool(const std::vector<std::string>& args, int& code) {
    std::vector<std::string> argv{xdotool_};
    argv.insert(argv.end(), args.begin(), args.end());
    Process p(argv, {"DISPLAY=" + display_}, (folder_ / "xdotool.out").string());
    code = p.wait(20000);
    return code == 0 ? p.output() : std::string();
  }

  // The X server's output so far, to go with an error.
  std::string serverSaid() const {
    return server_ ? "\nThe X server " + display_ + " said:\n" + server_->output() : std::string();
  }

  // Every window on the display with its place, as xwininfo prints the tree.
  std::string windowTree() {
    Process p({which("xwininfo"), "-display", display_, "-root", "-tree"}, {}, (folder_ / "tree.out").string());
    return p.wait(5000) == 0 ? p.output() : std::string();
  }

  static std::string which(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
      const std::filesystem::path candidate = std::filesystem::path(dir) / name;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
  }

  std::filesystem::path folder_;
  std::unique_ptr<Process> server_, windowManager_, tray_;
  std::string display_, error_, xdotool_, import_;
};

}  // namespace test
