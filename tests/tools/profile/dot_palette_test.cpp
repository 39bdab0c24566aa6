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

TEST(DotPalette, SizesHandOverSmoothlyFromSmallToMediumToLarge) {
  const auto palette = MakeDotPalette();
  int firstMedium = -1, firstLarge = -1, lastSmall = -1;
  for (int p = 0; p < 256; ++p) {
    const DotAmounts d = palette[p];
    if (d.medium && firstMedium < 0) firstMedium = p;
    if (d.large && firstLarge < 0) firstLarge = p;
    if (d.small) lastSmall = p;
    EXPECT_FALSE(d.small && d.large) << "small and large together at " << p;
    if (p == 0) continue;
    const DotAmounts e = palette[p - 1];
    // No jumps: one level step moves each amount by a few 255ths only.
    EXPECT_LE(std::abs(d.small - e.small), 3) << p;
    EXPECT_LE(std::abs(d.medium - e.medium), 3) << p;
    EXPECT_LE(std::abs(d.large - e.large), 3) << p;
  }
  ASSERT_GT(firstMedium, 0);
  EXPECT_LT(firstMedium, lastSmall);  // medium dots come in while small ones fade
  EXPECT_GT(firstLarge, firstMedium);
  // Each size rises, then falls, once.
  for (auto amount : {&DotAmounts::small, &DotAmounts::medium}) {
    int turns = 0;
    for (int p = 2; p < 256; ++p) {
      const int before = palette[p - 1].*amount - palette[p - 2].*amount;
      const int now = palette[p].*amount - palette[p - 1].*amount;
      turns += before > 0 && now < 0;
    }
    EXPECT_EQ(turns, 1);
  }
}

TEST(DotPalette, ResourceIsTheTripletsInOrder) {
  const auto palette = MakeDotPalette();
  const Bytes res = EncodeDotPalette(palette);
  ASSERT_EQ(res.size(), 768u);
  for (int p = 0; p < 256; ++p) {
    EXPECT_EQ(res[3 * p], palette[p].small);
    EXPECT_EQ(res[3 * p + 1], palette[p].medium);
    EXPECT_EQ(res[3 * p + 2], palette[p].large);
  }
}

}  // namespace
}  // namespace inkdot::profile
