// The stale-error clearing rules that every diffusing kernel applies at the
// start of a run.
#include <vector>

#include <gtest/gtest.h>

#include "halftone/kernels/error_lines.h"

namespace inkdot {
namespace {

constexpr uint32_t kWidth = 40;

class RowContinuityTest : public ::testing::Test {
 protected:
  RowContinuityTest() : storage_(kErrorMargin + kWidth + kErrorMargin, 7) {
    ht_.params.maxPixels = kWidth;
    line_ = storage_.data() + kErrorMargin;
  }

  // Records a previous run, then starts the run (row, startX, count).
  void Run(uint32_t lastRow, uint32_t lastEndX, uint32_t row, uint32_t startX,
           uint32_t count) {
    ht_.lastRow = lastRow;
    ht_.lastEndX = lastEndX;
    int32_t *lines[] = {line_};
    UpdateRowContinuity(&ht_, row, startX, count, lines, 1);
  }

  // Columns whose cells were cleared, as [first, end) ranges flattened.
  std::vector<uint32_t> ClearedColumns() const {
    std::vector<uint32_t> cleared;
    for (uint32_t x = 0; x < kWidth; ++x)
      if (line_[x] == 0) cleared.push_back(x);
    return cleared;
  }

  static std::vector<uint32_t> Range(uint32_t first, uint32_t end) {
    std::vector<uint32_t> columns;
    for (uint32_t x = first; x < end; ++x) columns.push_back(x);
    return columns;
  }

  HalftoneContext ht_{};
  std::vector<int32_t> storage_;
  int32_t *line_;
};

TEST_F(RowContinuityTest, RecordsTheRunForTheNextCall) {
  Run(3, 10, 4, 12, 20);
  EXPECT_EQ(ht_.lastRow, 4u);
  EXPECT_EQ(ht_.lastEndX, 32u);
}

TEST_F(RowContinuityTest, SkippedRowsClearEveryColumnButNotTheMargins) {
  Run(3, 40, 5, 10, 5);
  EXPECT_EQ(ClearedColumns(), Range(0, kWidth));
  EXPECT_EQ(storage_.front(), 7);
  EXPECT_EQ(storage_.back(), 7);
  EXPECT_EQ(line_[-1], 7);
  EXPECT_EQ(line_[kWidth], 7);
}

TEST_F(RowContinuityTest, NextRowKeepsErrorOnOrdinaryRows) {
  Run(3, 25, 4, 10, 5);
  EXPECT_TRUE(ClearedColumns().empty());
  Run(4, 25, 4, 30, 5);  // same row, not 15 mod 16
  EXPECT_TRUE(ClearedColumns().empty());
}

TEST_F(RowContinuityTest, Row15Mod16ClearsBeforeALateStart) {
  Run(14, 40, 15, 12, 5);
  EXPECT_EQ(ClearedColumns(), Range(0, 12));
}

TEST_F(RowContinuityTest, Row15Mod16ClearsTheGapBetweenRunsOfOneRow) {
  Run(31, 8, 31, 20, 5);
  EXPECT_EQ(ClearedColumns(), Range(8, 20));
}

TEST_F(RowContinuityTest, Row0Mod16ClearsAfterAnEarlyEnd) {
  Run(15, 22, 16, 0, 5);
  EXPECT_EQ(ClearedColumns(), Range(22, kWidth));
}

TEST_F(RowContinuityTest, AFullPreviousRowCountsAsEndingAtZero) {
  // lastEndX equal to maxPixels reads as 0: nothing after it to clear on a
  // row 0 mod 16, and a gap from column 0 on a row 15 mod 16.
  Run(15, kWidth, 16, 0, 5);
  EXPECT_TRUE(ClearedColumns().empty());
  Run(15, kWidth, 15, 6, 5);
  EXPECT_EQ(ClearedColumns(), Range(0, 6));
}

TEST_F(RowContinuityTest, OnlyTheFirstMatchingRuleApplies) {
  // Row 16 after row 15 with a late start: rule "row 15 mod 16" does not
  // match (16 mod 16 is 0), so only the columns after the old end go.
  Run(15, 30, 16, 12, 5);
  EXPECT_EQ(ClearedColumns(), Range(30, kWidth));
}

TEST_F(RowContinuityTest, RowNumbersWrapAsUnsigned) {
  // lastRow 0xFFFFFFFF: lastRow + 1 wraps to 0, so row 0 is the next row.
  Run(0xFFFFFFFFu, 10, 0, 0, 5);
  EXPECT_EQ(ClearedColumns(), Range(10, kWidth));
}

}  // namespace
}  // namespace inkdot
