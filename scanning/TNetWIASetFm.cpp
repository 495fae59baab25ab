#include "scanning/TNetWIASetFm.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/MessageBoxes.h"
#include "core/MessageTable.h"
#include "scanning/FileNames.h"
#include "scanning/PictureFolder.h"
#include "scanning/WiaAccess.h"
#include "scanning/WiaRules.h"

namespace scanning {
namespace {

using core::kProductName;

QLabel* boldLabel(const QString& text, QWidget* parent, int points = 0) {
  auto* l = new QLabel(text, parent);
  QFont f = l->font();
  f.setBold(true);
  if (points > 0) f.setPointSize(points);
  l->setFont(f);
  return l;
}

}  // namespace

bool BrowseForFolder(const std::string& startFolder, std::string& path, std::string& displayName) {
  path.clear();
  displayName.clear();
  const QString chosen =
      QFileDialog::getExistingDirectory(nullptr, "Select a destination folder", PathText(startFolder));
  if (chosen.isEmpty()) return false;
  path = PathBytes(chosen);
  displayName = std::filesystem::path(path).filename().string();
  return true;
}

TNetWIASetFm::TNetWIASetFm(QWidget* parent) : QDialog(parent) {
  setObjectName("NetWIASetFm");
  setWindowTitle("Network Scanner");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
  ChooseFolder = [](const std::string& start) {
    std::string path, name;
    return BrowseForFolder(start, path, name) ? path : std::string();
  };

  auto* top = new QVBoxLayout(this);
  auto* header = new QWidget(this);
  header->setAutoFillBackground(true);
  QPalette pal = header->palette();
  pal.setColor(QPalette::Window, Qt::white);
  header->setPalette(pal);
  auto* headerLayout = new QVBoxLayout(header);
  headerLayout->addWidget(boldLabel("        Picture Name and Destination ", header, 11));
  headerLayout->addWidget(new QLabel("Select a name and destination for your pictures.", header));
  top->addWidget(header);

  auto* form = new QVBoxLayout;
  form->setContentsMargins(24, 12, 24, 12);
  form->addWidget(new QLabel("1. Type a name for this group of pictures :", this));
  FileNameEdit = new QLineEdit("Picture", this);
  FileNameEdit->setObjectName("FileNameEdit");
  FileNameEdit->setMaxLength(static_cast<int>(kWiaNameLimit));
  form->addWidget(FileNameEdit);
  form->addSpacing(8);
  form->addWidget(new QLabel("2. Select a file format :", this));
  FileFmtComboBox = new QComboBox(this);
  FileFmtComboBox->setObjectName("FileFmtComboBox");
  FileFmtComboBox->addItems({"JPG (JPEG Image)", "BMP (Bitmap Image)"});
  form->addWidget(FileFmtComboBox);
  FileFmtComboBox1 = new QComboBox(this);
  FileFmtComboBox1->addItems({"JPG", "BMP", ""});
  FileFmtComboBox1->hide();
  form->addSpacing(8);
  form->addWidget(new QLabel("3. Choose a place to save this group of pictures :", this));
  auto* folderRow = new QHBoxLayout;
  FilePathEdit = new QLineEdit(this);
  FilePathEdit->setObjectName("FilePathEdit");
  BrowseBtn = new QPushButton("Browse ...", this);
  folderRow->addWidget(FilePathEdit, 1);
  folderRow->addWidget(BrowseBtn);
  form->addLayout(folderRow);
  top->addLayout(form);
  top->addStretch(1);

  auto* buttons = new QHBoxLayout;
  BackBtn = new QPushButton("< Back", this);
  NextBtn = new QPushButton("Next >", this);
  CancelBtn = new QPushButton("Cancel", this);
  NextBtn->setDefault(true);
  buttons->addStretch(1);
  buttons->addWidget(BackBtn);
  buttons->addWidget(NextBtn);
  buttons->addSpacing(12);
  buttons->addWidget(CancelBtn);
  top->addLayout(buttons);
  setFixedSize(480, 360);

  connect(FileFmtComboBox, &QComboBox::currentIndexChanged, this, [this] { FileFmtComboBoxChange(); });
  connect(BrowseBtn, &QPushButton::clicked, this, [this] { BrowseBtnClick(); });
  connect(NextBtn, &QPushButton::clicked, this, [this] { NextBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { done(kWiaCancel); });
  connect(BackBtn, &QPushButton::clicked, this, [this] { done(kWiaBack); });
}

void TNetWIASetFm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TNetWIASetFm::FormShow() {
  DefaultFolder = DefaultPictureFolder();
  if (FilePathEdit->text().isEmpty()) {
    FilePathEdit->setText(PathText(DefaultFolder));
    FilePathEdit->setCursorPosition(static_cast<int>(FilePathEdit->text().size()));
  }
}

void TNetWIASetFm::FileFmtComboBoxChange() {
  FileFmtComboBox1->setCurrentIndex(FileFmtComboBox->currentIndex());
}

void TNetWIASetFm::BrowseBtnClick() {
  const std::string start = FilePathEdit->text().isEmpty() ? DefaultFolder : PathBytes(FilePathEdit->text());
  const std::string chosen = ChooseFolder(start);
  if (chosen.empty()) return;
  FilePathEdit->setText(PathText(WithSeparator(chosen)));
  FilePathEdit->setCursorPosition(static_cast<int>(FilePathEdit->text().size()));
}

void TNetWIASetFm::NextBtnClick() {
  const auto message = [](const std::string& text) {
    platform::messageBoxes().show(text, kProductName, platform::kMbOk);
  };
  const std::string name = PathBytes(FileNameEdit->text());
  const std::string folder = PathBytes(FilePathEdit->text());
  if (name.empty()) return message(core::LoadMessage("SNo_PFile_Name"));
  if (folder.empty()) return message(core::LoadMessage("SNo_PFile_Path"));
  std::string ext = FileFmtComboBox1->currentText().toStdString();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const WiaGroupChoice choice = ChooseWiaGroup(folder, name, ext);
  if (!choice.refusal.empty()) return message(choice.refusal);
  const WiaGroupName& group = choice.group;
  if (group.result == WiaGroupResult::AllTaken &&
      platform::messageBoxes().show(core::LoadMessage("SFile_Open_Exist"), windowTitle().toStdString(),
                               platform::kMbYesNo) != platform::kIdYes)
    return;
  Wia().save = {choice.folder, group.name, "." + ext, group.result == WiaGroupResult::AllTaken};
  done(kWiaNext);
}

}  // namespace scanning
