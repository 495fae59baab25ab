#pragma once
// A data source whose pages, answers and failures a test writes down beforehand.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "platform/TwainManager.h"

namespace scanning::test {

namespace tw = platform::twain;

// A small bottom-up DIB of w x h at `bits` (1, 8 or 24), rows padded to 4 bytes.
inline std::vector<std::uint8_t> smallDib(int w, int h, int bits, int dpi) {
  const std::uint32_t colours = bits <= 8 ? 1u << bits : 0;
  const std::uint32_t row = ((static_cast<std::uint32_t>(w) * bits + 31) / 32) * 4;
  std::vector<std::uint8_t> dib(40 + 4 * colours + row * static_cast<std::uint32_t>(h), 0x80);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put32(0, 40);
  put32(4, static_cast<std::uint32_t>(w));
  put32(8, static_cast<std::uint32_t>(h));
  dib[12] = 1;
  dib[13] = 0;
  dib[14] = static_cast<std::uint8_t>(bits);
  dib[15] = 0;
  put32(16, 0);
  put32(20, row * static_cast<std::uint32_t>(h));
  put32(24, static_cast<std::uint32_t>(dpi * 39.37 + 0.5));
  put32(28, static_cast<std::uint32_t>(dpi * 39.37 + 0.5));
  put32(32, 0);
  put32(36, 0);
  return dib;
}

struct Script {
  std::string name = "Scripted Scanner";
  std::vector<tw::PageDescription> pages{{40, 30, 24, 300, 300}};
  // What ENDXFER answers after each page; when shorter, the pages still left.
  std::vector<std::uint16_t> counts;
  int failingPage = -1;         // 0-based
  std::set<int> accepted;       // resolutions taken; empty: any
  bool refuseOpen = false;
  bool corruptDib = false;
  std::optional<tw::SourceWindowChoice> user;
  // What happens on the computer while the source's window is open, before page n (0-based)
  // is transferred.
  std::function<void(int page)> beforeTransfer;
};

// What the source saw, kept by the test after the manager dropped the source.
struct Seen {
  std::vector<int> resolutionsAsked;
  std::vector<int> transferredAt;
  int batchesEnded = 0;
  int opens = 0, closes = 0;
};

class ScriptedSource : public tw::Source {
 public:
  ScriptedSource(Script script, std::shared_ptr<Seen> seen)
      : Source(tw::makeIdentity(script.name, "Test Maker", "Test Family")),
        script_(std::move(script)), seen_(std::move(seen)) {}

  using Source::notify;

 protected:
  std::uint16_t openDevice() override {
    if (script_.refuseOpen) return tw::TWCC_OPERATIONERROR;
    ++seen_->opens;
    next_ = 0;
    return tw::TWCC_SUCCESS;
  }
  void closeDevice() override { ++seen_->closes; }
  bool acceptsResolution(int dpi) const override {
    seen_->resolutionsAsked.push_back(dpi);
    return script_.accepted.empty() || script_.accepted.contains(dpi);
  }
  int defaultResolution() const override { return script_.pages.front().xDpi; }
  std::optional<tw::PageDescription> nextPage(int, std::uint16_t& condition) override {
    if (next_ >= script_.pages.size()) {
      condition = tw::TWCC_SEQERROR;
      return std::nullopt;
    }
    return script_.pages[next_];
  }
  tw::PageTransfer transferPage(int dpi) override {
    tw::PageTransfer t;
    const int page = static_cast<int>(next_);
    if (script_.beforeTransfer) script_.beforeTransfer(page);
    if (page == script_.failingPage || next_ >= script_.pages.size()) {
      t.condition = tw::TWCC_PAPERJAM;
      return t;
    }
    const tw::PageDescription& p = script_.pages[next_];
    const int at = dpi ? dpi : p.xDpi;
    seen_->transferredAt.push_back(at);
    t.rc = tw::TWRC_XFERDONE;
    t.dib = smallDib(p.width, p.height, p.bitsPerPixel, at);
    if (script_.corruptDib) t.dib.resize(t.dib.size() / 2);
    return t;
  }
  std::uint16_t pendingAfterPage() override {
    const std::size_t done = next_++;
    if (done < script_.counts.size()) return script_.counts[done];
    return static_cast<std::uint16_t>(script_.pages.size() - std::min(next_, script_.pages.size()));
  }
  void endBatch() override { ++seen_->batchesEnded; }
  std::optional<tw::SourceWindowChoice> simulatedUser() const override { return script_.user; }

 private:
  Script script_;
  std::shared_ptr<Seen> seen_;
  std::size_t next_ = 0;
};

}  // namespace scanning::test
