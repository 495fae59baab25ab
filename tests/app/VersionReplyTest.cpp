// The version server's reply as the program reads it.
#include <gtest/gtest.h>

#include <QByteArray>

#include "app/VersionReply.h"

namespace {

using app::VersionReplyStatus;

QByteArray reply(const std::string& version, const std::string& sites = "") {
  return QByteArray::fromStdString("<?xml version=\"1.0\"?><Reply><Default><FW_Version>" + version +
                                   "</FW_Version><Download_Site>" + sites +
                                   "</Download_Site></Default></Reply>");
}

TEST(VersionReply, TheVersionIsReadAsIntegersAndComparedAsNumbersWhereItCanBe) {
  struct Case {
    std::string version, product;
    std::string major, minor;
    bool newer;
  };
  const Case cases[] = {
      {"<Major>2</Major><Minor>05</Minor>", "2.1.7", "2", "5", true},
      {"<Major>1</Major><Minor>2</Minor>", "1.2.3", "1", "2", false},  // 1.2 sorts before 1.2.3
      {"<Major>1</Major><Minor>10</Minor>", "1.9", "1", "10", true},
      {"<Major>2</Major><Minor>10</Minor>", "2.9.0", "2", "10", true},
      {"<Major>1</Major><Minor>9</Minor>", "1.10", "1", "9", false},
      {"<Major>2</Major><Minor>9</Minor>", "2.9.0", "2", "9", false},
      {"<Major>2</Major><Minor>9</Minor>", "2.9", "2", "9", false},
      {"<Major>3</Major><Minor>0</Minor>", "2.99", "3", "0", true},
      {"<Major>2</Major><Minor>1</Minor>", "2.0beta", "2", "1", true},  // not a number: as text
      {"<Major>1</Major><Minor>10</Minor>", "1.9b", "1", "10", false},  // "1.10" sorts before "1.9b"
      {"<Major> 3 </Major><Minor>0</Minor>", "", "3", "0", true},       // nothing installed
      {"<Major>2</Major>", "1.0", "2", "", false},                     // no Minor: nothing to do
      {"", "1.0", "", "", false},
  };
  for (const Case& c : cases) {
    const auto r = app::ReadVersionReply(reply(c.version));
    ASSERT_EQ(r.status, VersionReplyStatus::Read) << c.version << r.error;
    EXPECT_EQ(r.info.major, c.major) << c.version;
    EXPECT_EQ(r.info.minor, c.minor) << c.version;
    EXPECT_EQ(app::IsNewerVersion(r.info.major, r.info.minor, c.product), c.newer) << c.version;
  }
}

TEST(VersionReply, DateAndSitesInDocumentOrder) {
  const auto r = app::ReadVersionReply(reply(
      "<Major>2</Major><Minor>1</Minor><Date>2008-07-10</Date>",
      "<Global><Firmware>http://g/1</Firmware></Global><Asia><Firmware>http://a</Firmware></Asia>"
      "<Global><Firmware>http://g/2</Firmware></Global><Europe/>"));
  ASSERT_EQ(r.status, VersionReplyStatus::Read) << r.error;
  EXPECT_EQ(r.info.date, "2008-07-10");
  EXPECT_EQ(r.info.siteNames, (std::vector<std::string>{"Global", "Asia", "Global", "Europe"}));
  EXPECT_EQ(r.info.siteUrls, (std::vector<std::string>{"http://g/1", "http://a", "http://g/2", ""}));
}

// A pretty-printed reply: the texts are read without the white space around them.
TEST(VersionReply, WhiteSpaceAroundTheTextsIsDropped) {
  const auto r = app::ReadVersionReply(reply(
      "\n  <Major>\n    2\n  </Major>\n  <Minor>1</Minor>\n  <Date>\n    2008-07-10\n  </Date>\n",
      "\n  <Global>\n    <Firmware>\n      http://g/1\n    </Firmware>\n  </Global>"
      "<Asia><Firmware> http://a/x y </Firmware></Asia><Europe><Firmware>\t\r\n</Firmware></Europe>"));
  ASSERT_EQ(r.status, VersionReplyStatus::Read) << r.error;
  EXPECT_EQ(r.info.major, "2");
  EXPECT_EQ(r.info.date, "2008-07-10");
  EXPECT_EQ(r.info.siteUrls, (std::vector<std::string>{"http://g/1", "http://a/x y", ""}));
}

TEST(VersionReply, NamesAreMatchedExactlyPrefixIncluded) {
  const auto r = app::ReadVersionReply(
      "<Reply xmlns:x=\"urn:x\"><Default><FW_Version><x:Major>2</x:Major><Minor>1</Minor></FW_Version>"
      "<Download_Site><x:Global><Firmware>http://g</Firmware></x:Global></Download_Site></Default></Reply>");
  ASSERT_EQ(r.status, VersionReplyStatus::Read) << r.error;
  EXPECT_EQ(r.info.major, "") << "x:Major is not Major";
  EXPECT_EQ(r.info.minor, "1");
  EXPECT_EQ(r.info.siteNames, std::vector<std::string>{"x:Global"});
  EXPECT_EQ(app::ReadVersionReply("<Reply xmlns:x=\"urn:x\"><x:Default/></Reply>").status,
            VersionReplyStatus::Malformed);
}

// The text limit is of the texts read: the blanks that indent elements do not count.
TEST(VersionReply, IndentationDoesNotCountTowardTheTextLimit) {
  std::string sites;
  for (int i = 0; i < 60; ++i)
    sites += "\n        <Site" + std::to_string(i) + ">\n            <Firmware>http://s/" + std::to_string(i) +
             "</Firmware>\n        </Site" + std::to_string(i) + ">";
  const std::string indented = "<Reply>\n  <Default>\n    <FW_Version>\n      <Major>2</Major>\n"
                               "      <Minor>1</Minor>\n    </FW_Version>\n    <Download_Site>" +
                               sites + "\n    </Download_Site>\n  </Default>\n</Reply>\n";
  ASSERT_GT(indented.size(), 4400u);
  auto r = app::ReadVersionReply(QByteArray::fromStdString(indented));
  ASSERT_EQ(r.status, VersionReplyStatus::Read) << r.error;
  EXPECT_EQ(r.info.siteNames.size(), 60u);
  EXPECT_EQ(r.info.siteUrls.back(), "http://s/59");
  // Blanks past the limit before an element's first child are indentation too.
  r = app::ReadVersionReply(QByteArray::fromStdString(
      "<R><Default>" + std::string(5000, ' ') + "<FW_Version><Major>3</Major><Minor>0</Minor></FW_Version></Default></R>"));
  ASSERT_EQ(r.status, VersionReplyStatus::Read) << r.error;
  EXPECT_EQ(r.info.major, "3");
  // A text that is read stays bounded, blank or not.
  for (const std::string& text : {std::string(5000, 'x'), std::string(5000, ' '), std::string(4097, ' ') + "x"})
    EXPECT_EQ(app::ReadVersionReply(QByteArray::fromStdString("<R><Default><FW_Version><Date>" + text +
                                                              "</Date></FW_Version></Default></R>"))
                  .status,
              VersionReplyStatus::Malformed);
}

TEST(VersionReply, WhatIsNotTheExpectedShapeIsRefused) {
  EXPECT_EQ(app::ReadVersionReply("").status, VersionReplyStatus::Empty);
  EXPECT_EQ(app::ReadVersionReply(" \r\n").status, VersionReplyStatus::Empty);
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "<a>";
  const std::string huge = "<r><Default>" + std::string(70000, ' ') + "</Default></r>";
  const std::string many = "<r><Default><Download_Site>" + [] {
    std::string s;
    for (int i = 0; i < 1200; ++i) s += "<S/>";
    return s;
  }() + "</Download_Site></Default></r>";
  const char* cases[] = {
      "<Reply><Default><FW_Version><Major>1",                         // cut short
      "not xml at all",
      "<Reply><Other/></Reply>",                                       // no Default
      "<Reply><default/></Reply>",                                     // names compare with case
      "<Reply><Default><FW_Version><Major>abc</Major><Minor>1</Minor></FW_Version></Default></Reply>",
      "<Reply><Default><FW_Version><Major>99999999999</Major><Minor>1</Minor></FW_Version></Default></Reply>",
      "<!DOCTYPE r [<!ENTITY x \"xx\">]><r><Default/></r>",            // no declarations
      "<r><Default/></r><second/>",
  };
  for (const char* c : cases) EXPECT_EQ(app::ReadVersionReply(c).status, VersionReplyStatus::Malformed) << c;
  for (const std::string& c : {deep, huge, many})
    EXPECT_EQ(app::ReadVersionReply(QByteArray::fromStdString(c)).status, VersionReplyStatus::Malformed)
        << c.substr(0, 40);
}

}  // namespace
