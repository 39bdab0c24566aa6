#include <gtest/gtest.h>

#include <vector>

#include "halftone/kernels/hand_built_object.h"

namespace inkdot {
namespace {

using testing::Bits;
using testing::MakeRun;

// Source byte v has level v; matrix value 64 (noise bit 0, offset +20); dot
// curve 128, tone 255; limits 56, 22, 11, 4.
class MonoDiffusionTest : public ::testing::Test {
 protected:
  MonoDiffusionTest() : object_(64) {
    object_->params = {1, 0, 0, 0, 720, 720, 1, 0, 0, 64, 0};
    object_.SetMatrix(1, 1, {64});
    for (int v = 0; v < 256; ++v) {
      object_.GreyLevels()[v] = static_cast<int16_t>(v);
      object_.DotCurve()[v] = 128;
      object_.ToneCurve()[v] = 255;
    }
    const uint32_t limits[4] = {56, 22, 11, 4};
    std::copy(limits, limits + 4, object_->dotParams);
    object_.AddErrorLines(1);
    line_ = object_.Line(0);
  }
  std::string Diffuse(RowKernel kernel, const std::vector<uint8_t> &src, uint32_t count,
                      uint32_t startX = 0, uint32_t row = 0) {
    uint8_t dst[8] = {};
    EXPECT_EQ(kernel(object_.get(), MakeRun(src.data(), dst, count, startX, row)), kOk);
    return Bits(dst, count);
  }
  void Fill(int32_t value) { std::fill(line_, line_ + 64, value); }
  testing::PlatformGuard guard_;
  testing::HandBuiltObject object_;
  int32_t *line_;
};

TEST_F(MonoDiffusionTest, FlatWhiteAndFullInk) {
  for (RowKernel kernel : {DiffuseMonoRow, DiffuseMonoRow1440, DiffuseMonoRowTall}) {
    Fill(320);  // white drops whatever error the cells held
    EXPECT_EQ(Diffuse(kernel, std::vector<uint8_t>(20, 0), 20), std::string(20, '0'));
    EXPECT_EQ(std::vector<int32_t>(line_, line_ + 20), std::vector<int32_t>(20, 0));
    // Level 255 dots against 128 + 20 and leaves 255 - 255 = 0.
    EXPECT_EQ(Diffuse(kernel, std::vector<uint8_t>(20, 255), 20, 0, 1),
              std::string(20, '1'));
    EXPECT_EQ(std::vector<int32_t>(line_, line_ + 20), std::vector<int32_t>(20, 0));
    RowRun run = MakeRun(line_, nullptr, 4);
    run.reservedB = 1;
    EXPECT_EQ(kernel(object_.get(), run), kBadReservedB);
  }
}

TEST_F(MonoDiffusionTest, LevelZeroPixelTakesTheCarryOrNothing) {
  // Level 60 with 10 levels of incoming error dots (curve -1000) at no
  // cost (tone 0): e = 70, a dotted level above T0. The level-0 pixels
  // after it drop what their cells gathered; the first takes the carry.
  object_.DotCurve()[60] = -1000;
  object_.ToneCurve()[60] = 0;
  const std::pair<RowKernel, int32_t> members[] = {
      {DiffuseMonoRow, 4 * 70}, {DiffuseMonoRow1440, 0}, {DiffuseMonoRowTall, 8 * 70}};
  for (const auto &[kernel, cell1] : members) {
    line_[0] = 320;
    EXPECT_EQ(Diffuse(kernel, {60, 0, 0, 0}, 4), "1000");
    EXPECT_EQ(std::vector<int32_t>(line_ + 1, line_ + 4),
              (std::vector<int32_t>{cell1, 0, 0}));
  }
}

TEST_F(MonoDiffusionTest, CorrectedLevelAndNoiseBit) {
  // -33 >> 5 is -2: Q = 10 - 2 = 8 misses 9 (curve -11 plus 20); the
  // no-dot filter leaves 8 * 8 below.
  object_.DotCurve()[10] = -11;
  line_[5] = -33;
  EXPECT_EQ(Diffuse(DiffuseMonoRow, {10}, 1, 5), "0");
  EXPECT_EQ(line_[5], 64);
  // Noise bit = bit 0 of m. A dotted 30 (e = -225) puts 2e at +5 only for
  // bit 0; a dotted 4 (e = -251) takes the filter reaching +14 only for 1.
  object_.DotCurve()[30] = object_.DotCurve()[4] = -1000;
  for (uint16_t m : {64, 65}) {
    object_.SetMatrix(1, 1, {m});
    Fill(0);
    Diffuse(DiffuseMonoRow, {30}, 1, 10);
    EXPECT_EQ(line_[15], m == 64 ? -450 : 0);
    Fill(0);
    Diffuse(DiffuseMonoRow, {4}, 1, 10);
    EXPECT_EQ(line_[24], m == 65 ? -251 : 0);
  }
}

TEST_F(MonoDiffusionTest, ErrorReachesTheNextPixelAndTheNextRow) {
  // Against 55 + 20, level 60 misses (e = 60) and hands the next pixel
  // 8 * 60 >> 5 = 15 levels: a dot worth 75 (e = 0).
  object_.DotCurve()[60] = 55;
  object_.ToneCurve()[60] = 75;
  EXPECT_EQ(Diffuse(DiffuseMonoRow, {60, 60}, 2, 10, 0), "01");
  EXPECT_EQ(line_[9], 4 * 60);
  // Next row: 40 + (240 >> 5) = 47 meets 27 + 20. After a skipped row: 40.
  object_.DotCurve()[40] = 27;
  EXPECT_EQ(Diffuse(DiffuseMonoRow, {40}, 1, 9, 1), "1");
  line_[9] = 4 * 60;
  EXPECT_EQ(Diffuse(DiffuseMonoRow, {40}, 1, 9, 3), "0");
}

TEST_F(MonoDiffusionTest, TwoRunsOfARowContinueEachOther) {
  // A ramp split after a level-0 pixel (which leaves no carry): bits and
  // error must match one whole run.
  std::vector<uint8_t> src;
  for (int i = 0; i < 24; ++i) src.push_back(i == 11 ? 0 : 20 + 9 * i);
  uint8_t whole[3] = {}, split[3] = {};
  ASSERT_EQ(DiffuseMonoRow(object_.get(), MakeRun(src.data(), whole, 24, 0, 1)), kOk);
  const std::vector<int32_t> wholeLine(line_ - 30, line_ + 94);
  std::fill(line_ - 30, line_ + 94, 0);
  object_->lastRow = 0;
  ASSERT_EQ(DiffuseMonoRow(object_.get(), MakeRun(src.data(), split, 12, 0, 1)), kOk);
  ASSERT_EQ(DiffuseMonoRow(object_.get(), MakeRun(&src[12], split + 1, 12, 12, 1, 4)),
            kOk);
  EXPECT_EQ(Bits(split, 24), Bits(whole, 24));
  EXPECT_NE(Bits(whole, 24), std::string(24, '0'));
  EXPECT_EQ(std::vector<int32_t>(line_ - 30, line_ + 94), wholeLine);
}

TEST_F(MonoDiffusionTest, MagnificationRepeatsOrPicksOneOfTwoBytes) {
  object_->params.magnification = 1;
  EXPECT_EQ(Diffuse(DiffuseMonoRow, {0, 255}, 4), "0011");
  object_->params.magnification = -1;
  EXPECT_EQ(Diffuse(DiffuseMonoRow, {255, 0, 255, 255}, 2), "01");
  EXPECT_EQ(Diffuse(DiffuseMonoRowTall, {255, 0, 255, 255}, 2), "01");
  EXPECT_EQ(Diffuse(DiffuseMonoRow1440, {255, 0, 255, 255}, 2), "11");
}

}  // namespace
}  // namespace inkdot
