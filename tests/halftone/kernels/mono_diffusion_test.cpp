#include <gtest/gtest.h>

#include <vector>

#include "halftone/kernels/hand_built_object.h"

namespace inkdot {
namespace {

using testing::Bits;
using testing::HandBuiltObject;
using testing::MakeRun;

// A grey diffusion page whose source byte v has level v. Matrix value 64:
// noise bit 0, threshold offset +20. Filter limits 56, 22, 11, 4.
class MonoDiffusionTest : public ::testing::Test {
 protected:
  MonoDiffusionTest() : object_(64) {
    object_.params() = {1, 0, 0, 0, 720, 720, 1, 0, 0, 64, 0};
    object_.SetMatrix(1, 1, {64});
    for (int v = 0; v < 256; ++v) {
      object_.GreyLevels()[v] = static_cast<int16_t>(v);
      object_.DotCurve()[v] = 128;
      object_.ToneCurve()[v] = 255;
    }
    object_->dotParams[0] = 56;
    object_->dotParams[1] = 22;
    object_->dotParams[2] = 11;
    object_->dotParams[3] = 4;
    object_.AddErrorLines(1);
    line_ = object_.Line(0);
  }

  std::string Diffuse(RowKernel kernel, const std::vector<uint8_t> &src, uint32_t count,
                      uint32_t startX = 0, uint32_t row = 0) {
    uint8_t dst[8] = {};
    EXPECT_EQ(kernel(object_.get(), MakeRun(src.data(), dst, count, startX, row)), kOk);
    return Bits(dst, count);
  }

  testing::PlatformGuard guard_;
  HandBuiltObject object_;
  int32_t *line_;
};

TEST_F(MonoDiffusionTest, FlatWhiteAndFullInk) {
  for (RowKernel kernel : {DiffuseMonoRow, DiffuseMonoRow1440, DiffuseMonoRowTall}) {
    for (uint32_t x = 0; x < 20; ++x) line_[x] = 320;
    EXPECT_EQ(Diffuse(kernel, std::vector<uint8_t>(20, 0), 20), std::string(20, '0'));
    for (uint32_t x = 0; x < 20; ++x) EXPECT_EQ(line_[x], 0) << "column " << x;
    // Level 255 against 128 + 20 always dots and leaves 255 - 255 = 0.
    EXPECT_EQ(Diffuse(kernel, std::vector<uint8_t>(20, 255), 20, 0, 1),
              std::string(20, '1'));
    for (uint32_t x = 0; x < 20; ++x) EXPECT_EQ(line_[x], 0) << "column " << x;
  }
}

TEST_F(MonoDiffusionTest, LevelZeroPixelTakesTheCarryOrNothing) {
  // Pixel 0: level 60 with 10 levels of incoming error, a dot (threshold
  // -1000) worth nothing (tone 0): e = 70. Every member has a below-right
  // share for a dotted level above T0; the level-0 pixels after it drop what
  // their cells gathered.
  object_.DotCurve()[60] = -1000;
  object_.ToneCurve()[60] = 0;
  const struct {
    RowKernel kernel;
    int32_t cell1;
  } members[] = {
      {DiffuseMonoRow, 4 * 70}, {DiffuseMonoRow1440, 0}, {DiffuseMonoRowTall, 8 * 70}};
  for (const auto &member : members) {
    line_[0] = 320;
    EXPECT_EQ(Diffuse(member.kernel, {60, 0, 0, 0}, 4), "1000");
    EXPECT_EQ(line_[1], member.cell1);
    EXPECT_EQ(line_[2], 0);
    EXPECT_EQ(line_[3], 0);
  }
}

TEST_F(MonoDiffusionTest, IncomingErrorShiftsTowardMinusInfinity) {
  // -33 >> 5 is -2: Q = 10 - 2 = 8 misses a threshold of 9 (dot curve -11
  // plus 20); the no-dot filter leaves 8 * 8 below.
  object_.DotCurve()[10] = -11;
  line_[5] = -33;
  EXPECT_EQ(Diffuse(DiffuseMonoRow, {10}, 1, 5), "0");
  EXPECT_EQ(line_[5], 64);
}

TEST_F(MonoDiffusionTest, ThresholdTakesTheOffsetOfTheColumnsMatrixValue) {
  // Matrix values 6, 64, 200, 250: offsets +24, +20, -20, -24. Level 100
  // against 78 + offset dots from the second column on; dotted pixels pass
  // no error on (tone 100), the first pixel's +1 share is cleared away.
  object_.SetMatrix(4, 1, {6, 64, 200, 250});
  object_.DotCurve()[100] = 78;
  object_.ToneCurve()[100] = 100;
  std::string bits;
  for (uint32_t x = 0; x < 4; ++x) {
    for (uint32_t k = 0; k < 8; ++k) line_[k] = 0;
    bits += Diffuse(DiffuseMonoRow, {100}, 1, x);
  }
  EXPECT_EQ(bits, "0111");
}

TEST_F(MonoDiffusionTest, NoiseBitIsBitZeroOfTheMatrixValue) {
  // A dotted level 30 (above T1) sends 2e to cell +5 only for noise bit 0;
  // level 4 takes the widest filter (reaching +14) only for noise bit 1.
  object_.DotCurve()[30] = -1000;
  object_.DotCurve()[4] = -1000;
  for (uint16_t m : {64, 65}) {
    object_.SetMatrix(1, 1, {m});
    for (uint32_t k = 0; k < 40; ++k) line_[k] = 0;
    Diffuse(DiffuseMonoRow, {30}, 1, 10);  // e = 30 - 255 = -225
    EXPECT_EQ(line_[15], m == 64 ? 2 * -225 : 0);
    for (uint32_t k = 0; k < 40; ++k) line_[k] = 0;
    Diffuse(DiffuseMonoRow, {4}, 1, 10);  // e = 4 - 255 = -251
    EXPECT_EQ(line_[24], m == 65 ? -251 : 0);
  }
}

TEST_F(MonoDiffusionTest, ErrorReachesTheNextPixelAndTheNextRow) {
  // Level 60 against a threshold of 75: pixel 10 misses (e = 60) and hands
  // pixel 11 8 * 60 >> 5 = 15 levels, enough for a dot worth 75 (e = 0).
  object_.DotCurve()[60] = 55;
  object_.ToneCurve()[60] = 75;
  EXPECT_EQ(Diffuse(DiffuseMonoRow, {60, 60}, 2, 10, 0), "01");
  EXPECT_EQ(line_[9], 4 * 60);  // gathered for the next row
  // In the next row pixel 9 has 40 + (240 >> 5) = 47 against 27 + 20.
  object_.DotCurve()[40] = 27;
  EXPECT_EQ(Diffuse(DiffuseMonoRow, {40}, 1, 9, 1), "1");
  // Skipping a row drops that error.
  line_[9] = 4 * 60;
  EXPECT_EQ(Diffuse(DiffuseMonoRow, {40}, 1, 9, 3), "0");
}

TEST_F(MonoDiffusionTest, TwoRunsOfARowContinueEachOther) {
  // A ramp with a level-0 pixel at the split: the second run starts with
  // no carry either way, so bits and error must match one whole run.
  std::vector<uint8_t> src;
  for (int i = 0; i < 24; ++i)
    src.push_back(static_cast<uint8_t>(i == 11 ? 0 : 20 + 9 * i));
  uint8_t whole[3] = {}, split[3] = {};
  ASSERT_EQ(DiffuseMonoRow(object_.get(), MakeRun(src.data(), whole, 24, 0, 1)), kOk);
  const std::vector<int32_t> wholeLine(line_ - 30, line_ + 64 + 30);
  for (int k = -30; k < 64 + 30; ++k) line_[k] = 0;
  object_->lastRow = 0;
  ASSERT_EQ(DiffuseMonoRow(object_.get(), MakeRun(src.data(), split, 12, 0, 1)), kOk);
  ASSERT_EQ(
      DiffuseMonoRow(object_.get(), MakeRun(src.data() + 12, split + 1, 12, 12, 1, 4)),
      kOk);
  EXPECT_EQ(Bits(split, 24), Bits(whole, 24));
  EXPECT_NE(Bits(whole, 24), std::string(24, '0'));
  EXPECT_EQ(std::vector<int32_t>(line_ - 30, line_ + 64 + 30), wholeLine);
}

TEST_F(MonoDiffusionTest, MagnificationRepeatsOrPicksOneOfTwoBytes) {
  object_->params.magnification = 1;
  EXPECT_EQ(Diffuse(DiffuseMonoRow, {0, 255}, 4), "0011");
  object_->params.magnification = -1;
  EXPECT_EQ(Diffuse(DiffuseMonoRow, {255, 0, 255, 255}, 2), "01");
  EXPECT_EQ(Diffuse(DiffuseMonoRowTall, {255, 0, 255, 255}, 2), "01");
  EXPECT_EQ(Diffuse(DiffuseMonoRow1440, {255, 0, 255, 255}, 2), "11");
}

TEST_F(MonoDiffusionTest, ChecksComeFirstAndWriteNothing) {
  uint8_t src[80] = {}, dst[10] = {0x5A};
  RowRun run = MakeRun(src, dst, 65, 0, 7);
  run.reservedB = 1;
  EXPECT_EQ(DiffuseMonoRow1440(object_.get(), run), kBadReservedB);
  run.reservedB = 0;
  EXPECT_EQ(DiffuseMonoRowTall(object_.get(), run), kRunTooLong);
  run.count = 8;
  run.reservedA = 1;
  EXPECT_EQ(DiffuseMonoRow(object_.get(), run), kBadReservedA);
  EXPECT_EQ(dst[0], 0x5A);
  EXPECT_EQ(object_->lastRow, 0u);
}

}  // namespace
}  // namespace inkdot
