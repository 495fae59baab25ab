// The TWAIN component over the source manager with scripted sources: the transfer loop and its
// events, the notifications through the application's messages, the resolution negotiation, and
// the component's identity, properties and failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "platform/AppMessages.h"
#include "platform/GlobalMemory.h"
#include "scanning/TZELTWAIN.h"
#include "tests/scanning/ScriptedSource.h"

namespace scanning::test {
namespace {

namespace fs = std::filesystem;
using namespace platform::twain;

// Stands in for the sources' windows: the test presses their buttons.
class TestWindows : public SourceWindows {
 public:
  int open(const SourceWindowInfo& info, std::function<void(SourceWindowChoice)> answer) override {
    shownFor = info.productName;
    parent = info.parent;
    answer_ = std::move(answer);
    return ++opened;
  }
  void close(int) override { ++closed; }
  void press(SourceWindowChoice choice) { answer_(choice); }
  int opened = 0, closed = 0;
  std::string shownFor;
  std::uint32_t parent = 0;

 private:
  std::function<void(SourceWindowChoice)> answer_;
};

// What the events reported, page by page.
struct Events {
  std::vector<platform::HGLOBAL> ready;
  std::vector<bool> lastPage;
  int starts = 0, cancels = 0, closes = 0;
};

// How many of one message posted to a window of the program's own reach it through the loop.
int postedMessagesDelivered() {
  int delivered = 0;
  const std::uint32_t window = platform::createMessageWindow([&](const platform::AppMessage&) { ++delivered; });
  platform::postMessage({window, 0x0400, 0, 0});
  platform::processMessages();
  platform::destroyMessageWindow(window);
  return delivered;
}

class TwainLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tarvex-twain-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    ::setenv("TARVEX_SIM_DIR", dir_.c_str(), 1);
    ::setenv("TARVEX_HOST", "SCAN-PC", 1);
    setSourceWindows(&windows_);
    blocksBefore_ = platform::GlobalBlockCount();
  }
  void TearDown() override {
    twain_.reset();
    setSourceProviders({});
    setSourceWindows(nullptr);
    while (platform::processMessages() > 0) {
    }
    EXPECT_EQ(platform::GlobalBlockCount(), blocksBefore_) << "a picture block was not freed";
    fs::remove_all(dir_);
  }

  // Installs one scripted source and a component bound to it, with events that free each page.
  void start(Script script) {
    setSourceProviders({[script, seen = seen_] {
      std::vector<std::unique_ptr<Source>> out;
      out.push_back(std::make_unique<ScriptedSource>(script, seen));
      return out;
    }});
    twain_ = std::make_unique<TZELTWAIN>();
    twain_->OnScanStart = [this](TZELTWAIN*) {
      ++events_.starts;
      if (onStart) onStart(*twain_);
    };
    twain_->OnScanReady = [this](TZELTWAIN* t) {
      events_.ready.push_back(t->GetBmpHandle());
      events_.lastPage.push_back(t->IsLastPage());
      if (t->GetBmpHandle()) platform::GlobalFree(t->GetBmpHandle());
    };
    twain_->OnScanCancel = [this](TZELTWAIN*) { ++events_.cancels; };
    twain_->OnScanClose = [this](TZELTWAIN*) { ++events_.closes; };
    twain_->InitTWAIN();
    TW_IDENTITY id{};
    ASSERT_EQ(twain_->CallDataSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id),
              TWRC_SUCCESS);
    twain_->SetDataSource(id);
  }

  // Acquire, the user presses Scan, the application takes its messages.
  void scan() {
    twain_->Acquire(nullptr);
    ASSERT_TRUE(twain_->IsDataSourceEnabled());
    windows_.press(SourceWindowChoice::Scan);
    platform::processMessages();
  }

  fs::path dir_;
  TestWindows windows_;
  std::shared_ptr<Seen> seen_ = std::make_shared<Seen>();
  std::unique_ptr<TZELTWAIN> twain_;
  Events events_;
  std::function<void(TZELTWAIN&)> onStart;
  std::size_t blocksBefore_ = 0;
};

std::vector<PageDescription> pages(int n, int bits = 24) {
  return std::vector<PageDescription>(n, PageDescription{40, 30, bits, 300, 300});
}

TEST_F(TwainLoop, UnknownCountsKeepTheBatchGoingUntilTheSourceSaysNone) {
  Script s;
  s.pages = pages(3);
  s.counts = {0xFFFF, 0xFFFF, 0};
  start(s);
  scan();
  ASSERT_EQ(events_.ready.size(), 3u);
  for (platform::HGLOBAL h : events_.ready) EXPECT_NE(h, 0u);
  EXPECT_EQ(events_.lastPage, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(events_.cancels, 0);
  EXPECT_FALSE(twain_->IsDataSourceEnabled());
  EXPECT_FALSE(twain_->IsDataSourceOpen());
  EXPECT_TRUE(twain_->IsDataSourceManagerOpen());
  EXPECT_EQ(windows_.closed, 1);
  EXPECT_EQ(seen_->closes, 1);
}

TEST_F(TwainLoop, CancelInScanStartTransfersNothingAndResetsThePendingPages) {
  Script s;
  s.pages = pages(3);
  start(s);
  onStart = [this](TZELTWAIN& t) {
    if (events_.starts == 2) t.SetCanel(true);
  };
  scan();
  EXPECT_EQ(events_.ready.size(), 1u) << "no ScanReady for the cancelled page";
  EXPECT_EQ(seen_->transferredAt.size(), 1u);
  EXPECT_TRUE(twain_->IsLastPage());
  EXPECT_EQ(seen_->batchesEnded, 1);
  EXPECT_EQ(events_.cancels, 0) << "ScanCancel follows only a failed transfer";
  EXPECT_FALSE(twain_->IsDataSourceOpen());
}

TEST_F(TwainLoop, AFailedTransferMidBatchReportsAnEmptyPageThenCancels) {
  Script s;
  s.pages = pages(3);
  s.counts = {0xFFFF, 0xFFFF, 0xFFFF};
  s.failingPage = 1;
  start(s);
  scan();
  ASSERT_EQ(events_.ready.size(), 2u);
  EXPECT_NE(events_.ready[0], 0u);
  EXPECT_EQ(events_.ready[1], 0u);
  EXPECT_TRUE(events_.lastPage[1]);
  EXPECT_EQ(seen_->batchesEnded, 1);
  EXPECT_EQ(events_.cancels, 1);
  EXPECT_FALSE(twain_->IsDataSourceOpen());
}

TEST_F(TwainLoop, APictureThatIsNoWholeDibCountsAsAFailedTransfer) {
  Script s;
  s.corruptDib = true;
  start(s);
  scan();
  ASSERT_EQ(events_.ready.size(), 1u);
  EXPECT_EQ(events_.ready[0], 0u);
  EXPECT_EQ(events_.cancels, 1);
  // TearDown checks that the refused block was freed.
}

TEST_F(TwainLoop, CloseRequestFromTheSourcesWindowClosesItAndTellsTheOwner) {
  start(Script{});
  twain_->Acquire(nullptr);
  windows_.press(SourceWindowChoice::Close);
  platform::processMessages();
  EXPECT_EQ(events_.closes, 1);
  EXPECT_TRUE(events_.ready.empty());
  EXPECT_FALSE(twain_->IsDataSourceEnabled());
  EXPECT_FALSE(twain_->IsDataSourceOpen());
}

TEST_F(TwainLoop, CloseOkClosesTheSourceWithoutAnEvent) {
  ScriptedSource* source = nullptr;
  setSourceProviders({[&source, seen = seen_] {
    std::vector<std::unique_ptr<Source>> out;
    auto s = std::make_unique<ScriptedSource>(Script{}, seen);
    source = s.get();
    out.push_back(std::move(s));
    return out;
  }});
  twain_ = std::make_unique<TZELTWAIN>();
  int closes = 0;
  twain_->OnScanClose = [&](TZELTWAIN*) { ++closes; };
  twain_->InitTWAIN();
  TW_IDENTITY id{};
  twain_->CallDataSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id);
  twain_->SetDataSource(id);
  twain_->Acquire(nullptr);
  ASSERT_NE(source, nullptr);
  source->notify(MSG_CLOSEDSOK);
  platform::processMessages();
  EXPECT_EQ(closes, 0);
  EXPECT_FALSE(twain_->IsDataSourceOpen());
}

TEST_F(TwainLoop, OneBatchPerEnableAndASecondAcquireScansAgain) {
  Script s;
  s.pages = pages(1);
  start(s);
  scan();
  windows_.press(SourceWindowChoice::Scan);  // a late press after the batch: nothing
  platform::processMessages();
  EXPECT_EQ(events_.ready.size(), 1u);
  scan();
  EXPECT_EQ(events_.ready.size(), 2u);
}

TEST_F(TwainLoop, WithoutItsWindowTheSourceStartsAtOnce) {
  start(Script{});
  twain_->setShowUI(false);
  twain_->Acquire(nullptr);
  EXPECT_EQ(windows_.opened, 0);
  platform::processMessages();
  EXPECT_EQ(events_.ready.size(), 1u);
}

TEST_F(TwainLoop, AFailedOpenLeavesTheSourceClosedAndTheProgramsMessagesFlowing) {
  Script s;
  s.refuseOpen = true;
  start(s);
  twain_->Acquire(nullptr);
  EXPECT_FALSE(twain_->IsDataSourceOpen());
  EXPECT_FALSE(twain_->IsDataSourceEnabled());
  EXPECT_EQ(postedMessagesDelivered(), 1);
}

TEST_F(TwainLoop, AnOpenSourceLetsOtherMessagesThrough) {
  start(Script{});
  twain_->Acquire(nullptr);
  ASSERT_TRUE(twain_->IsDataSourceEnabled());
  EXPECT_EQ(postedMessagesDelivered(), 1);
}

TEST_F(TwainLoop, WithoutAWindowForTheSourceItIsNotEnabled) {
  start(Script{});
  setSourceWindows(nullptr);
  twain_->Acquire(nullptr);
  EXPECT_TRUE(twain_->IsDataSourceOpen());
  EXPECT_FALSE(twain_->IsDataSourceEnabled());
}

TEST_F(TwainLoop, TheSimulatedUserClosesTheWindow) {
  Script s;
  s.user = SourceWindowChoice::Close;
  start(s);
  twain_->Acquire(nullptr);
  platform::processMessages();
  EXPECT_EQ(windows_.opened, 0);
  EXPECT_EQ(events_.closes, 1);
}

TEST_F(TwainLoop, TheApplicationIdentityReachesTheManager) {
  start(Script{});
  // A copy: the packed record's fields are not aligned for the checks' references.
  const TW_IDENTITY id = twain_->ApplicationIdentity();
  EXPECT_EQ(std::uint16_t{id.ProtocolMajor}, 1);
  EXPECT_EQ(std::uint16_t{id.ProtocolMinor}, 7);
  EXPECT_EQ(std::uint32_t{id.SupportedGroups}, 3u);
  EXPECT_NE(std::uint32_t{id.Id}, 0u);
  EXPECT_EQ(str32(id.ProductName), "ZELTwain module");
  EXPECT_EQ(str32(id.Version.Info), "Twain component");
  EXPECT_EQ(id.Version.Language, 13);
  EXPECT_EQ(id.Version.Country, 1);
  // The enumerated source identity is whole: what SetDataSource copied names the source.
  EXPECT_EQ(str32(twain_->DataSource().ProductName), "Scripted Scanner");
  EXPECT_EQ(str32(twain_->DataSource().Manufacturer), "Test Maker");
}

TEST(TwainComponent, Properties) {
  TZELTWAIN t;
  t.setProductname(std::string(40, 'x') );
  EXPECT_EQ(t.Productname(), std::string(32, 'x'));
  t.setFileFormat(static_cast<TImageType>(12));
  EXPECT_EQ(t.FileFormat(), ffBMP);
  EXPECT_EQ(t.Filename(), "C:\\TWAIN.BMP");
  t.setFilename(std::string(300, 'f'));
  EXPECT_EQ(t.Filename().size(), 255u);
  t.setLanguage(lgRussian);
  EXPECT_EQ(t.ApplicationIdentity().Version.Language, 78);
  t.setLanguage(static_cast<TLanguageType>(16));
  EXPECT_EQ(t.Language(), lgRussian);
  t.setCountry(ctFinland);
  EXPECT_EQ(t.ApplicationIdentity().Version.Country, 358);
  EXPECT_EQ(t.Country(), ctFinland);
  EXPECT_TRUE(t.ShowUI());
}

TEST(TwainComponent, ConditionTexts) {
  EXPECT_EQ(TZELTWAIN::Condition2String(0), "Operation was succesful.");
  EXPECT_EQ(TZELTWAIN::Condition2String(21), "Transfer failed because of a feeder error");
  EXPECT_EQ(TZELTWAIN::Condition2String(7), "Unknown condition 0007");
  EXPECT_EQ(TZELTWAIN::Condition2String(0x1234), "Unknown condition 1234");
  EXPECT_EQ(TZELTWAIN::Condition2String(4),
            "Data Source is connected to maximum supported number of \r\napplications.");
}

TEST_F(TwainLoop, ClosingTheManagerWhileTheSourceIsOpenIsRefused) {
  start(Script{});
  twain_->Acquire(nullptr);
  try {
    twain_->CloseDataSourceManager();
    FAIL() << "no error";
  } catch (const ETwainError& e) {
    EXPECT_STREQ(e.what(), _ERR_DSM_OPEN);
  }
  EXPECT_TRUE(twain_->IsDataSourceManagerOpen());
}

TEST_F(TwainLoop, WithoutTheManagerOpeningFailsWithItsMessage) {
  setManagerInstalled(false);
  TZELTWAIN t;
  try {
    t.InitTWAIN();
    FAIL() << "no error";
  } catch (const ETwainError& e) {
    EXPECT_STREQ(e.what(), _ERR_TWAIN_NOT_LOADED);
  }
  setManagerInstalled(true);
}

// FormCreate's try finds no manager; Scan Now's retry starts it. The second start must not hook
// the message loop again, which would chain the hook to itself.
TEST_F(TwainLoop, ARepeatedStartIsHarmless) {
  setManagerInstalled(false);
  TZELTWAIN t;
  EXPECT_THROW(t.InitTWAIN(), ETwainError);
  setManagerInstalled(true);
  t.InitTWAIN();
  t.InitTWAIN();
  EXPECT_TRUE(t.IsDataSourceManagerOpen());
  EXPECT_EQ(postedMessagesDelivered(), 1);
}

// The source's window belongs to the window its owner names, and the source's notifications come
// through all the same.
TEST_F(TwainLoop, TheSourcesWindowHasTheParentItsOwnerNames) {
  start(Script{});
  twain_->Acquire(nullptr);
  EXPECT_EQ(windows_.parent, platform::applicationWindow());
  twain_->DisableDataSource();
  twain_->CloseDataSource();
  const std::uint32_t owner = platform::createMessageWindow({});
  twain_->setParentWindow(owner);
  scan();
  EXPECT_EQ(windows_.parent, owner);
  EXPECT_EQ(events_.ready.size(), 1u);
  platform::destroyMessageWindow(owner);
}

TEST_F(TwainLoop, DriverSearchFindsASourceFileAnywhereBelowTheTwainFolder) {
  const fs::path twainDir = fs::path(windowsDirectory()) / "TWAIN_32";
  fs::create_directories(twainDir / "maker" / "FOLDER.DS");
  EXPECT_FALSE(TZELTWAIN::IsTwainDriverAvailable()) << "a folder named .DS is no source";
  fs::create_directories(twainDir / "maker" / "model");
  std::ofstream(twainDir / "maker" / "model" / "scanner.ds") << "";
  EXPECT_TRUE(TZELTWAIN::IsTwainDriverAvailable());
}

TEST_F(TwainLoop, TheDefaultSourceEntryIsPutBack) {
  const fs::path ini = fs::path(windowsDirectory()) / "win.ini";
  fs::create_directories(ini.parent_path());
  std::ofstream(ini) << "[windows]\nload=\n[TWAIN]\nDEFAULT SOURCE=Old Scanner\n";
  start(Script{});
  twain_->SelectDataSource();
  EXPECT_EQ(str32(twain_->DataSource().ProductName), "Scripted Scanner");
  std::ofstream(ini) << "[TWAIN]\nDEFAULT SOURCE=Chosen\n";
  twain_->CloseDataSourceManager();
  std::ifstream in(ini);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("DEFAULT SOURCE=Old Scanner"), std::string::npos) << text;
}

// A FIFO where the system's settings file should be is neither read nor written: nothing waits.
TEST_F(TwainLoop, AFifoInPlaceOfTheSettingsFileMakesNothingWait) {
  const fs::path ini = fs::path(windowsDirectory()) / "win.ini";
  fs::create_directories(ini.parent_path());
  fs::remove(ini);
  ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0);
  start(Script{});
  twain_->SelectDataSource();
  twain_->CloseDataSourceManager();
  EXPECT_TRUE(fs::is_fifo(ini));
  fs::remove(ini);
}

}  // namespace
}  // namespace scanning::test
