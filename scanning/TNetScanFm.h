#pragma once
// The scanning window of the TWAIN road: the user names a group of pictures, picks a format and a
// folder, scans in the source's own window, and previews and saves the pages. It owns the
// program's TWAIN component and holds the scanner's lock while it is in use.
#include <QDialog>
#include <QImage>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/DeviceData.h"
#include "scanning/PictureFiles.h"
#include "scanning/PictureImage.h"
#include "scanning/PreviewPicture.h"
#include "scanning/TSaveScanningThread.h"
#include "scanning/TZELTWAIN.h"

class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTimer;
class QToolButton;

namespace scanning {

class TSaveFileFm;

class TNetScanFm : public QDialog, public SaveScanningHost {
  Q_OBJECT
 public:
  explicit TNetScanFm(QWidget* parent = nullptr);
  ~TNetScanFm() override;

  // --- Set by Scan Now before the window is shown.
  bool TwainPresent = false;
  core::DeviceData Device;   // the copy of the row taken before the window opened
  std::string HostName;     // this computer's name, as the main window holds it
  bool Locked = false;
  std::string DefaultFolder;
  // The device's row as the device list shows it now (none when it has left the list); Scan Now
  // sets it. Without it the copy above stands.
  std::function<std::optional<core::DeviceData>()> DeviceNow;

  // How the window asks for a file to save to and for a folder; tests replace them.
  std::function<std::string()> SaveDialogExecute;
  std::function<std::string(const std::string& initial)> ChooseFolder;
  // Opens a folder or a picture the way the desktop does.
  std::function<void(const std::string& path)> OpenInShell;

  // --- Controls.
  QLabel* SrcLabel;
  QLineEdit* FileNameEdit;
  QComboBox* FileFmtComboBox;
  QComboBox* FileFmtComboBox1;  // hidden: "JPG", "BMP", "PDF"
  QLineEdit* FilePathEdit;
  QPushButton* BrowseBtn;
  QLabel* PageLabel;
  QLineEdit* LocationEdit;
  QLabel* InfoSText_FileName;
  QLabel* InfoSText_Pixel;
  QLabel* InfoSText_CM;
  QLabel* InfoSText_Res;
  QLabel* InfoSText_Bits;
  QLabel* InfoSText_FSize;
  QPushButton* ScanBtn;
  QPushButton* CloseBtn;
  QLabel* NoteSText;
  QPushButton* PBtn;
  QPushButton* NBtn;
  QLabel* IndexLabel;
  QLabel* TotalLabel;
  QScrollArea* MainPanel;
  PreviewPicture* ScanImage;
  QLabel* ScaleLabel;
  QToolButton* ZInTBtn;
  QToolButton* ZOutTBtn;
  QToolButton* OPSizeTBtn;
  QToolButton* ActualTBtn;
  QToolButton* SaveBtn;
  QLabel* NoteLabel1;
  QLabel* NoteLabel21;
  QLabel* NoteLabel22;
  QFileDialog* SaveDialog;
  QTimer* TimeoutTimer;
  QTimer* SaveFileTimer;
  TSaveFileFm* SaveFileFm;
  TZELTWAIN ZELTwain;

  // Marks TWAIN present and starts the component when a source is installed (once: later calls
  // only report); true when TWAIN is present. Scan Now and the set-up wizard's source list use it.
  bool StartTwain();

  // --- Window events and commands.
  void FormCreate();
  void FormShow();
  void ResetInfo();
  void ScanBtnClick();
  void ZELTwainScanStart();
  void ZELTwainScanReady();
  void ZELTwainScanCancel();
  void ZELTwainScanClose();
  void SaveFileTimerTimer();
  void TimeoutTimerTimer();
  void NBtnClick();
  void PBtnClick();
  void FileFmtComboBoxChange();
  void BrowseBtnClick();
  void ZInTBtnClick();
  void ZOutTBtnClick();
  void OPSizeTBtnClick();
  void ActualTBtnClick();
  void MainPanelResize();
  void SaveBtnClick();
  void LocationEditClick();
  void InfoSText_FileNameClick();
  void FormClose();
  void SavePictureAs();
  void ShowPage(int index);

  // --- What the window shows and holds.
  const std::string& GroupFileName() const { return groupFile_; }
  int PageCount() const { return pageCount_; }
  int CurrentPage() const { return currentPage_; }
  int Scale() const { return scale_; }
  int FitScale() const { return fitScale_; }
  bool TemporaryJpegsExist() const { return temporaryJpegs_; }
  // Where a PDF group's pages wait: a folder of the window's own, made for the first PDF group and
  // removed on close; empty while there is none.
  const std::string& TemporaryFolder() const { return temporaryFolder_; }
  const QImage& Preview() const { return preview_; }
  bool Saving() const { return savingThread_ != nullptr; }

  // --- SaveScanningHost: the saving thread's calls, on the UI thread.
  std::string GroupFile() override { return groupFile_; }
  std::string TemporaryBase() override { return temporaryBase_; }
  void ShowSaveError(const std::string& text) override;
  void EnablePaging() override;
  void SetTemporaryJpegs(bool exist, const std::string& lastPdf) override;
  std::vector<std::string> PageFiles() override;
  std::vector<int> PageResolutions() override;
  bool ReplaceAgreed() override;
  void SetPictureFiles(const std::vector<std::string>& files) override;
  void SaveDone(int pageCount, bool saveFailed) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void done(int result) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* buildLeftPanel();
  QWidget* buildRightPanel();
  void buildSaveDialog();
  bool sourceWindowUp() const;
  bool makeTemporaryBase();
  void removeTemporaryFolder();
  void keepPendingPages();
  std::vector<std::string> keptPages();
  void setControlsEnabled(bool enabled);
  void afterScanEnds();
  bool relock();  // after the idle unlock: the device locked again, unless another computer holds it
  void resetPaging();
  void closeSource();
  void deleteTemporaryJpegs(const std::string& base, int pages);
  void message(const std::string& text);
  int ask(const std::string& text);
  void ShowPageInfo(int n, const std::string& file);
  void FormatPictureInfo(int bits, int dpi);
  void applyScale(bool zoomIn);
  std::string chosenExtension() const;  // "jpg", "bmp" or "pdf", as the format box says now
  std::string groupKind() const;        // "JPG", "BMP" or "PDF", as the group was scanned
  std::string groupBase() const;        // the group file without its extension
  std::string pageFileOf(int n) const; // the page's BMP while scanning
  std::string previewFileOf(int n) const;
  bool savePreviewAs(const std::string& file, int dpi, bool replaceAgreed);
  bool savePdfPage(const PixelRows& rows, const std::string& file, int dpi);
  bool loadPreview(const std::string& file);  // false: the page could not be read

  QWidget* leftPanel_ = nullptr;
  QWidget* rightPanel_ = nullptr;
  std::string groupFile_;
  std::string temporaryFolder_;
  std::string temporaryBase_;
  bool replaceAgreed_ = false;  // all names were taken and the user said to replace the plain one
  std::vector<std::string> pageFiles_;     // the BMP pages as written, in page order
  std::vector<int> pageResolutions_;       // each page's dpi, in page order
  std::vector<std::string> pictureFiles_;  // the group's pictures as saved, for paging
  bool pagesPending_ = false;  // pages written that no saving thread took
  int pageCount_ = 0;
  int currentPage_ = 0;
  int fitScale_ = 0;
  int scale_ = 0;
  bool temporaryJpegs_ = false;
  std::string lastPdf_;
  QImage preview_;
  int previewDpi_ = 0;
  int previewBits_ = 0;  // the shown page file's depth
  TW_IMAGEINFO imageInfo_{};
  std::unique_ptr<TSaveScanningThread> savingThread_;
};

}  // namespace scanning
