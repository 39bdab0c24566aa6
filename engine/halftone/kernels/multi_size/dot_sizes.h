/* SPDX-License-Identifier: Apache-2.0 */
// Small helpers shared by the multi-size-dot kernels: the dot-size decision
// from the palette tables, the threshold offsets of the small-dot test, the
// dithered grid coordinate and a division-free modulo for the hot loops.
#pragma once

#include <array>
#include <cstdint>

#include "halftone/kernels/multi_size/two_bit_planes.h"

namespace inkdot {

// Screened decision for palette entry p against threshold t: no dot when
// the entry's screen total does not exceed t, then large, medium or small
// by the entry's limits (low half large, high half medium + large).
// Written without branches: against a scattered matrix the outcome is
// unpredictable from pixel to pixel.
inline uint32_t ScreenedDot(uint32_t total, uint32_t limits, uint32_t t) {
  const uint32_t any = total > t ? 1 : 0;
  const uint32_t large = (limits & 0xFFFF) > t ? 1 : 0;
  const uint32_t medium = (limits >> 16) > t ? 1 : 0;
  // large: 3; else medium: 2; else 1; nothing without `any`.
  return (1 + (medium | large) + large) & (0u - any);
}

// The medium and large dots alone, as the matrix places them in the
// diffusing kernels; small dots are left to the error.
inline uint32_t MatrixDot(uint32_t limits, uint32_t t) {
  const uint32_t large = (limits & 0xFFFF) > t ? 1 : 0;
  const uint32_t medium = (limits >> 16) > t ? 1 : 0;
  return 2 * medium + large * (3 - 2 * medium);
}

// Offset of the small-dot threshold by the step threshold t (0..255, or a
// matrix value with bit 0 cleared): low thresholds make small dots harder,
// high ones easier, which breaks up regular small-dot patterns.
// Read from a table, since t falls unpredictably from pixel to pixel; every
// t from 255 up has the last entry's offset.
inline constexpr std::array<int8_t, 256> kStepOffsets = [] {
  std::array<int8_t, 256> table{};
  for (uint32_t t = 0; t < 256; ++t) {
    table[t] = static_cast<int8_t>(t < 8 ? 24 : t <= 128 ? 20 : t < 248 ? -20 : -24);
  }
  return table;
}();

inline int32_t ThresholdOffset(uint32_t t) { return kStepOffsets[t < 255 ? t : 255]; }

// Grid coordinate for a channel whose lower grid point is i with weight w:
// the upper point when the weight does not exceed the threshold. A channel
// that lies on the last grid point stays on it whatever the threshold.
inline uint32_t GridCoordinate(uint32_t i, uint32_t w, uint32_t t) {
  const uint32_t c = i + (w <= t ? 1u : 0u);
  return c > 31 ? 31 : c;
}

// x mod d for 16-bit x and 1 <= d < 65536 by one multiplication: with
// r = ceil(2^32 / d), (x * r) >> 32 is exactly x / d for every x below 2^16.
class SmallModulo {
 public:
  explicit SmallModulo(uint32_t d)
      : d_(d != 0 ? d : 1), r_(((uint64_t{1} << 32) + d_ - 1) / d_) {}
  uint32_t operator()(uint32_t x) const {
    const uint32_t q = static_cast<uint32_t>((x * r_) >> 32);
    return x - q * d_;
  }
  uint32_t divisor() const { return d_; }

 private:
  uint32_t d_;
  uint64_t r_;
};

// One output pixel's grey source byte. With `pairs` (the 2:1 reduction of
// the tall kernels) the darker of two source bytes is taken, and a pair of
// opposite bytes (v and 255 - v) is reported, since it must not vanish; with
// `doubled` (magnification 1) each source byte serves two output pixels.
struct GreySample {
  uint32_t value;
  bool opposed;
};

inline GreySample ReadGreySample(const uint8_t *&src, uint32_t pixel, bool pairs,
                                 bool doubled) {
  GreySample sample{src[0], false};
  if (pairs) {
    const uint32_t b = src[1];
    sample.opposed = (sample.value ^ b) == 0xFF;
    if (b < sample.value) sample.value = b;
    src += 2;
  } else {
    src += doubled ? (pixel & 1) : 1;
  }
  return sample;
}

}  // namespace inkdot
