/* SPDX-License-Identifier: Apache-2.0 */
// Error filters for rows twice as dense as columns (1440 × 720 and the
// other x = 2y pairs): wider along the row, symmetric to both sides, and
// the no-dot case comes first. Weights add up to 32.
//
// `odd` selects the taps that move with the pixel's noise bit: the grey
// kernel passes bit 0 of the pixel's threshold, the colour kernel the
// complement of its noise bit.
#pragma once

#include <cstdint>

#include "halftone/kernels/multi_size/filter_taps.h"

namespace inkdot {

enum WideFilter : int {
  kWideNoDot,
  kWideHeavy,   // medium or large amount, or a generous small amount
  kWideMedium,  // small amount above limits[1]
  kWideFaint,
};

inline int ChooseWideFilter(bool heavy, bool dot, uint32_t small,
                            const uint32_t *limits) {
  if (!dot) return kWideNoDot;
  if (heavy || small > limits[0]) return kWideHeavy;
  if (small > limits[1]) return kWideMedium;
  return kWideFaint;
}

constexpr int32_t SpreadWide(int which, int32_t *cell, int32_t e, int32_t carry,
                          bool odd) {
  Taps taps(cell, e);
  switch (which) {
    case kWideNoDot: {
      // Odd: 4 8 [8] 4 4 4 over -2..3; even: 4 4 4 [8] 8 4 over -3..2. Both
      // are 4 4 [8] 4 4 over -2..2 plus two more fours, at -1 and 3 or at -3
      // and 1: one shift of two taps by the noise bit, which is random from
      // pixel to pixel and would be a mispredicted branch half the time.
      const int shift = odd ? 0 : -2;
      taps.Span<-2, -1>(4);
      taps.Own(8, carry);
      taps.Span<1, 2>(4);
      taps.Add(-1 + shift, 4);
      taps.Add(3 + shift, 4);
      return 0;
    }
    case kWideHeavy:
      taps.Span<-4, -3>(2);
      taps.Span<-2, -1>(4);
      taps.Own(4, carry);
      taps.Span<1, 2>(4);
      taps.Span<3, 4>(2);
      return taps.Carry(4);
    case kWideMedium:
      taps.Span<-7, -6>(1);
      taps.Span<-5, -4>(2);
      taps.Span<-3, -1>(3);
      taps.Own(2, carry);
      taps.Span<1, 3>(3);
      taps.Span<4, 5>(2);
      taps.Span<6, 7>(1);
      return 0;
    default:
      taps.Span<-10, -6>(1);
      taps.Span<-5, -1>(2);
      taps.Own(2, carry);
      taps.Span<1, 5>(2);
      taps.Span<6, 10>(1);
      return 0;
  }
}

}  // namespace inkdot
