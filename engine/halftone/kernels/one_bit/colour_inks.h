/* SPDX-License-Identifier: Apache-2.0 */
// The diffused inks of the one-bit colour diffusion kernels: inks 0, 1 and
// 3, each on its own error line with its own carry and activity register.
// The portable loops of the colour diffusion kernels call it pixel by
// pixel; the fast kernels' vector paths diffuse the same inks in lanes
// (DiffusedColourLanes).
#pragma once

#include <cstdint>

#include "halftone/kernels/cell_by_cell.h"
#include "halftone/kernels/one_bit/diffusion_filters.h"

namespace inkdot {

template <class Filters, bool kInk1NoiseTerm>
class DiffusedColourInks {
 public:
  // An ink stays active for four pixels after its last nonzero level; an
  // inactive ink only passes its carry on.
  static constexpr uint32_t kActivityStart = 31;
  static constexpr uint32_t kActivityRefill = 16;

  // What changes from pixel to pixel: each ink's carry and activity
  // register. The loops keep a local copy, so that the error stores cannot
  // be taken to change it, and store it back after the run; the rest of
  // the object stays in memory, read where it is used, which leaves the
  // registers to the chains.
  struct Chains {
    int32_t carry[3] = {0, 0, 0};
    uint32_t activity[3] = {kActivityStart, kActivityStart, kActivityStart};
  };
  Chains chains;

  // `lines[j]` is the error line (column 0's cell) of the j-th diffused ink.
  DiffusedColourInks(int32_t *const lines[3], const int16_t *dotCurve,
                     const uint16_t *toneCurve, const FilterLimits &limits)
      : lines_{lines[0], lines[1], lines[2]},
        dotCurve_(dotCurve),
        toneCurve_(toneCurve),
        limits_(limits) {}

  // A white pixel: every line's cell takes its carry; the activity
  // registers stay as they are.
  [[gnu::always_inline]] void Pass(Chains &c, uint32_t x) const {
    for (int j = 0; j < 3; ++j) {
      lines_[j][x] = c.carry[j];
      c.carry[j] = 0;
    }
  }

  // The pixel at column x with the levels of inks 0..3 (ink 2's unused)
  // against matrix value m: set(j, dot) is called for each active diffused
  // ink j (0, 1, 2 for inks 0, 1 and 3), whose dot is decided without a
  // branch; an inactive ink prints nothing and makes no call. (The dots
  // passed back as values, or set only where they fall, measured slower.)
  template <class Set>
  [[gnu::always_inline]] void Diffuse(Chains &c, uint32_t x, const int32_t levels[4],
                                      uint32_t m, Set &&set) const {
    const int32_t offset = kThresholdOffsets[m & 0xFE];
    // The colour kernels read the filter tables with the noise bit inverted.
    const uint32_t filterNoise = (m & 1) ^ 1;
    Ink<0>(c, x, levels[0], offset, filterNoise, set);
    Ink<1>(c, x, levels[1], offset, filterNoise, set);
    Ink<2>(c, x, levels[3], offset, filterNoise, set);
  }

  // The error lines, curves and limits, for the vector paths.
  int32_t *Line(int j) const { return lines_[j]; }
  const int16_t *DotCurveValues() const { return dotCurve_; }
  const uint16_t *ToneCurveValues() const { return toneCurve_; }
  const FilterLimits &Limits() const { return limits_; }

 private:
  // The j-th diffused ink (ink 0, 1 or 3) at `level`; set(j, dot).
  template <int j, class Set>
  [[gnu::always_inline]] void Ink(Chains &c, uint32_t x, int32_t level, int32_t offset,
                                  uint32_t filterNoise, Set &set) const {
    int32_t *cell = lines_[j] + x;
    c.activity[j] = (c.activity[j] >> 1) | (level != 0 ? kActivityRefill : 0);
    if (c.activity[j] == 0) {
      *cell = c.carry[j];
      c.carry[j] = 0;
      return;
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
    c.carry[j] = Filters::Apply(cell, {level, error, dot, filterNoise, t3Limit}, c.carry[j],
                                limits_);
    set(j, dot);
  }

  int32_t *lines_[3];
  const int16_t *dotCurve_;
  const uint16_t *toneCurve_;
  FilterLimits limits_;
};

}  // namespace inkdot
