#pragma once
// Turns a scanned batch of BMP page files into the group the user asked for: BMP pages with the
// resolution written in, JPEG pages, or one PDF document. Runs beside the UI thread; everything it
// asks of the scanning window runs on the UI thread.
#include <string>
#include <vector>

#include "platform/Thread.h"

namespace scanning {

// What the saving thread needs of the scanning window. Every call arrives on the UI thread.
class SaveScanningHost {
 public:
  virtual ~SaveScanningHost() = default;
  virtual std::string GroupFile() = 0;      // folder + name + "." + format
  virtual std::string TemporaryBase() = 0;  // where a PDF group's pages wait
  virtual void ShowSaveError(const std::string& text) = 0;
  virtual void EnablePaging() = 0;
  // A PDF group's page JPEGs stay for the preview; `exist` says the window may delete them later.
  virtual void SetTemporaryJpegs(bool exist, const std::string& lastPdf) = 0;
  virtual void SaveDone(int pageCount, bool saveFailed) = 0;
};

// Converts one BMP page file into a JPEG file at quality 75 carrying dpi. The BMP stays.
// width/height receive the picture's size. False when anything failed (no JPEG left behind).
bool ConvertPageToJpeg(const std::string& bmp, const std::string& jpeg, int dpi, int* width = nullptr,
                       int* height = nullptr);

class TSaveScanningThread : public platform::Thread {
 public:
  explicit TSaveScanningThread(SaveScanningHost& host);
  ~TSaveScanningThread() override;

  int PageCount = 0;
  int dpi = 0;
  int bits = 0;  // kept with the group, not used

 protected:
  void execute() override;
  // Writes the group by its extension.
  virtual void saveGroup();

 private:
  void saveBmpGroup();
  void saveJpgGroup();
  void savePdfGroup();
  void fail(const std::string& text);

  SaveScanningHost& host_;
  std::string base_;
  std::string groupFile_;
  std::string extension_;
  std::string temporaryBase_;
  bool saveFailed_ = false;
};

}  // namespace scanning
