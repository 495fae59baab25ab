#include "scanning/PictureFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <filesystem>
#include <unistd.h>

#include "scanning/FileNames.h"

namespace scanning {
std::string ChooseDefaultFolder(const FolderChoices& choices,
                                const std::function<bool(const std::string&)>& writableFolder) {
  for (const std::string* folder : {&choices.pictures, &choices.program})
    if (!folder->empty() && writableFolder(*folder)) return WithSeparator(*folder);
  return WithSeparator(choices.home);
}

bool IsWritableFolder(const std::string& folder) {
  std::error_code ec;
  return std::filesystem::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string DefaultPictureFolder() {
  const FolderChoices choices{
      PathBytes(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)),
      PathBytes(QCoreApplication::applicationDirPath()), PathBytes(QDir::homePath())};
  return ChooseDefaultFolder(choices, IsWritableFolder);
}

}  // namespace scanning
