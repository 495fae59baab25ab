#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTimer>

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

// A second start during the first one's start-up (its boxes' loops run, its window is not there
// yet) is taken at once, and served once the start-up lets go of the hold.
TEST_F(SingleInstanceTest, AHandOverDuringTheStartUpIsTakenAtOnceAndServedAfterIt) {
  app::SingleInstance first("Tarvex");
  ASSERT_TRUE(first.tryBecomeTheInstance());
  first.holdShows(true);
  int shown = 0;
  ASSERT_TRUE(first.listen([&](unsigned, unsigned l) { shown += l == 0x77; }));

  app::SingleInstance second("Tarvex");
  QElapsedTimer t;
  t.start();
  EXPECT_TRUE(second.handOver(0));
  EXPECT_LT(t.elapsed(), 1000);
  while (t.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);  // a box's loop
  EXPECT_EQ(shown, 0);
  first.holdShows(false);
  EXPECT_EQ(shown, 1);
  first.holdShows(false);
  EXPECT_EQ(shown, 1);
}

// The show request opens a box (its own loop) while the second start hangs up: the hand-over's
// socket is deleted inside that loop, and nothing reads it once the box is closed.
TEST_F(SingleInstanceTest, AShowThatOpensABoxOutlivesTheHandOversSocket) {
  app::SingleInstance first("Tarvex");
  ASSERT_TRUE(first.tryBecomeTheInstance());
  int shown = 0;
  bool socketGoneInTheBox = false;
  ASSERT_TRUE(first.listen([&](unsigned, unsigned) {
    ++shown;
    const auto sockets = first.findChildren<QLocalSocket*>();
    QEventLoop box;
    for (QLocalSocket* s : sockets)
      QObject::connect(s, &QObject::destroyed, &box, [&] { socketGoneInTheBox = true, box.quit(); });
    QTimer::singleShot(2000, &box, &QEventLoop::quit);  // a limit, never reached when it works
    box.exec();
  }));

  app::SingleInstance second("Tarvex");
  ASSERT_TRUE(second.handOver(1000));
  QElapsedTimer t;
  t.start();
  while (shown == 0 && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(socketGoneInTheBox);
  QCoreApplication::processEvents();
}

// What a local client may send: only whole, well-formed show requests show the window; a line
// that never ends is dropped with its connection.
TEST_F(SingleInstanceTest, OnlyWholeShowRequestsAreServed) {
  app::SingleInstance first("Tarvex");
  ASSERT_TRUE(first.tryBecomeTheInstance());
  std::vector<std::pair<unsigned, unsigned>> shown;
  ASSERT_TRUE(first.listen([&](unsigned w, unsigned l) { shown.emplace_back(w, l); }));
  const struct {
    QByteArray bytes;
    std::vector<std::pair<unsigned, unsigned>> shows;
  } cases[] = {
      {"465 77 77\n", {{0x77, 0x77}}},
      {"465 77 77", {}},                       // cut before its end of line
      {"465 77\n", {}},                        // a part missing
      {"465 77 77 1\n", {}},                   // one too many
      {"466 77 77\n", {}},                     // another message
      {"465 zz 77\n", {}},                     // not hexadecimal
      {"\n\n465 1 201\n", {{1, 0x201}}},
      {QByteArray(100000, 'x'), {}},           // no end of line at all
      {QByteArray(100000, 'x') + "\n465 77 77\n", {}},
      {QByteArray(70, 'x') + "465 77 77\n", {}},  // its tail is no request
  };
  for (const auto& c : cases) {
    shown.clear();
    QLocalSocket client;
    client.connectToServer(first.serverName());
    ASSERT_TRUE(client.waitForConnected(1000));
    client.write(c.bytes);
    ASSERT_TRUE(client.waitForBytesWritten(1000));
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 100) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    client.disconnectFromServer();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, c.shows) << c.bytes.left(40).toStdString();
  }
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
