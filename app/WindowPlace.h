#pragma once
// The screen rules of ScreenPlace applied to the program's windows. A window's place, given or
// stored ("MainForm Top" and "Left"), is always where its frame's top-left corner stands.
class QWidget;

namespace app {

// Puts the top-left corner of `window`'s frame at (left, top), whether the window is framed yet or
// not. `framedLike`, a window of the program the window manager has framed already, tells the
// frame a window not framed yet will get.
void MoveFrameTo(QWidget& window, int left, int top, const QWidget* framedLike = nullptr);
// Moves `window` beside `anchor`, at its top, inside the available area of the anchor's screen.
void MoveBeside(QWidget& window, const QWidget& anchor);
// Moves a window that reaches past the available area of its screen back inside it.
void KeepOnScreen(QWidget& window);

}  // namespace app
