// SPDX-License-Identifier: Apache-2.0
#include "dot_palette.h"

#include <algorithm>
#include <cmath>

namespace inkdot::profile {

std::array<DotAmounts, 256> MakeDotPalette(double smallDot, double mediumDot) {
  std::array<DotAmounts, 256> palette{};
  const double smallOnlyInk = kSmallOnlyCoverage * smallDot;
  for (int p = 0; p < 256; ++p) {
    const double ink = p / 255.0;
    // Coverage (share of pixels with any dot) rises fast while only small
    // dots print, then slowly up to full coverage with large dots; the mean
    // ink per dot (ink / coverage) rises from small to large.
    double coverage;
    if (ink <= smallOnlyInk) {
      coverage = ink / smallDot;
    } else {
      coverage = kSmallOnlyCoverage +
                 (1.0 - kSmallOnlyCoverage) * (ink - smallOnlyInk) / (1.0 - smallOnlyInk);
    }
    const double perDot = coverage > 0 ? std::clamp(ink / coverage, smallDot, 1.0) : smallDot;
    double smallShare = 0, mediumShare = 0, largeShare = 0;
    if (perDot <= mediumDot) {
      mediumShare = (perDot - smallDot) / (mediumDot - smallDot);
      smallShare = 1.0 - mediumShare;
    } else {
      largeShare = (perDot - mediumDot) / (1.0 - mediumDot);
      mediumShare = 1.0 - largeShare;
    }
    const long total = std::lround(255.0 * coverage);
    const long large = std::min(total, std::lround(255.0 * coverage * largeShare));
    const long medium = std::min(total - large, std::lround(255.0 * coverage * mediumShare));
    const long small = smallShare > 0 ? total - large - medium : 0;
    palette[p] = {static_cast<uint8_t>(small), static_cast<uint8_t>(medium),
                  static_cast<uint8_t>(large)};
  }
  return palette;
}

Bytes EncodeDotPalette(const std::array<DotAmounts, 256> &palette) {
  return formats::write::WriteDotPalette({palette});
}

}  // namespace inkdot::profile
