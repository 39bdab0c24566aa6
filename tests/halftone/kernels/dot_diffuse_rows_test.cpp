#include <gtest/gtest.h>

#include "hand_built_context.h"

namespace inkdot {
namespace {

// Grey set-up: the level is the source value (curve padded by 1), the
// matrix is flat, dotParams are those for x = y. Levels used:
//  10: small amount 5, never a dot     20: small 5, always a small dot
//  30: a large dot (level scale 50)    40: small 1, always a dot
//  50: medium 252 + large 255, a large dot
class DotDiffuseTest : public ::testing::Test {
 protected:
  DotDiffuseTest() {
    c_.SetGreyCurve(1);
    c_.ht->dotParams[0] = 15;
    c_.ht->dotParams[1] = 3;
    c_.ht->dotParams[2] = 1;
    c_.Levels()[1] = 50;
    c_.Levels()[255] = 50;
    Level(10, 5, 0, 0, 1000);
    Level(20, 5, 0, 0, -100);
    Level(30, 0, 0, 1, 0);
    Level(40, 1, 0, 0, -100);
    Level(50, 0, 252, 255, 0);
  }
  void Level(int p, uint8_t s, uint8_t m, uint8_t l, int16_t curve) {
    c_.Block(kDotPaletteBlock)[3 * p] = s;
    c_.Block(kDotPaletteBlock)[3 * p + 1] = m;
    c_.Block(kDotPaletteBlock)[3 * p + 2] = l;
    c_.DotCurve()[p] = curve;
  }
  // One pixel of level v at column 20 on a clean line.
  void OnePixel(RowKernel kernel, uint8_t v) {
    c_.ClearLines();
    ASSERT_EQ(c_.Run(kernel, {v}, 1, 20), kOk);
  }
  testing::PlatformGuard guard_;
  HandBuiltContext c_{64, 32};
};

TEST_F(DotDiffuseTest, EqualResolutionFiltersSpreadOneErrorByHand) {
  OnePixel(DotDiffuseMonoRow, 10);  // no dot, e = 5
  c_.ExpectCells(0, 20, Times(5, {{-2, 4}, {-1, 8}, {0, 8}, {1, 8}, {2, 4}}));
  OnePixel(DotDiffuseMonoRow, 20);  // small dot above limit 3: e = 5 - 255
  c_.ExpectCells(0, 20,
                 Times(-250, {{-4, 2},
                              {-3, 2},
                              {-2, 2},
                              {-1, 4},
                              {0, 4},
                              {1, 4},
                              {2, 4},
                              {3, 2},
                              {4, 2},
                              {5, 2}}));
  OnePixel(DotDiffuseMonoRow, 40);  // the faintest filter, even threshold
  std::map<int, int32_t> faint = {{0, 2}, {10, 1}};
  for (int k = 1; k <= 4; ++k) faint[k] = faint[-k] = 2;
  for (int k = 5; k <= 9; ++k) faint[k] = faint[-k] = 1;
  faint[-10] = 1;
  c_.ExpectCells(0, 20, Times(-254, faint));
  c_.FillMatrix(1);  // odd threshold: 2 more below, none at +5
  OnePixel(DotDiffuseMonoRow, 20);
  c_.ExpectCells(0, 20,
                 Times(-250, {{-4, 2},
                              {-3, 2},
                              {-2, 2},
                              {-1, 4},
                              {0, 6},
                              {1, 4},
                              {2, 4},
                              {3, 2},
                              {4, 2}}));
}

TEST_F(DotDiffuseTest, WideAndTallFiltersSpreadOneErrorByHand) {
  OnePixel(DotDiffuseMonoRow1440, 10);
  c_.ExpectCells(0, 20, Times(5, {{-3, 4}, {-2, 4}, {-1, 4}, {0, 8}, {1, 8}, {2, 4}}));
  c_.FillMatrix(1);
  OnePixel(DotDiffuseMonoRow1440, 10);
  c_.ExpectCells(0, 20, Times(5, {{-2, 4}, {-1, 8}, {0, 8}, {1, 4}, {2, 4}, {3, 4}}));
  OnePixel(DotDiffuseMonoRowTall, 30);  // large dot: e = 1 - 255
  c_.ExpectCells(0, 20, Times(-254, {{-2, 4}, {-1, 4}, {0, 12}, {1, 4}, {2, 4}}));
}

TEST_F(DotDiffuseTest, FineFiltersCountDotsTwiceAndHalveTheFarTaps) {
  OnePixel(DotDiffuseMonoRow2880, 30);  // e = 1 - 510, faintest dotted row
  std::map<int, int32_t> faint = {{0, -509}};
  for (int k = 1; k <= 6; ++k) faint[k] = faint[-k] = -509;
  for (int k = 7; k <= 24; ++k) faint[k] = faint[-k] = -255;  // -509 >> 1
  for (int k = 25; k <= 26; ++k) faint[-k] = -255;
  c_.ExpectCells(0, 20, faint);
  OnePixel(DotDiffuseMonoRow2880, 50);  // e = 507 - 510 = -3: halves are -2
  for (auto &[k, v] : faint) v = (k >= -6 && k <= 6) ? -3 : -2;
  c_.ExpectCells(0, 20, faint);
}

TEST_F(DotDiffuseTest, IncomingErrorIsReadWithTheKernelsBias) {
  struct Case {
    RowKernel kernel;
    int32_t cell;
    int32_t read;
    int32_t own;
  };
  const Case cases[] = {
      {DotDiffuseMonoRow, -1, 0, 8},       {DotDiffuseMonoRow, -31, 0, 8},
      {DotDiffuseMonoRow, -32, -1, 8},     {DotDiffuseMonoRow, -63, -1, 8},
      {DotDiffuseMonoRow, 63, 1, 8},       {DotDiffuseMonoRow2880, -10, 0, 2},
      {DotDiffuseMonoRow2880, -11, -1, 2}, {DotDiffuseMonoRow2880, -42, -1, 2},
      {DotDiffuseMonoRow2880, -43, -2, 2}};
  for (const Case &k : cases) {
    c_.Line(0)[7] = k.cell;
    ASSERT_EQ(c_.Run(k.kernel, {10}, 1, 7), kOk);
    EXPECT_EQ(c_.Line(0)[7], k.own * (5 + k.read)) << "cell " << k.cell;
  }
}

TEST_F(DotDiffuseTest, CarryAndWhitePixels) {
  // A large dot (e = -254) hands 4e to the next cell; white takes it and
  // the white after it gets nothing, whatever the taps had sent there.
  ASSERT_EQ(c_.Run(DotDiffuseMonoRow, {30, 255, 255}, 3, 20), kOk);
  EXPECT_EQ(c_.Line(0)[21], -1016);
  EXPECT_EQ(c_.Line(0)[22], 0);
  EXPECT_EQ(c_.Code(0, 0), 3u);
  EXPECT_EQ(c_.Code(0, 1), 0u);
  // The carry does not outlive its run.
  ASSERT_EQ(c_.Run(DotDiffuseMonoRow, {30}, 1, 30), kOk);
  ASSERT_EQ(c_.Run(DotDiffuseMonoRow, {255}, 1, 31), kOk);
  EXPECT_EQ(c_.Line(0)[31], 0);
}

TEST_F(DotDiffuseTest, OpposedPairsReducedToBlackKeepSmallDots) {
  c_.ht->params.magnification = -1;
  ASSERT_EQ(c_.Run(DotDiffuseMonoRowTall, {255, 0, 30, 30, 0, 0, 245, 10}, 4, 40), kOk);
  EXPECT_EQ(c_.Code(0, 0), 1u);
  EXPECT_EQ(c_.Code(0, 1), 3u);
  EXPECT_EQ(c_.Code(0, 2), 0u);
  EXPECT_EQ(c_.Code(0, 3), 0u);  // complementary, but reduced to level 10
}

TEST_F(DotDiffuseTest, StaleErrorIsClearedBeforeTheRun) {
  int32_t *line = c_.Line(0);
  auto fill = [&] {
    for (int i = -30; i < 94; ++i) line[i] = 7;
  };
  fill();
  c_.ht->lastRow = 2;
  ASSERT_EQ(c_.Run(DotDiffuseMonoRow, {255}, 1, 0, 5), kOk);  // rows skipped
  for (int i = 0; i < 64; ++i) EXPECT_EQ(line[i], 0) << i;
  EXPECT_EQ(line[-1], 7);
  EXPECT_EQ(line[64], 7);
  fill();
  c_.ht->lastRow = 15;
  c_.ht->lastEndX = 10;
  ASSERT_EQ(c_.Run(DotDiffuseMonoRow, {255}, 1, 20, 15), kOk);  // a gap
  EXPECT_EQ(line[9], 7);
  for (int i = 10; i <= 20; ++i) EXPECT_EQ(line[i], 0) << i;
  EXPECT_EQ(line[21], 7);
  RowRun run{nullptr, c_.planes[0], 16, 0, 65, 0, 0, 0, 1, 1};
  EXPECT_EQ(c_.Run(DotDiffuseMonoRow, run), kBadReservedB);
}

}  // namespace
}  // namespace inkdot
