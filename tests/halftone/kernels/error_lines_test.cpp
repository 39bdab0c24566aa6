// SPDX-License-Identifier: Apache-2.0
// The stale-error clearing rules that every diffusing kernel applies at the
// start of a run; the first rule that matches alone applies.
#include "halftone/kernels/error_lines.h"

#include <vector>

#include <gtest/gtest.h>

namespace inkdot {
namespace {

TEST(RowContinuity, ClearsTheColumnsOfTheFirstMatchingRule) {
  constexpr uint32_t kWidth = 40;
  const struct { uint32_t lastRow, lastEndX, row, startX; uint32_t first, end; } cases[] = {
      {3, 40, 5, 10, 0, kWidth},       // rows skipped: every column
      {3, 25, 4, 10, 0, 0},            // the next ordinary row keeps its error
      {4, 25, 4, 30, 0, 0},            // so does the same row, not 15 mod 16
      {14, 40, 15, 12, 0, 12},         // 15 mod 16, a late start: before it
      {31, 8, 31, 20, 8, 20},          // 15 mod 16, the same row: the gap
      {15, 22, 16, 0, 22, kWidth},     // 0 mod 16 after an early end: after it
      {15, kWidth, 16, 0, 0, 0},       // a full row reads as ending at 0 ...
      {15, kWidth, 15, 6, 0, 6},       // ... so the gap starts at column 0
      {15, 30, 16, 12, 30, kWidth},    // only the 0 mod 16 rule matches
      {0xFFFFFFFFu, 10, 0, 0, 10, kWidth},  // row numbers wrap: row 0 is the next
  };
  for (const auto &c : cases) {
    std::vector<int32_t> storage(kErrorMargin + kWidth + kErrorMargin, 7);
    int32_t *lines[] = {storage.data() + kErrorMargin};
    HalftoneContext ht{};
    ht.params.maxPixels = kWidth;
    ht.lastRow = c.lastRow, ht.lastEndX = c.lastEndX;
    UpdateRowContinuity(&ht, c.row, c.startX, 5, lines, 1);
    EXPECT_EQ(ht.lastRow, c.row);
    EXPECT_EQ(ht.lastEndX, c.startX + 5);
    for (uint32_t x = 0; x < kWidth; ++x) {
      EXPECT_EQ(lines[0][x] == 0, x >= c.first && x < c.end) << "case " << &c - cases << " column " << x;
    }
    EXPECT_EQ(storage.front() + storage.back(), 14);  // the margins are never cleared
  }
}

}  // namespace
}  // namespace inkdot
