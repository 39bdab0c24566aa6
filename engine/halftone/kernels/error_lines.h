/* SPDX-License-Identifier: Apache-2.0 */
// Error lines: one per diffused ink, signed 32-bit cells holding error in
// 32nds of a level. The cell of column x is cell kErrorMargin + x; the
// margin cells on either side absorb the filters' reach past the row's ends.
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"
#include "halftone/kernels/halftone_tables.h"

namespace inkdot {

inline constexpr uint32_t kErrorMargin = 30;

// Cells of error line `line` (0..3), starting at column 0's cell.
inline int32_t *ErrorLineColumns(HalftoneContext *ht, int line) {
  return ErrorLine(ht, line) + kErrorMargin;
}

// Row continuity at the start of a diffusing run: records the run in
// lastRow and lastEndX and clears the column cells (never the margins) of
// the given lines that hold stale error. Rows are expected in increasing
// order; the first matching rule alone applies:
//  - rows were skipped: every column;
//  - the next row, a row 15 mod 16 that starts past column 0: the columns
//    before the run;
//  - the same row, 15 mod 16, a gap after the previous run: the gap;
//  - the next row, 0 mod 16, after a run that ended before maxPixels: the
//    columns from the previous run's end on.
void UpdateRowContinuity(HalftoneContext *ht, uint32_t row, uint32_t startX,
                         uint32_t count, int32_t *const *lines, int lineCount);

// The same upkeep over the three error lines of the colour kernels (inks 0,
// 1 and 3), as the fast colour kernels call it before their loop.
void ClearErrorLines(int32_t *const lines[3], HalftoneContext *ht, uint32_t row,
                     uint32_t count, uint32_t startX);

}  // namespace inkdot
