/* SPDX-License-Identifier: Apache-2.0 */
// The argument checks that the row kernels make before writing anything.
#pragma once

#include "frame/result_codes.h"
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/row_kernels.h"

namespace inkdot {

// 518 when the run ends past maxPixels, then 522 when reservedA is set. A
// run whose end does not fit in 32 bits is refused like any other long run
// instead of wrapping round to a small end column.
inline ResultCode CheckRunBounds(const HalftoneContext *ht, const RowRun &run) {
  const uint32_t width = ht->params.maxPixels;
  if (run.count > width || run.startX > width - run.count) return kRunTooLong;
  if (run.reservedA != 0) return kBadReservedA;
  return kOk;
}

// The single-channel kernels check reservedB first.
inline ResultCode CheckMonoRun(const HalftoneContext *ht, const RowRun &run) {
  if (run.reservedB != 0) return kBadReservedB;
  return CheckRunBounds(ht, run);
}

}  // namespace inkdot
