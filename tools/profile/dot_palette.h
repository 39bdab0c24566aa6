// The dot palette of the multi-size-dot printer: for each level 0..255 the
// amounts of small, medium and large dots (in 255ths of the pixels).
#pragma once

#include <array>
#include <cstdint>

#include "byte_writer.h"

namespace inkdot::profile {

// Ink that one dot of each size lays down, relative to a large dot.
constexpr double kSmallDotInk = 0.35;
constexpr double kMediumDotInk = 0.65;
// Share of the pixels that small dots alone cover before medium dots start.
constexpr double kSmallOnlyCoverage = 0.5;

struct DotAmounts {
  uint8_t small = 0;
  uint8_t medium = 0;
  uint8_t large = 0;
};

// Level p lays down the ink amount p / 255: small dots alone in the
// highlights, then medium dots take over from small ones as the tone
// deepens, then large dots from medium ones; the three amounts of a level
// add up to at most 255 (255 = every pixel has a dot).
std::array<DotAmounts, 256> MakeDotPalette();

// The palette resource: 256 triplets (small, medium, large).
Bytes EncodeDotPalette(const std::array<DotAmounts, 256> &palette);

}  // namespace inkdot::profile
