/* SPDX-License-Identifier: Apache-2.0 */
// Error filters for equal horizontal and vertical resolution: the lighter
// the small-dot amount, the wider the filter, so that isolated small dots
// spread evenly. Weights are in 32nds and add up to 32 with the carry.
//
// `odd` selects the taps that move with the pixel's noise bit: the grey
// kernel passes bit 0 of the pixel's threshold, the colour kernel the
// complement of its noise bit.
#pragma once

#include <cstdint>

#include "halftone/kernels/multi_size/filter_taps.h"

namespace inkdot {

enum SquareFilter : int {
  kSquareHeavy,  // medium or large amount, or a generous small amount
  kSquareNoDot,
  kSquareMedium,  // small amount above limits[1]
  kSquareLight,   // small amount above limits[2]
  kSquareFaint,
};

inline int ChooseSquareFilter(bool heavy, bool dot, uint32_t small,
                              const uint32_t *limits) {
  if (heavy || small > limits[0]) return kSquareHeavy;
  if (!dot) return kSquareNoDot;
  if (small > limits[1]) return kSquareMedium;
  if (small > limits[2]) return kSquareLight;
  return kSquareFaint;
}

// Spreads e around `cell` by filter `which`; returns the new carry.
constexpr int32_t SpreadSquare(int which, int32_t *cell, int32_t e, int32_t carry,
                            bool odd) {
  Taps taps(cell, e);
  switch (which) {
    case kSquareHeavy:
      taps.Add(-2, 4);
      taps.Add(-1, 4);
      taps.Own(8, carry);
      taps.Add(1, 8);
      taps.Add(2, 4);
      return taps.Carry(4);
    case kSquareNoDot:
      taps.Add(-2, 4);
      taps.Add(-1, 8);
      taps.Own(8, carry);
      taps.Add(1, 8);
      taps.Add(2, 4);
      return 0;
    case kSquareMedium:
      taps.Span<-4, -2>(2);
      taps.Add(-1, 4);
      taps.Own(odd ? 6 : 4, carry);
      taps.Span<1, 2>(4);
      taps.Span<3, 4>(2);
      taps.Add(5, odd ? 0 : 2);  // a weight, not a branch: odd is random
      return taps.Carry(4);
    case kSquareLight:
      taps.Span<-7, -6>(1);
      taps.Span<-5, -2>(2);
      taps.Add(-1, 3);
      taps.Own(3, carry);
      taps.Span<1, 3>(3);
      taps.Span<4, 7>(1);
      return taps.Carry(3);
    default:
      taps.Span<-10, -5>(1);
      taps.Span<-4, -1>(2);
      taps.Own(2, carry);
      taps.Span<1, 4>(2);
      taps.Span<5, 9>(1);
      taps.Add(odd ? 11 : 10, 1);
      return taps.Carry(2);
  }
}

}  // namespace inkdot
