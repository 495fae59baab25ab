#include "platform/TwainManager.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/AppMessages.h"
#include "platform/SimEnvironment.h"

namespace platform::twain {

std::vector<SourceProvider> defaultSourceProviders();  // DefaultTwainSources.cpp

namespace {

constexpr std::uint32_t kModule = 0x7A10;
constexpr TW_UINT32 kFirstSourceId = 100;

struct Manager {
  bool installed = true;
  int loads = 0;
  bool open = false;
  TW_UINT32 application = 0;
  std::vector<std::unique_ptr<Source>> sources;
  std::size_t cursor = 0;
  TW_UINT16 condition = TWCC_SUCCESS;
  std::vector<SourceProvider> providers;
  SourceWindows* windows = nullptr;
};

Manager& manager() {
  static Manager m;
  return m;
}

TW_UINT16 managerFails(TW_UINT16 condition) {
  manager().condition = condition;
  return TWRC_FAILURE;
}

Source* findSource(const TW_IDENTITY& id) {
  for (auto& s : manager().sources)
    if (id.Id != 0 && s->identity().Id == id.Id) return s.get();
  // An identity the application filled itself is matched by its product name.
  for (auto& s : manager().sources)
    if (id.Id == 0 && str32(s->identity().ProductName) == str32(id.ProductName)) return s.get();
  return nullptr;
}

TW_UINT16 openManager(TW_IDENTITY* origin) {
  Manager& m = manager();
  if (m.open) return managerFails(TWCC_SEQERROR);
  m.open = true;
  m.application = 1;
  if (origin) origin->Id = m.application;
  m.sources.clear();
  m.cursor = 0;
  const std::vector<SourceProvider> providers =
      m.providers.empty() ? defaultSourceProviders() : m.providers;
  for (const SourceProvider& provide : providers)
    for (auto& s : provide()) m.sources.push_back(std::move(s));
  TW_UINT32 id = kFirstSourceId;
  for (auto& s : m.sources) s->setId(id++);
  return TWRC_SUCCESS;
}

TW_UINT16 closeManager() {
  Manager& m = manager();
  if (!m.open) return managerFails(TWCC_SEQERROR);
  if (std::any_of(m.sources.begin(), m.sources.end(), [](auto& s) { return s->state() >= 4; }))
    return managerFails(TWCC_SEQERROR);
  m.sources.clear();
  m.open = false;
  return TWRC_SUCCESS;
}

TW_UINT16 identityCall(TW_IDENTITY* origin, TW_UINT16 msg, TW_IDENTITY* id) {
  Manager& m = manager();
  if (!id) return managerFails(TWCC_BADVALUE);
  switch (msg) {
    case MSG_GETFIRST:
      m.cursor = 0;
      [[fallthrough]];
    case MSG_GETNEXT:
      if (m.cursor >= m.sources.size()) return TWRC_ENDOFLIST;
      *id = m.sources[m.cursor++]->identity();
      return TWRC_SUCCESS;
    case MSG_GETDEFAULT:
      if (m.sources.empty()) return managerFails(TWCC_NODS);
      *id = m.sources.front()->identity();
      return TWRC_SUCCESS;
    case MSG_USERSELECT: {
      // No chooser here: the preselected source, else the first.
      if (m.sources.empty()) return managerFails(TWCC_NODS);
      Source* s = findSource(*id);
      *id = (s ? s : m.sources.front().get())->identity();
      return TWRC_SUCCESS;
    }
    case MSG_OPENDS: {
      Source* s = findSource(*id);
      if (!s) return managerFails(TWCC_NODS);
      const TW_UINT16 rc = s->open(origin ? origin->Id : m.application);
      if (rc != TWRC_SUCCESS) return managerFails(s->condition());
      *id = s->identity();
      return rc;
    }
    case MSG_CLOSEDS: {
      Source* s = findSource(*id);
      if (!s || s->state() < 4) return managerFails(TWCC_NODS);
      s->close();
      return TWRC_SUCCESS;
    }
    default:
      return managerFails(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 toManager(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data) {
  Manager& m = manager();
  if (dg == DG_CONTROL && dat == DAT_PARENT && msg == MSG_OPENDSM) return openManager(origin);
  if (dg == DG_CONTROL && dat == DAT_PARENT && msg == MSG_CLOSEDSM) return closeManager();
  if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET && data) {
    auto* status = static_cast<TW_STATUS*>(data);
    *status = TW_STATUS{m.condition, 0};
    m.condition = TWCC_SUCCESS;
    return TWRC_SUCCESS;
  }
  if (!m.open) return managerFails(TWCC_SEQERROR);
  if (dg == DG_CONTROL && dat == DAT_IDENTITY)
    return identityCall(origin, msg, static_cast<TW_IDENTITY*>(data));
  return managerFails(TWCC_BADPROTOCOL);
}

TW_UINT16 DSM_Entry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat,
                    TW_UINT16 msg, void* data) {
  if (!dest) return toManager(origin, dg, dat, msg, data);
  Source* s = manager().open ? findSource(*dest) : nullptr;
  if (!s || dest->Id == 0 || s->state() < 4) return managerFails(TWCC_BADDEST);
  if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET && data) {
    *static_cast<TW_STATUS*>(data) = TW_STATUS{s->condition(), 0};
    return TWRC_SUCCESS;
  }
  return s->entry(dg, dat, msg, data);
}

// A capability's one-value container, checked for its size.
TW_ONEVALUE* lockOneValue(const TW_CAPABILITY& cap) {
  if (cap.ConType != TWON_ONEVALUE || GlobalSize(cap.hContainer) < sizeof(TW_ONEVALUE))
    return nullptr;
  return static_cast<TW_ONEVALUE*>(GlobalLock(cap.hContainer));
}

}  // namespace

std::uint32_t LoadLibraryA(const char* name) {
  Manager& m = manager();
  if (!m.installed || !name || strcasecmp(name, "TWAIN_32.DLL") != 0) return 0;
  ++m.loads;
  return kModule;
}

DSMENTRYPROC GetProcAddress(std::uint32_t module, const char* name) {
  if (module != kModule || manager().loads == 0 || !name || std::string(name) != "DSM_Entry")
    return nullptr;
  return &DSM_Entry;
}

bool FreeLibrary(std::uint32_t module) {
  Manager& m = manager();
  if (module != kModule || m.loads == 0) return false;
  --m.loads;
  return true;
}

void setManagerInstalled(bool installed) { manager().installed = installed; }

std::string windowsDirectory() {
  return platform::sim::simDir() + "/hosts/" + platform::sim::thisHostName() + "/windows";
}

SourceWindows* sourceWindows() { return manager().windows; }
void setSourceWindows(SourceWindows* windows) { manager().windows = windows; }

void setSourceProviders(std::vector<SourceProvider> providers) {
  manager().providers = std::move(providers);
}

TW_IDENTITY makeIdentity(const std::string& productName, const std::string& manufacturer,
                         const std::string& family) {
  TW_IDENTITY id{};
  id.Version.MajorNum = 1;
  id.Version.MinorNum = 0;
  id.Version.Language = TWLG_USA;
  id.Version.Country = TWCY_USA;
  setStr32(id.Version.Info, "1.0");
  id.ProtocolMajor = kProtocolMajor;
  id.ProtocolMinor = kProtocolMinor;
  id.SupportedGroups = DG_CONTROL | DG_IMAGE;
  setStr32(id.Manufacturer, manufacturer);
  setStr32(id.ProductFamily, family);
  setStr32(id.ProductName, productName);
  return id;
}

// --- Source

Source::Source(TW_IDENTITY identity) : identity_(identity), alive_(std::make_shared<bool>(true)) {}

Source::~Source() { closeWindow(); }

TW_UINT16 Source::fail(TW_UINT16 condition) {
  condition_ = condition;
  return TWRC_FAILURE;
}

TW_UINT16 Source::open(TW_UINT32) {
  if (state_ >= 4) return fail(TWCC_MAXCONNECTIONS);
  const TW_UINT16 cc = openDevice();
  if (cc != TWCC_SUCCESS) return fail(cc);
  state_ = 4;
  xDpi_ = yDpi_ = 0;
  condition_ = TWCC_SUCCESS;
  return TWRC_SUCCESS;
}

void Source::close() {
  if (state_ < 4) return;
  closeWindow();
  if (state_ >= 6) endBatch();
  closeDevice();
  page_.reset();
  state_ = 3;
}

TW_UINT16 Source::entry(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data) {
  condition_ = TWCC_SUCCESS;
  if (!data) return fail(TWCC_BADVALUE);
  if (dg == DG_CONTROL && dat == DAT_USERINTERFACE)
    return userInterface(msg, static_cast<TW_USERINTERFACE*>(data));
  if (dg == DG_CONTROL && dat == DAT_EVENT && msg == MSG_PROCESSEVENT)
    return processEvent(static_cast<TW_EVENT*>(data));
  if (dg == DG_CONTROL && dat == DAT_CAPABILITY)
    return capability(msg, static_cast<TW_CAPABILITY*>(data));
  if (dg == DG_CONTROL && dat == DAT_PENDINGXFERS)
    return pendingTransfers(msg, static_cast<TW_PENDINGXFERS*>(data));
  if (dg == DG_IMAGE && dat == DAT_IMAGEINFO && msg == MSG_GET)
    return imageInfo(static_cast<TW_IMAGEINFO*>(data));
  if (dg == DG_IMAGE && dat == DAT_IMAGENATIVEXFER && msg == MSG_GET)
    return nativeTransfer(static_cast<TW_HANDLE*>(data));
  return fail(TWCC_BADPROTOCOL);
}

TW_UINT16 Source::userInterface(TW_UINT16 msg, TW_USERINTERFACE* ui) {
  if (msg == MSG_ENABLEDS) {
    if (state_ != 4) return fail(TWCC_SEQERROR);
    parent_ = ui->hParent;
    xferReadySent_ = false;
    if (!ui->ShowUI) {
      state_ = 5;
      userChose(SourceWindowChoice::Scan);
      return TWRC_SUCCESS;
    }
    if (const auto choice = simulatedUser()) {
      state_ = 5;
      userChose(*choice);
      return TWRC_SUCCESS;
    }
    SourceWindows* windows = sourceWindows();
    if (!windows) return fail(TWCC_OPERATIONERROR);
    std::weak_ptr<bool> alive = alive_;
    window_ = windows->open({str32(identity_.ProductName), str32(identity_.Manufacturer), parent_},
                            [this, alive](SourceWindowChoice choice) {
                              if (alive.lock()) userChose(choice);
                            });
    if (window_ == 0) return fail(TWCC_OPERATIONERROR);
    state_ = 5;
    return TWRC_SUCCESS;
  }
  if (msg == MSG_DISABLEDS) {
    if (state_ < 5) return fail(TWCC_SEQERROR);
    closeWindow();
    if (state_ >= 6) endBatch();
    page_.reset();
    state_ = 4;
    return TWRC_SUCCESS;
  }
  return fail(TWCC_BADPROTOCOL);
}

void Source::userChose(SourceWindowChoice choice) {
  if (state_ != 5) return;
  if (choice == SourceWindowChoice::Close) {
    notify(MSG_CLOSEDSREQ);
    return;
  }
  // One batch per enable.
  if (xferReadySent_) return;
  xferReadySent_ = true;
  notify(MSG_XFERREADY);
}

void Source::notify(TW_UINT16 msg) {
  postMessage(AppMessage{parent_, kSourceNotifyMessage, identity_.Id, msg});
}

void Source::closeWindow() {
  if (window_ == 0) return;
  if (SourceWindows* windows = sourceWindows()) windows->close(window_);
  window_ = 0;
}

TW_UINT16 Source::processEvent(TW_EVENT* event) {
  event->TWMessage = MSG_NULL;
  if (state_ < 5) return fail(TWCC_SEQERROR);
  const AppMessage* m = event->pEvent;
  if (!m || m->message != kSourceNotifyMessage || m->wParam != identity_.Id) return TWRC_NOTDSEVENT;
  event->TWMessage = static_cast<TW_UINT16>(m->lParam);
  if (event->TWMessage == MSG_XFERREADY && state_ == 5) state_ = 6;
  return TWRC_DSEVENT;
}

TW_UINT16 Source::capability(TW_UINT16 msg, TW_CAPABILITY* cap) {
  if (msg != MSG_SET) return fail(TWCC_CAPBADOPERATION);
  if (state_ < 4 || state_ > 6) return fail(TWCC_SEQERROR);
  if (cap->Cap != ICAP_XFERMECH && cap->Cap != ICAP_XRESOLUTION && cap->Cap != ICAP_YRESOLUTION)
    return fail(TWCC_CAPUNSUPPORTED);
  TW_ONEVALUE* one = lockOneValue(*cap);
  if (!one) return fail(TWCC_BADVALUE);
  TW_ONEVALUE value = *one;
  GlobalUnlock(cap->hContainer);
  if (cap->Cap == ICAP_XFERMECH) {
    if (value.ItemType != TWTY_UINT16 || value.Item != TWSX_NATIVE) return fail(TWCC_BADVALUE);
    return TWRC_SUCCESS;
  }
  if (value.ItemType != TWTY_FIX32) return fail(TWCC_BADVALUE);
  TW_FIX32 f;
  std::memcpy(&f, &value.Item, sizeof f);
  const int dpi = dpiFromFix32(f);
  if (!acceptsResolution(dpi)) return fail(TWCC_BADVALUE);
  (cap->Cap == ICAP_XRESOLUTION ? xDpi_ : yDpi_) = dpi;
  page_.reset();  // described again at the new resolution
  return TWRC_SUCCESS;
}

TW_UINT16 Source::imageInfo(TW_IMAGEINFO* info) {
  if (state_ < 6) return fail(TWCC_SEQERROR);
  const int x = xDpi_ ? xDpi_ : 0;
  if (!page_) {
    TW_UINT16 cc = TWCC_BUMMER;
    page_ = nextPage(x, cc);
    if (!page_) return fail(cc);
  }
  const PageDescription& p = *page_;
  *info = TW_IMAGEINFO{};
  info->XResolution = fix32FromDpi(xDpi_ ? xDpi_ : p.xDpi);
  info->YResolution = fix32FromDpi(yDpi_ ? yDpi_ : p.yDpi);
  info->ImageWidth = p.width;
  info->ImageLength = p.height;
  info->BitsPerPixel = static_cast<TW_INT16>(p.bitsPerPixel);
  const bool colour = p.bitsPerPixel == 24;
  info->SamplesPerPixel = colour ? 3 : 1;
  const TW_INT16 perSample = static_cast<TW_INT16>(colour ? 8 : p.bitsPerPixel);
  for (int i = 0; i < info->SamplesPerPixel; ++i) info->BitsPerSample[i] = perSample;
  info->PixelType = p.bitsPerPixel == 1 ? TWPT_BW : colour ? TWPT_RGB : TWPT_GRAY;
  return TWRC_SUCCESS;
}

TW_UINT16 Source::nativeTransfer(TW_HANDLE* handle) {
  if (state_ != 6) return fail(TWCC_SEQERROR);
  PageTransfer t = transferPage(xDpi_);
  page_.reset();
  if (t.rc == TWRC_CANCEL) {
    state_ = 7;
    return TWRC_CANCEL;
  }
  if (t.rc != TWRC_XFERDONE) return fail(t.condition);
  GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE, t.dib.size()));
  void* bytes = block.get() ? GlobalLock(block.get()) : nullptr;
  if (!bytes) return fail(TWCC_LOWMEMORY);
  std::memcpy(bytes, t.dib.data(), t.dib.size());
  GlobalUnlock(block.get());
  *handle = block.release();
  state_ = 7;
  return TWRC_XFERDONE;
}

TW_UINT16 Source::pendingTransfers(TW_UINT16 msg, TW_PENDINGXFERS* pending) {
  if (state_ < 6) return fail(TWCC_SEQERROR);
  pending->Reserved = 0;
  if (msg == MSG_ENDXFER) {
    page_.reset();
    pending->Count = pendingAfterPage();
    state_ = pending->Count == 0 ? 5 : 6;
    return TWRC_SUCCESS;
  }
  if (msg == MSG_RESET) {
    page_.reset();
    endBatch();
    pending->Count = 0;
    state_ = 5;
    return TWRC_SUCCESS;
  }
  return fail(TWCC_BADPROTOCOL);
}

}  // namespace platform::twain
