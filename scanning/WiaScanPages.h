#pragma once
// The save window's transfer without its widgets: the data callback the device manager calls
// during each page, the page loop over the device's feeder or flat bed, and the BMP pages turned
// into JPEG files afterwards when the user asked for JPEG.
#include <cstdint>
#include <string>

#include "platform/Wia.h"

namespace scanning {

// Program-wide flags of the transfer: Cancel sets the first; the callback's first status message
// of a page sets the second.
inline bool StopRequested = false;
inline bool PageStarted = false;

// What the loop shows; the save window implements it.
class WiaSaveView {
 public:
  virtual ~WiaSaveView() = default;
  virtual void Log(const std::string& line) = 0;
  virtual void Message(const std::string& text) = 0;
  virtual void SetLocation(const std::string& folder) = 0;
  virtual void SetPicture(const std::string& name) = 0;
  virtual void SetScanProgress(int percent, const std::string& label) = 0;
  virtual void ShowPreview(const std::string& file, bool jpeg) = 0;
  virtual void SetCancelLabel(const std::string& text) = 0;
  virtual void SetSaveProgress(int position, int maximum) = 0;
  virtual void ProcessMessages() = 0;
  // Where the transfer makes the folder of its own that the device writes the pages into.
  virtual std::string TemporaryFolder();
};

inline constexpr const char* kWiaScanCanceled = "The user canceled the scan.";
inline constexpr const char* kWiaFeederEmpty =
    "The user requested a scan and there are no documents left in the document feeder.";

// The data callback: progress into the view, the user's cancel into the device manager.
class CWiaDataCallback final : public platform::wia::IWiaDataCallback {
 public:
  static platform::wia::ComPtr<CWiaDataCallback> Create(WiaSaveView& view);
  platform::wia::HResult QueryInterface(const platform::wia::Guid& iid, void** object) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;
  platform::wia::HResult BandedDataCallback(std::int32_t message, std::int32_t status,
                                            std::int32_t percentComplete, std::int32_t offset,
                                            std::int32_t length, std::int32_t reserved,
                                            std::int32_t reservedLength, std::uint8_t* buffer) override;

 private:
  explicit CWiaDataCallback(WiaSaveView& view) : view_(view) {}
  ~CWiaDataCallback() = default;
  WiaSaveView& view_;
  platform::wia::RefCount refs_;
};

struct WiaScanOutcome {
  int pages = 0;
  bool backEnabled = false;  // "< Back" may be used (nothing was stopped)
  std::string lastPicture;   // the name the Picture edit shows at the end
};

// The whole transfer with the program's WIA state (Wia()): the device writes each page into a
// folder of the transfer's own, and the page then takes its name in the save parameters' folder,
// converted to the format asked for where needed. The caller clears StopRequested before.
WiaScanOutcome ScanWiaPages(WiaSaveView& view);

}  // namespace scanning
