/* SPDX-License-Identifier: Apache-2.0 */
// The dither fronts' level smoothing, y := ((y & c) + x) >> 1 in each ink's
// 16-bit field of a word, taken for two pixels in one step of the chain.
// Per ink, floor((floor(u / 2) + b) / 2) = floor((u + 2b) / 4), where u =
// (y & c) + x is the first pixel's sum (at most 511) and b the second
// pixel's x when it is a neighbour; when it is not, its level floor(x / 2)
// is floor(2x / 4) too. No ink's sum (at most 1023) reaches the next ink's
// field; what the shifts bring down from it lands on top of each field,
// for the caller's carry or mask to take off.
#pragma once

#include <cstdint>

namespace inkdot {

struct SmoothedPair {
  uint64_t first, second;
};

// Pixels with carries c0, c1 and terms x0, x1 after y; `whole1` is c1 over
// each field's whole width (the first pixel's x may take nine bits).
inline SmoothedPair SmoothPair(uint64_t y, uint64_t c0, uint64_t c1, uint64_t whole1,
                               uint64_t x0, uint64_t x1) {
  return {((y & c0) + x0) >> 1, ((y & (c0 & c1)) + (x0 & whole1) + (x1 << 1)) >> 2};
}

}  // namespace inkdot
