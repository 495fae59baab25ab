#include "scanning/WiaScanPages.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "core/MessageTable.h"
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

std::vector<std::uint8_t> readStart(const std::string& file, std::size_t count) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::uint8_t> bytes(count);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

bool isBmpFile(const std::string& file) {
  const auto head = readStart(file, 2);
  return LooksLikeBmp(head.data(), head.size());
}

// A delivered BMP page as the JPEG the user asked for. The BMP goes only once the JPEG is whole;
// a BMP that was delivered under the JPEG's name is given its own name back when it cannot be
// converted.
bool convertPage(const std::string& delivered, const std::string& jpeg, int dpi) {
  const auto picture = BmpPicture::Load(delivered);
  const std::string part = jpeg + ".part";
  std::error_code ec;
  bool ok = picture && SaveJpeg(picture->rows(), part, kJpegQuality);
  if (ok) {
    WriteJpegResolution(part, dpi > 0 ? dpi : picture->resolution());
    fs::rename(part, jpeg, ec);
    ok = !ec;
  }
  if (!ok) {
    fs::remove(part, ec);
    if (delivered == jpeg) {
      const std::string bmp = fs::path(jpeg).replace_extension(".bmp").string();
      if (!fs::exists(bmp)) fs::rename(delivered, bmp, ec);
    }
    return false;
  }
  if (delivered != jpeg) fs::remove(delivered, ec);
  return true;
}

std::string sourceText(std::int32_t select) {
  if (select & wia::FEEDER) return "idtGetData() Start !!! Source Select : FEEDER";
  if (select & wia::FLATBED) return "idtGetData() Start !!! Source Select : FLATBED";
  return "idtGetData() Start !!! Source Select: " + std::to_string(select);
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
  const bool jpegChosen = p.extension == ".jpg";
  const std::string transferExt = jpegChosen && s.WiaJpegInUse ? ".jpg" : ".bmp";
  view.SetLocation(p.folder);
  view.Log(sourceText(s.WiaHandlingSelect));

  wia::StgMedium medium;
  medium.tymed = wia::TYMED_FILE;
  std::string lastDone;
  for (int page = 0; !StopRequested; ++page) {
    const std::string base = p.groupName + WiaPageSuffix(page);
    const std::string picture = base + (jpegChosen ? ".jpg" : transferExt);
    view.SetPicture(picture);
    medium.fileName = p.folder + base + transferExt;
    const wia::HResult hr = s.WiaTransfer->idtGetData(&medium, s.WiaCallback.get());
    if (hr == wia::S_OK) {
      ++out.pages;
      lastDone = picture;
      view.SetScanProgress(100, "100% complete");
      view.Log("idtGetData() S_OK !!!");
      PageStarted = false;
      view.ShowPreview(medium.fileName, transferExt == ".jpg");
    } else if (hr == wia::S_FALSE) {
      view.Message(kWiaScanCanceled);
      PageStarted = false;
      view.SetCancelLabel("Canceled scan");
      break;
    } else {
      view.Log("idtGetData() : other error. " + WiaHResultToText(hr));
      if (hr == wia::WIA_ERROR_PAPER_EMPTY) {
        if (page > 0) {
          view.SetPicture(lastDone);
          PageStarted = false;
          break;
        }
        view.Message(kWiaFeederEmpty);
      } else {
        StopRequested = true;
      }
    }
    const std::int32_t status = WiaGetDocumentHandlingStatus();
    if (status & wia::FEED_READY)
      view.Log("idtGetData() : SrcStatus : FEED_READY : " + std::to_string(status));
    else if (status & wia::FLAT_READY)
      view.Log("idtGetData() : SrcStatus : FLAT_READY : " + std::to_string(status));
    else
      view.Log("idtGetData() : SrcStatus : " + std::to_string(status));
    if (!(status & wia::FEED_READY)) {
      view.Log("idtGetData() : break scan if(!(iStatus & FEED_READY))");
      break;
    }
    if (s.WiaHandlingSelect & wia::FLATBED) {
      view.Log("idtGetData() : break scan if(DocumentHandlingSelect & FLATBED)");
      break;
    }
  }
  view.Log("idtGetData() Finish !!!" + std::to_string(out.pages) + " pages");

  if (out.pages > 0) view.SetSaveProgress(0, out.pages);
  for (int i = 0; i < out.pages; ++i) {
    const std::string base = p.folder + p.groupName + WiaPageSuffix(i);
    const std::string delivered = base + transferExt;
    // A page the device delivered as BMP, whatever it was asked for, becomes the JPEG asked for.
    if (jpegChosen && (!s.WiaJpegInUse || isBmpFile(delivered)) &&
        !convertPage(delivered, base + ".jpg", s.WiaXResolution))
      view.Message(core::LoadMessage("SFile_Save_Err") + " : " + base + ".jpg");
    view.SetSaveProgress(i + 1, out.pages);
    view.Log("Save JPEG Finish !!!" + std::to_string(i + 1) + " th page");
    view.ProcessMessages();
  }
  out.backEnabled = !StopRequested;
  out.lastPicture = lastDone;
  return out;
}

}  // namespace scanning
