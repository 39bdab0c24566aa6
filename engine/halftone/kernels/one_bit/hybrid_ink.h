/* SPDX-License-Identifier: Apache-2.0 */
// The diffused ink of the one-bit hybrid kernel: ink 1 alone is diffused,
// on the first error line, with no clearing of stale error and no activity
// register; the other inks are dithered against the matrix. One object
// serves the portable loop and the vector paths, which call it pixel by
// pixel in the same order.
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"
#include "halftone/kernels/cell_by_cell.h"
#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/one_bit/diffusion_filters.h"

namespace inkdot {

class HybridInk {
 public:
  explicit HybridInk(HalftoneContext *ht)
      : line_(ErrorLineColumns(ht, 0)),
        dotCurve_(DotCurve(ht)),
        toneCurve_(ToneCurve(ht)),
        limits_(LimitsOf(ht->dotParams)) {}

  // A white pixel, or one without ink 1: the cell takes the carry.
  void Pass(uint32_t x) {
    line_[x] = carry_;
    carry_ = 0;
  }

  // Ink 1 at `level` against matrix value m; whether it prints a dot.
  [[gnu::always_inline]] bool Diffuse(uint32_t x, int32_t level, uint32_t m) {
    if (level == 0) {
      Pass(x);
      return false;
    }
    int32_t *cell = line_ + x;
    // Bit 2 of the matrix value serves as this kernel's noise bit.
    const uint32_t noise = (m >> 2) & 1;
    const int32_t corrected = level + (*cell >> 5);  // arithmetic shift
    *cell = 0;
    const bool dot = corrected >= dotCurve_[level] - kThresholdOffsets[m & 0xFE];
    const int32_t error = dot ? corrected - toneCurve_[level] : corrected;
    carry_ = SquareFilters::Apply(cell, {level, error, dot, noise, limits_.t3}, carry_,
                                  limits_);
    return dot;
  }

  // Ink 1's dots of a vector block of `pixels` pixels from column x0 (bit j
  // for pixel j): Block gives each pixel's white bit, matrix value and
  // smoothed ink-1 level (byte 2 of y).
  template <class Block>
  INKDOT_CELL_BY_CELL uint64_t Dots(const Block &block, uint32_t pixels, uint32_t x0) {
    uint64_t dots = 0;
    for (uint32_t j = 0; j < pixels; ++j) {
      if ((block.white >> j) & 1) {
        Pass(x0 + j);
        continue;
      }
      const auto level = static_cast<int32_t>((block.y[j] >> 16) & 0xFF);
      dots |= uint64_t{Diffuse(x0 + j, level, block.matrix[j])} << j;
    }
    return dots;
  }

 private:
  int32_t *line_;
  const int16_t *dotCurve_;
  const uint16_t *toneCurve_;
  FilterLimits limits_;
  int32_t carry_ = 0;
};

}  // namespace inkdot
