// The saving thread turns a batch of BMP pages into BMP, JPEG or PDF groups; its window calls run
// on the UI thread; a failure loses no page.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <thread>

#include "ScanFixtures.h"
#include "platform/UiDispatcher.h"
#include "scanning/FileClaims.h"
#include "scanning/PictureFiles.h"
#include "scanning/TSaveScanningThread.h"

using namespace scantest;

namespace {

struct RecordingHost : scanning::SaveScanningHost {
  std::string group, temporary;
  std::vector<std::string> pages, pictures;
  bool replace = false;
  std::vector<std::string> errors;
  bool paging = false;
  bool temporaryJpegs = false;
  std::string lastPdf;
  int donePages = -1;
  bool doneFailed = false;
  std::vector<std::thread::id> callers;

  void called() { callers.push_back(std::this_thread::get_id()); }
  std::string GroupFile() override { called(); return group; }
  std::string TemporaryBase() override { called(); return temporary; }
  std::vector<std::string> PageFiles() override { called(); return pages; }
  bool ReplaceAgreed() override { called(); return replace; }
  void SetPictureFiles(const std::vector<std::string>& files) override { called(); pictures = files; }
  void ShowSaveError(const std::string& text) override { called(); errors.push_back(text); }
  void EnablePaging() override { called(); paging = true; }
  void SetTemporaryJpegs(bool exist, const std::string& pdf) override {
    called();
    temporaryJpegs = exist;
    lastPdf = pdf;
  }
  void SaveDone(int pageCount, bool failed) override {
    called();
    donePages = pageCount;
    doneFailed = failed;
  }
};

class SaveScanningThreadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform::ui::markUiThread(); }

  // Pages as the scanning window leaves them: base.bmp, base_2.bmp, ...
  void scanPages(const std::string& base, int count, DibSpec spec = {24, 18, 24}) {
    for (int n = 1; n <= count; ++n) {
      spec.width = 24 + n;  // pages of different sizes
      const auto dib = makeDib(spec);
      host.pages.push_back(scanning::PageFile(base, n, ".bmp"));
      ASSERT_EQ(scanning::WriteDibToFile(dib.data(), dib.size(), host.pages.back()), 0);
    }
  }
  void save(int pages, int dpi = 300) {
    scanning::TSaveScanningThread thread(host);
    thread.PageCount = pages;
    thread.dpi = dpi;
    thread.bits = 24;
    thread.setPriority(platform::ThreadPriority::Higher);
    thread.resume();
    thread.waitFor();
    for (auto id : host.callers) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(host.donePages, pages);
  }
  // A page of this run that came out damaged (a bitmap header and nothing more).
  static void damage(const std::string& page) {
    scanning::OwnFile f = scanning::OpenForWriting(page);
    ASSERT_TRUE(f);
    std::fputs("BM", f.get());
  }
  std::string pdfOut(const std::string& command, const std::string& pdf) {
    std::string out;
    EXPECT_EQ(run(command + " " + pdf, &out), 0) << command;
    return out;
  }

  ScratchDir dir;
  RecordingHost host;
};

TEST_F(SaveScanningThreadTest, BmpGroupCarriesTheResolution) {
  scanPages(dir.file("Name"), 3);
  host.group = dir.file("Name.bmp");
  save(3);
  for (const char* f : {"Name.bmp", "Name_2.bmp", "Name_3.bmp"}) {
    const auto bytes = readAll(dir.file(f));
    EXPECT_EQ(get32(bytes, 38), 11811u) << f;
    EXPECT_EQ(get32(bytes, 42), 11811u) << f;
  }
  EXPECT_TRUE(host.paging);
  EXPECT_FALSE(host.doneFailed);
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(SaveScanningThreadTest, JpgGroupReplacesThePages) {
  if (!haveTool("djpeg")) GTEST_SKIP() << "djpeg missing";
  scanPages(dir.file("Name"), 3);
  host.group = dir.file("Name.jpg");
  save(3);
  for (const char* f : {"Name.jpg", "Name_2.jpg", "Name_3.jpg"}) {
    const auto bytes = readAll(dir.file(f));
    ASSERT_GT(bytes.size(), 20u) << f;
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 13, bytes.begin() + 18),
              (std::vector<std::uint8_t>{1, 0x01, 0x2C, 0x01, 0x2C})) << f;
    EXPECT_EQ(run("djpeg -outfile /dev/null " + dir.file(f)), 0) << f;
  }
  for (const char* f : {"Name.bmp", "Name_2.bmp", "Name_3.bmp"}) EXPECT_FALSE(exists(dir.file(f)));
  EXPECT_TRUE(host.paging);
}

// A page that cannot be converted keeps its BMP; the others are converted; the message says so.
TEST_F(SaveScanningThreadTest, JpgPageThatFailsKeepsItsBmp) {
  scanPages(dir.file("Name"), 3);
  damage(dir.file("Name_2.bmp"));
  host.group = dir.file("Name.jpg");
  save(3);
  EXPECT_TRUE(exists(dir.file("Name.jpg")));
  EXPECT_TRUE(exists(dir.file("Name_3.jpg")));
  EXPECT_FALSE(exists(dir.file("Name_2.jpg")));
  EXPECT_TRUE(exists(dir.file("Name_2.bmp")));
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0], "Can't save file :  : " + dir.file("Name_2.jpg") +
                                "\n\nThe page is kept as " + dir.file("Name_2.bmp"));
  EXPECT_TRUE(host.doneFailed);
  EXPECT_FALSE(host.paging);
}

TEST_F(SaveScanningThreadTest, PdfGroupOnePagePerPicture) {
  for (const char* tool : {"qpdf", "pdfinfo", "pdfimages"})
    if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
  host.temporary = dir.file("Picture");
  scanPages(host.temporary, 3);
  host.group = dir.file("Group.pdf");
  save(3, 72);  // a point a pixel
  EXPECT_EQ(run("qpdf --check " + host.group), 0);
  EXPECT_NE(pdfOut("pdfinfo", host.group).find("Pages:           3"), std::string::npos);
  std::string sizes = pdfOut("pdfinfo -f 1 -l 3", host.group);
  for (int n = 1; n <= 3; ++n)
    EXPECT_NE(sizes.find(std::to_string(24 + n) + " x 18 pts"), std::string::npos) << sizes;
  const std::string images = pdfOut("pdfimages -list", host.group);
  EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2 + 3) << images;
  // The page JPEGs stay for the preview; the window deletes them later.
  for (const char* f : {"Picture.jpg", "Picture_2.jpg", "Picture_3.jpg"}) EXPECT_TRUE(exists(dir.file(f)));
  for (const char* f : {"Picture.bmp", "Picture_2.bmp", "Picture_3.bmp"}) EXPECT_FALSE(exists(dir.file(f)));
  EXPECT_TRUE(host.temporaryJpegs);
  EXPECT_EQ(host.lastPdf, host.group);
  EXPECT_TRUE(host.paging);
}

// A 300-dpi A4 scan prints on A4: 2480 x 3508 pixels make a page of 595.2 x 841.92 points, with
// the picture at 300 ppi over the whole of it; also under a locale that writes a decimal comma
// (as the program runs with LC_ALL=de_DE.UTF-8), where the page box must still read with a point.
TEST_F(SaveScanningThreadTest, PdfPageHasThePapersSize) {
  for (const char* tool : {"qpdf", "pdfinfo", "pdfimages"})
    if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
  const auto dib = makeDib({2480, 3508, 8});
  for (const bool comma : {false, true}) {
    SCOPED_TRACE(comma ? "decimal comma" : "C locale");
    std::optional<CommaLocale> locale;
    if (comma) {
      locale.emplace();
      if (!locale->ok()) GTEST_SKIP() << "no locale with a decimal comma";
    }
    const std::string name = comma ? "A4-comma" : "A4";
    host.temporary = dir.file(name);
    host.pages = {dir.file(name + ".bmp")};
    ASSERT_EQ(scanning::WriteDibToFile(dib.data(), dib.size(), host.pages[0]), 0);
    host.group = dir.file(name + ".pdf");
    save(1, 300);
    std::string check;
    EXPECT_EQ(run("qpdf --check " + host.group + " 2>&1", &check), 0) << check;
    EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
    const std::string info = pdfOut("pdfinfo", host.group);
    EXPECT_NE(info.find("595.2 x 841.92 pts (A4)"), std::string::npos) << info;
    std::string ppi;
    run("pdfimages -list " + host.group + " | tail -1 | awk '{print $4, $5, $13, $14}'", &ppi);
    EXPECT_EQ(ppi, "2480 3508 300 300\n");
  }
}

TEST_F(SaveScanningThreadTest, PdfGroupOfOnePageLeavesPagingOff) {
  host.temporary = dir.file("Picture");
  scanPages(host.temporary, 1);
  host.group = dir.file("One.pdf");
  save(1);
  EXPECT_TRUE(exists(host.group));
  EXPECT_FALSE(host.paging);
  EXPECT_TRUE(exists(dir.file("Picture.jpg")));
}

// Past the writer's default of 100 pictures and 120 pages every page still shows its picture.
TEST_F(SaveScanningThreadTest, PdfGroupLargerThanTheDefaultLimits) {
  if (!haveTool("pdfimages")) GTEST_SKIP() << "pdfimages missing";
  host.temporary = dir.file("Picture");
  scanPages(host.temporary, 125, {4, 4, 8});
  host.group = dir.file("Big.pdf");
  save(125);
  EXPECT_EQ(run("qpdf --check " + host.group), 0);
  const std::string images = pdfOut("pdfimages -list", host.group);
  EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2 + 125);
  EXPECT_NE(images.find("\n 125 "), std::string::npos) << images;  // page 125 has its picture
}

// Page 2 of 4 cannot be converted: no document, nothing lost. The pages leave the window's own
// folder (which goes with the window) for the group's, under free names, and the message says
// where; a user's file there stays as it was.
TEST_F(SaveScanningThreadTest, PdfGroupThatFailsKeepsThePages) {
  std::filesystem::create_directories(dir.file("own"));
  host.temporary = dir.file("own/Picture");
  scanPages(host.temporary, 4);
  damage(dir.file("own/Picture_2.bmp"));
  writeAll(dir.file("Group_3.jpg"), {'m', 'i', 'n', 'e'});
  host.group = dir.file("Group.pdf");
  save(4);
  EXPECT_FALSE(exists(host.group));
  EXPECT_TRUE(host.doneFailed);
  EXPECT_FALSE(host.paging);
  EXPECT_FALSE(host.temporaryJpegs);
  // The damaged page has no JPEG: its BMP is kept.
  const std::vector<std::string> kept = {dir.file("Group.jpg"), dir.file("Group_2.bmp"),
                                         dir.file("Group_3-1.jpg"), dir.file("Group_4.jpg")};
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0], "Can't save file :  : " + host.group + "\n\nThe pages are kept in these files:\n" +
                                kept[0] + "\n" + kept[1] + "\n" + kept[2] + "\n" + kept[3]);
  for (const std::string& f : kept) EXPECT_TRUE(exists(f)) << f;
  EXPECT_EQ(readAll(dir.file("Group_3.jpg")), (std::vector<std::uint8_t>{'m', 'i', 'n', 'e'}));
  EXPECT_FALSE(exists(dir.file("own/Picture.jpg")));
}

// A document that cannot be written is a failure, not a silent success.
TEST_F(SaveScanningThreadTest, PdfThatCannotBeWrittenIsReported) {
  host.temporary = dir.file("Picture");
  scanPages(host.temporary, 2);
  host.group = dir.file("missing-folder/Group.pdf");
  save(2);
  EXPECT_TRUE(host.doneFailed);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_NE(host.errors[0].find(dir.file("Picture_2.jpg")), std::string::npos);
  EXPECT_TRUE(exists(dir.file("Picture.jpg")));
}

TEST_F(SaveScanningThreadTest, BmpPageThatCannotBePatchedIsReported) {
  scanPages(dir.file("Name"), 2);
  host.group = dir.file("Name.bmp");
  std::filesystem::remove(dir.file("Name_2.bmp"));
  save(2);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0], "Can't save file :  : " + dir.file("Name_2.bmp"));
  EXPECT_EQ(get32(readAll(dir.file("Name.bmp")), 42), 11811u);
  EXPECT_TRUE(host.doneFailed);
}

// Whatever breaks inside the thread, the user is told and the window gets SaveDone back.
TEST_F(SaveScanningThreadTest, AnExceptionInTheSaveIsReportedAndSaveDoneStillComes) {
  struct Throwing : scanning::TSaveScanningThread {
    using TSaveScanningThread::TSaveScanningThread;
    void saveGroup() override { throw std::runtime_error("out of memory"); }
  };
  host.group = dir.file("Name.jpg");
  Throwing thread(host);
  thread.PageCount = 2;
  thread.resume();
  thread.waitFor();
  EXPECT_EQ(host.donePages, 2);
  EXPECT_TRUE(host.doneFailed);
  EXPECT_FALSE(host.paging);
  EXPECT_EQ(host.errors, std::vector<std::string>{"Can't save file :  : " + dir.file("Name.jpg") +
                                                  "\n\nout of memory"});
}

}  // namespace
