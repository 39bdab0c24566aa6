#include "halftone/kernels/error_lines.h"

#include <gtest/gtest.h>

#include "halftone/kernels/hand_built_object.h"

namespace inkdot {
namespace {

using testing::HandBuiltObject;

constexpr uint32_t kWidth = 400;
constexpr int32_t kColumnMark = 7;
constexpr int32_t kMarginMark = 9;

// Marks every cell of two lines, runs the upkeep for a run after the
// previous one (row, end) and reports the columns that were cleared as
// [first, end), or [0, 0) when none were. Both lines must agree and the
// margins must never be touched.
class RowContinuityTest : public ::testing::Test {
 protected:
  RowContinuityTest() : object_(kWidth) { object_.AddErrorLines(2); }

  std::pair<uint32_t, uint32_t> Cleared(uint32_t lastRow, uint32_t lastEndX,
                                        uint32_t row, uint32_t startX, uint32_t count) {
    int32_t *lines[2] = {object_.Line(0), object_.Line(1)};
    for (int32_t *line : lines) {
      for (int k = -30; k < 0; ++k) line[k] = kMarginMark;
      for (uint32_t x = 0; x < kWidth; ++x) line[x] = kColumnMark;
      for (uint32_t x = kWidth; x < kWidth + 30; ++x) line[x] = kMarginMark;
    }
    object_->lastRow = lastRow;
    object_->lastEndX = lastEndX;
    UpdateRowContinuity(object_.get(), row, startX, count, lines, 2);
    EXPECT_EQ(object_->lastRow, row);
    EXPECT_EQ(object_->lastEndX, startX + count);

    uint32_t first = 0, end = 0;
    for (uint32_t x = 0; x < kWidth; ++x) {
      EXPECT_EQ(lines[0][x], lines[1][x]) << "column " << x;
      if (lines[0][x] == 0) {
        if (end == 0) first = x;
        EXPECT_TRUE(end == 0 || end == x) << "cleared columns not contiguous at " << x;
        end = x + 1;
      }
    }
    for (int32_t *line : lines) {
      for (int k = 1; k <= 30; ++k) {
        EXPECT_EQ(line[-k], kMarginMark);
        EXPECT_EQ(line[kWidth + k - 1], kMarginMark);
      }
    }
    return {first, end};
  }

  testing::PlatformGuard guard_;
  HandBuiltObject object_;
};

using Range = std::pair<uint32_t, uint32_t>;

TEST_F(RowContinuityTest, NextRowKeepsTheErrorAndASkippedRowDropsIt) {
  EXPECT_EQ(Cleared(4, 200, 5, 0, 200), Range(0, 0));
  EXPECT_EQ(Cleared(4, 200, 6, 0, 200), Range(0, kWidth));
  EXPECT_EQ(Cleared(4, 200, 4, 300, 10), Range(0, 0));  // same row, not 15 mod 16
}

TEST_F(RowContinuityTest, EverySixteenthRowDropsErrorOutsideTheRuns) {
  EXPECT_EQ(Cleared(14, 400, 15, 100, 50), Range(0, 100));
  EXPECT_EQ(Cleared(14, 400, 15, 0, 50), Range(0, 0));
  EXPECT_EQ(Cleared(31, 120, 31, 150, 50), Range(120, 150));  // gap within row 31
  EXPECT_EQ(Cleared(31, 400, 31, 150, 50), Range(0, 150));  // an end at maxPixels is 0
  EXPECT_EQ(Cleared(15, 300, 16, 0, 50), Range(300, kWidth));
  EXPECT_EQ(Cleared(15, kWidth, 16, 0, 50), Range(0, 0));
  EXPECT_EQ(Cleared(16, 300, 17, 0, 50), Range(0, 0));
}

TEST_F(RowContinuityTest, ClearErrorLinesTendsThreeLines) {
  object_.AddErrorLines(3);
  int32_t *lines[3] = {object_.Line(0), object_.Line(1), object_.Line(2)};
  for (int32_t *line : lines) line[5] = kColumnMark;
  object_->lastRow = 2;
  ClearErrorLines(lines, object_.get(), 9, 40, 10);
  for (int32_t *line : lines) EXPECT_EQ(line[5], 0);
  EXPECT_EQ(object_->lastRow, 9u);
  EXPECT_EQ(object_->lastEndX, 50u);
}

}  // namespace
}  // namespace inkdot
