// The integer gamma function and the logarithm it is built on.
#include "colour/log_prime.h"
#include "colour/tone_curves.h"

namespace inkdot {

namespace {

// 5000 * ln 255, and 5000 * ln 2 scaled by 2048 (the target's "times two",
// which makes the search below find twice the wanted level).
constexpr int32_t kLog255 = 27706;
constexpr int32_t kBaseOffset = 7113368;

// Index of the prime p in kPrimes; p is known to be one of them.
int PrimeIndex(int32_t p) {
  int low = 0;
  int high = kLogPrimeCount - 1;
  while (low < high) {
    const int mid = (low + high) / 2;
    if (kPrimes[mid] < p) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low;
}

}  // namespace

int32_t Log5000(int32_t n) {
  if (n < 2) return 0;
  // The nine primes below 29: what remains of n <= 511 after them is 1 or
  // a single prime, since 29 * 29 exceeds 511.
  int32_t sum = 0;
  for (int i = 0; i < 9; ++i) {
    while (n % kPrimes[i] == 0) {
      n /= kPrimes[i];
      sum += LogPrime[i];
    }
  }
  if (n == 1) return sum;
  return sum + LogPrime[PrimeIndex(n)];
}

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
      if (Log5000(w) * 2048 + base > target) break;
    }
  }
  const int32_t level = w / 2;
  return level > 255 ? 255 : level;
}

}  // namespace inkdot
