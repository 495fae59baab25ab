#include "app/VersionReply.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>
#include <charconv>
#include <memory>
#include <optional>

namespace app {
namespace {

struct Node {
  QString name;
  QString text;  // of an element without children: the only texts read
  bool blankOverflow = false;  // blanks past the text limit, fine unless the element stays a leaf
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
  xml.setNamespaceProcessing(false);  // names are matched exactly as written, prefix and all
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
        node->name = xml.qualifiedName().toString();
        Node* at = node.get();
        if (open.empty()) {
          root = std::move(node);
        } else {
          Node* parent = open.back();
          parent->text.clear();  // the blanks that indent its children
          parent->blankOverflow = false;
          parent->children.push_back(std::move(node));
        }
        open.push_back(at);
        break;
      }
      case QXmlStreamReader::EndElement:
        if (open.back()->blankOverflow && open.back()->children.empty()) throw Refused{"a text too long"};
        open.pop_back();
        break;
      case QXmlStreamReader::Characters:
        if (!open.empty() && open.back()->children.empty()) {
          Node& n = *open.back();
          n.text += xml.text();
          if (n.text.size() > limits.maxTextBytes) {
            if (!n.text.trimmed().isEmpty()) throw Refused{"a text too long"};
            n.text.truncate(limits.maxTextBytes);
            n.blankOverflow = true;
          }
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

// An element's text without the blanks and line ends around it (a pretty-printed reply has them).
std::string textOf(const Node* n) { return n ? n->text.trimmed().toStdString() : std::string(); }

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
      r.info.date = textOf(fw->child("Date"));
    }
    if (const Node* sites = def->child("Download_Site")) {
      for (const auto& site : sites->children) {
        r.info.siteNames.push_back(site->name.toStdString());
        r.info.siteUrls.push_back(textOf(site->child("Firmware")));
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

namespace {

std::optional<long long> number(const std::string& text) {
  long long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

}  // namespace

bool IsNewerVersion(const std::string& major, const std::string& minor,
                    const std::string& productVersion) {
  if (major.empty() || minor.empty()) return false;
  // The installed version's major, and its minor up to a further ".".
  const auto dot = productVersion.find('.');
  const std::string installedMinor =
      dot == std::string::npos ? std::string() : productVersion.substr(dot + 1, productVersion.find('.', dot + 1) - dot - 1);
  const auto m = number(major), n = number(minor);
  const auto im = number(productVersion.substr(0, dot)), in = number(installedMinor);
  // As numbers, so that 2.10 is newer than 2.9; the same major and minor is not newer, whatever
  // the installed version adds after them.
  if (m && n && im && in) return *m != *im ? *m > *im : *n > *in;
  return QString::localeAwareCompare(QString::fromStdString(major + "." + minor),
                                     QString::fromStdString(productVersion)) > 0;
}

}  // namespace app
