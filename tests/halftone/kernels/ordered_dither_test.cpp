#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "halftone/kernels/hand_built_object.h"

namespace inkdot {
namespace {

using testing::Bits;
using testing::MakeRun;
using Planes = std::vector<std::string>;

uint32_t Entry(uint8_t ink0, uint8_t ink1, uint8_t ink2, uint8_t ink3) {
  return ink0 | ink1 << 8 | ink2 << 16 | static_cast<uint32_t>(ink3) << 24;
}

// Level scale v -> v; a 4 x 2 matrix whose first row spans 0..15.
class DitherTest : public ::testing::Test {
 protected:
  DitherTest() : object_(64) {
    object_->params = {3, 1, 2, 1, 720, 720, 1, 0, 0, 64, 0};
    object_.SetMatrix(4, 2, {0, 5, 10, 15, 3, 8, 13, 1});
    for (int v = 0; v < 256; ++v) object_.LevelScale()[v] = static_cast<uint16_t>(v);
  }
  std::string Mono(const std::vector<uint8_t> &src, uint32_t count, uint32_t startX = 0,
                   uint32_t row = 0) {
    uint8_t dst[8] = {};
    EXPECT_EQ(
        DitherMonoRow(object_.get(), MakeRun(src.data(), dst, count, startX, row)),
        kOk);
    return Bits(dst, count);
  }
  Planes Colour(RowKernel kernel, const std::vector<uint8_t> &src, uint32_t count,
                uint32_t startX = 0) {
    uint8_t dst[4][4] = {};
    EXPECT_EQ(
        kernel(object_.get(), MakeRun(src.data(), dst[0], count, startX, 0, 0, 4)),
        kOk);
    return {Bits(dst[0], count), Bits(dst[1], count), Bits(dst[2], count),
            Bits(dst[3], count)};
  }
  testing::PlatformGuard guard_;
  testing::HandBuiltObject object_;
};

TEST_F(DitherTest, MonoDotsWhereTheLevelExceedsTheMatrix) {
  const std::vector<uint8_t> ten(8, 10);
  EXPECT_EQ(Mono(ten, 4), "1100");
  EXPECT_EQ(Mono(ten, 4, 2), "0011");        // columns 2 3 0 1
  EXPECT_EQ(Mono(ten, 4, 0, 3), "1101");     // row 3: matrix row 1
  EXPECT_EQ(Mono({0, 0, 0, 0}, 4), "0000");  // level 0, even on a 0
  object_->params.magnification = -1;        // the smaller of two bytes
  EXPECT_EQ(Mono({200, 0, 200, 210}, 2), "01");
  object_->params.magnification = 1;  // one byte, two pixels
  EXPECT_EQ(Mono({0, 200, 0}, 5), "00110");
  object_->params.magnification = 0;
  object_.SetMatrix(1, 1, {1});
  object_.LevelScale()[0] = 1;
  object_.LevelScale()[255] = 2;
  EXPECT_EQ(Mono({128, 129}, 2), "11");  // levels 128 and 129
  object_->params.method = 0;            // midpoint: the two end levels only
  EXPECT_EQ(Mono({128, 129}, 2), "01");
  EXPECT_EQ(object_->lastRow, 0u);
}

TEST_F(DitherTest, MonoChecksAndPacking) {
  const std::vector<uint8_t> full(80, 255);
  uint8_t dst[3] = {0xFF, 0xFF, 0xFF};
  RowRun run = MakeRun(full.data(), dst, 65);
  run.reservedA = run.reservedB = 1;
  EXPECT_EQ(DitherMonoRow(object_.get(), run), kBadReservedB);
  run.reservedB = 0;
  EXPECT_EQ(DitherMonoRow(object_.get(), run), kRunTooLong);
  run.count = 0;
  EXPECT_EQ(DitherMonoRow(object_.get(), run), kBadReservedA);
  run.reservedA = 0;
  EXPECT_EQ(DitherMonoRow(object_.get(), run), kOk);
  EXPECT_EQ(dst[0], 0xFF);  // nothing to store
  run.firstBit = 3;
  EXPECT_EQ(DitherMonoRow(object_.get(), run), kOk);
  EXPECT_EQ(dst[0], 0xE0);  // three earlier bits kept, the rest cleared
  ASSERT_EQ(DitherMonoRow(object_.get(), MakeRun(full.data(), dst, 10)), kOk);
  EXPECT_EQ(dst[1], 0xC0);  // low six bits cleared although they were set
  EXPECT_EQ(dst[2], 0xFF);  // past the run
  dst[1] = 0xA7;            // continue at bit 5 of that byte: 10100 then 111
  ASSERT_EQ(DitherMonoRow(object_.get(), MakeRun(full.data(), dst + 1, 3, 0, 0, 5)),
            kOk);
  EXPECT_EQ(dst[1], 0xA7);
}

TEST_F(DitherTest, CornersPairTheInks) {
  object_.SetMatrix(4, 1, {0, 1, 2, 3});  // M = 3
  uint32_t *corners = object_.ColourTable(8);
  corners[0] = Entry(1, 2, 2, 1);  // inks 0 + 3 within the range
  corners[5] = Entry(3, 0, 4, 2);  // beyond it
  corners[7] = Entry(4, 4, 4, 4);  // white: never printed in the pair loop
  // Ink 3 where 1 > m, ink 0 in its gaps where 2 > m; inks 1 and 2 alike
  // where 2 > 3 - m.
  EXPECT_EQ(Colour(DitherColorRowCorners, std::vector<uint8_t>(16, 0), 4),
            (Planes{"0100", "0011", "0011", "1000"}));
  std::vector<uint8_t> magenta(16);
  for (int i = 0; i < 16; ++i) magenta[i] = std::array<uint8_t, 4>{200, 128, 129, 0}[i % 4];
  EXPECT_EQ(Colour(DitherColorRowCorners, magenta, 4),
            (Planes{"0111", "0000", "1111", "1100"}));
  EXPECT_EQ(Colour(DitherColorRowCorners, std::vector<uint8_t>(16, 255), 4),
            (Planes{"0000", "0000", "0000", "0000"}));
  // Odd last pixel at column 4 (m = 0, m' = 3): 2 + 2 exceed M, so ink 1
  // needs 2 > 3 and ink 2 2 > 0. At column 3 (m' = 0) white gets no test:
  // corner 7 gives all four; with 1 + 1 within M ink 1 alone takes it.
  EXPECT_EQ(Colour(DitherColorRowCorners, std::vector<uint8_t>(12, 0), 3, 2),
            (Planes{"000", "110", "111", "001"}));
  EXPECT_EQ(Colour(DitherColorRowCorners, {255, 255, 255, 0}, 1, 3),
            (Planes{"1", "1", "1", "1"}));
  corners[1] = Entry(0, 1, 1, 0);
  EXPECT_EQ(Colour(DitherColorRowCorners, {0, 0, 200, 0}, 1, 3),
            (Planes{"0", "1", "0", "0"}));
}

TEST_F(DitherTest, OddColourPixelOnAFreshByteIsStored) {
  object_.ColourTable(8)[0] = Entry(0, 0, 0, 255);
  const std::vector<uint8_t> dark(36, 0);
  uint8_t dst[4][2] = {{0, 0x33}, {0, 0x33}, {0, 0x33}, {0, 0x33}};
  ASSERT_EQ(
      DitherColorRowCorners(object_.get(), MakeRun(dark.data(), dst[0], 9, 0, 0, 0, 2)),
      kOk);
  EXPECT_EQ(dst[3][1], 0x80);
  EXPECT_EQ(dst[0][1], 0x00);
}

// The 32-grid front end: value v on grid point v / 8; a 2 x 128 matrix
// (M = 255) whose columns hold 155 (threshold of inks 1 and 2: 100, bit 2
// clear) and 156 (threshold 99, bit 2 set).
TEST_F(DitherTest, GridFrontEndSteersAndAverages) {
  std::vector<uint16_t> m(256);
  for (int k = 0; k < 256; ++k) m[k] = k % 2 ? 156 : 155;
  object_.SetMatrix(2, 128, m);
  uint8_t *grid = object_.GridIndex();
  for (int v = 0; v < 256; ++v) grid[2 * v] = v / 8, grid[2 * v + 1] = 255;
  uint32_t *table = object_.ColourTable(32 * 32 * 32);
  auto at = [&](int a, int b, int c) -> uint32_t & {
    return table[(a * 32 + b) * 32 + c];
  };
  at(0, 0, 0) = Entry(0, 201, 201, 0);
  at(0, 0, 24) = Entry(0, 199, 0, 0);
  const std::vector<uint8_t> white = {255, 255, 255, 0};
  // Point (1, 0, 0) is empty, but next to (0, 0, 0) ink 1 averages to
  // (201 + 0 + 1) >> 1 = 101 > 100; ink 2 never averages. A white pixel in
  // between changes nothing; two grid steps apart nothing is averaged.
  EXPECT_EQ(Colour(DitherColorRow, {0, 0, 0, 0, 8, 0, 0, 0}, 2),
            (Planes{"00", "11", "10", "00"}));
  EXPECT_EQ(Colour(DitherColorRow,
                   {0, 0, 0, 0, 255, 255, 255, 0, 8, 0, 0, 0, 255, 255, 255, 0}, 4),
            (Planes{"0000", "1010", "1000", "0000"}));
  EXPECT_EQ(Colour(DitherColorRow, {0, 0, 0, 0, 16, 0, 0, 0}, 2)[1], "10");
  // Bit 2 set rounds down: (199 + 0) >> 1 = 99, not above 99.
  EXPECT_EQ(Colour(DitherColorRow, {0, 0, 192, 0, 8, 0, 192, 0}, 2)[1], "10");
  // Value 40 with weight 155 on point 5 takes point 6 where 155 <= m & 0xFE.
  grid[81] = 155;
  at(6, 0, 0) = at(6, 2, 0) = Entry(0, 0, 0, 255);
  EXPECT_EQ(Colour(DitherColorRow, {40, 0, 0, 0, 40, 16, 0, 0}, 2)[3], "01");
  // Four-ink input: only the odd last pixel takes the bytes as levels.
  const std::vector<uint8_t> inks = {0, 0, 0, 200, 0, 0, 0, 200, 0, 0, 0, 200};
  object_->params.inputFormat = 4;
  EXPECT_EQ(Colour(DitherColorRow, inks, 3)[3], "001");
  object_->params.inputFormat = 2;
  EXPECT_EQ(Colour(DitherColorRow, inks, 3)[3], "000");
}

}  // namespace
}  // namespace inkdot
