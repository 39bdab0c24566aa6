// SPDX-License-Identifier: Apache-2.0
// The integer gamma function and the logarithm it is built on.
#include "colour/log_prime.h"
#include "colour/tone_curves.h"

namespace inkdot {

namespace {

// 5000 * ln 255, and an offset of about 5000 * ln 2 scaled by 2048: it makes
// the search below find twice the wanted level, so that halving rounds.
constexpr int32_t kLog255 = 27706;
constexpr int32_t kBaseOffset = 7113368;

}  // namespace

int32_t Log5000(int32_t n) { return n >= 1 && n <= 511 ? kLog5000[n] : 0; }

int32_t GammaLevel(int32_t v, int32_t gamma) {
  if (v <= 0) return 0;
  if (v >= 255) return 255;
  const int32_t g = (gamma * 2048) / 100;
  const int32_t base = (g - 2048) * kLog255 - kBaseOffset;
  const int32_t target = g * Log5000(v);
  int32_t w = 1;
  if (target >= base) {
    // The smallest odd w above twice the level; 511 is the last one the
    // logarithm covers and is never passed for v below 255.
    for (w = 3; w < 511; w += 2) {
      if (kLog5000[w] * 2048 + base > target) break;
    }
  }
  const int32_t level = w / 2;
  return level > 255 ? 255 : level;
}

}  // namespace inkdot
