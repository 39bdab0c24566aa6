#include <gtest/gtest.h>

#include <vector>

#include "halftone/kernels/hand_built_object.h"

namespace inkdot {
namespace {

using testing::Bits;
using testing::MakeRun;
using Planes = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

uint32_t Entry(uint8_t ink0, uint8_t ink1, uint8_t ink2, uint8_t ink3) {
  return ink0 | ink1 << 8 | ink2 << 16 | static_cast<uint32_t>(ink3) << 24;
}

// Channel value v on grid point v / 8; a 2 x 128 matrix (M = 255) with one
// value everywhere; level scale v -> v; dot curve 128; tone 255; limits
// 56, 22, 11, 4. Pixel (0, 0, 0, 0) reads grid point (0, 0, 0).
class ColourDiffusionTest : public ::testing::Test {
 protected:
  ColourDiffusionTest() : object_(64) {
    object_->params = {1, 0, 2, 1, 720, 720, 1, 0, 0, 64, 0};
    SetMatrix(64);
    for (int v = 0; v < 256; ++v) {
      object_.GridIndex()[2 * v] = static_cast<uint8_t>(v / 8);
      object_.GridIndex()[2 * v + 1] = 255;
      object_.LevelScale()[v] = static_cast<uint16_t>(v);
      object_.DotCurve()[v] = 128;
      object_.ToneCurve()[v] = 255;
    }
    table_ = object_.ColourTable(32 * 32 * 32);
    const uint32_t limits[4] = {56, 22, 11, 4};
    std::copy(limits, limits + 4, object_->dotParams);
    object_.AddErrorLines(4);
  }
  void SetMatrix(uint16_t m) {
    object_.SetMatrix(2, 128, std::vector<uint16_t>(256, m));
  }
  uint32_t &At(int a, int b, int c) { return table_[(a * 32 + b) * 32 + c]; }
  int32_t *Line(int k) { return object_.Line(k); }
  void ClearLines() {
    for (int k = 0; k < 3; ++k) std::fill(Line(k), Line(k) + 64, 0);
  }
  Planes Run(RowKernel kernel, const Bytes &src, uint32_t count, uint32_t startX = 0,
             uint32_t row = 0) {
    uint8_t dst[4][2] = {};
    EXPECT_EQ(
        kernel(object_.get(), MakeRun(src.data(), dst[0], count, startX, row, 0, 2)),
        kOk);
    return {Bits(dst[0], count), Bits(dst[1], count), Bits(dst[2], count),
            Bits(dst[3], count)};
  }
  testing::PlatformGuard guard_;
  testing::HandBuiltObject object_;
  uint32_t *table_;
};

const Bytes kDark = {0, 0, 0, 0};
const Bytes kWhite = {255, 255, 255, 0};
Bytes Join(std::initializer_list<Bytes> pixels) {
  Bytes out;
  for (const Bytes &p : pixels) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST_F(ColourDiffusionTest, WhitePixelsPassOnlyTheCarry) {
  // A dotted 60 worth nothing: e = 60, carry 4 * 60 on inks 0, 1 and 3.
  At(0, 0, 0) = Entry(60, 60, 0, 60);
  object_.DotCurve()[60] = -1000;
  object_.ToneCurve()[60] = 0;
  for (RowKernel kernel : {DiffuseColorRow, DiffuseColorRowFast}) {
    ClearLines();
    EXPECT_EQ(Run(kernel, Join({kDark, kWhite, kWhite, kWhite}), 4),
              (Planes{"1000", "1000", "0000", "1000"}));
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(std::vector<int32_t>(Line(k) + 1, Line(k) + 4),
                (std::vector<int32_t>{240, 0, 0}));
    }
  }
}

TEST_F(ColourDiffusionTest, InkStaysActiveForFourPixelsAfterItsLastLevel) {
  // With ten levels of error in every cell an active pixel leaves a share
  // below; an inactive one only passes its carry, here 0. No level: active
  // for the first four pixels of the run.
  std::fill(Line(0), Line(0) + 12, 320);
  Run(DiffuseColorRow, Bytes(32, 0), 8);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(Line(0)[x] != 0, x < 4) << "pixel " << x;
  // Ink 0's only level at pixel 2 (grid point 1, 0, 0); neighbours two grid
  // steps apart so that nothing is averaged: active up to pixel 6.
  At(1, 0, 0) = Entry(40, 0, 0, 0);
  Bytes src;
  for (int i = 0; i < 12; ++i)
    src.insert(src.end(), {uint8_t(i == 2 ? 8 : 0), 0, uint8_t(i % 2 * 16), 0});
  std::fill(Line(0), Line(0) + 12, 320);
  Run(DiffuseColorRow, src, 12, 0, 1);
  for (int x = 0; x < 12; ++x) EXPECT_EQ(Line(0)[x] != 0, x < 7) << "pixel " << x;
  EXPECT_EQ(std::vector<int32_t>(Line(1), Line(1) + 12), std::vector<int32_t>(12, 0));
}

TEST_F(ColourDiffusionTest, InkOneTakesTheOffsetWithTheOtherSign) {
  At(0, 0, 0) = Entry(100, 100, 0, 100);
  object_.DotCurve()[100] = 100;  // offset +20: inks 0 and 3 need 120, ink 1 80
  EXPECT_EQ(Run(DiffuseColorRow, Join({kDark, kWhite}), 2),
            (Planes{"00", "10", "00", "00"}));
  SetMatrix(200);  // offset -20
  ClearLines();
  EXPECT_EQ(Run(DiffuseColorRowFast, Join({kDark, kWhite}), 2),
            (Planes{"10", "00", "00", "10"}));
}

TEST_F(ColourDiffusionTest, FiltersReadTheNoiseBitInverted) {
  // A dotted 4 (e = -251) at column 10 with m = 65 (noise 1, read as 0):
  // inks 0 and 3 get the limit 3 and the filter reaching +10; ink 1 keeps
  // the limit 4 in this kernel and takes the widest, reaching +14.
  At(0, 0, 0) = Entry(4, 4, 0, 4);
  object_.DotCurve()[4] = -1000;
  SetMatrix(65);
  Run(DiffuseColorRow, Join({kDark, kWhite}), 2, 10);
  EXPECT_EQ(Line(0)[20], -251);
  EXPECT_EQ(Line(2)[24], 0);
  EXPECT_EQ(Line(1)[24], -251);
  // The tall kernel gives ink 1 the noise term too: m = 64 reads as noise
  // 1, limit 4, the widest tall filter with its n=1 tap at +11.
  SetMatrix(64);
  ClearLines();
  Run(DiffuseColorRowTall, Join({kDark, kWhite}), 2, 10, 1);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(Line(k)[21], -251) << "line " << k;
    EXPECT_EQ(Line(k)[20], 0) << "line " << k;
  }
}

TEST_F(ColourDiffusionTest, NeighbouringGridPointsAverageAllFourInks) {
  // Ink 2 (dithered on m) shows it: pixel 1's 0 becomes (203 + 0 + r) >> 1,
  // r = 1 for noise bit 0; two grid steps apart it stays 0.
  At(0, 0, 0) = Entry(0, 0, 203, 0);
  const Bytes next = Join({kDark, {8, 0, 0, 0}}), far = Join({kDark, {16, 0, 0, 0}});
  SetMatrix(100);
  EXPECT_EQ(Run(DiffuseColorRow, next, 2)[2], "11");  // 102 > 100
  EXPECT_EQ(Run(DiffuseColorRow, far, 2)[2], "10");
  SetMatrix(101);
  EXPECT_EQ(Run(DiffuseColorRow, next, 2)[2], "10");  // 101 > 101 fails
}

TEST_F(ColourDiffusionTest, OddLastPixelIsDitheredOrDiffused) {
  // Value 40 (weight 100 on point 5): the odd pixel splits at 128 and takes
  // point 6, where ink 3 = 200 > m.
  object_.GridIndex()[81] = 100;
  At(6, 0, 0) = Entry(0, 0, 0, 200);
  const Bytes src = Join({kWhite, kWhite, {40, 0, 0, 0}});
  for (int k = 0; k < 3; ++k) Line(k)[12] = 12345;
  EXPECT_EQ(Run(DiffuseColorRow, src, 3, 10), (Planes{"000", "000", "000", "001"}));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(Line(k)[12], 12345) << "line " << k;
  Run(DiffuseColorRowFast, src, 3, 10);
  EXPECT_NE(Line(0)[12], 12345);
  // Levels below 32 drop out: ink 2 pairs with ink 1 on m' = 255 - 250.
  SetMatrix(250);
  At(6, 0, 0) = Entry(0, 0, 31, 0);
  EXPECT_EQ(Run(DiffuseColorRow, src, 3, 10)[2], "000");
  At(6, 0, 0) = Entry(0, 0, 32, 0);
  EXPECT_EQ(Run(DiffuseColorRow, src, 3, 10)[2], "001");
}

TEST_F(ColourDiffusionTest, FourInkInputFeedsTheLevelsDirectly) {
  object_->params.inputFormat = 4;  // 255, 255, 255 is full ink, not white
  const Bytes full = Join({kWhite, kWhite});
  EXPECT_EQ(Run(DiffuseColorRow, full, 2), (Planes{"11", "11", "11", "00"}));
  EXPECT_EQ(Run(DiffuseColorRow1440, full, 2), (Planes{"11", "11", "11", "00"}));
}

TEST_F(ColourDiffusionTest, FastKernelPlanesAndMatrixWidth) {
  At(0, 0, 0) = Entry(0, 0, 0, 255);
  const Bytes src(32, 0);
  for (uint32_t mode : {2u, 1u}) {  // three-ink pages leave plane 3 alone
    object_->params.colorMode = mode;
    uint8_t dst[4] = {0xA5, 0xA5, 0xA5, 0xA5};
    ASSERT_EQ(
        DiffuseColorRowFast(object_.get(), MakeRun(src.data(), dst, 8, 0, 0, 0, 1)),
        kOk);
    EXPECT_EQ(dst[0], 0x00);
    EXPECT_EQ(dst[3], mode == 2 ? 0xA5 : 0xFF);
  }
  object_.SetMatrix(512, 1, std::vector<uint16_t>(512, 0));
  uint8_t dst[4] = {0xA5, 0xA5, 0xA5, 0xA5};
  EXPECT_EQ(
      DiffuseColorRowFast1440(object_.get(), MakeRun(src.data(), dst, 8, 0, 9, 0, 1)),
      kBadResource);
  EXPECT_EQ(dst[0], 0xA5);
  EXPECT_EQ(object_->lastRow, 0u);
}

TEST_F(ColourDiffusionTest, ClearErrorLinesTendsTheThreeLines) {
  int32_t *lines[3] = {Line(0), Line(1), Line(2)};
  for (int32_t *line : lines) line[5] = 7;
  ClearErrorLines(lines, object_.get(), 9, 40, 10);  // rows skipped: all cleared
  for (int32_t *line : lines) EXPECT_EQ(line[5], 0);
  EXPECT_EQ(object_->lastEndX, 50u);
}

TEST_F(ColourDiffusionTest, HybridDiffusesInkOneOnly) {
  // Ink 1 (a dotted 30: e = -225) with bit 2 of m as its noise bit, table
  // polarity: 2e at +5 for bit 2 clear. Ink 2: 200 > M - m.
  At(0, 0, 0) = Entry(0, 30, 200, 0);
  object_.DotCurve()[30] = -1000;
  Line(0)[50] = 777;
  object_->lastEndX = 5;
  for (uint16_t m : {64, 68}) {
    SetMatrix(m);
    std::fill(Line(0), Line(0) + 20, 0);
    EXPECT_EQ(Run(DiffuseColorRowHybrid, Join({kDark, kWhite}), 2, 0, 7),
              (Planes{"00", "10", "10", "00"}));
    EXPECT_EQ(Line(0)[5], m == 64 ? -450 : 0);
  }
  EXPECT_EQ(Line(0)[50], 777);  // no clearing after skipped rows
  EXPECT_EQ(object_->lastRow, 7u);
  EXPECT_EQ(object_->lastEndX, 5u);
  RowRun run = MakeRun(nullptr, nullptr, 65);
  EXPECT_EQ(DiffuseColorRowHybrid(object_.get(), run), kRunTooLong);
  EXPECT_EQ(DiffuseColorRowTall(object_.get(), run), kRunTooLong);
}

}  // namespace
}  // namespace inkdot
