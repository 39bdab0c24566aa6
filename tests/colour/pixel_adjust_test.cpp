#include "colour/pixel_adjust.h"

#include <array>

#include <gtest/gtest.h>

namespace inkdot {
namespace {

using Rgb = std::array<int32_t, 3>;

// The corrections on (c, m, y), to keep the hand calculations readable.
struct Corrections {
  uint16_t dominant[3] = {};
  int16_t pair[3] = {};
  int16_t hue[3] = {};

  Rgb operator()(Rgb cmy) const {
    Rgb rgb = {255 - cmy[0], 255 - cmy[1], 255 - cmy[2]};
    CorrectInks(dominant, pair, hue, rgb.data());
    return {255 - rgb[0], 255 - rgb[1], 255 - rgb[2]};
  }
};

TEST(PixelAdjustTest, InkCorrections) {
  Corrections x;
  x.dominant[0] = 50;  // c = 200 - (100 * 50) / 100
  EXPECT_EQ(x({200, 100, 50}), (Rgb{150, 100, 50}));
  EXPECT_EQ(x({100, 200, 50}), (Rgb{100, 200, 50}));  // magenta's own is 0
  x.dominant[1] = 255;  // below 0: held at 0
  EXPECT_EQ(x({0, 200, 0}), (Rgb{0, 0, 0}));

  Corrections p;
  p.pair[0] = 50;  // d = (60 * 50) / 100 off magenta and yellow
  EXPECT_EQ(p({40, 100, 200}), (Rgb{40, 70, 170}));
  p.pair[2] = -10;  // d = (70 * -10) / 100 = -7: cyan and magenta rise
  EXPECT_EQ(p({90, 150, 20}), (Rgb{97, 157, 20}));
  p.pair[1] = 300;  // d = 150 takes cyan below 0
  EXPECT_EQ(p({60, 10, 200}), (Rgb{0, 10, 50}));

  Corrections h;
  h.hue[0] = 25;  // d = (60 * 25 + 50) / 100 = 15 off magenta
  EXPECT_EQ(h({40, 100, 200}), (Rgb{40, 85, 200}));
  h.hue[0] = -25;  // d = (60 * -25 - 50) / 100 = -15 added to yellow
  EXPECT_EQ(h({40, 100, 200}), (Rgb{40, 100, 185}));
  h.hue[0] = 1;  // the rounding term makes half a step a whole one
  EXPECT_EQ(h({0, 50, 255}), (Rgb{0, 49, 255}));
  h.hue[1] = -20;  // magenta smallest: d = -20 added to cyan
  EXPECT_EQ(h({150, 50, 250}), (Rgb{130, 50, 250}));
  h.hue[2] = 100;  // yellow smallest: cyan falls by the whole lead
  EXPECT_EQ(h({80, 90, 0}), (Rgb{0, 90, 0}));

  // In order: dominant (150, 100, 50); pair, yellow smallest, d = 25:
  // (125, 75, 50); hue d = (25 * 50 + 50) / 100 = 13 off cyan.
  Corrections all;
  all.dominant[0] = 50;
  all.pair[2] = 50;
  all.hue[2] = 50;
  EXPECT_EQ(all({200, 100, 50}), (Rgb{112, 75, 50}));
  EXPECT_EQ(all({128, 128, 128}), (Rgb{128, 128, 128}));
  Corrections rise;  // above 255 until the final clamp
  rise.pair[0] = -100;
  EXPECT_EQ(rise({0, 200, 250}), (Rgb{0, 255, 255}));
}

}  // namespace
}  // namespace inkdot
