#include "ink_levels.h"

#include <algorithm>
#include <cmath>

namespace inkdot::profile {

int InkLoadCurve(int level) {
  const int rest = 255 - level;
  return (((kInkLoadLight - kInkLoadDark) * rest * rest + 1) / 255 + kInkLoadDark * 255) / 100;
}

namespace {

// Printed share (0..1) of a single-size-dot level; rises strictly with the
// level because the curve falls as the level rises.
std::array<double, 256> SingleDotShares() {
  std::array<double, 256> shares{};
  for (int i = 0; i < 256; ++i) shares[i] = static_cast<double>(i) / InkLoadCurve(i);
  return shares;
}

}  // namespace

uint8_t SingleDotLevel(double amount) {
  static const std::array<double, 256> shares = SingleDotShares();
  const double a = std::clamp(amount, 0.0, 1.0);
  const auto above = std::lower_bound(shares.begin(), shares.end(), a);
  if (above == shares.end()) return 255;
  const int hi = static_cast<int>(above - shares.begin());
  if (hi == 0) return 0;
  return static_cast<uint8_t>(a - shares[hi - 1] < shares[hi] - a ? hi - 1 : hi);
}

uint8_t PaletteLevel(double amount) {
  return static_cast<uint8_t>(std::lround(std::clamp(amount, 0.0, 1.0) * 255.0));
}

}  // namespace inkdot::profile
