// The still-image devices behind a computer's image acquisition service: one per scanner function
// plug and play made for a linked device, found by its device id.
#include <algorithm>

#include "platform/Wia.h"
#include "sim/PlugAndPlay.h"
#include "sim/WiaPages.h"
#include "sim/World.h"

namespace sim {
namespace {

namespace wia = platform::wia;
using platform::simwire::WiaOp;
using platform::simwire::WiaReply;
using platform::simwire::WiaRequest;

const char* opName(WiaOp op) {
  switch (op) {
    case WiaOp::Describe: return "describe";
    case WiaOp::Dialog: return "dialog";
    case WiaOp::Status: return "status";
    case WiaOp::Acquire: return "acquire";
  }
  return "?";
}

}  // namespace

WiaReply World::wia(const WiaRequest& request) {
  std::lock_guard lock(mutex_);
  advanceTime();
  WiaReply reply;
  reply.hr = wia::WIA_S_NO_DEVICE_AVAILABLE;

  const Device* device = nullptr;
  Ipv4 server{};
  if (!request.deviceId.empty())
    for (const Server& s : servers_)
      for (const Device& d : s.devices)
        if (stillImageDeviceId(d) == request.deviceId) {
          device = &d;
          server = s.ip;
        }
  // A device opens while this computer holds it, had it installed, or another computer holds it
  // (then it is offline); once open it answers only while this computer holds it.
  const bool present =
      device && findHost(request.host) &&
      (request.op != WiaOp::Describe || !device->holder.empty() ||
       installedOn(request.host, server, device->port));
  if (present) {
    const WiaScanner& w = effectiveShape(*device).wia;
    const bool online = device->holder == request.host && !w.offline;
    WiaSession& session = wiaSessions_[request.deviceId];
    reply.hr = wia::S_OK;
    reply.name = effectiveShape(*device).scannerName.value_or(device->manufacturer + " " + device->product);
    reply.select = w.feeder ? wia::FEEDER : wia::FLATBED;
    reply.pages = w.feeder ? 0 : 1;
    reply.dpi = w.dpi;
    reply.formats = (w.bmp ? platform::simwire::kWiaFormatBmp : 0u) |
                    (w.jpeg ? platform::simwire::kWiaFormatJpeg : 0u);
    switch (request.op) {
      case WiaOp::Describe: break;
      case WiaOp::Dialog:
        if (!online) reply.hr = wia::WIA_ERROR_OFFLINE;
        else if (w.cancelDialog) reply.hr = wia::S_FALSE;
        else session = {w.feeder ? w.sheets : 0, 0};  // the user loads the feeder
        break;
      case WiaOp::Status:
        if (!online) reply.hr = wia::WIA_ERROR_OFFLINE;
        // A flat bed is ready for another page at any time: it says so on both bits, and only
        // the handling select tells a page loop that one page is all it gives.
        else if (!w.feeder) reply.status = wia::FEED_READY | wia::FLAT_READY;
        else reply.status = session.sheetsLeft > 0 || w.feederAlwaysReady ? wia::FEED_READY : 0;
        break;
      case WiaOp::Acquire: {
        const bool offered = request.format & reply.formats;
        if (!online) reply.hr = wia::WIA_ERROR_OFFLINE;
        else if (!offered || request.dpi != w.dpi || request.path.empty()) reply.hr = wia::E_INVALIDARG;
        else if (w.feeder && session.sheetsLeft == 0) reply.hr = wia::WIA_ERROR_PAPER_EMPTY;
        if (reply.hr != wia::S_OK) break;
        if (w.feeder) --session.sheetsLeft;
        if (++session.pagesTaken == w.failingPage) {
          reply.hr = wia::WIA_ERROR_PAPER_JAM;
          break;
        }
        const PageSpec page{request.format == platform::simwire::kWiaFormatJpeg ? PageFormat::Jpeg
                                                                                 : PageFormat::Bmp,
                            w.width, w.height, w.dpi, session.pagesTaken};
        const auto bytes = writePage(request.path, page);
        if (bytes) reply.bytes = *bytes;
        else reply.hr = wia::WIA_ERROR_GENERAL_ERROR;
        break;
      }
    }
  }

  LogEntry entry;
  entry.host = request.host;
  entry.device = request.deviceId;
  entry.what = "wia";
  entry.code = static_cast<std::uint32_t>(reply.hr);
  entry.result = opName(request.op);
  entry.document = request.path;
  addLog(std::move(entry));
  return reply;
}

}  // namespace sim
