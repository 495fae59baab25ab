#pragma once
// A network scanner of a simulated computer, as its scenario declares it: the TWAIN source's
// names, the shared device it belongs to, the pages on its glass, and how it behaves.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct SimScannerPage {
  std::uint32_t width = 850, height = 1100;  // pixels at the page's own resolution
  std::uint32_t bitsPerPixel = 24;           // 1, 8 or 24
  std::uint32_t dpi = 300;                   // what the source reports until told otherwise
};

enum class SimScannerUser : std::uint8_t {
  Person = 0,  // the source's window waits for a person
  Scan,        // a user presses Scan as soon as the window opens
  Close,       // a user closes the window instead
};

struct SimScanner {
  std::string product, manufacturer, family;
  std::string server;  // the shared device: its server's address and port
  std::uint32_t port = 1;
  std::vector<SimScannerPage> pages;
  std::vector<std::uint32_t> resolutions;  // those the source takes; empty: any from 50 to 1200
  std::vector<std::uint32_t> endXferCounts;  // what each page's end reports; missing: pages left
  std::uint32_t failingPage = 0;           // 1-based; 0: none fails
  SimScannerUser user = SimScannerUser::Person;
};

}  // namespace platform
