/* SPDX-License-Identifier: Apache-2.0 */
// The members of the hybrid colour family (their filters and constants),
// the per-run state of the three diffused inks, and the AVX2 front of the
// colour-table path, shared by the portable kernels and the vector path.
#pragma once

#include <cstdint>

#include "halftone/kernels/multi_size/filters_2880.h"
#include "halftone/kernels/multi_size/filters_square.h"
#include "halftone/kernels/multi_size/filters_tall.h"
#include "halftone/kernels/multi_size/filters_wide.h"
#include "halftone/kernels/multi_size/hybrid_engine.h"
#include "halftone/kernels/row_kernels.h"

namespace inkdot {
namespace hybrid {

// Incoming error: the cell in 32nds, truncated toward zero.
inline int32_t TruncatedError(int32_t cell) { return (cell < 0 ? cell + 31 : cell) >> 5; }

// Equal resolutions. `odd` passed to the filter is the complement of the
// noise bit.
//
// Members whose filters are linear in the error (kWindowFilter) also give
// their filter choice and spread apart, the number of filters and how far
// the filters reach to either side: the vector path turns the filters into
// weight rows over a window of cells.
struct Square {
  static constexpr bool kSmallDotByMask = true;
  static constexpr int32_t kDotValue = 255;
  static constexpr int kOffsetShift = 0;
  static constexpr bool kWindowFilter = true;
  static constexpr int kFilters = 5;
  static constexpr int kReachLeft = 10, kReachRight = 11;
  static int32_t IncomingError(int32_t cell) { return TruncatedError(cell); }
  static int Choose(bool heavy, bool dot, uint32_t small, const uint32_t *limits) {
    return ChooseSquareFilter(heavy, dot, small, limits);
  }
  static constexpr int32_t SpreadBy(int which, int32_t *cell, int32_t e, int32_t carry, bool odd) {
    return SpreadSquare(which, cell, e, carry, odd);
  }
  static int32_t Spread(bool heavy, bool dot, uint32_t small, const uint32_t *limits,
                        bool odd, int32_t *cell, int32_t e, int32_t carry) {
    return SpreadSquare(ChooseSquareFilter(heavy, dot, small, limits), cell, e, carry,
                        odd);
  }
};

// x = 2y.
struct Wide : Square {
  static constexpr bool kSmallDotByMask = false;  // measured slower by mask
  static constexpr int kFilters = 4;
  static constexpr int kReachLeft = 10, kReachRight = 10;
  static int Choose(bool heavy, bool dot, uint32_t small, const uint32_t *limits) {
    return ChooseWideFilter(heavy, dot, small, limits);
  }
  static constexpr int32_t SpreadBy(int which, int32_t *cell, int32_t e, int32_t carry, bool odd) {
    return SpreadWide(which, cell, e, carry, odd);
  }
  static int32_t Spread(bool heavy, bool dot, uint32_t small, const uint32_t *limits,
                        bool odd, int32_t *cell, int32_t e, int32_t carry) {
    return SpreadWide(ChooseWideFilter(heavy, dot, small, limits), cell, e, carry, odd);
  }
};

// 2880 × 720: a dot counts twice, offsets halved, incoming error with a
// bias of 10 instead of truncation, fixed filter limits.
struct Fine {
  static constexpr bool kSmallDotByMask = false;  // measured slower by mask
  static constexpr int32_t kDotValue = 510;
  static constexpr int kOffsetShift = 1;
  static constexpr bool kWindowFilter = false;  // halves the error in some spans
  static int32_t IncomingError(int32_t cell) {
    return (cell < 0 ? cell + 10 : cell) >> 5;
  }
  static int32_t Spread(bool, bool dot, uint32_t small, const uint32_t *, bool,
                        int32_t *cell, int32_t e, int32_t carry) {
    return SpreadFine(ChooseFineFilter(dot, small), cell, e, carry);
  }
};

// 2x = y.
struct Tall : Square {
  static constexpr bool kSmallDotByMask = false;
  static constexpr int kFilters = 6;
  static constexpr int kReachLeft = 7, kReachRight = 7;
  static int Choose(bool heavy, bool dot, uint32_t small, const uint32_t *limits) {
    return ChooseTallFilter(heavy, dot, small, limits, kTallHeavyColour);
  }
  static constexpr int32_t SpreadBy(int which, int32_t *cell, int32_t e, int32_t carry, bool) {
    return SpreadTall(which, cell, e, carry);
  }
  static int32_t Spread(bool heavy, bool dot, uint32_t small, const uint32_t *limits,
                        bool, int32_t *cell, int32_t e, int32_t carry) {
    return SpreadTall(ChooseTallFilter(heavy, dot, small, limits, kTallHeavyColour),
                      cell, e, carry);
  }
};

// The tall member's pair path rounds the incoming error to the nearest.
struct TallPairs : Tall {
  static int32_t IncomingError(int32_t cell) { return (cell + 16) >> 5; }
};

// Lines: errorLines[0] for ink 0, [1] for ink 1, [2] for ink 3.
struct RunState {
  DiffusedInk ink3, ink0, ink1;
  uint32_t activity = kActivityStart;

  RunState(int32_t *const lines[3], uint32_t startX)
      : ink3{lines[2] + startX, 0, 0x1F, 0x10},
        ink0{lines[0] + startX, 0, 0x1F0000, 0x100000},
        ink1{lines[1] + startX, 0, 0x1F00, 0x1000} {}

  // White pixel: each cell takes its ink's carry, nothing else changes.
  void PassWhite() {
    *ink3.cell = ink3.carry;
    *ink0.cell = ink0.carry;
    *ink1.cell = ink1.carry;
    ink3.carry = ink0.carry = ink1.carry = 0;
  }
  void NextColumn() {
    ++ink3.cell;
    ++ink0.cell;
    ++ink1.cell;
  }
};

// Bits needed to bring matrix values down to the 0..255 step threshold.
inline uint32_t ThresholdShift(uint32_t matrixSize) {
  uint32_t q = (matrixSize + 1) >> 9;
  uint32_t s = 0;
  while (q > 0) {
    ++s;
    q >>= 1;
  }
  return s;
}

}  // namespace hybrid
}  // namespace inkdot
