#pragma once
// The WIA road's settings window: the group name, the file format and the destination folder,
// checked, with a group name that collides with no file already there.
#include <QDialog>
#include <functional>
#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace scanning {

// The desktop's folder dialog, titled "Select a destination folder", opened at `startFolder`.
// False (and both outputs empty) when it was cancelled.
bool BrowseForFolder(const std::string& startFolder, std::string& path, std::string& displayName);

class TNetWIASetFm : public QDialog {
  Q_OBJECT
 public:
  explicit TNetWIASetFm(QWidget* parent = nullptr);

  std::string DefaultFolder;
  // The folder dialog, the folder as the file system names it; tests replace it. Empty: cancelled.
  std::function<std::string(const std::string& start)> ChooseFolder;

  QLineEdit* FileNameEdit;
  QComboBox* FileFmtComboBox;
  QComboBox* FileFmtComboBox1;  // hidden: "JPG", "BMP", ""
  QLineEdit* FilePathEdit;
  QPushButton* BrowseBtn;
  QPushButton* CancelBtn;
  QPushButton* NextBtn;
  QPushButton* BackBtn;

  void FormShow();
  void FileFmtComboBoxChange();
  void BrowseBtnClick();
  void NextBtnClick();

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace scanning
