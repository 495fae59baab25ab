#include "scanning/PathText.h"

#include <QFile>
#include <QLineEdit>
#include <QVariant>

namespace scanning {
namespace {
constexpr const char* kShownPath = "tarvexShownPath";
}  // namespace

QString PathText(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string PathOf(const QString& text) { return QFile::encodeName(text).toStdString(); }

void ShowPath(QLineEdit* edit, const std::string& path) {
  edit->setProperty(kShownPath, QByteArray::fromStdString(path));
  edit->setText(PathText(path));
}

std::string PathIn(const QLineEdit* edit) {
  const QByteArray shown = edit->property(kShownPath).toByteArray();
  if (!shown.isEmpty() && QFile::decodeName(shown) == edit->text()) return shown.toStdString();
  return PathOf(edit->text());
}

}  // namespace scanning
