#include "halftone/kernels/error_lines.h"

#include <gtest/gtest.h>

#include "halftone/kernels/hand_built_object.h"

namespace inkdot {
namespace {

using Range = std::pair<uint32_t, uint32_t>;

// Marks every cell of two lines (margins 9, columns 7), tends them for a run
// after the previous one and returns the cleared columns as [first, end).
class RowContinuityTest : public ::testing::Test {
 protected:
  RowContinuityTest() : object_(400) { object_.AddErrorLines(2); }
  Range Cleared(uint32_t lastRow, uint32_t lastEndX, uint32_t row, uint32_t startX,
                uint32_t count) {
    int32_t *lines[2] = {object_.Line(0), object_.Line(1)};
    for (int32_t *line : lines) {
      for (int k = -30; k < 430; ++k) line[k] = k < 0 || k >= 400 ? 9 : 7;
    }
    object_->lastRow = lastRow;
    object_->lastEndX = lastEndX;
    UpdateRowContinuity(object_.get(), row, startX, count, lines, 2);
    EXPECT_EQ(object_->lastRow, row);
    EXPECT_EQ(object_->lastEndX, startX + count);
    Range cleared{0, 0};
    for (int k = -30; k < 430; ++k) {
      EXPECT_EQ(lines[0][k], lines[1][k]);
      if (k < 0 || k >= 400) {
        EXPECT_EQ(lines[0][k], 9) << "margin cell " << k;
      } else if (lines[0][k] == 0) {
        EXPECT_TRUE(cleared.second == 0 || cleared.second == uint32_t(k))
            << "gap at " << k;
        if (cleared.second == 0) cleared.first = k;
        cleared.second = k + 1;
      }
    }
    return cleared;
  }
  testing::PlatformGuard guard_;
  testing::HandBuiltObject object_;
};

TEST_F(RowContinuityTest, ClearsOnlyStaleError) {
  EXPECT_EQ(Cleared(4, 200, 5, 0, 200), Range(0, 0));       // next row keeps all
  EXPECT_EQ(Cleared(4, 200, 6, 0, 200), Range(0, 400));     // a skipped row drops all
  EXPECT_EQ(Cleared(4, 200, 4, 300, 10), Range(0, 0));      // same row, not 15 mod 16
  EXPECT_EQ(Cleared(14, 400, 15, 100, 50), Range(0, 100));  // before row 15's run
  EXPECT_EQ(Cleared(14, 400, 15, 0, 50), Range(0, 0));
  EXPECT_EQ(Cleared(31, 120, 31, 150, 50), Range(120, 150));  // gap within row 31
  EXPECT_EQ(Cleared(31, 400, 31, 150, 50), Range(0, 150));  // an end at maxPixels is 0
  EXPECT_EQ(Cleared(15, 300, 16, 0, 50), Range(300, 400));  // after row 15's end
  EXPECT_EQ(Cleared(15, 400, 16, 0, 50), Range(0, 0));
  EXPECT_EQ(Cleared(16, 300, 17, 0, 50), Range(0, 0));
}

TEST_F(RowContinuityTest, ClearErrorLinesTendsThreeLines) {
  object_.AddErrorLines(3);
  int32_t *lines[3] = {object_.Line(0), object_.Line(1), object_.Line(2)};
  for (int32_t *line : lines) line[5] = 7;
  ClearErrorLines(lines, object_.get(), 9, 40, 10);
  for (int32_t *line : lines) EXPECT_EQ(line[5], 0);
  EXPECT_EQ(object_->lastEndX, 50u);
}

}  // namespace
}  // namespace inkdot
