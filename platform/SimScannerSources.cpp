#include "platform/SimScannerSources.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "platform/DibImage.h"
#include "platform/SimPage.h"
#include "platform/SaneSources.h"
#include "platform/SimEnvironment.h"

namespace platform::twain {
namespace {

namespace wire = simwire;

constexpr int kMinAnyDpi = 50, kMaxAnyDpi = 1200;

// A page of the scanner's glass in the depth the source scans at: grey as the page's luminance,
// line art black where that is below half.
void drawPage(DibImage& dib, std::uint32_t pageIndex) {
  const int w = dib.width(), h = dib.height();
  const int number = static_cast<int>(pageIndex) + 1;
  if (dib.bits() == 24) {
    for (int y = 0; y < h; ++y) SimPageRow(w, h, number, y, dib.row(y), true);
    return;
  }
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    SimPageRow(w, h, number, y, rgb.data());
    std::uint8_t* row = dib.row(y);
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* p = &rgb[3 * static_cast<std::size_t>(x)];
      const int grey = (299 * p[0] + 587 * p[1] + 114 * p[2]) / 1000;
      if (dib.bits() == 8) row[x] = static_cast<std::uint8_t>(grey);
      else if (grey >= 128) row[x / 8] = static_cast<std::uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
    }
  }
}

class SimScannerSource final : public Source {
 public:
  SimScannerSource(const SimScanner& scanner, std::uint32_t index, std::string host,
                   ScannerTransport transport)
      : Source(makeIdentity(scanner.product, scanner.manufacturer, scanner.family)),
        scanner_(scanner), index_(index), host_(std::move(host)), transport_(std::move(transport)) {}

 protected:
  TW_UINT16 openDevice() override {
    if (!held()) return TWCC_BUMMER;
    next_ = 0;
    return TWCC_SUCCESS;
  }

  bool acceptsResolution(int dpi) const override {
    if (scanner_.resolutions.empty()) return dpi >= kMinAnyDpi && dpi <= kMaxAnyDpi;
    return std::find(scanner_.resolutions.begin(), scanner_.resolutions.end(),
                     static_cast<std::uint32_t>(std::max(dpi, 0))) != scanner_.resolutions.end();
  }

  int defaultResolution() const override { return static_cast<int>(scanner_.pages.front().dpi); }

  std::optional<PageDescription> nextPage(int dpi, TW_UINT16& condition) override {
    if (next_ >= scanner_.pages.size()) {
      condition = TWCC_SEQERROR;
      return std::nullopt;
    }
    const SimScannerPage& p = scanner_.pages[next_];
    const int at = dpi > 0 ? dpi : static_cast<int>(p.dpi);
    PageDescription d;
    d.width = scaled(p.width, at, p.dpi);
    d.height = scaled(p.height, at, p.dpi);
    d.bitsPerPixel = static_cast<int>(p.bitsPerPixel);
    d.xDpi = d.yDpi = static_cast<int>(p.dpi);
    return d;
  }

  PageTransfer transferPage(int dpi) override {
    PageTransfer t;
    TW_UINT16 condition = TWCC_BUMMER;
    const auto page = nextPage(dpi, condition);
    if (!page) {
      t.condition = condition;
      return t;
    }
    // The device went to someone else, or its hold ended: the scanner is out of reach.
    if (!held()) return t;
    if (next_ + 1 == scanner_.failingPage) {
      t.condition = TWCC_PAPERJAM;
      return t;
    }
    DibImage dib(page->width, page->height, page->bitsPerPixel, dpi > 0 ? dpi : page->xDpi);
    if (!dib.valid()) {
      t.condition = TWCC_LOWMEMORY;
      return t;
    }
    drawPage(dib, static_cast<std::uint32_t>(next_));
    t.rc = TWRC_XFERDONE;
    t.dib = dib.take();
    return t;
  }

  TW_UINT16 pendingAfterPage() override {
    const std::size_t done = next_++;
    if (done < scanner_.endXferCounts.size())
      return static_cast<TW_UINT16>(scanner_.endXferCounts[done]);
    return static_cast<TW_UINT16>(scanner_.pages.size() - std::min(next_, scanner_.pages.size()));
  }

  std::optional<SourceWindowChoice> simulatedUser() const override {
    switch (scanner_.user) {
      case SimScannerUser::Scan: return SourceWindowChoice::Scan;
      case SimScannerUser::Close: return SourceWindowChoice::Close;
      default: return std::nullopt;
    }
  }

 private:
  static int scaled(std::uint32_t pixels, int at, std::uint32_t own) {
    const double v = std::round(static_cast<double>(pixels) * at / static_cast<double>(own));
    return static_cast<int>(std::clamp(v, 1.0, 60000.0));
  }

  bool held() {
    wire::ScannerRequest r;
    r.host = host_;
    r.op = wire::ScannerOp::Held;
    r.index = index_;
    const auto reply = transport_(r);
    return reply && reply->ok && reply->held;
  }

  SimScanner scanner_;
  std::uint32_t index_;
  std::string host_;
  ScannerTransport transport_;
  std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<Source> makeSimScannerSource(const SimScanner& scanner, std::uint32_t index,
                                             std::string host, ScannerTransport transport) {
  return std::make_unique<SimScannerSource>(scanner, index, std::move(host), std::move(transport));
}

SourceProvider simScannerProvider(std::string host, ScannerTransport transport) {
  return [host, transport] {
    std::vector<std::unique_ptr<Source>> sources;
    wire::ScannerRequest r;
    r.host = host;
    r.op = wire::ScannerOp::List;
    const auto reply = transport(r);
    if (!reply || !reply->ok) return sources;
    for (std::uint32_t i = 0; i < reply->scanners.size(); ++i)
      if (!reply->scanners[i].pages.empty())
        sources.push_back(makeSimScannerSource(reply->scanners[i], i, host, transport));
    if (reply->sane)
      for (auto& s : listSaneSources()) sources.push_back(std::move(s));
    return sources;
  };
}

SourceProvider simClientScannerProvider() {
  struct Connection {
    std::mutex mutex;
    wire::Channel channel;
  };
  auto connection = std::make_shared<Connection>();
  ScannerTransport transport = [connection](wire::ScannerRequest r) -> std::optional<wire::ScannerReply> {
    std::lock_guard lock(connection->mutex);
    auto reply = connection->channel.exchange(r);
    if (!reply) return std::nullopt;
    if (auto* answer = std::get_if<wire::ScannerReply>(&*reply)) return std::move(*answer);
    return std::nullopt;
  };
  return [transport] {
    // The computer is looked up each time the manager opens, as the other services do.
    return simScannerProvider(sim::thisHostName(), transport)();
  };
}

}  // namespace platform::twain
