// SPDX-License-Identifier: Apache-2.0
// Error diffusion of one 8-bit channel to one bit per pixel, on one error
// line. The three resolution classes share the engine and differ in their
// filters and in two details (a level-0 pixel's cell, and which byte of a
// pair a 2:1 reduction keeps).
#include <algorithm>

#include "halftone/kernels/cell_by_cell.h"
#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/one_bit/diffusion_filters.h"
#include "halftone/kernels/one_bit/mono_member.h"
#include "halftone/kernels/one_bit/one_bit_planes.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/run_checks.h"
#include "halftone/kernels/vector_kernels.h"

namespace inkdot {

namespace {

// The pixels of a run from `from.pixels` on, pixel by pixel: the whole run,
// or what the vector path left.
template <class Filters, MonoMember kMember>
[[gnu::always_inline]] inline void DiffusePixels(HalftoneContext *ht, const RowRun &run,
                                                 int32_t *line, const MonoResume &from) {
  const int16_t *levels = SignedGreyCurve(ht);
  const int16_t *dotCurve = DotCurve(ht);
  const uint16_t *toneCurve = ToneCurve(ht);
  const uint16_t *matrixRow = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const int32_t magnification = ht->params.magnification;
  const FilterLimits limits = LimitsOf(ht->dotParams);

  OneBitPlanes<1> out(from.dst, run.planeStride, from.firstBit);
  const uint8_t *src = from.src;
  int32_t level = 0;
  int32_t carry = from.carry;  // the share meant for the cell below-right
  for (uint32_t i = from.pixels; i < run.count; ++i) {
    const uint32_t x = run.startX + i;
    if (magnification != 1 || (i & 1) == 0) {
      uint8_t v;
      if (magnification == -1) {
        v = kMember.reductionTakesLarger ? std::max(src[0], src[1])
                                         : std::min(src[0], src[1]);
        src += 2;
      } else {
        v = *src++;
      }
      level = levels[v];
    }
    int32_t *cell = line + x;
    if (level == 0) {
      // No ink: the error this cell gathered is dropped.
      *cell = kMember.levelZeroStoresCarry ? carry : 0;
      carry = 0;
      out.Next();
      continue;
    }
    const uint32_t m = matrixRow[x & columnMask];
    const uint32_t noise = m & 1;
    // Levels are 0..255 by construction; the byte index keeps every table
    // read inside its 256 entries whatever the level table holds.
    const uint8_t index = static_cast<uint8_t>(level);
    const int32_t corrected = level + (*cell >> 5);  // arithmetic shift
    *cell = 0;
    const bool dot = corrected >= dotCurve[index] + kThresholdOffsets[m & 0xFE];
    // Written without a branch, as dots fall unpredictably.
    const int32_t error =
        corrected - (static_cast<int32_t>(toneCurve[index]) & -static_cast<int32_t>(dot));
    carry = Filters::Apply(cell,
                           {level, error, dot, noise, T3Limit<Filters>(limits, noise)},
                           carry, limits);
    out.Set(0, dot);
    out.Next();
  }
  out.Finish();
}

template <class Filters, MonoMember kMember>
[[gnu::always_inline]] inline ResultCode DiffuseMono(HalftoneContext *ht, const RowRun &run) {
  if (ResultCode rc = CheckMonoRun(ht, run); rc != kOk) return rc;
  int32_t *line = ErrorLineColumns(ht, 0);
  UpdateRowContinuity(ht, run.row, run.startX, run.count, &line, 1);
  MonoResume from{0, 0, run.src, run.dst, run.firstBit};
  if constexpr (kMember.window) {
    if (FitsVectorPath(ht, run, run.firstBit & 7, 1)) {
      from = DiffuseMonoWindowAvx2<Filters>(ht, run, line);
    }
  }
  DiffusePixels<Filters, kMember>(ht, run, line, from);
  return kOk;
}

}  // namespace

// The kernels are compiled cell by cell: 1440 x 720 about 8 % faster,
// 720 x 1440 about two thirds; the square one about half again since its
// cells' adds wrap (as unsigned adds, GCC's straight-line vectoriser merges
// its neighbouring cells otherwise). The 1440 x 720 member takes its portable
// filters without a branch on the dot where the level is above T0 (as the
// colour kernels do; the same cells, about 15 % faster on a gradient). It
// and the square member take the register window where they can (the
// square one about 9 % faster with it since the window stays in
// registers); the tall member measured slower with it.
INKDOT_CELL_BY_CELL ResultCode DiffuseMonoRow(HalftoneContext *ht, const RowRun &run) {
  return DiffuseMono<SquareFilters, kMonoSquare>(ht, run);
}

INKDOT_CELL_BY_CELL ResultCode DiffuseMonoRow1440(HalftoneContext *ht, const RowRun &run) {
  return DiffuseMono<WideColourFilters, kMonoWide>(ht, run);
}

INKDOT_CELL_BY_CELL ResultCode DiffuseMonoRowTall(HalftoneContext *ht, const RowRun &run) {
  return DiffuseMono<TallFilters, kMonoTall>(ht, run);
}

}  // namespace inkdot
