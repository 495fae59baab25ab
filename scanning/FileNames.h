#pragma once
// Paths as Qt holds them and as the file system has them. Qt reads every file name as UTF-8, so
// a name that is not (a folder "sc\xff") would come back as another one ("sc\uFFFD"): each byte
// of such a name that no decoding takes travels as U+DC80..U+DCFF and comes back as it was.
// Every path that passes between the windows and the file system goes through these two.
#include <QString>
#include <QUrl>
#include <string>

namespace scanning {

QString PathText(const std::string& path);
std::string PathBytes(const QString& text);
// The file URL of a path (relative to the current folder when not absolute), its bytes kept.
QUrl LocalFileUrl(const std::string& path);

}  // namespace scanning
