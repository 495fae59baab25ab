#include "scanning/NetScanRules.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace scanning {

namespace {

// The base of a later page's file: "Name" for "Name_12.bmp" (the page number as PageFile writes
// it, 2 or more); empty for any other name.
std::string laterPageBase(const std::string& file) {
  const auto dot = file.rfind('.');
  if (dot == std::string::npos) return {};
  const std::string ext = file.substr(dot);
  if (ext != ".bmp" && ext != ".jpg") return {};
  const auto bar = file.rfind('_', dot);
  if (bar == std::string::npos || bar + 1 == dot || file[bar + 1] == '0') return {};
  const std::string number = file.substr(bar + 1, dot - bar - 1);
  if (!std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); }))
    return {};
  if (number == "1") return {};
  return file.substr(0, bar);
}

}  // namespace

GroupName ChooseGroupFile(const std::string& folder, const std::string& name,
                          const std::string& ext, const std::set<std::string>& existing,
                          const std::function<bool(const std::string&)>& pathTaken) {
  const std::string plain = folder + name + "." + ext;
  if (plain.size() > kMaxGroupFile) return {GroupNameResult::TooLong, plain};
  const bool pagesBeside = ext == "bmp" || ext == "jpg";
  std::set<std::string> laterPages;
  if (pagesBeside)
    for (const std::string& file : existing)
      if (std::string base = laterPageBase(file); !base.empty()) laterPages.insert(std::move(base));
  auto taken = [&](const std::string& base) {
    for (const std::string& e : {"." + ext, std::string(".bmp"), std::string(".jpg")})
      if (existing.contains(base + e) || pathTaken(folder + base + e)) return true;
    return laterPages.contains(base);
  };
  for (int k = 0; k <= 1000; ++k) {
    const std::string base = name + (k ? std::to_string(k) : std::string());
    if (!taken(base)) return {GroupNameResult::Free, folder + base + "." + ext};
  }
  return {GroupNameResult::AllTaken, plain};
}

std::set<std::string> FileNamesIn(const std::string& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.insert(it->path().filename().string());
  return names;
}

std::string DecimalText(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

PictureInfo FormatPictureInfo(int width, int height, int bits, int dpi) {
  PictureInfo info;
  info.bits = std::to_string(bits) + " bit(s)";
  info.pixels = std::to_string(width) + " x " + std::to_string(height) + " pixels";
  const double size = std::trunc(static_cast<double>(width) * height * bits * 0.125);
  if (size <= 1024)
    info.fileSize = DecimalText(size) + " Bytes";
  else if (size < 1048576)
    info.fileSize = DecimalText(std::trunc(size / 1024 * 10 + 0.5) * 0.1) + " KB";
  else
    info.fileSize = DecimalText(std::trunc(size / 1048576 * 10 + 0.5) * 0.1) + " MB";
  if (dpi > 0) {
    const double mmW = std::trunc(width / static_cast<double>(dpi) * 25.4);
    const double mmH = std::trunc(height / static_cast<double>(dpi) * 25.4);
    if (mmW > 0) {
      info.dimensions = DecimalText(mmW * 0.1) + " x " + DecimalText(mmH * 0.1) + " cm";
      info.resolution = std::to_string(dpi) + " dpi";
    }
  }
  return info;
}

FitSize FitPicture(int boxWidth, int boxHeight, int width, int height) {
  FitSize f{width, height, 100};
  if (width <= 0 || height <= 0) return f;
  if (f.width > boxWidth - 16) {
    f.width = std::max(1, boxWidth - 16);
    f.height = static_cast<int>(static_cast<long long>(f.width) * height / width);
  }
  if (f.height > boxHeight - 16) {
    f.height = std::max(1, boxHeight - 16);
    f.width = static_cast<int>(static_cast<long long>(f.height) * width / height);
  }
  f.scale = static_cast<int>(static_cast<double>(f.width) / width * 100);
  return f;
}

int ZoomInScale(int scale) { return scale < 300 ? std::min(300, scale + (10 - scale % 10)) : scale; }

int ZoomOutScale(int scale, int fitScale) {
  if (scale <= fitScale) return scale;
  return std::max(fitScale, scale - (10 - scale % 10));
}

}  // namespace scanning
