// Pages read from SANE turned into the DIB a source hands over.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/SaneDib.h"
#include "tests/scanning/DibCheck.h"

namespace scanning::test {
namespace {

using platform::SaneFrame;
using platform::SaneFrameFormat;

SaneFrame frame(SaneFrameFormat format, int ppl, int lines, int depth, int bpl,
                std::vector<std::uint8_t> data) {
  return SaneFrame{static_cast<int>(format), bpl, ppl, lines, depth, std::move(data)};
}

// The DIB's pixel bytes of row y counted from the top.
const std::uint8_t* rowOf(const std::vector<std::uint8_t>& dib, int y) {
  const auto d = layoutOf(dib);
  const int rows = d->height;
  return dib.data() + d->pixelOffset() + static_cast<std::size_t>(d->rowBytes) * (rows - 1 - y);
}

std::vector<std::uint8_t> convert(const std::vector<SaneFrame>& frames) {
  std::string why;
  auto dib = platform::dibFromSaneFrames(frames, 300, why);
  EXPECT_TRUE(dib) << why;
  EXPECT_TRUE(dib && layoutOf(*dib));
  return dib.value_or(std::vector<std::uint8_t>{});
}

TEST(SaneDib, ColourRowsTurnBottomUpInBlueGreenRedOrder) {
  const auto dib = convert({frame(SaneFrameFormat::Rgb, 2, 2, 8, 8,
                                  {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0})});
  EXPECT_EQ(layoutOf(dib)->bitCount, 24);
  const std::uint8_t* top = rowOf(dib, 0);
  EXPECT_EQ(std::vector<std::uint8_t>(top, top + 6), (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4}));
  const std::uint8_t* bottom = rowOf(dib, 1);
  EXPECT_EQ(bottom[0], 9);
  EXPECT_EQ(bottom[2], 7);
}

TEST(SaneDib, SixteenBitSamplesAreCutToEight) {
  std::vector<std::uint8_t> data(4);
  const std::uint16_t samples[2] = {0x1234, 0xABCD};
  std::memcpy(data.data(), samples, 4);
  const auto dib = convert({frame(SaneFrameFormat::Gray, 2, 1, 16, 4, data)});
  const auto d = layoutOf(dib);
  EXPECT_EQ(d->bitCount, 8);
  EXPECT_EQ(d->colourEntries, 256u);
  EXPECT_EQ(rowOf(dib, 0)[0], 0x12);
  EXPECT_EQ(rowOf(dib, 0)[1], 0xAB);
}

TEST(SaneDib, LineArtGetsTwoColoursAndItsBlackStaysBlack) {
  // SANE: 1 is black. Ten pixels: black, white, black, then white ... and the 9th black.
  const auto dib = convert({frame(SaneFrameFormat::Gray, 10, 1, 1, 2, {0b10100000, 0b10000000})});
  const auto d = layoutOf(dib);
  EXPECT_EQ(d->bitCount, 1);
  ASSERT_EQ(d->colourEntries, 2u);
  EXPECT_EQ(dib[40], 0);    // entry 0: black
  EXPECT_EQ(dib[44], 255);  // entry 1: white
  EXPECT_EQ(rowOf(dib, 0)[0], 0b01011111);
  EXPECT_EQ(rowOf(dib, 0)[1], 0b01000000) << "bits past the row's end stay clear";
}

TEST(SaneDib, ThreeColourFramesInAnyOrderMakeOnePicture) {
  const auto dib = convert({frame(SaneFrameFormat::Green, 1, 1, 8, 1, {20}),
                            frame(SaneFrameFormat::Red, 1, 1, 8, 1, {10}),
                            frame(SaneFrameFormat::Blue, 1, 1, 8, 1, {30})});
  const std::uint8_t* px = rowOf(dib, 0);
  EXPECT_EQ((std::vector<std::uint8_t>{px[0], px[1], px[2]}), (std::vector<std::uint8_t>{30, 20, 10}));
}

TEST(SaneDib, AnUnknownHeightTakesTheWholeRowsRead) {
  const auto dib = convert({frame(SaneFrameFormat::Gray, 3, -1, 8, 3, {1, 2, 3, 4, 5, 6, 7})});
  EXPECT_EQ(layoutOf(dib)->height, 2);
}

TEST(SaneDib, FramesThatMakeNoPictureAreRefused) {
  struct Case {
    const char* name;
    std::vector<SaneFrame> frames;
  };
  const std::vector<Case> cases = {
      {"no frame", {}},
      {"page ended early", {frame(SaneFrameFormat::Gray, 3, 4, 8, 3, std::vector<std::uint8_t>(9))}},
      {"bytes per line too few", {frame(SaneFrameFormat::Rgb, 3, 1, 8, 8, std::vector<std::uint8_t>(9))}},
      {"negative bytes per line", {frame(SaneFrameFormat::Gray, 3, 1, 8, -3, std::vector<std::uint8_t>(9))}},
      {"depth 4", {frame(SaneFrameFormat::Gray, 2, 1, 4, 1, {0})}},
      {"no pixels", {frame(SaneFrameFormat::Gray, 0, 1, 8, 1, {0})}},
      {"no rows", {frame(SaneFrameFormat::Gray, 4, -1, 8, 4, {1, 2})}},
      {"two frames", {frame(SaneFrameFormat::Red, 1, 1, 8, 1, {1}), frame(SaneFrameFormat::Green, 1, 1, 8, 1, {1})}},
      {"a colour twice",
       {frame(SaneFrameFormat::Red, 1, 1, 8, 1, {1}), frame(SaneFrameFormat::Red, 1, 1, 8, 1, {1}),
        frame(SaneFrameFormat::Blue, 1, 1, 8, 1, {1})}},
      {"colour frames of different widths",
       {frame(SaneFrameFormat::Red, 1, 1, 8, 2, {1, 1}), frame(SaneFrameFormat::Green, 2, 1, 8, 2, {1, 1}),
        frame(SaneFrameFormat::Blue, 1, 1, 8, 2, {1, 1})}},
      {"unknown format", {frame(static_cast<SaneFrameFormat>(9), 1, 1, 8, 1, {1})}},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_FALSE(platform::dibFromSaneFrames(c.frames, 300, why)) << c.name;
    EXPECT_FALSE(why.empty()) << c.name;
  }
}

}  // namespace
}  // namespace scanning::test
