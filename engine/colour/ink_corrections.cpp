// SPDX-License-Identifier: Apache-2.0
#include "colour/pixel_adjust.h"

#include <algorithm>

namespace inkdot {

namespace {

// Each correction acts on one ink found by strict comparison (cases tried
// in the order cyan, magenta, yellow) and on the two others.

// Index of the ink strictly larger than both others, or -1.
int Largest(const int32_t ink[3]) {
  const int32_t c = ink[0], m = ink[1], y = ink[2];
  if (c > y && c > m) return 0;
  if (m > y && m > c) return 1;
  if (y > m && y > c) return 2;
  return -1;
}

// Index of the ink strictly smaller than both others, or -1.
int Smallest(const int32_t ink[3]) {
  const int32_t c = ink[0], m = ink[1], y = ink[2];
  if (c < y && c < m) return 0;
  if (m < y && m < c) return 1;
  if (y < m && y < c) return 2;
  return -1;
}

// The two other inks of ink i. In the hue shift the first is lowered by a
// positive parameter (magenta for cyan, yellow for magenta, cyan for
// yellow), the second moved by a negative one.
constexpr int kFirstOther[3] = {1, 2, 0};
constexpr int kSecondOther[3] = {2, 0, 1};

void ReduceDominant(const uint16_t dominant[3], int32_t ink[3]) {
  const int i = Largest(ink);
  if (i < 0) return;
  const int32_t next = std::max(ink[kFirstOther[i]], ink[kSecondOther[i]]);
  ink[i] -= ((ink[i] - next) * dominant[i]) / 100;
  if (ink[i] < 0) ink[i] = 0;
}

void ReducePair(const int16_t pair[3], int32_t ink[3]) {
  const int i = Smallest(ink);
  if (i >= 0) {
    int32_t &a = ink[kFirstOther[i]];
    int32_t &b = ink[kSecondOther[i]];
    const int32_t d = ((std::min(a, b) - ink[i]) * pair[i]) / 100;
    a -= d;
    b -= d;
  }
  for (int c = 0; c < 3; ++c) ink[c] = std::max(ink[c], 0);
}

// The shift is rounded half away from zero.
void ShiftHue(const int16_t hue[3], int32_t ink[3]) {
  const int i = Smallest(ink);
  if (i >= 0) {
    const int32_t e = hue[i] < 0 ? -50 : 50;
    int32_t &a = ink[kFirstOther[i]];
    int32_t &b = ink[kSecondOther[i]];
    const int32_t d = ((std::min(a, b) - ink[i]) * hue[i] + e) / 100;
    if (hue[i] >= 0) {
      a -= d;
    } else {
      b += d;
    }
  }
  for (int c = 0; c < 3; ++c) ink[c] = std::clamp(ink[c], 0, 255);
}

}  // namespace

void CorrectInks(const uint16_t dominant[3], const int16_t pair[3],
                 const int16_t hue[3], int32_t rgb[3]) {
  int32_t ink[3] = {255 - rgb[0], 255 - rgb[1], 255 - rgb[2]};
  ReduceDominant(dominant, ink);
  ReducePair(pair, ink);
  ShiftHue(hue, ink);
  for (int c = 0; c < 3; ++c) rgb[c] = 255 - ink[c];
}

}  // namespace inkdot
