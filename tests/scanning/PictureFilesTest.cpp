// Bitmap and JFIF files as the scan writes them, read back by outside tools.
#include <gtest/gtest.h>

#include "ScanFixtures.h"
#include "scanning/PdfGroup.h"
#include "scanning/FileClaims.h"
#include "scanning/PictureFiles.h"
#include "scanning/TSaveScanningThread.h"

using namespace scantest;
using scantest::DibSpec;

namespace {

std::string identify(const std::string& file) {
  std::string out;
  run("identify -units PixelsPerInch -format '%w %h %[fx:round(resolution.x)] "
      "%[fx:round(resolution.y)]' " + file, &out);
  return out;
}

}  // namespace

// The file header follows the DIB's real header size, its colour table and the absolute height.
TEST(DibToFile, HeaderFollowsTheDibsOwnLayout) {
  if (!haveTool("identify")) GTEST_SKIP() << "identify missing";
  struct Case {
    const char* what;
    scantest::DibSpec spec;
    std::uint32_t offBits;
  };
  const Case cases[] = {
      {"24-bit, 40-byte header", {17, 5, 24, 40, false, 0}, 54},
      {"24-bit, 124-byte header", {17, 5, 24, 124, false, 0}, 14 + 124},
      {"top-down (negative height)", {17, 5, 24, 40, true, 0}, 54},
      {"8-bit grey palette", {9, 4, 8, 40, false, 0}, 54 + 1024},
      {"1-bit line art", {21, 3, 1, 40, false, 0}, 54 + 8},
      {"wrong size image field", {17, 5, 24, 40, false, 12345}, 54},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto dib = makeDib(c.spec);
    const std::string file = dir.file("page.bmp");
    ASSERT_EQ(scanning::WriteDibToFile(dib.data(), dib.size(), file), 0);
    const auto bytes = readAll(file);
    const std::uint32_t row = ((static_cast<std::uint32_t>(c.spec.width) * c.spec.bits + 31) / 32) * 4;
    const std::uint32_t image = row * static_cast<std::uint32_t>(c.spec.height);
    EXPECT_EQ(get32(bytes, 10), c.offBits);
    EXPECT_EQ(get32(bytes, 2), c.offBits + image);
    EXPECT_EQ(bytes.size(), c.offBits + image);
    EXPECT_EQ(get32(bytes, 14 + 20), image);
    EXPECT_EQ(identify(file).substr(0, identify(file).find(' ', 3)),
              std::to_string(c.spec.width) + " " + std::to_string(c.spec.height));
  }
}

TEST(DibToFile, UnusableDibWritesNothing) {
  ScratchDir dir;
  const std::string file = dir.file("page.bmp");
  auto dib = makeDib({});
  EXPECT_EQ(scanning::WriteDibToFile(dib.data(), dib.size() - 1, file), -3);  // truncated
  EXPECT_EQ(scanning::WriteDibToFile(dib.data(), 30, file), -3);              // header cut
  auto rle = dib;
  put32(rle, 16, 1);  // compressed with no image size
  EXPECT_EQ(scanning::WriteDibToFile(rle.data(), rle.size(), file), -3);
  auto huge = dib;
  put32(huge, 0, 0x7FFFFFFF);  // header longer than the DIB
  EXPECT_EQ(scanning::WriteDibToFile(huge.data(), huge.size(), file), -3);
  EXPECT_FALSE(exists(file));
  EXPECT_EQ(scanning::WriteDibToFile(dib.data(), dib.size(), dir.file("no/such/folder.bmp")), -4);
}

// Pels per metre as stored, and the dpi read back rounds to what was written.
TEST(BmpResolution, StoredAndReadBack) {
  if (!haveTool("identify")) GTEST_SKIP() << "identify missing";
  ScratchDir dir;
  const std::string file = dir.file("page.bmp");
  const auto dib = makeDib({});
  for (int dpi : {50, 72, 75, 100, 125, 144, 150, 200, 240, 300, 400, 600, 1200}) {
    SCOPED_TRACE(dpi);
    ASSERT_EQ(scanning::WriteDibToFile(dib.data(), dib.size(), file), 0);
    ASSERT_TRUE(scanning::WriteBmpResolution(file, dpi));
    const auto bytes = readAll(file);
    const auto ppm = static_cast<std::uint32_t>(dpi * 39.37 + 0.5);
    EXPECT_EQ(get32(bytes, 38), ppm);
    EXPECT_EQ(get32(bytes, 42), ppm);
    EXPECT_EQ(scanning::ReadBmpResolution(file), dpi);
    EXPECT_EQ(identify(file), "16 8 " + std::to_string(dpi) + " " + std::to_string(dpi));
  }
  EXPECT_EQ(get32(readAll(file), 42) , 47244u);
  EXPECT_EQ(scanning::DpiToPelsPerMetre(300), 11811);
}

TEST(BmpResolution, NotABitmapIsLeftAlone) {
  ScratchDir dir;
  const std::string file = dir.file("x.bmp");
  const std::vector<std::uint8_t> text(100, 'x');
  writeAll(file, text);
  EXPECT_FALSE(scanning::WriteBmpResolution(file, 300));
  EXPECT_EQ(readAll(file), text);
  EXPECT_EQ(scanning::ReadBmpResolution(file), 0);
  writeAll(file, {'B', 'M', 0, 0});
  EXPECT_FALSE(scanning::WriteBmpResolution(file, 300));
  EXPECT_EQ(readAll(file).size(), 4u);
  EXPECT_FALSE(scanning::WriteBmpResolution(dir.file("missing.bmp"), 300));
  EXPECT_EQ(scanning::ReadBmpResolution(dir.file("missing.bmp")), 0);
}

// The density fields are written only inside a real JFIF header in the first 64 bytes.
TEST(JpegResolution, WrittenOnlyIntoAJfifHeader) {
  ScratchDir dir;
  const std::string file = dir.file("p.jpg");
  const std::vector<std::uint8_t> jfif = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0,
                                          1, 1, 0, 0, 1, 0, 1, 0, 0, 0xFF, 0xD9};
  // The user's own JFIF file is never patched; one this run wrote is.
  writeAll(file, jfif);
  EXPECT_FALSE(scanning::WriteJpegResolution(file, 300));
  EXPECT_EQ(readAll(file), jfif);
  std::filesystem::remove(file);
  const auto writeOwn = [&](const std::vector<std::uint8_t>& bytes) {
    scanning::OwnFile f = scanning::OpenForWriting(file);
    ASSERT_TRUE(f);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f.get());
    ASSERT_TRUE(scanning::CloseOwnFile(std::move(f)));
  };
  writeOwn(jfif);
  ASSERT_TRUE(scanning::WriteJpegResolution(file, 300));
  auto bytes = readAll(file);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 13, bytes.begin() + 18),
            (std::vector<std::uint8_t>{1, 0x01, 0x2C, 0x01, 0x2C}));
  EXPECT_EQ(bytes.size(), jfif.size());
  EXPECT_EQ(scanning::ReadJpegResolution(file), 300);

  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<std::uint8_t> late(90, 0);
  late[0] = 0xFF;
  late[1] = 0xD8;
  std::copy(jfif.begin() + 2, jfif.end(), late.begin() + 58);  // "JFIF" past byte 64
  std::vector<std::uint8_t> comment = {0xFF, 0xD8, 0xFF, 0xFE, 0, 12, 'J', 'F', 'I', 'F', 0,
                                       1, 2, 3, 4, 5, 6, 7, 8, 9};
  const Case untouched[] = {
      {"an Exif file", {0xFF, 0xD8, 0xFF, 0xE1, 0, 8, 'E', 'x', 'i', 'f', 0, 0, 1, 2, 3, 4}},
      {"JFIF in a comment, not APP0", comment},
      {"header cut before its densities", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1}},
      {"JFIF beyond the first 64 bytes", late},
      {"empty file", {}},
  };
  for (const Case& c : untouched) {
    SCOPED_TRACE(c.what);
    writeOwn(c.bytes);
    EXPECT_FALSE(scanning::WriteJpegResolution(file, 300));
    EXPECT_EQ(readAll(file), c.bytes);
    EXPECT_EQ(scanning::ReadJpegResolution(file), 0);
  }
  EXPECT_FALSE(scanning::WriteJpegResolution(dir.file("missing.jpg"), 300));
}

// A page converted by our encoder: djpeg decodes it, identify sees its size and resolution, and a
// grey page stays grey.
TEST(PageToJpeg, DecodableWithResolution) {
  for (const char* tool : {"djpeg", "identify"})
    if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
  ScratchDir dir;
  struct Case {
    DibSpec spec;
    const char* djpegHead;
  };
  const Case cases[] = {{{33, 21, 24}, "P6"}, {{33, 21, 8}, "P5"}, {{33, 21, 1}, "P5"},
                        {{33, 21, 24, 40, true}, "P6"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spec.bits);
    const auto dib = makeDib(c.spec);
    const std::string bmp = dir.file("p.bmp"), jpg = dir.file("p.jpg");
    ASSERT_EQ(scanning::WriteDibToFile(dib.data(), dib.size(), bmp), 0);
    int w = 0, h = 0;
    ASSERT_TRUE(scanning::ConvertPageToJpeg(bmp, jpg, 150, &w, &h));
    EXPECT_EQ(w, 33);
    EXPECT_EQ(h, 21);
    std::string out;
    ASSERT_EQ(run("djpeg " + jpg, &out), 0);
    EXPECT_EQ(out.substr(0, 2), c.djpegHead);
    EXPECT_EQ(identify(jpg), "33 21 150 150");
  }
  // The picture itself survives: a 24-bit page's top-left corner is the DIB's last row.
  const auto dib = makeDib({64, 64, 24});
  ASSERT_EQ(scanning::WriteDibToFile(dib.data(), dib.size(), dir.file("c.bmp")), 0);
  ASSERT_TRUE(scanning::ConvertPageToJpeg(dir.file("c.bmp"), dir.file("c.jpg"), 300));
  std::string pixel;
  run("convert " + dir.file("c.jpg") + " -format '%[fx:round(255*u.p{60,0}.g)]' info:", &pixel);
  EXPECT_NEAR(std::stoi(pixel), 63 * 255 / 64, 12);
}

TEST(PageToJpeg, UnreadablePageLeavesNoJpeg) {
  ScratchDir dir;
  writeAll(dir.file("bad.bmp"), {'B', 'M', 1, 2, 3});
  EXPECT_FALSE(scanning::ConvertPageToJpeg(dir.file("bad.bmp"), dir.file("bad.jpg"), 300));
  EXPECT_FALSE(exists(dir.file("bad.jpg")));
  EXPECT_FALSE(scanning::ConvertPageToJpeg(dir.file("none.bmp"), dir.file("none.jpg"), 300));
}

// Bitmap files this program cannot read answer with nothing, whatever the header claims.
TEST(BmpReader, MalformedHeadersRefused) {
  const auto dib = makeDib({8, 4, 24});
  std::vector<std::uint8_t> file(14, 0);
  file[0] = 'B';
  file[1] = 'M';
  put32(file, 10, 54);
  file.insert(file.end(), dib.begin(), dib.end());
  ASSERT_TRUE(scanning::BmpPicture::FromBytes(file));

  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"pixels past the end", 10, 60},       {"pixels inside the header", 10, 20},
      {"zero width", 18, 0},                 {"negative width", 18, 0xFFFFFFF0},
      {"zero height", 22, 0},                {"huge height", 22, 0x7FFFFFFF},
      {"odd bit count", 28, 7},              {"RLE compression", 30, 1},
      {"header size 12", 14, 12},            {"header past the end", 14, 4000},
      {"colour table too long", 46, 100000}, {"most negative height", 22, 0x80000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto bad = file;
    if (c.at == 28) bad[28] = static_cast<std::uint8_t>(c.value);
    else put32(bad, c.at, c.value);
    EXPECT_FALSE(scanning::BmpPicture::FromBytes(bad));
  }
  for (std::size_t cut : {0u, 2u, 13u, 20u, 53u, 60u}) {
    SCOPED_TRACE(cut);
    EXPECT_FALSE(scanning::BmpPicture::FromBytes({file.begin(), file.begin() + static_cast<long>(cut)}));
  }
}

// The one-page document of a picture saved as PDF: the page is the paper's size (pixels at the
// picture's resolution, one point per pixel without one) and the picture covers it.
TEST(OnePagePdf, PageMeasuresThePaper) {
  for (const char* tool : {"qpdf", "pdfinfo", "pdfimages"})
    if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
  ScratchDir dir;
  const auto dib = makeDib({40, 30, 24});
  ASSERT_EQ(scanning::WriteDibToFile(dib.data(), dib.size(), dir.file("p.bmp")), 0);
  ASSERT_TRUE(scanning::ConvertPageToJpeg(dir.file("p.bmp"), dir.file("p.jpg"), 300));
  struct Case {
    int dpi;
    const char* size;
    const char* ppi;
  } const cases[] = {{0, "40 x 30 pts", "72"}, {144, "20 x 15 pts", "144"}, {300, "9.6 x 7.2 pts", "300"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    ASSERT_TRUE(scanning::SaveOnePagePdf(dir.file("p.jpg"), 40, 30, c.dpi, dir.file("p.pdf")));
    EXPECT_EQ(run("qpdf --check " + dir.file("p.pdf")), 0);
    std::string out;
    run("pdfinfo " + dir.file("p.pdf"), &out);
    EXPECT_NE(out.find(c.size), std::string::npos) << out;
    run("pdfimages -list " + dir.file("p.pdf") + " | tail -1 | awk '{print $13, $14}'", &out);
    EXPECT_EQ(out, std::string(c.ppi) + " " + c.ppi + "\n");
  }
  EXPECT_FALSE(scanning::SaveOnePagePdf(dir.file("none.jpg"), 40, 30, 300, dir.file("q.pdf")));
  EXPECT_FALSE(exists(dir.file("q.pdf")));
}
