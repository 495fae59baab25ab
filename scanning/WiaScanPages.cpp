#include "scanning/WiaScanPages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
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

enum class PictureKind { Bmp, Jpeg, Other };

// What the device delivered, told by its first bytes; nullopt when what has the name is not a
// regular file (it is never opened in a way that could wait on a FIFO or a device).
std::optional<PictureKind> kindOf(const std::string& file) {
  const ReadFile in = OpenRegularForReading(file, O_NOFOLLOW);
  if (!in) return std::nullopt;
  std::uint8_t head[3] = {};
  const std::size_t got = std::fread(head, 1, sizeof head, in.get());
  if (LooksLikeBmp(head, got)) return PictureKind::Bmp;
  if (got == 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return PictureKind::Jpeg;
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

// A page's files. The device writes only into a file of the transfer's own folder; the page takes
// its place in the user's folder once it is whole.
struct PageFiles {
  std::string base;
  std::string picture;    // the name the user asked for, without the folder
  std::string wanted;     // base + the extension the user asked for
  std::string delivered;  // the file the device writes
  bool mayReplace = false;  // the user agreed to replace this page's file
  bool holdsName = false;   // `wanted` is the empty file made to hold the name, not the user's
  std::string deliveredExt;  // the format the device delivered, as an extension
};

// The empty file that held the page's name goes; the user's file stays.
void releaseName(const PageFiles& page) {
  if (page.holdsName) RemoveOwnFile(page.wanted);
}

// The page's name: the first index from `index` on whose BMP and JPEG names are both free, so that
// no page lands on a file that was there before. The name the page will have is made first, empty,
// so that nothing else takes it meanwhile; a folder that cannot be written fails here, with errno's
// reason. Only the group's first page may replace a file, when the user said so; that file stays
// as it is until the whole page replaces it.
struct Reservation {
  int index = 0;
  PageFiles files;
  std::string failed;  // the file that could not be made
  int error = 0;
};
Reservation reservePage(const WiaSaveParams& p, int index, const std::string& ownFolder,
                        const std::string& transferExt) {
  for (;; ++index) {
    Reservation r;
    r.index = index;
    r.files.base = p.folder + p.groupName + WiaPageSuffix(index);
    r.files.picture = p.groupName + WiaPageSuffix(index) + p.extension;
    r.files.wanted = r.files.base + p.extension;
    r.files.delivered = ownFolder + "/page" + std::to_string(index) + transferExt;
    r.files.mayReplace = p.replaceFirst && index == 0;
    if (!r.files.mayReplace && (PathTaken(r.files.base + ".bmp") || PathTaken(r.files.base + ".jpg")))
      continue;
    r.failed = r.files.wanted;
    // A file the user agreed to replace is never opened nor removed, not even one this run made
    // earlier: only the whole page takes its place.
    const int made =
        r.files.mayReplace && PathTaken(r.files.wanted) ? EEXIST : createFile(r.files.wanted);
    r.files.holdsName = made == 0;
    r.error = r.files.mayReplace && made == EEXIST ? 0 : made;
    if (r.error == EEXIST) continue;
    if (r.error == 0) {
      r.failed = r.files.delivered;
      r.error = createFile(r.files.delivered);
      if (r.error != 0) releaseName(r.files);
    }
    return r;
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
  auto bytes = ReadRegularFile(delivered, O_NOFOLLOW);
  if (!bytes) return false;
  if (LooksLikeBmp(bytes->data(), bytes->size())) {
    const auto bmp = BmpPicture::FromBytes(std::move(*bytes));
    return bmp && save(bmp->rows(), bmp->resolution());
  }
  const auto decoded = DecodeJpegScaled(bytes->data(), bytes->size(), 1);
  if (!decoded) return false;
  const std::size_t stride = static_cast<std::size_t>(decoded->width) * 3;
  const PixelRows rows{decoded->width, decoded->height, 3, [&](int y, std::uint8_t* out) {
                         std::copy_n(decoded->rgb.data() + stride * static_cast<std::size_t>(y), stride, out);
                       }};
  return save(rows, JpegResolutionFromBytes(bytes->data(), bytes->size()).value_or(0));
}

std::string saveError(const std::string& file, const std::string& reason) {
  return WriteFailureText(core::LoadMessage("SFile_Save_Err"), file, reason);
}

// The folder of the transfer's own that the device writes into. It goes at the end, unless a page
// that has no other place stays in it.
struct OwnFolder {
  std::string path;
  bool holdsPage = false;
};

// The page's own name is given up (a file the user agreed to replace stays as it is): the
// delivered page moves beside it in its own format, or stays where the device put it. What the
// user is told of where it is now.
std::string keepPage(OwnFolder& folder, const PageFiles& page) {
  releaseName(page);
  std::string kept = MoveOwnFileToFree(page.delivered, page.base + page.deliveredExt);
  if (kept.empty()) {
    kept = page.delivered;
    folder.holdsPage = true;
  }
  KeepForUser(kept);
  return "\n\nThe page is kept in this file:\n" + kept;
}

// A page delivered in the format the user asked for takes its name, replacing the empty file that
// held it (or the user's file, where the user agreed) only now that the page is whole. A placed
// page is the user's from there: nothing of this run writes over it.
void placePage(WiaSaveView& view, OwnFolder& folder, const PageFiles& page) {
  const std::string placed = PutOwnFileAt(page.delivered, page.wanted, page.mayReplace);
  if (!placed.empty()) return KeepForUser(placed);
  const std::string reason = ErrnoText(errno);
  view.Message(saveError(page.wanted, reason) + keepPage(folder, page));
}

// A page delivered in the other format is written anew in the format the user asked for, by the
// same rule; the delivered file goes once the new one is there.
void convertPage(WiaSaveView& view, OwnFolder& folder, const PageFiles& page, int dpi) {
  const bool toJpeg = page.wanted.ends_with(".jpg");
  const std::string written = WriteFileAt(page.wanted, page.mayReplace, [&](const std::string& to) {
    return writeConverted(page.delivered, to, toJpeg, dpi);
  });
  if (!written.empty()) {
    RemoveOwnFile(page.delivered);
    KeepForUser(written);
    return;
  }
  view.Message(core::LoadMessage("SFile_Save_Err") + " : " + page.wanted + keepPage(folder, page));
}

std::string sourceText(std::int32_t select) {
  if (select & wia::FEEDER) return "idtGetData() Start !!! Source Select : FEEDER";
  if (select & wia::FLATBED) return "idtGetData() Start !!! Source Select : FLATBED";
  return "idtGetData() Start !!! Source Select: " + std::to_string(select);
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

// A page the device says it delivered: the format it came in, or nullopt (the user told) when
// what has its file's name is no regular file.
std::optional<std::string> deliveredFormat(WiaSaveView& view, const PageFiles& page,
                                           const std::string& transferExt) {
  NoteWrittenByDevice(page.delivered);
  const auto kind = kindOf(page.delivered);
  if (!kind) {
    view.Message(saveError(page.wanted, "The scanned page's file is not a regular file."));
    return std::nullopt;
  }
  return *kind == PictureKind::Jpeg ? ".jpg" : *kind == PictureKind::Bmp ? ".bmp" : transferExt;
}

// Paper faults show at the device; any other failed transfer leaves the user without the page.
bool toldOfFailure(wia::HResult hr) {
  return hr != wia::WIA_ERROR_PAPER_JAM && hr != wia::WIA_ERROR_PAPER_PROBLEM;
}

// After the transfers: each page delivered in the other format becomes the format the user asked
// for.
void saveAsAsked(WiaSaveView& view, OwnFolder& folder, const std::vector<PageFiles>& pages,
                 const std::string& extension, int dpi) {
  const int count = static_cast<int>(pages.size());
  if (count > 0) view.SetSaveProgress(0, count);
  for (int i = 0; i < count; ++i) {
    const PageFiles& page = pages[static_cast<std::size_t>(i)];
    if (page.deliveredExt != extension) convertPage(view, folder, page, dpi);
    view.SetSaveProgress(i + 1, count);
    view.Log("Save JPEG Finish !!!" + std::to_string(i + 1) + " th page");
    view.ProcessMessages();
  }
}

}  // namespace

std::string WiaSaveView::TemporaryFolder() {
  std::error_code ec;
  return std::filesystem::temp_directory_path(ec).string();
}

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

  const std::string temporary = view.TemporaryFolder();
  OwnFolder folder{MakeOwnFolder(temporary, "tarvex-wia-")};
  if (folder.path.empty()) {
    view.Message(WriteFailureText(core::LoadMessage("SFile_Open_Err"), temporary, ErrnoText(errno)));
    out.backEnabled = true;
    return out;
  }

  wia::StgMedium medium;
  medium.tymed = wia::TYMED_FILE;
  std::vector<PageFiles> done;
  for (int index = 0, tries = 0; !StopRequested; ++index, ++tries) {
    Reservation page = reservePage(p, index, folder.path, transferExt);
    index = page.index;
    view.SetPicture(page.files.picture);
    if (page.error != 0) {
      view.Message(saveError(page.failed, ErrnoText(page.error)));
      if (!done.empty()) view.SetPicture(done.back().picture);
      break;
    }
    medium.fileName = page.files.delivered;
    const wia::HResult hr = s.WiaTransfer->idtGetData(&medium, s.WiaCallback.get());
    const auto format = hr == wia::S_OK ? deliveredFormat(view, page.files, transferExt) : std::nullopt;
    if (!format) {  // the empty files that held the names
      RemoveOwnFile(page.files.delivered);
      releaseName(page.files);
    }
    if (format) {
      page.files.deliveredExt = *format;
      ++out.pages;
      done.push_back(page.files);
      view.SetScanProgress(100, "100% complete");
      view.Log("idtGetData() S_OK !!!");
      PageStarted = false;
      view.ShowPreview(page.files.delivered, *format == ".jpg");
      if (*format == p.extension) placePage(view, folder, page.files);
    } else if (hr == wia::S_OK) {
      PageStarted = false;
      StopRequested = true;  // a page that cannot be read ends the scan as a failed transfer does
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
        if (toldOfFailure(hr))
          view.Message(saveError(page.files.wanted,
                                 "The scanner did not deliver the page (" + WiaHResultToText(hr) + ")."));
        StopRequested = true;  // ends the loop after the status check, as Cancel would
      }
    }
    if (!anotherPage(view, s.WiaHandlingSelect)) break;
  }
  view.Log("idtGetData() Finish !!!" + std::to_string(out.pages) + " pages");

  saveAsAsked(view, folder, done, p.extension, s.WiaXResolution);
  if (!folder.holdsPage) RemoveOwnFolder(folder.path);
  out.backEnabled = !StopRequested;
  out.lastPicture = done.empty() ? std::string() : done.back().picture;
  return out;
}

}  // namespace scanning
