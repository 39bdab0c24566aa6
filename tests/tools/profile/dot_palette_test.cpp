#include "dot_palette.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace inkdot::profile {
namespace {

TEST(DotPalette, AmountsFitAPixelAndLayDownTheLevelsInk) {
  const auto palette = MakeDotPalette();
  EXPECT_EQ(palette[0].small + palette[0].medium + palette[0].large, 0);
  EXPECT_EQ(palette[255].large, 255);
  for (int p = 0; p < 256; ++p) {
    const DotAmounts d = palette[p];
    EXPECT_LE(d.small + d.medium + d.large, 255) << "level " << p;
    const double ink = (d.small * kSmallDotInk + d.medium * kMediumDotInk + d.large) / 255.0;
    EXPECT_NEAR(ink, p / 255.0, 1.5 / 255) << "level " << p;
  }
}

}  // namespace
}  // namespace inkdot::profile
