// The layout of a DIB handed over by a source, read from its own header and checked against the
// bytes there are.
#include <gtest/gtest.h>

#include "scanning/Dib.h"
#include "tests/scanning/ScriptedSource.h"

namespace scanning::test {
namespace {

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

TEST(DibLayout, SoundPictures) {
  struct Case {
    int w, h, bits;
    std::uint32_t colours, row, offset;
  };
  const Case cases[] = {{13, 5, 1, 2, 4, 48}, {13, 5, 8, 256, 16, 40 + 1024}, {13, 5, 24, 0, 40, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    const auto dib = smallDib(c.w, c.h, c.bits, 300);
    const auto d = ReadDibLayout(dib);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->colourEntries, c.colours);
    EXPECT_EQ(d->rowBytes, c.row);
    EXPECT_EQ(d->bitsOffset, c.offset);
    EXPECT_EQ(d->totalBytes, dib.size());
    EXPECT_EQ(d->yPelsPerMeter, 11811u);
  }
}

TEST(DibLayout, ALargerHeaderAndTopDownRowsAreReadByTheirRealSizes) {
  auto dib = smallDib(10, 4, 24, 300);
  // A 124-byte header: 84 more bytes before the pixels.
  dib.insert(dib.begin() + 40, 84, 0);
  put32(dib, 0, 124);
  put32(dib, 8, static_cast<std::uint32_t>(-4));
  const auto d = ReadDibLayout(dib);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->bitsOffset, 124u);
  EXPECT_EQ(d->imageBytes, 4u * 32u);
  EXPECT_EQ(d->height, -4);
}

TEST(DibLayout, RefusedPictures) {
  const auto good = smallDib(10, 4, 8, 300);
  struct Case {
    const char* name;
    std::size_t at;
    std::uint32_t value;
    std::size_t keep;  // bytes kept, 0: all
  };
  const Case cases[] = {
      {"cut short", 0, 40, 100},
      {"header only", 0, 40, 40},
      {"header size beyond the bytes", 0, 4000, 0},
      {"header too small", 0, 12, 0},
      {"zero width", 4, 0, 0},
      {"negative width", 4, 0xFFFFFFF0, 0},
      {"zero height", 8, 0, 0},
      {"huge height", 8, 0x7FFFFFFF, 0},
      {"lowest height", 8, 0x80000000, 0},
      {"two planes", 12, 0x00080002, 0},
      {"bit count 7", 14, 7, 0},
      {"compressed", 16, 1, 0},
      {"colour table too big", 32, 257, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto dib = good;
    if (c.at == 14) {
      dib[14] = static_cast<std::uint8_t>(c.value);
    } else {
      put32(dib, c.at, c.value);
    }
    if (c.keep) dib.resize(c.keep);
    EXPECT_FALSE(ReadDibLayout(dib));
  }
  EXPECT_FALSE(ReadDibLayout({}));
}

}  // namespace
}  // namespace scanning::test
