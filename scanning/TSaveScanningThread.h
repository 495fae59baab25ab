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
  // The BMP page files as they were written, in page order (a page whose own name was taken
  // meanwhile has the next free one).
  virtual std::vector<std::string> PageFiles() = 0;
  // Each page's own resolution in dpi, in page order (a batch may mix them); a page without one
  // takes the thread's dpi.
  virtual std::vector<int> PageResolutions() { return {}; }
  // The user agreed to replace the files of the group's plain name.
  virtual bool ReplaceAgreed() = 0;
  // The group's pictures as saved, in page order, for the preview.
  virtual void SetPictureFiles(const std::vector<std::string>& files) = 0;
  virtual void ShowSaveError(const std::string& text) = 0;
  virtual void EnablePaging() = 0;
  // A PDF group's page JPEGs stay for the preview; `exist` says the window may delete them later.
  virtual void SetTemporaryJpegs(bool exist, const std::string& lastPdf) = 0;
  virtual void SaveDone(int pageCount, bool saveFailed) = 0;
};

// Pages that could not become their group: each one outside the group's folder moved to its page
// name from `base` there (base + ext, base + "_" n + ext, or the next free name), so that it
// outlives the window's own folder. A page that no folder takes stays where it is. Either way it is the user's from here
// (never removed by this run). The names they now have; a page no longer this run's file (put
// there by someone else) is not among them.
std::vector<std::string> KeepPagesBeside(const std::vector<std::string>& pages, const std::string& base);
// What the user is told of them after `message`.
std::string KeptPagesText(const std::string& message, const std::vector<std::string>& kept);

// Converts one BMP page file into a JPEG file at quality 75 carrying dpi. The BMP stays.
// width/height receive the picture's size. False when anything failed (no JPEG left behind).
bool ConvertPageToJpeg(const std::string& bmp, const std::string& jpeg, int dpi, int* width = nullptr,
                       int* height = nullptr);

class TSaveScanningThread : public platform::Thread {
 public:
  explicit TSaveScanningThread(SaveScanningHost& host);
  ~TSaveScanningThread() override;

  int PageCount = 0;
  int dpi = 0;  // the last page's, for pages without their own
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
  int dpiOf(int n) const;

  SaveScanningHost& host_;
  std::string base_;
  std::string groupFile_;
  std::string extension_;
  std::string temporaryBase_;
  std::vector<std::string> pages_;
  std::vector<int> resolutions_;
  bool replace_ = false;
  bool saveFailed_ = false;
};

}  // namespace scanning
