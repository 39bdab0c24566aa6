/* SPDX-License-Identifier: Apache-2.0 */
// The logarithm table behind the integer gamma function: for each prime
// p up to 509, the integer nearest to 5000 * ln p. Both tables are made by
// the compiler, so no floating point runs in the engine itself.
#pragma once

#include <array>
#include <cstdint>

namespace inkdot {

inline constexpr int kLogPrimeCount = 97;

namespace log_prime_detail {

// The primes 2..509 by trial division.
constexpr std::array<int32_t, kLogPrimeCount> MakePrimes() {
  std::array<int32_t, kLogPrimeCount> primes{};
  int count = 0;
  for (int32_t n = 2; count < kLogPrimeCount; ++n) {
    bool prime = true;
    for (int i = 0; i < count && primes[i] * primes[i] <= n; ++i) {
      if (n % primes[i] == 0) prime = false;
    }
    if (prime) primes[count++] = n;
  }
  return primes;
}

// atanh(z) = z + z^3/3 + z^5/5 + ..., for 0 <= z <= 1/3 (converges fast).
constexpr double Atanh(double z) {
  double sum = 0.0;
  double power = z;
  for (int k = 1; k < 80; k += 2) {
    sum += power / k;
    power *= z * z;
  }
  return sum;
}

// ln x for x >= 1: x = 2^e * m with 1 <= m < 2, ln m = 2 atanh((m-1)/(m+1)).
constexpr double Ln(double x) {
  const double ln2 = 2.0 * Atanh(1.0 / 3.0);
  int e = 0;
  while (x >= 2.0) {
    x /= 2.0;
    ++e;
  }
  return e * ln2 + 2.0 * Atanh((x - 1.0) / (x + 1.0));
}

constexpr std::array<int32_t, kLogPrimeCount> MakeLogPrime(
    const std::array<int32_t, kLogPrimeCount> &primes) {
  std::array<int32_t, kLogPrimeCount> logs{};
  for (int i = 0; i < kLogPrimeCount; ++i) {
    logs[i] = static_cast<int32_t>(5000.0 * Ln(primes[i]) + 0.5);
  }
  return logs;
}

}  // namespace log_prime_detail

// kPrimes[i] is the i-th prime; LogPrime[i] its logarithm times 5000.
inline constexpr std::array<int32_t, kLogPrimeCount> kPrimes =
    log_prime_detail::MakePrimes();
inline constexpr std::array<int32_t, kLogPrimeCount> LogPrime =
    log_prime_detail::MakeLogPrime(kPrimes);

namespace log_prime_detail {

// 5000 * ln n summed over the prime factors of n: the nine primes below 29
// by division, then what remains of n <= 511 is 1 or a single prime, since
// 29 * 29 exceeds 511.
constexpr int32_t SumOverFactors(int32_t n) {
  int32_t sum = 0;
  for (int i = 0; i < 9; ++i) {
    while (n % kPrimes[i] == 0) {
      n /= kPrimes[i];
      sum += LogPrime[i];
    }
  }
  if (n == 1) return sum;
  for (int i = 9; i < kLogPrimeCount; ++i) {
    if (kPrimes[i] == n) return sum + LogPrime[i];
  }
  return sum;
}

constexpr std::array<int32_t, 512> MakeLog5000() {
  std::array<int32_t, 512> logs{};
  for (int32_t n = 1; n < 512; ++n) logs[n] = SumOverFactors(n);
  return logs;
}

}  // namespace log_prime_detail

// Log5000 for every n in 0..511 (0 for n = 0 and n = 1), so that the gamma
// search does not factorise in its inner loop.
inline constexpr std::array<int32_t, 512> kLog5000 = log_prime_detail::MakeLog5000();

static_assert(kPrimes[kLogPrimeCount - 1] == 509, "97 primes end at 509");
static_assert(LogPrime[0] == 3466 && LogPrime[1] == 5493 && LogPrime[2] == 8047 &&
                  LogPrime[kLogPrimeCount - 1] == 31162,
              "logarithms of 2, 3, 5 and 509");

}  // namespace inkdot
