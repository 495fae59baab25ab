#include "scanning/TZELTWAIN.h"

#include <strings.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#include <sstream>
#include <vector>

#include "platform/TwainManager.h"
#include "scanning/FileClaims.h"
#include "scanning/PictureFiles.h"

#ifdef TARVEX_TWAIN_QT
#include "platform/TwainSourceDialog.h"
#endif

namespace scanning {

namespace tw = platform::twain;
using namespace platform::twain;

const char* const _ERR_DSM_ENTRY_NOT_FOUND =
    "Unable to find the entry of the Data Source Manager in: TWAIN_32.DLL";
const char* const _ERR_TWAIN_NOT_LOADED = "Unable to load or find: TWAIN_32.DLL";
const char* const _ERR_DSM_CALL_FAILED = "A call to the Data Source Manager failed in module %s";
const char* const _ERR_UNKNOWN = "A call to the Data Source Manager failed in module %s: Code %.04x";
const char* const _ERR_DSM_OPEN =
    "Unable to close the Data Source Manager. Maybe a source is still in use";
const char* const _ERR_STATUS = "Unable to get the status";
const char* const _ERR_DSM = "Data Source Manager error in module %s:\r\n%s";
const char* const _ERR_DS = "Data Source error in module %s:\r\n%s";

namespace {

// One entry point for every component, as the library gives it.
DSMENTRYPROC DSM_Entry = nullptr;
int globalCursor = 0;

constexpr std::array<std::uint16_t, 16> kLanguageCodes = {1, 2, 5, 6, 13, 8, 11, 9,
                                                          4, 0, 78, 10, 12, 75, 63, 85};
constexpr std::array<std::uint16_t, 16> kCountryCodes = {31, 6, 33, 49, 1, 34, 39, 45,
                                                         358, 47, 7, 351, 46, 48, 30, 90};

void check(bool condition, const char* message) {
  if (!condition) throw EAssertionFailed(message);
}

std::string format(const char* pattern, const std::string& a, const std::string& b = {}) {
  std::vector<char> out(std::string(pattern).size() + a.size() + b.size() + 16);
  std::snprintf(out.data(), out.size(), pattern, a.c_str(), b.c_str());
  return out.data();
}

// The one key of the system's "WIN.INI" the component touches: [TWAIN] DEFAULT SOURCE.
std::string winIni() { return tw::windowsDirectory() + "/win.ini"; }

// The file's lines; none when it is missing or no regular file (a FIFO there never answers).
std::vector<std::string> winIniLines() {
  std::vector<std::string> lines;
  const auto bytes = ReadRegularFile(winIni());
  if (!bytes) return lines;
  std::istringstream split(std::string(bytes->begin(), bytes->end()));
  for (std::string line; std::getline(split, line);) lines.push_back(line);
  return lines;
}

std::string readDefaultSource() {
  bool inSection = false;
  for (std::string line : winIniLines()) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with('[')) {
      inSection = strcasecmp(line.c_str(), "[TWAIN]") == 0;
      continue;
    }
    const auto eq = line.find('=');
    if (inSection && eq != std::string::npos &&
        strcasecmp(line.substr(0, eq).c_str(), "DEFAULT SOURCE") == 0)
      return line.substr(eq + 1);
  }
  return {};
}

void writeDefaultSource(const std::string& value) {
  std::vector<std::string> lines = winIniLines();
  bool inSection = false, written = false;
  std::size_t sectionEnd = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].starts_with('[')) {
      if (inSection) sectionEnd = i;
      inSection = strcasecmp(lines[i].c_str(), "[TWAIN]") == 0;
      if (inSection) sectionEnd = lines.size();
      continue;
    }
    const auto eq = lines[i].find('=');
    if (inSection && eq != std::string::npos &&
        strcasecmp(lines[i].substr(0, eq).c_str(), "DEFAULT SOURCE") == 0) {
      lines[i] = "DEFAULT SOURCE=" + value;
      written = true;
    }
  }
  if (!written) {
    if (sectionEnd == lines.size() && !inSection) lines.push_back("[TWAIN]");
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(std::min(sectionEnd, lines.size())),
                 "DEFAULT SOURCE=" + value);
  }
  std::error_code ec;
  std::filesystem::create_directories(tw::windowsDirectory(), ec);
  const FileStream out = OpenRegularStream(winIni(), O_WRONLY | O_CREAT | O_TRUNC, 0644, "w");
  if (!out) return;
  for (const std::string& l : lines) std::fprintf(out.get(), "%s\n", l.c_str());
}

// A capability with one value in a movable block, freed when the call is over.
std::uint16_t setOneValue(TZELTWAIN& twain, std::uint16_t cap, std::uint16_t itemType,
                          std::uint32_t item) {
  platform::GlobalBlock block(platform::GlobalAlloc(platform::GHND, sizeof(TW_ONEVALUE)));
  check(block.get() != 0, "Assertion failure");
  auto* one = static_cast<TW_ONEVALUE*>(platform::GlobalLock(block.get()));
  check(one != nullptr, "Assertion failure");
  one->ItemType = itemType;
  one->Item = item;
  platform::GlobalUnlock(block.get());
  TW_CAPABILITY capability{cap, TWON_ONEVALUE, block.get()};
  return twain.CallDataSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
}

}  // namespace

TZELTWAIN::TZELTWAIN(void* owner) : owner_(owner) {
  identity_.Version.MajorNum = 1;
  identity_.Version.MinorNum = 0;
  identity_.Version.Language = TWLG_USA;
  identity_.Version.Country = TWCY_USA;
  setStr32(identity_.Version.Info, "Twain component");
  setStr32(identity_.Manufacturer, "Velmora Components");
  setStr32(identity_.ProductFamily, "Velmora Imaging");
  setStr32(identity_.ProductName, "ZELTwain module");
  setFilename("C:\\TWAIN.BMP");
}

TZELTWAIN::~TZELTWAIN() {
  try {
    if (dsEnabled_) DisableDataSource();
    if (dsOpen_) CloseDataSource();
    if (dsmOpen_) CloseDataSourceManager();
  } catch (...) {
  }
  fUnloadTwain();
  if (defaultSaved_) RestoreDefaultSourceEntry();
  // Only a hook this component installed is taken back; another component's stays.
  if (hookInstalled_) platform::setApplicationOnMessage(std::move(previousOnMessage_));
}

bool TZELTWAIN::IsTwainDriverAvailable() {
  namespace fs = std::filesystem;
  std::string dir = tw::windowsDirectory();
  while (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
  std::error_code ec;
  fs::recursive_directory_iterator it(dir + "/TWAIN_32", fs::directory_options::skip_permission_denied, ec);
  bool found = false;
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code typeError;
    if (it->is_regular_file(typeError) &&
        strcasecmp(it->path().extension().string().c_str(), ".ds") == 0)
      found = true;
  }
  return found;
}

// Harmless when repeated (a first call whose manager would not open, then a retry): the hook is
// installed once, since a second one would chain to itself, and an open manager keeps its Id.
void TZELTWAIN::InitTWAIN() {
  parent_ = platform::applicationWindow();
  if (!dsmOpen_) identity_.Id = parent_;
  fLoadTwain();
#ifdef TARVEX_TWAIN_QT
  platform::twain::installQtTwain();
#endif
  if (!hookInstalled_) {
    previousOnMessage_ = platform::setApplicationOnMessage(
        [this](platform::AppMessage& msg, bool& handled) { fNewOnMessageHandler(msg, handled); });
    hookInstalled_ = true;
  }
  OpenDataSourceManager();
}

bool TZELTWAIN::fLoadTwain() {
  if (library_ == 0) {
    library_ = tw::LoadLibraryA("TWAIN_32.DLL");
    if (library_ != 0) DSM_Entry = tw::GetProcAddress(library_, "DSM_Entry");
  }
  return library_ != 0;
}

void TZELTWAIN::fUnloadTwain() {
  if (library_ == 0) return;
  DSM_Entry = nullptr;
  tw::FreeLibrary(library_);
  library_ = 0;
}

void TZELTWAIN::OpenDataSourceManager() {
  if (dsmOpen_) return;
  check(identity_.Id != 0, "Assertion failure");
  if (!fLoadTwain()) throw ETwainError(_ERR_TWAIN_NOT_LOADED);
  identity_.ProtocolMajor = kProtocolMajor;
  identity_.ProtocolMinor = kProtocolMinor;
  identity_.SupportedGroups = DG_CONTROL | DG_IMAGE;
  TwainCheckDataSourceManager(
      CallDataSourceManager(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent_),
      "OpenDataSourceManager");
  dsmOpen_ = true;
}

void TZELTWAIN::CloseDataSourceManager() {
  if (dsOpen_) throw ETwainError(_ERR_DSM_OPEN);
  if (dsmOpen_) {
    TwainCheckDataSourceManager(
        CallDataSourceManager(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent_),
        "CloseDataSourceManager");
    dsmOpen_ = false;
  }
  fUnloadTwain();
  if (defaultSaved_) RestoreDefaultSourceEntry();
}

std::uint16_t TZELTWAIN::CallDataSourceManager(TW_IDENTITY* dest, std::uint32_t DG,
                                               std::uint16_t DAT, std::uint16_t MSG, void* data) {
  check(DSM_Entry != nullptr, "Assertion failure");
  return DSM_Entry(&identity_, dest, DG, DAT, MSG, data);
}

std::uint16_t TZELTWAIN::CallDataSource(std::uint32_t DG, std::uint16_t DAT, std::uint16_t MSG,
                                        void* data) {
  check(DSM_Entry != nullptr, "Assertion failure");
  return DSM_Entry(&identity_, &source_, DG, DAT, MSG, data);
}

void TZELTWAIN::SetDataSource(const TW_IDENTITY& id) { source_ = id; }

void TZELTWAIN::SelectDataSource() {
  SaveDefaultSourceEntry();
  check(!dsOpen_, "Data Source must be closed");
  TW_IDENTITY chosen{};
  TwainCheckDataSourceManager(
      CallDataSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &chosen),
      "SelectDataSource1");
  const std::uint16_t rc =
      CallDataSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &chosen);
  TwainCheckDataSourceManager(rc, "SelectDataSource2");
  if (rc == TWRC_SUCCESS) source_ = chosen;
}

void TZELTWAIN::SaveDefaultSourceEntry() {
  if (defaultSaved_) return;
  savedDefaultSource_ = readDefaultSource();
  defaultSaved_ = true;
}

void TZELTWAIN::RestoreDefaultSourceEntry() {
  if (!defaultSaved_) return;
  writeDefaultSource(savedDefaultSource_);
  savedDefaultSource_.clear();
  defaultSaved_ = false;
}

void TZELTWAIN::OpenDataSource() {
  check(dsmOpen_, "Data Source Manager must be open");
  if (dsOpen_) return;
  const std::uint16_t rc =
      CallDataSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_);
  TwainCheckDataSourceManager(rc, "OpenDataSource");
  // A source the manager could not open is not open: no message goes to it.
  dsOpen_ = rc == TWRC_SUCCESS;
}

void TZELTWAIN::CloseDataSource() {
  check(dsmOpen_, "Data Source Manager must be open");
  if (!dsOpen_) return;
  TwainCheckDataSourceManager(
      CallDataSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_),
      "CloseDataSource");
  dsOpen_ = false;
}

void TZELTWAIN::EnableDataSource() {
  check(dsOpen_, "Data Source must be open");
  if (dsEnabled_) return;
  TW_USERINTERFACE ui{static_cast<TW_BOOL>(showUI_ ? 0xFFFF : 0), 0, uiParent()};
  dsEnabled_ = CallDataSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) == TWRC_SUCCESS;
}

void TZELTWAIN::DisableDataSource() {
  check(dsOpen_, "Data Source must be open");
  if (!dsEnabled_) return;
  TW_USERINTERFACE ui{0xFFFF, 0, uiParent()};
  TwainCheckDataSource(CallDataSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui),
                       "DisableDataSource");
  dsEnabled_ = false;
}

void TZELTWAIN::XferMech() {
  destination_ = xfNative;
  const std::uint16_t mech = destination_ == xfNative   ? TWSX_NATIVE
                             : destination_ == xfMemory ? TWSX_MEMORY
                                                        : TWSX_FILE;
  TwainCheckDataSource(setOneValue(*this, ICAP_XFERMECH, TWTY_UINT16, mech), "XferMech");
}

void TZELTWAIN::Acquire(void* target) {
  target_ = target;
  OpenDataSourceManager();
  OpenDataSource();
  // A source that would not open is neither negotiated with nor enabled: the caller finds it
  // not enabled.
  if (!dsOpen_) return;
  XferMech();
  EnableDataSource();
}

void TZELTWAIN::GetImageInfo(TW_IMAGEINFO& info) {
  TW_IMAGEINFO local{};
  if (CallDataSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &local) == TWRC_SUCCESS) info = local;
}

bool TZELTWAIN::SetImageInfo(const TW_IMAGEINFO& info) {
  std::uint32_t item = 0;
  std::memcpy(&item, &info.XResolution, sizeof item);
  setOneValue(*this, ICAP_XRESOLUTION, TWTY_FIX32, item);
  return setOneValue(*this, ICAP_YRESOLUTION, TWTY_FIX32, item) == TWRC_SUCCESS;
}

bool TZELTWAIN::ProcessSourceMessage(platform::AppMessage& msg) {
  if (!dsmOpen_ || !dsOpen_) return false;
  TW_EVENT event{&msg, MSG_NULL};
  const std::uint16_t rc = CallDataSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
  if (rc == TWRC_DSEVENT) {
    switch (event.TWMessage) {
      case MSG_XFERREADY:
        transferLoop();
        break;
      case MSG_CLOSEDSREQ:
        DisableDataSource();
        CloseDataSource();
        ScanClose();
        break;
      case MSG_CLOSEDSOK:
        DisableDataSource();
        CloseDataSource();
        break;
      default:
        break;
    }
  }
  // Only the source's own events are kept from the application; a failing source (one that is
  // gone, or never opened) must not swallow every message of the program.
  return rc == TWRC_DSEVENT;
}

void TZELTWAIN::transferLoop() {
  isLastPage_ = false;
  cancel_ = false;
  transferFailed_ = false;
  bmpHandle_ = 0;
  bool stop = false;
  while (!stop) {
    ScanStart();
    if (cancel_) {
      isLastPage_ = true;
      stop = true;
    } else if (destination_ == xfNative) {
      fNativeXfer();
    }
    if (!stop) {
      TW_PENDINGXFERS pending{0, 0};
      TwainCheckDataSource(CallDataSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending),
                           "Check for Pending Transfers");
      if (pending.Count == 0) {
        isLastPage_ = true;
        stop = true;
      } else {
        isLastPage_ = false;
      }
    }
    if (transferFailed_ || cancel_) {
      isLastPage_ = true;
      stop = true;
      TW_PENDINGXFERS pending{0, 0};
      TwainCheckDataSource(CallDataSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending),
                           "Abort Pending Transfers");
    }
    if (!cancel_) ScanReady();
  }
  if (dsEnabled_) DisableDataSource();
  if (dsOpen_) CloseDataSource();
  if (transferFailed_) ScanCancel();
}

void TZELTWAIN::fNativeXfer() {
  transferFailed_ = false;
  bmpHandle_ = 0;
  TW_HANDLE handle = 0;
  const std::uint16_t rc = CallDataSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
  if (rc != TWRC_XFERDONE || handle == 0) {
    transferFailed_ = true;
    return;
  }
  // The picture comes from outside: one that is no whole DIB counts as a failed transfer, so
  // that nobody reads past its block.
  const std::size_t size = platform::GlobalSize(handle);
  const auto* bytes = static_cast<const std::uint8_t*>(platform::GlobalLock(handle));
  const bool sound = bytes && ParseDib(bytes, size).has_value();
  if (bytes) platform::GlobalUnlock(handle);
  if (!sound) {
    platform::GlobalFree(handle);
    transferFailed_ = true;
    return;
  }
  bmpHandle_ = handle;
}

void TZELTWAIN::fNewOnMessageHandler(platform::AppMessage& msg, bool& handled) {
  handled = ProcessSourceMessage(msg);
  if (previousOnMessage_) previousOnMessage_(msg, handled);
}

std::string TZELTWAIN::Condition2String(std::uint16_t condition) {
  switch (condition) {
    case 0: return "Operation was succesful.";
    case 1: return "General failure. Unload Source immediately.";
    case 2: return "Not enough memory to complete the operation.";
    case 3: return "Data Source Manager was unable to find the specified Data Source.";
    case 4: return "Data Source is connected to maximum supported number of \r\napplications.";
    case 5:
      return "Data Source or Data Source Manager reported an error to the\r\nuser and handled the "
             "error. No application action required.";
    case 6:
      return "Capability not supported by source or operation (get,\r\nset) is not supported on "
             "capability, or capability had\r\ndependencies on other capabilities and cannot "
             "be\r\noperated upon at this time";
    case 9: return "Unrecognized operation triplet.";
    case 10: return "Data parameter out of supported range.";
    case 11: return "Illegal operation for current Data Source Manager\r\nand Data Source state.";
    case 12: return "Unknown destination in DSM_Entry.";
    case 13: return "Capability not supported by Data Source.";
    case 14: return "Operation not supported on capability.";
    case 15:
      return "Capability has dependencies on other capabilities and \r\ncannot be operated upon "
             "at this time.";
    case 16: return "File System operation is denied (file is protected).";
    case 17: return "Operation failed because file already exists.";
    case 18: return "File not found.";
    case 19: return "Operation failed because directory is not empty.";
    case 20:
    case 21: return "Transfer failed because of a feeder error";
    default: {
      char text[40];
      std::snprintf(text, sizeof text, "Unknown condition %.04x", condition);
      return text;
    }
  }
}

void TZELTWAIN::RaiseLastDataSourceManagerCondition(const std::string& module) {
  TW_STATUS status{};
  if (CallDataSourceManager(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS)
    throw ETwainError(_ERR_STATUS);
  throw ETwainError(format(_ERR_DSM, module, Condition2String(status.ConditionCode)));
}

void TZELTWAIN::RaiseLastDataSourceCondition(const std::string& module) {
  TW_STATUS status{};
  if (CallDataSource(DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS)
    throw ETwainError(_ERR_STATUS);
  throw ETwainError(format(_ERR_DSM, module, Condition2String(status.ConditionCode)));
}

void TZELTWAIN::TwainCheckDataSourceManager(std::uint16_t, const std::string&) {}
void TZELTWAIN::TwainCheckDataSource(std::uint16_t, const std::string&) {}

void TZELTWAIN::ScanReady() {
  if (OnScanReady) OnScanReady(this);
}
void TZELTWAIN::ScanStart() {
  if (OnScanStart) OnScanStart(this);
}
void TZELTWAIN::ScanCancel() {
  if (OnScanCancel) OnScanCancel(this);
}
void TZELTWAIN::ScanClose() {
  if (OnScanClose) OnScanClose(this);
}

std::string TZELTWAIN::Productname() const { return str32(identity_.ProductName); }
void TZELTWAIN::setProductname(const std::string& s) { setStr32(identity_.ProductName, s); }
std::string TZELTWAIN::Manufacturer() const { return str32(identity_.Manufacturer); }
void TZELTWAIN::setManufacturer(const std::string& s) { setStr32(identity_.Manufacturer, s); }
std::string TZELTWAIN::ProductFamily() const { return str32(identity_.ProductFamily); }
void TZELTWAIN::setProductFamily(const std::string& s) { setStr32(identity_.ProductFamily, s); }
std::string TZELTWAIN::VersionInfo() const { return str32(identity_.Version.Info); }
void TZELTWAIN::setVersionInfo(const std::string& s) { setStr32(identity_.Version.Info, s); }

TLanguageType TZELTWAIN::Language() const {
  for (std::size_t i = 0; i < kLanguageCodes.size(); ++i)
    if (kLanguageCodes[i] == identity_.Version.Language) return static_cast<TLanguageType>(i);
  return lgDutch;
}
void TZELTWAIN::setLanguage(TLanguageType l) {
  if (l < kLanguageCodes.size()) identity_.Version.Language = kLanguageCodes[l];
}
TCountryType TZELTWAIN::Country() const {
  for (std::size_t i = 0; i < kCountryCodes.size(); ++i)
    if (kCountryCodes[i] == identity_.Version.Country) return static_cast<TCountryType>(i);
  return ctNetherlands;
}
void TZELTWAIN::setCountry(TCountryType c) {
  if (c < kCountryCodes.size()) identity_.Version.Country = kCountryCodes[c];
}

int TZELTWAIN::Cursor() const { return globalCursor; }
void TZELTWAIN::setCursor(int cursor) { globalCursor = cursor; }

TImageType TZELTWAIN::FileFormat() const {
  return fileFormat_ > 9 ? ffUNKNOWN : static_cast<TImageType>(fileFormat_);
}
void TZELTWAIN::setFileFormat(TImageType f) { fileFormat_ = f > 9 ? ffBMP : f; }

std::string TZELTWAIN::Filename() const { return std::string(filename_, strnlen(filename_, 255)); }
void TZELTWAIN::setFilename(const std::string& name) {
  std::memset(filename_, 0, sizeof filename_);
  std::memcpy(filename_, name.data(), std::min<std::size_t>(name.size(), 255));
}

std::vector<TW_IDENTITY> ListDataSources(TZELTWAIN& twain) {
  std::vector<TW_IDENTITY> sources;
  try {
    twain.OpenDataSourceManager();
    TW_IDENTITY id{};
    auto rc = twain.CallDataSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id);
    while (rc == TWRC_SUCCESS) {
      sources.push_back(id);
      id = TW_IDENTITY{};
      rc = twain.CallDataSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id);
    }
  } catch (const std::exception&) {
    // No manager to ask (not loadable, or its entry gone): no sources.
  }
  return sources;
}

}  // namespace scanning
