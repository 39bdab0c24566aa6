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

const std::vector<uint8_t> kWhite = {255, 255, 255, 0};

std::vector<uint8_t> Pixels(std::initializer_list<std::vector<uint8_t>> pixels) {
  std::vector<uint8_t> out;
  for (const auto &p : pixels) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A colour diffusion page: every channel value v on grid point v / 8, a
// 2 x 128 matrix (M = 255), identity level scale,
// dot curve 128, tone 255, limits 56, 22, 11, 4.
class ColourDiffusionTest : public ::testing::Test {
 protected:
  ColourDiffusionTest() : object_(64) {
    object_.params() = {1, 0, 2, 1, 720, 720, 1, 0, 0, 64, 0};
    SetMatrixRow(64, 64);
    uint8_t *grid = object_.GridIndex();
    for (int v = 0; v < 256; ++v) {
      grid[2 * v] = static_cast<uint8_t>(v / 8);
      grid[2 * v + 1] = 255;
      object_.LevelScale()[v] = static_cast<uint16_t>(v);
      object_.DotCurve()[v] = 128;
      object_.ToneCurve()[v] = 255;
    }
    table_ = object_.ColourTable(32 * 32 * 32);
    const uint32_t limits[4] = {56, 22, 11, 4};
    for (int k = 0; k < 4; ++k) object_->dotParams[k] = limits[k];
    object_.AddErrorLines(4);
  }
  // Every matrix row alike: `even` in even columns, `odd` in odd ones.
  void SetMatrixRow(uint16_t even, uint16_t odd) {
    std::vector<uint16_t> m(256, 0);
    for (int k = 0; k < 256; k += 2) {
      m[k] = even;
      m[k + 1] = odd;
    }
    object_.SetMatrix(2, 128, m);
  }
  uint32_t &At(int a, int b, int c) { return table_[(a * 32 + b) * 32 + c]; }
  int32_t *Line(int k) { return object_.Line(k); }
  void ClearLines() {
    for (int k = 0; k < 3; ++k) {
      for (int x = 0; x < 64; ++x) Line(k)[x] = 0;
    }
  }

  // Runs the kernel into four one-byte planes; returns their bits.
  std::vector<std::string> Run(RowKernel kernel, const std::vector<uint8_t> &src,
                               uint32_t count, uint32_t startX = 0, uint32_t row = 0) {
    uint8_t dst[4][2] = {};
    EXPECT_EQ(
        kernel(object_.get(), MakeRun(src.data(), dst[0], count, startX, row, 0, 2)),
        kOk);
    return {Bits(dst[0], count), Bits(dst[1], count), Bits(dst[2], count),
            Bits(dst[3], count)};
  }
  using PlaneBits = std::vector<std::string>;

  testing::PlatformGuard guard_;
  HandBuiltObject object_;
  uint32_t *table_;
};

TEST_F(ColourDiffusionTest, WhitePixelsPassOnlyTheCarry) {
  // Pixel 0: level 60 on inks 0, 1 and 3, a dot worth nothing: e = 60 and a
  // carry of 4 * 60. The white pixels after it print nothing; the first
  // takes the carry, the next drop what the +1 and +2 taps brought.
  At(0, 0, 0) = Entry(60, 60, 0, 60);
  object_.DotCurve()[60] = -1000;
  object_.ToneCurve()[60] = 0;
  for (RowKernel kernel : {DiffuseColorRow, DiffuseColorRowFast}) {
    ClearLines();
    EXPECT_EQ(Run(kernel, Pixels({{0, 0, 0, 0}, kWhite, kWhite, kWhite}), 4),
              (PlaneBits{"1000", "1000", "0000", "1000"}));
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(Line(k)[1], 240) << "line " << k;
      EXPECT_EQ(Line(k)[2], 0) << "line " << k;
      EXPECT_EQ(Line(k)[3], 0) << "line " << k;
    }
  }
}

TEST_F(ColourDiffusionTest, InkStaysActiveForFourPixelsAfterItsLastLevel) {
  // Ink 0 has a level only at pixel 2 (grid point 1, 0, 0); neighbours sit
  // two grid steps apart so nothing is averaged. With ten levels of error
  // in every cell, an active pixel consumes its cell and leaves the next
  // row a share; an inactive one only passes the carry, here 0.
  At(1, 0, 0) = Entry(40, 0, 0, 0);
  std::vector<uint8_t> src;
  for (int i = 0; i < 12; ++i) {
    src.insert(src.end(), {static_cast<uint8_t>(i == 2 ? 8 : 0), 0,
                           static_cast<uint8_t>(i % 2 == 1 ? 16 : 0), 0});
  }
  for (int x = 0; x < 12; ++x) Line(0)[x] = 320;
  Run(DiffuseColorRow, src, 12);
  for (int x = 0; x < 7; ++x) EXPECT_NE(Line(0)[x], 0) << "active pixel " << x;
  for (int x = 7; x < 12; ++x) EXPECT_EQ(Line(0)[x], 0) << "inactive pixel " << x;
  for (int x = 0; x < 12; ++x) EXPECT_EQ(Line(1)[x], 0) << "ink 1 never had error";

  // With no level at all, the first four pixels of a run are active.
  for (int x = 0; x < 12; ++x) Line(0)[x] = 320;
  Run(DiffuseColorRow, std::vector<uint8_t>(32, 0), 8, 0, 1);
  for (int x = 0; x < 4; ++x) EXPECT_NE(Line(0)[x], 0) << "active pixel " << x;
  for (int x = 4; x < 8; ++x) EXPECT_EQ(Line(0)[x], 0) << "inactive pixel " << x;
}

TEST_F(ColourDiffusionTest, InkOneTakesTheOffsetWithTheOtherSign) {
  At(0, 0, 0) = Entry(100, 100, 0, 100);
  object_.DotCurve()[100] = 100;
  SetMatrixRow(64, 64);  // offset +20: 100 >= 120 for inks 0 and 3, >= 80 for ink 1
  EXPECT_EQ(Run(DiffuseColorRow, Pixels({{0, 0, 0, 0}, kWhite}), 2),
            (PlaneBits{"00", "10", "00", "00"}));
  SetMatrixRow(200, 200);  // offset -20
  ClearLines();
  EXPECT_EQ(Run(DiffuseColorRowFast, Pixels({{0, 0, 0, 0}, kWhite}), 2),
            (PlaneBits{"10", "00", "00", "10"}));
}

TEST_F(ColourDiffusionTest, FiltersReadTheNoiseBitInverted) {
  // A dotted level 4 (e = 4 - 255 = -251) at column 10, matrix value 65
  // (noise bit 1, read as 0): inks 0 and 3 have the limit 4 - 1 and take
  // the filter reaching +10; ink 1 keeps the limit 4 in this kernel and
  // takes the widest one, reaching +14.
  At(0, 0, 0) = Entry(4, 4, 0, 4);
  object_.DotCurve()[4] = -1000;
  SetMatrixRow(65, 65);
  Run(DiffuseColorRow, Pixels({{0, 0, 0, 0}, kWhite}), 2, 10);
  for (int k : {0, 2}) {
    EXPECT_EQ(Line(k)[20], -251) << "line " << k;
    EXPECT_EQ(Line(k)[24], 0) << "line " << k;
  }
  EXPECT_EQ(Line(1)[24], -251);

  // The tall kernel gives ink 1 the noise term too. Matrix value 64 reads
  // as noise bit 1: limit 4, the widest tall filter, its n=1 tap at +11.
  SetMatrixRow(64, 64);
  ClearLines();
  Run(DiffuseColorRowTall, Pixels({{0, 0, 0, 0}, kWhite}), 2, 10, 1);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(Line(k)[21], -251) << "line " << k;
    EXPECT_EQ(Line(k)[20], 0) << "line " << k;
  }
}

TEST_F(ColourDiffusionTest, WideNoDotFilterReadsTheNoiseBitInverted) {
  // Level 60 short of its threshold: e = 60. Noise bit 0 reads as 1: the
  // share goes to +3, not to -3.
  At(0, 0, 0) = Entry(60, 0, 0, 0);
  object_.DotCurve()[60] = 1000;
  Run(DiffuseColorRow1440, Pixels({{0, 0, 0, 0}, kWhite}), 2, 10);
  EXPECT_EQ(Line(0)[13], 4 * 60);
  EXPECT_EQ(Line(0)[7], 0);
  EXPECT_EQ(Line(0)[9], 8 * 60);
}

TEST_F(ColourDiffusionTest, NeighbouringGridPointsAverageAllFourInks) {
  // Ink 2 (dithered on m) shows the averaging: pixel 1's level 0 becomes
  // (203 + 0 + r) >> 1, r = 1 for noise bit 0.
  At(0, 0, 0) = Entry(0, 0, 203, 0);
  SetMatrixRow(100, 100);
  EXPECT_EQ(Run(DiffuseColorRow, Pixels({{0, 0, 0, 0}, {8, 0, 0, 0}}), 2)[2],
            "11");  // 102
  SetMatrixRow(101, 101);
  EXPECT_EQ(Run(DiffuseColorRow, Pixels({{0, 0, 0, 0}, {8, 0, 0, 0}}), 2)[2],
            "10");  // 101
  SetMatrixRow(100, 100);
  EXPECT_EQ(Run(DiffuseColorRow, Pixels({{0, 0, 0, 0}, {16, 0, 0, 0}}), 2)[2],
            "10");  // 2 apart
}

TEST_F(ColourDiffusionTest, OddLastPixelIsDitheredOrDiffused) {
  // Value 40: weight 100 on point 5. The odd pixel splits at 128 and takes
  // point 6; ink 3 = 200 > m.
  object_.GridIndex()[80] = 5;
  object_.GridIndex()[81] = 100;
  At(6, 0, 0) = Entry(0, 0, 0, 200);
  const std::vector<uint8_t> src = Pixels({kWhite, kWhite, {40, 0, 0, 0}});
  for (int k = 0; k < 3; ++k) Line(k)[12] = 12345;
  EXPECT_EQ(Run(DiffuseColorRow, src, 3, 10), (PlaneBits{"000", "000", "000", "001"}));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(Line(k)[12], 12345) << "line " << k;
  // The fast kernel diffuses it: the cell is consumed.
  Run(DiffuseColorRowFast, src, 3, 10);
  EXPECT_NE(Line(0)[12], 12345);

  // Levels below 32 drop out of the odd pixel: ink 2 pairs with ink 1 on
  // m' = 255 - 250 = 5, and 31 would exceed it.
  SetMatrixRow(250, 250);
  At(6, 0, 0) = Entry(0, 0, 31, 0);
  EXPECT_EQ(Run(DiffuseColorRow, src, 3, 10)[2], "000");
  At(6, 0, 0) = Entry(0, 0, 32, 0);
  EXPECT_EQ(Run(DiffuseColorRow, src, 3, 10)[2], "001");
}

TEST_F(ColourDiffusionTest, FourInkInputFeedsTheLevelsDirectly) {
  // Bytes 255, 255, 255, 0 are full ink on inks 0 to 2, not white.
  object_->params.inputFormat = 4;
  const std::vector<uint8_t> full = Pixels({{255, 255, 255, 0}, {255, 255, 255, 0}});
  EXPECT_EQ(Run(DiffuseColorRow, full, 2), (PlaneBits{"11", "11", "11", "00"}));
  EXPECT_EQ(Run(DiffuseColorRow1440, full, 2), (PlaneBits{"11", "11", "11", "00"}));
}

TEST_F(ColourDiffusionTest, FastKernelLeavesPlaneThreeForThreeInkPages) {
  At(0, 0, 0) = Entry(0, 0, 0, 255);
  const std::vector<uint8_t> src(32, 0);
  for (uint32_t mode : {2u, 1u}) {
    object_->params.colorMode = mode;
    uint8_t dst[4] = {0xA5, 0xA5, 0xA5, 0xA5};
    ASSERT_EQ(
        DiffuseColorRowFast(object_.get(), MakeRun(src.data(), dst, 8, 0, 0, 0, 1)),
        kOk);
    EXPECT_EQ(dst[0], 0x00);
    EXPECT_EQ(dst[3], mode == 2 ? 0xA5 : 0xFF);
  }
}

TEST_F(ColourDiffusionTest, FastKernelRefusesAWideMatrix) {
  object_.SetMatrix(512, 1, std::vector<uint16_t>(512, 0));
  object_->lastRow = 3;
  const std::vector<uint8_t> src(32, 0);
  uint8_t dst[4] = {0xA5, 0xA5, 0xA5, 0xA5};
  EXPECT_EQ(
      DiffuseColorRowFast1440(object_.get(), MakeRun(src.data(), dst, 8, 0, 9, 0, 1)),
      kBadResource);
  EXPECT_EQ(dst[0], 0xA5);
  EXPECT_EQ(object_->lastRow, 3u);
}

TEST_F(ColourDiffusionTest, HybridDiffusesInkOneOnly) {
  // Ink 1 (level 30, dotted: e = -225) on the first line with bit 2 of m as
  // its noise bit, in the table's own polarity; ink 2 dithered on M - m.
  At(0, 0, 0) = Entry(0, 30, 200, 0);
  object_.DotCurve()[30] = -1000;
  Line(0)[50] = 777;
  object_->lastEndX = 5;
  for (uint16_t m : {64, 68}) {  // bit 2 clear, then set
    SetMatrixRow(m, m);
    for (int x = 0; x < 20; ++x) Line(0)[x] = 0;
    EXPECT_EQ(Run(DiffuseColorRowHybrid, Pixels({{0, 0, 0, 0}, kWhite}), 2, 0, 7),
              (PlaneBits{"00", "10", "10", "00"}));
    EXPECT_EQ(Line(0)[5], m == 64 ? 2 * -225 : 0);
  }
  // No clearing after a skipped row, no end column recorded.
  EXPECT_EQ(Line(0)[50], 777);
  EXPECT_EQ(object_->lastRow, 7u);
  EXPECT_EQ(object_->lastEndX, 5u);
  EXPECT_EQ(Line(1)[5], 0);
}

TEST_F(ColourDiffusionTest, RunChecksOfTheKernelsWithOddPixels) {
  uint8_t src[8] = {}, dst[4] = {0x5A};
  RowRun run = MakeRun(src, dst, 65);
  EXPECT_EQ(DiffuseColorRowTall(object_.get(), run), kRunTooLong);
  run.count = 2;
  run.reservedA = 1;
  EXPECT_EQ(DiffuseColorRowHybrid(object_.get(), run), kBadReservedA);
  run.reservedA = 0;
  run.reservedB = 1;  // ignored by the colour kernels
  EXPECT_EQ(DiffuseColorRow(object_.get(), run), kOk);
}

}  // namespace
}  // namespace inkdot
