// SPDX-License-Identifier: Apache-2.0
#include "colour/pixel_adjust.h"

namespace inkdot {

namespace {

// Moves `value` away from (or towards) `floor` by `percent` of its distance;
// the distance is never negative, so the division truncates downwards.
int32_t Stretch(int32_t floor, int32_t value, int32_t percent) {
  const int32_t result = floor + (value - floor) * percent / 100;
  return result > 255 ? 255 : result;
}

}  // namespace

void SaturateColour(int32_t s, int32_t rgb[3]) {
  int32_t &r = rgb[0];
  int32_t &g = rgb[1];
  int32_t &b = rgb[2];
  if (s == 0 || (r == g && g == b)) return;
  const int32_t k = s + 100;
  // Blue is the weakest of the three to the eye: it gets 80 % of the change.
  const int32_t k2 = (s * 80) / 100 + 100;
  const bool blueMinimum = g < r ? b < g : b < r;
  if (blueMinimum) {
    r = Stretch(b, r, k2);
    g = Stretch(b, g, k2);
  } else if (g < r) {  // green is the smallest
    r = Stretch(g, r, k);
    b = Stretch(g, b, k);
  } else {  // red is the smallest
    g = Stretch(r, g, k);
    b = Stretch(r, b, k);
  }
}

}  // namespace inkdot
