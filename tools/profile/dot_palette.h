/* SPDX-License-Identifier: Apache-2.0 */
// The dot palette of the multi-size-dot printer: for each level 0..255 the
// amounts of small, medium and large dots (in 255ths of the pixels).
#pragma once

#include <array>
#include <cstdint>

#include "byte_writer.h"
#include "inkdot/formats/halftone_resources.h"

namespace inkdot::profile {

// Share of the pixels that small dots alone cover before medium dots start.
constexpr double kSmallOnlyCoverage = 0.5;

using DotAmounts = formats::write::DotAmounts;

// Level p lays down the ink amount p / 255, where a small and a medium dot
// lay down `smallDot` and `mediumDot` of a large dot's ink (the printer
// model's dot coverages): small dots alone in the
// highlights, then medium dots take over from small ones as the tone
// deepens, then large dots from medium ones; the three amounts of a level
// add up to at most 255 (255 = every pixel has a dot).
std::array<DotAmounts, 256> MakeDotPalette(double smallDot, double mediumDot);

// The palette resource: 256 triplets (small, medium, large).
Bytes EncodeDotPalette(const std::array<DotAmounts, 256> &palette);

}  // namespace inkdot::profile
