#include "scanning/WiaScanPages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

#include "core/MessageTable.h"
#include "scanning/FileClaims.h"
#include "scanning/PictureFiles.h"
#include "scanning/WiaAccess.h"
#include "scanning/WiaRules.h"

namespace scanning {

namespace wia = platform::wia;
namespace fs = std::filesystem;

// ---- the data callback ----

wia::ComPtr<CWiaDataCallback> CWiaDataCallback::Create(WiaSaveView& view) {
  return wia::ComPtr<CWiaDataCallback>::adopt(new CWiaDataCallback(view));
}

wia::HResult CWiaDataCallback::QueryInterface(const wia::Guid& iid, void** object) {
  if (!object) return wia::E_POINTER;
  if (iid == wia::IID_IUnknown || iid == wia::IID_IWiaDataCallback) {
    *object = static_cast<wia::IWiaDataCallback*>(this);
    AddRef();
    return wia::S_OK;
  }
  *object = nullptr;
  return wia::E_NOINTERFACE;
}

std::uint32_t CWiaDataCallback::AddRef() { return refs_.add(); }

std::uint32_t CWiaDataCallback::Release() {
  const std::uint32_t left = refs_.drop();
  if (left == 0) delete this;
  return left;
}

wia::HResult CWiaDataCallback::BandedDataCallback(std::int32_t message, std::int32_t,
                                                  std::int32_t percentComplete, std::int32_t,
                                                  std::int32_t, std::int32_t, std::int32_t,
                                                  std::uint8_t*) {
  if (message == wia::IT_MSG_DATA) {
    view_.Log("IT_MSG_DATA");
  } else if (message == wia::IT_MSG_STATUS) {
    view_.ProcessMessages();
    if (!PageStarted) {
      view_.SetScanProgress(0, "0%");
      PageStarted = true;
    }
    view_.SetScanProgress(percentComplete, std::to_string(percentComplete) + "% complete");
    view_.ProcessMessages();
  }
  return StopRequested ? wia::S_FALSE : wia::S_OK;
}

// ---- the page loop ----

namespace {

std::vector<std::uint8_t> readAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

enum class PictureKind { Bmp, Jpeg, Other };

PictureKind kindOf(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::uint8_t head[3] = {};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  if (in.gcount() >= 2 && LooksLikeBmp(head, 2)) return PictureKind::Bmp;
  if (in.gcount() == 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return PictureKind::Jpeg;
  return PictureKind::Other;
}

// Creates `file` empty, as this run's own, where nothing has that name: 0, or the errno value that
// says why not.
int createFile(const std::string& file) {
  errno = 0;
  OwnFile f = OpenForWriting(file);
  if (!f) return errno ? errno : EIO;
  return CloseOwnFile(std::move(f)) ? 0 : (errno ? errno : EIO);
}

// A page's files: base is folder + group name + suffix.
struct PageFiles {
  std::string base;
  std::string picture;    // the name the user asked for, without the folder
  std::string delivered;  // the file the device writes
  bool mayReplace = false;  // the user agreed to replace this page's files
};

// The page's name: the first index from `index` on whose BMP and JPEG names are both free, so that
// no page lands on a file that was there before. The file the device writes is created first, so
// that nothing else takes the name meanwhile; a folder that cannot be written fails here, with
// errno's reason. Only the group's first page may replace files, when the user said so.
struct Reservation {
  int index = 0;
  PageFiles files;
  int error = 0;
};
Reservation reservePage(const WiaSaveParams& p, int index, const std::string& transferExt) {
  for (;; ++index) {
    Reservation r;
    r.index = index;
    r.files.base = p.folder + p.groupName + WiaPageSuffix(index);
    r.files.picture = p.groupName + WiaPageSuffix(index) + p.extension;
    r.files.delivered = r.files.base + transferExt;
    r.files.mayReplace = p.replaceFirst && index == 0;
    if (!r.files.mayReplace && (PathTaken(r.files.base + ".bmp") || PathTaken(r.files.base + ".jpg")))
      continue;
    r.error = createFile(r.files.delivered);
    // A file the user agreed to replace is written over by the device, not emptied before.
    if (r.files.mayReplace && r.error == EEXIST) r.error = 0;
    if (r.error != EEXIST) return r;
  }
}

// The delivered page written to `file` in the other format, with the scan's resolution (or the
// page's own when the scan's is unknown).
bool writeConverted(const std::string& delivered, const std::string& file, bool toJpeg, int dpi) {
  const auto save = [&](const PixelRows& rows, int ownResolution) {
    const int resolution = dpi > 0 ? dpi : ownResolution;
    return toJpeg ? SaveJpeg(rows, file, kJpegQuality) && WriteJpegResolution(file, resolution)
                  : SaveBmp(rows, file, resolution);
  };
  if (kindOf(delivered) == PictureKind::Bmp) {
    const auto bmp = BmpPicture::Load(delivered);
    return bmp && save(bmp->rows(), bmp->resolution());
  }
  const auto bytes = readAll(delivered);
  const auto decoded = DecodeJpegScaled(bytes.data(), bytes.size(), 1);
  if (!decoded) return false;
  const std::size_t stride = static_cast<std::size_t>(decoded->width) * 3;
  const PixelRows rows{decoded->width, decoded->height, 3, [&](int y, std::uint8_t* out) {
                         std::copy_n(decoded->rgb.data() + stride * static_cast<std::size_t>(y), stride, out);
                       }};
  return save(rows, JpegResolutionFromBytes(bytes.data(), bytes.size()).value_or(0));
}

// A delivered page in the format the user asked for (`target`'s extension), written as a new file
// (a free name when the target was taken meanwhile); one delivered under the target's own name, or
// a file the user agreed to replace, is replaced only once the new one is whole. The delivered
// file goes once the new one is there; a page delivered under the target's name gets a name of
// its own format back when it cannot be converted.
bool convertPage(const std::string& delivered, const std::string& target, int dpi, bool mayReplace) {
  const bool inPlace = delivered == target;
  const bool toJpeg = fs::path(target).extension() == ".jpg";
  const std::string written = WriteFileAt(target, mayReplace, [&](const std::string& to) {
    return writeConverted(delivered, to, toJpeg, dpi);
  });
  if (written.empty()) {
    if (inPlace)
      MoveOwnFileToFree(delivered, fs::path(target).replace_extension(toJpeg ? ".bmp" : ".jpg").string());
    return false;
  }
  if (!inPlace) RemoveOwnFile(delivered);
  return true;
}

std::string sourceText(std::int32_t select) {
  if (select & wia::FEEDER) return "idtGetData() Start !!! Source Select : FEEDER";
  if (select & wia::FLATBED) return "idtGetData() Start !!! Source Select : FLATBED";
  return "idtGetData() Start !!! Source Select: " + std::to_string(select);
}

std::string saveError(const std::string& file, const std::string& reason) {
  return WriteFailureText(core::LoadMessage("SFile_Save_Err"), file, reason);
}

// The status check after a page: whether the device gives another one.
bool anotherPage(WiaSaveView& view, std::int32_t handlingSelect) {
  const std::int32_t status = WiaGetDocumentHandlingStatus();
  if (status & wia::FEED_READY)
    view.Log("idtGetData() : SrcStatus : FEED_READY : " + std::to_string(status));
  else if (status & wia::FLAT_READY)
    view.Log("idtGetData() : SrcStatus : FLAT_READY : " + std::to_string(status));
  else
    view.Log("idtGetData() : SrcStatus : " + std::to_string(status));
  if (!(status & wia::FEED_READY)) {
    view.Log("idtGetData() : break scan if(!(iStatus & FEED_READY))");
    return false;
  }
  if (handlingSelect & wia::FLATBED) {
    view.Log("idtGetData() : break scan if(DocumentHandlingSelect & FLATBED)");
    return false;
  }
  return true;
}

// After the transfers: a page the device delivered in the other format, whatever it was asked
// for, becomes the format the user asked for.
void saveAsAsked(WiaSaveView& view, const std::vector<PageFiles>& pages, const std::string& extension,
                 int dpi) {
  const int count = static_cast<int>(pages.size());
  if (count > 0) view.SetSaveProgress(0, count);
  for (int i = 0; i < count; ++i) {
    const PageFiles& page = pages[static_cast<std::size_t>(i)];
    const std::string wanted = page.base + extension;
    const PictureKind kind = kindOf(page.delivered);
    const bool mismatched = kind != PictureKind::Other && (kind == PictureKind::Jpeg) != (extension == ".jpg");
    if ((mismatched || page.delivered != wanted) && !convertPage(page.delivered, wanted, dpi, page.mayReplace))
      view.Message(core::LoadMessage("SFile_Save_Err") + " : " + wanted);
    view.SetSaveProgress(i + 1, count);
    view.Log("Save JPEG Finish !!!" + std::to_string(i + 1) + " th page");
    view.ProcessMessages();
  }
}

}  // namespace

WiaScanOutcome ScanWiaPages(WiaSaveView& view) {
  WiaState& s = Wia();
  WiaScanOutcome out;
  auto callback = CWiaDataCallback::Create(view);
  if (wia::Failed(callback->QueryInterface(wia::IID_IWiaDataCallback,
                                           reinterpret_cast<void**>(s.WiaCallback.put()))) ||
      !s.WiaTransfer) {
    view.Log("Error: pWiaDataCallback->QueryInterface() : IID_IWiaDataCallback.");
    WiaReleaseItems();
    out.backEnabled = true;
    return out;
  }
  callback.reset();

  const WiaSaveParams& p = s.save;
  // The device writes in the format in effect on its item; pages of the other one are converted.
  const std::string transferExt = s.WiaJpegInUse ? ".jpg" : ".bmp";
  view.SetLocation(p.folder);
  view.Log(sourceText(s.WiaHandlingSelect));

  wia::StgMedium medium;
  medium.tymed = wia::TYMED_FILE;
  std::vector<PageFiles> done;
  for (int index = 0, tries = 0; !StopRequested; ++index, ++tries) {
    const Reservation page = reservePage(p, index, transferExt);
    index = page.index;
    view.SetPicture(page.files.picture);
    if (page.error != 0) {
      view.Message(saveError(page.files.base + p.extension, ErrnoText(page.error)));
      if (!done.empty()) view.SetPicture(done.back().picture);
      break;
    }
    medium.fileName = page.files.delivered;
    const wia::HResult hr = s.WiaTransfer->idtGetData(&medium, s.WiaCallback.get());
    if (hr != wia::S_OK) RemoveOwnFile(medium.fileName);  // the empty file that held the name
    else NoteWrittenByDevice(medium.fileName);
    if (hr == wia::S_OK) {
      ++out.pages;
      done.push_back(page.files);
      view.SetScanProgress(100, "100% complete");
      view.Log("idtGetData() S_OK !!!");
      PageStarted = false;
      view.ShowPreview(medium.fileName, kindOf(medium.fileName) == PictureKind::Jpeg);
    } else if (hr == wia::S_FALSE) {
      view.Message(kWiaScanCanceled);
      PageStarted = false;
      view.SetCancelLabel("Canceled scan");
      break;
    } else {
      view.Log("idtGetData() : other error. " + WiaHResultToText(hr));
      if (hr == wia::WIA_ERROR_PAPER_EMPTY) {
        if (tries > 0) {
          view.SetPicture(done.empty() ? std::string() : done.back().picture);
          PageStarted = false;
          break;
        }
        view.Message(kWiaFeederEmpty);
      } else {
        StopRequested = true;  // ends the loop after the status check, as Cancel would
      }
    }
    if (!anotherPage(view, s.WiaHandlingSelect)) break;
  }
  view.Log("idtGetData() Finish !!!" + std::to_string(out.pages) + " pages");

  saveAsAsked(view, done, p.extension, s.WiaXResolution);
  out.backEnabled = !StopRequested;
  out.lastPicture = done.empty() ? std::string() : done.back().picture;
  return out;
}

}  // namespace scanning
