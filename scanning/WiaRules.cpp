#include "scanning/WiaRules.h"

#include <cctype>
#include <cstdio>

#include "core/MessageTable.h"
#include "scanning/FileClaims.h"
#include "scanning/PictureFiles.h"

namespace scanning {

WiaGroupName ChooseWiaGroupName(const std::string& folder, const std::string& name,
                                const std::string& ext,
                                const std::function<bool(const std::string&)>& exists) {
  std::string lower = ext;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  WiaGroupName out;
  out.fullName = folder + name + "." + lower;
  if (out.fullName.size() > kWiaMaxFullName) {
    out.result = WiaGroupResult::TooLong;
    return out;
  }
  const auto taken = [&](const std::string& candidate) {
    const std::string base = folder + candidate;
    return exists(base + "." + lower) || exists(base + ".bmp") || exists(base + ".jpg");
  };
  for (int k = 0; k <= 1000; ++k) {
    std::string candidate = name;
    if (k > 0) {
      char digits[8];
      std::snprintf(digits, sizeof digits, " %03d", k);
      candidate += digits;
    }
    if (!taken(candidate)) {
      out.name = candidate;
      return out;
    }
  }
  out.result = WiaGroupResult::AllTaken;
  out.name = name;
  return out;
}

WiaGroupChoice ChooseWiaGroup(const std::string& folderText, const std::string& name,
                              const std::string& ext) {
  WiaGroupChoice choice;
  choice.folder = WithSeparator(folderText);
  if (!NameStaysInFolder(name)) {
    choice.refusal = NameLeavesFolderText(name);
    return choice;
  }
  choice.group = ChooseWiaGroupName(choice.folder, name, ext, PathTaken);
  if (choice.group.result == WiaGroupResult::TooLong)
    choice.refusal = core::LoadMessage("SFile_Save_Err") + "\n\n" + choice.group.fullName;
  return choice;
}

std::string WiaPageSuffix(int index) {
  if (index <= 0) return {};
  char digits[16];
  std::snprintf(digits, sizeof digits, "_%03d", index);
  return digits;
}

PreviewBox FitPreviewBox(int pictureWidth, int pictureHeight, int boxWidth, int boxHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0) return {boxWidth, boxHeight};
  const long long w = pictureWidth, h = pictureHeight;
  // The box ratio at least the picture's (boxHeight / boxWidth >= h / w): keep the width.
  if (static_cast<long long>(boxHeight) * w >= h * boxWidth)
    return {boxWidth, static_cast<int>(boxWidth * h / w)};
  return {static_cast<int>(boxHeight * w / h), boxHeight};
}

bool LooksLikeBmp(const std::uint8_t* bytes, std::size_t size) {
  return size >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

namespace {
// A decoded preview never needs more than this many pixels.
constexpr long long kMaxPixels = 64LL * 1024 * 1024;
}  // namespace

std::optional<DecodedPicture> DecodeJpegScaled(const std::uint8_t* bytes, std::size_t size, int scale) {
  if (!bytes || size < 4 || (scale != 1 && scale != 2 && scale != 4 && scale != 8)) return std::nullopt;
  DecodedPicture picture;
  const bool ok = DecodeJpeg(bytes, size, scale, JpegPixels::Rgb, kMaxPixels, [&](int width, int height, bool) {
    picture.width = width;
    picture.height = height;
    picture.rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
    return JpegRows{picture.rgb.data(), static_cast<std::size_t>(width) * 3};
  });
  if (!ok) return std::nullopt;
  return picture;
}

}  // namespace scanning
