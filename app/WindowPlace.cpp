#include "app/WindowPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "app/ScreenPlace.h"

namespace app {
namespace {

ScreenRect availableArea(const QWidget& w) {
  const QScreen* screen = w.screen() ? w.screen() : QGuiApplication::primaryScreen();
  return screen ? ScreenRectOf(screen->availableGeometry()) : ScreenRect{};
}

// The window with its frame. Before its first showing a window has no frame yet: it will get one
// like the anchor's.
QSize frameSize(const QWidget& window, const QWidget& anchor) {
  QSize size = window.frameGeometry().size();
  if (size == window.size()) size += anchor.frameGeometry().size() - anchor.size();
  return size;
}

}  // namespace

void MoveBeside(QWidget& window, const QWidget& anchor) {
  const QSize size = frameSize(window, anchor);
  const ScreenRect at =
      PlaceBeside(ScreenRectOf(anchor.frameGeometry()), size.width(), size.height(), availableArea(anchor));
  window.move(at.left, at.top);
}

void KeepOnScreen(QWidget& window) {
  const ScreenRect now = ScreenRectOf(window.frameGeometry());
  const ScreenRect inside = KeepInside(now, availableArea(window));
  if (inside != now) window.move(inside.left, inside.top);
}

}  // namespace app
