#pragma once
// The WIA road's save window: the pages transferred one file each into the chosen folder, each
// shown as it arrives, and turned into JPEG files at the end when the device delivered BMP.
#include <QDialog>
#include <QImage>
#include <functional>
#include <string>

#include "scanning/WiaScanPages.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;

namespace scanning {

class TNetWIASaveFm : public QDialog, public WiaSaveView {
  Q_OBJECT
 public:
  explicit TNetWIASaveFm(QWidget* parent = nullptr);

  // Opens a folder or a picture the way the desktop does; tests replace it.
  std::function<void(const std::string& path)> OpenInShell;

  QLineEdit* Edit_Location;
  QLineEdit* Edit_FileName;
  QProgressBar* ScanProgressBar;
  QLabel* PercentLabel;
  QProgressBar* SaveProgressBar;
  QLabel* ScanImage;
  QLabel* CancelLabel;
  QPushButton* CancelBtn;
  QPushButton* BackBtn;
  QListWidget* LogList;
  QTimer* Timer;

  void FormShow();
  void TimerTimer();
  void ScanPages();
  void CancelBtnClick();
  void Edit_LocationClick();
  void Edit_FileNameClick();
  void ScanImageClick();

  bool Transferring() const { return transferring_; }
  const QImage& Preview() const { return preview_; }
  const WiaScanOutcome& Outcome() const { return outcome_; }

  // --- WiaSaveView
  void Log(const std::string& line) override;
  void Message(const std::string& text) override;
  void SetLocation(const std::string& folder) override;
  void SetPicture(const std::string& name) override;
  void SetScanProgress(int percent, const std::string& label) override;
  void ShowPreview(const std::string& file, bool jpeg) override;
  void SetCancelLabel(const std::string& text) override;
  void SetSaveProgress(int position, int maximum) override;
  void ProcessMessages() override;
  std::string TemporaryFolder() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Escape: Cancel during a transfer, the close box otherwise.
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void requestStop();  // what Cancel does during a transfer
  bool transferring_ = false;
  bool closeWhenDone_ = false;  // the close box was used during the transfer
  QImage preview_;
  WiaScanOutcome outcome_;
};

}  // namespace scanning
