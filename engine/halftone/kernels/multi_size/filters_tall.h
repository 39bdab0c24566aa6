/* SPDX-License-Identifier: Apache-2.0 */
// Error filters for columns twice as dense as rows (2x = y): short along
// the row, most of the error into the cell below. Weights add up to 32.
// The grey and colour kernels differ only in the filter for a medium or
// large amount.
#pragma once

#include <cstdint>

#include "halftone/kernels/multi_size/filter_taps.h"

namespace inkdot {

enum TallFilter : int {
  kTallHeavyColour,  // medium or large amount, or a generous small amount
  kTallMedium,       // small amount above limits[1], dot or not
  kTallNoDot,
  kTallLight,  // small amount above limits[2]
  kTallFaint,
  kTallHeavyGrey,
};

inline int ChooseTallFilter(bool heavy, bool dot, uint32_t small,
                            const uint32_t *limits, int heavyFilter) {
  if (heavy || small > limits[0]) return heavyFilter;
  if (small > limits[1]) return kTallMedium;
  if (!dot) return kTallNoDot;
  if (small > limits[2]) return kTallLight;
  return kTallFaint;
}

constexpr int32_t SpreadTall(int which, int32_t *cell, int32_t e, int32_t carry) {
  Taps taps(cell, e);
  switch (which) {
    case kTallHeavyColour:
      taps.Add(-1, 8);
      taps.Own(8, carry);
      taps.Span<1, 2>(4);
      return taps.Carry(8);
    case kTallHeavyGrey:
      taps.Span<-2, -1>(4);
      taps.Own(12, carry);
      taps.Span<1, 2>(4);
      return taps.Carry(4);
    case kTallMedium:
      taps.Add(-2, 2);
      taps.Add(-1, 4);
      taps.Own(16, carry);
      taps.Add(1, 4);
      taps.Add(2, 2);
      return taps.Carry(4);
    case kTallNoDot:
      taps.Add(-1, 8);
      taps.Own(16, carry);
      taps.Add(1, 8);
      return 0;
    case kTallLight:
      taps.Span<-4, -2>(2);
      taps.Add(-1, 4);
      taps.Own(8, carry);
      taps.Span<1, 4>(2);
      return taps.Carry(6);
    default:
      taps.Span<-7, -6>(1);
      taps.Span<-5, -2>(2);
      taps.Add(-1, 3);
      taps.Own(3, carry);
      taps.Span<1, 3>(3);
      taps.Span<4, 7>(1);
      return taps.Carry(3);
  }
}

}  // namespace inkdot
