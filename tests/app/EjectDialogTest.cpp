// The busy-storage question, answered as a person would: by mouse and by the keyboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/TEjectDeviceDlg.h"

namespace {

int argc = 1;
char programName[] = "test_gui";
char* argv[] = {programName, nullptr};

class EjectDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
  QPushButton* button(const char* text) {
    for (QPushButton* b : dlg.findChildren<QPushButton*>())
      if (b->text() == text) return b;
    return nullptr;
  }
  // Shows the dialog modally; `answer` runs inside its loop once it is up.
  bool showAndAnswer(const std::function<void()>& answer) {
    QTimer::singleShot(0, &dlg, [&] {
      QApplication::processEvents();
      answer();
    });
    return dlg.ShowModal();
  }
  app::TEjectDeviceDlg dlg;
};

// Cancel clicked once (it takes the keyboard focus), then the question again: Enter still means
// "Disconnect", and Escape "Cancel".
TEST_F(EjectDialogTest, DisconnectIsTheDefaultEveryTimeItOpens) {
  dlg.DeviceName = "SanDisk - Ultra";
  ASSERT_TRUE(button("Disconnect") && button("Cancel"));
  EXPECT_FALSE(showAndAnswer([&] { QTest::mouseClick(button("Cancel"), Qt::LeftButton); }));

  bool defaultWhenShown = false;
  EXPECT_TRUE(showAndAnswer([&] {
    defaultWhenShown = button("Disconnect")->isDefault() && !button("Cancel")->isDefault();
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &dlg, Qt::Key_Return);
  }));
  EXPECT_TRUE(defaultWhenShown);

  EXPECT_FALSE(showAndAnswer([&] {
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &dlg, Qt::Key_Escape);
  }));
}

}  // namespace
