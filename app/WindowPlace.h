#pragma once
// The screen rules of ScreenPlace applied to the program's windows.
class QWidget;

namespace app {

// Moves `window` beside `anchor`, at its top, inside the available area of the anchor's screen.
void MoveBeside(QWidget& window, const QWidget& anchor);
// Moves a window that reaches past the available area of its screen back inside it.
void KeepOnScreen(QWidget& window);

}  // namespace app
