#include "platform/SaneSources.h"

#include <sane/sane.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "platform/SaneDib.h"

namespace platform::twain {
namespace {

// A page larger than this is no scan here; it keeps the DIB within its 32-bit sizes.
constexpr std::size_t kMaxFrameBytes = 0x40000000;

// SANE lives from the first listing to the end of the program.
class Sane {
 public:
  static bool ready() {
    static Sane sane;
    return sane.ok_;
  }
  // False once SANE has stopped: a source the manager still holds then has no device to close.
  static bool& alive() {
    static bool alive = false;
    return alive;
  }
  ~Sane() {
    alive() = false;
    if (ok_) sane_exit();
  }

 private:
  Sane() { alive() = ok_ = sane_init(nullptr, nullptr) == SANE_STATUS_GOOD; }
  bool ok_ = false;
};

std::string productNameOf(const SANE_Device& d) {
  std::string vendor = d.vendor ? d.vendor : "";
  std::string model = d.model ? d.model : "";
  std::string name = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
  return name.empty() ? std::string(d.name ? d.name : "SANE device") : name;
}

class SaneSource final : public Source {
 public:
  SaneSource(TW_IDENTITY identity, std::string device)
      : Source(identity), device_(std::move(device)) {}
  ~SaneSource() override { closeDevice(); }

 protected:
  TW_UINT16 openDevice() override {
    if (sane_open(device_.c_str(), &handle_) != SANE_STATUS_GOOD) {
      handle_ = nullptr;
      return TWCC_BUMMER;
    }
    preferColour();
    return TWCC_SUCCESS;
  }

  void closeDevice() override {
    if (!handle_) return;
    if (Sane::alive()) sane_close(handle_);
    handle_ = nullptr;
  }

  bool acceptsResolution(int dpi) const override {
    const int n = option("resolution");
    if (n < 0) return dpi == defaultResolution();
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle_, n);
    const bool fixed = d->type == SANE_TYPE_FIXED;
    auto value = [fixed](SANE_Word w) { return fixed ? SANE_UNFIX(w) : static_cast<double>(w); };
    if (d->constraint_type == SANE_CONSTRAINT_RANGE) {
      // Only the scanner's own steps: a value between them would be rounded to another.
      const SANE_Range* r = d->constraint.range;
      if (dpi < value(r->min) || dpi > value(r->max)) return false;
      const double step = value(r->quant);
      if (step <= 0) return true;
      const double steps = (dpi - value(r->min)) / step;
      return std::fabs(steps - std::round(steps)) < 1e-6;
    }
    if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
      const SANE_Word* list = d->constraint.word_list;
      for (SANE_Word i = 1; i <= list[0]; ++i)
        if (static_cast<int>(value(list[i])) == dpi) return true;
      return false;
    }
    return dpi > 0;
  }

  int defaultResolution() const override {
    const int n = option("resolution");
    if (n < 0 || !handle_) return 72;
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle_, n);
    SANE_Word w = 0;
    if (sane_control_option(handle_, n, SANE_ACTION_GET_VALUE, &w, nullptr) != SANE_STATUS_GOOD)
      return 72;
    return d->type == SANE_TYPE_FIXED ? static_cast<int>(SANE_UNFIX(w)) : w;
  }

  std::optional<PageDescription> nextPage(int dpi, TW_UINT16& condition) override {
    if (pageTaken_) {
      condition = TWCC_SEQERROR;
      return std::nullopt;
    }
    setResolution(dpi);
    SANE_Parameters p{};
    if (sane_get_parameters(handle_, &p) != SANE_STATUS_GOOD) {
      condition = TWCC_BUMMER;
      return std::nullopt;
    }
    PageDescription d;
    d.width = p.pixels_per_line;
    d.height = std::max(p.lines, 0);
    d.bitsPerPixel = p.format == SANE_FRAME_GRAY ? (p.depth == 1 ? 1 : 8) : 24;
    d.xDpi = d.yDpi = defaultResolution();
    return d;
  }

  PageTransfer transferPage(int dpi) override {
    PageTransfer t;
    if (pageTaken_) {
      t.condition = TWCC_SEQERROR;
      return t;
    }
    setResolution(dpi);
    const int at = defaultResolution();
    std::vector<SaneFrame> frames;
    const SANE_Status status = readPage(frames);
    sane_cancel(handle_);
    if (status == SANE_STATUS_CANCELLED) {
      t.rc = TWRC_CANCEL;
      return t;
    }
    if (status != SANE_STATUS_GOOD) {
      t.condition = status == SANE_STATUS_NO_MEM ? TWCC_LOWMEMORY : TWCC_BUMMER;
      return t;
    }
    std::string why;
    auto dib = dibFromSaneFrames(frames, at, why);
    if (!dib) return t;
    pageTaken_ = true;
    t.rc = TWRC_XFERDONE;
    t.dib = std::move(*dib);
    return t;
  }

  // A flatbed gives one page a batch.
  TW_UINT16 pendingAfterPage() override {
    pageTaken_ = false;
    return 0;
  }
  void endBatch() override { pageTaken_ = false; }

 private:
  int option(const char* name) const {
    if (!handle_) return -1;
    SANE_Int count = 0;
    if (sane_control_option(handle_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
      return -1;
    for (SANE_Int i = 1; i < count; ++i) {
      const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle_, i);
      if (d && d->name && std::strcmp(d->name, name) == 0 && SANE_OPTION_IS_ACTIVE(d->cap) &&
          SANE_OPTION_IS_SETTABLE(d->cap))
        return i;
    }
    return -1;
  }

  // Scanners start in colour where they can, as a user of a colour scanner expects.
  void preferColour() {
    const int n = option("mode");
    if (n < 0) return;
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle_, n);
    if (d->type != SANE_TYPE_STRING || d->constraint_type != SANE_CONSTRAINT_STRING_LIST) return;
    for (const SANE_String_Const* s = d->constraint.string_list; *s; ++s) {
      if (std::strcmp(*s, "Color") != 0) continue;
      std::vector<char> value(static_cast<std::size_t>(std::max<SANE_Int>(d->size, 6)), 0);
      std::strcpy(value.data(), "Color");
      sane_control_option(handle_, n, SANE_ACTION_SET_VALUE, value.data(), nullptr);
      return;
    }
  }

  void setResolution(int dpi) {
    const int n = option("resolution");
    if (n < 0 || dpi <= 0) return;
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle_, n);
    SANE_Word w = d->type == SANE_TYPE_FIXED ? SANE_FIX(dpi) : dpi;
    sane_control_option(handle_, n, SANE_ACTION_SET_VALUE, &w, nullptr);
  }

  SANE_Status readPage(std::vector<SaneFrame>& frames) {
    for (;;) {
      SANE_Status status = sane_start(handle_);
      if (status != SANE_STATUS_GOOD) return status;
      SANE_Parameters p{};
      status = sane_get_parameters(handle_, &p);
      if (status != SANE_STATUS_GOOD) return status;
      SaneFrame f;
      f.format = p.format;
      f.bytesPerLine = p.bytes_per_line;
      f.pixelsPerLine = p.pixels_per_line;
      f.lines = p.lines;
      f.depth = p.depth;
      std::vector<SANE_Byte> chunk(64 * 1024);
      for (;;) {
        SANE_Int got = 0;
        status = sane_read(handle_, chunk.data(), static_cast<SANE_Int>(chunk.size()), &got);
        if (status == SANE_STATUS_EOF) break;
        if (status != SANE_STATUS_GOOD) return status;
        if (f.data.size() + static_cast<std::size_t>(got) > kMaxFrameBytes) return SANE_STATUS_NO_MEM;
        f.data.insert(f.data.end(), chunk.begin(), chunk.begin() + got);
      }
      frames.push_back(std::move(f));
      if (p.last_frame || frames.size() >= 3) return SANE_STATUS_GOOD;
    }
  }

  std::string device_;
  SANE_Handle handle_ = nullptr;
  bool pageTaken_ = false;
};

}  // namespace

std::vector<std::unique_ptr<Source>> listSaneSources() {
  std::vector<std::unique_ptr<Source>> sources;
  if (!Sane::ready()) return sources;
  const SANE_Device** devices = nullptr;
  if (sane_get_devices(&devices, SANE_FALSE) != SANE_STATUS_GOOD || !devices) return sources;
  std::set<std::string> names;
  for (const SANE_Device** d = devices; *d; ++d) {
    std::string name = productNameOf(**d);
    // Two devices of one model are told apart by their SANE names.
    if (!names.insert(name).second) name += std::string(" (") + ((*d)->name ? (*d)->name : "") + ")";
    names.insert(name);
    sources.push_back(std::make_unique<SaneSource>(
        makeIdentity(name, (*d)->vendor ? (*d)->vendor : "", "SANE"), (*d)->name ? (*d)->name : ""));
  }
  return sources;
}

}  // namespace platform::twain
