#include "app/VersionReply.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>
#include <memory>

namespace app {
namespace {

struct Node {
  QString name;
  QString text;
  std::vector<std::unique_ptr<Node>> children;

  const Node* child(const QString& n) const {
    for (const auto& c : children)
      if (c->name == n) return c.get();
    return nullptr;
  }
};

struct Refused {
  std::string why;
};

// The whole document as a tree, or the reason it is refused.
std::unique_ptr<Node> readTree(QByteArrayView bytes, const VersionReplyLimits& limits) {
  QXmlStreamReader xml(QByteArray(bytes.data(), bytes.size()));
  std::unique_ptr<Node> root;
  std::vector<Node*> open;
  int elements = 0;
  while (!xml.atEnd()) {
    switch (xml.readNext()) {
      case QXmlStreamReader::DTD:
        throw Refused{"a document type declaration"};
      case QXmlStreamReader::StartElement: {
        if (++elements > limits.maxElements) throw Refused{"too many elements"};
        if (static_cast<int>(open.size()) >= limits.maxDepth) throw Refused{"nested too deep"};
        auto node = std::make_unique<Node>();
        node->name = xml.name().toString();
        Node* at = node.get();
        if (open.empty()) root = std::move(node);
        else open.back()->children.push_back(std::move(node));
        open.push_back(at);
        break;
      }
      case QXmlStreamReader::EndElement:
        open.pop_back();
        break;
      case QXmlStreamReader::Characters:
        if (!open.empty()) {
          open.back()->text += xml.text();
          if (open.back()->text.size() > limits.maxTextBytes) throw Refused{"a text too long"};
        }
        break;
      default:
        break;
    }
  }
  if (xml.hasError()) throw Refused{"not well-formed XML: " + xml.errorString().toStdString()};
  if (!root) throw Refused{"no root element"};
  return root;
}

// A decimal integer of 32 bits, back to its shortest decimal text.
std::string integerText(const Node* n, const char* what) {
  if (!n) return {};
  bool ok = false;
  const int v = n->text.trimmed().toInt(&ok, 10);
  if (!ok) throw Refused{std::string(what) + " is not an integer"};
  return std::to_string(v);
}

}  // namespace

VersionReplyResult ReadVersionReply(QByteArrayView bytes, const VersionReplyLimits& limits) {
  VersionReplyResult r;
  if (bytes.trimmed().isEmpty()) return r;  // Empty
  r.status = VersionReplyStatus::Malformed;
  if (bytes.size() > limits.maxBytes) {
    r.error = "longer than " + std::to_string(limits.maxBytes) + " bytes";
    return r;
  }
  try {
    const auto root = readTree(bytes, limits);
    const Node* def = root->child("Default");
    if (!def) throw Refused{"no Default element"};
    if (const Node* fw = def->child("FW_Version")) {
      r.info.major = integerText(fw->child("Major"), "Major");
      r.info.minor = integerText(fw->child("Minor"), "Minor");
      if (const Node* date = fw->child("Date")) r.info.date = date->text.toStdString();
    }
    if (const Node* sites = def->child("Download_Site")) {
      for (const auto& site : sites->children) {
        r.info.siteNames.push_back(site->name.toStdString());
        const Node* firmware = site->child("Firmware");
        r.info.siteUrls.push_back(firmware ? firmware->text.toStdString() : std::string());
      }
    }
  } catch (const Refused& refused) {
    r.info = {};
    r.error = refused.why;
    return r;
  }
  r.status = VersionReplyStatus::Read;
  return r;
}

bool IsNewerVersion(const std::string& major, const std::string& minor,
                    const std::string& productVersion) {
  if (major.empty() || minor.empty()) return false;
  return QString::localeAwareCompare(QString::fromStdString(major + "." + minor),
                                     QString::fromStdString(productVersion)) > 0;
}

}  // namespace app
