#pragma once
// The version server's reply: an XML document whose root holds `Default`, with `FW_Version`
// (`Major`, `Minor`, `Date`) and `Download_Site` (one element per site, named by the site, with
// its `Firmware` address). Read with limits on size, depth and element count; a reply that is not
// that shape is refused as a whole.
#include <QByteArrayView>
#include <string>
#include <vector>

namespace app {

struct VersionReplyLimits {
  qsizetype maxBytes = 64 * 1024;
  int maxDepth = 16;
  int maxElements = 1000;
  qsizetype maxTextBytes = 4096;  // of one element's text
};

struct VersionInfo {
  std::string major, minor;  // as decimal integers ("05" reads 5); empty when the reply has none
  std::string date;          // as it stands, less the white space around it
  // In document order, at the same index; the addresses less the white space around them.
  std::vector<std::string> siteNames, siteUrls;
};

enum class VersionReplyStatus {
  Read,
  Empty,      // no document at all
  Malformed,  // not XML, over a limit, no `Default`, or a version that is no integer
};

struct VersionReplyResult {
  VersionReplyStatus status = VersionReplyStatus::Empty;
  VersionInfo info;
  std::string error;  // why, when not Read
};

VersionReplyResult ReadVersionReply(QByteArrayView bytes, const VersionReplyLimits& limits = {});

// The reply's major and minor name a newer version than the installed one: compared as numbers
// where all four are numbers (2.10 is newer than 2.9.0), else major + "." + minor sorted as text
// after the installed version, in the user's locale and with case. Both parts must be there.
bool IsNewerVersion(const std::string& major, const std::string& minor,
                    const std::string& productVersion);

}  // namespace app
