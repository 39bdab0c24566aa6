/* SPDX-License-Identifier: Apache-2.0 */
// The diffused inks of the one-bit colour diffusion kernels: inks 0, 1 and
// 3, each on its own error line with its own carry and activity register.
// One object serves the portable loop and the vector block pass of the fast
// kernels, which call it pixel by pixel in the same order.
#pragma once

#include <cstdint>

#include "halftone/kernels/cell_by_cell.h"
#include "halftone/kernels/one_bit/diffusion_filters.h"

namespace inkdot {

template <class Filters, bool kInk1NoiseTerm>
class DiffusedColourInks {
 public:
  // `lines[j]` is the error line (column 0's cell) of the j-th diffused ink.
  DiffusedColourInks(int32_t *const lines[3], const int16_t *dotCurve,
                     const uint16_t *toneCurve, const FilterLimits &limits)
      : lines_{lines[0], lines[1], lines[2]},
        dotCurve_(dotCurve),
        toneCurve_(toneCurve),
        limits_(limits) {}

  // A white pixel: every line's cell takes its carry; the activity
  // registers stay as they are.
  [[gnu::always_inline]] void Pass(uint32_t x) {
    for (int j = 0; j < 3; ++j) {
      lines_[j][x] = carry_[j];
      carry_[j] = 0;
    }
  }

  // The pixel at column x with the levels of inks 0..3 (ink 2's unused)
  // against matrix value m; dots[j] is the j-th diffused ink's dot.
  [[gnu::always_inline]] void Diffuse(uint32_t x, const int32_t levels[4], uint32_t m,
                                      bool dots[3]) {
    const int32_t offset = kThresholdOffsets[m & 0xFE];
    // The colour kernels read the filter tables with the noise bit inverted.
    const uint32_t filterNoise = (m & 1) ^ 1;
    dots[0] = Ink<0>(x, levels[0], offset, filterNoise);
    dots[1] = Ink<1>(x, levels[1], offset, filterNoise);
    dots[2] = Ink<2>(x, levels[3], offset, filterNoise);
  }

  // The dots of a vector block of `pixels` pixels from column x0 (bit j for
  // pixel j) in dots[0], dots[1] and dots[3]: Block gives each pixel's white
  // bit, matrix value and smoothed levels (bytes 0, 2 and 4 of y). The
  // state is worked on in a local copy, so that the error stores cannot be
  // taken to change it.
  template <class Block>
  INKDOT_CELL_BY_CELL void Dots(const Block &block, uint32_t pixels, uint32_t x0,
                                uint64_t dots[4]) {
    DiffusedColourInks self = *this;
    uint64_t d0 = 0, d1 = 0, d3 = 0;
    for (uint32_t j = 0; j < pixels; ++j) {
      if ((block.white >> j) & 1) {
        self.Pass(x0 + j);
        continue;
      }
      const uint64_t y = block.y[j];
      const int32_t levels[4] = {static_cast<int32_t>(y & 0xFF),
                                 static_cast<int32_t>((y >> 16) & 0xFF), 0,
                                 static_cast<int32_t>((y >> 32) & 0xFF)};
      bool dot[3];
      self.Diffuse(x0 + j, levels, block.matrix[j], dot);
      d0 |= uint64_t{dot[0]} << j;
      d1 |= uint64_t{dot[1]} << j;
      d3 |= uint64_t{dot[2]} << j;
    }
    *this = self;
    dots[0] = d0;
    dots[1] = d1;
    dots[3] = d3;
  }

 private:
  // An ink stays active for four pixels after its last nonzero level; an
  // inactive ink only passes its carry on.
  static constexpr uint32_t kActivityStart = 31;
  static constexpr uint32_t kActivityRefill = 16;

  // The j-th diffused ink (ink 0, 1 or 3) at `level`; whether it prints.
  template <int j>
  [[gnu::always_inline]] bool Ink(uint32_t x, int32_t level, int32_t offset,
                                  uint32_t filterNoise) {
    int32_t *cell = lines_[j] + x;
    activity_[j] = (activity_[j] >> 1) | (level != 0 ? kActivityRefill : 0);
    if (activity_[j] == 0) {
      *cell = carry_[j];
      carry_[j] = 0;
      return false;
    }
    const int32_t corrected = level + (*cell >> 5);  // arithmetic shift
    *cell = 0;
    const int32_t threshold = dotCurve_[level] + (j == 1 ? -offset : offset);
    const bool dot = corrected >= threshold;
    // A dot takes its tone off the error; written without a branch, as dots
    // fall unpredictably.
    const int32_t error =
        corrected - (static_cast<int32_t>(toneCurve_[level]) & -static_cast<int32_t>(dot));
    const int32_t t3Limit = (j == 1 && !kInk1NoiseTerm) ? limits_.t3
                                                        : T3Limit<Filters>(limits_, filterNoise);
    carry_[j] = Filters::Apply(cell, {level, error, dot, filterNoise, t3Limit}, carry_[j],
                               limits_);
    return dot;
  }

  int32_t *lines_[3];
  const int16_t *dotCurve_;
  const uint16_t *toneCurve_;
  FilterLimits limits_;
  int32_t carry_[3] = {0, 0, 0};
  uint32_t activity_[3] = {kActivityStart, kActivityStart, kActivityStart};
};

}  // namespace inkdot
