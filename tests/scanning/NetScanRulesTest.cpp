// The scanning window's decisions: the group's free name and its length limit, the picture's
// information texts, the zoom steps.
#include <gtest/gtest.h>

#include <set>

#include "scanning/NetScanRules.h"

using namespace scanning;

namespace {

// `existing` as full names in the folder.
GroupName choose(const std::string& folder, const std::string& name, const std::string& ext,
                 const std::set<std::string>& existing) {
  std::set<std::string> names;
  for (const std::string& f : existing) names.insert(f.substr(folder.size()));
  return ChooseGroupFile(folder, name, ext, names, [](const std::string&) { return false; });
}

TEST(GroupNaming, FirstFreeNameOverAllThreeExtensions) {
  struct Case {
    const char* what;
    std::string ext;
    std::set<std::string> existing;
    std::string expected;
  };
  const Case cases[] = {
      {"nothing there", "jpg", {}, "/p/Picture.jpg"},
      {"the JPEG exists", "jpg", {"/p/Picture.jpg"}, "/p/Picture1.jpg"},
      {"a BMP page of that name exists", "jpg", {"/p/Picture.bmp"}, "/p/Picture1.jpg"},
      {"a JPEG blocks a PDF group too", "pdf", {"/p/Picture.jpg"}, "/p/Picture1.pdf"},
      {"a PDF does not block a JPG group", "jpg", {"/p/Picture.pdf"}, "/p/Picture.jpg"},
      {"1 and 2 taken", "bmp", {"/p/Picture.bmp", "/p/Picture1.jpg", "/p/Picture2.bmp"},
       "/p/Picture3.bmp"},
      // A later page of a BMP or JPG group would land on these.
      {"a second BMP page exists", "jpg", {"/p/Picture_2.bmp"}, "/p/Picture1.jpg"},
      {"a later JPEG page exists", "bmp", {"/p/Picture_17.jpg"}, "/p/Picture1.bmp"},
      {"no page of a PDF group lands beside it", "pdf", {"/p/Picture_2.jpg"}, "/p/Picture.pdf"},
      {"names no page has", "jpg",
       {"/p/Picture_1.jpg", "/p/Picture_02.jpg", "/p/Picture_.jpg", "/p/Picture_2.png",
        "/p/Picture_2a.jpg", "/p/Picture_x_2.jpg"},
       "/p/Picture.jpg"},
      {"another name's pages", "jpg", {"/p/Pict_2.jpg", "/p/Pictures_2.jpg"}, "/p/Picture.jpg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const GroupName g = choose("/p/", "Picture", c.ext, c.existing);
    EXPECT_EQ(g.result, GroupNameResult::Free);
    EXPECT_EQ(g.file, c.expected);
  }
}

// A folder that does not list (no read permission) lists as empty: the very paths are asked.
TEST(GroupNaming, AFolderThatDoesNotListStillShowsItsFiles) {
  const std::set<std::string> onDisk = {"/p/Picture.jpg", "/p/Picture1.bmp"};
  const GroupName g = ChooseGroupFile("/p/", "Picture", "jpg", {},
                                      [&](const std::string& path) { return onDisk.contains(path); });
  EXPECT_EQ(g.result, GroupNameResult::Free);
  EXPECT_EQ(g.file, "/p/Picture2.jpg");
}

TEST(GroupNaming, AllThousandAndOneTakenGivesThePlainName) {
  std::set<std::string> existing{"/p/Picture.jpg"};
  for (int k = 1; k <= 1000; ++k) existing.insert("/p/Picture" + std::to_string(k) + ".bmp");
  GroupName g = choose("/p/", "Picture", "jpg", existing);
  EXPECT_EQ(g.result, GroupNameResult::AllTaken);
  EXPECT_EQ(g.file, "/p/Picture.jpg");
  existing.erase("/p/Picture1000.bmp");
  EXPECT_EQ(choose("/p/", "Picture", "jpg", existing).file, "/p/Picture1000.jpg");
}

TEST(GroupNaming, TwoHundredFiftyCharactersAcceptedOneMoreRefused) {
  const std::string folder = "/" + std::string(240, 'f') + "/";  // 242 characters
  const GroupName ok = choose(folder, "abcd", "jpg", {});        // 242 + 4 + 4 = 250
  EXPECT_EQ(ok.result, GroupNameResult::Free);
  EXPECT_EQ(ok.file.size(), 250u);
  const GroupName refused = choose(folder, "abcde", "jpg", {});
  EXPECT_EQ(refused.result, GroupNameResult::TooLong);
  EXPECT_EQ(refused.file.size(), 251u);
}

TEST(PictureInfoTexts, SizesDimensionsAndResolution) {
  struct Case {
    int w, h, bits, dpi;
    PictureInfo expected;
  };
  const Case cases[] = {
      {850, 1100, 24, 300, {"24 bit(s)", "850 x 1100 pixels", "2.7 MB", "7.1 x 9.3 cm", "300 dpi"}},
      {32, 32, 8, 0, {"8 bit(s)", "32 x 32 pixels", "1024 Bytes", "", ""}},
      {33, 32, 8, 100, {"8 bit(s)", "33 x 32 pixels", "1 KB", "0.8 x 0.8 cm", "100 dpi"}},
      {100, 100, 24, 150, {"24 bit(s)", "100 x 100 pixels", "29.3 KB", "1.6 x 1.6 cm", "150 dpi"}},
      {2, 2, 1, 600, {"1 bit(s)", "2 x 2 pixels", "0 Bytes", "", ""}},  // under a millimetre
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.pixels);
    const PictureInfo got = FormatPictureInfo(c.w, c.h, c.bits, c.dpi);
    EXPECT_EQ(got.bits, c.expected.bits);
    EXPECT_EQ(got.pixels, c.expected.pixels);
    EXPECT_EQ(got.fileSize, c.expected.fileSize);
    EXPECT_EQ(got.dimensions, c.expected.dimensions);
    EXPECT_EQ(got.resolution, c.expected.resolution);
  }
}

TEST(Zoom, StepsBetweenTheFitAndThreeHundred) {
  std::vector<int> in{47};
  while (ZoomInScale(in.back()) != in.back()) in.push_back(ZoomInScale(in.back()));
  std::vector<int> expected{47};
  for (int s = 50; s <= 300; s += 10) expected.push_back(s);
  EXPECT_EQ(in, expected);
  EXPECT_EQ(ZoomOutScale(50, 47), 47);
  EXPECT_EQ(ZoomOutScale(47, 47), 47);
  EXPECT_EQ(ZoomOutScale(300, 47), 290);
  EXPECT_EQ(ZoomOutScale(55, 47), 50);
}

TEST(Zoom, FitOnlyShrinks) {
  const FitSize small = FitPicture(500, 400, 100, 50);
  EXPECT_EQ(small.scale, 100);
  EXPECT_EQ(small.width, 100);
  const FitSize tall = FitPicture(516, 416, 850, 1100);  // 500 x 400 inside the margins
  EXPECT_EQ(tall.height, 400);
  EXPECT_EQ(tall.width, 400 * 850 / 1100);
  EXPECT_EQ(tall.scale, 36);
}

}  // namespace
