#pragma once
// Paths between the windows and the file system. A path is the file system's bytes; a widget shows
// the text they decode to, and bytes that are not valid in the file system's encoding show as
// replacement characters, whose text names another file. So an edit showing a path keeps the bytes
// it was given, and gives them back for as long as its text is still theirs.
#include <QString>
#include <string>

class QLineEdit;

namespace scanning {

QString PathText(const std::string& path);
std::string PathOf(const QString& text);

void ShowPath(QLineEdit* edit, const std::string& path);
// The bytes shown, or what the user typed there since, in the file system's encoding.
std::string PathIn(const QLineEdit* edit);

}  // namespace scanning
