#include <gtest/gtest.h>

#include <vector>

#include "halftone/kernels/hand_built_object.h"

namespace inkdot {
namespace {

using testing::Bits;
using testing::HandBuiltObject;
using testing::MakeRun;

uint32_t Entry(uint8_t ink0, uint8_t ink1, uint8_t ink2, uint8_t ink3) {
  return ink0 | ink1 << 8 | ink2 << 16 | static_cast<uint32_t>(ink3) << 24;
}

class DitherMonoTest : public ::testing::Test {
 protected:
  DitherMonoTest() {
    object_.params() = {3, 0, 0, 0, 720, 720, 1, 0, 0, 64, 0};
    object_.SetMatrix(4, 2, {0, 5, 10, 15, 3, 8, 13, 1});
    for (int v = 0; v < 256; ++v) object_.LevelScale()[v] = static_cast<uint16_t>(v);
  }
  std::string Dither(const std::vector<uint8_t> &src, uint32_t count,
                     uint32_t startX = 0, uint32_t row = 0) {
    uint8_t dst[8] = {};
    EXPECT_EQ(
        DitherMonoRow(object_.get(), MakeRun(src.data(), dst, count, startX, row)),
        kOk);
    return Bits(dst, count);
  }
  testing::PlatformGuard guard_;
  HandBuiltObject object_;
};

TEST_F(DitherMonoTest, DotWhereTheLevelExceedsTheMatrixValue) {
  const std::vector<uint8_t> ten(8, 10);
  EXPECT_EQ(Dither(ten, 4), "1100");           // row 0: 0 5 10 15
  EXPECT_EQ(Dither(ten, 4, 2), "0011");        // columns 2 3 0 1
  EXPECT_EQ(Dither(ten, 4, 0, 3), "1101");     // row 3 is matrix row 1: 3 8 13 1
  EXPECT_EQ(Dither({0, 0, 0, 0}, 4), "0000");  // level 0 never dots, not even on 0
  EXPECT_EQ(Dither({255, 255, 255, 255}, 4, 0, 1), "1111");
  EXPECT_EQ(object_->lastRow, 1u);
}

TEST_F(DitherMonoTest, MidpointModeUsesOnlyTheEndLevels) {
  object_.SetMatrix(1, 1, {20});
  object_.LevelScale()[0] = 0;
  object_.LevelScale()[255] = 100;
  object_->params.method = 0;
  EXPECT_EQ(Dither({128, 129}, 2), "01");
  object_->params.method = 3;  // the same bytes through the scale itself
  EXPECT_EQ(Dither({128, 129}, 2), "11");
}

TEST_F(DitherMonoTest, MagnificationRepeatsOrReducesSourceBytes) {
  object_.SetMatrix(1, 1, {20});
  object_->params.magnification = -1;  // the smaller byte of each pair
  EXPECT_EQ(Dither({200, 10, 200, 210}, 2), "01");
  object_->params.magnification = 1;  // one byte serves two pixels
  EXPECT_EQ(Dither({10, 200, 10}, 5), "00110");
}

TEST_F(DitherMonoTest, ChecksReservedBThenTheRunEndThenReservedA) {
  uint8_t src[80] = {}, dst[16] = {0x5A};
  RowRun run = MakeRun(src, dst, 65);
  run.reservedB = 1;
  run.reservedA = 1;
  EXPECT_EQ(DitherMonoRow(object_.get(), run), kBadReservedB);
  run.reservedB = 0;
  EXPECT_EQ(DitherMonoRow(object_.get(), run), kRunTooLong);
  run.count = 64;
  EXPECT_EQ(DitherMonoRow(object_.get(), run), kBadReservedA);
  EXPECT_EQ(dst[0], 0x5A);
}

TEST_F(DitherMonoTest, PacksBitsAroundEarlierRuns) {
  const std::vector<uint8_t> full(16, 255);
  uint8_t dst[3] = {0xFF, 0xFF, 0xFF};
  ASSERT_EQ(DitherMonoRow(object_.get(), MakeRun(full.data(), dst, 0)), kOk);
  EXPECT_EQ(dst[0], 0xFF);  // nothing to store
  ASSERT_EQ(DitherMonoRow(object_.get(), MakeRun(full.data(), dst, 0, 0, 0, 3)), kOk);
  EXPECT_EQ(dst[0], 0xE0);  // the three earlier bits kept, the rest cleared
  dst[0] = 0x00;
  ASSERT_EQ(DitherMonoRow(object_.get(), MakeRun(full.data(), dst, 10)), kOk);
  EXPECT_EQ(dst[0], 0xFF);
  EXPECT_EQ(dst[1], 0xC0);  // low six bits cleared although they were set
  EXPECT_EQ(dst[2], 0xFF);  // past the run: untouched
  dst[1] = 0xA7;
  // A run continuing at bit 5 of that byte: 10100 kept, then 1 1 1.
  ASSERT_EQ(DitherMonoRow(object_.get(), MakeRun(full.data(), dst + 1, 3, 0, 0, 5)),
            kOk);
  EXPECT_EQ(dst[1], 0xA7);
  EXPECT_EQ(dst[2], 0xFF);
}

class DitherColourTest : public ::testing::Test {
 protected:
  DitherColourTest() {
    object_.params() = {0, 1, 2, 1, 720, 720, 1, 0, 0, 64, 0};
    // Matrix values 0..3 across a row: M = 3.
    object_.SetMatrix(4, 1, {0, 1, 2, 3});
    for (int v = 0; v < 256; ++v) object_.LevelScale()[v] = static_cast<uint16_t>(v);
  }
  // Runs the kernel on four planes of one byte each.
  std::vector<std::string> Planes(RowKernel kernel, const std::vector<uint8_t> &src,
                                  uint32_t count, uint32_t startX = 0) {
    uint8_t dst[4][4] = {};
    EXPECT_EQ(
        kernel(object_.get(), MakeRun(src.data(), dst[0], count, startX, 0, 0, 4)),
        kOk);
    return {Bits(dst[0], count), Bits(dst[1], count), Bits(dst[2], count),
            Bits(dst[3], count)};
  }
  using PlaneBits = std::vector<std::string>;
  testing::PlatformGuard guard_;
  HandBuiltObject object_;
};

TEST_F(DitherColourTest, CornersPairInksZeroAndThreeAndAlignInksOneAndTwo) {
  uint32_t *corners = object_.ColourTable(8);
  corners[0] = Entry(1, 2, 2, 1);  // inks 0 + 3 within the range
  corners[5] = Entry(3, 0, 4, 2);  // inks 0 + 3 beyond it
  corners[7] = Entry(4, 4, 4, 4);  // never used: white
  const std::vector<uint8_t> dark(16, 0);
  // Ink 3 where 1 > m; ink 0 only in its gaps where 2 > m; inks 1 and 2
  // (equal levels) together where 2 > 3 - m.
  EXPECT_EQ(Planes(DitherColorRowCorners, dark, 4),
            (PlaneBits{"0100", "0011", "0011", "1000"}));
  std::vector<uint8_t> magenta;
  for (int i = 0; i < 4; ++i) magenta.insert(magenta.end(), {200, 128, 129, 0});
  EXPECT_EQ(Planes(DitherColorRowCorners, magenta, 4),
            (PlaneBits{"0111", "0000", "1111", "1100"}));
  const std::vector<uint8_t> white(16, 255);
  EXPECT_EQ(Planes(DitherColorRowCorners, white, 4),
            (PlaneBits{"0000", "0000", "0000", "0000"}));
}

TEST_F(DitherColourTest, CornersOddLastPixelPairsInksOneAndTwo) {
  uint32_t *corners = object_.ColourTable(8);
  corners[0] = Entry(0, 2, 2, 0);
  corners[1] = Entry(0, 1, 1, 0);
  corners[7] = Entry(0, 4, 4, 0);
  const std::vector<uint8_t> dark(12, 0);
  // Column 2 in the pair loop sets both; the odd column 4 (m = 0, so
  // m' = 3) gives ink 2 alone, as 2 + 2 exceeds M and 2 > M - m'.
  EXPECT_EQ(Planes(DitherColorRowCorners, dark, 3, 2),
            (PlaneBits{"000", "110", "111", "000"}));
  // At m' = 0 with 1 + 1 within the range ink 1 takes the pixel and ink 2
  // stays clear.
  EXPECT_EQ(Planes(DitherColorRowCorners, {0, 0, 200, 0}, 1, 3),
            (PlaneBits{"0", "1", "0", "0"}));
  // The odd pixel makes no white test: corner 7's 4 + 4 exceed the range,
  // and 4 > m' = 0, 4 > M - m' = 3.
  EXPECT_EQ(Planes(DitherColorRowCorners, {255, 255, 255, 0}, 1, 3),
            (PlaneBits{"0", "1", "1", "0"}));
}

TEST_F(DitherColourTest, CornersMagnificationSharesASourcePixelPerPair) {
  uint32_t *corners = object_.ColourTable(8);
  corners[0] = Entry(0, 0, 0, 4);
  object_->params.magnification = 1;
  // Source pixels: dark, white, dark; output pairs 0-1, 2-3 and odd pixel 4.
  EXPECT_EQ(
      Planes(DitherColorRowCorners, {0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0}, 5),
      (PlaneBits{"00000", "00000", "00000", "11001"}));
}

TEST_F(DitherColourTest, OddPixelOnAFreshByteIsStored) {
  uint32_t *corners = object_.ColourTable(8);
  corners[0] = Entry(0, 0, 0, 4);
  const std::vector<uint8_t> dark(36, 0);
  uint8_t dst[4][2] = {{0, 0x33}, {0, 0x33}, {0, 0x33}, {0, 0x33}};
  ASSERT_EQ(
      DitherColorRowCorners(object_.get(), MakeRun(dark.data(), dst[0], 9, 0, 0, 0, 2)),
      kOk);
  EXPECT_EQ(dst[3][0], 0xFF);
  EXPECT_EQ(dst[3][1], 0x80);
  EXPECT_EQ(dst[0][1], 0x00);
}

class DitherGridTest : public DitherColourTest {
 protected:
  DitherGridTest() {
    object_->params.method = 3;
    // 2 x 128 matrix (M = 255); only row 0 is used.
    std::vector<uint16_t> m(256, 0);
    m[0] = 155;  // threshold of inks 1 and 2: 255 - 155 = 100; bit 2 clear
    m[1] = 156;  // threshold 99; bit 2 set
    object_.SetMatrix(2, 128, m);
    // Every value lies on a grid point: coordinate v / 8.
    uint8_t *grid = object_.GridIndex();
    for (int v = 0; v < 256; ++v) {
      grid[2 * v] = static_cast<uint8_t>(v / 8);
      grid[2 * v + 1] = 255;
    }
    table_ = object_.ColourTable(32 * 32 * 32);
  }
  uint32_t &At(int a, int b, int c) { return table_[(a * 32 + b) * 32 + c]; }
  uint32_t *table_;
};

TEST_F(DitherGridTest, NeighbouringGridPointsAverageInksZeroOneAndThree) {
  At(0, 0, 0) = Entry(0, 201, 201, 0);
  At(0, 0, 24) = Entry(0, 199, 0, 0);
  // Column 1 (grid point 1, 0, 0 holds no ink) averages ink 1 with the
  // previous pixel: (201 + 0 + 1) >> 1 = 101 > 100. Ink 2 is never
  // averaged: 0.
  EXPECT_EQ(Planes(DitherColorRow, {0, 0, 0, 0, 8, 0, 0, 0}, 2),
            (PlaneBits{"00", "11", "10", "00"}));
  // A white pixel in between leaves the memory alone.
  EXPECT_EQ(Planes(DitherColorRow,
                   {0, 0, 0, 0, 255, 255, 255, 0, 8, 0, 0, 0, 255, 255, 255, 0}, 4),
            (PlaneBits{"0000", "1010", "1000", "0000"}));
  // Two grid steps apart: no averaging.
  EXPECT_EQ(Planes(DitherColorRow, {0, 0, 0, 0, 16, 0, 0, 0}, 2),
            (PlaneBits{"00", "10", "10", "00"}));
  // Column 1's matrix value has bit 2 set: rounding down, (199 + 0) >> 1 =
  // 99, not above 99.
  EXPECT_EQ(Planes(DitherColorRow, {0, 0, 192, 0, 8, 0, 192, 0}, 2, 0)[1], "10");
}

TEST_F(DitherGridTest, MatrixSteersBetweenTheTwoGridPoints) {
  // Value 40 lies between points 5 and 6 with weight 155 on point 5: the
  // upper point where 155 <= m AND 0xFE.
  object_.GridIndex()[80] = 5;
  object_.GridIndex()[81] = 155;
  // (Channel 1 keeps the two pixels two grid steps apart: no averaging.)
  At(6, 0, 0) = Entry(0, 0, 0, 255);
  At(6, 2, 0) = Entry(0, 0, 0, 255);
  EXPECT_EQ(Planes(DitherColorRow, {40, 0, 0, 0, 40, 16, 0, 0}, 2)[3], "01");
}

TEST_F(DitherGridTest, FourInkInputFeedsOnlyTheOddPixelDirectly) {
  object_->params.inputFormat = 4;
  At(0, 0, 0) = Entry(0, 0, 0, 0);
  const std::vector<uint8_t> src = {0, 0, 0, 200, 0, 0, 0, 200, 0, 0, 0, 200};
  // Pixels 0 and 1 go through the (empty) table; pixel 2 takes ink 3 = 200.
  EXPECT_EQ(Planes(DitherColorRow, src, 3)[3], "001");
  object_->params.inputFormat = 2;
  EXPECT_EQ(Planes(DitherColorRow, src, 3)[3], "000");
}

}  // namespace
}  // namespace inkdot
