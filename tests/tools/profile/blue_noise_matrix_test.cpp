#include "blue_noise_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace inkdot::profile {
namespace {

// Radially averaged power spectrum of a 0/1 pattern (side n, square) by a
// plain separable DFT; bin r holds the mean power at radius r (DC excluded).
std::vector<double> RadialSpectrum(const std::vector<int> &pattern, int n) {
  using C = std::complex<double>;
  std::vector<C> twiddle(n);
  for (int k = 0; k < n; ++k) twiddle[k] = std::polar(1.0, -2 * std::numbers::pi * k / n);
  std::vector<C> rows(size_t(n) * n), full(size_t(n) * n);
  for (int y = 0; y < n; ++y)
    for (int u = 0; u < n; ++u) {
      C sum = 0;
      for (int x = 0; x < n; ++x) sum += double(pattern[y * n + x]) * twiddle[(u * x) % n];
      rows[y * n + u] = sum;
    }
  for (int u = 0; u < n; ++u)
    for (int v = 0; v < n; ++v) {
      C sum = 0;
      for (int y = 0; y < n; ++y) sum += rows[y * n + u] * twiddle[(v * y) % n];
      full[v * n + u] = sum;
    }
  std::vector<double> power(n / 2, 0), count(n / 2, 0);
  for (int v = 0; v < n; ++v)
    for (int u = 0; u < n; ++u) {
      const int fu = u <= n / 2 ? u : u - n, fv = v <= n / 2 ? v : v - n;
      const int r = int(std::lround(std::sqrt(double(fu * fu + fv * fv))));
      if (r == 0 || r >= n / 2) continue;
      power[r] += std::norm(full[v * n + u]);
      count[r] += 1;
    }
  for (int r = 1; r < n / 2; ++r) power[r] /= count[r];
  return power;
}

class SquareMatrix : public ::testing::TestWithParam<int> {};

TEST_P(SquareMatrix, IsARankPermutationWithLittleLowFrequencyEnergy) {
  const int n = GetParam();
  const auto ranks = MakeBlueNoiseMatrix({n, n, 1.0, 99});
  ASSERT_EQ(ranks.size(), size_t(n) * n);
  std::vector<int> seen(ranks.size(), 0);
  for (uint16_t r : ranks) {
    ASSERT_LT(r, ranks.size());
    ++seen[r];
  }
  for (int s : seen) ASSERT_EQ(s, 1);

  // Dots of a 50 % level: ranks below half the size.
  std::vector<int> half(ranks.size());
  for (size_t i = 0; i < ranks.size(); ++i) half[i] = ranks[i] < ranks.size() / 2;
  const auto spectrum = RadialSpectrum(half, n);
  // White noise at 50 % has a flat spectrum of n * n * 0.25 per bin.
  const double white = double(n) * n * 0.25;
  double low = 0;
  const int lowBins = n / 16;  // below an eighth of the highest frequency
  for (int r = 1; r <= lowBins; ++r) low += spectrum[r];
  EXPECT_LT(low / lowBins, 0.1 * white);
  // The energy removed from low frequencies sits at high ones.
  double high = 0;
  for (int r = n / 4; r < n / 2; ++r) high += spectrum[r];
  EXPECT_GT(high / (n / 4), 0.8 * white);
}

INSTANTIATE_TEST_SUITE_P(Sides, SquareMatrix, ::testing::Values(64, 128));

TEST(BlueNoiseMatrix, RefusesSidesThatAreNotPowersOfTwo) {
  EXPECT_THROW(MakeBlueNoiseMatrix({96, 64, 1.0, 1}), std::runtime_error);
  EXPECT_THROW(MakeBlueNoiseMatrix({8, 8, 1.0, 1}), std::runtime_error);
}

}  // namespace
}  // namespace inkdot::profile
