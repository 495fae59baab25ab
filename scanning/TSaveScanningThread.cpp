#include "scanning/TSaveScanningThread.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/MessageTable.h"
#include "scanning/FileClaims.h"
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

std::string folderOf(const std::string& file) { return file.substr(0, file.find_last_of('/') + 1); }

std::string saveError(const std::string& file) {
  return core::LoadMessage("SFile_Save_Err") + " : " + file;
}

}  // namespace

std::vector<std::string> KeepPagesBeside(const std::vector<std::string>& pages, const std::string& base) {
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const std::string& page = pages[i];
    if (page.empty() || !IsOwnFile(page)) continue;  // gone, or someone else's now
    const bool beside = folderOf(page) == folderOf(base);
    const std::string moved = beside ? page
        : MoveOwnFileToFree(page, PageFile(base, static_cast<int>(i) + 1, extensionOf(page)));
    kept.push_back(moved.empty() ? page : moved);
    KeepForUser(kept.back());
  }
  return kept;
}

std::string KeptPagesText(const std::string& message, const std::vector<std::string>& kept) {
  if (kept.empty()) return message;
  std::string text = message + "\n\nThe pages are kept in these files:";
  for (const std::string& f : kept) text += "\n" + f;
  return text;
}

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

int TSaveScanningThread::dpiOf(int n) const {
  const auto i = static_cast<std::size_t>(n - 1);
  return i < resolutions_.size() && resolutions_[i] > 0 ? resolutions_[i] : dpi;
}

void TSaveScanningThread::execute() {
  synchronize([&] {
    temporaryBase_ = host_.TemporaryBase();
    groupFile_ = host_.GroupFile();
    pages_ = host_.PageFiles();
    resolutions_ = host_.PageResolutions();
    replace_ = host_.ReplaceAgreed();
  });
  pages_.resize(static_cast<std::size_t>(std::max(0, PageCount)));
  extension_ = extensionOf(groupFile_);
  base_ = groupFile_.substr(0, groupFile_.size() - extension_.size());
  saveFailed_ = false;

  // Whatever goes wrong, the user hears of it and the window comes back with SaveDone.
  try {
    saveGroup();
  } catch (const std::exception& e) {
    fail(saveError(groupFile_) + "\n\n" + e.what());
  } catch (...) {
    fail(saveError(groupFile_));
  }

  if (!saveFailed_ && PageCount > 1) synchronize([&] { host_.EnablePaging(); });
  synchronize([&] { host_.SaveDone(PageCount, saveFailed_); });
}

void TSaveScanningThread::saveGroup() {
  const std::string kind = upper(extension_);
  if (kind == ".BMP") saveBmpGroup();
  else if (kind == ".JPG") saveJpgGroup();
  else if (kind == ".PDF") savePdfGroup();
}

// Only the pages this run wrote are patched: a file put in a page's place meanwhile is not ours.
// A saved page is the user's from here (as every group's pictures are): a later group's helper
// that wants its name takes another.
void TSaveScanningThread::saveBmpGroup() {
  for (int n = 1; n <= PageCount; ++n) {
    const std::string& page = pages_[static_cast<std::size_t>(n - 1)];
    if (!IsOwnFile(page) || !WriteBmpResolution(page, dpiOf(n))) fail(saveError(page));
    else KeepForUser(page);
  }
  synchronize([&] { host_.SetPictureFiles(pages_); });
}

// A page whose conversion failed keeps its BMP file, and the message says where it is. A JPEG
// name taken while the source's window was open takes the next free one. Only this run's own
// pages are read: a link or a FIFO put in a page's place is left alone (and the page is gone).
void TSaveScanningThread::saveJpgGroup() {
  std::vector<std::string> pictures;
  for (int n = 1; n <= PageCount; ++n) {
    const std::string& page = pages_[static_cast<std::size_t>(n - 1)];
    const std::string wanted = PageFile(base_, n, ".jpg");
    const std::string jpeg = !IsOwnFile(page) ? std::string() : WriteFileAt(wanted, replace_, [&](const std::string& name) {
      return ConvertPageToJpeg(page, name, dpiOf(n));
    });
    if (!jpeg.empty()) {
      RemoveOwnFile(page);
      KeepForUser(jpeg);
      pictures.push_back(jpeg);
    } else {
      std::string text = saveError(wanted);
      if (IsOwnFile(page)) {
        KeepForUser(page);
        text += "\n\nThe page is kept as " + page;
      }
      fail(text);
      pictures.push_back(page);
    }
  }
  synchronize([&] { host_.SetPictureFiles(pictures); });
}

// A failed group writes no document and keeps every page's JPEG (and the BMP of a page that could
// not be converted). They wait in the window's own folder, which goes when the window closes, so
// they move to the group's folder under free names; where that folder takes none (full, or
// read-only) they stay in the window's folder, which then stays too. The message says where.
void TSaveScanningThread::savePdfGroup() {
  PdfGroup doc(PageCount);
  bool failed = !doc.opened();
  std::vector<std::string> pictures;  // each page's JPEG, or its BMP where it has none
  for (int n = 1; n <= PageCount; ++n) {
    const std::string& page = pages_[static_cast<std::size_t>(n - 1)];
    int width = 0, height = 0;
    const std::string jpeg = !IsOwnFile(page) ? std::string()
        : WriteFileAt(PageFile(temporaryBase_, n, ".jpg"), false, [&](const std::string& name) {
            return ConvertPageToJpeg(page, name, dpiOf(n), &width, &height);
          });
    if (jpeg.empty()) {
      failed = true;
      pictures.push_back(page);
      continue;
    }
    RemoveOwnFile(page);
    pictures.push_back(jpeg);
    if (!failed && !doc.addPage(n, width, height, dpiOf(n), jpeg)) failed = true;
  }
  const std::string written = failed ? std::string()
      : WriteFileAt(groupFile_, replace_, [&](const std::string& name) { return doc.save(name); });
  const int why = errno;
  if (!written.empty()) {
    KeepForUser(written);
    synchronize([&] {
      host_.SetPictureFiles(pictures);
      host_.SetTemporaryJpegs(true, written);
    });
    return;
  }
  // Where the document itself could not be written (a full or read-only folder) the user hears why.
  const std::vector<std::string> kept = KeepPagesBeside(pictures, base_);
  fail(KeptPagesText(failed ? saveError(groupFile_)
                            : WriteFailureText(core::LoadMessage("SFile_Save_Err"), groupFile_, ErrnoText(why)),
                     kept));
  synchronize([&] { host_.SetTemporaryJpegs(false, std::string()); });
}

}  // namespace scanning
