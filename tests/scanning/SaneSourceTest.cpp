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
#include "scanning/Dib.h"
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

class SaneSource : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Before SANE starts: only the test backend, so no network probe runs.
    char pattern[] = "/tmp/tarvex-sane-XXXXXX";
    configDir() = ::mkdtemp(pattern);
    std::ofstream(configDir() + "/dll.conf") << "test\n";
    std::ofstream(configDir() + "/test.conf") << "number_of_devices 1\ntest-picture \"Color pattern\"\n";
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
  twain.OnScanReady = [&](TZELTWAIN* t) {
    if (const platform::HGLOBAL h = t->GetBmpHandle()) {
      const auto* b = static_cast<const std::uint8_t*>(platform::GlobalLock(h));
      page.assign(b, b + platform::GlobalSize(h));
      platform::GlobalUnlock(h);
      platform::GlobalFree(h);
    }
  };
  twain.OnScanCancel = [&](TZELTWAIN*) { ++cancels; };
  twain.InitTWAIN();
  TW_IDENTITY id{};
  ASSERT_EQ(twain.CallDataSourceManager(nullptr, tw::DG_CONTROL, tw::DAT_IDENTITY, tw::MSG_GETFIRST, &id),
            tw::TWRC_SUCCESS);
  twain.SetDataSource(id);
  twain.Acquire(nullptr);
  ASSERT_TRUE(twain.IsDataSourceEnabled());
  platform::processMessages();
  EXPECT_EQ(cancels, 0);
  const auto layout = ReadDibLayout(page);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->bitCount, 24);
  EXPECT_GT(layout->height, 0) << "bottom-up rows";
  EXPECT_EQ(layout->yPelsPerMeter, 5906u);
  EXPECT_FALSE(twain.IsDataSourceOpen());

  // An outside reader takes the page as a colour bitmap at 150 dpi.
  const std::string out = std::string(TARVEX_BIN_DIR) + "/../test-output/scanning";
  fs::create_directories(out);
  const std::string file = out + "/sane-page.bmp";
  std::vector<std::uint8_t> header(14, 0);
  const std::uint32_t size = 14 + layout->totalBytes, offset = 14 + layout->bitsOffset;
  header[0] = 'B';
  header[1] = 'M';
  for (int i = 0; i < 4; ++i) {
    header[2 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    header[10 + i] = static_cast<std::uint8_t>(offset >> (8 * i));
  }
  {
    std::ofstream f(file, std::ios::binary);
    f.write(reinterpret_cast<const char*>(header.data()), 14);
    f.write(reinterpret_cast<const char*>(page.data()), layout->totalBytes);
  }
  const std::string seen = run("identify -units PixelsPerInch -format '%w %h %[type] %x' " + file);
  EXPECT_EQ(seen.rfind(std::to_string(layout->width) + " " + std::to_string(layout->height) +
                           " TrueColor 150", 0),
            0u)
      << seen;
  // The same page as SANE's own scanner command reads it: not one pixel differs.
  const std::string reference = out + "/sane-reference.pnm";
  run("scanimage -d test:0 --mode Color --resolution 150 --format=pnm > " + reference);
  EXPECT_EQ(run("compare -metric AE " + reference + " " + file + " null: 2>&1"), "0");
}

}  // namespace
}  // namespace scanning::test
