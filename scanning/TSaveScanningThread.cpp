#include "scanning/TSaveScanningThread.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "core/MessageTable.h"
#include "scanning/PdfGroup.h"
#include "scanning/PictureFiles.h"

namespace scanning {
namespace {

std::string upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

// The extension with its dot; empty when the name's last part has none.
std::string extensionOf(const std::string& file) {
  const auto dot = file.find_last_of('.');
  const auto slash = file.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return file.substr(dot);
}

bool exists(const std::string& file) {
  std::error_code ec;
  return std::filesystem::exists(file, ec);
}

std::string saveError(const std::string& file) {
  return core::LoadMessage("SFile_Save_Err") + " : " + file;
}

}  // namespace

bool ConvertPageToJpeg(const std::string& bmp, const std::string& jpeg, int dpi, int* width,
                       int* height) {
  const auto picture = BmpPicture::Load(bmp);
  if (!picture || !SaveJpegWithResolution(picture->rows(), jpeg, dpi)) return false;
  if (width) *width = picture->width();
  if (height) *height = picture->height();
  return true;
}

TSaveScanningThread::TSaveScanningThread(SaveScanningHost& host) : host_(host) {}

TSaveScanningThread::~TSaveScanningThread() { waitFor(); }

void TSaveScanningThread::fail(const std::string& text) {
  saveFailed_ = true;
  synchronize([&] { host_.ShowSaveError(text); });
}

void TSaveScanningThread::execute() {
  synchronize([&] {
    temporaryBase_ = host_.TemporaryBase();
    groupFile_ = host_.GroupFile();
  });
  extension_ = extensionOf(groupFile_);
  base_ = groupFile_.substr(0, groupFile_.size() - extension_.size());
  saveFailed_ = false;

  const std::string kind = upper(extension_);
  if (kind == ".BMP") saveBmpGroup();
  else if (kind == ".JPG") saveJpgGroup();
  else if (kind == ".PDF") savePdfGroup();

  if (!saveFailed_ && PageCount > 1) synchronize([&] { host_.EnablePaging(); });
  synchronize([&] { host_.SaveDone(PageCount, saveFailed_); });
}

void TSaveScanningThread::saveBmpGroup() {
  for (int n = 1; n <= PageCount; ++n) {
    const std::string page = PageFile(base_, n, ".bmp");
    if (!WriteBmpResolution(page, dpi)) fail(saveError(page));
  }
}

// A page whose conversion failed keeps its BMP file, and the message says where it is.
void TSaveScanningThread::saveJpgGroup() {
  for (int n = 1; n <= PageCount; ++n) {
    const std::string jpeg = PageFile(base_, n, ".jpg");
    const std::string page = PageFile(base_, n, ".bmp");
    if (ConvertPageToJpeg(page, jpeg, dpi)) {
      std::remove(page.c_str());
    } else {
      std::string text = saveError(jpeg);
      if (exists(page)) text += "\n\nThe page is kept as " + page;
      fail(text);
    }
  }
}

// A failed group writes no document and keeps every page's JPEG (and the BMP of a page that could
// not be converted); the message names them, and the window is not told to delete them.
void TSaveScanningThread::savePdfGroup() {
  PdfGroup doc(PageCount);
  bool failed = !doc.opened();
  for (int n = 1; n <= PageCount; ++n) {
    const std::string jpeg = PageFile(temporaryBase_, n, ".jpg");
    const std::string page = PageFile(temporaryBase_, n, ".bmp");
    int width = 0, height = 0;
    if (!ConvertPageToJpeg(page, jpeg, dpi, &width, &height)) {
      failed = true;
      continue;
    }
    std::remove(page.c_str());
    if (!failed && !doc.addPage(n, width, height, dpi, jpeg)) failed = true;
  }
  if (!failed && doc.save(groupFile_)) {
    synchronize([&] { host_.SetTemporaryJpegs(true, groupFile_); });
    return;
  }
  std::string kept;
  for (int n = 1; n <= PageCount; ++n) {
    for (const char* ext : {".jpg", ".bmp"}) {
      const std::string f = PageFile(temporaryBase_, n, ext);
      if (exists(f)) kept += "\n" + f;
    }
  }
  std::string text = saveError(groupFile_);
  if (!kept.empty()) text += "\n\nThe pages are kept in these files:" + kept;
  fail(text);
  synchronize([&] { host_.SetTemporaryJpegs(false, std::string()); });
}

}  // namespace scanning
