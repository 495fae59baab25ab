// The demo has a computer on the TWAIN road with a bound network scanner: the device maps to a
// scanner whose TWAIN source is the one its stored binding names, and that source exists there.
#include <gtest/gtest.h>

#include <strings.h>

#include <cstdio>

#include "core/DeviceMapping.h"
#include "platform/Clock.h"
#include "sim/Address.h"
#include "sim/PlugAndPlay.h"
#include "sim/Scenario.h"
#include "sim/World.h"
#include "support/TempRegistry.h"

namespace {

std::string hex4(unsigned v) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", v & 0xFFFF);
  return text;
}

bool twainRoad(const std::string& version) { return version == "5.0" || version == "4.0"; }

std::string seeded(const sim::Host& host, const std::string& name) {
  for (const sim::RegistrySeed& seed : host.registry)
    for (const auto& [n, v] : seed.values)
      if (n == name && !v.empty()) return v;
  return {};
}

TEST(DemoScanning, ATwainRoadComputerWithABoundNetworkScanner) {
  const auto loaded = sim::loadScenarioFile(TARVEX_SOURCE_DIR "/sim/scenarios/demo.json");
  ASSERT_TRUE(loaded.setup) << loaded.error;
  const sim::Host* host = nullptr;
  for (const sim::Host& h : loaded.setup->hosts)
    if (twainRoad(h.windowsVersion) && !h.scanners.empty()) host = &h;
  ASSERT_NE(host, nullptr) << "no computer takes the TWAIN road with a scanner";
  const platform::SimScanner& scanner = host->scanners.front();
  EXPECT_EQ(strcasecmp(seeded(*host, "ScanNameTwain").c_str(), scanner.product.c_str()), 0);

  // Its plug-and-play keys are there from the start: the device maps to that scanner.
  test::TempRegistry registry;
  platform::ManualClock clock;
  sim::WorldOptions options;
  const std::string name = host->name;
  options.plugAndPlay = [&registry, name](const sim::PlugAndPlayChange& change) {
    if (change.host == name) sim::recordPlugAndPlay(registry.get(), change);
  };
  sim::World world(*loaded.setup, clock, options);
  const sim::Device* device = nullptr;
  for (const sim::Server& s : loaded.setup->servers)
    for (const sim::Device& d : s.devices)
      if (sim::formatIpv4(s.ip) == scanner.server && d.port == scanner.port) device = &d;
  ASSERT_NE(device, nullptr);
  core::DeviceDriverInfo info;
  const core::UsbClassBits bits =
      core::FindDeviceQueues(hex4(device->vid), hex4(device->pid), device->serial, true, &info);
  EXPECT_TRUE(bits & core::ClassScanner) << bits;
  EXPECT_EQ(strcasecmp(info.TwainSource.c_str(), scanner.product.c_str()), 0) << info.TwainSource;
}

}  // namespace
