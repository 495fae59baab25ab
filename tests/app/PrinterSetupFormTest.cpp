// The printer set-up dialog over the demo office's spooler, drawn for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

#include "app/Dialogs.h"
#include "app/TPrinterSetupForm.h"
#include "core/NetInfo.h"
#include "platform/Clock.h"
#include "sim/InProcessPrintSpooler.h"
#include "sim/Scenario.h"
#include "sim/World.h"

namespace {

struct Boxes : app::MessageBoxes {
  std::vector<std::string> shown;
  int show(const std::string& text, const std::string&, unsigned) override {
    shown.push_back(text);
    return app::kIdOk;
  }
  void showModeless(const std::string& text, const std::string&, unsigned) override {
    shown.push_back(text);
  }
};

class PrinterSetupForm : public ::testing::Test {
 protected:
  // One application for every test of the program (a second one is not allowed).
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
  platform::ManualClock clock;
  sim::World world{*sim::loadScenarioFile(TARVEX_SOURCE_DIR "/sim/scenarios/demo.json").setup, clock};
  std::unique_ptr<platform::PrintSpooler> spooler = sim::makeInProcessPrintSpooler(world, "OFFICE-PC");
  Boxes boxes;

  void SetUp() override {
    platform::setPrintSpooler(spooler.get());
    app::setMessageBoxes(&boxes);
  }
  void TearDown() override {
    app::setMessageBoxes(nullptr);
    platform::setPrintSpooler(nullptr);
  }
};

QStringList column(QTreeWidget& list, int c) {
  QStringList out;
  for (int i = 0; i < list.topLevelItemCount(); ++i) out << list.topLevelItem(i)->text(c);
  return out;
}

TEST_F(PrinterSetupForm, ListsTheQueuesWithTheBoundOnesLastAndSetsAPort) {
  app::TPrinterSetupForm form(core::kWin6x | core::kWin5xOr6x,
                              [] { return std::vector<std::string>{"Brother HL-L2350DW series"}; });
  form.show();
  QTreeWidget& list = form.PrinterListView();
  EXPECT_EQ(column(list, 0), (QStringList{"Kyocera ECOSYS P2040dn", "EPSON ET-2750 Series (serial)",
                                          "Samsung M2020 Series (network)", "HP OfficeJet Pro 9010 Fax",
                                          "Brother HL-L2350DW series"}));
  EXPECT_EQ(column(list, 2), (QStringList{"0", "7", "3", "0", "90"}));
  EXPECT_EQ(form.windowTitle(), "Tarvex Velmora Network USB Utility - Printer Setup");
  auto* setPort = form.findChild<QPushButton*>("SetPortBtn");
  ASSERT_NE(setPort, nullptr);
  EXPECT_FALSE(setPort->isEnabled());
  EXPECT_TRUE(form.findChild<QPushButton*>("AddNewPrinterBtn")->isVisible());
  EXPECT_FALSE(form.findChild<QPushButton*>("DeleteJobsBitBtn")->isVisible());

  const QString dir = QString(TARVEX_BIN_DIR) + "/../test-output/windows";
  QDir().mkpath(dir);
  EXPECT_TRUE(form.grab().save(dir + "/TPrinterSetupForm.png"));

  list.setCurrentItem(list.topLevelItem(0));
  EXPECT_TRUE(setPort->isEnabled());
  form.setup().portText = "LPT2:";
  setPort->click();
  EXPECT_EQ(boxes.shown, (std::vector<std::string>{"Success in setting port to printer !"}));
  EXPECT_EQ(list.topLevelItem(0)->text(1), "LPT2:");
  EXPECT_EQ(world.state().hosts[0].host.queues[4].port, "LPT2:");

  list.header()->sectionClicked(0);
  EXPECT_EQ(column(list, 0).front(), "Brother HL-L2350DW series") << "sorted by name";
}

}  // namespace
