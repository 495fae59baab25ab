// The version server's answer over any bytes, as HTTP and as the XML reply: a clear answer every
// time, the same whatever the pieces, a body within its limit, and a read reply keeps its site
// lists in step.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/HttpResponse.h"
#include "app/VersionReply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArrayView bytes(data, static_cast<qsizetype>(size));
  for (const bool closed : {false, true}) {
    const app::HttpResponse h = app::ReadHttpResponse(bytes, closed, {256, 1024});
    if (h.state == app::HttpResponse::State::Complete && h.body.size() > 1024) std::abort();
    if (closed && h.state == app::HttpResponse::State::Incomplete) std::abort();
    // Cut in two anywhere, the bytes read the same.
    app::HttpResponseReader reader({256, 1024});
    const qsizetype cut = size ? data[0] % static_cast<qsizetype>(size) : 0;
    reader.feed(bytes.first(cut));
    reader.feed(bytes.sliced(cut));
    const app::HttpResponse& p = closed ? reader.close() : reader.response();
    if (p.state != h.state || p.status != h.status || p.body != h.body) std::abort();
  }
  const app::VersionReplyResult r =
      app::ReadVersionReply(QByteArrayView(data, static_cast<qsizetype>(size)));
  if (r.status == app::VersionReplyStatus::Read &&
      r.info.siteNames.size() != r.info.siteUrls.size())
    std::abort();
  (void)app::IsNewerVersion(r.info.major, r.info.minor, "2.1.7");
  return 0;
}
