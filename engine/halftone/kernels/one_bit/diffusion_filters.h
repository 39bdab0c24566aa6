/* SPDX-License-Identifier: Apache-2.0 */
// The error-diffusion filters of the one-bit kernels and the threshold
// offsets that go with them.
//
// A pixel's error e is spread over one error line: cells right of the pixel
// still gather this row's incoming error, cells left of it already gather
// the next row's, the pixel's own cell gets the share straight below, and
// the share below-right travels as the carry into the next pixel's cell.
// Weights are in 32nds. The smaller a dotted pixel's level, the wider and
// flatter its filter. Every filter is a fixed sequence of shifts and adds.
#pragma once

#include <array>
#include <cstdint>
#include <utility>

namespace inkdot {

// Threshold offset of a matrix value, from t = m AND 0xFE: values near the
// ends of the matrix range push the threshold further out.
constexpr int32_t ThresholdOffset(uint32_t t) {
  if (t < 8) return 24;
  if (t <= 128) return 20;
  if (t < 248) return -20;
  return -24;
}

// The same offsets as a table indexed by t, for the kernels that keep their
// per-pixel lookups in local tables.
inline constexpr std::array<int8_t, 256> kThresholdOffsets = [] {
  std::array<int8_t, 256> table{};
  for (uint32_t t = 0; t < 256; ++t) {
    table[t] = static_cast<int8_t>(ThresholdOffset(t));
  }
  return table;
}();

// Level limits T0 > T1 > T2 > T3 that select a dotted pixel's filter.
struct FilterLimits {
  int32_t t0, t1, t2, t3;
};

// One diffused pixel, as the filters see it. `noise` is the noise bit as the
// filter table reads it (colour kernels pass it inverted); `t3Limit` is the
// level at or below which a dotted pixel takes the widest filter.
struct DiffusedPixel {
  int32_t level;
  int32_t error;
  bool dot;
  uint32_t noise;
  int32_t t3Limit;
};

// Adds a share to a cell, wrapping in 32 bits on purpose. The cells past
// either end of the line, which no pixel reads, gather a share of every
// row's error at the edge and can overflow on a page tens of thousands of
// rows tall with extreme tables; the result must stay a defined function
// of the input. The shares themselves stay far inside 32 bits: a pixel's
// error is at most 2^26 plus a level and a tone, and no weight exceeds 16.
[[gnu::always_inline]] constexpr void AddToCell(int32_t &cell, int32_t share) {
  cell =
      static_cast<int32_t>(static_cast<uint32_t>(cell) + static_cast<uint32_t>(share));
}

// Adds v to cells c[kFrom] .. c[kTo], unrolled.
template <int kFrom, int kTo>
constexpr void AddSpan(int32_t *c, int32_t v) {
  [&]<int... k>(std::integer_sequence<int, k...>) { (AddToCell(c[kFrom + k], v), ...); }
  (std::make_integer_sequence<int, kTo - kFrom + 1>{});
}

// Filters for equal resolutions (and every resolution class without a set
// of its own). Returns the new carry; `c` is the pixel's cell.
struct SquareFilters {
  static constexpr bool kT3NoiseTerm = true;

  [[gnu::always_inline]] static constexpr int32_t Apply(int32_t *c, const DiffusedPixel &p,
                                                        int32_t carry, const FilterLimits &t) {
    const int32_t e = p.error;
    if (p.level > t.t0) {
      AddToCell(c[1], 8 * e);
      AddToCell(c[2], 4 * e);
      AddToCell(c[-2], 4 * e);
      AddToCell(c[-1], 4 * e);
      c[0] = 8 * e + carry;
      return 4 * e;
    }
    if (!p.dot) {
      AddToCell(c[1], 8 * e);
      AddToCell(c[2], 4 * e);
      AddToCell(c[-2], 4 * e);
      AddToCell(c[-1], 8 * e);
      c[0] = 8 * e + carry;
      return 0;
    }
    if (p.level > t.t1) {
      AddToCell(c[1], 4 * e);
      AddToCell(c[2], 4 * e);
      AddToCell(c[3], 2 * e);
      AddToCell(c[4], 2 * e);
      AddSpan<-4, -2>(c, 2 * e);
      AddToCell(c[-1], 4 * e);
      // Noise bit 0 sends 2e to c[5], noise bit 1 keeps it in the pixel's
      // own cell; chosen by mask, as the bit is random.
      const int32_t moved = (2 * e) & -static_cast<int32_t>(p.noise == 0);
      AddToCell(c[5], moved);
      c[0] = 6 * e - moved + carry;
      return 4 * e;
    }
    if (p.level > t.t2) {
      AddSpan<1, 3>(c, 3 * e);
      AddSpan<4, 7>(c, e);
      AddSpan<-7, -6>(c, e);
      AddSpan<-5, -2>(c, 2 * e);
      AddToCell(c[-1], 3 * e);
      c[0] = 3 * e + carry;
      return 3 * e;
    }
    if (p.level <= p.t3Limit) {
      // The widest filter spreads 30/32 of the error.
      AddSpan<1, 14>(c, e);
      AddToCell(c[p.noise == 0 ? -15 : -14], e);
      AddSpan<-13, -1>(c, e);
      c[0] = e + carry;
      return e;
    }
    AddSpan<1, 4>(c, 2 * e);
    AddSpan<5, 9>(c, e);
    AddToCell(c[p.noise == 0 ? 10 : 11], e);
    AddSpan<-10, -5>(c, e);
    AddSpan<-4, -1>(c, 2 * e);
    c[0] = 2 * e + carry;
    return 2 * e;
  }
};

// Filters for 1440 x 720: about twice the sideways reach.
struct WideFilters {
  static constexpr bool kT3NoiseTerm = false;

  [[gnu::always_inline]] static constexpr int32_t Apply(int32_t *c, const DiffusedPixel &p,
                                                        int32_t carry, const FilterLimits &t) {
    const int32_t e = p.error;
    if (!p.dot) {
      // The noise bit moves one share of 4e from the right to the left of
      // the pixel; chosen by mask, as the bit is random.
      const int32_t share = 4 * e;
      const int32_t left = share & -static_cast<int32_t>(p.noise != 0);
      const int32_t right = share - left;
      AddToCell(c[2], share);
      AddToCell(c[-2], share);
      AddToCell(c[1], share + right);
      AddToCell(c[-3], right);
      AddToCell(c[-1], share + left);
      AddToCell(c[3], left);
      c[0] = 8 * e + carry;
      return 0;
    }
    if (p.level > t.t0) {
      AddToCell(c[1], 4 * e);
      AddToCell(c[2], 4 * e);
      AddToCell(c[3], 2 * e);
      AddToCell(c[4], 2 * e);
      AddToCell(c[-4], 2 * e);
      AddToCell(c[-3], 2 * e);
      AddToCell(c[-2], 4 * e);
      AddToCell(c[-1], 4 * e);
      c[0] = 4 * e + carry;
      return 4 * e;
    }
    if (p.level > t.t1) {
      AddSpan<1, 3>(c, 3 * e);
      AddSpan<4, 5>(c, 2 * e);
      AddSpan<6, 7>(c, e);
      AddSpan<-7, -6>(c, e);
      AddSpan<-5, -4>(c, 2 * e);
      AddSpan<-3, -1>(c, 3 * e);
      c[0] = 2 * e + carry;
      return 0;
    }
    if (p.level > t.t2) {
      AddSpan<1, 5>(c, 2 * e);
      AddSpan<6, 10>(c, e);
      AddSpan<-10, -6>(c, e);
      AddSpan<-5, -1>(c, 2 * e);
      c[0] = 2 * e + carry;
      return 0;
    }
    if (p.level <= p.t3Limit) {
      const int32_t half = e >> 1;  // arithmetic: rounds toward minus infinity
      AddSpan<1, 9>(c, e);
      AddSpan<10, 23>(c, half);
      AddSpan<-21, -10>(c, half);
      AddSpan<-9, -1>(c, e);
      c[0] = half + carry;
      return half;
    }
    AddToCell(c[1], 2 * e);
    AddSpan<2, 14>(c, e);
    AddSpan<-14, -2>(c, e);
    AddToCell(c[-1], 2 * e);
    c[0] = e + carry;
    return e;
  }
};

// WideFilters for the kernels' loops, as levels above T0 print dots at
// random: there both filters of such a pixel are applied, the one that does
// not hold with a zero error, instead of a branch that mispredicts (on the
// grey kernel too: its levels are steadier, but the branch measured slower).
struct WideColourFilters : WideFilters {
  [[gnu::always_inline]] static int32_t Apply(int32_t *c, const DiffusedPixel &p,
                                              int32_t carry, const FilterLimits &t) {
    const int32_t e = p.error;
    if (p.level > t.t0) {
      // Both filters give 4e to c[-2] and c[2]. An undotted pixel adds a
      // share of 4e to c[1] and c[-3] (noise bit 0) or to c[-1] and c[3]
      // (noise bit 1), and keeps 8e; a dotted one adds 2e to c[+-3] and
      // c[+-4] and keeps 4e.
      const int32_t four = 4 * e;
      const int32_t dotMask = -static_cast<int32_t>(p.dot);
      const int32_t share = four & ~dotMask;
      const int32_t left = share & -static_cast<int32_t>(p.noise != 0);
      const int32_t right = share - left;
      const int32_t two = (2 * e) & dotMask;
      AddToCell(c[1], four + right);
      AddToCell(c[2], four);
      AddToCell(c[3], left + two);
      AddToCell(c[4], two);
      AddToCell(c[-1], four + left);
      AddToCell(c[-2], four);
      AddToCell(c[-3], right + two);
      AddToCell(c[-4], two);
      c[0] = four + share + carry;
      return four & dotMask;
    }
    return WideFilters::Apply(c, p, carry, t);
  }
};

// Filters for 2x = y: up to half of the weight goes straight below.
struct TallFilters {
  static constexpr bool kT3NoiseTerm = true;

  [[gnu::always_inline]] static int32_t Apply(int32_t *c, const DiffusedPixel &p,
                                              int32_t carry, const FilterLimits &t) {
    const int32_t e = p.error;
    if (p.level > t.t0) {
      AddToCell(c[1], 4 * e);
      AddToCell(c[2], 4 * e);
      AddToCell(c[-1], 8 * e);
      c[0] = 8 * e + carry;
      return 8 * e;
    }
    if (p.level > t.t1) {
      AddToCell(c[1], 4 * e);
      AddToCell(c[2], 2 * e);
      AddToCell(c[-2], 2 * e);
      AddToCell(c[-1], 4 * e);
      c[0] = 16 * e + carry;
      return 4 * e;
    }
    if (!p.dot) {
      AddToCell(c[1], 8 * e);
      AddToCell(c[-1], 8 * e);
      c[0] = 16 * e + carry;
      return 0;
    }
    if (p.level > t.t2) {
      AddSpan<1, 4>(c, 2 * e);
      AddSpan<-4, -2>(c, 2 * e);
      AddToCell(c[-1], 4 * e);
      c[0] = 8 * e + carry;
      return 6 * e;
    }
    if (p.level <= p.t3Limit) {
      AddSpan<1, 4>(c, 2 * e);
      AddSpan<5, 9>(c, e);
      AddToCell(c[p.noise == 0 ? 10 : 11], e);
      AddSpan<-10, -5>(c, e);
      AddSpan<-4, -1>(c, 2 * e);
      c[0] = 2 * e + carry;
      return 2 * e;
    }
    AddSpan<1, 3>(c, 3 * e);
    AddSpan<4, 7>(c, e);
    AddSpan<-7, -6>(c, e);
    AddSpan<-5, -2>(c, 2 * e);
    AddToCell(c[-1], 3 * e);
    c[0] = 3 * e + carry;
    return 3 * e;
  }
};

// The level limit of the widest filter: T3, lowered by one for noise bit 0
// in the filter sets that have the noise term.
template <class Filters>
constexpr int32_t T3Limit(const FilterLimits &t, uint32_t noise) {
  if constexpr (Filters::kT3NoiseTerm) {
    return t.t3 - (noise == 0 ? 1 : 0);
  } else {
    return t.t3;
  }
}

inline FilterLimits LimitsOf(const uint32_t dotParams[4]) {
  return {static_cast<int32_t>(dotParams[0]), static_cast<int32_t>(dotParams[1]),
          static_cast<int32_t>(dotParams[2]), static_cast<int32_t>(dotParams[3])};
}

}  // namespace inkdot
