#pragma once
// What the scanning window decides, without a display: the group's file name, the picture's
// information texts and the preview's zoom steps.
#include <functional>
#include <set>
#include <string>

namespace scanning {

// A group file name longer than this is refused.
inline constexpr std::size_t kMaxGroupFile = 250;

enum class GroupNameResult { Free, TooLong, AllTaken };
struct GroupName {
  GroupNameResult result = GroupNameResult::Free;
  std::string file;  // folder + name (+ k) + "." + ext; the plain name when all are taken
};

// The first free group name: Name, then Name1 ... Name1000. A name is free when neither
// Name.ext, Name.bmp nor Name.jpg is taken (pages are written as BMP first, JPEG later) and, for a
// BMP or JPG group, whose later pages land beside it, no Name_n.bmp or Name_n.jpg (n >= 2) is in
// `existing` either (the names of the folder's files, without the folder, as far as it lists).
// `taken` asks about the very paths that will be written, so a folder that does not list still
// shows its files; the files are made exclusively in any case.
GroupName ChooseGroupFile(const std::string& folder, const std::string& name,
                          const std::string& ext, const std::set<std::string>& existing,
                          const std::function<bool(const std::string&)>& taken);
// The names of the files in a folder (none when it cannot be read).
std::set<std::string> FileNamesIn(const std::string& folder);

// The picture information texts for W x H pixels at `bits` and `dpi`.
struct PictureInfo {
  std::string bits, pixels, fileSize, dimensions, resolution;
};
PictureInfo FormatPictureInfo(int width, int height, int bits, int dpi);
// A number as the window prints it: no trailing zeros, no more digits than it has.
std::string DecimalText(double value);

// Zoom in percent. Fit only shrinks the picture into the box (less 16 pixels of margin).
struct FitSize {
  int width = 0, height = 0, scale = 100;
};
FitSize FitPicture(int boxWidth, int boxHeight, int width, int height);
int ZoomInScale(int scale);                 // the next multiple of ten, at most 300
int ZoomOutScale(int scale, int fitScale);  // the multiple of ten below, not below the fit

}  // namespace scanning
