#pragma once
// The folder a group of pictures goes to unless the user picks another: one that exists and this
// user can write, so that the pages of a fresh account are not lost.
#include <functional>
#include <string>

#include "scanning/FileClaims.h"

namespace scanning {

struct FolderChoices {
  std::string pictures;  // the desktop's pictures folder, empty when it names none
  std::string program;   // the program's own folder
  std::string home;
};

// My Pictures when it is a folder this user can write, else the program's folder, else home
// (also when home cannot be written: the page's failure then says why). Ends with "/".
std::string ChooseDefaultFolder(const FolderChoices& choices,
                                const std::function<bool(const std::string&)>& writableFolder);

bool IsWritableFolder(const std::string& folder);

// The choice over this desktop's folders; both scanning roads take their default from here.
std::string DefaultPictureFolder();

}  // namespace scanning
