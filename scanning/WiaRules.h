#pragma once
// What the WIA road's windows decide, without a display: the group name that collides with no
// file, the page files, the preview's size, and the preview's JPEG decoded at a reduced scale.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace scanning {

inline constexpr std::size_t kWiaNameLimit = 64;     // characters in the name edit
inline constexpr std::size_t kWiaMaxFullName = 250;  // folder + name + extension

enum class WiaGroupResult { Free, TooLong, AllTaken };
struct WiaGroupName {
  WiaGroupResult result = WiaGroupResult::Free;
  std::string name;      // the group name chosen (the plain name when all are taken)
  std::string fullName;  // folder + name + "." + ext, as checked against the limit
};

// The first free name among Name, "Name 001" ... "Name 999", "Name 1000"; a name is free when
// neither its ".ext", ".bmp" nor ".jpg" file exists in the folder. `ext` without its dot.
WiaGroupName ChooseWiaGroupName(const std::string& folder, const std::string& name,
                                const std::string& ext,
                                const std::function<bool(const std::string&)>& exists);

// What the settings window makes of the folder and name the user typed: the folder with its
// closing separator (a folder typed without one is that folder), the free group name, or the
// message that refuses them (a name that names another folder, a name too long).
struct WiaGroupChoice {
  std::string folder;
  WiaGroupName group;
  std::string refusal;  // empty when the name can be used
};
WiaGroupChoice ChooseWiaGroup(const std::string& folderText, const std::string& name,
                              const std::string& ext);

// "" for the first page, "_001" for the second, "_002" for the third...
std::string WiaPageSuffix(int index);

// The preview box fitted to a picture's proportions inside the design box.
struct PreviewBox {
  int width = 0, height = 0;
};
inline constexpr int kPreviewWidth = 145;
inline constexpr int kPreviewHeight = 200;
PreviewBox FitPreviewBox(int pictureWidth, int pictureHeight, int boxWidth = kPreviewWidth,
                         int boxHeight = kPreviewHeight);

// A JPEG decoded at 1/scale of its size (scale 1, 2, 4 or 8) to RGB rows, top row first.
struct DecodedPicture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // width * 3 bytes a row
};
// nullopt for bytes that are no JPEG this decoder reads (truncated, malformed, oversized).
std::optional<DecodedPicture> DecodeJpegScaled(const std::uint8_t* bytes, std::size_t size, int scale);

// The first bytes of a bitmap file.
bool LooksLikeBmp(const std::uint8_t* bytes, std::size_t size);

}  // namespace scanning
