// Per-ink linearisation: from an ink amount (0..1) to the level byte that
// the colour table stores, so that the printed share of each ink follows the
// amount the separation asked for.
#pragma once

#include <array>
#include <cstdint>

namespace inkdot::profile {

// Ink-load divisors (percent) written into every colour table. The
// single-size-dot halftoning divides each level by about 2.5 at the light
// end and by 1 at the dark end (a dot there stands for more than its pixel);
// the levels below undo that.
constexpr int kInkLoadLight = 250;
constexpr int kInkLoadDark = 100;

// The halftoning's ink-load curve T for level i (integer arithmetic with
// truncating division, as the halftone set-up computes it).
int InkLoadCurve(int level);

// Single-size dots: the share of pixels that get a dot at a level is about
// level / T(level). Returns the level whose share is closest to `amount`.
uint8_t SingleDotLevel(double amount);

// Multi-size dots: the level is the dot palette entry, and palette entry p
// carries the ink amount p / 255 (see the dot palette).
uint8_t PaletteLevel(double amount);

}  // namespace inkdot::profile
