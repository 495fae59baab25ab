#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "app/SingleInstance.h"

namespace {

int argc = 1;
char name[] = "test_gui";
char* argv[] = {name, nullptr};

class SingleInstanceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
  void SetUp() override { qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8()); }
  QTemporaryDir runtime;
};

TEST_F(SingleInstanceTest, TheSecondStartHandsTheShowRequestToTheFirst) {
  app::SingleInstance first("Tarvex");
  ASSERT_TRUE(first.tryBecomeTheInstance());
  unsigned w = 0, l = 0;
  ASSERT_TRUE(first.listen([&](unsigned wp, unsigned lp) { w = wp, l = lp; }));

  app::SingleInstance second("Tarvex");
  EXPECT_FALSE(second.tryBecomeTheInstance());
  EXPECT_TRUE(second.handOver(1000));
  QElapsedTimer t;
  t.start();
  while (l == 0 && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(w, 0x77u);
  EXPECT_EQ(l, 0x77u);
}

TEST_F(SingleInstanceTest, TheLockIsFreeAgainOnceReleased) {
  {
    app::SingleInstance first("Tarvex");
    ASSERT_TRUE(first.tryBecomeTheInstance());
  }
  app::SingleInstance again("Tarvex");
  EXPECT_TRUE(again.tryBecomeTheInstance());
}

TEST_F(SingleInstanceTest, AHandOverToNobodyGivesUp) {
  app::SingleInstance lone("Tarvex");
  EXPECT_FALSE(lone.handOver(0));
}

}  // namespace
