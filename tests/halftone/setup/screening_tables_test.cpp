#include "halftone/setup/screening_tables.h"

#include "halftone_fixture.h"

namespace inkdot::testing {
namespace {

HalftoneParams Page(uint32_t x, uint32_t y, uint32_t dotMode, uint32_t method = 1, uint32_t colorMode = 1) {
  return HalftoneParams{method, 0, colorMode == 0 ? 0u : 2u, colorMode, x, y, dotMode, 0, 0, 100, 0};
}

TEST(DotParamsTest, ChosenByResolutionDotModeAndInkLoad) {
  struct Case { HalftoneParams page; int32_t load; ResultCode want; uint32_t params[4]; };
  for (const Case &c : {Case{Page(1440, 720, 2), 250, kOk, {14, 3, 0, 0}},
                        Case{Page(2880, 720, 2), 250, kOk, {0, 0, 0, 0}},
                        Case{Page(1440, 1440, 2), 300, kOk, {15, 3, 1, 0}},
                        Case{Page(720, 1440, 2), 250, kOk, {111, 8, 2, 0}},
                        Case{Page(360, 1440, 2), 250, kBadParams, {}},
                        Case{Page(720, 720, 1), 300, kBadResource, {}},
                        Case{Page(720, 720, 0), 350, kOk, {37, 20, 5, 2}},
                        Case{Page(1440, 720, 0, 1), 500, kOk, {52, 20, 9, 4}},
                        Case{Page(1440, 720, 0, 3), 250, kOk, {56, 22, 11, 4}},
                        Case{Page(720, 1440, 0), 500, kOk, {63, 39, 14, 3}}}) {
    uint32_t params[4] = {};
    EXPECT_EQ(ChooseDotParams(c.page, c.load, params), c.want) << c.page.xResolution << "x" << c.page.yResolution;
    EXPECT_EQ(std::memcmp(params, c.params, sizeof params), 0) << c.page.xResolution << "x" << c.page.yResolution;
  }
}

TEST(ScreeningTablesTest, ToneCurveAndLevelScale) {
  uint16_t tone[256], scale[512];
  BuildToneCurve(Page(720, 720, 0), 250, 100, tone);
  // (150 * 255^2 + 1) / 255 = 38250 and (150 * 127^2 + 1) / 255 = 9487, + 25500, / 100.
  EXPECT_EQ(tone[0], 637);
  EXPECT_EQ(tone[128], 349);
  EXPECT_EQ(tone[255], 255);
  BuildToneCurve(Page(720, 720, 2), 250, 100, tone);  // flat 255 in dot mode 2
  for (int i = 0; i < 256; ++i) ASSERT_EQ(tone[i], 255);
  struct Want { uint32_t x, size; uint16_t l128, l255; };
  // 65536 ranks at the top of a 256 x 256 matrix keep their low 16 bits.
  for (const Want &w : {Want{720, 4096, 2048, 4096}, Want{2880, 4096, 1024, 2048}, Want{720, 65536, 32768, 0}}) {
    BuildLevelScale(Page(w.x, 720, 2), w.size, tone, nullptr, scale);
    EXPECT_EQ(scale[128], w.l128) << w.x << " " << w.size;
    EXPECT_EQ(scale[255], w.l255) << w.x << " " << w.size;
  }
  // Dot mode 1 screening a grey page: each level takes the scale of its
  // grey-curve value.
  uint16_t grey[256], remapped[512];
  for (int i = 0; i < 256; ++i) grey[i] = uint16_t((i * 7 + 3) % 256);
  BuildToneCurve(Page(720, 720, 1), 350, 100, tone);
  BuildLevelScale(Page(720, 720, 1, 3), 1024, tone, nullptr, scale);
  BuildLevelScale(Page(720, 720, 1, 3, 0), 1024, tone, grey, remapped);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(remapped[i], scale[grey[i]]) << i;
}

TEST(ScreeningTablesTest, DotCurveByHand) {
  uint16_t tone[256];
  int16_t dot[256];
  BuildToneCurve(Page(720, 720, 2), 0, 0, tone);
  BuildDotCurve(Page(720, 720, 2), tone, dot);
  // Flat tone: E + (128 - v) * 20 / 128 with E[5] = 5 * 29 / 10 + 20 = 34,
  // E[250] = 255 - 34, E[100] = 328 / 3; -2440 / 128 truncates to -19.
  const int16_t want[][2] = {{0, 128}, {1, 30}, {2, 38}, {5, 53}, {100, 113}, {128, 128}, {250, 202}, {255, 128}};
  for (const auto &w : want) EXPECT_EQ(dot[w[0]], w[1]) << w[0];
  BuildDotCurve(Page(1440, 720, 2), tone, dot);
  EXPECT_EQ(dot[1] * 1000 + dot[2], 26036);
  // Loads 250 / 100: T[1] = 634, T[5] = 622, T[128] = 349.
  BuildToneCurve(Page(720, 720, 0), 250, 100, tone);
  BuildDotCurve(Page(720, 720, 0), tone, dot);
  EXPECT_EQ(dot[1], 51);     // (126 + 255) * 22 / 255 = 32, + 2540 / 128 = 19
  EXPECT_EQ(dot[5], 69);     // (122 + 255) * 34 / 255 = 50, + 19
  EXPECT_EQ(dot[128], 143);  // (31 + 255) * 128 / 255
}

TEST(ScreeningTablesTest, PaddedGreyCurve) {
  uint8_t grey[256];
  for (int i = 0; i < 256; ++i) grey[i] = i == 0 ? 9 : (i < 200 ? 5 : 3);
  ASSERT_EQ(GreyCurvePad(grey), 14u);  // drop at 200: 56 * 2 / 8 + 1 = 15
  std::vector<uint16_t> curve(271, 0xBEEF);
  BuildPaddedGreyCurve(grey, 14, curve.data());
  for (int e = 0; e < 271; ++e) {
    const int want = e == 0 ? 14 : e <= 7 ? 9 : e <= 263 ? grey[e - 8] : e <= 269 ? 3 : 0xBEEF;
    ASSERT_EQ(curve[e], want) << e;
  }
  grey[255] = 0;  // a curve ending at 0 is 0 over its padded top
  BuildPaddedGreyCurve(grey, 14, curve.data());
  for (int e = 255; e <= 270; ++e) EXPECT_EQ(curve[e], e == 255 ? 3 : e == 270 ? 0xBEEF : 0) << e;
  std::memset(grey, 255, sizeof grey);
  EXPECT_EQ(GreyCurvePad(grey), 1u);  // never falls below 4
  grey[255] = 0;
  EXPECT_EQ(GreyCurvePad(grey), 1u);  // 2 / 255 + 1 = 1, rounds to 0
}

TEST(ScreeningTablesTest, PaletteRemapAndTables) {
  std::vector<int16_t> dot(512);
  for (int v = 0; v < 256; ++v) dot[v] = int16_t(1000 + v);
  resources::DotPalette levels;  // entry p sums to 255 - p
  for (int p = 0; p < 256; ++p) levels.levels[p] = {uint8_t((255 - p) / 2), 0, uint8_t(255 - p - (255 - p) / 2)};
  const Bytes palette = resources::WriteDotPalette(levels);
  RemapDotCurve(Page(720, 720, 2), palette.data(), dot.data());
  for (int p = 0; p < 256; ++p) ASSERT_EQ(dot[p], 1255 - p) << p;
  RemapDotCurve(Page(2880, 720, 2), palette.data(), dot.data());
  const int16_t fixed[][2] = {{0, 128}, {1, 25}, {47, 130}, {100, 184}, {163, 256}, {191, 269}, {255, 298}};
  for (const auto &f : fixed) EXPECT_EQ(dot[f[0]], f[1]) << f[0];

  uint16_t scale[256];
  for (int i = 0; i < 256; ++i) scale[i] = uint16_t(16 * i);
  scale[200] = 60000;
  resources::DotPalette sparse;
  sparse.levels[7] = {10, 20, 30};
  sparse.levels[9] = {0, 200, 200};
  HalftoneContext ht{};
  BuildPaletteTables(resources::WriteDotPalette(sparse).data(), scale, &ht);
  EXPECT_EQ(ht.paletteLimits[7], 480u | 800u << 16);
  EXPECT_EQ(ht.paletteAmounts[7], 10u | 60u << 16);
  EXPECT_EQ(ht.paletteTotals[7], 960u);
  EXPECT_EQ(ht.paletteTotals[8] + ht.paletteLimits[8], 0u);  // (0, 0, 0) never prints
  EXPECT_EQ(ht.paletteLimits[9], 60000u | 120000u << 16);   // the sum's top bit is lost
  EXPECT_EQ(ht.paletteTotals[9], 120000u);
}

}  // namespace
}  // namespace inkdot::testing
