// The version reply reader over any bytes: a clear answer every time, and a read reply keeps its
// site lists in step.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/VersionReply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const app::VersionReplyResult r =
      app::ReadVersionReply(QByteArrayView(data, static_cast<qsizetype>(size)));
  if (r.status == app::VersionReplyStatus::Read &&
      r.info.siteNames.size() != r.info.siteUrls.size())
    std::abort();
  (void)app::IsNewerVersion(r.info.major, r.info.minor, "2.1.7");
  return 0;
}
