#include <gtest/gtest.h>

#include "hand_built_context.h"

namespace inkdot {
namespace {

using Codes = std::vector<uint32_t>;

Codes PlaneCodes(const HandBuiltContext &c, int plane, int n) {
  Codes out;
  for (int i = 0; i < n; ++i) out.push_back(c.Code(plane, i));
  return out;
}

class DotDitherTest : public ::testing::Test {
 protected:
  testing::PlatformGuard guard_;
};

// Ink 0 of entry 1 prints a large dot everywhere; entry 0 never prints.
void LargeInkZero(HandBuiltContext &c) { c.SetEntry(1, 0, 0, 1000, 1000, 1000, 0); }

TEST_F(DotDitherTest, TwoBitPackingKeepsEarlierFieldsAndClearsTheRest) {
  HandBuiltContext c(64, 32);
  LargeInkZero(c);
  const std::vector<uint8_t> px = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0,
                                   0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  // firstBit 3, one pixel: the low field only, the top six bits kept.
  std::memset(c.planes, 0xAA, sizeof c.planes);
  ASSERT_EQ(c.Run(DotDitherInkRow, px, 1, 3, 0, 3), kOk);
  EXPECT_EQ(c.planes[0][0], 0xAB);
  EXPECT_EQ(c.planes[1][0], 0xA8);
  EXPECT_EQ(c.planes[0][1], 0xAA);
  // No pixels: firstBit 2 stores the first byte back with its low half
  // cleared; firstBit 0 touches nothing.
  std::memset(c.planes, 0xFF, sizeof c.planes);
  ASSERT_EQ(c.Run(DotDitherInkRow, px, 0, 2, 0, 2), kOk);
  EXPECT_EQ(c.planes[3][0], 0xF0);
  EXPECT_EQ(c.planes[3][1], 0xFF);
  std::memset(c.planes, 0xFF, sizeof c.planes);
  ASSERT_EQ(c.Run(DotDitherInkRow, px, 0, 0, 0, 0), kOk);
  EXPECT_EQ(c.planes[0][0], 0xFF);
  // Five pixels: a full byte, then one with the fields after the run 00.
  std::memset(c.planes, 0x55, sizeof c.planes);
  ASSERT_EQ(c.Run(DotDitherInkRow, px, 5), kOk);
  EXPECT_EQ(c.planes[0][0], 0xFF);
  EXPECT_EQ(c.planes[0][1], 0xC0);
  EXPECT_EQ(c.planes[1][1], 0x00);
  EXPECT_EQ(c.planes[0][2], 0x55);
}

TEST_F(DotDitherTest, ChecksComeInOrderAndLastRowFollows) {
  HandBuiltContext c(64, 32, 10);
  const std::vector<uint8_t> px(64, 0);
  RowRun run{px.data(), c.planes[0], 16, 0, 11, 0, 0, 7, 1, 1};
  EXPECT_EQ(c.Run(DotDitherMonoRow, run), kBadReservedB);
  EXPECT_EQ(c.Run(DotDitherInkRow, run), kRunTooLong);
  run.count = 10;
  EXPECT_EQ(c.Run(DotDitherColorRow, run), kBadReservedA);
  run.startX = 0xFFFFFFF8u;  // a sum that wraps must not pass
  run.reservedA = 0;
  EXPECT_EQ(c.Run(DotDitherInkRow, run), kRunTooLong);
  run.startX = 0;
  EXPECT_EQ(c.Run(DotDitherInkRow, run), kOk);  // colour ignores reservedB
  EXPECT_EQ(c.ht->lastRow, 7u);
}

// Each ink reads its own matrix cell: ink 0 (R, x), ink 1 (R + 24, x + 16),
// ink 2 (R, x + 48), ink 3 (R + 24, x + 40). Entries 1..4 print a large dot
// exactly when the threshold is at most the expected cell's value, entries
// 5..8 no dot exactly when it is at least that value.
TEST_F(DotDitherTest, InksSampleTheMatrixAtTheirOwnOffsets) {
  HandBuiltContext c(64, 32);
  for (uint32_t i = 0; i < c.ht->matrixSize; ++i) c.Matrix()[i] = 3 * i + 1;
  const uint32_t x = 3, row = 37;  // matrix rows 5 and 29
  const uint32_t cells[4] = {5 * 64 + 3, 29 * 64 + 19, 5 * 64 + 51, 29 * 64 + 43};
  for (int k = 0; k < 4; ++k) {
    const uint32_t t = 3 * cells[k] + 1;
    c.SetEntry(1 + k, 0, 0, t + 1, t + 1, t + 1, 0);
    c.SetEntry(5 + k, 0, 0, 0xFFFF, 0xFFFF, t, 0);
  }
  ASSERT_EQ(c.Run(DotDitherInkRow, {1, 2, 3, 4}, 1, x, row, x % 4), kOk);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(c.Code(k, 3), 3u) << "ink " << k;
  ASSERT_EQ(c.Run(DotDitherInkRow, {5, 6, 7, 8}, 1, x, row, x % 4), kOk);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(c.Code(k, 3), 0u) << "ink " << k;
}

TEST_F(DotDitherTest, DotSizeBandsAndDoubledPixels) {
  HandBuiltContext c(64, 32);
  c.FillMatrix(100);
  c.SetEntry(1, 0, 0, 0xFFFF, 0xFFFF, 100, 0);  // total not above t
  c.SetEntry(2, 0, 0, 101, 101, 101, 0);        // large
  c.SetEntry(3, 0, 0, 100, 101, 101, 0);        // medium
  c.SetEntry(4, 0, 0, 0, 100, 101, 0);          // small
  ASSERT_EQ(c.Run(DotDitherInkRow, {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0}, 4),
            kOk);
  EXPECT_EQ(PlaneCodes(c, 0, 4), (Codes{0, 3, 2, 1}));
  // Magnification 1: each source pixel serves two output pixels.
  c.ht->params.magnification = 1;
  ASSERT_EQ(c.Run(DotDitherInkRow, {2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0}, 5), kOk);
  EXPECT_EQ(PlaneCodes(c, 0, 5), (Codes{3, 3, 2, 2, 1}));
}

// Colour set-up: every channel value v sits on grid point v / 8 (weight 255
// never steps up for thresholds below 255); ink 0 of table entry e prints a
// large dot when its index times 10 exceeds the threshold 160.
class DotDitherColourTest : public DotDitherTest {
 protected:
  DotDitherColourTest() {
    c_.FillMatrix(160);
    c_.GridOnEighths();
    for (uint32_t p = 0; p < 256; ++p) c_.SetEntry(p, 0, 0, 10 * p, 10 * p, 10 * p, 0);
  }
  HandBuiltContext c_{64, 32};
};

TEST_F(DotDitherColourTest, NeighbouringCellsAreSmoothedAcrossWhite) {
  c_.Entry(10, 10, 10) = 0;   // pixel A: (80, 80, 80)
  c_.Entry(11, 10, 10) = 20;  // pixel B: alone 200 > 160, with A (0 + 20) / 2
  c_.Entry(20, 10, 10) = 0;   // pixel C: not a neighbour of B
  // A, white, B: B is still compared with A.
  ASSERT_EQ(
      c_.Run(DotDitherColorRow, {80, 80, 80, 0, 255, 255, 255, 0, 88, 80, 80, 0}, 3),
      kOk);
  EXPECT_EQ(PlaneCodes(c_, 0, 3), (Codes{0, 0, 0}));
  ASSERT_EQ(c_.Run(DotDitherColorRow, {160, 80, 80, 0, 88, 80, 80, 0}, 2),
            kOk);  // C, B
  EXPECT_EQ(PlaneCodes(c_, 0, 2), (Codes{0, 3}));
  for (int k = 1; k < 4; ++k) EXPECT_EQ(c_.Code(k, 0), 0u);  // white prints nothing
}

TEST_F(DotDitherColourTest, ReductionAveragesPairsAndKeepsHalfBlack) {
  c_.ht->params.magnification = -1;
  c_.Entry(0, 0, 0) = 30;  // black: ink 0 large, ink 3 (index 0) none
  c_.Entry(2, 2, 2) = 30;  // (15 + 16 + 1) / 2 = 16 lies on point 2
  const std::vector<uint8_t> px = {0,   0,  0,  0, 200, 10, 10, 0,   // half black
                                   0,   0,  0,  0, 0,   0,  0,  0,   // plain black
                                   15,  15, 15, 0, 16,  16, 16, 0,   // rounded mean
                                   200, 10, 10, 0, 200, 10, 10, 0};  // own colour
  ASSERT_EQ(c_.Run(DotDitherColorRow, px, 4), kOk);
  EXPECT_EQ(PlaneCodes(c_, 0, 4), (Codes{3, 3, 3, 0}));
  EXPECT_EQ(PlaneCodes(c_, 3, 4), (Codes{1, 0, 0, 0}));
}

// Grey: curve padded by 6 around the identity, so the level is
// v + (jitter mod 6) - 3; only level 100 has a dot (large).
TEST_F(DotDitherTest, GreyLevelJitterAndOpposedPairs) {
  HandBuiltContext c(64, 32);
  c.SetGreyCurve(6);
  c.Block(kDotPaletteBlock)[3 * 100 + 2] = 1;
  c.Levels()[1] = 50;
  c.Matrix()[24] = 22;  // 22 mod 6 = 4: 99 reads level 100
  c.Matrix()[25] = 18;  // 18 mod 6 = 0: level 96
  c.Matrix()[26] = 3;   // 3: level 100 from 100
  ASSERT_EQ(c.Run(DotDitherMonoRow, {99, 99, 100}, 3), kOk);
  EXPECT_EQ(PlaneCodes(c, 0, 3), (Codes{3, 0, 3}));
  // A black-and-white pair reduced to black keeps a small dot; a pair that
  // is complementary but not black, or black on both sides, does not.
  c.ht->params.magnification = -1;
  ASSERT_EQ(c.Run(DotDitherMonoRowTall, {0, 255, 255, 0, 10, 245, 0, 0}, 4, 4), kOk);
  EXPECT_EQ(PlaneCodes(c, 0, 4), (Codes{1, 1, 0, 0}));
}

}  // namespace
}  // namespace inkdot
