// The message-box service's boxes belong to the window they are asked from: the modal one, else
// the active one. A window manager stacks a box above its owner (a stay-on-top owner's box stays
// on top too), so the user sees the question the blocked window waits for.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <memory>

#include "platform/MessageBoxes.h"
#include "support/PumpUntil.h"

namespace {

int argc = 1;
char programName[] = "test_platform_message_boxes";
char* argv[] = {programName, nullptr};

// What the box looked like once it was up; it is then answered with `answer`.
struct SeenBox {
  bool shown = false;
  QWidget* parent = nullptr;
  QWindow* transientParent = nullptr;
  bool onTop = false;
  bool modal = false;
};

class MessageBoxOwnerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
  // Watches for the box and answers it with the button, as a click does.
  void answerWith(QMessageBox::StandardButton answer) {
    QObject::connect(&poll, &QTimer::timeout, [this, answer] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible() || seen.shown) continue;
        seen.shown = true;
        seen.parent = box->parentWidget();
        seen.transientParent = box->windowHandle() ? box->windowHandle()->transientParent() : nullptr;
        seen.onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        seen.modal = box->isModal();
        box->button(answer)->click();
      }
    });
    poll.start(5);
  }

  QTimer poll;
  SeenBox seen;
};

TEST_F(MessageBoxOwnerTest, ABoxAskedUnderAStayOnTopModalDialogBelongsToItAndStaysAbove) {
  QDialog dialog;
  dialog.setWindowTitle("Welcome to the Razo-Razezed Ireruro");
  dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
  int answer = 0;
  QTimer::singleShot(0, &dialog, [&] {
    answer = platform::messageBoxes().show("File existed already ! Overwirte?", "Welcome",
                                           platform::kMbYesNo);
    dialog.accept();
  });
  answerWith(QMessageBox::No);
  dialog.exec();
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.parent, &dialog);
  EXPECT_EQ(seen.transientParent, dialog.windowHandle());
  EXPECT_TRUE(seen.onTop) << "below a top-most owner";
  EXPECT_TRUE(seen.modal);
  EXPECT_EQ(answer, platform::kIdNo);
}

// Without a modal window the active one owns the box; with no window at all the box has no
// owner, and only its own style puts it on top.
TEST_F(MessageBoxOwnerTest, TheActiveWindowOwnsTheBoxOtherwiseNone) {
  answerWith(QMessageBox::Ok);
  EXPECT_EQ(platform::messageBoxes().show("Connect device failed !", "Velmora Network USB Utility",
                                          platform::kMbWarnTopMost),
            platform::kIdOk);
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.parent, nullptr);
  EXPECT_TRUE(seen.onTop);

  QWidget window;
  window.show();
  window.activateWindow();
  ASSERT_TRUE(test::pumpUntil([&] { return QApplication::activeWindow() == &window; }, 3000));
  seen = {};
  platform::messageBoxes().show("Connect device failed !", "Velmora Network USB Utility", platform::kMbOk);
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.parent, &window);
  EXPECT_EQ(seen.transientParent, window.windowHandle());
  EXPECT_FALSE(seen.onTop) << "a plain box of a plain window";
}

// A box that blocks nothing belongs to the modal window too, and goes with it.
TEST_F(MessageBoxOwnerTest, AModelessBoxBelongsToTheModalWindow) {
  auto dialog = std::make_unique<QDialog>();
  dialog->setWindowFlag(Qt::WindowStaysOnTopHint);
  QPointer<QMessageBox> box;
  QTimer::singleShot(0, dialog.get(), [&] {
    platform::messageBoxes().showModeless("Another user asks for the device.", "Velmora Network USB Utility",
                                          platform::kMbOk);
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
    dialog->accept();
  });
  dialog->exec();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->parentWidget(), dialog.get());
  EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  dialog.reset();
  EXPECT_FALSE(box) << "the box outlived its window";
}

}  // namespace
