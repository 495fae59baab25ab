#pragma once
// The TWAIN data source manager of this system: the library "TWAIN_32.DLL" with its entry
// DSM_Entry, the data sources it lists and opens, and the triplets it routes to them. Sources come
// from providers (this computer's simulated network scanners and its SANE devices by default;
// tests install their own). Everything runs on the user-interface thread; sources post their
// notifications to the application's message queue and answer them in DAT_EVENT.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/GlobalMemory.h"
#include "platform/Twain.h"

namespace platform::twain {

// --- The library.
// "TWAIN_32.DLL" (any letter case) while the manager is installed; 0 otherwise.
std::uint32_t LoadLibraryA(const char* name);
// "DSM_Entry" of a loaded manager; nullptr otherwise.
DSMENTRYPROC GetProcAddress(std::uint32_t module, const char* name);
bool FreeLibrary(std::uint32_t module);
// Tests take the manager away to see a program without one.
void setManagerInstalled(bool installed);

// The system's folder, under which each source keeps a file "*.ds" below "TWAIN_32".
std::string windowsDirectory();

// --- The source's own window (shown when the application enables it with ShowUI).
enum class SourceWindowChoice { Scan, Close };
struct SourceWindowInfo {
  std::string productName, manufacturer;
  TW_UINT32 parent = 0;  // the application's window that owns it (TW_USERINTERFACE.hParent)
};
class SourceWindows {
 public:
  virtual ~SourceWindows() = default;
  // Opens a window; `answer` runs on the UI thread for each button the user presses. 0: no window.
  virtual int open(const SourceWindowInfo& info, std::function<void(SourceWindowChoice)> answer) = 0;
  virtual void close(int window) = 0;
};
// The installed windows; without any, no source can show its window (enable fails).
SourceWindows* sourceWindows();
void setSourceWindows(SourceWindows* windows);  // not owned; nullptr: none

// --- Data sources.
struct PageDescription {
  int width = 0, height = 0;
  int bitsPerPixel = 24;  // 1, 8 or 24
  int xDpi = 300, yDpi = 300;
};

struct PageTransfer {
  TW_UINT16 rc = TWRC_FAILURE;  // TWRC_XFERDONE with a DIB, else TWRC_FAILURE or TWRC_CANCEL
  TW_UINT16 condition = TWCC_BUMMER;
  std::vector<std::uint8_t> dib;  // packed: header, colour table, bits
};

// The state machine every source shares: states 4 (open) to 7 (transferring), its window or the
// simulated user, the notifications, the transfer mechanism and resolution capabilities, the
// image information and the native transfer. What is scanned comes from the subclass.
class Source {
 public:
  explicit Source(TW_IDENTITY identity);
  virtual ~Source();
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  const TW_IDENTITY& identity() const { return identity_; }
  void setId(TW_UINT32 id) { identity_.Id = id; }
  int state() const { return state_; }
  TW_UINT16 condition() const { return condition_; }

  TW_UINT16 open(TW_UINT32 application);
  void close();
  // A triplet addressed to this open source.
  TW_UINT16 entry(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data);

 protected:
  // Opening the device behind the source; a condition code other than TWCC_SUCCESS refuses it.
  virtual TW_UINT16 openDevice() { return TWCC_SUCCESS; }
  virtual void closeDevice() {}
  // Whether the source scans at `dpi`.
  virtual bool acceptsResolution(int dpi) const = 0;
  virtual int defaultResolution() const = 0;
  // The next page as it will be scanned at `dpi`; nullopt: no page (the condition tells why).
  virtual std::optional<PageDescription> nextPage(int dpi, TW_UINT16& condition) = 0;
  virtual PageTransfer transferPage(int dpi) = 0;
  // After a page: what the source says is pending (0: none, 0xFFFF: not known).
  virtual TW_UINT16 pendingAfterPage() = 0;
  // The batch ends early (reset of the pending transfers, or the source disabled).
  virtual void endBatch() {}
  // A simulated user answers instead of a window: nullopt lets the window ask a person.
  virtual std::optional<SourceWindowChoice> simulatedUser() const { return std::nullopt; }
  // Posts a notification (MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK) to the application.
  void notify(TW_UINT16 msg);

 private:
  TW_UINT16 fail(TW_UINT16 condition);
  TW_UINT16 userInterface(TW_UINT16 msg, TW_USERINTERFACE* ui);
  TW_UINT16 processEvent(TW_EVENT* event);
  TW_UINT16 capability(TW_UINT16 msg, TW_CAPABILITY* cap);
  TW_UINT16 imageInfo(TW_IMAGEINFO* info);
  TW_UINT16 nativeTransfer(TW_HANDLE* handle);
  TW_UINT16 pendingTransfers(TW_UINT16 msg, TW_PENDINGXFERS* pending);
  void userChose(SourceWindowChoice choice);
  void closeWindow();

  TW_IDENTITY identity_;
  int state_ = 3;
  TW_UINT16 condition_ = TWCC_SUCCESS;
  TW_UINT32 parent_ = 0;
  int window_ = 0;
  bool xferReadySent_ = false;
  int xDpi_ = 0, yDpi_ = 0;
  std::optional<PageDescription> page_;
  std::shared_ptr<bool> alive_;
};

using SourceProvider = std::function<std::vector<std::unique_ptr<Source>>()>;
// The providers asked for sources each time the manager opens; empty restores the default
// (this computer's simulated scanners and, where its host says so, its SANE devices).
void setSourceProviders(std::vector<SourceProvider> providers);

// A source identity with the texts given and the version 1.0, protocol 1.7, image group.
TW_IDENTITY makeIdentity(const std::string& productName, const std::string& manufacturer,
                         const std::string& family);

}  // namespace platform::twain
