#pragma once
// Message boxes go through one replaceable service, so tests (and runs without a person at the
// screen) answer them instead of waiting for a click. The styles, answers and the interface are
// plain C++; the default service (MessageBoxes.cpp) shows Qt boxes.
#include <string>

class QMessageBox;

namespace platform {

// Styles and answers with the numbers the system gives them.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbOkCancel = 0x1;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbIconExclamation = 0x30;
inline constexpr unsigned kMbTopMost = 0x40000;
inline constexpr unsigned kMbWarnTopMost = kMbIconExclamation | kMbTopMost;  // 0x40030

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows a modal box and returns the answer.
  virtual int show(const std::string& text, const std::string& caption, unsigned style) = 0;
  // Shows a top-most box that blocks nothing: the caller goes on at once.
  virtual void showModeless(const std::string& text, const std::string& caption,
                            unsigned style) = 0;
};

// Qt message boxes; with TARVEX_DIALOG_ANSWERS=default every box is written to standard error and
// answered with its default button at once (runs without a display or a person).
MessageBoxes& messageBoxes();
// The Qt box the default service shows for a text, caption and style (owned by the caller).
::QMessageBox* MakeMessageBox(const std::string& text, const std::string& caption,
                                  unsigned style);
void setMessageBoxes(MessageBoxes* boxes);  // not owned; nullptr restores the default

}  // namespace platform
