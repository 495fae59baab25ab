#pragma once
// TZELTWAIN: the program's TWAIN component. It loads the source manager, presents the
// application's identity, opens and enables the chosen source with its own window, negotiates
// native transfer and the resolution, and runs the transfer loop inside the application's message
// hook, reporting each page through four events on the UI thread.
//
// A Qt program needs nothing more: InitTWAIN wakes the message queue from Qt's event loop and
// gives the sources their Qt windows when a QApplication exists. Without one (plain tests), call
// platform::processMessages() to deliver the sources' notifications.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/AppMessages.h"
#include "platform/GlobalMemory.h"
#include "platform/Twain.h"

namespace scanning {

using platform::twain::TW_IDENTITY;
using platform::twain::TW_IMAGEINFO;

class ETwainError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A broken precondition ("Data Source must be open", ...).
class EAssertionFailed : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

enum TTransferType : std::uint8_t { xfNative = 0, xfMemory = 1, xfFile = 2 };

enum TImageType : std::uint8_t {
  ffTIFF = 0, ffPICT, ffBMP, ffXBM, ffJFIF, ffFPX, ffTIFFMULTI, ffPNG, ffSPIFF, ffEXIF, ffUNKNOWN
};

enum TLanguageType : std::uint8_t {
  lgDutch = 0, lgEnglish, lgFrench, lgGerman, lgAmerican, lgItalian, lgSpanish, lgNorwegian,
  lgFinnish, lgDanish, lgRussian, lgPortuguese, lgSwedish, lgPolish, lgGreek, lgTurkish
};

enum TCountryType : std::uint8_t {
  ctNetherlands = 0, ctEngland, ctFrance, ctGermany, ctUSA, ctSpain, ctItaly, ctDenmark,
  ctFinland, ctNorway, ctRussia, ctPortugal, ctSweden, ctPoland, ctGreece, ctTurkey
};

// Message texts of the component.
extern const char* const _ERR_DSM_ENTRY_NOT_FOUND;
extern const char* const _ERR_TWAIN_NOT_LOADED;
extern const char* const _ERR_DSM_CALL_FAILED;
extern const char* const _ERR_UNKNOWN;
extern const char* const _ERR_DSM_OPEN;
extern const char* const _ERR_STATUS;
extern const char* const _ERR_DSM;
extern const char* const _ERR_DS;

class TZELTWAIN {
 public:
  using TNotifyEvent = std::function<void(TZELTWAIN* sender)>;

  // `owner` is kept for the caller's bookkeeping only.
  explicit TZELTWAIN(void* owner = nullptr);
  virtual ~TZELTWAIN();
  TZELTWAIN(const TZELTWAIN&) = delete;
  TZELTWAIN& operator=(const TZELTWAIN&) = delete;

  // --- Operations.
  static bool IsTwainDriverAvailable();
  void InitTWAIN();
  bool fLoadTwain();
  void fUnloadTwain();
  void OpenDataSourceManager();
  void CloseDataSourceManager();
  std::uint16_t CallDataSourceManager(TW_IDENTITY* dest, std::uint32_t DG, std::uint16_t DAT,
                                      std::uint16_t MSG, void* data);
  std::uint16_t CallDataSource(std::uint32_t DG, std::uint16_t DAT, std::uint16_t MSG, void* data);
  void SetDataSource(const TW_IDENTITY& id);
  const TW_IDENTITY& DataSource() const { return source_; }
  void SelectDataSource();
  void SaveDefaultSourceEntry();
  void RestoreDefaultSourceEntry();
  void OpenDataSource();
  void CloseDataSource();
  void EnableDataSource();
  void DisableDataSource();
  bool IsDataSourceManagerOpen() const { return dsmOpen_; }
  bool IsDataSourceOpen() const { return dsOpen_; }
  bool IsDataSourceEnabled() const { return dsEnabled_; }
  bool IsLastPage() const { return isLastPage_; }
  platform::HGLOBAL GetBmpHandle() const { return bmpHandle_; }
  void SetCanel(bool cancel) { cancel_ = cancel; }
  void XferMech();
  // `target` is kept, never filled.
  void Acquire(void* target);
  void GetImageInfo(TW_IMAGEINFO& info);
  bool SetImageInfo(const TW_IMAGEINFO& info);
  bool ProcessSourceMessage(platform::AppMessage& msg);
  virtual void fNewOnMessageHandler(platform::AppMessage& msg, bool& handled);
  static std::string Condition2String(std::uint16_t condition);
  void RaiseLastDataSourceManagerCondition(const std::string& module);
  void RaiseLastDataSourceCondition(const std::string& module);
  void TwainCheckDataSourceManager(std::uint16_t rc, const std::string& where);
  void TwainCheckDataSource(std::uint16_t rc, const std::string& where);

  // --- Event triggers (overridable); each calls its event when one is assigned.
  virtual void ScanReady();
  virtual void ScanStart();
  virtual void ScanCancel();
  virtual void ScanClose();

  // --- Properties.
  TTransferType Destination() const { return destination_; }
  void setDestination(TTransferType t) { destination_ = t; }
  bool TwainDriverFound() const { return IsTwainDriverAvailable(); }
  std::string Productname() const;
  void setProductname(const std::string& s);
  std::string Manufacturer() const;
  void setManufacturer(const std::string& s);
  std::string ProductFamily() const;
  void setProductFamily(const std::string& s);
  TLanguageType Language() const;
  void setLanguage(TLanguageType l);
  TCountryType Country() const;
  void setCountry(TCountryType c);
  bool ShowUI() const { return showUI_; }
  void setShowUI(bool show) { showUI_ = show; }
  // The window that owns the source's own window (hParent of DAT_USERINTERFACE); 0, the default,
  // is the application's window.
  std::uint32_t ParentWindow() const { return uiParent_; }
  void setParentWindow(std::uint32_t window) { uiParent_ = window; }
  int Cursor() const;
  void setCursor(int cursor);
  TImageType FileFormat() const;
  void setFileFormat(TImageType f);
  std::string Filename() const;
  void setFilename(const std::string& name);
  std::string VersionInfo() const;
  void setVersionInfo(const std::string& s);
  std::uint16_t VersionMajor() const { return identity_.Version.MajorNum; }
  void setVersionMajor(std::uint16_t v) { identity_.Version.MajorNum = v; }
  std::uint16_t VersionMinor() const { return identity_.Version.MinorNum; }
  void setVersionMinor(std::uint16_t v) { identity_.Version.MinorNum = v; }

  TNotifyEvent OnScanReady, OnScanStart, OnScanCancel, OnScanClose;

  // The application identity as it goes to the manager.
  const TW_IDENTITY& ApplicationIdentity() const { return identity_; }

 private:
  void fNativeXfer();
  void transferLoop();
  std::uint32_t uiParent() const { return uiParent_ ? uiParent_ : parent_; }

  void* owner_;
  std::uint32_t library_ = 0;
  TW_IDENTITY identity_{};
  TW_IDENTITY source_{};
  std::uint32_t parent_ = 0;
  std::uint32_t uiParent_ = 0;
  TTransferType destination_ = xfNative;
  bool dsmOpen_ = false, dsOpen_ = false, dsEnabled_ = false;
  bool isLastPage_ = false, cancel_ = false, transferFailed_ = false;
  platform::HGLOBAL bmpHandle_ = 0;
  void* target_ = nullptr;
  std::string savedDefaultSource_;
  bool defaultSaved_ = false;
  platform::MessageHook previousOnMessage_;
  bool hookInstalled_ = false;
  bool showUI_ = true;
  char filename_[256] = {};
  std::uint16_t fileFormat_ = ffBMP;
};

// The sources the manager lists (DAT_IDENTITY, MSG_GETFIRST then MSG_GETNEXT), in its order,
// the manager opened first when it is not; none when it cannot be reached.
std::vector<TW_IDENTITY> ListDataSources(TZELTWAIN& twain);

}  // namespace scanning
