// The saving progress window, rendered for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "ScanFixtures.h"
#include "scanning/TSaveFileFm.h"

namespace {

int argc = 1;
char programName[] = "test_scanning_gui";
char* argv[] = {programName, nullptr};

TEST(TSaveFileFm, LooksAsItShould) {
  if (!QApplication::instance()) new QApplication(argc, argv);
  scanning::TSaveFileFm form;
  form.ShowOver(nullptr);
  EXPECT_EQ(form.windowTitle(), "Save to File...");
  EXPECT_EQ(form.size(), QSize(287, 71));
  EXPECT_FALSE(form.Timer1->isActive());
  EXPECT_EQ(form.Timer1->interval(), 200);
  EXPECT_GE(form.ProgressBar1->y(), form.height());  // below the visible area
  QStringList texts;
  for (QLabel* l : form.findChildren<QLabel*>())
    if (l->isVisible()) texts << l->text();
  EXPECT_TRUE(texts.contains("!!!  Saving Picture  !!!"));
  EXPECT_TRUE(texts.contains("Please wait a moment !"));
  EXPECT_TRUE(form.grab().save(QString::fromStdString(scantest::testOutput("windows") +
                                                       "/TSaveFileFm.png")));
}

}  // namespace
