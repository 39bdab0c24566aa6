/* SPDX-License-Identifier: Apache-2.0 */
// Error filters for 2880 × 720, chosen by fixed limits on the small amount.
// The palest dots spread their error up to 26 cells left and 24 right, part
// of it as e >> 1 per cell (those rows add up to 32 only up to rounding).
#pragma once

#include <cstdint>

#include "halftone/kernels/multi_size/filter_taps.h"

namespace inkdot {

enum FineFilter : int {
  kFineDotHeavy,   // small amount above 30
  kFineDotMedium,  // above 8
  kFineDotLight,   // above 3
  kFineDotPale,    // 3
  kFineDotFaint,
  kFineNoDot,
  kFineNoDotMedium,  // no dot, small amount 9..30
};

inline int ChooseFineFilter(bool dot, uint32_t small) {
  if (!dot) return (small > 8 && small <= 30) ? kFineNoDotMedium : kFineNoDot;
  if (small > 30) return kFineDotHeavy;
  if (small > 8) return kFineDotMedium;
  if (small > 3) return kFineDotLight;
  if (small > 2) return kFineDotPale;
  return kFineDotFaint;
}

inline int32_t SpreadFine(int which, int32_t *cell, int32_t e, int32_t carry) {
  Taps taps(cell, e);
  switch (which) {
    case kFineDotHeavy:
      taps.Span<-6, -1>(2);
      taps.Own(4, carry);
      taps.Span<1, 2>(4);
      taps.Span<3, 6>(2);
      return 0;
    case kFineDotMedium:
      taps.Span<-11, -5>(1);
      taps.Span<-4, -1>(2);
      taps.Own(2, carry);
      taps.Span<1, 4>(2);
      taps.Span<5, 9>(1);
      return taps.Carry(2);
    case kFineDotLight:
      taps.Span<-13, -2>(1);
      taps.Add(-1, 2);
      taps.Own(2, carry);
      taps.Add(1, 2);
      taps.Span<2, 13>(1);
      return taps.Carry(2);
    case kFineDotPale:
      taps.HalfSpan<-21, -10>();
      taps.Span<-9, -1>(1);
      taps.OwnHalf(carry);
      taps.Span<1, 9>(1);
      taps.HalfSpan<10, 23>();
      return taps.HalfCarry();
    case kFineDotFaint:
      taps.HalfSpan<-26, -7>();
      taps.Span<-6, -1>(1);
      taps.Own(1, carry);
      taps.Span<1, 6>(1);
      taps.HalfSpan<7, 24>();
      return 0;
    case kFineNoDotMedium:
      taps.Span<-4, -1>(2);
      taps.Own(4, carry);
      taps.Add(1, 16);
      taps.Span<2, 3>(2);
      return 0;
    default:
      taps.Span<-4, -1>(2);
      taps.Own(2, carry);
      taps.Span<1, 2>(8);
      taps.Add(3, 4);
      taps.Add(4, 2);
      return 0;
  }
}

}  // namespace inkdot
