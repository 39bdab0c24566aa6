// SPDX-License-Identifier: Apache-2.0
#include "halftone/kernels/error_lines.h"

#include <cstring>

namespace inkdot {

namespace {

void ClearColumns(int32_t *const *lines, int lineCount, uint32_t first,
                  uint32_t end) {
  if (end <= first) return;
  for (int i = 0; i < lineCount; ++i) {
    std::memset(lines[i] + first, 0, (end - first) * sizeof(int32_t));
  }
}

}  // namespace

void UpdateRowContinuity(HalftoneContext *ht, uint32_t row, uint32_t startX,
                         uint32_t count, int32_t *const *lines, int lineCount) {
  const uint32_t previousRow = ht->lastRow;
  uint32_t previousEnd = ht->lastEndX;
  const uint32_t width = ht->params.maxPixels;
  ht->lastRow = row;
  ht->lastEndX = startX + count;
  if (previousEnd == width) previousEnd = 0;

  // Unsigned 32-bit comparisons throughout; previousRow + 1 wraps to 0 for
  // row 0xFFFFFFFF exactly as the original arithmetic does.
  const uint32_t nextRow = previousRow + 1;
  const uint32_t phase = row % 16;
  if (nextRow < row) {
    ClearColumns(lines, lineCount, 0, width);
  } else if (nextRow == row && phase == 15 && startX != 0) {
    ClearColumns(lines, lineCount, 0, startX);
  } else if (previousRow == row && phase == 15 && previousEnd < startX) {
    ClearColumns(lines, lineCount, previousEnd, startX);
  } else if (nextRow == row && phase == 0 && previousEnd != 0) {
    ClearColumns(lines, lineCount, previousEnd, width);
  }
}

void ClearErrorLines(int32_t *const lines[3], HalftoneContext *ht, uint32_t row,
                     uint32_t count, uint32_t startX) {
  UpdateRowContinuity(ht, row, startX, count, lines, 3);
}

}  // namespace inkdot
