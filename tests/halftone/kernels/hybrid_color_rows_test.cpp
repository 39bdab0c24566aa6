#include <gtest/gtest.h>

#include "hand_built_context.h"

namespace inkdot {
namespace {

// Ink-path set-up (source bytes are palette indexes), flat matrix 0: noise
// bit 0, step threshold 0, offset +24. Entries:
//   1: small 5, total 5, never a dot      3: a large dot, total 1
//   0: nothing at all (ink 2 index 9 likewise, to keep a pixel non-white)
class HybridTest : public ::testing::Test {
 protected:
  explicit HybridTest(uint32_t width = 64, uint32_t height = 32) : c_(width, height) {
    c_.ht->params.inputFormat = 4;
    SetLimits(15, 3, 1);
    c_.SetEntry(1, 5, 5, 0, 0, 0, 1000);
    c_.SetEntry(3, 0, 1, 1000, 1000, 1000, 0);
  }
  void SetLimits(uint32_t a, uint32_t b, uint32_t d) {
    c_.ht->dotParams[0] = a;
    c_.ht->dotParams[1] = b;
    c_.ht->dotParams[2] = d;
  }
  testing::PlatformGuard guard_;
  HandBuiltContext c_;
};

TEST_F(HybridTest, InksUseTheirOwnLinesAndCarryErrorAlong) {
  ASSERT_EQ(c_.Run(HybridColorRow, {0, 1, 9, 1, 0, 0, 9, 1}, 2, 20), kOk);
  // Both pixels read 40 / 32 = 1 from the first's tap: ink 1 (index 0 in the
  // second pixel) spreads just that, ink 3 (index 1 again) 5 + 1.
  c_.ExpectCells(1, 20, {{-2, 20}, {-1, 44}, {0, 48}, {1, 8}, {2, 28}, {3, 4}});
  c_.ExpectCells(2, 20, {{-2, 20}, {-1, 64}, {0, 88}, {1, 48}, {2, 68}, {3, 24}});
  c_.ExpectCells(0, 20, {});
  // The next row reads 48 / 32 = 1 at column 21.
  ASSERT_EQ(c_.Run(HybridColorRow, {0, 0, 9, 1}, 1, 21, 1), kOk);
  c_.ExpectCells(2, 20, {{-2, 20}, {-1, 88}, {0, 136}, {1, 48}, {2, 116}, {3, 48}});
}

TEST_F(HybridTest, IncomingErrorIsReadPerMember) {
  struct Case {
    RowKernel kernel;
    int32_t cell;
    int32_t read;
    int32_t own;
  };
  const Case cases[] = {
      {HybridColorRow, -1, 0, 8},       {HybridColorRow, -32, -1, 8},
      {HybridColorRow, -33, -1, 8},     {HybridColorRow, 63, 1, 8},
      {HybridColorRow2880, -10, 0, 2},  {HybridColorRow2880, -11, -1, 2},
      {HybridColorRow2880, -42, -1, 2}, {HybridColorRow2880, -43, -2, 2}};
  for (const Case &k : cases) {
    c_.Line(0)[7] = k.cell;
    ASSERT_EQ(c_.Run(k.kernel, {1, 0, 0, 0}, 1, 7), kOk);
    EXPECT_EQ(c_.Line(0)[7], k.own * (5 + k.read)) << "cell " << k.cell;
  }
}

TEST_F(HybridTest, SmallDotOffsetsBySignAndMember) {
  c_.SetEntry(4, 100, 100, 0, 0, 0, 100);  // Q = 100 = dot curve
  c_.SetEntry(5, 100, 100, 0, 0, 0, 88);   // Q = 100 = dot curve + 12
  ASSERT_EQ(c_.Run(HybridColorRow, {4, 4, 9, 0}, 1), kOk);
  EXPECT_EQ(c_.Code(0, 0), 0u);  // ink 0 needs 100 + 24
  EXPECT_EQ(c_.Code(1, 0), 1u);  // ink 1 needs 100 - 24
  c_.ClearLines();
  ASSERT_EQ(c_.Run(HybridColorRow, {5, 0, 9, 0}, 1), kOk);
  EXPECT_EQ(c_.Code(0, 0), 0u);  // 88 + 24 here
  c_.ClearLines();
  ASSERT_EQ(c_.Run(HybridColorRow2880, {5, 0, 9, 0}, 1), kOk);
  EXPECT_EQ(c_.Code(0, 0), 1u);  // 88 + 12 at 2880
}

TEST_F(HybridTest, InksWithoutSmallAmountGoQuietAfterFourPixels) {
  // Four non-white pixels of a run diffuse; the fifth drops its error.
  c_.Line(0)[14] = 3200;
  ASSERT_EQ(c_.Run(HybridColorRow, std::vector<uint8_t>(20, 9), 5, 10), kOk);
  c_.ExpectCells(0, 14, {});
  c_.Line(0)[13] = 3200;  // the fourth pixel reads 100 and spreads it
  ASSERT_EQ(c_.Run(HybridColorRow, std::vector<uint8_t>(20, 9), 5, 10), kOk);
  EXPECT_EQ(c_.Line(0)[12], 800);
  EXPECT_EQ(c_.Line(0)[13], 800);
  EXPECT_EQ(c_.Line(0)[14], 0);  // the quiet fifth pixel took the carry, 0
  EXPECT_EQ(c_.Line(0)[15], 400);
  // A small amount re-arms the lane for four more non-white pixels; white
  // pixels do not count.
  c_.SetEntry(6, 1, 0, 0, 0, 0, 1000);
  c_.ClearLines();
  c_.Line(0)[15] = 3200;
  ASSERT_EQ(c_.Run(HybridColorRow, {6, 0, 9, 0, 0, 0, 0, 0, 0, 0, 9, 0,
                                    0, 0, 9, 0, 0, 0, 9, 0, 0, 0, 9, 0},
                   6, 10),
            kOk);
  EXPECT_EQ(c_.Line(0)[15], 800);
}

// Each case: small amount, dot, large dot, and the reach of the filter that
// the member must choose (leftmost and rightmost cells), from its table.
TEST_F(HybridTest, FilterChoiceFollowsEachMembersLimits) {
  struct Case {
    uint32_t small;
    bool dot, large;
    std::pair<int, int> reach;
  };
  struct Member {
    RowKernel kernel;
    uint32_t t0, t1, t2;
    std::vector<Case> cases;
  };
  const Member members[] = {
      {HybridColorRow,
       15,
       3,
       1,  // noise 0: no +5 on the third row, +11 on the last
       {{16, 1, 0, {-2, 2}},
        {15, 1, 0, {-4, 4}},
        {4, 1, 0, {-4, 4}},
        {3, 1, 0, {-7, 7}},
        {2, 1, 0, {-7, 7}},
        {1, 1, 0, {-10, 11}},
        {0, 1, 1, {-2, 2}}}},
      {HybridColorRowWide,
       14,
       3,
       0,
       {{15, 1, 0, {-4, 4}},
        {14, 1, 0, {-7, 7}},
        {4, 1, 0, {-7, 7}},
        {3, 1, 0, {-10, 10}},
        {20, 0, 0, {-2, 3}}}},
      {HybridColorRowTall,
       111,
       8,
       2,
       {{112, 0, 0, {-1, 2}},
        {50, 0, 0, {-2, 2}},
        {5, 0, 0, {-1, 1}},
        {3, 1, 0, {-4, 4}},
        {2, 1, 0, {-7, 7}}}},
      {HybridColorRow2880,
       0,
       0,
       0,
       {{0, 1, 1, {-26, 24}},
        {31, 1, 0, {-6, 6}},
        {9, 1, 0, {-11, 9}},
        {4, 1, 0, {-13, 13}},
        {3, 1, 0, {-21, 23}},
        {31, 0, 0, {-4, 4}},
        {30, 0, 0, {-4, 3}},
        {8, 0, 0, {-4, 4}}}},
  };
  for (const Member &m : members) {
    SetLimits(m.t0, m.t1, m.t2);
    for (const Case &k : m.cases) {
      c_.SetEntry(2, k.small, k.small + 1, k.large ? 1000 : 0, k.large ? 1000 : 0, 0,
                  k.dot ? -1000 : 1000);
      c_.ClearLines();
      ASSERT_EQ(c_.Run(m.kernel, {2, 0, 0, 0}, 1, 32), kOk);
      EXPECT_EQ(c_.Reach(0, 32), k.reach) << "limit " << m.t0 << ", small " << k.small;
    }
  }
}

TEST_F(HybridTest, TallAndWideTapsByHand) {
  // Tall, large dot (e = 1 - 255): a quarter of the error goes below-right.
  ASSERT_EQ(c_.Run(HybridColorRowTall, {3, 0, 0, 0, 0, 0, 0, 0}, 2, 20), kOk);
  c_.ExpectCells(0, 20, Times(-254, {{-1, 8}, {0, 8}, {1, 8}, {2, 4}}));
  c_.ClearLines();
  // Wide, no dot: the taps follow the noise bit.
  c_.FillMatrix(1);  // noise bit 1
  ASSERT_EQ(c_.Run(HybridColorRowWide, {1, 0, 0, 0}, 1, 20), kOk);
  c_.ExpectCells(0, 20, Times(5, {{-3, 4}, {-2, 4}, {-1, 4}, {0, 8}, {1, 8}, {2, 4}}));
  c_.FillMatrix(0);
  c_.ClearLines();
  ASSERT_EQ(c_.Run(HybridColorRowWide, {1, 0, 0, 0}, 1, 20), kOk);
  c_.ExpectCells(0, 20, Times(5, {{-2, 4}, {-1, 8}, {0, 8}, {1, 4}, {2, 4}, {3, 4}}));
}

TEST_F(HybridTest, FineDotsCountTwice) {
  c_.SetEntry(7, 0, 300, 1000, 1000, 1000, 0);  // a large dot, Q = 300
  ASSERT_EQ(c_.Run(HybridColorRow2880, {7, 0, 0, 0}, 1, 30), kOk);
  EXPECT_EQ(c_.Code(0, 0), 3u);
  EXPECT_EQ(c_.Line(0)[30], -210);
  EXPECT_EQ(c_.Line(0)[37], -105);
}

TEST_F(HybridTest, WhiteStretchesTakeTheCarryThenNothing) {
  ASSERT_EQ(c_.Run(HybridColorRow, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 3, 20), kOk);
  EXPECT_EQ(c_.Line(0)[21], 4 * -254);
  EXPECT_EQ(c_.Line(0)[22], 0);
  EXPECT_EQ(c_.Code(0, 0), 3u);
  EXPECT_EQ(c_.planes[0][0] & 0x3F, 0);
}

TEST_F(HybridTest, EmptyRunStillKeepsRowsAndClearsLines) {
  for (int k = 0; k < 4; ++k) c_.Line(k)[3] = 99;
  std::memset(c_.planes, 0xFF, sizeof c_.planes);
  ASSERT_EQ(c_.Run(HybridColorRow, {}, 0, 9, 5, 2), kOk);  // first call, row 5
  EXPECT_EQ(c_.ht->lastRow, 5u);
  EXPECT_EQ(c_.ht->lastEndX, 9u);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(c_.Line(k)[3], 0);
  EXPECT_EQ(c_.Line(3)[3], 99);  // not one of the three lines
  EXPECT_EQ(c_.planes[2][0], 0xF0);
  EXPECT_EQ(c_.planes[2][1], 0xFF);
}

TEST_F(HybridTest, MagnificationSharesOrReducesSourcePixels) {
  c_.SetEntry(20, 0, 0, 1000, 1000, 1000, 0);  // large; 10 and 100 print nothing
  c_.SetEntry(5, 0, 0, 1000, 1000, 1000, 0);
  c_.SetEntry(200, 0, 0, 1000, 1000, 1000, 0);
  c_.ht->params.magnification = 1;  // odd count: the last pixel has its own
  ASSERT_EQ(c_.Run(HybridColorRow, {3, 0, 0, 0, 0, 0, 9, 0}, 3), kOk);
  EXPECT_EQ((std::vector<uint32_t>{c_.Code(0, 0), c_.Code(0, 1), c_.Code(0, 2)}),
            (std::vector<uint32_t>{3, 3, 0}));
  c_.ht->params.magnification = -1;
  const std::vector<uint8_t> pair = {10, 0, 200, 0, 20, 5, 100, 0};
  ASSERT_EQ(c_.Run(HybridColorRowTall, pair, 1), kOk);  // the larger bytes
  EXPECT_EQ((std::vector<uint32_t>{c_.Code(0, 0), c_.Code(1, 0), c_.Code(2, 0),
                                   c_.Code(3, 0)}),
            (std::vector<uint32_t>{3, 3, 3, 0}));
  ASSERT_EQ(c_.Run(HybridColorRow, pair, 2), kOk);  // one pixel each
  EXPECT_EQ((std::vector<uint32_t>{c_.Code(0, 0), c_.Code(0, 1), c_.Code(2, 0),
                                   c_.Code(2, 1)}),
            (std::vector<uint32_t>{0, 3, 3, 0}));
}

TEST_F(HybridTest, TallColourPathNeedsTheLargeMatrix) {
  HandBuiltContext c(64, 64);
  c.ht->params.inputFormat = 3;
  c.Line(0)[5] = 99;
  std::memset(c.planes, 0x5A, sizeof c.planes);
  EXPECT_EQ(c.Run(HybridColorRowTall, {0, 0, 0, 0}, 1, 0, 5), kBadResource);
  EXPECT_EQ(c.planes[0][0], 0x5A);
  EXPECT_EQ(c.Line(0)[5], 0);  // the upkeep ran
  EXPECT_EQ(c.ht->lastRow, 5u);
  c.ht->params.inputFormat = 4;
  EXPECT_EQ(c.Run(HybridColorRowTall, {0, 0, 9, 0}, 1, 0, 5), kOk);
  HandBuiltContext wide(512, 32);  // 16384 entries, wider than the pair table
  wide.ht->params.magnification = -1;
  EXPECT_EQ(wide.Run(HybridColorRowTall, std::vector<uint8_t>(8, 0), 1), kBadResource);
}

// Colour through the table: channel v sits on grid point v / 8.
class HybridColourTest : public HybridTest {
 protected:
  explicit HybridColourTest(uint32_t width = 64, uint32_t height = 32)
      : HybridTest(width, height) {
    c_.ht->params.inputFormat = 2;
    c_.GridOnEighths();
  }
};

TEST_F(HybridColourTest, NeighboursAreAveragedRoundedByTheNoiseBit) {
  c_.Entry(10, 10, 10) = 10 << 16;  // ink 2 indexes 10, then 13: mean 11.5
  c_.Entry(11, 10, 10) = 13 << 16;
  c_.SetEntry(12, 0, 0, 1000, 1000, 1000, 0);  // only 12 prints
  const std::vector<uint8_t> px = {80, 80, 80, 0, 88, 80, 80, 0};
  ASSERT_EQ(c_.Run(HybridColorRow, px, 2), kOk);
  EXPECT_EQ(c_.Code(2, 1), 3u);  // noise 0 rounds up
  c_.FillMatrix(1);
  ASSERT_EQ(c_.Run(HybridColorRow, px, 2), kOk);
  EXPECT_EQ(c_.Code(2, 1), 0u);
  EXPECT_EQ(c_.Code(2, 0), 0u);
}

class HybridPairTest : public HybridColourTest {
 protected:
  HybridPairTest() : HybridColourTest(128, 128) {
    c_.ht->params.magnification = -1;
    SetLimits(111, 8, 2);
  }
};

TEST_F(HybridPairTest, PairsAreAveragedAndHalfBlackKeepsInkThree) {
  c_.Entry(0, 0, 0) = 0x030303;  // inks 0..2 print large against threshold 0
  const std::vector<uint8_t> px = {255, 255, 255, 0, 254, 254, 254, 0,   // white
                                   0,   0,   0,   0, 255, 255, 255, 0,   // black pair
                                   0,   0,   0,   0, 0,   0,   0,   0,   // plain black
                                   0,   0,   1,   0, 0,   0,   0,   0};  // black pair
  ASSERT_EQ(c_.Run(HybridColorRowTall, px, 4), kOk);
  const uint32_t want[4][4] = {{0, 3, 3, 3}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 1, 0, 1}};
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < 4; ++i) EXPECT_EQ(c_.Code(k, i), want[k][i]) << k << "," << i;
  }
}

TEST_F(HybridPairTest, IncomingErrorIsRounded) {
  c_.Entry(1, 1, 1) = 1;  // (8, 8, 8): entry 1, no dot, Tall no-dot filter
  const std::pair<int32_t, int32_t> cases[] = {{15, 0}, {-16, 0}, {16, 1}, {-17, -1}};
  for (const auto &[cell, read] : cases) {
    c_.Line(0)[7] = cell;
    ASSERT_EQ(c_.Run(HybridColorRowTall, {8, 8, 8, 0, 8, 8, 8, 0}, 1, 7), kOk);
    EXPECT_EQ(c_.Line(0)[7], 16 * (5 + read)) << "cell " << cell;
  }
}

}  // namespace
}  // namespace inkdot
