// The sources' own window in the Qt program: shown on enable, its Scan button starts the batch
// through Qt's event loop, and it is rendered for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>

#include "platform/TwainSourceDialog.h"
#include "scanning/TZELTWAIN.h"
#include "tests/scanning/ScriptedSource.h"

namespace scanning::test {
namespace {

int argc = 1;
char arg0[] = "test";
char* argv[] = {arg0, nullptr};

TEST(SourceDialog, ScanInTheWindowDeliversThePagesThroughTheEventLoop) {
  if (!QApplication::instance()) new QApplication(argc, argv);
  const QString dir = QString(TARVEX_BIN_DIR) + "/../test-output/windows";
  QDir().mkpath(dir);
  auto seen = std::make_shared<Seen>();
  Script script;
  script.name = "Velmora NetScan 3000";
  script.pages = std::vector<tw::PageDescription>(2, tw::PageDescription{40, 30, 24, 300, 300});
  tw::setSourceProviders({[script, seen] {
    std::vector<std::unique_ptr<tw::Source>> out;
    out.push_back(std::make_unique<ScriptedSource>(script, seen));
    return out;
  }});
  int pages = 0;
  {
    TZELTWAIN twain;
    twain.OnScanReady = [&](TZELTWAIN* t) {
      if (t->GetBmpHandle()) ++pages;
      platform::GlobalFree(t->GetBmpHandle());
    };
    twain.InitTWAIN();
    TW_IDENTITY id{};
    twain.CallDataSourceManager(nullptr, tw::DG_CONTROL, tw::DAT_IDENTITY, tw::MSG_GETFIRST, &id);
    twain.SetDataSource(id);
    twain.Acquire(nullptr);
    ASSERT_TRUE(twain.IsDataSourceEnabled());
    const auto dialogs = tw::openSourceDialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0]->windowTitle(), "Velmora NetScan 3000");
    EXPECT_TRUE(dialogs[0]->grab().save(dir + "/TwainSourceDialog.png"));
    QTest::mouseClick(dialogs[0]->scanButton(), Qt::LeftButton);
    for (int i = 0; i < 20 && pages < 2; ++i) QApplication::processEvents();
    EXPECT_EQ(pages, 2);
    EXPECT_FALSE(twain.IsDataSourceOpen());
    QApplication::processEvents();
    EXPECT_TRUE(tw::openSourceDialogs().empty());
  }
  tw::setSourceProviders({});
  tw::setSourceWindows(nullptr);
  platform::setMessageWakeHook(nullptr);
}

}  // namespace
}  // namespace scanning::test
