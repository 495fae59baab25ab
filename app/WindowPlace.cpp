#include "app/WindowPlace.h"

#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>

#include "app/ScreenPlace.h"

namespace app {
namespace {

ScreenRect availableArea(const QWidget& w) {
  const QScreen* screen = w.screen() ? w.screen() : QGuiApplication::primaryScreen();
  return screen ? ScreenRectOf(screen->availableGeometry()) : ScreenRect{};
}

bool framed(const QWidget& w) { return w.frameGeometry() != w.geometry(); }

QMargins frameMargins(const QWidget& w) {
  const QRect frame = w.frameGeometry(), client = w.geometry();
  return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
          frame.bottom() - client.bottom()};
}

// A window's first showing sizes it to its contents unless it was sized before: the size it will
// have, settled now.
void settleSize(QWidget& window) {
  if (!window.isVisible() && !window.testAttribute(Qt::WA_Resized)) window.adjustSize();
}

}  // namespace

// Qt takes a window's position as its frame's. Before the window manager has framed a window,
// Qt cannot know the frame, and under X11 a resize during the showing (a window sized to its
// contents) makes the position stand for the client area, a title bar lower than meant. Where a
// framed window of the program tells the frame to come, the client area is placed, which no
// resize changes.
void MoveFrameTo(QWidget& window, int left, int top, const QWidget* framedLike) {
  settleSize(window);
  if (framed(window) || !framedLike || !framed(*framedLike)) {
    window.move(left, top);
    return;
  }
  const QMargins m = frameMargins(*framedLike);
  window.setGeometry(left + m.left(), top + m.top(), window.width(), window.height());
}

void MoveBeside(QWidget& window, const QWidget& anchor) {
  settleSize(window);
  // Not framed yet, the window will get a frame like the anchor's.
  const QSize size = framed(window) ? window.frameGeometry().size()
                                    : window.size().grownBy(frameMargins(anchor));
  const ScreenRect at =
      PlaceBeside(ScreenRectOf(anchor.frameGeometry()), size.width(), size.height(), availableArea(anchor));
  MoveFrameTo(window, at.left, at.top, &anchor);
}

void KeepOnScreen(QWidget& window) {
  const ScreenRect now = ScreenRectOf(window.frameGeometry());
  const ScreenRect inside = KeepInside(now, availableArea(window));
  if (inside != now) MoveFrameTo(window, inside.left, inside.top);
}

}  // namespace app
