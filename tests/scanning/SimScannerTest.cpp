// The simulated network scanners through the TWAIN component: a scenario's scanner scans only
// while its computer holds the device, with its pages, counts, failing page and user; the same
// sources over the simulated host's socket; the scenario's scanner keys.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/AppMessages.h"
#include "platform/Clock.h"
#include "platform/SimEnvironment.h"
#include "platform/SimScannerSources.h"
#include "platform/TwainManager.h"
#include "tests/scanning/DibCheck.h"
#include "scanning/TZELTWAIN.h"
#include "sim/InProcessScanners.h"
#include "sim/Scenario.h"
#include "sim/SimHostServer.h"
#include "sim/TwainFiles.h"
#include "sim/World.h"

namespace scanning::test {
namespace {

namespace fs = std::filesystem;
namespace tw = platform::twain;

const char* const kScenario = R"({
  "hosts": [
    {"name": "SCAN-PC", "ip": "192.168.1.10", "scanners": [
      {"product": "NetScan 3000", "manufacturer": "Velmora", "family": "NetScan",
       "device": {"server": "192.168.1.20", "port": 2},
       "pages": [{"width": 85, "height": 110, "bitsPerPixel": 24, "dpi": 300},
                 {"width": 85, "height": 110, "bitsPerPixel": 8, "dpi": 300},
                 {"width": 85, "height": 110, "bitsPerPixel": 1, "dpi": 300}],
       "endXferCounts": [65535, 65535, 0]},
      {"product": "NetScan Jam", "device": {"server": "192.168.1.20", "port": 2},
       "pages": [{}, {}, {}], "failingPage": 2, "user": "scan"},
      {"product": "NetScan Closed", "device": {"server": "192.168.1.20", "port": 2},
       "user": "close"},
      {"product": "NetScan Fine", "device": {"server": "192.168.1.20", "port": 2},
       "pages": [{"width": 200, "height": 100, "bitsPerPixel": 8, "dpi": 1200}],
       "resolutions": [300, 600, 1200], "user": "scan"}
    ]},
    {"name": "LAB-PC", "ip": "192.168.1.12"}
  ],
  "servers": [{"ip": "192.168.1.20", "mac": "00:1A:2B:3C:4D:5E", "name": "NUS",
    "devices": [{"port": 2, "vid": "04F9", "pid": "0042", "type": "MFP",
                 "holder": {"host": "SCAN-PC", "lockType": 1}}]}]
})";

const sim::Ipv4 kServer{192, 168, 1, 20};

class Windows : public tw::SourceWindows {
 public:
  int open(const tw::SourceWindowInfo&, std::function<void(tw::SourceWindowChoice)> answer) override {
    answer_ = std::move(answer);
    return ++opened;
  }
  void close(int) override {}
  void press(tw::SourceWindowChoice c) { answer_(c); }
  int opened = 0;

 private:
  std::function<void(tw::SourceWindowChoice)> answer_;
};

struct Page {
  std::vector<std::uint8_t> dib;
  bool last = false;
};

class SimScanners : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvex-simscan-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    ::setenv("TARVEX_SIM_DIR", dir_.c_str(), 1);
    ::setenv("TARVEX_HOST", "SCAN-PC", 1);
    auto scenario = sim::parseScenario(kScenario);
    ASSERT_TRUE(scenario.setup) << scenario.error;
    setup_ = *scenario.setup;
    world_ = std::make_unique<sim::World>(setup_, clock_);
    tw::setSourceWindows(&windows_);
  }
  void TearDown() override {
    twain_.reset();
    tw::setSourceProviders({});
    tw::setSourceWindows(nullptr);
    while (platform::processMessages() > 0) {
    }
    fs::remove_all(dir_);
  }

  void useProvider(tw::SourceProvider provider) {
    tw::setSourceProviders({std::move(provider)});
    twain_ = std::make_unique<TZELTWAIN>();
    twain_->OnScanStart = [this](TZELTWAIN* t) {
      if (onStart) onStart(*t);
    };
    twain_->OnScanReady = [this](TZELTWAIN* t) {
      Page p;
      p.last = t->IsLastPage();
      if (const platform::HGLOBAL h = t->GetBmpHandle()) {
        const auto* b = static_cast<const std::uint8_t*>(platform::GlobalLock(h));
        p.dib.assign(b, b + platform::GlobalSize(h));
        platform::GlobalUnlock(h);
        platform::GlobalFree(h);
      }
      pages_.push_back(std::move(p));
    };
    twain_->OnScanCancel = [this](TZELTWAIN*) { ++cancels_; };
    twain_->OnScanClose = [this](TZELTWAIN*) { ++closes_; };
    twain_->InitTWAIN();
  }

  void choose(const std::string& product) {
    TW_IDENTITY id{};
    for (auto rc = twain_->CallDataSourceManager(nullptr, tw::DG_CONTROL, tw::DAT_IDENTITY,
                                                 tw::MSG_GETFIRST, &id);
         rc == tw::TWRC_SUCCESS;
         rc = twain_->CallDataSourceManager(nullptr, tw::DG_CONTROL, tw::DAT_IDENTITY,
                                            tw::MSG_GETNEXT, &id)) {
      if (tw::str32(id.ProductName) == product) {
        twain_->SetDataSource(id);
        return;
      }
    }
    FAIL() << "no source " << product;
  }

  std::string dir_;
  platform::ManualClock clock_;
  sim::WorldSetup setup_;
  std::unique_ptr<sim::World> world_;
  Windows windows_;
  std::unique_ptr<TZELTWAIN> twain_;
  std::vector<Page> pages_;
  int cancels_ = 0, closes_ = 0;
  std::function<void(TZELTWAIN&)> onStart;
};

std::string run(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    ::pclose(p);
  }
  return out;
}

// The page as a BMP file for `identify`, which reads back its size, depth and resolution.
std::string identify(const std::vector<std::uint8_t>& dib, const std::string& name) {
  const std::string out = std::string(TARVEX_BIN_DIR) + "/../test-output/scanning";
  fs::create_directories(out);
  const std::string file = out + "/" + name + ".bmp";
  fs::remove(file);  // the writers make their files anew, never over one that is there
  if (WriteDibToFile(dib.data(), dib.size(), file) != 0) return "not written";
  return run("identify -units PixelsPerInch -format '%w %h %[bit-depth] %x' " + file);
}

TEST_F(SimScanners, AHeldScannerGivesItsPagesWithTheirDepthsAndCounts) {
  useProvider(sim::makeInProcessScannerProvider(*world_, "SCAN-PC"));
  choose("NetScan 3000");
  EXPECT_EQ(tw::str32(twain_->DataSource().Manufacturer), "Velmora");
  twain_->Acquire(nullptr);
  ASSERT_TRUE(twain_->IsDataSourceEnabled());
  windows_.press(tw::SourceWindowChoice::Scan);
  platform::processMessages();
  ASSERT_EQ(pages_.size(), 3u);
  EXPECT_EQ(cancels_, 0);
  const int bits[] = {24, 8, 1};
  const char* files[] = {"twain-page-24", "twain-page-8", "twain-page-1"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(pages_[i].last, i == 2);
    const auto d = layoutOf(pages_[i].dib);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->width, 85);
    EXPECT_EQ(d->height, 110);
    EXPECT_EQ(d->bitCount, bits[i]);
    EXPECT_EQ(d->colourEntries, bits[i] == 1 ? 2u : bits[i] == 8 ? 256u : 0u);
    const std::string seen = identify(pages_[i].dib, files[i]);
    EXPECT_EQ(seen.substr(0, 7), "85 110 ") << seen;
    EXPECT_NE(seen.find(" 300"), std::string::npos) << seen;
  }
}

TEST_F(SimScanners, AScannerWhoseDeviceIsNotHeldFailsToOpenAndLeavesTheProgramAlone) {
  ASSERT_EQ(world_->take("LAB-PC", kServer, 2, 2, 3600), "");
  useProvider(sim::makeInProcessScannerProvider(*world_, "SCAN-PC"));
  choose("NetScan 3000");
  twain_->Acquire(nullptr);
  EXPECT_FALSE(twain_->IsDataSourceOpen());
  EXPECT_FALSE(twain_->IsDataSourceEnabled());
  tw::TW_STATUS status{};
  twain_->CallDataSourceManager(nullptr, tw::DG_CONTROL, tw::DAT_STATUS, tw::MSG_GET, &status);
  EXPECT_EQ(status.ConditionCode, tw::TWCC_BUMMER);
  int delivered = 0;
  const auto window = platform::createMessageWindow([&](const platform::AppMessage&) { ++delivered; });
  platform::postMessage({window, 0x0400, 0, 0});
  platform::processMessages();
  EXPECT_EQ(delivered, 1);
  platform::destroyMessageWindow(window);
}

TEST_F(SimScanners, AHoldLostMidBatchFailsTheNextPage) {
  useProvider(sim::makeInProcessScannerProvider(*world_, "SCAN-PC"));
  choose("NetScan 3000");
  int starts = 0;
  onStart = [&](TZELTWAIN&) {
    if (++starts == 2) world_->release(kServer, 2);
  };
  twain_->Acquire(nullptr);
  windows_.press(tw::SourceWindowChoice::Scan);
  platform::processMessages();
  ASSERT_EQ(pages_.size(), 2u);
  EXPECT_FALSE(pages_[0].dib.empty());
  EXPECT_TRUE(pages_[1].dib.empty());
  EXPECT_EQ(cancels_, 1);
  EXPECT_FALSE(twain_->IsDataSourceOpen());
}

TEST_F(SimScanners, TheScenariosUserAndFailingPage) {
  useProvider(sim::makeInProcessScannerProvider(*world_, "SCAN-PC"));
  choose("NetScan Jam");
  twain_->Acquire(nullptr);
  platform::processMessages();
  EXPECT_EQ(windows_.opened, 0) << "the scenario's user needs no window";
  ASSERT_EQ(pages_.size(), 2u);
  EXPECT_TRUE(pages_[1].dib.empty());
  EXPECT_EQ(cancels_, 1);

  choose("NetScan Closed");
  twain_->Acquire(nullptr);
  platform::processMessages();
  EXPECT_EQ(closes_, 1);
  EXPECT_EQ(pages_.size(), 2u);
}

TEST_F(SimScanners, ALowerResolutionGivesFewerPixelsAndSaysSo) {
  useProvider(sim::makeInProcessScannerProvider(*world_, "SCAN-PC"));
  choose("NetScan Fine");
  onStart = [](TZELTWAIN& t) {
    TW_IMAGEINFO info{};
    t.GetImageInfo(info);
    EXPECT_EQ(tw::dpiFromFix32(info.XResolution), 1200);
    info.XResolution = tw::fix32FromDpi(550);
    EXPECT_FALSE(t.SetImageInfo(info)) << "550 is not one the scanner takes";
    info.XResolution = tw::fix32FromDpi(300);
    EXPECT_TRUE(t.SetImageInfo(info));
    t.GetImageInfo(info);
    EXPECT_EQ(tw::dpiFromFix32(info.YResolution), 300);
    EXPECT_EQ(std::int32_t{info.ImageWidth}, 50);
  };
  twain_->Acquire(nullptr);
  platform::processMessages();
  ASSERT_EQ(pages_.size(), 1u);
  const auto d = layoutOf(pages_[0].dib);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->width, 50);
  EXPECT_EQ(d->height, 25);
  EXPECT_EQ(yPelsPerMeter(pages_[0].dib), 11811u);
}

TEST_F(SimScanners, TheSameSourcesOverTheSimulatedHostsSocket) {
  std::string error;
  auto listening = sim::listenUnix(platform::sim::socketPath(), error);
  ASSERT_TRUE(listening.valid()) << error;
  int stop[2];
  ASSERT_EQ(::pipe(stop), 0);
  std::thread server([this, s = std::move(listening), fd = stop[0]]() mutable {
    sim::SimHostServer(*world_, std::move(s), fd, 10).run();
  });
  useProvider(tw::simClientScannerProvider());
  choose("NetScan Jam");
  twain_->Acquire(nullptr);
  platform::processMessages();
  EXPECT_EQ(pages_.size(), 2u);
  EXPECT_EQ(cancels_, 1);
  const char b = 1;
  EXPECT_EQ(::write(stop[1], &b, 1), 1);
  server.join();
  ::close(stop[0]);
  ::close(stop[1]);
}

TEST_F(SimScanners, ScannersInstallTheirSourceFiles) {
  EXPECT_FALSE(TZELTWAIN::IsTwainDriverAvailable());
  ASSERT_TRUE(sim::writeTwainSourceFiles(setup_.hosts[1]));
  EXPECT_FALSE(TZELTWAIN::IsTwainDriverAvailable()) << "LAB-PC has no scanner";
  ASSERT_TRUE(sim::writeTwainSourceFiles(setup_.hosts[0]));
  EXPECT_TRUE(TZELTWAIN::IsTwainDriverAvailable());
}

TEST(ScannerScenario, FaultsAreNamedWithTheirPlace) {
  const std::string head = R"({"hosts": [{"name": "A", "ip": "10.0.0.1", "scanners": [)";
  const std::string tail =
      R"(]}], "servers": [{"ip": "10.0.0.2", "mac": "00:00:00:00:00:01", "name": "S",
         "devices": [{"port": 1, "vid": 1, "pid": 2}]}]})";
  const std::string device = R"("device": {"server": "10.0.0.2", "port": 1})";
  struct Case {
    const char* scanner;
    const char* error;
  };
  const std::string longName(33, 'n');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({"product": "P", "colour": 1, )" + device + "}",
       "hosts[0].scanners[0]: unknown key \"colour\""},
      {R"({"product": "P", "pages": [{"bitsPerPixel": 16}], )" + device + "}",
       "hosts[0].scanners[0].pages[0].bitsPerPixel: expected 1, 8 or 24"},
      {R"({"product": "P", "device": {"server": "10.0.0.2", "port": 3}})",
       "hosts[0].scanners[0].device: no server shares a device 10.0.0.2 port 3"},
      {R"({"product": ")" + longName + R"(", )" + device + "}",
       "hosts[0].scanners[0].product: longer than 32 bytes"},
      {R"({"product": "P", "user": "robot", )" + device + "}",
       "hosts[0].scanners[0].user: expected \"person\", \"scan\" or \"close\""},
      {R"({"product": "P", "failingPage": 2, )" + device + "}",
       "hosts[0].scanners[0].failingPage: expected an integer from 0 to 1"},
      {R"({"product": "P", "endXferCounts": [65536], )" + device + "}",
       "hosts[0].scanners[0].endXferCounts[0]: expected an integer from 0 to 65535"},
  };
  for (const auto& [scanner, error] : cases) {
    const auto r = sim::parseScenario(head + scanner + tail);
    EXPECT_FALSE(r.setup) << scanner;
    EXPECT_EQ(r.error, error);
  }
  const auto sane = sim::parseScenario(R"({"hosts": [{"name": "A", "ip": "10.0.0.1", "sane": true}]})");
  ASSERT_TRUE(sane.setup) << sane.error;
  EXPECT_TRUE(sane.setup->hosts[0].sane);
}

}  // namespace
}  // namespace scanning::test
