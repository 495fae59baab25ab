// A real scanner through SANE, here SANE's own test backend (the only one its configuration
// names): listed as a TWAIN source by vendor and model, and a colour page at 150 dpi acquired
// through the same component as the network scanners.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/AppMessages.h"
#include "platform/Clock.h"
#include "platform/TwainManager.h"
#include "tests/scanning/DibCheck.h"
#include "scanning/TZELTWAIN.h"
#include "sim/InProcessScanners.h"
#include "sim/Scenario.h"
#include "sim/World.h"

namespace scanning::test {
namespace {

namespace fs = std::filesystem;
namespace tw = platform::twain;

std::string run(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    ::pclose(p);
  }
  return out;
}

// Keeps each page the component hands over, and frees its block.
std::function<void(TZELTWAIN*)> keepPage(std::vector<std::uint8_t>& page) {
  return [&page](TZELTWAIN* t) {
    if (const platform::HGLOBAL h = t->GetBmpHandle()) {
      const auto* b = static_cast<const std::uint8_t*>(platform::GlobalLock(h));
      page.assign(b, b + platform::GlobalSize(h));
      platform::GlobalUnlock(h);
      platform::GlobalFree(h);
    }
  };
}

class SaneSource : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Before SANE starts: only the test backend, so no network probe runs.
    char pattern[] = "/tmp/tarvex-sane-XXXXXX";
    configDir() = ::mkdtemp(pattern);
    std::ofstream(configDir() + "/dll.conf") << "test\n";
    // Resolutions in steps of 75, as many scanners have them.
    std::ofstream(configDir() + "/test.conf")
        << "number_of_devices 1\ntest-picture \"Color pattern\"\n"
        << "resolution_min 75.0\nresolution_max 1200.0\nresolution_quant 75.0\nresolution 75.0\n";
    ::setenv("SANE_CONFIG_DIR", configDir().c_str(), 1);
  }
  static void TearDownTestSuite() { fs::remove_all(configDir()); }
  static std::string& configDir() {
    static std::string dir;
    return dir;
  }

  void SetUp() override {
    ::setenv("TARVEX_SIM_DIR", configDir().c_str(), 1);
    auto scenario = sim::parseScenario(R"({"hosts": [{"name": "SCAN-PC", "ip": "10.0.0.1", "sane": true},
                                                     {"name": "PLAIN-PC", "ip": "10.0.0.2"}]})");
    ASSERT_TRUE(scenario.setup) << scenario.error;
    world_ = std::make_unique<sim::World>(*scenario.setup, clock_);
  }
  void TearDown() override {
    tw::setSourceProviders({});
    while (platform::processMessages() > 0) {
    }
  }

  std::vector<std::string> sourcesOf(const std::string& host) {
    tw::setSourceProviders({sim::makeInProcessScannerProvider(*world_, host)});
    TZELTWAIN twain;
    twain.InitTWAIN();
    std::vector<std::string> names;
    TW_IDENTITY id{};
    for (auto rc = twain.CallDataSourceManager(nullptr, tw::DG_CONTROL, tw::DAT_IDENTITY, tw::MSG_GETFIRST, &id);
         rc == tw::TWRC_SUCCESS;
         rc = twain.CallDataSourceManager(nullptr, tw::DG_CONTROL, tw::DAT_IDENTITY, tw::MSG_GETNEXT, &id))
      names.push_back(tw::str32(id.ProductName));
    return names;
  }

  // The component started on the host's first source, whose window opens.
  static void acquireFirstSource(TZELTWAIN& twain) {
    twain.InitTWAIN();
    TW_IDENTITY id{};
    ASSERT_EQ(twain.CallDataSourceManager(nullptr, tw::DG_CONTROL, tw::DAT_IDENTITY, tw::MSG_GETFIRST, &id),
              tw::TWRC_SUCCESS);
    twain.SetDataSource(id);
    twain.Acquire(nullptr);
  }

  platform::ManualClock clock_;
  std::unique_ptr<sim::World> world_;
};

TEST_F(SaneSource, TheTestBackendIsListedOnlyWhereTheHostSaysSo) {
  const auto names = sourcesOf("SCAN-PC");
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names[0], "Noname frontend-tester");
  EXPECT_TRUE(sourcesOf("PLAIN-PC").empty());
}

TEST_F(SaneSource, AColourPageAt150DpiComesAsABottomUpBgrDib) {
  tw::setSourceProviders({sim::makeInProcessScannerProvider(*world_, "SCAN-PC")});
  TZELTWAIN twain;
  twain.setShowUI(false);
  std::vector<std::uint8_t> page;
  int cancels = 0;
  twain.OnScanStart = [](TZELTWAIN* t) {
    TW_IMAGEINFO info{};
    info.XResolution = info.YResolution = tw::fix32FromDpi(150);
    EXPECT_TRUE(t->SetImageInfo(info));
    t->GetImageInfo(info);
    EXPECT_EQ(tw::dpiFromFix32(info.XResolution), 150);
    EXPECT_EQ(info.BitsPerPixel, 24);
    EXPECT_EQ(info.PixelType, tw::TWPT_RGB);
  };
  twain.OnScanReady = keepPage(page);
  twain.OnScanCancel = [&](TZELTWAIN*) { ++cancels; };
  acquireFirstSource(twain);
  ASSERT_TRUE(twain.IsDataSourceEnabled());
  platform::processMessages();
  EXPECT_EQ(cancels, 0);
  const auto layout = layoutOf(page);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->bitCount, 24);
  EXPECT_FALSE(layout->topDown);
  EXPECT_EQ(yPelsPerMeter(page), 5906u);
  EXPECT_FALSE(twain.IsDataSourceOpen());

  // Saved as the scanning window saves a page: the DIB as a bitmap file, then as JPEG at quality
  // 75 with its resolution in the JFIF header.
  const std::string out = std::string(TARVEX_BIN_DIR) + "/../test-output/scanning";
  fs::create_directories(out);
  const std::string bmp = out + "/sane-page.bmp", jpg = out + "/sane-page.jpg";
  fs::remove(bmp);  // the writers make their files anew, never over one that is there
  fs::remove(jpg);
  ASSERT_EQ(WriteDibToFile(page.data(), page.size(), bmp), 0);
  const auto picture = BmpPicture::Load(bmp);
  ASSERT_TRUE(picture);
  ASSERT_TRUE(SaveJpeg(picture->rows(), jpg, kJpegQuality));
  ASSERT_TRUE(WriteJpegResolution(jpg, 150));

  // Outside readers: the same page as SANE's own scanner command reads it, not one pixel apart;
  // the JPEG decodes and says 150 dpi.
  const std::string reference = out + "/sane-reference.pnm";
  run("scanimage -d test:0 --mode Color --resolution 150 --format=pnm > " + reference);
  EXPECT_EQ(run("compare -metric AE " + reference + " " + bmp + " null: 2>&1"), "0");
  const std::string size = std::to_string(layout->width) + " " + std::to_string(layout->height);
  EXPECT_EQ(run("identify -units PixelsPerInch -format '%w %h %[type] %x %y' " + jpg),
            size + " TrueColor 150 150");
  EXPECT_EQ(run("djpeg -pnm " + jpg + " | identify -format '%w %h' -"), size);
}

// A resolution between the scanner's steps is refused, so that what the page reports is what the
// scanner applied; a step is taken.
TEST_F(SaneSource, AResolutionBetweenTheStepsIsRefused) {
  tw::setSourceProviders({sim::makeInProcessScannerProvider(*world_, "SCAN-PC")});
  TZELTWAIN twain;
  twain.setShowUI(false);
  std::vector<int> reported;
  std::vector<std::uint8_t> page;
  twain.OnScanStart = [&](TZELTWAIN* t) {
    TW_IMAGEINFO info{};
    for (int dpi : {300, 110}) {
      info.XResolution = info.YResolution = tw::fix32FromDpi(dpi);
      EXPECT_EQ(t->SetImageInfo(info), dpi == 300) << dpi;
      t->GetImageInfo(info);
      reported.push_back(tw::dpiFromFix32(info.XResolution));
    }
  };
  twain.OnScanReady = keepPage(page);
  acquireFirstSource(twain);
  platform::processMessages();
  EXPECT_EQ(reported, (std::vector<int>{300, 300}));
  ASSERT_FALSE(page.empty());
  EXPECT_EQ(yPelsPerMeter(page), 11811u);  // scanned at the 300 it reported
}

}  // namespace
}  // namespace scanning::test
