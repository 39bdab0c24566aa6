#include "colour/pixel_adjust.h"

#include <gtest/gtest.h>

namespace inkdot {
namespace {

struct Rgb {
  int32_t r, g, b;
};

Rgb Saturate(int32_t s, Rgb in) {
  int32_t rgb[3] = {in.r, in.g, in.b};
  SaturateColour(s, rgb);
  return {rgb[0], rgb[1], rgb[2]};
}

#define EXPECT_RGB(got, wr, wg, wb) \
  do {                              \
    const Rgb got_ = (got);         \
    EXPECT_EQ(got_.r, wr);          \
    EXPECT_EQ(got_.g, wg);          \
    EXPECT_EQ(got_.b, wb);          \
  } while (0)

TEST(SaturateColourTest, StretchesFromTheSmallestComponent) {
  // Red smallest: g = 40 + 60 * 150 / 100, b = 40 + 160 * 150 / 100 -> 255.
  EXPECT_RGB(Saturate(50, {40, 100, 200}), 40, 130, 255);
  // Green smallest: r = 50 + 50 * 150 / 100; a tie with blue leaves green
  // as the floor.
  EXPECT_RGB(Saturate(50, {100, 50, 50}), 125, 50, 50);
  EXPECT_RGB(Saturate(-50, {40, 100, 200}), 40, 70, 120);
}

TEST(SaturateColourTest, BlueSmallestGetsEightyPercentOfTheChange) {
  // k2 = 140: r = 40 + 160 * 140 / 100 = 264 -> 255, g = 40 + 60 * 140 / 100.
  EXPECT_RGB(Saturate(50, {200, 100, 40}), 255, 124, 40);
  // Red and green tied above blue: blue is strictly smallest.
  EXPECT_RGB(Saturate(50, {100, 100, 50}), 120, 120, 50);
  // k2 = (-33 * 80) / 100 + 100 truncates towards zero to 74:
  // r = 40 + 160 * 74 / 100 = 158, g = 40 + 60 * 74 / 100 = 84.
  EXPECT_RGB(Saturate(-33, {200, 100, 40}), 158, 84, 40);
  // Blue below red but not below green: green is the floor.
  EXPECT_RGB(Saturate(50, {200, 30, 40}), 255, 30, 45);
}

TEST(SaturateColourTest, GreysAndZeroPassUnchanged) {
  EXPECT_RGB(Saturate(50, {77, 77, 77}), 77, 77, 77);
  EXPECT_RGB(Saturate(-50, {0, 0, 0}), 0, 0, 0);
  EXPECT_RGB(Saturate(0, {10, 200, 30}), 10, 200, 30);
}

struct Corrections {
  uint16_t dominant[3] = {0, 0, 0};
  int16_t pair[3] = {0, 0, 0};
  int16_t hue[3] = {0, 0, 0};

  // Takes and returns (c, m, y) to keep the hand calculations readable.
  Rgb Inks(Rgb cmy) const {
    int32_t rgb[3] = {255 - cmy.r, 255 - cmy.g, 255 - cmy.b};
    CorrectInks(dominant, pair, hue, rgb);
    return {255 - rgb[0], 255 - rgb[1], 255 - rgb[2]};
  }
};

TEST(CorrectInksTest, DominantReduction) {
  Corrections x;
  x.dominant[0] = 50;
  // c = 200 - (100 * 50) / 100.
  EXPECT_RGB(x.Inks({200, 100, 50}), 150, 100, 50);
  // Only the strictly dominant ink's own parameter acts.
  EXPECT_RGB(x.Inks({100, 200, 50}), 100, 200, 50);
  x.dominant[1] = 255;
  // m = 200 - (200 - 0) * 255 / 100 is negative: held at 0.
  EXPECT_RGB(x.Inks({0, 200, 0}), 0, 0, 0);
  // No strict maximum: nothing happens.
  x.dominant[2] = 100;
  EXPECT_RGB(x.Inks({200, 100, 200}), 200, 100, 200);
}

TEST(CorrectInksTest, PairReduction) {
  Corrections x;
  x.pair[0] = 50;
  // Cyan smallest: d = ((100 - 40) * 50) / 100 = 30 off magenta and yellow.
  EXPECT_RGB(x.Inks({40, 100, 200}), 40, 70, 170);
  x.pair[2] = -10;
  // Yellow smallest: d = ((90 - 20) * -10) / 100 = -7: cyan and magenta rise.
  EXPECT_RGB(x.Inks({90, 150, 20}), 97, 157, 20);
  x.pair[1] = 300;
  // Magenta smallest: d = ((60 - 10) * 300) / 100 = 150; cyan falls below 0.
  EXPECT_RGB(x.Inks({60, 10, 200}), 0, 10, 50);
}

TEST(CorrectInksTest, HueShiftRoundsHalfAwayFromZero) {
  Corrections x;
  x.hue[0] = 25;
  // d = (60 * 25 + 50) / 100 = 15 off magenta.
  EXPECT_RGB(x.Inks({40, 100, 200}), 40, 85, 200);
  x.hue[0] = -25;
  // d = (60 * -25 - 50) / 100 = -15 added to yellow.
  EXPECT_RGB(x.Inks({40, 100, 200}), 40, 100, 185);
  x.hue[0] = 1;
  // The rounding term alone makes 50 * 1 / 100 a whole step.
  EXPECT_RGB(x.Inks({0, 50, 255}), 0, 49, 255);
  x.hue[0] = -1;
  EXPECT_RGB(x.Inks({0, 255, 50}), 0, 255, 49);
  Corrections y;
  y.hue[1] = 20;  // magenta smallest: yellow falls
  EXPECT_RGB(y.Inks({150, 50, 250}), 150, 50, 230);
  y.hue[1] = -20;  // ... or cyan falls
  EXPECT_RGB(y.Inks({150, 50, 250}), 130, 50, 250);
  y.hue[2] = 100;  // yellow smallest: cyan falls by the full lead
  EXPECT_RGB(y.Inks({80, 90, 0}), 0, 90, 0);
  y.hue[2] = -200;  // ... or magenta by d = -400, held at 0
  EXPECT_RGB(y.Inks({200, 240, 0}), 200, 0, 0);
}

TEST(CorrectInksTest, CorrectionsChainAndSpareGreys) {
  Corrections x;
  x.dominant[0] = 50;
  x.pair[2] = 50;
  x.hue[2] = 50;
  // Dominant: c = 200 - 50 = 150. Pair (yellow smallest): d = (100 - 50) / 2
  // = 25, so (125, 75, 50). Hue: d = (25 * 50 + 50) / 100 = 13 off cyan.
  EXPECT_RGB(x.Inks({200, 100, 50}), 112, 75, 50);
  for (int32_t v : {0, 128, 255}) EXPECT_RGB(x.Inks({v, v, v}), v, v, v);

  // A negative pair reduction may push inks above 255 until the hue shift's
  // clamp: d = (200 * -100) / 100 = -200.
  Corrections z;
  z.pair[0] = -100;
  EXPECT_RGB(z.Inks({0, 200, 250}), 0, 255, 255);
}

}  // namespace
}  // namespace inkdot
